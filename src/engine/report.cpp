// The reporter: every operation ends its success or failure here. It composes
// the message from the result code and the details the failing step left,
// rewrites MESSFILE.TXT, shows the message in the progress window or a
// message box, plays the configured sound, and after errors that break the
// link puts the window back into its not-downloaded state and closes the port.
#include "app/windows/control_ids.h"
#include "texts/result_texts.h"
#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "platform/clock.h"
#include "platform/textfile.h"
#include "ui/backend.h"
#include "app/operations/com_handle.h"

namespace mirelle {


namespace {

constexpr const char* kCaption = "Flash Memory Writer";

bool IsError(int kind) { return kind >= result::kKindError && kind <= result::kKindLinkLost; }
bool NeedsRedownload(int kind) { return kind == result::kKindRedownload || kind == result::kKindLinkLost; }

int StatusIconFor(int kind) {
    if (kind == result::kKindError) return ui::kIconExclamation;
    if (NeedsRedownload(kind)) return ui::kIconHand;
    return ui::kIconAsterisk;
}

// Appends "\r\n" + label + value when the value is set, and empties it.
void AppendDetailLine(std::string& message, const char* label, std::string& value) {
    if (value.empty()) return;
    message += "\r\n";
    message += label;
    message += value;
    value.clear();
}

}  // namespace

int CWriterDlg::ReportResult(int code, int kind, int sound) {
    const bool interactive = !CommandLineMode();;

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

    // A progress object whose window could not be made shows nothing: the
    // message then goes to a message box.
    const bool in_progress = m_pProgress && m_pProgress->HasWindow();

    if (interactive) {
        if (in_progress) {
            m_pProgress->SetMode(CProgressDlg::kModeOk | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar);
            m_pProgress->SetStatusIcon(StatusIconFor(kind));
            m_pProgress->SetStatus(message);
            PlayEventSound(sound);
            CProgressDlg::WaitForPress(m_pProgress);
        } else {
            PlayEventSound(sound);
            ui::MessageBox(this, message, kCaption, ui::MessageButtons::Ok,
                           kind == result::kKindInfo ? ui::MessageIcon::Information : ui::MessageIcon::Exclamation);
        }
    }

    if (NeedsRedownload(kind)) {
        const std::string redo = LoadString(ids::kRedoFromDownload);
        if (interactive) {
            if (in_progress) {
                // The first wait may have ended with the window gone.
                if (m_pProgress) {
                    m_pProgress->SetStatus(redo);
                    CProgressDlg::WaitForPress(m_pProgress);
                }
            } else {
                ui::MessageBox(this, redo, kCaption, ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
            }
        }
        ResetCommandButtons();
        SetFocus(idc::kTarget);
        UpdateData(false);
        // Only now, after both messages were acknowledged.
        CloseComPort();
    }
    return 0;
}

void CWriterDlg::PlayEventSound(int event) {
    if (!m_settings.bSound) return;
    int enabled = 0;
    int type = 0;
    const std::string* wave = nullptr;
    if (event == result::kSoundError) {
        enabled = m_settings.bErrorEnable;
        type = m_settings.nErrorType;
        wave = &m_settings.strErrorWave;
    } else if (event == result::kSoundEnd) {
        enabled = m_settings.bEndEnable;
        type = m_settings.nEndType;
        wave = &m_settings.strEndWave;
    } else {
        return;
    }
    if (!enabled) return;
    ui::Backend& backend = ui::ActiveBackend();
    if (type != 0) {
        backend.Beep();
        return;
    }
    backend.StopSound();
    // "<none>" (the default) and an empty setting name no file: nothing to play.
    if (!wave->empty() && *wave != "<none>") backend.PlayWave(*wave);
}

std::string CWriterDlg::ResultLogPath() const {
    return m_env.result_log_path.empty() ? m_strModuleDir + "MESSFILE.TXT" : m_env.result_log_path;
}

void CWriterDlg::WriteResultLog(int code, const std::string& message) {
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

}  // namespace mirelle
