// mirelle-cli station against mirelle-sim: one simulator per slot, boards
// put in and taken out through its control pipe as a handler would, the
// verdicts read from --json and the units from the record store.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "records/record_store.h"
#include "station/job_file.h"
#include "station/station.h"
#include "support/pg_server.h"
#include "support/unattended_run.h"
#include "texts/result_codes.h"

namespace mirelle::testing {
namespace {

class StationPty : public FullOperationPty {
protected:
    void TearDown() override {
        if (station_ > 0) kill(station_, SIGKILL), Wait(station_, 5);
        for (pid_t pid : sims_) kill(pid, SIGTERM), Wait(pid, 5);
        FullOperationPty::TearDown();
    }
    // One simulator per slot, without a board; `extra` for every one.
    void StartSims(int slots, const std::vector<std::string>& extra = {}) {
        for (int i = 1; i <= slots; ++i) {
            const std::string n = std::to_string(i);
            std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                          (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--no-line-time",
                                          "--erase-ms", "0", "--blank-ms", "0", "--link", (home_ / ("tty" + n)).string(),
                                          "--control", (home_ / ("ctl" + n)).string(), "--empty"};
            argv.insert(argv.end(), extra.begin(), extra.end());
            sims_.push_back(Spawn(argv, {}, home_ / ("sim" + n + ".out")));
            for (int k = 0; k < 300 && !(fs::exists(home_ / ("tty" + n)) && fs::exists(home_ / ("ctl" + n))); ++k)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // A line to slot `slot`'s (from 1) control pipe.
    void Tell(int slot, const std::string& line) {
        const int fd = open((home_ / ("ctl" + std::to_string(slot))).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string text = line + "\n";
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    }
    // The job of `slots` slots on the simulators, written by job new; its hash.
    std::string WriteJob(int slots, const std::string& detection = "probe", const std::vector<std::string>& extra = {}) {
        WriteProgram(Pattern(0x80000, 0x1000));
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "job", "new",
                                      (home_ / "line.job").string(), "--home", home_.string(), "--target", "TQ4A01",
                                      "--program", (home_ / "prog.mot").string(), "--detect", detection};
        argv.insert(argv.end(), extra.begin(), extra.end());
        for (int i = 1; i <= slots; ++i) argv.insert(argv.end(), {"--slot", (home_ / ("tty" + std::to_string(i))).string()});
        EXPECT_EQ(Wait(Spawn(argv, {}, home_ / "job.out"), 30), 0) << Slurp(home_ / "job.out");
        station::Job job;
        std::string error;
        EXPECT_TRUE(station::ReadJob((home_ / "line.job").string(), job, error)) << error;
        return job.sha256;
    }
    void StartStation(const std::vector<std::string>& extra) {
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "station",
                                      (home_ / "line.job").string(), "--home", home_.string(), "--json"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        station_ = Spawn(argv, {}, home_ / "station.out", home_ / "station.err");
    }
    // How many lines of the station's output so far begin with `prefix`.
    int Count(const std::string& prefix) const {
        std::istringstream in(Slurp(home_ / "station.out"));
        int n = 0;
        for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0;
        return n;
    }
    static std::string SlotEvent(int slot, const std::string& state, const std::string& step) {
        return R"({"event":"slot","slot":")" + std::to_string(slot) + R"(","state":")" + state + R"(","step":")" + step + "\"";
    }
    static std::string VerdictOf(int slot) { return R"({"event":"verdict","slot":")" + std::to_string(slot) + "\""; }
    // Waits (at most `seconds`) until `Count(prefix)` reaches `n`.
    bool Await(const std::string& prefix, int n, int seconds = 30) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (Count(prefix) < n) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    std::vector<engine::UnitRecord> Records() {
        std::string error;
        auto db = records::OpenStore("", home_.string() + "/", false, error);
        std::vector<engine::UnitRecord> out;
        EXPECT_TRUE(db && records::SelectRecords(*db, {}, out, error)) << error;
        return out;
    }

    std::vector<pid_t> sims_;
    pid_t station_ = -1;
};

// Three slots, ten boards each, every board taken out once its verdict is
// out and the next put in once the slot waits again; slot 3's every third
// board fails its verify. --units 30 ends the run after the last verdict.
TEST_F(StationPty, ThreeSlotsProgramTenBoardsEachAndRecordEveryUnit) {
    StartSims(3);
    const std::string job_sha256 = WriteJob(3);
    StartStation({"--units", "30"});
    std::vector<int> put(3, 0);
    for (int round = 1; round <= 10; ++round) {
        for (int s = 1; s <= 3; ++s) {
            // The slot waits for a board (for the first, as it starts; then once the last has gone).
            ASSERT_TRUE(Await(SlotEvent(s, "WAITING", "waiting for a board"), round)) << Slurp(home_ / "station.out");
            Tell(s, s == 3 && round % 3 == 0 ? "insert --verify-fail 1" : "insert");
        }
        for (int s = 1; s <= 3; ++s) {
            ASSERT_TRUE(Await(VerdictOf(s), round)) << Slurp(home_ / "station.out");
            Tell(s, "remove");
        }
    }
    EXPECT_EQ(Wait(station_, 30), 0) << Slurp(home_ / "station.err");
    station_ = -1;
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"3","passed":false)"), 3);
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"1","passed":true)") + Count(R"({"event":"verdict","slot":"2","passed":true)"), 20);
    EXPECT_EQ(Count(R"({"event":"station","status":0,"units":30,"passed":27,"failed":3)"), 1);

    const std::vector<engine::UnitRecord> units = Records();
    ASSERT_EQ(units.size(), 30u);
    std::map<std::string, int> per_slot;
    int failed = 0;
    for (const engine::UnitRecord& r : units) {
        EXPECT_EQ(r.job_name, "line");
        EXPECT_EQ(r.job_sha256, job_sha256);
        EXPECT_EQ(r.operation, "full-operation");
        ++per_slot[r.slot];
        if (!r.passed) {
            ++failed;
            EXPECT_EQ(r.slot, "3");
            EXPECT_EQ(r.result_code, result::kProgramError);
        }
    }
    EXPECT_EQ(failed, 3);
    EXPECT_EQ(per_slot, (std::map<std::string, int>{{"1", 10}, {"2", 10}, {"3", 10}}));
}

// Serialization on a station: four slots, six boards each, every board's
// flash kept by its simulator; slot 2's second board fails, and its value
// goes to a later board. The 23 boards that passed hold SN-000001 to
// SN-000023, each once.
TEST_F(StationPty, FourSlotsGiveEveryBoardItsOwnSerialNumber) {
    constexpr int kSlots = 4, kRounds = 6;
    std::vector<std::string> dirs;
    for (int i = 1; i <= kSlots; ++i) dirs.push_back((home_ / ("boards" + std::to_string(i))).string());
    // One simulator per slot, each keeping its boards' flash in a folder of its own.
    for (int i = 1; i <= kSlots; ++i) {
        fs::create_directories(dirs[static_cast<std::size_t>(i - 1)]);
        const std::string n = std::to_string(i);
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                      (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--no-line-time",
                                      "--erase-ms", "0", "--blank-ms", "0", "--link", (home_ / ("tty" + n)).string(),
                                      "--control", (home_ / ("ctl" + n)).string(), "--empty", "--boards-dir",
                                      dirs[static_cast<std::size_t>(i - 1)]};
        sims_.push_back(Spawn(argv, {}, home_ / ("sim" + n + ".out")));
        for (int k = 0; k < 300 && !(fs::exists(home_ / ("tty" + n)) && fs::exists(home_ / ("ctl" + n))); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    WriteJob(kSlots, "probe", {"--patch", "0x81000:9:counter=1,enc=dec,prefix=SN-"});
    StartStation({"--units", std::to_string(kSlots * kRounds)});
    for (int round = 1; round <= kRounds; ++round) {
        for (int s = 1; s <= kSlots; ++s) {
            ASSERT_TRUE(Await(SlotEvent(s, "WAITING", "waiting for a board"), round)) << Slurp(home_ / "station.out");
            Tell(s, s == 2 && round == 2 ? "insert --verify-fail 1" : "insert");
        }
        for (int s = 1; s <= kSlots; ++s) {
            ASSERT_TRUE(Await(VerdictOf(s), round)) << Slurp(home_ / "station.out");
            Tell(s, "remove");
        }
    }
    EXPECT_EQ(Wait(station_, 30), 0) << Slurp(home_ / "station.err");
    station_ = -1;
    for (pid_t pid : sims_) kill(pid, SIGTERM), Wait(pid, 5);
    sims_.clear();
    // Every board's flash, read back: the value at 0x81000 of each passed one.
    std::multiset<std::string> on_boards;
    int boards = 0;
    for (const std::string& dir : dirs)
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().extension() != ".bin") continue;
            ++boards;
            const std::string flash = Slurp(e.path());
            ASSERT_GE(flash.size(), 0x1009u);
            if (flash[0x1000] != '\xFF') on_boards.insert(flash.substr(0x1000, 9));
        }
    EXPECT_EQ(boards, kSlots * kRounds);
    std::multiset<std::string> expected;
    for (int v = 1; v <= kSlots * kRounds - 1; ++v) {
        char text[16];
        std::snprintf(text, sizeof text, "SN-%06d", v);
        expected.insert(text);
    }
    EXPECT_EQ(on_boards, expected);
    // The verdicts name each board's value; the records find a unit by it.
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"2","passed":false)"), 1);
    EXPECT_EQ(Count(R"({"event":"station","status":0,"units":24,"passed":23,"failed":1)"), 1);
    std::string error;
    auto db = records::OpenStore("", home_.string() + "/", false, error);
    ASSERT_TRUE(db) << error;
    records::RecordFilter filter;
    filter.serial = "SN-000023";
    std::vector<engine::UnitRecord> found;
    ASSERT_TRUE(records::SelectRecords(*db, filter, found, error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].passed);
}

// Two slots whose chips take 100 ms a block: a board taken out in the middle
// of programming fails with the lost link and the next board passes; then
// SIGINT while both slots program: each stops at its next step, the run
// exits 0, and each stopped unit's record is whole and says it stopped.
TEST_F(StationPty, ABoardTakenOutFailsAndASignalStopsEverySlotAtItsNextStep) {
    StartSims(2, {"--program-ms", "100"});
    WriteJob(3);  // slot 3's port is not there: it says so and holds up no other slot
    StartStation({});
    ASSERT_TRUE(Await(SlotEvent(3, "WAITING", "port " + (home_ / "tty3").string() + " is not there"), 1))
        << Slurp(home_ / "station.out");
    const std::string programming = "Full Operation - Programming";
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", "waiting for a board"), 1));
    Tell(1, "insert");
    ASSERT_TRUE(Await(SlotEvent(1, "BUSY", programming), 1)) << Slurp(home_ / "station.out");
    Tell(1, "remove");
    ASSERT_TRUE(Await(VerdictOf(1), 1));
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"1","passed":false,"code":203,"text":"No.003 timeout error")"), 1)
        << Slurp(home_ / "station.out");
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", "waiting for a board"), 2));
    Tell(1, "insert");
    ASSERT_TRUE(Await(VerdictOf(1), 2));
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"1","passed":true)"), 1);

    Tell(1, "remove");
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", "waiting for a board"), 3));
    Tell(1, "insert");
    Tell(2, "insert");
    ASSERT_TRUE(Await(SlotEvent(1, "BUSY", programming), 2));
    ASSERT_TRUE(Await(SlotEvent(2, "BUSY", programming), 1));
    const auto signalled = std::chrono::steady_clock::now();
    kill(station_, SIGINT);
    EXPECT_EQ(Wait(station_, 20), 0) << Slurp(home_ / "station.err");
    station_ = -1;
    // The next step is the next block: no waiting out a time-out.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count(), 3.0);
    EXPECT_EQ(Count(SlotEvent(1, "STOPPED", "")), 1);
    EXPECT_EQ(Count(SlotEvent(2, "STOPPED", "")), 1);

    const std::vector<engine::UnitRecord> units = Records();
    ASSERT_EQ(units.size(), 4u);
    std::set<std::string> stopped;
    for (const engine::UnitRecord& r : units) {
        EXPECT_EQ(r.job_name, "line");
        EXPECT_LE(r.start_ms, r.end_ms);
        if (r.result_text.rfind("Stopped before the operation ended\r\n", 0) == 0) {
            EXPECT_FALSE(r.passed);
            EXPECT_LT(r.bytes_programmed, 0x1000);
            stopped.insert(r.slot);
        }
    }
    EXPECT_EQ(stopped, (std::set<std::string>{"1", "2"}));

    // The program file changed since the job was written: the job is
    // refused before any slot starts.
    WriteProgram(Pattern(0x80000, 0x800));
    StartStation({});
    EXPECT_EQ(Wait(station_, 20), 2);
    station_ = -1;
    EXPECT_NE(Slurp(home_ / "station.err").find("prog.mot changed since the job was written"), std::string::npos)
        << Slurp(home_ / "station.err");
    EXPECT_EQ(Slurp(home_ / "station.out"), "");
    EXPECT_EQ(Records().size(), 4u);
}

// Port detection: each board brings its own device; the slot programs it
// when it appears and waits for the next once it has gone.
TEST_F(StationPty, InPortDetectionEachBoardsOwnDeviceStartsIt) {
    StartSims(1, {"--hotplug"});
    WriteJob(1, "port");
    StartStation({"--units", "2"});
    const std::string waiting = "waiting for a board on port " + (home_ / "tty1").string();
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", waiting), 1)) << Slurp(home_ / "station.out");
    Tell(1, "insert");
    ASSERT_TRUE(Await(VerdictOf(1), 1));
    Tell(1, "remove");
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", waiting), 2)) << Slurp(home_ / "station.out");
    Tell(1, "insert");
    EXPECT_EQ(Wait(station_, 30), 0);
    station_ = -1;
    EXPECT_EQ(Count(R"({"event":"verdict","slot":"1","passed":true)"), 2) << Slurp(home_ / "station.out");
}

// The Station as the window drives it: one slot stopped in the middle of its
// board ends alone while the other goes on, and starts again alone.
TEST_F(StationPty, OneSlotStopsAndStartsAloneWhileTheOtherGoesOn) {
    StartSims(2, {"--program-ms", "100"});
    WriteJob(2);
    station::Job job;
    std::string error;
    ASSERT_TRUE(station::ReadJob((home_ / "line.job").string(), job, error)) << error;
    station::Station st(job, home_.string() + "/");
    auto until = [&](const std::function<bool(const station::StationView&)>& done) {
        for (int i = 0; i < 600; ++i) {
            if (done(st.Snapshot())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    auto state = [](const station::StationView& v, int slot) { return v.slots[static_cast<std::size_t>(slot)].state; };
    st.StartAll();
    Tell(1, "insert");
    Tell(2, "insert");
    ASSERT_TRUE(until([&](const auto& v) { return v.slots[0].step == "Full Operation - Programming"; }));
    st.Stop(0);
    ASSERT_TRUE(until([&](const auto& v) { return state(v, 0) == station::SlotState::kStopped; }));
    EXPECT_FALSE(st.AllStopped());
    ASSERT_TRUE(until([&](const auto& v) { return v.slots[1].passed == 1; }));
    Tell(1, "remove");
    Tell(1, "insert");
    st.Start(0);
    ASSERT_TRUE(until([&](const auto& v) { return v.slots[0].passed == 1; }));
    const station::StationView v = st.Snapshot();
    EXPECT_EQ(v.slots[0].failed, 1);  // the stopped unit
    EXPECT_EQ(v.passed, 2);
    std::vector<station::Verdict> verdicts = st.TakeVerdicts();
    ASSERT_EQ(verdicts.size(), 3u);
    EXPECT_EQ(verdicts[0].slot, 0);
    EXPECT_EQ(verdicts[0].text.rfind("stopped before the end", 0), 0u) << verdicts[0].text;
    st.StopAll();
    ASSERT_TRUE(until([&](const auto&) { return st.AllStopped(); }));
}

// A program file changed while the station runs: the next board gets
// nothing, the slot ends naming the change, and the station says so.
TEST_F(StationPty, AProgramFileChangedWhileTheStationRunsIsNotSent) {
    StartSims(1);
    WriteJob(1);
    StartStation({});
    Tell(1, "insert");
    ASSERT_TRUE(Await(VerdictOf(1), 1)) << Slurp(home_ / "station.out");
    Tell(1, "remove");
    ASSERT_TRUE(Await(SlotEvent(1, "WAITING", "waiting for a board"), 1)) << Slurp(home_ / "station.out");
    WriteProgram(Pattern(0x80000, 0x1001));
    Tell(1, "insert");
    EXPECT_EQ(Wait(station_, 30), 2);
    station_ = -1;
    EXPECT_EQ(Count(VerdictOf(1)), 1) << Slurp(home_ / "station.out");
    EXPECT_NE(Slurp(home_ / "station.err").find("changed since the job was written"), std::string::npos)
        << Slurp(home_ / "station.err");
    EXPECT_EQ(Records().size(), 1u);
}

// Two stations, two processes sharing one PostgreSQL store and one counter
// rule, 5 slots x 10 boards each, every seventh board failing: the 100
// boards' values, read back from every simulated flash, are all different.
TEST_F(StationPty, TwoStationsOnOneServerNeverGiveAValueTwice) {
    if (!Server().Ready()) GTEST_SKIP() << "no PostgreSQL server could be started (package postgresql)";
    constexpr int kSlots = 5, kRounds = 10;
    const std::string rule = "0x81000:9:counter=1,enc=dec,prefix=SN-,name=two-stations";
    const std::string names[] = {"A", "B"};
    WriteProgram(Pattern(0x80000, 0x1000));
    std::vector<pid_t> stations;
    for (const std::string& st : names) {
        std::vector<std::string> job{std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "job", "new",
                                     (home_ / (st + ".job")).string(), "--home", home_.string(), "--target", "TQ4A01",
                                     "--program", (home_ / "prog.mot").string(), "--records", Server().Conninfo(),
                                     "--patch", rule};
        for (int i = 1; i <= kSlots; ++i) {
            const std::string n = st + std::to_string(i);
            fs::create_directories(home_ / ("boards" + n));
            sims_.push_back(Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                   (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--no-line-time",
                                   "--erase-ms", "0", "--blank-ms", "0", "--link", (home_ / ("tty" + n)).string(),
                                   "--control", (home_ / ("ctl" + n)).string(), "--empty", "--boards-dir",
                                   (home_ / ("boards" + n)).string()},
                                  {}, home_ / ("sim" + n + ".out")));
            for (int k = 0; k < 300 && !(fs::exists(home_ / ("tty" + n)) && fs::exists(home_ / ("ctl" + n))); ++k)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            job.insert(job.end(), {"--slot", (home_ / ("tty" + n)).string()});
        }
        ASSERT_EQ(Wait(Spawn(job, {}, home_ / "job.out"), 30), 0) << Slurp(home_ / "job.out");
        stations.push_back(Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "station",
                                  (home_ / (st + ".job")).string(), "--home", home_.string(), "--json", "--units",
                                  std::to_string(kSlots * kRounds)},
                                 {}, home_ / (st + ".out"), home_ / (st + ".err")));
    }
    auto count = [&](const std::string& st, const std::string& prefix) {
        std::istringstream in(Slurp(home_ / (st + ".out")));
        int n = 0;
        for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0;
        return n;
    };
    auto await = [&](const std::string& st, const std::string& prefix, int n) {
        for (int i = 0; i < 1500 && count(st, prefix) < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return count(st, prefix) >= n;
    };
    auto tell = [&](const std::string& n, const std::string& line) {
        const int fd = open((home_ / ("ctl" + n)).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string text = line + "\n";
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    };
    int board = 0;
    for (int round = 1; round <= kRounds; ++round) {
        for (const std::string& st : names)
            for (int s = 1; s <= kSlots; ++s) {
                ASSERT_TRUE(await(st, SlotEvent(s, "WAITING", "waiting for a board"), round)) << Slurp(home_ / (st + ".out"));
                tell(st + std::to_string(s), ++board % 7 == 0 ? "insert --verify-fail 1" : "insert");
            }
        for (const std::string& st : names)
            for (int s = 1; s <= kSlots; ++s) {
                ASSERT_TRUE(await(st, VerdictOf(s), round)) << Slurp(home_ / (st + ".out"));
                tell(st + std::to_string(s), "remove");
            }
    }
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(Wait(stations[i], 60), 0) << Slurp(home_ / (names[i] + ".err"));
    for (pid_t pid : sims_) kill(pid, SIGTERM), Wait(pid, 5);
    sims_.clear();
    std::multiset<std::string> values;
    int boards = 0, passed = 0;
    for (const std::string& st : names)
        for (int s = 1; s <= kSlots; ++s)
            for (const auto& e : fs::directory_iterator(home_ / ("boards" + st + std::to_string(s)))) {
                if (e.path().extension() != ".bin") continue;
                ++boards;
                const std::string flash = Slurp(e.path());
                ASSERT_GE(flash.size(), 0x1009u);
                if (flash[0x1000] != '\xFF') values.insert(flash.substr(0x1000, 9));
            }
    // Each passed board holds its own value; the failed boards' values went
    // back and on to later boards, so none lies beyond the boards' count.
    for (const std::string& st : names)
        for (int s = 1; s <= kSlots; ++s)
            passed += count(st, R"({"event":"verdict","slot":")" + std::to_string(s) + R"(","passed":true)");
    EXPECT_EQ(boards, 2 * kSlots * kRounds);
    EXPECT_EQ(passed, 2 * kSlots * kRounds - 2 * kSlots * kRounds / 7);
    EXPECT_EQ(static_cast<int>(values.size()), passed);
    EXPECT_EQ(std::set<std::string>(values.begin(), values.end()).size(), values.size()) << "a value given twice";
    for (const std::string& v : values) EXPECT_TRUE(v >= "SN-000001" && v <= "SN-000100") << v;
}

}  // namespace
}  // namespace mirelle::testing

