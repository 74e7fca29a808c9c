// The main window's commands: each takes the values of the controls, hands
// the command to the session and shows its result (the session's events do
// that). Also the unattended run around Full Operation and the sounds.
#include <cstdio>
#include <memory>

#include "app/windows/control_ids.h"
#include "app/windows/result_sound.h"
#include "app/windows/writer_dlg.h"
#include "platform/interrupt.h"
#include "ui/backend.h"

namespace mirelle {

namespace {

constexpr const char* kIntelHexFilter = "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||";
constexpr const char* kSRecordFilter =
    "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|all files (*.*)|*.*||";

// A report's text with plain LF line ends (it holds CR LF pairs for the log).
std::string TerminalText(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

void CWriterDlg::RunCommand(const std::string& caption, int progressMode, bool needsProgramFile,
                            bool closesPortFirst, const std::function<void()>& body) {
    if (needsProgramFile) UpdateData(true);
    SyncSession();
    m_session.RunCommand(caption, progressMode, needsProgramFile, closesPortFirst, body);
}

void CWriterDlg::OnDownload() {
    SyncSession();
    m_session.Download();
}

void CWriterDlg::OnErase() {
    SyncSession();
    m_session.Erase();
}

void CWriterDlg::OnBlankCheck() {
    SyncSession();
    m_session.BlankCheckCommand();
}

void CWriterDlg::OnProgram() {
    UpdateData(true);
    SyncSession();
    m_session.Program();
}

void CWriterDlg::OnCompare() {
    UpdateData(true);
    SyncSession();
    m_session.Compare();
}

int CWriterDlg::CopyToFile() {
    const bool intelHex = m_bCopyIntelHex != 0;
    ui::FileDialogRequest request;
    request.save = true;
    request.owner = this;
    request.filter = intelHex ? kIntelHexFilter : kSRecordFilter;
    request.default_extension = intelHex ? "hex" : "mhx";
    request.initial_dir = m_strProgramFile;
    request.flags = ui::kOverwritePrompt | ui::kHideReadOnly | ui::kFileMustExist | ui::kNoNetworkButton;
    const std::optional<std::string> chosen = ui::ActiveBackend().FileDialog(request);
    if (!chosen) return 0;
    SyncSession();
    return m_session.CopyToFile(*chosen, intelHex);
}

void CWriterDlg::OnCopy() {
    CopyToFile();
    CloseProgressWindow();
}

void CWriterDlg::FullOperation() {
    SyncSession();
    m_session.FullOperation();
}

int CWriterDlg::ImageChecksum(std::uint8_t fill) {
    SyncSession();
    return m_session.ImageChecksum(fill);
}

bool CWriterDlg::RunDownload(bool inFullOperation) {
    SyncSession();
    return m_session.RunDownload(inFullOperation);
}

int CWriterDlg::DownloadControlProgram() {
    SyncSession();
    return m_session.DownloadControlProgram();
}

bool CWriterDlg::OpenBootPort() {
    SyncSession();
    return m_session.OpenBootPort();
}

int CWriterDlg::EraseFlash(bool inFullOperation) {
    SyncSession();
    return m_session.EraseFlash(inFullOperation);
}

int CWriterDlg::BlankCheck(bool inFullOperation) {
    SyncSession();
    return m_session.BlankCheck(inFullOperation);
}

int CWriterDlg::QuickBlankTest() {
    SyncSession();
    return m_session.QuickBlankTest();
}

int CWriterDlg::ProgramAndVerify(bool inFullOperation) {
    SyncSession();
    return m_session.ProgramAndVerify(inFullOperation);
}

void CWriterDlg::ReadAndCompare() {
    SyncSession();
    m_session.ReadAndCompare();
}

void CWriterDlg::WriteTimingLog(unsigned operation) {
    SyncSession();
    m_session.WriteTimingLog(operation);
}

bool CWriterDlg::LoadedFlashData() {
    SyncSession();
    return m_session.LoadedFlashData();
}

void CWriterDlg::BeginUnattendedRun() {
    m_session.BeginRun();
    m_nUnattendedExitStatus = 1;
    m_interruptGuard = std::make_unique<sys::InterruptGuard>();
}

void CWriterDlg::EndUnattendedRun() {
    const int signal = sys::InterruptSignal();
    const bool done = m_session.FullOperationDone();
    if (signal != 0 && !done) {
        CloseProgressWindow();
        CloseComPort();
    }
    m_session.EndRun(signal, done ? 0 : 1);
    m_interruptGuard.reset();
    sys::SetInterruptSignal(0);
    m_nUnattendedExitStatus = done ? 0 : 1;
    // What the program file was read as: the format is told by its name and
    // content, and a script's log should show which one was taken.
    const std::string format = m_session.LastResult().program_format;
    if (!format.empty()) std::fprintf(stderr, "mirelle: %s read as %s\n", m_strProgramFile.c_str(), format.c_str());
    // Someone at a terminal sees the progress and an exit status; the reason
    // of a failure is written where they look too, as the log holds it.
    if (!done) {
        std::string reason;
        if (signal != 0)
            reason = "Interrupted by signal " + std::to_string(signal) + " (" + sys::SignalName(signal) + ")\n";
        // The text after "NG" of the last log written.
        if (m_nLastLogCode != result::kFullOperationDone) reason += TerminalText(m_strLastLogMessage);
        while (!reason.empty() && reason.back() == '\n') reason.pop_back();
        if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    }
}

void CWriterDlg::PlayEventSound(int event) { PlayResultSound(m_settings, event); }

}  // namespace mirelle
