// Input as the dialog model receives it. A real window backend turns widget
// events into these, the scripted test backend makes them up; both hand them
// to Dialog::Deliver, so the rules about disabled windows and controls hold
// whoever produced the input.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_template.h"

namespace mirelle::ui {

// Command identifiers of the standard buttons and message-box answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Notification codes that come with a command, with their customary values.
inline constexpr int kBnClicked = 0;
inline constexpr int kCbnSelChange = 1;
inline constexpr int kCbnSetFocus = 3;
inline constexpr int kCbnKillFocus = 4;
inline constexpr int kCbnEditChange = 5;
inline constexpr int kEnSetFocus = 0x100;
inline constexpr int kEnKillFocus = 0x200;
inline constexpr int kEnChange = 0x300;
inline constexpr int kTcnSelChange = -551;  // a tab strip's chosen tab changed

// Virtual keys used by the model (letters and digits are their ASCII capitals).
inline constexpr int kVkBack = 0x08;
inline constexpr int kVkTab = 0x09;
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkF4 = 0x73;

// System commands.
inline constexpr int kScSize = 0xF000;
inline constexpr int kScMove = 0xF010;
inline constexpr int kScMinimize = 0xF020;
inline constexpr int kScMaximize = 0xF030;
inline constexpr int kScClose = 0xF060;
inline constexpr int kScRestore = 0xF120;

enum class InputKind {
    Click,             // left click on a control (buttons, check boxes, radios; focus for others)
    KeyDown,           // a key pressed; `alt` makes it a system key (mnemonics, Alt+F4)
    Char,              // a character typed into the focused edit; '\b' deletes the last one
    TextEdited,        // the user changed an edit's whole text (what a widget reports)
    SelectionChanged,  // the user picked entry `index` of a list
    FocusChanged,      // the user moved the focus to `control`
    RightButtonDown,   // right mouse button at `point` (client dialog units)
    RightButtonDoubleClick,
    MouseHover,        // the pointer rests over `control`
    DropFiles,         // files dropped on the window
    Close,             // close box, Alt+F4 or the system menu's Close
    SysCommand,        // a system-menu command `command`
};

struct InputEvent {
    InputKind kind = InputKind::Click;
    int control = 0;
    int key = 0;
    bool alt = false;
    bool ctrl = false;   // with the key: Ctrl held (Ctrl+Tab switches property pages)
    bool shift = false;  // with the key: Shift held
    char character = 0;
    int index = -1;
    int command = 0;
    Point point;
    std::string text;
    std::vector<std::string> files;

    static InputEvent ClickOn(int id) { InputEvent e; e.kind = InputKind::Click; e.control = id; return e; }
    static InputEvent Key(int vk, bool alt_down = false) {
        InputEvent e; e.kind = InputKind::KeyDown; e.key = vk; e.alt = alt_down; return e;
    }
    // The user changed the text of an edit box or of a list's edit part.
    static InputEvent TextEditedIn(int id, std::string new_text) {
        InputEvent e; e.kind = InputKind::TextEdited; e.control = id; e.text = std::move(new_text); return e;
    }
    // The user chose entry `entry` of a list.
    static InputEvent SelectionIn(int id, int entry) {
        InputEvent e; e.kind = InputKind::SelectionChanged; e.control = id; e.index = entry; return e;
    }
};

}  // namespace mirelle::ui
