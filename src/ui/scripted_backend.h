// The backend of the tests. It makes no windows; it keeps the live dialogs,
// records what a user would have seen (message boxes, text and caption
// changes, file dialogs, sounds, tooltips), answers from a script, and acts
// as the user: clicks, keystrokes, right clicks, dropped files, closing.
// Scripted actions go through Dialog::Deliver like real input, so disabled
// windows and controls ignore them.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/dialog.h"

namespace mirelle::ui {

class ScriptedBackend final : public Backend, public DialogObserver {
public:
    struct MessageBoxRecord {
        std::string text;
        std::string caption;
        MessageButtons buttons;
        MessageIcon icon;
        int owner_template = 0;  // template id of the owner, 0 for none
        int answer = 0;
    };
    struct TextRecord {
        int dialog_template;
        int control;  // 0 for the window caption
        std::string text;
    };

    ScriptedBackend();
    ~ScriptedBackend() override;

    // --- what the program showed ---
    std::vector<MessageBoxRecord> message_boxes;
    std::vector<TextRecord> texts;  // every caption and control text change, in order
    struct ColorRecord {
        int dialog_template;
        int control;
        Color color;
    };
    std::vector<ColorRecord> colors;  // every change of a label's text colour, in order
    std::vector<FileDialogRequest> file_dialogs;
    std::vector<std::string> sounds;  // "wave:<path>", "stop", "beep"
    std::vector<std::string> opened_documents;
    std::vector<std::pair<int, std::string>> tooltips_shown;  // control, text
    std::vector<int> modal_runs;  // template ids in the order the runs started
    int pumps = 0;
    // A script that never answers a wait would leave the test running for
    // ever; past this many pumps the backend stops the process with a message.
    int pump_limit = 5'000'000;

    // The texts that control `control` of windows of template `dialog_template`
    // took, in order (control 0: the caption).
    std::vector<std::string> TextsOf(int dialog_template, int control) const;

    // --- answers ---
    // Message boxes take answers from this queue; when it is empty, the first
    // button (OK or Yes) unless `default_answer` is set.
    std::deque<int> answers;
    int default_answer = 0;
    // Called for every message box before the queue is used; a non-zero
    // return is the answer.
    std::function<int(const MessageBoxRequest&)> on_message_box;
    // File dialogs take answers from this queue; empty: cancelled.
    std::deque<std::optional<std::string>> file_answers;
    bool open_document_result = true;
    // Creating a window of this template fails this many times (for tests of
    // the failure paths).
    int fail_create_template = 0;
    int fail_create_count = 0;

    // --- the user ---
    // Each modal run pops the next script and runs it with the dialog; a run
    // that is still going afterwards is closed as through its close box, and
    // ended with kIdCancel if that did not end it (counted in unended_runs).
    std::deque<std::function<void(Dialog&)>> modal_scripts;
    int unended_runs = 0;
    // A trigger fires its action once, at the first pump at which its
    // condition holds (for example "the caption reads 3 / 120").
    void When(std::function<bool()> condition, std::function<void()> action);
    // Presses `button` of the newest live window of `dialog_template` at the
    // first pump at which that window's caption reads `caption`, or its
    // control `control` reads `text`.
    void PressWhenCaption(int dialog_template, const std::string& caption, int button);
    void PressWhenText(int dialog_template, int control, const std::string& text, int button);
    // Runs `action` at every pump.
    std::function<void()> on_pump;

    bool Click(Dialog& d, int id);
    // Focuses `id`, then types each character as a separate keystroke: a key
    // press that the window may pre-translate, then the character.
    void Type(Dialog& d, int id, const std::string& keys);
    // Sets the whole text of an edit as the user would by selecting and
    // replacing it (an empty text clears it).
    bool SetText(Dialog& d, int id, const std::string& text);
    bool PressKey(Dialog& d, int vk, bool alt = false);
    bool Select(Dialog& d, int id, int index);
    bool RightClick(Dialog& d, int id, bool double_click = false);
    bool Hover(Dialog& d, int id);
    bool DropFiles(Dialog& d, const std::vector<std::string>& files);
    bool Close(Dialog& d);
    bool SysCommand(Dialog& d, int command);

    // The live windows, oldest first, and the newest of a template.
    const std::vector<Dialog*>& LiveDialogs() const { return live_; }
    Dialog* FindLive(int dialog_template) const;

    // --- Backend ---
    bool CreateWindow(Dialog& dialog, Dialog* owner, bool modal) override;
    void DestroyWindow(Dialog& dialog) override;
    void RunModal(Dialog& dialog) override;
    void PumpEvents() override;
    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
    void PlayWave(const std::string& path) override;
    void StopSound() override;
    void Beep() override;
    bool OpenWithViewer(const std::string& path) override;
    void ShowToolTip(Dialog& dialog, int control, const std::string& text) override;

    // --- DialogObserver ---
    void OnDialogChanged(Dialog& dialog, const Change& change) override;

private:
    struct Trigger {
        std::function<bool()> condition;
        std::function<void()> action;
        bool fired = false;
    };
    std::vector<Trigger> triggers_;
    std::vector<Dialog*> live_;
    bool in_pump_ = false;
};

}  // namespace mirelle::ui
