// The real mirelle, started with a program file, against mirelle-sim on a
// pseudo-terminal: one unattended Full Operation in real time, judged by the
// result log's bytes, the exit status and the simulator's flash.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/unattended_run.h"

namespace {

namespace fs = std::filesystem;
using namespace mirelle::testing;

TEST_F(FullOperationPty, FirstFamilyChipWithDataIsErasedAndProgrammed) {
    // TQ4A01: flash 0x80000..0xFFFFF; 4 KiB of old data at its start. The
    // bytes need not take their line time here.
    StartSim("TQ4A01", 0, {"--fill", "80000:1000:00", "--no-line-time"});
    const auto data = Pattern(0x90000, 0x4000);
    const fs::path program = WriteProgram(data);
    EXPECT_EQ(RunMirelle({program.string(), "com1"}), 0) << Slurp(home_ / "mirelle.log");
    EXPECT_EQ(Log(), "OK");
    StopSim();
    const Bytes flash = Flash();
    ASSERT_EQ(flash.size(), 0x80000u);
    for (std::uint32_t a = 0; a < flash.size(); ++a) {
        const auto it = data.find(0x80000 + a);
        ASSERT_EQ(flash[a], it == data.end() ? 0xFF : it->second) << std::hex << 0x80000 + a;
    }
    std::printf("first-family Full Operation of 16 KiB: %.1f s\n", seconds_);
}

TEST_F(FullOperationPty, SecondFamilyChipIsProgrammedWithThreeByteAddresses) {
    // TQ7C01 (list entry 3): flash 0xF0000..0xFFFFF, blank.
    StartSim("TQ7C01", 3);
    const auto data = Pattern(0xF8000, 0x1000);
    EXPECT_EQ(RunMirelle({WriteProgram(data).string(), "com1", "no_dialog"}), 0) << Slurp(home_ / "mirelle.log");
    EXPECT_EQ(Log(), "OK");
    StopSim();
    const Bytes flash = Flash();
    ASSERT_EQ(flash.size(), 0x10000u);
    EXPECT_EQ(Bytes(flash.begin() + 0x8000, flash.begin() + 0x9000),
              [&] {
                  Bytes b;
                  for (const auto& [a, v] : data) b.push_back(v);
                  return b;
              }());
    EXPECT_EQ(flash[0x7FFF], 0xFF);
    EXPECT_EQ(flash[0x9000], 0xFF);
}

TEST_F(FullOperationPty, AChipThatStopsAnsweringEndsTheRunAsATimeOut) {
    StartSim("TQ4A01", 0, {"--silent-from", "data:3"});
    EXPECT_EQ(RunMirelle({WriteProgram(Pattern(0x80000, 0x2000)).string(), "com1"}), 1);
    EXPECT_EQ(Log(), "NG\r\n No.003 timeout error\r\n");
    EXPECT_LT(seconds_, 20.0);
}

TEST_F(FullOperationPty, BrokenAndMissingProgramFilesLeaveTheChipAlone) {
    StartSim("TQ4A01", 0, {"--fill", "80000:10:00", "--summary", (home_ / "summary.txt").string()});
    std::ofstream(home_ / "broken.mot", std::ios::binary) << "S0030000FC\r\nS30900080000010203047F\r\n";
    EXPECT_EQ(RunMirelle({(home_ / "broken.mot").string(), "com1"}), 1);
    const std::string broken = Log();
    EXPECT_EQ(broken.substr(0, 4), "NG\r\n");
    EXPECT_NE(broken.find("decode error in 2"), std::string::npos) << broken;  // the failing line

    EXPECT_EQ(RunMirelle({(home_ / "missing.mot").string(), "com1"}), 1);
    EXPECT_EQ(Log(), "NG\r\n No.101 Please set \"hex file\"\r\n");
    StopSim();
    // Neither run touched the chip: its old data is still there.
    EXPECT_EQ(Slurp(home_ / "summary.txt").substr(0, 27), "flash: 16 bytes programmed,");
}

TEST_F(FullOperationPty, ARunThatCannotOpenItsDisplayLeavesNoEarlierOkInTheLog) {
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    std::ofstream(home_ / "MESSFILE.TXT", std::ios::binary) << "OK";
    // A display that nobody serves, as after an ssh session has ended.
    const std::vector<std::string> env{"MIRELLE_HOME=" + home_.string(), "DISPLAY=:87", "MIRELLE_UI=qt"};
    const std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle", program.string(), "com1"};
    EXPECT_EQ(Wait(Spawn(argv, env, home_ / "mirelle.log"), 30), 1) << Slurp(home_ / "mirelle.log");
    EXPECT_EQ(Log().substr(0, 4), "NG\r\n");
}

TEST_F(FullOperationPty, SigtermEndsTheRunWithinASecondAtAnyStep) {
    StartSim("TQ4A01", 0);
    const fs::path program = WriteProgram(Pattern(0x80000, 0x40000));
    std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle", program.string(), "com1"};
    env_ = {"MIRELLE_HOME=" + home_.string(), "QT_QPA_PLATFORM=offscreen"};
    // In the pause before the download, and well into the programming (the
    // download and the blank test take about 3.5 s).
    for (int delay_ms : {1000, 5500}) {
        const pid_t pid = Spawn(argv, env_, home_ / "mirelle.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        kill(pid, SIGTERM);
        const auto signalled = std::chrono::steady_clock::now();
        EXPECT_EQ(Wait(pid, 10), 1) << delay_ms;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count(), 1.0)
            << delay_ms;
        const std::string log = Log();
        EXPECT_EQ(log.substr(0, 4), "NG\r\n") << delay_ms;
        EXPECT_NE(log.find("Interrupted by signal 15 (SIGTERM)\r\n"), std::string::npos) << log;
    }
}

}  // namespace
