// Full Operation: decode the program file, download the control program,
// erase and blank-check when the chip needs it, program and verify. Also the
// result log around an unattended run of it.
#include <cstdio>
#include <string>

#include "engine/flash_session.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/system.h"

namespace mirelle::engine {

void FlashSession::FullOperation() {
    const RecordScope record(*this, "full-operation");
    m_tStart = GetClock().Now();
    m_bFullOperationDone = false;
    if (!sys::FileExists(m_strProgramFile)) {
        ReportResult(result::kNoHexFile, result::kKindError, result::kSoundError);
        return;
    }
    CloseComPort();
    m_bDownloaded = 0;
    m_events.CommandsReset();
    m_events.CloseProgress();
    if (m_bShowProgress) {
        if (!m_events.OpenProgress(-1, "")) return;  // as the command frame does: no display, no operation
        m_events.ProgressLayout(layout::kDefault, true, std::string("Full Operation"));
    }

    // A signal during the unattended run (or a station's stop of this
    // session) ends it between steps.
    const auto Interrupted = [this] { return StopRequested(); };
    [&] {
        // A refused chip's areas are wrong: its file is not even loaded against them.
        if (RefusedChip() || LoadProgramFile(true, 0xFF) == 0 || !LoadedFlashData() || Interrupted()) return;
        if (RunDownload(true) || Interrupted()) return;
        const int blank = QuickBlankTest();
        if (Interrupted()) return;
        if (blank == 0) {
            // A blank chip is erased anyway when its CR bytes say it has not
            // been set up yet (the erase sets them).
            if (ReadCr() != 0 || Interrupted()) return;
            if (m_pStatusA[0] == 0xFF && m_pStatusA[1] == 0xFF) {
                if (EraseFlash(true) != 0 || Interrupted()) return;
                if (BlankCheck(true) != 0 || Interrupted()) return;
            }
        } else if (blank == 1) {
            if (EraseFlash(true) != 0 || Interrupted()) return;
            if (BlankCheck(true) != 0 || Interrupted()) return;
        } else {
            return;
        }
        m_bFullOperationDone = ProgramAndVerify(true) == 0;
        // The last operation is done: a board wired for it starts its program.
        if (m_bFullOperationDone && !RunBootExit()) m_bFullOperationDone = false;
    }();

    m_events.CloseProgress();
}

Result FlashSession::RunFullOperation() {
    ClearResult();
    FullOperation();
    return LastResult();
}

void FlashSession::BeginRun() {
    // Until the run reports its success the log says it failed, whatever an
    // earlier run left there, so a run that ends without any report (a
    // cancelled prompt, no progress window, a stopped programming) is never
    // taken for a good one.
    WriteResultLog(0, "");
    m_bFullOperationDone = false;
    OpenRecord(nullptr);
}

void FlashSession::EndRun(int signal, int exitStatus) {
    if (m_record) m_nRecordSignal = signal;
    // The record keeps the run's ending as the result log tells it.
    struct CloseAtEnd {
        FlashSession& s;
        int status;
        ~CloseAtEnd() { s.CloseRecord(status); }
    } closeAtEnd{*this, exitStatus};
    if (signal == 0 || m_bFullOperationDone) return;
    // The log holds "NG" and whatever the stopped step reported, which is
    // often only a consequence of the stop (a wait cut short). The line
    // right after "NG" says why the run did not finish; the step's report
    // follows it. A report that is no failure (the download's success,
    // written before the stopped step began) or one from before this run
    // says nothing about the stop and is left out, so that it cannot pass
    // for the run's last word.
    const std::string path = ResultLogPath();
    std::string before;
    if (m_nLastLogCode != -1 && m_nKind != result::kKindInfo) sys::ReadWholeFile(path, before);
    const std::string kNg = "NG\r\n";
    if (before.compare(0, kNg.size(), kNg) == 0) before.erase(0, kNg.size());
    const std::string text =
        kNg + "Interrupted by signal " + std::to_string(signal) + " (" + sys::SignalName(signal) + ")\r\n" + before;
    if (sys::FilePtr log = sys::OpenFile(path, "wb")) std::fwrite(text.data(), 1, text.size(), log.get());
}

}  // namespace mirelle::engine
