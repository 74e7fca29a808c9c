// A board whose reset is wired to DTR and RTS, driven through a flash session
// on the in-process line: the boot-entry sequence (from the front end or the
// chip's CHIPDEF.INI section) takes the place of the reset prompt, a wrong one
// leaves the chip in its own program, and the exit sequence follows the last
// operation.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "chipsim/chip.h"
#include "chipsim/chip_config.h"
#include "chipsim/sim_port.h"
#include "engine/flash_session.h"
#include "platform/clock.h"
#include "support/program_folder.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr const char* kWiring = "D1 R1 W100 D0 W50 R0";

struct Recorder : engine::Events {
    int questions = 0;
    std::vector<int> reports;
    bool Ask(engine::Question, const std::string&, const std::string&) override {
        ++questions;
        return true;
    }
    void Reported(const engine::ResultReport& r) override { reports.push_back(r.code); }
};

class BootSequence : public ProgramFolderTest {
protected:
    BootSequence() : ProgramFolderTest("mirelle-boot-") {}

    // A TQ4A08 board wired as `wiring` ("" for none) with `chip_key` lines in
    // its CHIPDEF.INI section, and a session whose front end gives `before`.
    void MakeBoard(const std::string& wiring, const std::string& chip_keys, std::optional<std::string> before,
                   std::optional<std::string> after = std::nullopt) {
        const std::string dir = Dir();
        Write(dir + "CHIPDEF.INI",
              "[TQ4A08]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
              "EndAddress=0x8FFFF\r\nFlashSize=64\r\nClock=20MHz\r\nBaud=57600\r\n" + chip_keys);
        Write(dir + "cp.bin", std::string(128, '\x5A'));
        Write(dir + "prog.mot", "S0030000FC\r\n" + testing::SRecordOf('3', 0x80000, kData) + "\r\nS70500000000FA\r\n");
        chipsim::ChipConfig config;
        std::string error;
        ASSERT_TRUE(chipsim::ConfigFromChipDefinition(dir + "CHIPDEF.INI", "TQ4A08", 0, config, error)) << error;
        ASSERT_TRUE(serial::ParseLineSequence(wiring, config.boot_entry, error)) << error;
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        session = std::make_unique<engine::FlashSession>(events);
        session->SetProgramDir(dir);
        session->SetPortOpener(line->Opener());
        session->SetClock(&clock);
        session->m_bCommandLine = true;
        session->m_bUseReset = true;  // a prompt would be asked without a sequence
        session->SetBootSequences(std::move(before), std::move(after));
        session->SelectTarget("TQ4A08");
        session->m_strProgramFile = dir + "prog.mot";
    }
    static void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    int LineCalls() const {
        int n = 0;
        for (const auto& e : line->Events())
            n += e.kind == chipsim::LineEvent::Kind::Dtr || e.kind == chipsim::LineEvent::Kind::Rts ||
                 e.kind == chipsim::LineEvent::Kind::Break;
        return n;
    }
    bool Programmed() const { return chip->GetFlash().Image()[0] == kData[0] && chip->GetFlash().Image()[3] == kData[3]; }

    const Bytes kData = {0x12, 0x34, 0x56, 0x78};
    VirtualClock clock;
    Recorder events;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    std::unique_ptr<engine::FlashSession> session;  // declared last: closes its port before the line goes
};

TEST_F(BootSequence, SequenceReplacesThePromptOrFailsAsASilentBootRom) {
    const struct {
        const char* name;
        const char* wiring;
        std::string chip_keys;
        std::optional<std::string> before;
        int code;        // the Full Operation's result
        int questions;   // reset prompts asked
        int line_calls;
    } rows[] = {
        {"given", kWiring, "", kWiring, result::kFullOperationDone, 0, 4},
        {"from CHIPDEF.INI", kWiring, std::string("BootEntry=") + kWiring + "\r\n", std::nullopt,
         result::kFullOperationDone, 0, 4},
        {"wrong sequence", kWiring, "", "D1 W100 D0", result::kTimeout, 0, 2},
        {"given empty over the key", "", "BootEntry=D1 D0\r\n", "", result::kFullOperationDone, 1, 0},
        {"none, as before", "", "", std::nullopt, result::kFullOperationDone, 1, 0},
        {"unreadable key", "", "BootEntry=D1 Q5\r\n", std::nullopt, result::kCannotChangePortSettings, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        events = Recorder{};
        MakeBoard(row.wiring, row.chip_keys, row.before);
        EXPECT_EQ(session->RunFullOperation().code, row.code);
        EXPECT_EQ(events.questions, row.questions);
        EXPECT_EQ(LineCalls(), row.line_calls);
        EXPECT_EQ(Programmed(), row.code == result::kFullOperationDone);
        session.reset();
    }
}

TEST_F(BootSequence, PortWithoutLineControlStopsBeforeAnythingIsSent) {
    MakeBoard(kWiring, "", kWiring);
    line->SetLineControl(false);
    EXPECT_EQ(session->RunFullOperation().code, result::kCannotChangePortSettings);
    EXPECT_TRUE(line->Written().empty());
    EXPECT_FALSE(line->IsOpen());
}

TEST_F(BootSequence, ExitSequenceFollowsTheLastOperationOnTheClock) {
    MakeBoard(kWiring, "BootExit=R0 D1 W100 D0\r\n", kWiring);
    ASSERT_EQ(session->RunFullOperation().code, result::kFullOperationDone);
    std::vector<std::string> calls;
    for (const auto& e : line->Events())
        if (e.kind == chipsim::LineEvent::Kind::Dtr || e.kind == chipsim::LineEvent::Kind::Rts)
            calls.push_back(std::string(e.kind == chipsim::LineEvent::Kind::Dtr ? "D" : "R") + (e.on ? "1" : "0"));
    EXPECT_EQ(calls, (std::vector<std::string>{"D1", "R1", "D0", "R0", "R0", "D1", "D0"}));
    const auto& events = line->Events();
    EXPECT_EQ(events.back().time_ms - events[events.size() - 2].time_ms, 100u);
    // The program written was verified before the board was started.
    EXPECT_TRUE(Programmed());
}

TEST_F(BootSequence, ExitSequenceThatCannotRunMakesTheRunFail) {
    MakeBoard("", "BootExit=D1 W100 D0\r\n", std::nullopt);
    line->SetLineControl(false);
    EXPECT_EQ(session->RunFullOperation().code, result::kCannotChangePortSettings);
    EXPECT_FALSE(session->FullOperationDone());
}

}  // namespace
}  // namespace mirelle::test
