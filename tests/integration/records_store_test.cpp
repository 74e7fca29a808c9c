// The record stores for real: SQLite files and a PostgreSQL server that the
// test starts itself (initdb and pg_ctl in a temporary folder, a Unix socket
// and no TCP port). Several processes writing at once, the server going away
// in the middle (records wait in the spool) and coming back (the spool
// drains, nothing lost or doubled), and stores that cannot be used, which
// leave the programming and its verdict as they are.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "records/database.h"
#include "records/record_sink.h"
#include "records/record_store.h"
#include "support/pg_server.h"
#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

namespace fs = std::filesystem;

engine::UnitRecord Unit(int n) {
    engine::UnitRecord r;
    r.start_ms = 1'800'000'000'000LL + n;
    r.end_ms = r.start_ms + 1000;
    r.operation = "full-operation";
    r.target = "TQ4A01";
    r.passed = n % 5 != 0;
    r.result_text = "unit " + std::to_string(n);
    return r;
}

std::vector<engine::UnitRecord> All(const std::string& location, const std::string& dir) {
    std::string error;
    std::vector<engine::UnitRecord> out;
    auto db = records::OpenStore(location, dir, false, error);
    EXPECT_TRUE(db) << error;
    if (db) {
        EXPECT_TRUE(records::SelectRecords(*db, {}, out, error)) << error;
    }
    return out;
}

class RecordStores : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = (fs::temp_directory_path() / ("mirelle-rec-" + std::to_string(getpid()) + "-" + info->name())).string() + "/";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    // A fresh table on the server, so that each test counts its own rows.
    void ClearServer() {
        std::string error;
        auto db = records::OpenStore(Server().Conninfo(), dir_, false, error);
        ASSERT_TRUE(db) << error;
        ASSERT_TRUE(db->Run("DELETE FROM records", error)) << error;
    }
    std::string dir_;
};

// 8 processes x 50 records into one store: 400 rows, no error, no id twice.
void EightWritersOfFifty(const std::string& location, const std::string& dir) {
    constexpr int kWriters = 8, kEach = 50;
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            settings::RecordsSettings s;
            s.database = location;
            records::StoreSink sink(dir, s);
            int failed = 0;
            for (int i = 0; i < kEach; ++i) {
                engine::UnitRecord r = Unit(w * 1000 + i);
                r.slot = std::to_string(w + 1);
                if (!sink.Write(r).empty() || sink.LastSpooled()) ++failed;
            }
            std::_Exit(failed == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::vector<engine::UnitRecord> rows = All(location, dir);
    std::set<std::string> ids;
    for (const auto& r : rows) ids.insert(r.id);
    EXPECT_EQ(rows.size(), 400u);
    EXPECT_EQ(ids.size(), 400u);
    std::printf("8 x 50 records: %.2f s, %.0f records/s\n", seconds, 400 / seconds);
}

TEST_F(RecordStores, EightProcessesWriteFiftyEachIntoOneSqliteFile) { EightWritersOfFifty("", dir_); }

TEST_F(RecordStores, EightProcessesWriteFiftyEachIntoPostgres) {
    if (!Server().Ready()) GTEST_SKIP() << "no PostgreSQL server could be started (package postgresql)";
    ClearServer();
    EightWritersOfFifty(Server().Conninfo(), dir_);
}

TEST_F(RecordStores, AServerThatGoesAwayLeavesRecordsInTheSpoolUntilItIsBack) {
    PgServer& server = Server();
    if (!server.Ready()) GTEST_SKIP() << "no PostgreSQL server could be started (package postgresql)";
    ClearServer();
    settings::RecordsSettings s;
    s.database = server.Conninfo();
    records::StoreSink sink(dir_, s);
    auto write = [&](int n, bool spooled) {
        engine::UnitRecord r = Unit(n);
        EXPECT_EQ(sink.Write(r), "");
        EXPECT_EQ(sink.LastSpooled(), spooled) << n;
    };
    for (int n = 0; n < 3; ++n) write(n, false);
    ASSERT_TRUE(server.Stop());
    for (int n = 3; n < 7; ++n) write(n, true);
    EXPECT_EQ(All(dir_ + records::kSpoolFile, dir_).size(), 4u);
    ASSERT_TRUE(server.Start());
    // A record that reached the server before its spool row was let go (a
    // crash in between) is sent again: the server keeps it once.
    {
        std::string error;
        auto spool = records::OpenSqlite(dir_ + records::kSpoolFile, false, error);
        auto pg = records::OpenStore(server.Conninfo(), dir_, false, error);
        ASSERT_TRUE(spool && pg) << error;
        engine::UnitRecord both = Unit(7);
        both.id = "0123456789abcdef0123456789abcdef";
        ASSERT_TRUE(records::InsertRecord(*spool, both, error) && records::InsertRecord(*pg, both, error)) << error;
    }
    write(8, false);
    const std::vector<engine::UnitRecord> rows = All(server.Conninfo(), dir_);
    std::vector<std::string> texts;
    for (const auto& r : rows) texts.push_back(r.result_text);
    EXPECT_EQ(texts, (std::vector<std::string>{"unit 0", "unit 1", "unit 2", "unit 3", "unit 4", "unit 5", "unit 6",
                                               "unit 7", "unit 8"}));
    EXPECT_EQ(All(dir_ + records::kSpoolFile, dir_).size(), 0u);
}

// Stores that cannot be used: the unit is programmed and judged as always,
// and the run says once that its record was not kept.
class UnusableStore : public FullOperationPty {};

TEST_F(UnusableStore, TheRunGoesOnAndSaysSoOnce) {
    struct Case {
        const char* name;
        std::function<std::string(const fs::path&)> prepare;  // the Database value
        const char* says;
    };
    const std::vector<Case> cases = {
        {"corrupt file", [](const fs::path& home) {
             std::ofstream(home / "records.db", std::ios::binary) << std::string(8192, 'x');
             return std::string();
         }, "not a database"},
        {"newer schema", [](const fs::path& home) {
             std::string error;
             auto db = records::OpenStore("", home.string() + "/", true, error);
             EXPECT_TRUE(db && db->Run("UPDATE schema_version SET version = 99", error)) << error;
             return std::string();
         }, "schema version 99"},
        {"a folder in the way", [](const fs::path& home) {
             fs::create_directories(home / "records.db");
             return std::string();
         }, "records.db"},
        {"malformed connection string", [](const fs::path&) { return std::string("postgresql://[oops"); },
         "malformed connection string"},
    };
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const fs::path program = WriteProgram(Pattern(0x90000, 0x400));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(home_ / "records.db");
        const std::string database = c.prepare(home_);
        std::ofstream(home_ / "Customize.ini", std::ios::binary)
            << "[Ports]\r\nCOM1=" << link_.string() << "\r\n[Records]\r\nDatabase=" << database << "\r\n";
        EXPECT_EQ(RunMirelle({program.string(), "com1", "no_dialog"}), 0) << Errors();
        EXPECT_EQ(Log(), "OK");
        const std::string errors = Errors();
        EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
        // Said once (beside the line that names the program file's format).
        std::size_t said = 0;
        for (std::size_t at = errors.find("records:"); at != std::string::npos; at = errors.find("records:", at + 1)) ++said;
        EXPECT_EQ(said, 1u) << errors;
    }
}

TEST_F(UnusableStore, EachGangChildRecordsItsSlot) {
    // Two simulated chips, each on its own link; one record per board.
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const fs::path first_link = link_;
    const pid_t first_sim = sim_;
    link_ = home_ / "ttySIM2";
    sim_ = -1;
    std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                  (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--link", link_.string(),
                                  "--no-line-time"};
    sim_ = Spawn(argv, {}, home_ / "sim2.log");
    for (int i = 0; i < 200 && !fs::exists(link_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const fs::path program = WriteProgram(Pattern(0x90000, 0x400));
    std::vector<std::string> cli{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "program", program.string(), "--home",
                                 home_.string(), "--target", "TQ4A01", "-p", first_link.string(), "-p", link_.string(), "-q"};
    const int status = Wait(Spawn(cli, {}, home_ / "gang.log"), 60);
    kill(first_sim, SIGTERM);
    Wait(first_sim, 5);
    EXPECT_EQ(status, 0) << Slurp(home_ / "gang.log");
    std::vector<engine::UnitRecord> rows = All("", home_.string() + "/");
    ASSERT_EQ(rows.size(), 2u);
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.slot < b.slot; });
    EXPECT_EQ(rows[0].slot, "1");
    EXPECT_EQ(rows[0].port, first_link.string());
    EXPECT_EQ(rows[1].slot, "2");
    EXPECT_EQ(rows[1].port, link_.string());
    for (const auto& r : rows) {
        EXPECT_TRUE(r.passed);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.bytes_programmed, 1024);
    }
}

}  // namespace
}  // namespace mirelle::testing
