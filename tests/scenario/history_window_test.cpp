// The History window of the main window's system menu: the newest 100
// records of this program folder, newest first, and the total of the
// folder's records; records of other folders in the same store stay out.
#include <string>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/history_dlg.h"
#include "main_window_fixture.h"
#include "records/database.h"
#include "records/record_store.h"

namespace mirelle::test {
namespace {

class HistoryWindowTest : public MainWindowTest {
protected:
    // What the History window shows: its list and its total line.
    std::pair<std::string, std::string> Shown() {
        std::pair<std::string, std::string> shown{"<not run>", ""};
        Run([&](CWriterDlg& w) {
            backend.modal_scripts.push_back([&](ui::Dialog& d) {
                shown = {d.GetDlgItemText(idc::kHistoryList), d.GetDlgItemText(idc::kHistoryTotal)};
                backend.Click(d, ui::kIdOk);
            });
            backend.SysCommand(w, idc::kHistoryCommand);
            backend.Click(w, ui::kIdCancel);
        });
        return shown;
    }
};

TEST_F(HistoryWindowTest, ShowsTheNewestHundredOfThisFolderAndTheTotal) {
    if (!records::SqliteAvailable()) GTEST_SKIP() << "this build keeps no records";
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    std::string error;
    auto db = records::OpenStore("", Dir(), true, error);
    ASSERT_TRUE(db) << error;
    for (int n = 0; n < 103; ++n) {
        engine::UnitRecord r;
        r.id = "unit" + std::to_string(n);
        r.start_ms = 1'796'835'855'000LL + n * 60'000LL;
        r.end_ms = r.start_ms + 9000;
        // The first record belongs to another folder of a shared store.
        r.folder = n == 0 ? "/elsewhere/" : Dir();
        r.target = "TQ4A01";
        r.port = "COM1";
        r.operation = "full-operation";
        r.passed = n % 10 != 3;
        r.result_text = r.passed ? "Full Operation completed" : "\r\nERROR program n" + std::to_string(n);
        ASSERT_TRUE(records::InsertRecord(*db, r, error)) << error;
    }
    db.reset();
    const auto [list, total] = Shown();
    // A heading and 100 lines, the newest (n = 102) first, the oldest shown n = 3.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(list.substr(at, end - at));
    ASSERT_EQ(lines.size(), 101u) << list;
    EXPECT_EQ(lines[0].rfind("Time (UTC)", 0), 0u);
    EXPECT_NE(lines[1].find("2026-12-09 18:46:15 TQ4A01   COM1         OK     Full Operation completed"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[100].find("NG     ERROR program n3"), std::string::npos) << lines[100];
    // 102 records of this folder, 10 of them failed (n = 3, 13, ..., 93 and 103 does not exist).
    EXPECT_EQ(total, "Total: 102 records, 92 passed, 10 failed (yield 90.2%); the last 100 shown");
    EXPECT_EQ(CHistoryDlg::TotalText(1, 1, 1), "Total: 1 record, 1 passed, 0 failed (yield 100.0%); the last 1 shown");
}

TEST_F(HistoryWindowTest, AFolderWithoutRecordsSaysSo) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    EXPECT_EQ(Shown().first, records::SqliteAvailable()
                                 ? "No records yet."
                                 : "This build of Mirelle keeps no records (it was built without SQLite).");
}

}  // namespace
}  // namespace mirelle::test
