// The frame every single command runs in: the program file check, the
// progress window around the command's body, and the Download command.
#include <new>

#include "app/windows/control_ids.h"
#include "app/texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "platform/system.h"

namespace mirelle {

namespace {
constexpr const char* kFullOperationPrefix = "Full Operation - ";
}  // namespace

void CWriterDlg::RunCommand(const std::string& caption, int progressMode, bool needsProgramFile,
                            bool closesPortFirst, const std::function<void()>& body) {
    m_tStart = ProgramClock().Now();

    if (needsProgramFile) {
        UpdateData(true);
        if (!sys::FileExists(m_strProgramFile)) {
            ReportResult(401, 1, 1);
            return;
        }
    }
    if (closesPortFirst) {
        CloseComPort();
        ResetCommandButtons();
    }
    if (m_pProgress) {
        m_pProgress->DestroyWindow();
        m_pProgress.reset();
    }
    try {
        m_pProgress = std::make_unique<CProgressDlg>(progressMode);
    } catch (const std::bad_alloc&) {
        return;
    }
    // No owner: the progress window takes the main window and disables it.
    if (!m_pProgress->Create(nullptr)) {
        m_pProgress.reset();
        return;
    }
    m_pProgress->SetWindowText(caption);

    body();

    // The body may have lost its window already (the main window closed).
    if (m_pProgress) {
        m_pProgress->DestroyWindow();
        m_pProgress.reset();
    }
}

bool CWriterDlg::RunDownload(bool inFullOperation) {
    m_strStepText = LoadString(ids::kStepDownloading);
    if (inFullOperation) m_strStepText = kFullOperationPrefix + m_strStepText;
    if (m_bShowProgress && m_pProgress) m_pProgress->SetStatus(m_strStepText);

    const int r = DownloadControlProgram();
    if (r != '1') {
        SetFocus(idc::kTarget);
        UpdateData(false);
        CloseComPort();
    } else {
        if (!inFullOperation) {
            WriteTimingLog(0);
            ReportResult(307, 0, 2);
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
