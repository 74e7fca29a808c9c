// Flash sessions driven directly, step by step: two in one process, each
// with its own in-process chip, program folder and program file, where
// nothing of one (port, image, chip data, result log, events) may show in
// the other; and one stopped by a signal between two blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "chipsim/chip.h"
#include "chipsim/chip_config.h"
#include "chipsim/sim_port.h"
#include "engine/flash_session.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "support/program_folder.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What a session told its front end.
struct Recorder : engine::Events {
    std::vector<std::string> steps;
    std::vector<int> reports;
    std::function<void()> on_cancel_poll;  // called where a person's press is looked for
    void StepBegins(const std::string& text) override { steps.push_back(text); }
    bool HasProgress() const override { return static_cast<bool>(on_cancel_poll); }
    bool CancelRequested() override {
        if (on_cancel_poll) on_cancel_poll();
        return false;
    }
    void Reported(const engine::ResultReport& r) override { reports.push_back(r.code); }
};

// One board: its folder, chip, line and session.
struct Board {
    Board(const std::string& dir, const Bytes& data, VirtualClock& clock) {
        std::filesystem::create_directories(dir);
        Write(dir + "CHIPDEF.INI",
              "[TQ4A08]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
              "EndAddress=0x8FFFF\r\nFlashSize=64\r\nClock=20MHz\r\nBaud=57600\r\n");
        Write(dir + "cp.bin", std::string(128, '\x5A'));
        std::string text = "S0030000FC\r\n";
        for (std::size_t at = 0; at < data.size(); at += 32)
            text += testing::SRecordOf('3', 0x80000 + static_cast<std::uint32_t>(at),
                                       Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + 32))) +
                    "\r\n";
        Write(dir + "prog.mot", text + "S70500000000FA\r\n");

        chipsim::ChipConfig config;
        std::string error;
        EXPECT_TRUE(chipsim::ConfigFromChipDefinition(dir + "CHIPDEF.INI", "TQ4A08", 0, config, error)) << error;
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        session.SetProgramDir(dir);
        session.SetPortOpener(line->Opener());
        session.SetClock(&clock);
        session.m_bCommandLine = true;
        session.m_bUseReset = false;
        session.SelectTarget("TQ4A08");
        session.m_strProgramFile = dir + "prog.mot";
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    Recorder events;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    engine::FlashSession session{events};  // closes its port before the line goes
};

class TwoSessions : public ProgramFolderTest {
protected:
    TwoSessions() : ProgramFolderTest("mirelle-two-") {}
    VirtualClock clock;
};

TEST_F(TwoSessions, EachChipHoldsItsOwnImage) {
    Bytes first(1500), second(700);
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    Board a(Dir() + "a/", first, clock);
    Board b(Dir() + "b/", second, clock);

    // Each step on both boards before the next: both ports are open at once.
    for (Board* board : {&a, &b}) EXPECT_TRUE(board->session.Download().Succeeded());
    EXPECT_TRUE(a.session.PortOpen() && b.session.PortOpen());
    EXPECT_TRUE(a.line->IsOpen() && b.line->IsOpen());
    for (Board* board : {&a, &b}) EXPECT_EQ(board->session.Program().code, result::kProgrammed);
    for (Board* board : {&a, &b}) EXPECT_EQ(board->session.Compare().code, result::kIdentical);

    const struct {
        Board& board;
        const Bytes& data;
    } expected[] = {{a, first}, {b, second}};
    for (const auto& e : expected) {
        const chipsim::Flash& flash = e.board.chip->GetFlash();
        Bytes whole(flash.Size(), 0xFF);  // the rest of the area stays erased
        std::copy(e.data.begin(), e.data.end(), whole.begin());
        EXPECT_EQ(flash.Image(), whole);
        EXPECT_EQ(e.board.events.reports,
                  (std::vector<int>{result::kDownloaded, result::kProgrammed, result::kIdentical}));
    }
    // Each result log is its own session's, in its own folder.
    EXPECT_EQ(a.session.ResultLogPath(), Dir() + "a/MESSFILE.TXT");
    EXPECT_EQ(b.session.ResultLogPath(), Dir() + "b/MESSFILE.TXT");

    // A failure on one board leaves the other's link alone.
    a.chip->GetFlash().Store(0x80000, Bytes{0x00});
    EXPECT_EQ(a.session.Compare().code, result::kDifference);
    EXPECT_EQ(b.session.Compare().code, result::kIdentical);
    EXPECT_TRUE(b.session.PortOpen());
    EXPECT_NE(ReadFile("a/MESSFILE.TXT"), ReadFile("b/MESSFILE.TXT"));
}

// A signal between two blocks of a Read & Compare or a Copy: the log names
// the signal first, then what the cut-short step said, and never the
// download's success that came before as if it were the last word.
TEST_F(TwoSessions, AStopBetweenBlocksLeavesOnlyItsCauseInTheLog) {
    for (const bool copy : {false, true}) {
        Board a(Dir() + (copy ? "copy/" : "compare/"), Bytes(3000, 0x11), clock);
        a.chip->GetFlash().Store(0x80000, Bytes(3000, 0x11));  // as programmed: nothing differs
        ASSERT_TRUE(a.session.Download().Succeeded());
        // The second look for a press is in the wait for the first block's
        // status: the step ends there without a report of its own.
        int polls = 0;
        a.events.on_cancel_poll = [&] {
            if (++polls == 2) sys::SetInterruptSignal(SIGINT);
        };
        if (copy)
            a.session.Copy(Dir() + "copy/out.mot", false);
        else
            a.session.Compare();
        a.session.CloseComPort();
        a.session.EndRun(sys::InterruptSignal());
        sys::SetInterruptSignal(0);
        const std::string log = ReadFile(copy ? "copy/MESSFILE.TXT" : "compare/MESSFILE.TXT");
        EXPECT_EQ(log.substr(0, 38), "NG\r\nInterrupted by signal 2 (SIGINT)\r\n") << log;
        EXPECT_EQ(log.find("transferred"), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace mirelle::test
