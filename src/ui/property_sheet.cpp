#include "ui/property_sheet.h"

#include <algorithm>
#include <utility>

namespace mirelle::ui {

namespace {

// A page's template as a child window: no frame or caption of its own.
DialogTemplate AsChild(DialogTemplate tpl) {
    tpl.style = kChild;
    return tpl;
}

}  // namespace

// --- pages ---

PropertyPage::PropertyPage(DialogTemplate tpl) : Dialog(AsChild(std::move(tpl))) {}

void PropertyPage::SetModified(bool changed) {
    modified_ = changed;
    if (sheet_ != nullptr && HasWindow()) sheet_->UpdateApplyButton();
}

bool PropertyPage::OnApply() {
    SetModified(false);
    return true;
}

// --- the sheet ---

PropertySheet::PropertySheet(std::string caption, Dialog* parent, SheetButtonTexts texts)
    : Dialog(DialogTemplate{0, std::move(caption), "", 0, 0, 0, kPopup | kCaption | kSystemMenu | kModalFrame, {}},
             parent),
      texts_(std::move(texts)) {}

// Pages are often members of a derived sheet and gone before this runs
// (their windows went with them), so they are not touched here.
PropertySheet::~PropertySheet() = default;

void PropertySheet::AddPage(PropertyPage* page) {
    if (page == nullptr) return;
    page->sheet_ = this;
    pages_.push_back(page);
}

PropertyPage* PropertySheet::GetPage(int index) const {
    if (index < 0 || index >= GetPageCount()) return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

void PropertySheet::PrepareTemplate(DialogTemplate& tpl) {
    int page_cx = 0;
    int page_cy = 0;
    for (const PropertyPage* page : pages_) {
        page_cx = std::max(page_cx, page->Template().cx);
        page_cy = std::max(page_cy, page->Template().cy);
    }
    if (!pages_.empty()) {
        tpl.font = pages_.front()->Template().font;
        tpl.font_size = pages_.front()->Template().font_size;
    }
    const int buttons_cx = 4 * kButtonWidth + 3 * kButtonGap;
    int tabs_cx = std::max(page_cx + 2 * kPagePadding, buttons_cx);
    const int tabs_cy = kTabHeight + page_cy + 2 * kPagePadding;
    tpl.cx = tabs_cx + 2 * kMargin;
    const int button_y = kMargin + tabs_cy + kMargin;
    tpl.cy = button_y + kButtonHeight + kMargin;
    page_rect_ = {kMargin + kPagePadding, kMargin + kTabHeight + kPagePadding,
                  kMargin + kPagePadding + page_cx, kMargin + kTabHeight + kPagePadding + page_cy};

    std::vector<std::string> titles;
    for (const PropertyPage* page : pages_) titles.push_back(page->Title());
    tpl.controls.clear();
    tpl.controls.push_back({kIdTabs, ControlKind::Tab, "", kMargin, kMargin, tabs_cx, tabs_cy, 0, titles});
    struct Button {
        int id;
        const std::string* text;
        std::uint32_t style;
    };
    const Button buttons[] = {{kIdOk, &texts_.ok, kDefaultButton},
                              {kIdCancel, &texts_.cancel, 0},
                              {kIdApply, &texts_.apply, kDisabled},
                              {kIdHelp, &texts_.help, 0}};
    int x = tpl.cx - kMargin - buttons_cx;
    for (const Button& b : buttons) {
        tpl.controls.push_back({b.id, ControlKind::Button, *b.text, x, button_y, kButtonWidth, kButtonHeight, b.style});
        x += kButtonWidth + kButtonGap;
    }
}

bool PropertySheet::OnInitDialog() {
    Dialog::OnInitDialog();
    active_ = -1;
    for (PropertyPage* page : pages_) page->modified_ = false;
    CenterWindow();
    // The sheet's own buttons give the focus to the first page's first control.
    SetFocus(0);
    if (!pages_.empty()) SetActivePage(0);
    return false;
}

bool PropertySheet::SetActivePage(int index) {
    PropertyPage* next = GetPage(index);
    if (next == nullptr) return false;
    if (index == active_) return true;
    if (PropertyPage* current = GetActivePage()) {
        // The page's focused control loses the focus first, as it does when
        // its window is hidden.
        current->MoveFocus(0, true);
        if (!current->OnKillActive()) {
            SetCurSel(kIdTabs, active_);
            return false;
        }
        current->ShowWindow(false);
    }
    if (!next->HasWindow()) {
        next->MoveWindow(page_rect_);
        if (!next->Create(this)) {
            if (PropertyPage* current = GetActivePage()) current->ShowWindow(true);
            SetCurSel(kIdTabs, active_);
            return false;
        }
    }
    active_ = index;
    SetCurSel(kIdTabs, index);
    next->OnSetActive();
    next->ShowWindow(true);
    // The focus goes to the page's first control.
    for (const ControlState& c : next->Controls()) {
        if (!c.TakesFocus()) continue;
        next->focus_ = 0;
        next->MoveFocus(c.tpl.id, true);
        break;
    }
    return true;
}

void PropertySheet::UpdateApplyButton() {
    if (!HasWindow()) return;
    const bool any = std::any_of(pages_.begin(), pages_.end(),
                                 [](const PropertyPage* p) { return p->HasWindow() && p->IsModified(); });
    EnableControl(kIdApply, any);
}

bool PropertySheet::ApplyChanges() {
    if (PropertyPage* current = GetActivePage()) {
        if (!current->OnKillActive()) return false;
    }
    for (int i = 0; i < GetPageCount(); ++i) {
        PropertyPage* page = pages_[static_cast<std::size_t>(i)];
        if (!page->HasWindow() || !page->IsModified()) continue;
        if (!page->OnApply()) {
            SetActivePage(i);
            return false;
        }
    }
    UpdateApplyButton();
    return true;
}

bool PropertySheet::OnCommand(int id, int code) {
    if (id == kIdTabs && code == kTcnSelChange) {
        const int wanted = GetCurSel(kIdTabs);
        if (!SetActivePage(wanted)) SetCurSel(kIdTabs, active_);
        return true;
    }
    if (code != kBnClicked) return false;
    if (id == kIdApply) {
        ApplyChanges();
        return true;
    }
    if (id == kIdHelp) {
        OnHelp();
        return true;
    }
    return false;
}

void PropertySheet::OnOK() {
    if (ApplyChanges()) EndDialog(kIdOk);
}

void PropertySheet::OnCancel() {
    for (PropertyPage* page : pages_)
        if (page->HasWindow()) page->OnReset();
    EndDialog(kIdCancel);
}

bool PropertySheet::PreTranslateMessage(InputEvent& event) {
    if (event.kind != InputKind::KeyDown) return false;
    if (event.key == kVkTab && event.ctrl && !event.alt) {
        const int n = GetPageCount();
        if (n > 0) SetActivePage((active_ + (event.shift ? n - 1 : 1)) % n);
        return true;
    }
    // Alt with a letter presses the shown page's control first, wherever the
    // focus is, as the sheet's window takes the keys of all its pages.
    if (event.alt && ((event.key >= 'A' && event.key <= 'Z') || (event.key >= '0' && event.key <= '9'))) {
        PropertyPage* page = GetActivePage();
        if (page != nullptr && page->AcceptsInput() && page->PressMnemonic(static_cast<char>(event.key))) return true;
    }
    return false;
}

}  // namespace mirelle::ui
