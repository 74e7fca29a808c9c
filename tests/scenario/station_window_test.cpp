// The station window with the scripted backend: its buttons reach the slots
// they belong to (and only while they apply), a verdict plays its sound, and
// the window goes only once every slot has stopped.
#include "app/windows/control_ids.h"
#include "app/windows/station_dlg.h"
#include "main_window_fixture.h"
#include "platform/clock.h"
#include "support/station_looks.h"

namespace mirelle::test {

namespace {

using idc::StationTileControl;

class StationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetActiveBackend(&backend);
        SetProgramClock(&clock);
        station.view = MixedView(6);  // PASS, BUSY, FAIL, WAITING, STOPPED, STOPPING
    }
    void TearDown() override {
        SetProgramClock(nullptr);
        ui::SetActiveBackend(nullptr);
    }
    ui::ScriptedBackend backend;
    VirtualClock clock;
    ViewedStation station;
};

TEST_F(StationWindowTest, ButtonsWorkTheirSlotWhileTheyApply) {
    station::Job job = StationJob(6);
    job.detection = station::Detection::kKey;  // each tile has the slot's key
    CStationDlg window(job, station, {});
    ASSERT_TRUE(window.Create(nullptr));
    struct Press {
        int control;
        const char* heard;  // nullptr: the button is disabled in that state
    } const presses[] = {
        {StationTileControl(4, idc::kTileStart), "start 4"},  // STOPPED
        {StationTileControl(4, idc::kTileStop), nullptr},
        {StationTileControl(1, idc::kTileStop), "stop 1"},    // BUSY
        {StationTileControl(1, idc::kTileStart), nullptr},
        {StationTileControl(5, idc::kTileStop), nullptr},     // STOPPING
        {StationTileControl(3, idc::kTileKey), "key 3"},      // WAITING
        {StationTileControl(0, idc::kTileKey), "key 0"},      // PASS: the next board's key
        {StationTileControl(1, idc::kTileKey), nullptr},      // BUSY
        {idc::kStationStartAll, "start all"},
        {idc::kStationStopAll, "stop all"},
    };
    for (const Press& p : presses) {
        station.presses.clear();
        backend.Click(window, p.control);
        EXPECT_EQ(station.presses, p.heard ? std::vector<std::string>{p.heard} : std::vector<std::string>{})
            << p.control;
    }
    // Stop all left every slot stopped: only starting is offered now.
    EXPECT_FALSE(window.IsControlEnabled(idc::kStationStopAll));
    EXPECT_TRUE(window.IsControlEnabled(StationTileControl(1, idc::kTileStart)));
    EXPECT_EQ(window.GetDlgItemText(StationTileControl(1, idc::kTileState)), "STOPPED");
    EXPECT_EQ(window.TextColor(StationTileControl(1, idc::kTileState)), CStationDlg::StateColor(station::SlotState::kStopped));
    EXPECT_EQ(window.GetDlgItemText(idc::kStationTotals),
              "Passed: 7215    Failed: 6    Yield: 99.9%    Units per hour: 412");
    window.DestroyWindow();
}

TEST_F(StationWindowTest, AVerdictPlaysItsSoundAFailBeforeAPass) {
    settings::CustomizeSettings sounds;
    sounds.bSound = 1;
    sounds.bEndEnable = 1;
    sounds.strEndWave = "/sounds/pass.wav";
    sounds.bErrorEnable = 1;
    sounds.nErrorType = 1;  // the beep
    struct Case {
        std::vector<bool> passed;
        std::vector<std::string> heard;
    } const cases[] = {
        {{}, {}},
        {{true}, {"stop", "wave:/sounds/pass.wav"}},
        {{false}, {"beep"}},
        {{true, false, true}, {"beep"}},
    };
    CStationDlg window(StationJob(6), station, sounds);
    ASSERT_TRUE(window.Create(nullptr));
    for (const Case& c : cases) {
        for (bool passed : c.passed) station.verdicts.push_back({0, passed, passed ? 306 : 11, "", "", 1.0});
        backend.sounds.clear();
        window.Refresh();
        EXPECT_EQ(backend.sounds, c.heard) << c.passed.size();
    }
    window.DestroyWindow();
}

TEST_F(StationWindowTest, ClosingStopsEverySlotAndWaitsForThem) {
    ui::Dialog owner{ui::DialogTemplate{102, "Mirelle", "", 10, 300, 200, 0, {}}};
    ASSERT_TRUE(owner.Create(nullptr));
    CStationDlg window(StationJob(6), station, {}, &owner);
    int pumps = 0;
    backend.on_pump = [&] {
        ++pumps;
        EXPECT_FALSE(owner.IsWindowEnabled());
        if (pumps == 2) backend.PressKey(window, ui::kVkEscape);  // Esc closes nothing
        if (pumps == 3) {
            EXPECT_FALSE(window.Ended());
            backend.Close(window);
        }
    };
    EXPECT_TRUE(window.Run(&owner));
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(station.presses, std::vector<std::string>{"stop all"});
    EXPECT_FALSE(window.HasWindow());
    EXPECT_TRUE(owner.IsWindowEnabled());
    owner.DestroyWindow();
}

}  // namespace
}  // namespace mirelle::test
