// The dialog model: a window built from a template, owning the live state of
// its controls, with the virtual handlers that application windows override.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/dialog_template.h"
#include "ui/input.h"

namespace mirelle::ui {

class DataExchange;

// The live state of one control.
struct ControlState {
    ControlTemplate tpl;  // id, kind, geometry and style as created
    std::string text;
    bool enabled = true;
    bool visible = true;
    std::vector<std::string> items;  // list entries
    int selection = -1;
    int check = 0;
    int text_limit = 0;  // 0: no limit on typed text
    int range_lower = 0, range_upper = 100, step = 10, position = 0;  // progress bar
    int icon = 0;
    bool has_tooltip = false;
    std::string tooltip;
    bool is_default = false;
    Color text_color = kNoColor;  // a label's text colour

    bool IsEdit() const { return tpl.kind == ControlKind::Edit; }
    bool IsList() const { return tpl.kind == ControlKind::DropList || tpl.kind == ControlKind::DropDown; }
    // Lists and tab strips keep entries and a selection.
    bool HasItems() const { return IsList() || tpl.kind == ControlKind::Tab; }
    bool TakesFocus() const;
};

struct SystemMenuItem {
    int command = 0;  // 0 for a separator
    std::string text;
};

class PropertySheet;

class Dialog {
public:
    explicit Dialog(DialogTemplate tpl, Dialog* parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    const DialogTemplate& Template() const { return tpl_; }
    int TemplateId() const { return tpl_.id; }

    // --- life of the window ---
    // Runs the dialog modally: creates the window (OnInitDialog runs), shows
    // it unless it already ended, runs the backend's modal loop, destroys it.
    // The owner is disabled meanwhile. Returns the EndDialog result, or -1
    // when the window could not be created.
    int DoModal();
    // Creates the window modeless; false when the backend could not.
    bool Create(Dialog* owner);
    // Destroys the window; false when there was none.
    virtual bool DestroyWindow();
    void EndDialog(int result);
    bool HasWindow() const { return has_window_; }
    // The backend that made the window: the window ends, its modal run ends
    // and its tooltips show there, whichever backend is active by then. The
    // headless one once that backend has gone, or without a window.
    Backend& WindowBackend() const;
    bool Ended() const { return ended_; }
    int Result() const { return result_; }
    bool IsModal() const { return modal_; }
    Dialog* Owner() const { return owner_; }
    Dialog* Parent() const { return parent_; }
    // A child window (kChild) lives inside its owner: it takes input only
    // while it is shown and its owner takes input, its owner pre-translates
    // its input after it, and the keys it has no use for (Enter, Esc, Alt
    // with a letter it has no control for, Ctrl+Tab) go on to its owner.
    bool IsChild() const { return (tpl_.style & kChild) != 0; }
    bool AcceptsInput() const;
    // The live child windows, in the order they were created.
    const std::vector<Dialog*>& Children() const { return children_; }

    // --- the window itself ---
    void SetWindowText(const std::string& caption);
    const std::string& GetWindowText() const { return caption_; }
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const { return enabled_; }
    void ShowWindow(bool show);
    bool IsWindowVisible() const { return visible_; }
    bool WasShown() const { return was_shown_; }  // visible at any time since creation
    // Window rectangle in screen dialog units (the client area; frames are the backend's).
    Rect GetWindowRect() const { return window_rect_; }
    void MoveWindow(const Rect& rect);
    void CenterWindow();
    // Centred over `owner`'s window and kept on the screen; on the screen
    // when there is no owner window.
    void CenterOver(const Dialog* owner);
    void BringToTop();
    void SetIcon(int icon);
    int Icon() const { return icon_; }
    void DragAcceptFiles(bool accept);
    bool AcceptsFiles() const { return accept_files_; }
    std::vector<SystemMenuItem>& SystemMenu() { return system_menu_; }
    void AppendSystemMenu(int command, const std::string& text);
    void RemoveSystemMenu(int command);

    // --- controls by id ---
    bool HasControl(int id) const;
    const ControlState* FindControl(int id) const;
    const std::vector<ControlState>& Controls() const { return controls_; }
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    void EnableControl(int id, bool enable);
    bool IsControlEnabled(int id) const;
    void ShowControl(int id, bool show);
    bool IsControlVisible(int id) const;
    void SetFocus(int id);
    int GetFocus() const { return focus_; }
    void SetDefaultButton(int id);
    int DefaultButton() const;
    // Lists.
    void ResetContent(int id);
    int AddString(int id, const std::string& text);  // index of the new entry, -1 on failure
    int GetCount(int id) const;
    std::string GetLBText(int id, int index) const;
    int SetCurSel(int id, int index);  // -1 when index is out of range (selection cleared)
    int GetCurSel(int id) const;
    // Check boxes and radio buttons.
    void SetCheck(int id, int check);
    int GetCheck(int id) const;
    void SetLimitText(int id, int limit);
    // Progress bars.
    void SetRange32(int id, int lower, int upper);
    void SetStep(int id, int step);
    int SetPos(int id, int position);  // previous position
    int GetPos(int id) const;
    int StepIt(int id);                // previous position; wraps past the top like the control
    void SetControlIcon(int id, int icon);
    // The colour of a label's text (kNoColor: the system's own).
    void SetTextColor(int id, Color color);
    Color TextColor(int id) const;
    // Tooltips (see ToolTipCtrl).
    void SetToolTip(int id, const std::string& text);
    void ActivateToolTips(bool active);
    bool ToolTipsActive() const { return tooltips_active_; }
    // Control rectangle in client and in screen dialog units.
    Rect ControlRect(int id) const;
    Rect ControlScreenRect(int id) const;

    // --- data exchange ---
    // Moves values between the controls and the members through
    // DoDataExchange: save = true takes them from the controls. While values
    // move towards the window, the control notifications are suppressed.
    bool UpdateData(bool save = true);
    bool NotificationsSuppressed() const { return suppress_ > 0; }

    // --- input ---
    // The one way in for input. Returns true when the model consumed the
    // event; a backend lets its widget handle an unconsumed key itself.
    // A window without a live window, or disabled, takes no input.
    bool Deliver(const InputEvent& event);
    // Sends a command with a notification code to the handlers, as a control
    // does (also used by the model for programmatic changes that notify).
    void SendCommand(int id, int code);

    void SetObserver(DialogObserver* observer) { observer_ = observer; }
    DialogObserver* Observer() const { return observer_; }

protected:
    // Return true to let the model give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Called before the controls are built from the template; a window that
    // lays itself out (a property sheet) completes its template here.
    virtual void PrepareTemplate(DialogTemplate& /*tpl*/) {}
    virtual void DoDataExchange(DataExchange& /*dx*/) {}
    // Enter / IDOK: the default takes the values and ends with kIdOk.
    virtual void OnOK();
    // Esc / IDCANCEL: the default ends with kIdCancel.
    virtual void OnCancel();
    // A command with its notification code; return true when handled.
    virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
    // Sees every event first and may change it; return true to consume it.
    virtual bool PreTranslateMessage(InputEvent& /*event*/) { return false; }
    // The close request; the default sends IDCANCEL.
    virtual void OnClose();
    virtual void OnDropFiles(const std::vector<std::string>& /*files*/) {}
    // A system command; the default closes on kScClose and ignores the rest.
    virtual void OnSysCommand(int command);

    // The handling that follows pre-translation; exposed so that a
    // pre-translation can hand on a changed event.
    bool DefaultHandling(const InputEvent& event);

private:
    friend class PropertySheet;  // presses its pages' mnemonics

    ControlState* Find(int id);
    void Notify(ChangeKind kind, int control = 0);
    bool BuildWindow(Dialog* owner, bool modal);
    void DestroyWindowModel();
    bool PressMnemonic(char letter);
    void MoveFocus(int id, bool notify);
    void TypeCharacter(ControlState& c, char ch);
    void SetEditTextByUser(ControlState& c, const std::string& text);
    void NextFocus();

    DialogTemplate tpl_;
    Dialog* parent_ = nullptr;
    Dialog* owner_ = nullptr;
    std::vector<ControlState> controls_;
    std::map<int, std::size_t> index_;
    std::string caption_;
    bool has_window_ = false;
    bool ended_ = false;
    bool modal_ = false;
    int result_ = -1;
    bool enabled_ = true;
    bool visible_ = false;
    bool was_shown_ = false;
    bool accept_files_ = false;
    bool tooltips_active_ = false;
    int icon_ = 0;
    int focus_ = 0;
    int suppress_ = 0;
    Rect window_rect_;
    std::vector<SystemMenuItem> system_menu_;
    DialogObserver* observer_ = nullptr;
    Backend* window_backend_ = nullptr;  // see WindowBackend()
    std::vector<Dialog*> children_;
    // In the outermost window of a tree of child windows: the window whose
    // control has the focus, so that it loses it when another one takes it.
    Dialog* focus_dialog_ = nullptr;
};

// Data exchange between controls and members, run by UpdateData.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool save) : dialog_(dialog), save_(save) {}
    Dialog& dialog() { return dialog_; }
    bool save() const { return save_; }
    bool failed() const { return failed_; }
    void Fail() { failed_ = true; }
    int last_control() const { return last_; }
    void set_last_control(int id) { last_ = id; }

private:
    Dialog& dialog_;
    bool save_;
    bool failed_ = false;
    int last_ = 0;
};

class ControlRef;

void DDX_Text(DataExchange& dx, int id, std::string& value);
void DDX_CBIndex(DataExchange& dx, int id, int& index);
void DDX_Check(DataExchange& dx, int id, int& value);
// The index of the checked button of the radio group that starts at `first_id`.
void DDX_Radio(DataExchange& dx, int first_id, int& value);
void DDX_Control(DataExchange& dx, int id, ControlRef& control);
// Limits the last exchanged text control to `count` characters: towards the
// window it sets the control's text limit, from it a longer text fails the
// exchange with a message.
void DDV_MaxChars(DataExchange& dx, const std::string& value, int count);

// A control of a dialog, bound by id (through DDX_Control).
class ControlRef {
public:
    ControlRef() = default;
    ControlRef(Dialog* dialog, int id) : dialog_(dialog), id_(id) {}
    void Bind(Dialog* dialog, int id) { dialog_ = dialog; id_ = id; }
    bool IsBound() const { return dialog_ != nullptr && dialog_->HasControl(id_); }
    int id() const { return id_; }
    Dialog* dialog() const { return dialog_; }
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const;
    Rect GetWindowRect() const;  // screen dialog units

protected:
    Dialog* dialog_ = nullptr;
    int id_ = 0;
};

class ProgressCtrl : public ControlRef {
public:
    void SetRange32(int lower, int upper);
    void SetStep(int step);
    int SetPos(int position);
    int GetPos() const;
    int StepIt();
};

// The tooltips of a window. Tips show only for events relayed to it, so a
// window that stops relaying shows none.
class ToolTipCtrl {
public:
    bool Create(Dialog* dialog);
    void Activate(bool active);
    void AddTool(int id, const std::string& text);
    void UpdateTipText(const std::string& text, int id);
    // Hands an input event to the tooltips: a hover over a control with a tip
    // shows it through the backend.
    void RelayEvent(const InputEvent& event);
    bool IsCreated() const { return dialog_ != nullptr; }

private:
    Dialog* dialog_ = nullptr;
};

}  // namespace mirelle::ui
