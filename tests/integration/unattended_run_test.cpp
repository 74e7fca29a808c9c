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
#include <map>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_lines.h"
#include "support/unattended_run.h"

namespace {

namespace fs = std::filesystem;
using mirelle::testing::Slurp;
using mirelle::testing::Wait;

// Starts `argv` with `env` added, standard output and error on `out_fd`
// (a pipe, in one test), with SIGPIPE as a shell leaves it.
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

class UnattendedRun : public mirelle::testing::FullOperationPty {
protected:
    void SetUp() override {
        FullOperationPty::SetUp();
        // 8 KiB at the start of the first area of the first chip (TQ4A01).
        std::map<std::uint32_t, std::uint8_t> data;
        for (std::uint32_t a = 0; a < 0x2000; ++a) data[0x80000 + a] = 0x5A;
        program_ = WriteProgram(data).string();
        out_ = open((home_ / "mirelle.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    void TearDown() override {
        close(out_);
        FullOperationPty::TearDown();
    }
    void StartSim() { FullOperationPty::StartSim("TQ4A01", 0); }
    pid_t StartMirelle(int out_fd) {
        return Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle", program_, "com1"},
                     {"MIRELLE_HOME=" + home_.string(), "QT_QPA_PLATFORM=offscreen"}, out_fd);
    }
    std::string Output() const { return Slurp(home_ / "mirelle.log"); }
    // Whether the chip holds the program file's bytes.
    bool Programmed() const {
        const std::string flash = Slurp(home_ / "flash.bin");
        return flash.size() >= 0x2000 && flash.substr(0, 0x2000) == std::string(0x2000, '\x5A');
    }

    std::string program_;
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
    StopSim();
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
