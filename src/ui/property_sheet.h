// Property sheets: a dialog that holds pages, each a dialog of its own built
// from its own template, chosen by tabs, with the buttons OK, Cancel, Apply
// and Help below them.
//
// The rules are the classic ones:
//  - the sheet opens on its first page; a page's window is made (and its
//    OnInitDialog runs) when the page is first shown, and stays until the
//    sheet closes, hidden while another page is shown;
//  - a page is left only when its OnKillActive agrees (by default: its values
//    can be taken from the controls);
//  - a page marks itself modified (SetModified); that enables Apply;
//  - OK and Apply run OnApply of every page that has been shown and is marked
//    modified, in page order (OK then closes the sheet with kIdOk); a page
//    that refuses stops them and is shown; Cancel (Esc, the close box) runs
//    OnReset of the shown pages and applies nothing;
//  - Ctrl+Tab shows the next page, Ctrl+Shift+Tab the previous one;
//  - Help calls OnHelp; a sheet that offers no help disables the button.
//
// The sheet lays itself out from its pages when its window is made: the tab
// strip and the largest page, the button row below, all in dialog units of
// the first page's font, so every backend draws it like any other window.
#pragma once

#include <string>
#include <vector>

#include "ui/dialog.h"

namespace mirelle::ui {

class PropertySheet;

class PropertyPage : public Dialog {
public:
    // `tpl`'s caption is the page's title on its tab.
    explicit PropertyPage(DialogTemplate tpl);

    const std::string& Title() const { return Template().caption; }
    // Marks the page changed (enables the sheet's Apply) or unchanged.
    void SetModified(bool changed = true);
    bool IsModified() const { return modified_; }
    PropertySheet* Sheet() const { return sheet_; }

protected:
    friend class PropertySheet;
    // The page becomes the shown one.
    virtual void OnSetActive() {}
    // The page is to be left (another tab, OK, Apply); false keeps it shown.
    // The default takes the values from the controls.
    virtual bool OnKillActive() { return UpdateData(true); }
    // OK or Apply for a shown, modified page; false stops them. The default
    // clears the modified mark.
    virtual bool OnApply();
    // Cancel for a shown page.
    virtual void OnReset() {}

private:
    PropertySheet* sheet_ = nullptr;
    bool modified_ = false;
};

// The texts of the sheet's buttons (the platform's own, in the user's language).
struct SheetButtonTexts {
    std::string ok = "OK";
    std::string cancel = "Cancel";
    std::string apply = "&Apply";
    std::string help = "Help";
};

class PropertySheet : public Dialog {
public:
    static constexpr int kIdHelp = 9;
    static constexpr int kIdTabs = 0x3020;
    static constexpr int kIdApply = 0x3021;
    // Layout in dialog units.
    static constexpr int kMargin = 7;
    static constexpr int kTabHeight = 14;
    static constexpr int kPagePadding = 4;
    static constexpr int kButtonWidth = 50;
    static constexpr int kButtonHeight = 14;
    static constexpr int kButtonGap = 4;

    explicit PropertySheet(std::string caption, Dialog* parent = nullptr, SheetButtonTexts texts = {});
    ~PropertySheet() override;

    // Adds a page at the end (before the sheet's window is made); the caller
    // keeps it alive for as long as the sheet.
    void AddPage(PropertyPage* page);
    int GetPageCount() const { return static_cast<int>(pages_.size()); }
    PropertyPage* GetPage(int index) const;
    PropertyPage* GetActivePage() const { return GetPage(active_); }
    int GetActiveIndex() const { return active_; }
    // Shows page `index`; false when the shown page would not be left or the
    // page's window could not be made.
    bool SetActivePage(int index);
    // Where a page sits in the sheet, in the sheet's dialog units.
    Rect PageRect() const { return page_rect_; }

protected:
    bool OnInitDialog() override;
    void PrepareTemplate(DialogTemplate& tpl) override;
    bool OnCommand(int id, int code) override;
    bool PreTranslateMessage(InputEvent& event) override;
    void OnOK() override;
    void OnCancel() override;
    // The Help button; nothing by default.
    virtual void OnHelp() {}

private:
    friend class PropertyPage;
    // Leaves the shown page and applies the modified pages; false when one refused.
    bool ApplyChanges();
    void UpdateApplyButton();

    std::vector<PropertyPage*> pages_;
    int active_ = -1;
    SheetButtonTexts texts_;
    Rect page_rect_;
};

}  // namespace mirelle::ui
