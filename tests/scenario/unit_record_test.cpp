// The unit record a session leaves: one per command (or per run around
// several commands), with the operation, its phases, the bytes, the retries
// and the result exactly as the result log has it, for each way a command
// can end.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chipsim/chip.h"
#include "chipsim/chip_config.h"
#include "chipsim/sim_port.h"
#include "engine/flash_session.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "records/record_sink.h"
#include "records/record_store.h"
#include "support/program_folder.h"
#include "support/program_lines.h"
#include "texts/result_codes.h"

namespace mirelle::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct KeepingSink : engine::RecordSink {
    std::vector<engine::UnitRecord> kept;
    std::string refuse;  // non-empty: every write fails with it
    std::string Write(engine::UnitRecord& r) override {
        if (refuse.empty()) kept.push_back(r);
        return refuse;
    }
};

struct Events : engine::Events {
    int cancel_after = -1;  // polls before a cancel request; -1: never
    std::vector<std::string> problems;
    std::function<void()> on_progress;  // at every move of the progress
    void ProgressPosition(int) override {
        if (on_progress) on_progress();
    }
    void ProgressStep() override {
        if (on_progress) on_progress();
    }
    bool HasProgress() const override { return true; }
    bool CancelRequested() override { return cancel_after >= 0 && cancel_after-- == 0; }
    void RecordProblem(const std::string& text) override { problems.push_back(text); }
};

class UnitRecord : public ProgramFolderTest {
protected:
    UnitRecord() : ProgramFolderTest("mirelle-record-") {}

    // A chip with `faults` and a 1500-byte program file; the session ready.
    void Make(const chipsim::Faults& faults) {
        const std::string dir = Dir();
        std::ofstream(dir + "CHIPDEF.INI", std::ios::binary)
            << "[TQ4A08]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
               "EndAddress=0x8FFFF\r\nFlashSize=64\r\nClock=20MHz\r\nBaud=57600\r\n";
        std::ofstream(dir + "cp.bin", std::ios::binary) << std::string(128, '\x5A');
        Bytes data(1500);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        std::string text = "S0030000FC\r\n";
        for (std::size_t at = 0; at < data.size(); at += 32)
            text += testing::SRecordOf('3', 0x80000 + static_cast<std::uint32_t>(at),
                                       Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + 32))) +
                    "\r\n";
        std::ofstream(dir + "prog.mot", std::ios::binary) << text << "S70500000000FA\r\n";
        chipsim::ChipConfig config;
        std::string error;
        ASSERT_TRUE(chipsim::ConfigFromChipDefinition(dir + "CHIPDEF.INI", "TQ4A08", 0, config, error)) << error;
        config.faults = faults;
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        session = std::make_unique<engine::FlashSession>(events);
        session->SetProgramDir(dir);
        session->SetPortOpener(line->Opener());
        session->SetClock(&clock);
        session->m_bCommandLine = true;
        session->m_bUseReset = false;
        session->SelectTarget("TQ4A08");
        session->m_strProgramFile = dir + "prog.mot";
        session->SetRecordSink(&sink);
    }

    VirtualClock clock;
    Events events;
    KeepingSink sink;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    std::unique_ptr<engine::FlashSession> session;
};

struct Case {
    const char* name;
    std::function<void(chipsim::Faults&)> faults;
    int cancel_after;
    // The command as a front end runs it; the exit status it hands to EndRun.
    std::function<void(engine::FlashSession&)> run;
    const char* operation;
    bool passed;
    int code;
    long long bytes;
    int crc_retries;
    std::vector<int> phases;  // the phases that ran
};

TEST_F(UnitRecord, EachCommandLeavesOneRecordOfHowItEnded) {
    using engine::FlashSession;
    auto none = [](chipsim::Faults&) {};
    auto run_cli = [](std::function<void(FlashSession&)> body) {
        return [body](FlashSession& s) {
            s.BeginRun();
            body(s);
            s.EndRun(0, s.LastResult().Succeeded() ? 0 : 1);
        };
    };
    const std::vector<Case> cases = {
        {"full operation", none, -1, [](FlashSession& s) { s.RunFullOperation(); }, "full-operation", true,
         result::kFullOperationDone, 1536, 0,
         {engine::kPhaseDownload, engine::kPhaseQuickBlank, engine::kPhaseProgramVerify}},
        {"verify failure", [](chipsim::Faults& f) { f.verify_fail_block = chipsim::BlockRef::Nth(2); }, -1,
         [](FlashSession& s) { s.RunFullOperation(); }, "full-operation", false, result::kProgramError, 512, 0,
         {engine::kPhaseDownload, engine::kPhaseQuickBlank, engine::kPhaseProgramVerify}},
        {"bad CRC stops a command-line run", [](chipsim::Faults& f) { f.crc_error_block = chipsim::BlockRef::Nth(1); },
         -1, [](FlashSession& s) { s.RunFullOperation(); }, "full-operation", false, 1, 0, 1,
         {engine::kPhaseDownload, engine::kPhaseQuickBlank, engine::kPhaseProgramVerify}},
        {"chip silent: time-out", [](chipsim::Faults& f) { f.silent_from = chipsim::StepMatch{}; }, -1,
         [](FlashSession& s) { s.RunFullOperation(); }, "full-operation", false, -2, 0, 0, {engine::kPhaseDownload}},
        {"cancelled while programming", none, 3, [](FlashSession& s) { s.RunFullOperation(); }, "full-operation",
         false, -2, 512, 0, {engine::kPhaseDownload, engine::kPhaseQuickBlank, engine::kPhaseProgramVerify}},
        {"download and erase in one run", none, -1, run_cli([](FlashSession& s) {
             s.Download();
             s.Erase();
         }),
         "erase", true, result::kErased, 0, 0, {engine::kPhaseDownload, engine::kPhaseErase}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chipsim::Faults faults;
        c.faults(faults);
        sink.kept.clear();
        Make(faults);
        events.cancel_after = c.cancel_after;
        c.run(*session);
        ASSERT_EQ(sink.kept.size(), 1u);
        const engine::UnitRecord& r = sink.kept[0];
        EXPECT_EQ(r.operation, c.operation);
        EXPECT_EQ(r.passed, c.passed);
        if (c.code != -2) {
            EXPECT_EQ(r.result_code, c.code);
        }
        // The text is the report as the result log holds it.
        EXPECT_EQ(r.result_text, session->LastResult().message);
        EXPECT_EQ(r.bytes_programmed, c.bytes);
        EXPECT_EQ(r.crc_retries, c.crc_retries);
        for (int p = 0; p < engine::kPhaseCount; ++p) {
            const bool ran = std::find(c.phases.begin(), c.phases.end(), p) != c.phases.end();
            EXPECT_EQ(r.phase_ms[static_cast<std::size_t>(p)] >= 0, ran) << engine::PhaseColumn(p);
        }
        EXPECT_EQ(r.target, "TQ4A08");
        EXPECT_EQ(r.port, "COM1");
        EXPECT_LE(r.start_ms, r.end_ms);
        session.reset();
    }
}

TEST_F(UnitRecord, ASignalIsRecordedAsTheLogSaysIt) {
    Make({});
    session->BeginRun();
    sys::SetInterruptSignal(SIGTERM);
    session->FullOperation();
    session->CloseComPort();
    session->EndRun(SIGTERM, 6);
    sys::SetInterruptSignal(0);
    ASSERT_EQ(sink.kept.size(), 1u);
    EXPECT_FALSE(sink.kept[0].passed);
    EXPECT_EQ(sink.kept[0].exit_status, 6);
    EXPECT_EQ(sink.kept[0].result_text.rfind("Interrupted by signal 15 (SIGTERM)\r\n", 0), 0u) << sink.kept[0].result_text;
}

// A station stops one session alone through its stop flag: the unit ends at
// its next step without waiting out a time-out, and its record says so.
TEST_F(UnitRecord, AStoppedSessionEndsAtItsNextStepAndItsRecordSaysSo) {
    struct StopCase {
        const char* name;
        bool silent_chip;   // the boot ROM never answers: only the stop ends the wait
        int stop_at_move;   // the progress move at which the flag is set
        long long max_bytes;
        std::uint32_t max_ms;  // from the stop to the end
    };
    // The download's 2.5 s pause comes after the first moves; a silent
    // chip's 1 s wait for the sync's answer is not waited out.
    const StopCase cases[] = {
        {"in the download, on a silent chip", true, 1, 0, 2900},
        {"in the download", false, 1, 0, 3500},
        {"after the first programmed block", false, 9, 512, 500},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        chipsim::Faults faults;
        if (c.silent_chip) faults.silent_from = chipsim::StepMatch{chipsim::StepKind::Any, 1};
        sink.kept.clear();
        Make(faults);
        std::atomic<bool> stop{false};
        session->SetStopFlag(&stop);
        int moves = 0;
        std::uint32_t stopped_at = 0;
        events.on_progress = [&] {
            if (++moves == c.stop_at_move) stop = true, stopped_at = clock.TickMs();
        };
        session->RunFullOperation();
        events.on_progress = nullptr;
        EXPECT_FALSE(session->FullOperationDone());
        ASSERT_EQ(sink.kept.size(), 1u);
        const engine::UnitRecord& r = sink.kept[0];
        EXPECT_FALSE(r.passed);
        EXPECT_EQ(r.result_text.rfind("Stopped before the operation ended\r\n", 0), 0u) << r.result_text;
        EXPECT_LE(r.bytes_programmed, c.max_bytes);
        EXPECT_LT(clock.TickMs() - stopped_at, c.max_ms);
        session.reset();
    }
}

TEST_F(UnitRecord, ARunThatStartsNoCommandLeavesNoRecord) {
    Make({});
    session->BeginRun();
    session->ImageChecksum(0xFF);
    session->EndRun(0, 0);
    EXPECT_TRUE(sink.kept.empty());
}

TEST_F(UnitRecord, ARecordNotKeptIsToldOnceAndTheVerdictStands) {
    Make({});
    sink.refuse = "disk full";
    EXPECT_TRUE(session->RunFullOperation().Succeeded());
    std::ifstream log(Dir() + "MESSFILE.TXT", std::ios::binary);
    std::string first;
    std::getline(log, first);
    EXPECT_EQ(first, "OK");
    EXPECT_TRUE(session->Download().Succeeded());
    EXPECT_EQ(events.problems, std::vector<std::string>{"disk full"});
}

// The store round trip: what is written comes back field for field, and the
// same id twice stays one row.
TEST_F(UnitRecord, TheStoreKeepsEveryFieldAndEachIdOnce) {
    if (!records::SqliteAvailable()) GTEST_SKIP() << "this build keeps no records";
    Make({});
    settings::RecordsSettings settings;
    settings.station = "line-3";
    settings.operator_name = "kim";
    records::StoreSink store(Dir(), settings);
    session->SetRecordSink(&store);
    session->m_strRecordSlot = "2";
    session->RunFullOperation();
    std::string error;
    auto db = records::OpenStore("", Dir(), false, error);
    ASSERT_TRUE(db) << error;
    std::vector<engine::UnitRecord> rows;
    ASSERT_TRUE(records::SelectRecords(*db, {}, rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(records::InsertRecord(*db, rows[0], error)) << error;
    long long count = 0;
    ASSERT_TRUE(records::CountRecords(*db, {}, count, error));
    EXPECT_EQ(count, 1);
    const engine::UnitRecord& r = rows[0];
    EXPECT_EQ(r.id.size(), 32u);
    EXPECT_EQ(r.station, "line-3");
    EXPECT_EQ(r.operator_name, "kim");
    EXPECT_EQ(r.slot, "2");
    EXPECT_EQ(r.program_sha256.size(), 64u);
    EXPECT_EQ(r.program_size, static_cast<long long>(std::filesystem::file_size(Dir() + "prog.mot")));
    EXPECT_EQ(r.bytes_programmed, 1536);
    EXPECT_EQ(r.result_code, result::kFullOperationDone);
    EXPECT_TRUE(r.passed);
    EXPECT_EQ(r.result_text, session->LastResult().message);
    EXPECT_EQ(r.job_name, "");
    EXPECT_EQ(r.serial_number, "");
}

// A program folder whose name is not ASCII: the store is the file of that
// UTF-8 name (not one of a mangled name beside it), in WAL mode so that gang
// children write at once.
TEST_F(UnitRecord, TheStoreLivesInAFolderOfAnyNameInWalMode) {
    if (!records::SqliteAvailable()) GTEST_SKIP() << "this build keeps no records";
    Make({});
    const std::string name = "Pr\xC3\xBC" "fplatz 3 \xE6\x97\xA5";  // "Prüfplatz 3 日"
    const std::filesystem::path folder =
        std::filesystem::path(Dir()) / std::u8string(reinterpret_cast<const char8_t*>(name.c_str()));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string home = Dir() + name + "/";
    records::StoreSink store(home, {});
    session->SetRecordSink(&store);
    session->RunFullOperation();
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "records.db"));
    std::string error;
    auto db = records::OpenStore("", home, false, error);
    ASSERT_TRUE(db) << error;
    long long count = 0;
    ASSERT_TRUE(records::CountRecords(*db, {}, count, error)) << error;
    EXPECT_EQ(count, 1);
    std::vector<records::Row> mode;
    ASSERT_TRUE(db->Run("PRAGMA journal_mode", {}, &mode, error)) << error;
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].at(0), std::optional<std::string>("wal"));
}

}  // namespace
}  // namespace mirelle::test
