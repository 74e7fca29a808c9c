// The Open button and the Help button of the main window. Dropped files are
// handled with the window itself (CWriterDlg::OnDropFiles).
#include "app/windows/control_ids.h"
#include "app/windows/start_address_dlg.h"
#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "hexfile/program_file.h"
#include "platform/system.h"

namespace mirelle {


namespace {

// The program file choices of the Open dialog, the first one preselected.
constexpr const char* kProgramFileFilter =
    "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|Intel hex files (*.hex)|*.hex|"
    "ELF files (*.elf;*.axf;*.out)|*.elf;*.axf;*.out|Binary (*.bin)|*.bin|all files (*.*)|*.*||";

// The caption of the application's own message boxes.
constexpr const char* kAppTitle = "Mirelle";

}  // namespace

void CWriterDlg::OnOpen() {
    UpdateData(true);
    // The dialog opens in the folder of the current program file.
    if (!m_strProgramFile.empty()) {
        std::string folder = sys::DirectoryPart(m_strProgramFile);
        if (!folder.empty()) sys::SetCurrentDir(folder);
    }
    ui::FileDialogRequest request;
    request.save = false;
    request.owner = this;
    request.filter = kProgramFileFilter;
    request.flags = ui::kFileMustExist | ui::kHideReadOnly;
    if (std::optional<std::string> chosen = ui::ActiveBackend().FileDialog(request)) {
        m_strProgramFile = *chosen;
        m_strHexFileName = sys::FileNamePart(*chosen);
        UpdateData(false);
        AskBinaryStart();
    }
    // Relative names of the data files are never used, but the program's
    // folder is the current directory again whatever the user chose.
    sys::SetCurrentDir(m_strModuleDir);
    SaveRecent();
}

void CWriterDlg::AskBinaryStart() {
    if (!hexfile::IsBinaryFileName(m_strProgramFile)) return;
    // Cancel keeps the address given before (none: a load refuses the file).
    CStartAddressDlg dlg(this, m_session.m_nBinaryStart);
    if (dlg.DoModal() == ui::kIdOk && dlg.m_nAddress) m_session.m_nBinaryStart = dlg.m_nAddress;
}

void CWriterDlg::OnHelp() {
    std::string path;
    std::string missing;
    if (CurrentUiLanguage() == UiLanguage::Japanese) {
        path = m_strModuleDir + "Help/flash.html";
        missing = path + " が見つかりません";
    } else {
        path = m_strModuleDir + "Help/flashe.html";
        missing = path + " is not found.";
    }
    if (!sys::FileExists(path) || sys::IsDirectory(path)) {
        ui::MessageBox(this, missing, kAppTitle, ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
        return;
    }
    // A desktop without a viewer for web pages would otherwise leave the
    // button doing nothing at all.
    if (!ui::ActiveBackend().OpenWithViewer(path))
        ui::MessageBox(this, path + " cannot be opened: no viewer for web pages is set up.", kAppTitle,
                       ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
}

}  // namespace mirelle
