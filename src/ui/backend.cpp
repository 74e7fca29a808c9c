#include "ui/backend.h"

#include "ui/dialog.h"

namespace mirelle::ui {

namespace {

// Every backend that exists, in a list through the backends themselves: a
// plain pointer needs no constructor or destructor, so the list works for
// backends built before main and destroyed after it.
Backend* g_first_live = nullptr;

}  // namespace

Backend::Backend() : next_live_(g_first_live) {
    if (next_live_ != nullptr) next_live_->prev_live_ = this;
    g_first_live = this;
}

Backend::~Backend() {
    if (prev_live_ != nullptr) prev_live_->next_live_ = next_live_;
    else g_first_live = next_live_;
    if (next_live_ != nullptr) next_live_->prev_live_ = prev_live_;
}

bool Backend::Exists(const Backend* backend) {
    for (const Backend* b = g_first_live; b != nullptr; b = b->next_live_)
        if (b == backend) return true;
    return false;
}

namespace {

// The backend before any is installed: no windows, first-button answers.
class Headless final : public Backend {
public:
    bool CreateWindow(Dialog&, Dialog*, bool) override { return false; }
    void DestroyWindow(Dialog&) override {}
    void RunModal(Dialog& dialog) override {
        if (!dialog.Ended()) dialog.EndDialog(kIdCancel);
    }
    void PumpEvents() override {}
    int MessageBox(const MessageBoxRequest& request) override {
        return request.buttons == MessageButtons::YesNo ? kIdYes : kIdOk;
    }
    std::optional<std::string> FileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void PlayWave(const std::string&) override {}
    void StopSound() override {}
    void Beep() override {}
    bool OpenWithViewer(const std::string&) override { return false; }
};

Headless g_headless;
Backend* g_backend = nullptr;
Dialog* g_main_window = nullptr;

}  // namespace

Backend& HeadlessBackend() { return g_headless; }
Backend& ActiveBackend() { return g_backend != nullptr ? *g_backend : g_headless; }
void SetActiveBackend(Backend* backend) { g_backend = backend; }

Dialog* MainWindow() { return g_main_window; }
void SetMainWindow(Dialog* dialog) { g_main_window = dialog; }

int MessageBox(Dialog* owner, const std::string& text, const std::string& caption, MessageButtons buttons,
               MessageIcon icon) {
    if (owner != nullptr && !owner->HasWindow()) owner = nullptr;
    bool disabled = false;
    if (owner != nullptr && owner->IsWindowEnabled()) {
        owner->EnableWindow(false);
        disabled = true;
    }
    int answer = ActiveBackend().MessageBox({owner, text, caption, buttons, icon});
    if (disabled && owner->HasWindow()) owner->EnableWindow(true);
    return answer;
}

void PumpEvents() { ActiveBackend().PumpEvents(); }

}  // namespace mirelle::ui
