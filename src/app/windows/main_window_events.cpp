#include "app/windows/main_window_events.h"

#include <cstdio>

#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "texts/result_codes.h"
#include "ui/backend.h"

namespace mirelle {

namespace {

constexpr const char* kCaption = "Flash Memory Writer";

int StatusIconFor(int kind) {
    if (kind == result::kKindError) return ui::kIconExclamation;
    if (kind == result::kKindRedownload || kind == result::kKindLinkLost) return ui::kIconHand;
    return ui::kIconAsterisk;
}

ui::MessageIcon IconOf(engine::Notice::Icon icon) {
    switch (icon) {
        case engine::Notice::Icon::kInformation: return ui::MessageIcon::Information;
        case engine::Notice::Icon::kExclamation: return ui::MessageIcon::Exclamation;
        case engine::Notice::Icon::kNone: break;
    }
    return ui::MessageIcon::None;
}

}  // namespace

bool MainWindowEvents::OpenProgress(int mode, const std::string& caption) {
    if (!window_.OpenProgressWindow(mode)) return false;
    if (!caption.empty()) window_.m_pProgress->SetWindowText(caption);
    return true;
}

void MainWindowEvents::CloseProgress() { window_.CloseProgressWindow(); }

bool MainWindowEvents::HasProgress() const { return window_.m_pProgress != nullptr; }

void MainWindowEvents::ProgressLayout(int mode, bool centre, const std::optional<std::string>& caption) {
    if (window_.m_pProgress) window_.m_pProgress->SetMode(mode, centre, caption);
}

void MainWindowEvents::StepBegins(const std::string& text) { StatusText(text); }

void MainWindowEvents::StatusText(const std::string& text) {
    if (window_.m_pProgress) window_.m_pProgress->SetStatus(text);
}

void MainWindowEvents::ProgressRange(int lower, int upper, int step, int position) {
    if (window_.m_pProgress) window_.m_pProgress->SetProgress(lower, upper, step, position);
}

void MainWindowEvents::ProgressPosition(int position) {
    if (window_.m_pProgress) window_.m_pProgress->SetPos(position);
}

void MainWindowEvents::ProgressStep() {
    if (window_.m_pProgress) window_.m_pProgress->StepIt();
}

bool MainWindowEvents::CancelRequested() { return window_.m_pProgress && window_.m_pProgress->PollCancel() != 0; }

void MainWindowEvents::Cancelled(const std::string& text, bool acknowledge) {
    if (!window_.m_pProgress) return;
    window_.m_pProgress->SetStatus(text);
    if (!acknowledge) return;
    // The Cancel button becomes the acknowledgement of the ending.
    window_.m_pProgress->SetDlgItemText(idc::kProgressButton, "OK");
    CProgressDlg::WaitForPress(window_.m_pProgress);
}

bool MainWindowEvents::Ask(engine::Question question, const std::string& text, const std::string& caption) {
    if (question == engine::Question::kResetBoard) {
        // Without a progress window (no_dialog) the main window owns the prompt.
        ui::Dialog* owner = window_.m_pProgress ? static_cast<ui::Dialog*>(window_.m_pProgress.get()) : &window_;
        return ui::MessageBox(owner, text, caption, ui::MessageButtons::OkCancel, ui::MessageIcon::Information) ==
               ui::kIdOk;
    }
    return ui::MessageBox(window_.m_pProgress.get(), text, caption, ui::MessageButtons::YesNo,
                          ui::MessageIcon::Question) == ui::kIdYes;
}

void MainWindowEvents::Notify(const engine::Notice& notice) {
    ui::Dialog* owner = notice.over_progress ? static_cast<ui::Dialog*>(window_.m_pProgress.get()) : &window_;
    ui::MessageBox(owner, notice.text, notice.caption, ui::MessageButtons::Ok, IconOf(notice.icon));
}

void MainWindowEvents::Warning(const std::string& text) {
    // Only an unattended run is told: nobody watches its window.
    if (window_.CommandLineMode()) std::fprintf(stderr, "mirelle: warning: %s\n", text.c_str());
}

void MainWindowEvents::RecordProblem(const std::string& text) {
    // Told once per session: on standard error for whoever runs the program,
    // and in a message box for the person at the window. The unit's verdict
    // stands as it was reported.
    std::fprintf(stderr, "mirelle: records: %s\n", text.c_str());
    if (!window_.CommandLineMode())
        ui::MessageBox(&window_, "Records: " + text, kCaption, ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
}

void MainWindowEvents::Reported(const engine::ResultReport& report) {
    // In command-line mode the result log alone tells the result.
    if (window_.CommandLineMode()) return;
    // A progress object whose window could not be made shows nothing: the
    // message then goes to a message box.
    const bool in_progress = window_.m_pProgress && window_.m_pProgress->HasWindow();
    if (in_progress) {
        window_.m_pProgress->SetMode(CProgressDlg::kModeOk | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar);
        window_.m_pProgress->SetStatusIcon(StatusIconFor(report.kind));
        window_.m_pProgress->SetStatus(report.message);
        window_.PlayEventSound(report.sound);
        CProgressDlg::WaitForPress(window_.m_pProgress);
    } else {
        window_.PlayEventSound(report.sound);
        ui::MessageBox(&window_, report.message, kCaption, ui::MessageButtons::Ok,
                       report.kind == result::kKindInfo ? ui::MessageIcon::Information : ui::MessageIcon::Exclamation);
    }
    if (report.redo.empty()) return;
    if (in_progress) {
        // The first wait may have ended with the window gone.
        if (window_.m_pProgress) {
            window_.m_pProgress->SetStatus(report.redo);
            CProgressDlg::WaitForPress(window_.m_pProgress);
        }
    } else {
        ui::MessageBox(&window_, report.redo, kCaption, ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
    }
}

void MainWindowEvents::Downloaded() {
    window_.SetDownloadedButtons();
    window_.UpdateData(false);
}

void MainWindowEvents::CommandsReset() { window_.ResetCommandButtons(); }

void MainWindowEvents::DownloadLost() {
    window_.SetFocus(idc::kTarget);
    window_.UpdateData(false);
}

void MainWindowEvents::PortProblem(const std::string& line) {
    if (window_.m_env.port_problem_sink) window_.m_env.port_problem_sink(line);
}

}  // namespace mirelle
