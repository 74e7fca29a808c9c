// The live table of mirelle-cli station: the header's job, target, program
// file, hash digits, totals and yield, and rows that keep to the width.
#include <gtest/gtest.h>

#include "cli/station_command.h"
#include "station/job_file.h"
#include "station/station.h"

namespace mirelle::test {
namespace {

TEST(StationTable, TheHeaderSumsUpAndEveryRowKeepsToTheWidth) {
    station::Job job;
    job.name = "line3";
    job.target = "TQ4A10";
    job.program_file = "fw/image.mot";
    job.program_sha256 = "d0d8648e677cf441e214f40f64e66f6ee2d11faf5c344a0c5f878cf580500eba";
    station::StationView view;
    station::SlotView a;
    a.name = "1";
    a.port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.1:1.0-port0";
    a.state = station::SlotState::kBusy;
    a.step = "Full Operation - Programming";
    a.percent = 45;
    a.passed = 9;
    a.failed = 1;
    station::SlotView b;
    b.name = "2";
    b.port = "COM4";
    b.state = station::SlotState::kFailed;
    b.last_result = "No.003 timeout error";
    b.passed = 18;
    view.slots = {a, b};
    view.passed = 27;
    view.failed = 1;
    view.units_per_hour = 412.4;

    const std::vector<std::string> rows = cli::StationTable(job, view, 150);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "line3: TQ4A10, image.mot (d0d8648e)  passed 27  failed 1  yield 96.4%  412 units/h");
    EXPECT_NE(rows[2].find("...0-usb-0:1.1:1.0-port0  BUSY      Full Operation - Programming   45%"), std::string::npos)
        << rows[2];
    EXPECT_NE(rows[3].find("FAIL"), std::string::npos);
    EXPECT_NE(rows[3].find("No.003 timeout error"), std::string::npos);
    EXPECT_EQ(rows[3].substr(rows[3].size() - 14), "    18       0");
    for (const std::string& row : cli::StationTable(job, view, 40)) EXPECT_LE(row.size(), 40u);
}

}  // namespace
}  // namespace mirelle::test
