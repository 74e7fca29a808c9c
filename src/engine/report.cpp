// The reporter: every operation ends its success or failure here. It composes
// the message from the result code and the details the failing step left,
// rewrites the result log (MESSFILE.TXT), hands the report to the front end
// to show with its sound, and after errors that break the link returns the
// session to its not-downloaded state and closes the port.
#include "engine/flash_session.h"
#include "platform/textfile.h"
#include "texts/result_texts.h"
#include "texts/string_table.h"

namespace mirelle::engine {

namespace {

bool IsError(int kind) { return kind >= result::kKindError && kind <= result::kKindLinkLost; }
bool NeedsRedownload(int kind) { return kind == result::kKindRedownload || kind == result::kKindLinkLost; }

// Appends "\r\n" + label + value when the value is set, and empties it.
void AppendDetailLine(std::string& message, const char* label, std::string& value) {
    if (value.empty()) return;
    message += "\r\n";
    message += label;
    message += value;
    value.clear();
}

}  // namespace

int FlashSession::ReportResult(int code, int kind, int sound) {
    const bool interactive = !m_bCommandLine;

    std::string message = LoadString(code);
    if (IsError(kind)) {
        if (interactive) {
            // The prefix stands even when there is no detail.
            message = "ERROR !!    " + m_strErrorDetail + "\r\n" + message;
        } else {
            message = m_strErrorDetail + message + "\n";
        }
    }
    m_strErrorDetail.clear();
    AppendDetailLine(message, " ErrorAddress : ", m_strErrAddress);
    AppendDetailLine(message, " Flash      : ", m_strErrFlash);
    AppendDetailLine(message, " HexFile   : ", m_strErrHexFile);

    WriteResultLog(code, message);
    m_nKind = kind;
    if (m_nFirstFailureCode < 0 && !result::IsCompletion(code)) m_nFirstFailureCode = code;

    ResultReport report{code, kind, sound, message, ""};
    if (NeedsRedownload(kind)) report.redo = LoadString(ids::kRedoFromDownload);
    m_events.Reported(report);

    if (NeedsRedownload(kind)) {
        m_bDownloaded = 0;
        m_events.CommandsReset();
        m_events.DownloadLost();
        // Only now, after the messages were acknowledged.
        CloseComPort();
    }
    return 0;
}

std::string FlashSession::ResultLogPath() const {
    return m_strResultLogPath.empty() ? m_strModuleDir + "MESSFILE.TXT" : m_strResultLogPath;
}

void FlashSession::WriteResultLog(int code, const std::string& message) {
    m_nLastLogCode = code;
    m_strLastLogMessage = message;
    // Written in text mode: each LF of the message lands as CR LF.
    TextWriter log(ResultLogPath());
    // A log that cannot be created (a write-protected folder) is left out;
    // the report itself goes on.
    if (!log.IsOpen()) return;
    if (code == result::kFullOperationDone) {
        log.Write("OK");
    } else {
        log.Write("NG\n");
        log.Write(message);
    }
    log.Close();
}

}  // namespace mirelle::engine
