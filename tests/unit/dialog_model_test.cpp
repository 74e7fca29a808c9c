// The dialog model with the scripted backend: the input rules, data
// exchange, lists, edits, modal runs and message boxes.
#include <gtest/gtest.h>

#include <optional>

#include "ui/dialog.h"
#include "ui/scripted_backend.h"

namespace mirelle::ui {
namespace {

DialogTemplate Sample() {
    return {10, "Sample", "MS Sans Serif", 10, 200, 100, kSystemMenu, {
        {kStaticId, ControlKind::Label, "&Name", 5, 5, 30, 8, 0},
        {100, ControlKind::Edit, "", 40, 5, 60, 12, 0},
        {101, ControlKind::Edit, "", 40, 20, 60, 12, kUpperCase},
        {102, ControlKind::DropList, "", 40, 35, 60, 40, kUpperCase, {"beta", "alpha"}},
        {103, ControlKind::Button, "&Apply && Go", 5, 60, 40, 14, 0},
        {104, ControlKind::Button, "&Apply later", 50, 60, 40, 14, 0},
        {105, ControlKind::CheckBox, "&Loud", 5, 80, 40, 10, 0},
        {106, ControlKind::RadioButton, "One", 50, 80, 30, 10, kGroup},
        {107, ControlKind::RadioButton, "Two", 80, 80, 30, 10, 0},
        {kIdOk, ControlKind::Button, "OK", 150, 5, 40, 14, kDefaultButton},
    }};
}

class SampleDlg : public Dialog {
public:
    SampleDlg() : Dialog(Sample()) {}
    std::vector<std::pair<int, int>> commands;
    std::string name;
    int pick = 0;
    int loud = 0;
    int radio = 0;

protected:
    bool OnCommand(int id, int code) override {
        commands.emplace_back(id, code);
        return false;
    }
    void DoDataExchange(DataExchange& dx) override {
        DDX_Text(dx, 100, name);
        DDV_MaxChars(dx, name, 5);
        DDX_CBIndex(dx, 102, pick);
        DDX_Check(dx, 105, loud);
        DDX_Radio(dx, 106, radio);
    }
};

class DialogModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveBackend(&backend);
        ASSERT_TRUE(dlg.Create(nullptr));
    }
    void TearDown() override {
        // Through the backend that made it, which still lists it.
        dlg.DestroyWindow();
        SetActiveBackend(nullptr);
    }
    int Count(int id, int code) const {
        return static_cast<int>(std::count(dlg.commands.begin(), dlg.commands.end(), std::make_pair(id, code)));
    }
    ScriptedBackend backend;
    SampleDlg dlg;
};

TEST_F(DialogModelTest, TemplateBuildsTheControls) {
    EXPECT_EQ(dlg.GetWindowText(), "Sample");
    EXPECT_EQ(dlg.GetLBText(102, 0), "BETA");  // shown in capitals, not sorted
    EXPECT_EQ(dlg.GetFocus(), 100);            // the first control that takes it
    EXPECT_EQ(dlg.DefaultButton(), kIdOk);
    EXPECT_EQ(dlg.ControlRect(103), (Rect{5, 60, 45, 74}));
    EXPECT_EQ(Mnemonic("&Apply && Go"), 'A');
    EXPECT_EQ(Mnemonic("R&&D &tools"), 'T');
    EXPECT_EQ(Mnemonic("none"), 0);
}

TEST_F(DialogModelTest, DataExchangeBothWaysWithoutNotificationsTowardsTheWindow) {
    dlg.name = "abc";
    dlg.pick = 1;
    dlg.loud = 1;
    dlg.radio = 1;
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(dlg.GetDlgItemText(100), "abc");
    EXPECT_EQ(dlg.GetCurSel(102), 1);
    EXPECT_EQ(dlg.GetCheck(107), 1);
    EXPECT_EQ(dlg.GetCheck(106), 0);
    EXPECT_EQ(Count(100, kEnChange), 0);
    EXPECT_EQ(dlg.FindControl(100)->text_limit, 5);
    // The program's own text change outside data exchange does notify.
    dlg.SetDlgItemText(100, "xy");
    EXPECT_EQ(Count(100, kEnChange), 1);
    backend.Select(dlg, 102, 0);
    backend.Click(dlg, 105);
    backend.Click(dlg, 106);
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.name, "xy");
    EXPECT_EQ(dlg.pick, 0);
    EXPECT_EQ(dlg.loud, 0);
    EXPECT_EQ(dlg.radio, 0);
    EXPECT_EQ(Count(102, kCbnSelChange), 1);
    // A text longer than its limit fails the exchange with a message.
    dlg.SetDlgItemText(100, "toolong");
    EXPECT_FALSE(dlg.UpdateData(true));
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "Enter no more than 5 characters.");
}

TEST_F(DialogModelTest, TypingHonoursLimitCaseAndReadOnly) {
    dlg.SetLimitText(100, 3);
    backend.Type(dlg, 100, "12345");
    EXPECT_EQ(dlg.GetDlgItemText(100), "123");
    EXPECT_EQ(Count(100, kEnChange), 3);
    backend.Type(dlg, 101, "ff");
    EXPECT_EQ(dlg.GetDlgItemText(101), "FF");
    dlg.EnableControl(101, false);
    backend.Type(dlg, 101, "1");
    EXPECT_EQ(dlg.GetDlgItemText(101), "FF");
}

TEST_F(DialogModelTest, DisabledWindowsAndControlsTakeNoInput) {
    dlg.EnableControl(103, false);
    EXPECT_FALSE(backend.Click(dlg, 103));
    EXPECT_EQ(Count(103, kBnClicked), 0);
    // Alt+A skips the disabled button and presses the next with that mnemonic.
    backend.PressKey(dlg, 'A', true);
    EXPECT_EQ(Count(104, kBnClicked), 1);
    // A label's mnemonic moves the focus on.
    backend.Click(dlg, 104);
    backend.PressKey(dlg, 'N', true);
    EXPECT_EQ(dlg.GetFocus(), 100);
    dlg.EnableWindow(false);
    EXPECT_FALSE(backend.Click(dlg, 104));
    EXPECT_FALSE(backend.PressKey(dlg, kVkReturn));
    EXPECT_FALSE(backend.Close(dlg));
    EXPECT_EQ(Count(104, kBnClicked), 2);
    EXPECT_FALSE(dlg.Ended());
}

TEST_F(DialogModelTest, EnterOnAnEditSendsOk) {
    backend.PressKey(dlg, kVkReturn);  // focus on an edit: IDOK, which takes the values and ends
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), kIdOk);
}

TEST(DialogModal, OwnerIsDisabledDuringTheRunAndMessageBoxes) {
    ScriptedBackend backend;
    SetActiveBackend(&backend);
    Dialog owner(DialogTemplate{1, "owner", "", 10, 50, 50, 0, {}});
    ASSERT_TRUE(owner.Create(nullptr));
    SetMainWindow(&owner);
    Dialog modal(DialogTemplate{2, "modal", "", 10, 50, 50, 0, {{kIdOk, ControlKind::Button, "OK", 0, 0, 10, 10, 0}}});
    backend.answers = {kIdNo};
    backend.modal_scripts.push_back([&](Dialog& d) {
        EXPECT_FALSE(owner.IsWindowEnabled());
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_EQ(MessageBox(&d, "retry?", "crc checking", MessageButtons::YesNo, MessageIcon::Question), kIdNo);
        EXPECT_EQ(MessageBox(&d, "again?", "crc checking", MessageButtons::YesNo, MessageIcon::Question), kIdYes);
        backend.Click(d, kIdOk);
    });
    EXPECT_EQ(modal.DoModal(), kIdOk);
    EXPECT_TRUE(owner.IsWindowEnabled());
    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[0].owner_template, 2);
    EXPECT_EQ(backend.message_boxes[0].icon, MessageIcon::Question);
    EXPECT_EQ(backend.unended_runs, 0);
    // A run that the script leaves going is closed as through its close box.
    Dialog other(DialogTemplate{3, "other", "", 10, 50, 50, 0, {}});
    EXPECT_EQ(other.DoModal(), kIdCancel);
    SetMainWindow(nullptr);
    owner.DestroyWindow();  // through the backend that still lists it
    SetActiveBackend(nullptr);
}

// A window ends through the backend that made it, whichever is active by
// then, and reaches no backend once that one has gone.
TEST(DialogBackend, TheWindowStaysWithTheBackendThatMadeIt) {
    ScriptedBackend later;
    Dialog d(DialogTemplate{5, "d", "", 10, 50, 50, 0, {}});
    Dialog orphan(DialogTemplate{6, "orphan", "", 10, 50, 50, 0, {}});
    {
        ScriptedBackend maker;
        SetActiveBackend(&maker);
        ASSERT_TRUE(d.Create(nullptr));
        ASSERT_TRUE(orphan.Create(nullptr));
        SetActiveBackend(&later);
        EXPECT_EQ(&d.WindowBackend(), &maker);
        EXPECT_TRUE(d.DestroyWindow());
        EXPECT_EQ(maker.LiveDialogs(), std::vector<Dialog*>{&orphan});
    }
    EXPECT_EQ(&orphan.WindowBackend(), &HeadlessBackend());
    EXPECT_TRUE(orphan.DestroyWindow());  // no call into the backend that has gone
    EXPECT_TRUE(later.LiveDialogs().empty());
    SetActiveBackend(nullptr);
}

TEST(DialogModal, EndedDuringInitialisationIsNeverShown) {
    ScriptedBackend backend;
    SetActiveBackend(&backend);
    struct Quits : Dialog {
        Quits() : Dialog(DialogTemplate{4, "", "", 10, 10, 10, 0, {}}) {}
        bool OnInitDialog() override {
            EndDialog(42);
            return true;
        }
    } q;
    EXPECT_EQ(q.DoModal(), 42);
    EXPECT_FALSE(q.WasShown());
    EXPECT_TRUE(backend.modal_runs.empty());
    SetActiveBackend(nullptr);
}

// A window that its initialisation does not place comes up centred over its
// owner, kept on the screen (640 x 480 units here), or centred on the screen
// without one; one that places itself stays where it went.
TEST(DialogPlacement, AnUnplacedWindowIsCentredOverItsOwner) {
    ScriptedBackend backend;
    SetActiveBackend(&backend);
    struct Placed : Dialog {
        std::optional<Rect> to;
        explicit Placed(int cx, int cy) : Dialog({1, "", "MS Sans Serif", 10, cx, cy, kPopup, {}}) {}
        bool OnInitDialog() override {
            if (to) MoveWindow(*to);
            return true;
        }
    };
    struct Case {
        const char* what;
        std::optional<Rect> owner;
        std::optional<Rect> placed_by_init;
        Rect want;
    };
    const Case cases[] = {
        {"no owner", std::nullopt, std::nullopt, {270, 215, 370, 265}},
        {"over its owner", Rect{100, 100, 300, 200}, std::nullopt, {150, 125, 250, 175}},
        {"owner at the screen's corner", Rect{0, 0, 60, 20}, std::nullopt, {0, 0, 100, 50}},
        {"owner past the right edge", Rect{600, 460, 700, 500}, std::nullopt, {540, 430, 640, 480}},
        {"placed by its initialisation", Rect{100, 100, 300, 200}, Rect{5, 6, 105, 56}, {5, 6, 105, 56}},
    };
    for (const Case& c : cases) {
        Placed owner(10, 10);
        if (c.owner) {
            ASSERT_TRUE(owner.Create(nullptr));
            owner.MoveWindow(*c.owner);
        }
        Placed dlg(100, 50);
        dlg.to = c.placed_by_init;
        ASSERT_TRUE(dlg.Create(c.owner ? &owner : nullptr));
        EXPECT_EQ(dlg.GetWindowRect(), c.want) << c.what;
        dlg.DestroyWindow();
        owner.DestroyWindow();
    }
    SetActiveBackend(nullptr);
}

}  // namespace
}  // namespace mirelle::ui
