// The window backend: what makes the dialog model visible and brings input in.
// The Qt backend builds widgets, the console backend prints, the scripted
// backend serves the tests. Exactly one backend is active in a process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/input.h"

namespace mirelle::ui {

class Dialog;

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Information, Exclamation, Stop, Question };

// System icon identifiers (as the progress window's status icon uses them).
inline constexpr int kIconHand = 32513;
inline constexpr int kIconQuestion = 32514;
inline constexpr int kIconExclamation = 32515;
inline constexpr int kIconAsterisk = 32516;

struct MessageBoxRequest {
    Dialog* owner = nullptr;  // disabled while the box is up; null for none
    std::string text;
    std::string caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

enum FileDialogFlags : unsigned {
    kFileMustExist = 1u << 0,
    kOverwritePrompt = 1u << 1,
    kHideReadOnly = 1u << 2,
    kNoNetworkButton = 1u << 3,
};

struct FileDialogRequest {
    bool save = false;       // save dialog, else open dialog
    Dialog* owner = nullptr;
    // "description|pattern|description|pattern||", patterns separated by ';'.
    std::string filter;
    std::string default_extension;  // without the dot; "" for none
    std::string initial_name;
    std::string initial_dir;
    unsigned flags = 0;
};

// What changed in a dialog. `control` is 0 for changes of the window itself.
enum class ChangeKind {
    Caption, WindowEnabled, WindowVisible, WindowGeometry, WindowIcon, BringToTop, SystemMenu,
    Focus, DefaultButton,
    Text, Enabled, Visible, Items, Selection, Check, TextLimit, Progress, ControlIcon, ToolTip,
    ToolTipsActive, TextColor,
};

struct Change {
    ChangeKind kind;
    int control = 0;
};

// The observer hook of the model: a backend that mirrors a dialog receives
// every change of its state here, after the model has changed.
class DialogObserver {
public:
    virtual ~DialogObserver() = default;
    virtual void OnDialogChanged(Dialog& dialog, const Change& change) = 0;
};

class Backend {
public:
    Backend();
    virtual ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // Whether `backend` is one that exists now (a dialog asks before it
    // reaches the backend that made its window, which may have gone).
    static bool Exists(const Backend* backend);

    // Builds the real window of `dialog` (its controls are already in the
    // model). Returns false when the window cannot be made. A backend that
    // mirrors the model installs its observer here.
    virtual bool CreateWindow(Dialog& dialog, Dialog* owner, bool modal) = 0;
    virtual void DestroyWindow(Dialog& dialog) = 0;
    // Runs the modal loop of `dialog` until Dialog::Ended() turns true.
    virtual void RunModal(Dialog& dialog) = 0;
    // Called by Dialog::EndDialog, so that a real modal loop can return.
    virtual void EndModal(Dialog& /*dialog*/) {}
    // Dispatches every pending event without waiting, then returns.
    virtual void PumpEvents() = 0;
    // The work area of the screen in dialog units, for centring.
    virtual Rect ScreenRect() { return {0, 0, 640, 480}; }

    // Modal message box; returns kIdOk, kIdCancel, kIdYes or kIdNo.
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;

    // Starts a wave file asynchronously; a file that cannot be played plays nothing.
    virtual void PlayWave(const std::string& path) = 0;
    virtual void StopSound() = 0;
    virtual void Beep() = 0;
    // Opens a document with the desktop's viewer; false when that failed.
    virtual bool OpenWithViewer(const std::string& path) = 0;
    // Shows a tooltip over `control` (the model decides when).
    virtual void ShowToolTip(Dialog& /*dialog*/, int /*control*/, const std::string& /*text*/) {}

private:
    Backend* next_live_ = nullptr;  // the list of existing backends (backend.cpp)
    Backend* prev_live_ = nullptr;
};

// The backend in use. Until one is installed a headless backend answers:
// it makes no windows, answers message boxes with their first button and
// cancels file dialogs.
Backend& ActiveBackend();
void SetActiveBackend(Backend* backend);  // nullptr restores the headless one
Backend& HeadlessBackend();

// The application's main window, the owner that a window created with no
// owner gets.
Dialog* MainWindow();
void SetMainWindow(Dialog* dialog);

// Message box through the active backend; the owner is disabled while it is
// shown, as a modal box does.
int MessageBox(Dialog* owner, const std::string& text, const std::string& caption,
               MessageButtons buttons, MessageIcon icon);

// Pumps the pending events of the thread.
void PumpEvents();

}  // namespace mirelle::ui
