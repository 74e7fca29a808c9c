// Opening a station window: from the main window's system menu (Station...,
// a job file chosen in a file dialog) or with mirelle --station. A job that
// cannot be read, or whose files changed since it was written, is refused
// with one message naming each problem, and no station window opens.
#include <string>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/station_dlg.h"
#include "main_window_fixture.h"
#include "station/job_file.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

class StationOpenTest : public MainWindowTest {
protected:
    // A sealed job of two slots for prog.mot in the program folder.
    std::string WriteSealedJob() {
        WriteFile("CHIPDEF.INI", kSampleChipDef);
        WriteFile("prog.mot", testing::SRecordOf('3', 0x80000, {1, 2, 3, 4}) + "\r\n");
        station::Job job;
        job.path = Dir() + "line.job";
        job.name = "line";
        job.target = "TQ4A01";
        job.program_file = "prog.mot";
        job.slots = {{"1", "COM3"}, {"2", "COM4"}};
        std::string error;
        EXPECT_TRUE(station::SealJob(job, Dir(), error)) << error;
        EXPECT_TRUE(station::WriteJob(job, Dir() + "line.job", error)) << error;
        return Dir() + "line.job";
    }
    bool StationWindowOpened() const {
        for (const auto& t : backend.texts)
            if (t.dialog_template == idc::kStationTemplate) return true;
        return false;
    }
};

TEST_F(StationOpenTest, AJobThatCannotRunIsRefusedNamingWhy) {
    const std::string job = WriteSealedJob();
    WriteFile("prog.mot", testing::SRecordOf('3', 0x80000, {9, 9, 9, 9}) + "\r\n");  // changed after job new
    const struct {
        std::string path;
        const char* named;  // a part of the message
    } cases[] = {
        {job, "prog.mot"},
        {Dir() + "absent.job", "absent.job"},
    };
    for (const auto& c : cases) {
        backend.message_boxes.clear();
        EXPECT_EQ(RunStationWindow(c.path, Dir(), nullptr), 2) << c.path;
        ASSERT_EQ(backend.message_boxes.size(), 1u) << c.path;
        EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Stop);
        EXPECT_NE(backend.message_boxes[0].text.find(c.named), std::string::npos) << backend.message_boxes[0].text;
        EXPECT_FALSE(StationWindowOpened());
    }
}

TEST_F(StationOpenTest, TheSystemMenuAsksForAJobFile) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        backend.file_answers.push_back(std::nullopt);  // cancelled: nothing opens
        backend.SysCommand(w, idc::kStationCommand);
        ASSERT_EQ(backend.file_dialogs.size(), 1u);
        EXPECT_EQ(backend.file_dialogs[0].filter, "Station jobs (*.job)|*.job||");
        EXPECT_FALSE(backend.file_dialogs[0].save);
        EXPECT_FALSE(StationWindowOpened());
        backend.file_answers.push_back(Dir() + "absent.job");  // refused, with its message
        backend.SysCommand(w, idc::kStationCommand);
        EXPECT_EQ(backend.message_boxes.size(), 1u);
        EXPECT_TRUE(w.IsWindowEnabled());
        backend.Click(w, ui::kIdCancel);
    });
}

}  // namespace
}  // namespace mirelle::test
