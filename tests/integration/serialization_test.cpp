// Serialization for real: gang runs of mirelle-cli against four simulated
// chips with a counter (every board's flash read back), two processes
// reserving from one store, and the refusals that must come before anything
// is sent.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "records/record_store.h"
#include "records/serializer.h"
#include "support/pg_server.h"
#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

constexpr std::uint32_t kSerialAt = 0x90100;  // TQ4A01's area starts at 0x80000
constexpr int kBoards = 4;

// Runs mirelle-cli; its output lands in HOME/cli.out and cli.err.
int RunCliIn(const fs::path& home, const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Wait(Spawn(argv, {}, home / "cli.out", home / "cli.err"), 60);
}

class Serialization : public FullOperationPty {
protected:
    void TearDown() override {
        StopBoards();
        FullOperationPty::TearDown();
    }
    fs::path Link(int b) const { return home_ / ("ttySIM" + std::to_string(b)); }
    fs::path FlashOf(int b) const { return home_ / ("flash" + std::to_string(b) + ".bin"); }
    // The four boards; `failing` (from 0, -1 none) does not program its first block.
    void StartBoards(int failing) {
        std::ofstream(home_ / "DATAFILE.TXT", std::ios::binary) << "[Recent]\r\nCPU=0\r\nRATE=0\r\n";
        for (int b = 0; b < kBoards; ++b) {
            std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                          (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--link",
                                          Link(b).string(), "--flash", FlashOf(b).string(), "--no-line-time"};
            if (b == failing) argv.insert(argv.end(), {"--verify-fail", "1"});
            sims_.push_back(Spawn(argv, {}, home_ / ("sim" + std::to_string(b) + ".log")));
            for (int i = 0; i < 200 && !fs::exists(Link(b)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void StopBoards() {
        for (pid_t pid : sims_) kill(pid, SIGTERM);
        for (pid_t pid : sims_) Wait(pid, 5);
        sims_.clear();
    }
    // One gang run of the four boards with `rule`; its exit status.
    int Gang(const fs::path& program, const std::string& rule) {
        std::vector<std::string> cli{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "program", program.string(),
                                     "--home", home_.string(), "--target", "TQ4A01", "-q", "--patch", rule};
        for (int b = 0; b < kBoards; ++b) cli.insert(cli.end(), {"-p", Link(b).string()});
        return Wait(Spawn(cli, {}, home_ / "gang.log"), 90);
    }
    // The serial number in board `b`'s flash ("" when it holds none).
    std::string SerialOn(int b) const {
        const std::string flash = Slurp(FlashOf(b));
        const std::size_t at = kSerialAt - 0x80000;
        if (flash.size() < at + 9 || flash[at] == '\xFF') return "";
        return flash.substr(at, 9);
    }
    std::vector<pid_t> sims_;
};

// Rounds of four boards: a failed board's value goes to the next board
// (no gap in what was spent), or with `burn` is never used again; every
// board's flash holds its own value.
TEST_F(Serialization, GangRunsGiveEveryBoardItsOwnValue) {
    const fs::path program = WriteProgram(Pattern(0x90000, 0x40));
    struct Round {
        const char* rule;
        int failing;
    };
    const std::string plain = "0x90100:9:counter=1,enc=dec,prefix=SN-";
    const std::string burn = "0x90100:9:counter=501,enc=dec,prefix=SN-,burn";
    const Round rounds[] = {{plain.c_str(), 1}, {plain.c_str(), -1}, {burn.c_str(), 2}, {burn.c_str(), -1}};
    std::set<std::string> seen;
    for (const Round& round : rounds) {
        SCOPED_TRACE(std::string(round.rule) + " failing " + std::to_string(round.failing));
        StartBoards(round.failing);
        const int status = Gang(program, round.rule);
        StopBoards();  // the flash files are whole once the simulators end
        EXPECT_EQ(status, round.failing < 0 ? 0 : 1) << Slurp(home_ / "gang.log");
        for (int b = 0; b < kBoards; ++b) {
            if (b == round.failing) continue;
            const std::string serial = SerialOn(b);
            EXPECT_EQ(serial.rfind("SN-", 0), 0u) << "board " << b;
            EXPECT_TRUE(seen.insert(serial).second) << serial << " on two boards";
        }
    }
    // Rounds 1-2: seven boards passed with SN-000001..7, the failed board's
    // value among them. Rounds 3-4: seven passed, the burnt value skipped.
    std::set<std::string> plain_values, burn_values;
    for (const std::string& s : seen) (s < "SN-000500" ? plain_values : burn_values).insert(s);
    EXPECT_EQ(plain_values, (std::set<std::string>{"SN-000001", "SN-000002", "SN-000003", "SN-000004", "SN-000005",
                                                   "SN-000006", "SN-000007"}));
    ASSERT_EQ(burn_values.size(), 7u);
    std::string error;
    auto db = records::OpenStore("", home_.string() + "/", false, error);
    ASSERT_TRUE(db) << error;
    int burnt = 0;
    for (int v = 501; v <= 508; ++v) {
        const std::string value = "SN-000" + std::to_string(v);
        const std::string state = records::ValueState(*db, "0x00090100:9:counter=501,step=1", value);
        burnt += state == "burnt";
        EXPECT_EQ(state == "spent", burn_values.count(value) == 1) << value << " is " << state;
    }
    EXPECT_EQ(burnt, 1);
    // The records find a unit by its serial number and keep its bytes.
    std::vector<engine::UnitRecord> found;
    records::RecordFilter filter;
    filter.serial = "SN-000003";
    ASSERT_TRUE(records::SelectRecords(*db, filter, found, error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].passed);
    EXPECT_EQ(found[0].patches, "0x00090100:534E2D303030303033");
}

// Refused before anything is sent: the trace of the port stays empty, the
// message says why, and the value goes back.
TEST_F(Serialization, RefusalsComeBeforeAnythingIsSent) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const fs::path program = WriteProgram(Pattern(0x90000, 0x40));
    std::ofstream(home_ / "macs.txt") << "00:1A:2B:3C:4D:01\n\n00:1A:2B:3C:4D:02\n";
    std::ofstream(home_ / "fail.sh") << "#!/bin/sh\necho \"$MIRELLE_SLOT\" >&2\nexit 3\n";
    struct Case {
        std::string rule;
        int runs_before;  // runs that must pass first
        const char* says;
    };
    const Case cases[] = {
        {"0x90100:6:list=" + (home_ / "macs.txt").string(), 2, "has run out: its 2 values are all used"},
        {"0x90100:6:command=/bin/sh " + (home_ / "fail.sh").string(), 0, "failed (exit status 3)"},
        {"0x90100:6:command=echo 0102", 0, "is 2 bytes, the patch 6"},
        {"0x70000:4:counter=1", 0, "does not lie in one flash area of TQ4A01 (0x00080000-0x000FFFFF)"},
        {"0x90020:4:counter=1", 0, "lies over data of the program file"},
    };
    const fs::path trace = home_ / "trace.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        auto run = [&] {
            return RunCliIn(home_, {"program", program.string(), "--home", home_.string(), "-p", link_.string(), "--trace",
                           trace.string(), "--patch", c.rule});
        };
        for (int i = 0; i < c.runs_before; ++i) ASSERT_EQ(run(), 0) << Slurp(home_ / "cli.err");
        EXPECT_NE(run(), 0);
        const std::string errors = Slurp(home_ / "cli.err");
        EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
        EXPECT_EQ(Slurp(trace).find(" > "), std::string::npos) << "bytes were sent";
    }
    // With overwrite the file's bytes give way to the value.
    EXPECT_EQ(RunCliIn(home_, {"program", program.string(), "--home", home_.string(), "-p", link_.string(), "--patch",
                      "0x90020:4:counter=1,order=be,overwrite"}),
              0);
    StopSim();
    EXPECT_EQ(Flash()[0x10020 + 3], 1);
}

// Check SUM keeps the file's sum; with --patch it is the sum of the next
// board's image, and looking reserves nothing.
TEST_F(Serialization, ChecksumShowsTheFileOrTheNextBoardsImage) {
    const fs::path program = WriteProgram(Pattern(0x90000, 0x40));
    auto sum = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args{"checksum", program.string(), "--home", home_.string(), "--target", "TQ4A01"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(RunCliIn(home_, args), 0) << Slurp(home_ / "cli.err");
        return std::stoul(Slurp(home_ / "cli.out"), nullptr, 16);
    };
    const unsigned long plain = sum({});
    const std::vector<std::string> patch{"--patch", "0x90100:2:counter=0x1234,order=be"};
    // 0x12 + 0x34 where two 0xFF stood.
    EXPECT_EQ(sum(patch), (plain + 0x12 + 0x34 - 2 * 0xFF) & 0xFFFF);
    EXPECT_EQ(sum(patch), (plain + 0x12 + 0x34 - 2 * 0xFF) & 0xFFFF);
    EXPECT_NE(Slurp(home_ / "cli.err").find("with 4660 at 0x00090100"), std::string::npos) << Slurp(home_ / "cli.err");
}

// Two processes reserve from one store, 50 passed units each, every fifth
// unit failing (its value given back): 100 values spent, none twice, and no
// gap. Prints the time a unit's reservation and settlement take.
void TwoProcessesOfFifty(const std::string& location, const std::string& home, const char* name) {
    constexpr int kEach = 50;
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::vector<hexfile::PatchRule> rules;
            std::string error;
            records::ParsePatchRules({"0x7F00:4:counter=1,enc=bcd"}, rules, error);
            records::Serializer serializer(rules, home);
            if (!serializer.Open(location, home, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                std::_Exit(2);
            }
            int passed = 0, attempts = 0;
            const auto start = std::chrono::steady_clock::now();
            while (passed < kEach) {
                std::vector<hexfile::ImagePatch> patches;
                if (!serializer.Begin(std::to_string(p + 1), patches, error)) std::_Exit(3);
                const bool pass = ++attempts % 5 != 0;
                if (!serializer.End(pass, error)) std::_Exit(4);
                if (pass) {
                    const std::string line = patches[0].value + "\n";
                    if (write(pipes[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::_Exit(5);
                    ++passed;
                }
            }
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "%s: process %d, %d units: %.2f ms per unit (reserve + settle)\n", name, p + 1,
                         attempts, ms / attempts);
            std::_Exit(0);
        }
        children.push_back(pid);
    }
    close(pipes[1]);
    std::string spent;
    char buf[512];
    for (ssize_t n; (n = read(pipes[0], buf, sizeof buf)) > 0;) spent.append(buf, static_cast<std::size_t>(n));
    close(pipes[0]);
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    std::vector<std::string> values;
    std::set<std::string> distinct;
    for (std::size_t at = 0, nl; (nl = spent.find('\n', at)) != std::string::npos; at = nl + 1) {
        values.push_back(spent.substr(at, nl - at));
        distinct.insert(values.back());
    }
    EXPECT_EQ(values.size(), 2u * kEach);
    EXPECT_EQ(distinct.size(), values.size()) << "a value was spent twice";
    std::set<std::string> expected;
    for (int v = 1; v <= 2 * kEach; ++v) expected.insert(std::to_string(v));
    EXPECT_EQ(distinct, expected) << "values skipped";
}

TEST(SerialStore, TwoProcessesNeverGetOneValueOnSqlite) {
    const fs::path home = fs::temp_directory_path() / ("mirelle-serial-" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    TwoProcessesOfFifty("", home.string() + "/", "SQLite");
    fs::remove_all(home);
}

TEST(SerialStore, TwoProcessesNeverGetOneValueOnPostgres) {
    if (!Server().Ready()) GTEST_SKIP() << "no PostgreSQL server could be started (package postgresql)";
    const fs::path home = fs::temp_directory_path() / ("mirelle-serial-pg-" + std::to_string(getpid()));
    fs::create_directories(home);
    TwoProcessesOfFifty(Server().Conninfo(), home.string() + "/", "PostgreSQL");
    fs::remove_all(home);
}

// A store of the first schema is brought up to date: its records stay, and
// the reservations work in it.
TEST(SerialStore, AFirstSchemaStoreIsMigrated) {
    const fs::path home = fs::temp_directory_path() / ("mirelle-serial-v1-" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    std::string error, columns;
    {
        auto db = records::OpenSqlite((home / "records.db").string(), true, error);
        ASSERT_TRUE(db) << error;
        for (const records::Column& c : records::RecordColumns())
            if (std::string(c.name) != "patches") columns += (columns.empty() ? "" : ", ") + std::string(c.name) + " " + c.type;
        ASSERT_TRUE(db->Run("CREATE TABLE records (" + columns + ")", error) &&
                    db->Run("CREATE TABLE schema_version (version INTEGER NOT NULL)", error) &&
                    db->Run("INSERT INTO schema_version VALUES (1)", error) &&
                    db->Run("INSERT INTO records (id, start_ms, end_ms, passed, serial_number) VALUES ('a', 1, 2, 1, '77')",
                            error))
            << error;
    }
    auto db = records::OpenStore("", home.string() + "/", false, error);
    ASSERT_TRUE(db) << error;
    std::vector<engine::UnitRecord> found;
    records::RecordFilter filter;
    filter.serial = "77";
    ASSERT_TRUE(records::SelectRecords(*db, filter, found, error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].patches, "");
    records::Reservation r;
    auto value_of = [](std::int64_t seq, std::string&) -> std::optional<std::string> { return std::to_string(seq); };
    EXPECT_TRUE(records::ReserveNext(*db, "k", value_of, "me", 0, r, error)) << error;
    EXPECT_EQ(r.value, "0");
    fs::remove_all(home);
}

}  // namespace
}  // namespace mirelle::testing
