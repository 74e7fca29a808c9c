// Property sheets with the scripted backend: pages made when first shown,
// the tab and key switches, and which pages OK, Apply and Cancel apply.
#include "ui/property_sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/scripted_backend.h"

namespace mirelle::ui {
namespace {

std::vector<std::string> g_log;

class LogPage : public PropertyPage {
public:
    LogPage(int id, const std::string& title)
        : PropertyPage({id, title, "MS Sans Serif", 8, 100 + id, 50, 0, {
                           {10, ControlKind::CheckBox, "&" + title, 5, 5, 60, 10, 0},
                           {11, ControlKind::Edit, "", 5, 20, 60, 12, 0},
                       }}) {}
    bool refuse_leave = false;
    int checked = 0;

protected:
    bool OnInitDialog() override {
        g_log.push_back("init " + Title());
        return true;
    }
    bool OnCommand(int id, int code) override {
        if (id == 10 && code == kBnClicked) SetModified();
        return false;
    }
    void DoDataExchange(DataExchange& dx) override { DDX_Check(dx, 10, checked); }
    bool OnKillActive() override { return !refuse_leave && PropertyPage::OnKillActive(); }
    bool OnApply() override {
        g_log.push_back("apply " + Title() + " " + std::to_string(checked));
        return PropertyPage::OnApply();
    }
    void OnReset() override { g_log.push_back("reset " + Title()); }
};

class SheetTest : public ::testing::Test {
public:  // the case tables work the sheet through the fixture
    void SetUp() override {
        g_log.clear();
        SetActiveBackend(&backend);
        sheet.AddPage(&one);
        sheet.AddPage(&two);
        sheet.AddPage(&three);
    }
    void TearDown() override { SetActiveBackend(nullptr); }
    // Runs the sheet modally with `script` as the user.
    int Run(std::function<void(Dialog&)> script) {
        backend.modal_scripts.push_back(std::move(script));
        return sheet.DoModal();
    }
    void CtrlTab(Dialog& d, bool shift = false) {
        InputEvent e = InputEvent::Key(kVkTab);
        e.ctrl = true;
        e.shift = shift;
        d.Deliver(e);
    }
    ScriptedBackend backend;
    PropertySheet sheet{"Sheet"};
    LogPage one{1, "One"}, two{2, "Two"}, three{3, "Three"};
};

TEST_F(SheetTest, LaysOutTabsLargestPageAndButtons) {
    Run([&](Dialog&) {
        const ControlState* tabs = sheet.FindControl(PropertySheet::kIdTabs);
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->items, (std::vector<std::string>{"One", "Two", "Three"}));
        EXPECT_EQ(sheet.PageRect().Width(), 103);  // the widest page
        EXPECT_EQ(one.GetWindowRect(), sheet.PageRect());
        EXPECT_TRUE(one.IsChild());
        EXPECT_EQ(sheet.DefaultButton(), kIdOk);
        EXPECT_FALSE(sheet.IsControlEnabled(PropertySheet::kIdApply));
        EXPECT_TRUE(sheet.IsControlEnabled(PropertySheet::kIdHelp));
        EXPECT_GE(sheet.ControlRect(kIdOk).top, tabs->tpl.y + tabs->tpl.cy);
    });
}

TEST_F(SheetTest, PagesAreMadeWhenFirstShownAndSwitchedByTabsAndKeys) {
    Run([&](Dialog&) {
        EXPECT_EQ(g_log, (std::vector<std::string>{"init One"}));
        EXPECT_FALSE(two.HasWindow());
        CtrlTab(one);  // from inside a page
        EXPECT_EQ(sheet.GetActiveIndex(), 1);
        EXPECT_FALSE(one.IsWindowVisible());
        EXPECT_FALSE(backend.Click(one, 10)) << "a hidden page takes no input";
        CtrlTab(sheet, true);
        CtrlTab(sheet, true);  // wraps round to the last page
        EXPECT_EQ(sheet.GetActiveIndex(), 2);
        backend.Select(sheet, PropertySheet::kIdTabs, 0);
        EXPECT_EQ(sheet.GetActiveIndex(), 0);
        EXPECT_EQ(g_log, (std::vector<std::string>{"init One", "init Two", "init Three"}));
        // A page that will not be left keeps its tab.
        one.refuse_leave = true;
        backend.Select(sheet, PropertySheet::kIdTabs, 1);
        EXPECT_EQ(sheet.GetActiveIndex(), 0);
        EXPECT_EQ(sheet.GetCurSel(PropertySheet::kIdTabs), 0);
        one.refuse_leave = false;
    });
}

TEST_F(SheetTest, OkAndApplyApplyOnlyShownModifiedPagesCancelNone) {
    struct Case {
        const char* what;
        std::function<void(SheetTest&)> user;
        int result;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"OK applies the modified page only",
         [](SheetTest& t) {
             t.backend.Click(t.one, 10);
             t.CtrlTab(t.one);  // Two shown, not modified
             t.backend.Click(t.sheet, kIdOk);
         },
         kIdOk, {"init One", "init Two", "apply One 1"}},
        {"Apply, then OK with nothing changed since",
         [](SheetTest& t) {
             t.backend.Click(t.one, 10);
             EXPECT_TRUE(t.sheet.IsControlEnabled(PropertySheet::kIdApply));
             t.backend.Click(t.sheet, PropertySheet::kIdApply);
             EXPECT_FALSE(t.sheet.IsControlEnabled(PropertySheet::kIdApply));
             t.backend.PressKey(t.one, kVkReturn);  // Enter in a page is the sheet's OK
         },
         kIdOk, {"init One", "apply One 1"}},
        {"Cancel applies nothing",
         [](SheetTest& t) {
             t.backend.Click(t.one, 10);
             t.backend.PressKey(t.one, kVkEscape);
         },
         kIdCancel, {"init One", "reset One"}},
        {"Alt with a page's letter from the sheet's buttons",
         [](SheetTest& t) {
             t.backend.PressKey(t.sheet, 'O', true);
             t.backend.Click(t.sheet, kIdOk);
         },
         kIdOk, {"init One", "apply One 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_log.clear();
        EXPECT_EQ(Run([&](Dialog&) { c.user(*this); }), c.result);
        EXPECT_EQ(g_log, c.log);
        EXPECT_FALSE(one.HasWindow()) << "the pages go with the sheet";
        EXPECT_TRUE(backend.LiveDialogs().empty());
    }
}

TEST_F(SheetTest, APageTakesNoInputWhileItsSheetIsDisabled) {
    Run([&](Dialog&) {
        sheet.EnableWindow(false);  // as under a message box owned by the sheet
        EXPECT_FALSE(backend.Click(one, 10));
        EXPECT_EQ(one.GetCheck(10), 0);
        sheet.EnableWindow(true);
        EXPECT_TRUE(backend.Click(one, 10));
    });
}

}  // namespace
}  // namespace mirelle::ui
