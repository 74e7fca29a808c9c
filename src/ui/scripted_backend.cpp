#include "ui/scripted_backend.h"

#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <cctype>

namespace mirelle::ui {

ScriptedBackend::ScriptedBackend() = default;

ScriptedBackend::~ScriptedBackend() {
    for (Dialog* d : live_) d->SetObserver(nullptr);
}

std::vector<std::string> ScriptedBackend::TextsOf(int dialog_template, int control) const {
    std::vector<std::string> out;
    for (const TextRecord& r : texts)
        if (r.dialog_template == dialog_template && r.control == control) out.push_back(r.text);
    return out;
}

void ScriptedBackend::When(std::function<bool()> condition, std::function<void()> action) {
    triggers_.push_back({std::move(condition), std::move(action), false});
}

void ScriptedBackend::PressWhenCaption(int dialog_template, const std::string& caption, int button) {
    When([this, dialog_template, caption] {
             Dialog* d = FindLive(dialog_template);
             return d != nullptr && d->GetWindowText() == caption;
         },
         [this, dialog_template, button] { Click(*FindLive(dialog_template), button); });
}

void ScriptedBackend::PressWhenText(int dialog_template, int control, const std::string& text, int button) {
    When([this, dialog_template, control, text] {
             Dialog* d = FindLive(dialog_template);
             return d != nullptr && d->GetDlgItemText(control) == text;
         },
         [this, dialog_template, button] { Click(*FindLive(dialog_template), button); });
}

Dialog* ScriptedBackend::FindLive(int dialog_template) const {
    for (auto it = live_.rbegin(); it != live_.rend(); ++it)
        if ((*it)->TemplateId() == dialog_template) return *it;
    return nullptr;
}

// --- the user ---

bool ScriptedBackend::Click(Dialog& d, int id) { return d.Deliver(InputEvent::ClickOn(id)); }

void ScriptedBackend::Type(Dialog& d, int id, const std::string& keys) {
    InputEvent focus;
    focus.kind = InputKind::FocusChanged;
    focus.control = id;
    d.Deliver(focus);
    for (char ch : keys) {
        int vk = 0;
        unsigned char u = static_cast<unsigned char>(ch);
        if (std::isalpha(u)) vk = std::toupper(u);
        else if (std::isdigit(u) || ch == ' ') vk = ch;
        else if (ch == '\b') vk = kVkBack;
        if (vk != 0 && d.Deliver(InputEvent::Key(vk))) continue;  // the key became a command
        InputEvent typed;
        typed.kind = InputKind::Char;
        typed.character = ch;
        d.Deliver(typed);
    }
}

bool ScriptedBackend::SetText(Dialog& d, int id, const std::string& text) {
    return d.Deliver(InputEvent::TextEditedIn(id, text));
}

bool ScriptedBackend::PressKey(Dialog& d, int vk, bool alt) { return d.Deliver(InputEvent::Key(vk, alt)); }

bool ScriptedBackend::Select(Dialog& d, int id, int index) {
    return d.Deliver(InputEvent::SelectionIn(id, index));
}

bool ScriptedBackend::RightClick(Dialog& d, int id, bool double_click) {
    Rect r = d.ControlRect(id);
    InputEvent e;
    e.kind = double_click ? InputKind::RightButtonDoubleClick : InputKind::RightButtonDown;
    e.control = id;
    e.point = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    return d.Deliver(e);
}

bool ScriptedBackend::Hover(Dialog& d, int id) {
    InputEvent e;
    e.kind = InputKind::MouseHover;
    e.control = id;
    return d.Deliver(e);
}

bool ScriptedBackend::DropFiles(Dialog& d, const std::vector<std::string>& files) {
    InputEvent e;
    e.kind = InputKind::DropFiles;
    e.files = files;
    return d.Deliver(e);
}

bool ScriptedBackend::Close(Dialog& d) {
    InputEvent e;
    e.kind = InputKind::Close;
    return d.Deliver(e);
}

bool ScriptedBackend::SysCommand(Dialog& d, int command) {
    InputEvent e;
    e.kind = InputKind::SysCommand;
    e.command = command;
    return d.Deliver(e);
}

// --- Backend ---

bool ScriptedBackend::CreateWindow(Dialog& dialog, Dialog*, bool) {
    if (fail_create_count > 0 && dialog.TemplateId() == fail_create_template) {
        --fail_create_count;
        return false;
    }
    live_.push_back(&dialog);
    dialog.SetObserver(this);
    texts.push_back({dialog.TemplateId(), 0, dialog.GetWindowText()});
    return true;
}

void ScriptedBackend::DestroyWindow(Dialog& dialog) {
    std::erase(live_, &dialog);
    dialog.SetObserver(nullptr);
}

void ScriptedBackend::RunModal(Dialog& dialog) {
    modal_runs.push_back(dialog.TemplateId());
    if (!modal_scripts.empty()) {
        auto script = std::move(modal_scripts.front());
        modal_scripts.pop_front();
        script(dialog);
    }
    if (dialog.Ended()) return;
    Close(dialog);
    if (!dialog.Ended()) {
        ++unended_runs;
        dialog.EndDialog(kIdCancel);
    }
}

void ScriptedBackend::PumpEvents() {
    if (++pumps > pump_limit) {
        std::fprintf(stderr, "scripted backend: %d pumps without an end; a wait that the script never answers\n",
                     pumps - 1);
        std::abort();
    }
    if (in_pump_) return;  // an action that pumps again does not re-enter the triggers
    in_pump_ = true;
    if (on_pump) on_pump();
    for (std::size_t i = 0; i < triggers_.size(); ++i) {
        if (triggers_[i].fired || !triggers_[i].condition()) continue;
        triggers_[i].fired = true;
        auto action = triggers_[i].action;  // the action may add triggers
        action();
    }
    in_pump_ = false;
}

int ScriptedBackend::MessageBox(const MessageBoxRequest& request) {
    int answer = 0;
    if (on_message_box) answer = on_message_box(request);
    if (answer == 0 && !answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (answer == 0) answer = default_answer;
    if (answer == 0) answer = request.buttons == MessageButtons::YesNo ? kIdYes : kIdOk;
    message_boxes.push_back({request.text, request.caption, request.buttons, request.icon,
                             request.owner ? request.owner->TemplateId() : 0, answer});
    return answer;
}

std::optional<std::string> ScriptedBackend::FileDialog(const FileDialogRequest& request) {
    file_dialogs.push_back(request);
    if (file_answers.empty()) return std::nullopt;
    auto answer = file_answers.front();
    file_answers.pop_front();
    return answer;
}

void ScriptedBackend::PlayWave(const std::string& path) { sounds.push_back("wave:" + path); }
void ScriptedBackend::StopSound() { sounds.push_back("stop"); }
void ScriptedBackend::Beep() { sounds.push_back("beep"); }

bool ScriptedBackend::OpenWithViewer(const std::string& path) {
    opened_documents.push_back(path);
    return open_document_result;
}

void ScriptedBackend::ShowToolTip(Dialog&, int control, const std::string& text) {
    tooltips_shown.emplace_back(control, text);
}

void ScriptedBackend::OnDialogChanged(Dialog& dialog, const Change& change) {
    if (change.kind == ChangeKind::Caption) {
        texts.push_back({dialog.TemplateId(), 0, dialog.GetWindowText()});
    } else if (change.kind == ChangeKind::Text || change.kind == ChangeKind::Selection) {
        texts.push_back({dialog.TemplateId(), change.control, dialog.GetDlgItemText(change.control)});
    } else if (change.kind == ChangeKind::TextColor) {
        colors.push_back({dialog.TemplateId(), change.control, dialog.TextColor(change.control)});
    }
}

}  // namespace mirelle::ui
