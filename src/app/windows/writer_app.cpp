#include "app/windows/writer_app.h"

#include <cstdio>

namespace mirelle {

const char* const kScratchFiles[6] = {"batch1.bat", "_w_o_r_k.1", "_w_o_r_k.2",
                                      "_w_o_r_k.3", "_w_o_r_k.4", "_w_o_r_k.5"};

int CWriterApp::InitInstance() {
    CWriterDlg dlg(m_env);
    ui::SetMainWindow(&dlg);
    if (on_main_window) on_main_window(dlg);
    int result = dlg.DoModal();
    if (dlg.CommandLineMode()) m_nExitStatus = result == ui::kIdOk ? dlg.UnattendedExitStatus() : 2;
    // No part of the program creates these; they are removed as they always were.
    for (const char* name : kScratchFiles) std::remove(name);
    dlg.CloseComPort();
    ui::SetMainWindow(nullptr);
    return result;
}

}  // namespace mirelle
