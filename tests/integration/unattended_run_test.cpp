// The real mirelle in command-line mode, for what surrounds the Full
// Operation: the run's hold on its program folder and its result log, and a
// reader of its output that goes away. Against mirelle-sim on a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_lines.h"
#include "support/unattended_run.h"

namespace {

namespace fs = std::filesystem;
using mirelle::testing::Slurp;
using mirelle::testing::Wait;

// Starts `argv` with `env` added, standard output and error on `out_fd`.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out_fd) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out_fd, 1);
        dup2(out_fd, 2);
        signal(SIGPIPE, SIG_DFL);  // as a shell would start it
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

class UnattendedRun : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home_ = fs::temp_directory_path() / ("mirelle-ur-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(home_);
        fs::create_directories(home_ / "DownLoad");
        fs::copy_file(fs::path(MIRELLE_SOURCE_DIR) / "data" / "CHIPDEF.INI", home_ / "CHIPDEF.INI");
        std::ofstream(home_ / "DownLoad" / "tq4a01.bin", std::ios::binary) << std::string(256, '\x42');
        std::ofstream(home_ / "Customize.ini", std::ios::binary) << "[Ports]\r\nCOM1=" << Link() << "\r\n";
        std::ofstream(home_ / "DATAFILE.TXT", std::ios::binary) << "[Recent]\r\nCPU=0\r\nRATE=0\r\n";
        // 8 KiB at the start of the first area of the first chip (TQ4A01).
        std::string text = "S0030000FC\r\n";
        for (std::uint32_t a = 0; a < 0x2000; a += 32)
            text += mirelle::testing::SRecordOf('3', 0x80000 + a, std::vector<std::uint8_t>(32, 0x5A)) + "\r\n";
        std::ofstream(Program(), std::ios::binary) << text << "S70500000000FA\r\n";
        out_ = open((home_ / "mirelle.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    void TearDown() override {
        if (sim_ > 0) {
            kill(sim_, SIGTERM);
            Wait(sim_, 5);
        }
        close(out_);
        fs::remove_all(home_);
    }
    std::string Link() const { return (home_ / "ttySIM").string(); }
    std::string Program() const { return (home_ / "prog.mot").string(); }
    std::string Log() const { return Slurp(home_ / "MESSFILE.TXT"); }
    std::string Output() const { return Slurp(home_ / "mirelle.log"); }

    void StartSim() {
        const int log = open((home_ / "sim.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        sim_ = Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef", (home_ / "CHIPDEF.INI").string(),
                      "--target", "TQ4A01", "--link", Link(), "--flash", (home_ / "flash.bin").string()},
                     {}, log);
        close(log);
        for (int i = 0; i < 200 && !fs::exists(Link()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(Link())) << Slurp(home_ / "sim.log");
    }
    pid_t StartMirelle(int out_fd) {
        return Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle", Program(), "com1"},
                     {"MIRELLE_HOME=" + home_.string(), "QT_QPA_PLATFORM=offscreen"}, out_fd);
    }
    // Whether the chip holds the program file's bytes.
    bool Programmed() const {
        const std::string flash = Slurp(home_ / "flash.bin");
        return flash.size() >= 0x2000 && flash.substr(0, 0x2000) == std::string(0x2000, '\x5A');
    }

    fs::path home_;
    pid_t sim_ = -1;
    int out_ = -1;
};

TEST_F(UnattendedRun, ALogThatCannotBeWrittenStopsTheRunBeforeThePort) {
    const struct {
        const char* what;
        bool needs_non_root;  // root writes read-only files and folders
        void (*spoil)(const fs::path& home);
    } cases[] = {
        {"the log is a folder", false, [](const fs::path& h) { fs::create_directory(h / "MESSFILE.TXT"); }},
        {"a read-only log", true,
         [](const fs::path& h) {
             std::ofstream(h / "MESSFILE.TXT", std::ios::binary) << "OK";
             fs::permissions(h / "MESSFILE.TXT", fs::perms::owner_read);
         }},
    };
    StartSim();
    for (const auto& c : cases) {
        if (c.needs_non_root && geteuid() == 0) continue;
        fs::remove_all(home_ / "MESSFILE.TXT");
        c.spoil(home_);
        EXPECT_EQ(Wait(StartMirelle(out_), 30), 2) << c.what;
        EXPECT_NE(Output().find("cannot write the result log"), std::string::npos) << c.what << ": " << Output();
        fs::permissions(home_ / "MESSFILE.TXT", fs::perms::owner_all, fs::perm_options::add);
    }
    kill(sim_, SIGTERM);
    Wait(sim_, 5);
    sim_ = -1;
    EXPECT_FALSE(Programmed());
}

TEST_F(UnattendedRun, ASecondRunInTheSameFolderWritesNothing) {
    StartSim();
    std::ofstream(home_ / "MESSFILE.TXT", std::ios::binary) << "old";
    const pid_t first = StartMirelle(out_);
    // The first run holds the folder once it has marked its log.
    for (int i = 0; i < 500 && Log().substr(0, 2) != "NG"; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Log().substr(0, 2), "NG");

    // The second run stops before its log and its port.
    const int second_out = open((home_ / "second.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(Wait(StartMirelle(second_out), 10), 2);
    close(second_out);
    EXPECT_NE(Slurp(home_ / "second.log").find("is in use by another run"), std::string::npos)
        << Slurp(home_ / "second.log");

    EXPECT_EQ(Wait(first, 60), 0) << Output();
    EXPECT_EQ(Log(), "OK");
    EXPECT_TRUE(Programmed());
}

// The run holds its folder; the timing log's own short lock on the same
// folder must not wait for that hold.
TEST_F(UnattendedRun, TheTimingLogInTheHeldFolderIsWritten) {
    StartSim();
    std::ofstream(home_ / "TIMETEST.TXT", std::ios::binary) << "";
    EXPECT_EQ(Wait(StartMirelle(out_), 60), 0) << Output();
    EXPECT_EQ(Log(), "OK");
    EXPECT_NE(Slurp(home_ / "TIMETEST.TXT").find("="), std::string::npos) << Slurp(home_ / "TIMETEST.TXT");
}

TEST_F(UnattendedRun, AClosedOutputPipeDoesNotEndTheRun) {
    StartSim();
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t run = StartMirelle(pipe_fds[1]);
    close(pipe_fds[1]);
    close(pipe_fds[0]);  // the reader goes away before the first progress line
    EXPECT_EQ(Wait(run, 60), 0);
    EXPECT_EQ(Log(), "OK");
    EXPECT_TRUE(Programmed());
}

}  // namespace
