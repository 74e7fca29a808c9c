// How a station slot sees its board, against the in-process chip: the probe
// finds a board in boot mode with the sync alone; after a download the
// control program answers the still-there request on the port the session
// hands back; a chip that answers nothing is silent to both.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "chipsim/chip.h"
#include "chipsim/chip_config.h"
#include "chipsim/sim_port.h"
#include "engine/flash_session.h"
#include "platform/clock.h"
#include "station/board_detection.h"
#include "support/program_folder.h"

namespace mirelle::test {
namespace {

using station::Answer;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBoot = 57600, kWork = 115200;

class StationDetection : public ProgramFolderTest {
protected:
    StationDetection() : ProgramFolderTest("mirelle-detect-") {}

    void Make(const chipsim::Faults& faults) {
        std::ofstream(Dir() + "CHIPDEF.INI", std::ios::binary)
            << "[TQ4A08]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
               "EndAddress=0x8FFFF\r\nFlashSize=64\r\nClock=20MHz\r\nBaud=57600\r\nBaud2=115200\r\n";
        std::ofstream(Dir() + "cp.bin", std::ios::binary) << std::string(64, '\x5A');
        chipsim::ChipConfig config;
        std::string error;
        ASSERT_TRUE(chipsim::ConfigFromChipDefinition(Dir() + "CHIPDEF.INI", "TQ4A08", 0, config, error)) << error;
        config.faults = faults;
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
    }
    std::unique_ptr<serial::Port> Open(std::uint32_t baud) {
        std::unique_ptr<serial::Port> port;
        EXPECT_EQ(line->Open("/dev/ttyX", 0, baud, port), serial::PortResult::Ok);
        return port;
    }
    // What the host sent since the records were cleared.
    Bytes Sent() const { return line->Written(); }

    VirtualClock clock;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
};

TEST_F(StationDetection, TheProbeFindsABootRomWithTheSyncAlone) {
    Make({});
    auto port = Open(kBoot);
    line->ClearRecords();
    EXPECT_EQ(station::ProbeBootRom(*port, kBoot), Answer::kAnswered);
    EXPECT_EQ(Sent(), Bytes{0x18});
    // The boot ROM listens at the boot rate only: the control program's
    // request goes unanswered.
    const auto request = station::StillThereFrame(protocol::TargetFamily::First, 0x80000, 0x8FFFF);
    EXPECT_EQ(station::ControlProgramAnswers(*port, kWork, request), Answer::kSilent);
}

TEST_F(StationDetection, AfterTheDownloadTheControlProgramAnswersOnTheHandedBackPort) {
    Make({});
    engine::Events events;
    engine::FlashSession session(events);
    session.SetProgramDir(Dir());
    session.SetPortOpener(line->Opener());
    session.SetClock(&clock);
    session.m_bCommandLine = true;
    session.m_bUseReset = false;
    session.SelectTarget("TQ4A08");
    ASSERT_TRUE(session.Download().Succeeded());
    std::unique_ptr<serial::Port> port = session.TakePort();
    ASSERT_TRUE(port);
    EXPECT_FALSE(session.PortOpen());
    line->ClearRecords();
    const auto request = station::StillThereFrame(protocol::TargetFamily::First, 0x80000, 0x8FFFF);
    EXPECT_EQ(station::ControlProgramAnswers(*port, kWork, request), Answer::kAnswered);
    EXPECT_EQ(Sent(), (Bytes{0x39, 0x11, 0x22, 0x33, 0x44}));
    // Its whole answer was taken: the next request is answered afresh.
    EXPECT_EQ(station::ControlProgramAnswers(*port, kWork, request), Answer::kAnswered);
    EXPECT_EQ(station::ProbeBootRom(*port, kBoot, true), Answer::kSilent);
}

TEST_F(StationDetection, ASilentBoardAnswersNeither) {
    chipsim::Faults faults;
    faults.silent_from = chipsim::StepMatch{chipsim::StepKind::Any, 1};
    Make(faults);
    auto port = Open(kBoot);
    const auto request = station::StillThereFrame(protocol::TargetFamily::First, 0x80000, 0x8FFFF);
    EXPECT_EQ(station::ProbeBootRom(*port, kBoot, true), Answer::kSilent);
    EXPECT_EQ(station::ControlProgramAnswers(*port, kWork, request), Answer::kSilent);
}

TEST(StationStillThere, TheSecondFamilyIsAskedForTheBlankCheckOfItsFirstArea) {
    EXPECT_EQ(station::StillThereFrame(protocol::TargetFamily::Second, 0, 0x0FFFFF).frame,
              (Bytes{0x48, 0x00, 0x00, 0x10}));
    EXPECT_EQ(station::StillThereFrame(protocol::TargetFamily::First, 0x80000, 0x8FFFF).frame,
              (Bytes{0x39, 0x11, 0x22, 0x33, 0x44}));
}

}  // namespace
}  // namespace mirelle::test
