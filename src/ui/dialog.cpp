#include "ui/dialog.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

namespace mirelle::ui {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

char Mnemonic(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    }
    return 0;
}

bool ControlState::TakesFocus() const {
    switch (tpl.kind) {
        case ControlKind::Edit:
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
        case ControlKind::DropList:
        case ControlKind::DropDown:
            return enabled && visible && (tpl.style & kNoTabStop) == 0;
        default:
            return false;
    }
}

Dialog::Dialog(DialogTemplate tpl, Dialog* parent) : tpl_(std::move(tpl)), parent_(parent) {
    caption_ = tpl_.caption;
    window_rect_ = {0, 0, tpl_.cx, tpl_.cy};
}

Dialog::~Dialog() {
    if (has_window_) DestroyWindowModel();
}

// --- life of the window ---

bool Dialog::BuildWindow(Dialog* owner, bool modal) {
    PrepareTemplate(tpl_);
    if (window_rect_.Width() == 0 && window_rect_.Height() == 0) window_rect_ = {0, 0, tpl_.cx, tpl_.cy};
    controls_.clear();
    index_.clear();
    for (const ControlTemplate& t : tpl_.controls) {
        ControlState c;
        c.tpl = t;
        c.enabled = (t.style & kDisabled) == 0;
        c.visible = (t.style & kHidden) == 0;
        c.is_default = (t.style & kDefaultButton) != 0;
        if (c.HasItems()) {
            for (const std::string& item : t.items)
                c.items.push_back((t.style & kUpperCase) ? Upper(item) : item);
            if (t.style & kSorted) std::sort(c.items.begin(), c.items.end());
        } else if (t.kind == ControlKind::Icon || t.kind == ControlKind::Picture) {
            c.icon = t.text.empty() ? 0 : std::atoi(t.text.c_str());
        } else {
            c.text = t.text;
        }
        if (t.id != kStaticId) index_.emplace(t.id, controls_.size());
        controls_.push_back(std::move(c));
    }
    caption_ = tpl_.caption;
    owner_ = owner;
    modal_ = modal;
    ended_ = false;
    result_ = -1;
    enabled_ = true;
    visible_ = false;
    was_shown_ = false;
    focus_ = 0;
    system_menu_.clear();
    if (tpl_.style & kSystemMenu) {
        system_menu_ = {{kScRestore, "&Restore"}, {kScMove, "&Move"}, {kScSize, "&Size"},
                        {kScMinimize, "Mi&nimize"}, {kScMaximize, "Ma&ximize"}, {0, ""},
                        {kScClose, "&Close\tAlt+F4"}};
    }
    window_backend_ = &ActiveBackend();
    if (!window_backend_->CreateWindow(*this, owner, modal)) {
        observer_ = nullptr;
        window_backend_ = nullptr;
        return false;
    }
    has_window_ = true;
    if (IsChild() && owner != nullptr) owner->children_.push_back(this);
    for (const ControlState& c : controls_) {
        if (c.TakesFocus()) {
            focus_ = c.tpl.id;
            break;
        }
    }
    const Rect placed = window_rect_;
    OnInitDialog();
    // A window that its initialisation left at the screen's corner, where
    // the template puts it, is centred over its owner (on the screen without
    // one), as the system's dialog classes show a dialog.
    if (!IsChild() && has_window_ && window_rect_ == placed && placed.left == 0 && placed.top == 0) CenterOver(owner);
    if ((tpl_.style & kVisible) && !ended_) ShowWindow(true);
    return true;
}

int Dialog::DoModal() {
    Dialog* owner = parent_;
    if (owner == nullptr && MainWindow() != this) owner = MainWindow();
    if (owner != nullptr && !owner->HasWindow()) owner = nullptr;
    bool disabled_owner = false;
    if (owner != nullptr && owner->IsWindowEnabled()) {
        owner->EnableWindow(false);
        disabled_owner = true;
    }
    int result = -1;
    if (BuildWindow(owner, true)) {
        if (!ended_) {
            ShowWindow(true);
            WindowBackend().RunModal(*this);
        }
        result = result_;
        DestroyWindowModel();
    }
    if (disabled_owner && owner->HasWindow()) owner->EnableWindow(true);
    modal_ = false;
    return result;
}

bool Dialog::Create(Dialog* owner) {
    if (has_window_) return false;
    return BuildWindow(owner, false);
}

Backend& Dialog::WindowBackend() const {
    return Backend::Exists(window_backend_) ? *window_backend_ : HeadlessBackend();
}

void Dialog::DestroyWindowModel() {
    if (!has_window_) return;
    // Child windows go first, as they go with their owner's window.
    const std::vector<Dialog*> children = children_;
    for (Dialog* child : children) child->DestroyWindowModel();
    if (IsChild() && owner_ != nullptr) std::erase(owner_->children_, this);
    for (Dialog* d = owner_; d != nullptr; d = d->IsChild() ? d->owner_ : nullptr)
        if (d->focus_dialog_ == this) d->focus_dialog_ = nullptr;
    WindowBackend().DestroyWindow(*this);
    window_backend_ = nullptr;
    has_window_ = false;
    visible_ = false;
    observer_ = nullptr;
}

bool Dialog::DestroyWindow() {
    if (!has_window_) return false;
    DestroyWindowModel();
    return true;
}

void Dialog::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    if (has_window_) WindowBackend().EndModal(*this);
}

// --- the window itself ---

void Dialog::Notify(ChangeKind kind, int control) {
    if (observer_ != nullptr && has_window_) observer_->OnDialogChanged(*this, Change{kind, control});
}

void Dialog::SetWindowText(const std::string& caption) {
    caption_ = caption;
    Notify(ChangeKind::Caption);
}

void Dialog::EnableWindow(bool enable) {
    if (enabled_ == enable) return;
    enabled_ = enable;
    Notify(ChangeKind::WindowEnabled);
}

void Dialog::ShowWindow(bool show) {
    if (!has_window_) return;
    if (show) was_shown_ = true;
    if (visible_ == show) return;
    visible_ = show;
    Notify(ChangeKind::WindowVisible);
}

void Dialog::MoveWindow(const Rect& rect) {
    window_rect_ = rect;
    Notify(ChangeKind::WindowGeometry);
}

void Dialog::CenterWindow() {
    Rect screen = ActiveBackend().ScreenRect();
    int w = window_rect_.Width();
    int h = window_rect_.Height();
    int left = screen.left + (screen.Width() - w) / 2;
    int top = screen.top + (screen.Height() - h) / 2;
    MoveWindow({left, top, left + w, top + h});
}

void Dialog::CenterOver(const Dialog* owner) {
    if (owner == nullptr || !owner->HasWindow()) {
        CenterWindow();
        return;
    }
    const Rect screen = ActiveBackend().ScreenRect();
    const Rect over = owner->GetWindowRect();
    const int w = window_rect_.Width();
    const int h = window_rect_.Height();
    // Kept on the screen when the owner stands near its edge.
    const int left = std::clamp(over.left + (over.Width() - w) / 2, screen.left, std::max(screen.left, screen.right - w));
    const int top = std::clamp(over.top + (over.Height() - h) / 2, screen.top, std::max(screen.top, screen.bottom - h));
    MoveWindow({left, top, left + w, top + h});
}

void Dialog::BringToTop() { Notify(ChangeKind::BringToTop); }

void Dialog::SetIcon(int icon) {
    icon_ = icon;
    Notify(ChangeKind::WindowIcon);
}

void Dialog::DragAcceptFiles(bool accept) { accept_files_ = accept; }

void Dialog::AppendSystemMenu(int command, const std::string& text) {
    system_menu_.push_back({command, text});
    Notify(ChangeKind::SystemMenu);
}

void Dialog::RemoveSystemMenu(int command) {
    std::erase_if(system_menu_, [command](const SystemMenuItem& m) { return m.command == command && command != 0; });
    Notify(ChangeKind::SystemMenu);
}

// --- controls ---

ControlState* Dialog::Find(int id) {
    auto it = index_.find(id);
    return it == index_.end() ? nullptr : &controls_[it->second];
}

const ControlState* Dialog::FindControl(int id) const {
    auto it = index_.find(id);
    return it == index_.end() ? nullptr : &controls_[it->second];
}

bool Dialog::HasControl(int id) const { return FindControl(id) != nullptr; }

std::string Dialog::GetDlgItemText(int id) const {
    const ControlState* c = FindControl(id);
    if (c == nullptr) return "";
    if (c->tpl.kind == ControlKind::DropList) {
        return c->selection >= 0 ? c->items[static_cast<std::size_t>(c->selection)] : "";
    }
    return c->text;
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->text = (c->IsEdit() && (c->tpl.style & kUpperCase)) ? Upper(text) : text;
    Notify(ChangeKind::Text, id);
    // An edit reports every change of its text, also the program's own.
    if (c->IsEdit() && has_window_ && suppress_ == 0) SendCommand(id, kEnChange);
}

void Dialog::EnableControl(int id, bool enable) {
    ControlState* c = Find(id);
    if (c == nullptr || c->enabled == enable) return;
    c->enabled = enable;
    Notify(ChangeKind::Enabled, id);
}

bool Dialog::IsControlEnabled(int id) const {
    const ControlState* c = FindControl(id);
    return c != nullptr && c->enabled;
}

void Dialog::ShowControl(int id, bool show) {
    ControlState* c = Find(id);
    if (c == nullptr || c->visible == show) return;
    c->visible = show;
    Notify(ChangeKind::Visible, id);
}

bool Dialog::IsControlVisible(int id) const {
    const ControlState* c = FindControl(id);
    return c != nullptr && c->visible;
}

void Dialog::SetFocus(int id) { MoveFocus(id, false); }

void Dialog::MoveFocus(int id, bool notify) {
    if (id == focus_) return;
    if (id != 0 && FindControl(id) == nullptr) return;
    if (notify && id != 0) {
        // Within a window and its child windows one control has the focus:
        // the window that had it loses it first (and its edit or list hears so).
        Dialog* root = this;
        while (root->IsChild() && root->owner_ != nullptr) root = root->owner_;
        Dialog* before = root->focus_dialog_;
        root->focus_dialog_ = this;
        if (before != nullptr && before != this && before->has_window_) before->MoveFocus(0, true);
        if (id == focus_) return;
    }
    int old = focus_;
    focus_ = id;
    Notify(ChangeKind::Focus, id);
    if (!notify) return;
    if (const ControlState* o = FindControl(old)) {
        if (o->IsEdit()) SendCommand(old, kEnKillFocus);
        else if (o->IsList()) SendCommand(old, kCbnKillFocus);
    }
    if (const ControlState* n = FindControl(id)) {
        if (n->IsEdit()) SendCommand(id, kEnSetFocus);
        else if (n->IsList()) SendCommand(id, kCbnSetFocus);
    }
}

void Dialog::SetDefaultButton(int id) {
    for (ControlState& c : controls_) c.is_default = (c.tpl.id == id && id != kStaticId);
    Notify(ChangeKind::DefaultButton, id);
}

int Dialog::DefaultButton() const {
    for (const ControlState& c : controls_)
        if (c.is_default) return c.tpl.id;
    return 0;
}

void Dialog::ResetContent(int id) {
    ControlState* c = Find(id);
    if (c == nullptr || !c->HasItems()) return;
    c->items.clear();
    c->selection = -1;
    if (c->tpl.kind == ControlKind::DropList) c->text.clear();
    Notify(ChangeKind::Items, id);
}

int Dialog::AddString(int id, const std::string& text) {
    ControlState* c = Find(id);
    if (c == nullptr || !c->HasItems()) return -1;
    std::string entry = (c->tpl.style & kUpperCase) ? Upper(text) : text;
    std::size_t at = c->items.size();
    if (c->tpl.style & kSorted) {
        at = static_cast<std::size_t>(std::upper_bound(c->items.begin(), c->items.end(), entry) - c->items.begin());
    }
    c->items.insert(c->items.begin() + static_cast<std::ptrdiff_t>(at), entry);
    if (c->selection >= static_cast<int>(at)) ++c->selection;
    Notify(ChangeKind::Items, id);
    return static_cast<int>(at);
}

int Dialog::GetCount(int id) const {
    const ControlState* c = FindControl(id);
    return c == nullptr ? 0 : static_cast<int>(c->items.size());
}

std::string Dialog::GetLBText(int id, int index) const {
    const ControlState* c = FindControl(id);
    if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size())) return "";
    return c->items[static_cast<std::size_t>(index)];
}

int Dialog::SetCurSel(int id, int index) {
    ControlState* c = Find(id);
    if (c == nullptr || !c->HasItems()) return -1;
    bool valid = index >= 0 && index < static_cast<int>(c->items.size());
    c->selection = valid ? index : -1;
    if (valid) c->text = c->items[static_cast<std::size_t>(index)];
    else if (c->tpl.kind == ControlKind::DropList) c->text.clear();
    Notify(ChangeKind::Selection, id);
    return valid ? index : -1;
}

int Dialog::GetCurSel(int id) const {
    const ControlState* c = FindControl(id);
    return c == nullptr ? -1 : c->selection;
}

void Dialog::SetCheck(int id, int check) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->check = check;
    Notify(ChangeKind::Check, id);
}

int Dialog::GetCheck(int id) const {
    const ControlState* c = FindControl(id);
    return c == nullptr ? 0 : c->check;
}

void Dialog::SetLimitText(int id, int limit) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->text_limit = limit;
    Notify(ChangeKind::TextLimit, id);
}

void Dialog::SetRange32(int id, int lower, int upper) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->range_lower = lower;
    c->range_upper = upper;
    c->position = std::clamp(c->position, std::min(lower, upper), std::max(lower, upper));
    Notify(ChangeKind::Progress, id);
}

void Dialog::SetStep(int id, int step) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->step = step;
    Notify(ChangeKind::Progress, id);
}

int Dialog::SetPos(int id, int position) {
    ControlState* c = Find(id);
    if (c == nullptr) return 0;
    int previous = c->position;
    c->position = std::clamp(position, std::min(c->range_lower, c->range_upper),
                             std::max(c->range_lower, c->range_upper));
    Notify(ChangeKind::Progress, id);
    return previous;
}

int Dialog::GetPos(int id) const {
    const ControlState* c = FindControl(id);
    return c == nullptr ? 0 : c->position;
}

int Dialog::StepIt(int id) {
    ControlState* c = Find(id);
    if (c == nullptr) return 0;
    int previous = c->position;
    long long next = static_cast<long long>(c->position) + c->step;
    // Stepping past the top starts again from the bottom, as the control does.
    if (next > c->range_upper) next = c->range_lower + (next - c->range_upper);
    if (next < c->range_lower) next = c->range_lower;
    if (next > c->range_upper) next = c->range_upper;
    c->position = static_cast<int>(next);
    Notify(ChangeKind::Progress, id);
    return previous;
}

void Dialog::SetControlIcon(int id, int icon) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->icon = icon;
    Notify(ChangeKind::ControlIcon, id);
}

void Dialog::SetTextColor(int id, Color color) {
    ControlState* c = Find(id);
    if (c == nullptr || c->text_color == color) return;
    c->text_color = color;
    Notify(ChangeKind::TextColor, id);
}

Color Dialog::TextColor(int id) const {
    const ControlState* c = FindControl(id);
    return c == nullptr ? kNoColor : c->text_color;
}

void Dialog::SetToolTip(int id, const std::string& text) {
    ControlState* c = Find(id);
    if (c == nullptr) return;
    c->has_tooltip = true;
    c->tooltip = text;
    Notify(ChangeKind::ToolTip, id);
}

void Dialog::ActivateToolTips(bool active) {
    tooltips_active_ = active;
    Notify(ChangeKind::ToolTipsActive);
}

Rect Dialog::ControlRect(int id) const {
    const ControlState* c = FindControl(id);
    if (c == nullptr) return {};
    return {c->tpl.x, c->tpl.y, c->tpl.x + c->tpl.cx, c->tpl.y + c->tpl.cy};
}

Rect Dialog::ControlScreenRect(int id) const {
    Rect r = ControlRect(id);
    return {r.left + window_rect_.left, r.top + window_rect_.top, r.right + window_rect_.left,
            r.bottom + window_rect_.top};
}

// --- data exchange ---

bool Dialog::UpdateData(bool save) {
    if (!has_window_) return false;
    DataExchange dx(*this, save);
    if (!save) ++suppress_;
    DoDataExchange(dx);
    if (!save) --suppress_;
    return !dx.failed();
}

// --- handlers ---

void Dialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(kIdOk);
}

void Dialog::OnCancel() { EndDialog(kIdCancel); }

void Dialog::OnClose() { SendCommand(kIdCancel, kBnClicked); }

void Dialog::OnSysCommand(int command) {
    if ((command & 0xFFF0) == kScClose) OnClose();
}

void Dialog::SendCommand(int id, int code) {
    if (OnCommand(id, code)) return;
    if (code != kBnClicked) return;
    if (id == kIdOk) OnOK();
    else if (id == kIdCancel) OnCancel();
}

// --- input ---

bool Dialog::AcceptsInput() const {
    for (const Dialog* d = this; d != nullptr; d = d->IsChild() ? d->owner_ : nullptr) {
        if (!d->has_window_ || !d->enabled_) return false;
        if (d->IsChild() && !d->visible_) return false;  // a hidden page
    }
    return true;
}

bool Dialog::Deliver(const InputEvent& event) {
    if (!AcceptsInput()) return false;
    InputEvent ev = event;
    // A child's input is pre-translated by the child, then by its holders.
    for (Dialog* d = this; d != nullptr; d = d->IsChild() ? d->owner_ : nullptr)
        if (d->PreTranslateMessage(ev)) return true;
    return DefaultHandling(ev);
}

bool Dialog::PressMnemonic(char letter) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const ControlState& c = controls_[i];
        if (Mnemonic(c.text) != letter) continue;  // the caption as it stands now
        if (c.tpl.kind == ControlKind::Button || c.tpl.kind == ControlKind::CheckBox ||
            c.tpl.kind == ControlKind::RadioButton) {
            if (!c.enabled || !c.visible) continue;  // a disabled control's mnemonic does nothing
            return DefaultHandling(InputEvent::ClickOn(c.tpl.id));
        }
        if (c.tpl.kind == ControlKind::Label || c.tpl.kind == ControlKind::GroupBox) {
            // A label's mnemonic moves the focus to the next control that takes it.
            for (std::size_t j = i + 1; j < controls_.size(); ++j) {
                if (controls_[j].TakesFocus()) {
                    MoveFocus(controls_[j].tpl.id, true);
                    return true;
                }
            }
        }
    }
    return false;
}

void Dialog::NextFocus() {
    if (controls_.empty()) return;
    std::size_t start = 0;
    auto it = index_.find(focus_);
    if (it != index_.end()) start = it->second + 1;
    for (std::size_t k = 0; k < controls_.size(); ++k) {
        const ControlState& c = controls_[(start + k) % controls_.size()];
        if (c.TakesFocus()) {
            MoveFocus(c.tpl.id, true);
            return;
        }
    }
}

void Dialog::TypeCharacter(ControlState& c, char ch) {
    std::string text = c.text;
    if (ch == '\b') {
        if (text.empty()) return;
        text.pop_back();
    } else {
        if (c.text_limit > 0 && static_cast<int>(text.size()) >= c.text_limit) return;
        if (c.tpl.style & kUpperCase) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        text.push_back(ch);
    }
    SetEditTextByUser(c, text);
}

void Dialog::SetEditTextByUser(ControlState& c, const std::string& text) {
    std::string t = (c.tpl.style & kUpperCase) ? Upper(text) : text;
    if (c.text_limit > 0 && static_cast<int>(t.size()) > c.text_limit) t.resize(static_cast<std::size_t>(c.text_limit));
    c.text = t;
    int id = c.tpl.id;
    bool edit = c.IsEdit();
    Notify(ChangeKind::Text, id);
    SendCommand(id, edit ? kEnChange : kCbnEditChange);
}

bool Dialog::DefaultHandling(const InputEvent& ev) {
    ControlState* c = Find(ev.control);
    auto usable = [&]() { return c != nullptr && c->enabled && c->visible; };
    switch (ev.kind) {
        case InputKind::Click: {
            if (!usable()) return false;
            int id = c->tpl.id;
            switch (c->tpl.kind) {
                case ControlKind::Button:
                    if (c->TakesFocus()) MoveFocus(id, true);
                    SendCommand(id, kBnClicked);
                    return true;
                case ControlKind::CheckBox:
                    c->check = c->check ? 0 : 1;
                    Notify(ChangeKind::Check, id);
                    SendCommand(id, kBnClicked);
                    return true;
                case ControlKind::RadioButton: {
                    // Clear the other buttons of the group.
                    std::size_t at = index_[id];
                    std::size_t first = at;
                    while (first > 0 && (controls_[first].tpl.style & kGroup) == 0 &&
                           controls_[first - 1].tpl.kind == ControlKind::RadioButton)
                        --first;
                    for (std::size_t k = first; k < controls_.size(); ++k) {
                        if (controls_[k].tpl.kind != ControlKind::RadioButton) break;
                        if (k != first && (controls_[k].tpl.style & kGroup)) break;
                        controls_[k].check = (k == at) ? 1 : 0;
                        Notify(ChangeKind::Check, controls_[k].tpl.id);
                    }
                    SendCommand(id, kBnClicked);
                    return true;
                }
                default:
                    if (c->TakesFocus()) MoveFocus(id, true);
                    return true;
            }
        }
        case InputKind::KeyDown: {
            // The window that takes the dialog keys a child has no use for.
            Dialog* holder = IsChild() ? owner_ : nullptr;
            if (ev.alt) {
                if (ev.key == kVkF4) {
                    if (holder != nullptr) return holder->DefaultHandling(ev);
                    OnSysCommand(kScClose);
                    return true;
                }
                if ((ev.key >= 'A' && ev.key <= 'Z') || (ev.key >= '0' && ev.key <= '9')) {
                    // Alt plus a letter never types the letter, whether or not a
                    // control answers to it.
                    if (PressMnemonic(static_cast<char>(ev.key))) return true;
                    if (holder != nullptr) return holder->DefaultHandling(ev);
                    return true;
                }
                return false;
            }
            if (ev.key == kVkReturn) {
                // Enter presses the focused push button, else sends IDOK (a
                // child's holder's IDOK).
                const ControlState* f = FindControl(focus_);
                if (f != nullptr && f->tpl.kind == ControlKind::Button && f->enabled) SendCommand(focus_, kBnClicked);
                else (holder != nullptr ? holder : this)->SendCommand(kIdOk, kBnClicked);
                return true;
            }
            if (ev.key == kVkEscape) {
                (holder != nullptr ? holder : this)->SendCommand(kIdCancel, kBnClicked);
                return true;
            }
            if (ev.key == kVkTab) {
                if (ev.ctrl) return holder != nullptr && holder->DefaultHandling(ev);
                NextFocus();
                return true;
            }
            return false;
        }
        case InputKind::Char: {
            ControlState* f = Find(focus_);
            if (f == nullptr || !f->enabled || !f->visible) return false;
            if (!(f->IsEdit() || f->tpl.kind == ControlKind::DropDown) || (f->tpl.style & kReadOnly)) return false;
            TypeCharacter(*f, ev.character);
            return true;
        }
        case InputKind::TextEdited:
            if (!usable() || !(c->IsEdit() || c->tpl.kind == ControlKind::DropDown) || (c->tpl.style & kReadOnly))
                return false;
            SetEditTextByUser(*c, ev.text);
            return true;
        case InputKind::SelectionChanged:
            if (!usable() || !c->HasItems()) return false;
            if (ev.index < 0 || ev.index >= static_cast<int>(c->items.size())) return false;
            c->selection = ev.index;
            c->text = c->items[static_cast<std::size_t>(ev.index)];
            Notify(ChangeKind::Selection, c->tpl.id);
            SendCommand(c->tpl.id, c->IsList() ? kCbnSelChange : kTcnSelChange);
            return true;
        case InputKind::FocusChanged:
            if (!usable() || !c->TakesFocus()) return false;
            MoveFocus(c->tpl.id, true);
            return true;
        case InputKind::RightButtonDown:
        case InputKind::RightButtonDoubleClick:
        case InputKind::MouseHover:
            return false;
        case InputKind::DropFiles:
            if (!accept_files_ || ev.files.empty()) return false;
            OnDropFiles(ev.files);
            return true;
        case InputKind::Close:
            OnClose();
            return true;
        case InputKind::SysCommand:
            OnSysCommand(ev.command);
            return true;
    }
    return false;
}

// --- data exchange functions ---

void DDX_Text(DataExchange& dx, int id, std::string& value) {
    dx.set_last_control(id);
    if (dx.save()) value = dx.dialog().GetDlgItemText(id);
    else dx.dialog().SetDlgItemText(id, value);
}

void DDX_CBIndex(DataExchange& dx, int id, int& index) {
    dx.set_last_control(id);
    if (dx.save()) index = dx.dialog().GetCurSel(id);
    else dx.dialog().SetCurSel(id, index);
}

void DDX_Check(DataExchange& dx, int id, int& value) {
    dx.set_last_control(id);
    if (dx.save()) value = dx.dialog().GetCheck(id);
    else dx.dialog().SetCheck(id, value);
}

void DDX_Radio(DataExchange& dx, int first_id, int& value) {
    dx.set_last_control(first_id);
    Dialog& d = dx.dialog();
    const auto& controls = d.Controls();
    std::size_t first = controls.size();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].tpl.id == first_id) first = i;
    if (first == controls.size()) return;
    if (dx.save()) value = -1;
    int n = 0;
    for (std::size_t k = first; k < controls.size(); ++k, ++n) {
        const ControlState& c = controls[k];
        if (c.tpl.kind != ControlKind::RadioButton || (k != first && (c.tpl.style & kGroup))) break;
        if (dx.save()) {
            if (c.check) value = n;
        } else {
            d.SetCheck(c.tpl.id, n == value ? 1 : 0);
        }
    }
}

void DDX_Control(DataExchange& dx, int id, ControlRef& control) {
    dx.set_last_control(id);
    if (!control.IsBound()) control.Bind(&dx.dialog(), id);
}

void DDV_MaxChars(DataExchange& dx, const std::string& value, int count) {
    if (dx.save()) {
        if (static_cast<int>(value.size()) > count) {
            MessageBox(&dx.dialog(), "Enter no more than " + std::to_string(count) + " characters.", "",
                       MessageButtons::Ok, MessageIcon::Exclamation);
            dx.dialog().SetFocus(dx.last_control());
            dx.Fail();
        }
    } else {
        dx.dialog().SetLimitText(dx.last_control(), count);
    }
}

// --- control references ---

void ControlRef::SetWindowText(const std::string& text) {
    if (dialog_) dialog_->SetDlgItemText(id_, text);
}
std::string ControlRef::GetWindowText() const { return dialog_ ? dialog_->GetDlgItemText(id_) : ""; }
void ControlRef::EnableWindow(bool enable) {
    if (dialog_) dialog_->EnableControl(id_, enable);
}
bool ControlRef::IsWindowEnabled() const { return dialog_ && dialog_->IsControlEnabled(id_); }
Rect ControlRef::GetWindowRect() const { return dialog_ ? dialog_->ControlScreenRect(id_) : Rect{}; }

void ProgressCtrl::SetRange32(int lower, int upper) {
    if (dialog_) dialog_->SetRange32(id_, lower, upper);
}
void ProgressCtrl::SetStep(int step) {
    if (dialog_) dialog_->SetStep(id_, step);
}
int ProgressCtrl::SetPos(int position) { return dialog_ ? dialog_->SetPos(id_, position) : 0; }
int ProgressCtrl::GetPos() const { return dialog_ ? dialog_->GetPos(id_) : 0; }
int ProgressCtrl::StepIt() { return dialog_ ? dialog_->StepIt(id_) : 0; }

bool ToolTipCtrl::Create(Dialog* dialog) {
    dialog_ = dialog;
    return dialog_ != nullptr && dialog_->HasWindow();
}

void ToolTipCtrl::Activate(bool active) {
    if (dialog_) dialog_->ActivateToolTips(active);
}

void ToolTipCtrl::AddTool(int id, const std::string& text) {
    if (dialog_) dialog_->SetToolTip(id, text);
}

void ToolTipCtrl::UpdateTipText(const std::string& text, int id) {
    if (dialog_) dialog_->SetToolTip(id, text);
}

void ToolTipCtrl::RelayEvent(const InputEvent& event) {
    if (dialog_ == nullptr || !dialog_->ToolTipsActive() || event.kind != InputKind::MouseHover) return;
    const ControlState* c = dialog_->FindControl(event.control);
    if (c != nullptr && c->has_tooltip && c->visible) dialog_->WindowBackend().ShowToolTip(*dialog_, event.control, c->tooltip);
}

}  // namespace mirelle::ui
