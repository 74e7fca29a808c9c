// The frame every single command runs in: the program file check, the
// progress display around the command's body, and the Download command.
#include "engine/flash_session.h"
#include "platform/system.h"
#include "texts/string_table.h"

namespace mirelle::engine {

void FlashSession::RunCommand(const std::string& caption, int progressMode, bool needsProgramFile,
                              bool closesPortFirst, const std::function<void()>& body) {
    m_tStart = GetClock().Now();

    if (needsProgramFile && !sys::FileExists(m_strProgramFile)) {
        ReportResult(result::kNoHexFile, result::kKindError, result::kSoundError);
        return;
    }
    if (closesPortFirst) {
        CloseComPort();
        m_bDownloaded = 0;
        m_events.CommandsReset();
    }
    if (!m_events.OpenProgress(progressMode, caption)) return;

    body();

    // The body may have lost its display already (the main window closed).
    m_events.CloseProgress();
}

bool FlashSession::RunDownload(bool inFullOperation) {
    const PhaseTimer timer(*this, kPhaseDownload);
    m_strStepText = StepText(ids::kStepDownloading, inFullOperation);
    if (m_bShowProgress) m_events.StepBegins(m_strStepText);

    const int r = DownloadControlProgram();
    if (r != '1') {
        m_events.DownloadLost();
        CloseComPort();
    } else {
        if (!inFullOperation) {
            WriteTimingLog(0);
            ReportResult(result::kDownloaded, result::kKindInfo, result::kSoundEnd);
        }
        m_bDownloaded = 1;
        m_events.Downloaded();
    }
    if (m_bShowProgress) m_events.ProgressPosition(0);
    return r != '1';
}

Result FlashSession::Download() {
    const RecordScope record(*this, "download");
    ClearResult();
    RunCommand("Download", layout::kBar, false, true, [this] { RunDownload(false); });
    return LastResult();
}

}  // namespace mirelle::engine
