// The real mirelle, started with a program file, against mirelle-sim on a
// pseudo-terminal: one unattended Full Operation in real time, judged by the
// result log's bytes, the exit status and the simulator's flash.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_lines.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Starts `argv` with `env` added; stdout and stderr go to `out`.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& out) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `seconds` for the child; its exit status, or -1 (then killed).
int Wait(pid_t pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

class FullOperationPty : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home_ = fs::temp_directory_path() / ("mirelle-fo-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(home_);
        fs::create_directories(home_ / "DownLoad");
        fs::copy_file(fs::path(MIRELLE_SOURCE_DIR) / "data" / "CHIPDEF.INI", home_ / "CHIPDEF.INI");
        // The simulated boot ROM takes any control program.
        for (const char* name : {"tq4a01.bin", "tq7c01.bin"})
            std::ofstream(home_ / "DownLoad" / name, std::ios::binary) << std::string(256, '\x42');
        link_ = home_ / "ttySIM";
        std::ofstream(home_ / "Customize.ini", std::ios::binary) << "[Ports]\r\nCOM1=" << link_.string() << "\r\n";
    }
    void TearDown() override {
        StopSim();
        fs::remove_all(home_);
    }

    // Starts the simulated `target` (list entry `index`), keeping its flash in a file.
    void StartSim(const std::string& target, int index, const std::vector<std::string>& extra = {}) {
        std::ofstream(home_ / "DATAFILE.TXT", std::ios::binary)
            << "[Recent]\r\nCPU=" << index << "\r\nRATE=0\r\n";
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                      (home_ / "CHIPDEF.INI").string(), "--target", target,
                                      "--link", link_.string(), "--flash", (home_ / "flash.bin").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        sim_ = Spawn(argv, {}, home_ / "sim.log");
        for (int i = 0; i < 200 && !fs::exists(link_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(link_)) << Slurp(home_ / "sim.log");
    }
    void StopSim() {
        if (sim_ <= 0) return;
        kill(sim_, SIGTERM);
        Wait(sim_, 5);
        sim_ = -1;
    }

    // Runs mirelle with `args` in the program folder; its exit status.
    int RunMirelle(const std::vector<std::string>& args, int limit_seconds = 60) {
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle"};
        argv.insert(argv.end(), args.begin(), args.end());
        env_ = {"MIRELLE_HOME=" + home_.string(), "QT_QPA_PLATFORM=offscreen"};
        const auto start = std::chrono::steady_clock::now();
        const int status = Wait(Spawn(argv, env_, home_ / "mirelle.log"), limit_seconds);
        seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return status;
    }

    std::string Log() const { return Slurp(home_ / "MESSFILE.TXT"); }
    Bytes Flash() const {
        const std::string s = Slurp(home_ / "flash.bin");
        return Bytes(s.begin(), s.end());
    }
    // An S-record program file of `data` (address -> byte), in 32-byte records.
    fs::path WriteProgram(const std::map<std::uint32_t, std::uint8_t>& data, const std::string& name = "prog.mot") {
        std::string text = "S0030000FC\r\n";
        auto it = data.begin();
        while (it != data.end()) {
            const std::uint32_t address = it->first;
            Bytes run;
            while (it != data.end() && it->first == address + run.size() && run.size() < 32) run.push_back((it++)->second);
            text += mirelle::testing::SRecordOf('3', address, run) + "\r\n";
        }
        text += "S70500000000FA\r\n";
        std::ofstream(home_ / name, std::ios::binary) << text;
        return home_ / name;
    }

    fs::path home_, link_;
    pid_t sim_ = -1;
    std::vector<std::string> env_;
    double seconds_ = 0;
};

std::map<std::uint32_t, std::uint8_t> Pattern(std::uint32_t start, std::uint32_t size) {
    std::map<std::uint32_t, std::uint8_t> data;
    for (std::uint32_t i = 0; i < size; ++i) data[start + i] = static_cast<std::uint8_t>((i * 7 + (i >> 9)) & 0x7F);
    return data;
}

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
