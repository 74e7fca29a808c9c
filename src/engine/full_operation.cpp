// Full Operation: decode the program file, download the control program,
// erase and blank-check when the chip needs it, program and verify. Also the
// frame of the unattended run that does one Full Operation at start-up.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/system.h"

namespace mirelle {


namespace {

// A signal during the unattended run ends it between steps.
bool Interrupted() { return sys::InterruptSignal() != 0; }

// A report's text with plain LF line ends (it holds CR LF pairs for the log).
std::string TerminalText(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

void CWriterDlg::FullOperation() {
    m_tStart = ProgramClock().Now();
    m_bFullOperationDone = false;
    if (!sys::FileExists(m_strProgramFile)) {
        ReportResult(result::kNoHexFile, result::kKindError, result::kSoundError);
        return;
    }
    CloseComPort();
    ResetCommandButtons();
    CloseProgressWindow();
    if (m_bShowProgress) {
        if (!OpenProgressWindow(-1)) return;  // as the command frame does: no window, no operation
        m_pProgress->SetMode(CProgressDlg::kDefaultMode, true, std::string("Full Operation"));
    }

    [&] {
        if (LoadProgramFile(true, 0xFF) == 0 || !LoadedFlashData() || Interrupted()) return;
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
    }();

    CloseProgressWindow();
}

void CWriterDlg::BeginUnattendedRun() {
    // Until the run reports its success the log says it failed, whatever an
    // earlier run left there, so a run that ends without any report (a
    // cancelled prompt, no progress window, a stopped programming) is never
    // taken for a good one.
    WriteResultLog(0, "");
    m_bFullOperationDone = false;
    m_nUnattendedExitStatus = 1;
    m_interruptGuard = std::make_unique<sys::InterruptGuard>();
}

void CWriterDlg::EndUnattendedRun() {
    const int signal = sys::InterruptSignal();
    if (signal != 0 && !m_bFullOperationDone) {
        CloseProgressWindow();
        CloseComPort();
        // The log holds "NG" and whatever the stopped step reported, which is
        // often only a consequence of the stop (a wait cut short). The line
        // right after "NG" says why the run did not finish; the step's report
        // follows it.
        const std::string path = ResultLogPath();
        std::string before;
        if (sys::FilePtr in = sys::OpenFile(path, "rb")) {
            char buf[4096];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in.get())) > 0;) before.append(buf, n);
        }
        const std::string kNg = "NG\r\n";
        if (before.compare(0, kNg.size(), kNg) == 0) before.erase(0, kNg.size());
        const std::string text =
            kNg + "Interrupted by signal " + std::to_string(signal) + " (" + sys::SignalName(signal) + ")\r\n" + before;
        if (sys::FilePtr log = sys::OpenFile(path, "wb")) std::fwrite(text.data(), 1, text.size(), log.get());
    }
    m_interruptGuard.reset();
    sys::SetInterruptSignal(0);
    m_nUnattendedExitStatus = m_bFullOperationDone ? 0 : 1;
    // Someone at a terminal sees the progress and an exit status; the reason
    // of a failure is written where they look too, as the log holds it.
    if (!m_bFullOperationDone) {
        std::string reason;
        if (signal != 0)
            reason = "Interrupted by signal " + std::to_string(signal) + " (" + sys::SignalName(signal) + ")\n";
        // The text after "NG" of the last log written.
        if (m_nLastLogCode != result::kFullOperationDone) reason += TerminalText(m_strLastLogMessage);
        while (!reason.empty() && reason.back() == '\n') reason.pop_back();
        if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    }
}

}  // namespace mirelle
