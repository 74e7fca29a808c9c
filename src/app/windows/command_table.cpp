// The main window's commands and their handlers. Each subsystem defines its
// handlers in its own folder and adds its line here; a command without a
// line does nothing.
#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"

namespace mirelle {


const std::vector<CommandBinding>& MainWindowCommands() {
    static const std::vector<CommandBinding> table = {
        {idc::kVersionInfo, ui::kBnClicked, &CWriterDlg::OnVersionInfo},
        {idc::kTarget, ui::kCbnSelChange, &CWriterDlg::OnSelchangeTarget},
        {idc::kRate, ui::kCbnSelChange, &CWriterDlg::OnSelchangeRate},
        {idc::kComNo, ui::kEnChange, &CWriterDlg::OnChangeComNo},
        {idc::kDownload, ui::kBnClicked, &CWriterDlg::OnDownload},
        {idc::kOpen, ui::kBnClicked, &CWriterDlg::OnOpen},
        {idc::kHelp, ui::kBnClicked, &CWriterDlg::OnHelp},
        {idc::kFullOperation, ui::kBnClicked, &CWriterDlg::FullOperation},
        {idc::kErase, ui::kBnClicked, &CWriterDlg::OnErase},
        {idc::kBlankCheck, ui::kBnClicked, &CWriterDlg::OnBlankCheck},
        {idc::kProgram, ui::kBnClicked, &CWriterDlg::OnProgram},
        {idc::kCompare, ui::kBnClicked, &CWriterDlg::OnCompare},
        {idc::kCopy, ui::kBnClicked, &CWriterDlg::OnCopy},
        {idc::kSetEnvironment, ui::kBnClicked, &CWriterDlg::OnSetEnvironment},
        {idc::kCheckSum, ui::kBnClicked, &CWriterDlg::OnCheckSum},
    };
    return table;
}

}  // namespace mirelle
