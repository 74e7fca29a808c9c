// The frame every single command runs in: the program file check, the
// progress window around the command's body, and the Download command.
#include "app/windows/control_ids.h"
#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "platform/system.h"

namespace mirelle {


void CWriterDlg::RunCommand(const std::string& caption, int progressMode, bool needsProgramFile,
                            bool closesPortFirst, const std::function<void()>& body) {
    m_tStart = ProgramClock().Now();

    if (needsProgramFile) {
        UpdateData(true);
        if (!sys::FileExists(m_strProgramFile)) {
            ReportResult(result::kNoHexFile, result::kKindError, result::kSoundError);
            return;
        }
    }
    if (closesPortFirst) {
        CloseComPort();
        ResetCommandButtons();
    }
    if (!OpenProgressWindow(progressMode)) return;
    m_pProgress->SetWindowText(caption);

    body();

    // The body may have lost its window already (the main window closed).
    CloseProgressWindow();
}

bool CWriterDlg::RunDownload(bool inFullOperation) {
    m_strStepText = StepText(ids::kStepDownloading, inFullOperation);
    if (m_bShowProgress && m_pProgress) m_pProgress->SetStatus(m_strStepText);

    const int r = DownloadControlProgram();
    if (r != '1') {
        SetFocus(idc::kTarget);
        UpdateData(false);
        CloseComPort();
    } else {
        if (!inFullOperation) {
            WriteTimingLog(0);
            ReportResult(result::kDownloaded, result::kKindInfo, result::kSoundEnd);
        }
        SetDownloadedButtons();
        UpdateData(false);
    }
    if (m_bShowProgress && m_pProgress) m_pProgress->SetPos(0);
    return r != '1';
}

void CWriterDlg::OnDownload() {
    RunCommand("Download", CProgressDlg::kModeBar, false, true, [this] { RunDownload(false); });
}

}  // namespace mirelle
