// The progress window: modes and heights, the caption counter, the button
// polled by the operation, and its owner.
#include "app/windows/control_ids.h"
#include "app/windows/progress_dlg.h"
#include "main_window_fixture.h"

namespace mirelle::test {

namespace {

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetActiveBackend(&backend);
        ASSERT_TRUE(owner.Create(nullptr));
        ui::SetMainWindow(&owner);
    }
    void TearDown() override {
        ui::SetMainWindow(nullptr);
        ui::SetActiveBackend(nullptr);
    }
    ui::ScriptedBackend backend;
    ui::Dialog owner{ui::DialogTemplate{102, "Mirelle", "", 10, 300, 200, 0, {}}};
};

TEST_F(ProgressWindowTest, CreateDisablesTheOwnerAndDestroyEnablesIt) {
    CProgressDlg p;
    ASSERT_TRUE(p.Create(nullptr));
    EXPECT_FALSE(owner.IsWindowEnabled());
    EXPECT_EQ(p.m_bOwnerDisabled, 1);
    EXPECT_TRUE(p.IsWindowVisible());
    EXPECT_EQ(p.m_nMode, 13);
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "Ok");
    EXPECT_TRUE(p.IsControlEnabled(idc::kProgressButton));
    EXPECT_EQ(p.GetFocus(), idc::kProgressButton);
    EXPECT_EQ(p.GetWindowRect().Height(), 103);
    // Centred on the screen.
    ui::Rect screen = backend.ScreenRect();
    EXPECT_EQ(p.GetWindowRect().left, (screen.Width() - 215) / 2);
    EXPECT_TRUE(p.DestroyWindow());
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_EQ(p.m_bOwnerDisabled, 0);
}

TEST_F(ProgressWindowTest, CreateFailingEnablesTheOwnerAgain) {
    backend.fail_create_template = idc::kProgressTemplate;
    backend.fail_create_count = 1;
    CProgressDlg p;
    EXPECT_FALSE(p.Create(nullptr));
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_FALSE(p.HasWindow());
}

TEST_F(ProgressWindowTest, ModesSetButtonBarAndHeight) {
    CProgressDlg p(8);  // the Download command's mode: no button row
    ASSERT_TRUE(p.Create(nullptr));
    EXPECT_EQ(p.GetWindowRect().Height(), 85);
    EXPECT_FALSE(p.IsControlEnabled(idc::kProgressButton));
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "");
    EXPECT_TRUE(p.IsControlEnabled(idc::kProgressBar));
    EXPECT_EQ(p.m_bButtonLive, 0);

    const ui::Rect before = p.GetWindowRect();
    p.SetMode(0);  // decoding: only icon and text
    EXPECT_EQ(p.GetWindowRect().Height(), 65);
    EXPECT_EQ(p.GetWindowRect().top, before.top);  // resized in place
    EXPECT_FALSE(p.IsControlEnabled(idc::kProgressBar));

    p.SetMode(14, false, std::string("Copy"));
    EXPECT_EQ(p.GetWindowText(), "Copy");
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "Cancel");
    EXPECT_TRUE(p.IsControlEnabled(idc::kProgressButton));
    EXPECT_EQ(p.m_bButtonLive, 1);
    EXPECT_EQ(p.GetWindowRect().Height(), 103);

    p.SetMode(-1);
    EXPECT_EQ(p.m_nMode, 13);
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "Ok");
    EXPECT_EQ(p.GetWindowRect().Height(), 103);
    EXPECT_EQ(p.GetWindowText(), "Copy");  // no caption given: it stays

    p.SetMode(3);  // both text bits: "Ok" wins; no live bit
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "Ok");
    EXPECT_FALSE(p.IsControlEnabled(idc::kProgressButton));
}

TEST_F(ProgressWindowTest, CentringUsesThePreviousHeight) {
    CProgressDlg p(0);
    ASSERT_TRUE(p.Create(nullptr));
    ui::Rect screen = backend.ScreenRect();
    EXPECT_EQ(p.GetWindowRect().top, (screen.Height() - 103) / 2);  // created full, then shrunk
    p.SetMode(13, true);
    EXPECT_EQ(p.GetWindowRect().top, (screen.Height() - 65) / 2);
    EXPECT_EQ(p.GetWindowRect().Height(), 103);
}

TEST_F(ProgressWindowTest, CaptionCountsThePosition) {
    CProgressDlg p;
    ASSERT_TRUE(p.Create(nullptr));
    p.SetProgress(0, 120, 1, 0);
    EXPECT_EQ(p.GetWindowText(), "0 / 120");
    p.StepIt();
    p.StepIt();
    EXPECT_EQ(p.StepIt(), 2);
    EXPECT_EQ(p.GetWindowText(), "3 / 120");
    EXPECT_EQ(p.m_progress.GetPos(), 3);
    EXPECT_EQ(p.SetPos(7), 3);
    EXPECT_EQ(p.GetWindowText(), "7 / 120");
    EXPECT_EQ(backend.pumps, 5);  // each move of the bar pumps first
}

TEST_F(ProgressWindowTest, ButtonPressedWhenTheCaptionReadsThree) {
    CProgressDlg p;
    ASSERT_TRUE(p.Create(nullptr));
    p.SetMode(14);
    p.SetProgress(0, 120, 1, 0);
    backend.PressWhenCaption(idc::kProgressTemplate, "3 / 120", idc::kProgressButton);
    int stopped_at = -1;
    for (int block = 0; block < 120; ++block) {
        if (p.PollCancel()) {
            stopped_at = block;
            break;
        }
        p.StepIt();
    }
    EXPECT_EQ(stopped_at, 3);
    EXPECT_EQ(p.PollCancel(), 0);  // reported once
}

TEST_F(ProgressWindowTest, PollCancelOnlyWhileTheButtonIsLive) {
    CProgressDlg p(8);
    ASSERT_TRUE(p.Create(nullptr));
    backend.Click(p, idc::kProgressButton);  // disabled: no effect
    EXPECT_EQ(p.m_bCancel, 0);
    backend.PressKey(p, ui::kVkEscape);  // Esc is the cancel command
    EXPECT_EQ(p.m_bCancel, 1);
    int pumps = backend.pumps;
    EXPECT_EQ(p.PollCancel(), 0);
    EXPECT_EQ(backend.pumps, pumps);  // nothing dispatched
    EXPECT_EQ(p.m_bCancel, 1);        // and the flag is kept
    p.SetMode(13);
    EXPECT_EQ(p.PollCancel(), 1);
    EXPECT_EQ(p.PollCancel(), 0);

    p.SetMode(14);
    backend.PressKey(p, ui::kVkReturn);  // Enter does nothing, even on the live button
    EXPECT_EQ(p.m_bCancel, 0);
    EXPECT_TRUE(p.HasWindow());
    EXPECT_FALSE(p.Ended());
    backend.Close(p);
    EXPECT_TRUE(p.HasWindow());
}

TEST_F(ProgressWindowTest, StatusTextAndIcon) {
    CProgressDlg p;
    ASSERT_TRUE(p.Create(nullptr));
    EXPECT_EQ(p.GetDlgItemText(idc::kStatusText), "information");
    p.SetStatus(" Erasing");
    p.SetStatusIcon(ui::kIconHand);
    EXPECT_EQ(p.FindControl(idc::kStatusIcon)->icon, ui::kIconHand);
    EXPECT_EQ(backend.TextsOf(idc::kProgressTemplate, idc::kStatusText),
              (std::vector<std::string>{" Erasing"}));
    // Waiting for the user as the reporter does: the press comes when the text is shown.
    p.SetStatus("It Erased a flash");
    backend.PressWhenText(idc::kProgressTemplate, idc::kStatusText, "It Erased a flash", idc::kProgressButton);
    int polls = 0;
    while (!p.PollCancel()) ++polls;
    EXPECT_EQ(polls, 0);
}

TEST_F(ProgressWindowTest, TheMainWindowTakesNoInputWhileAProgressWindowExists) {
    int clicks = 0;
    struct Counting : ui::Dialog {
        int* n;
        Counting(int* counter)
            : ui::Dialog(ui::DialogTemplate{
                  50, "", "", 10, 100, 100, 0, {{7, ui::ControlKind::Button, "&Go", 0, 0, 20, 10, 0}}}),
              n(counter) {}
        bool OnCommand(int id, int) override {
            if (id == 7) ++*n;
            return true;
        }
    } main_window(&clicks);
    ASSERT_TRUE(main_window.Create(nullptr));
    ui::SetMainWindow(&main_window);
    backend.Click(main_window, 7);
    EXPECT_EQ(clicks, 1);
    {
        CProgressDlg p;
        ASSERT_TRUE(p.Create(nullptr));
        backend.Click(main_window, 7);
        backend.PressKey(main_window, 'G', true);
        EXPECT_EQ(clicks, 1);
    }  // deleted without DestroyWindow: the destructor still frees the owner
    backend.Click(main_window, 7);
    EXPECT_EQ(clicks, 2);
    ui::SetMainWindow(&owner);
}

}  // namespace
}  // namespace mirelle::test
