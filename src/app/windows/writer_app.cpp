#include "app/windows/writer_app.h"

namespace mirelle {

int CWriterApp::InitInstance() {
    CWriterDlg dlg(m_env);
    ui::SetMainWindow(&dlg);
    if (on_main_window) on_main_window(dlg);
    int result = dlg.DoModal();
    if (dlg.CommandLineMode()) m_nExitStatus = result == ui::kIdOk ? dlg.UnattendedExitStatus() : 2;
    dlg.CloseComPort();
    ui::SetMainWindow(nullptr);
    return result;
}

}  // namespace mirelle
