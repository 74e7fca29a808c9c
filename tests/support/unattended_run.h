// The fixture of the tests that run the real mirelle unattended against
// mirelle-sim on a pseudo-terminal: a program folder with the sample
// CHIPDEF.INI, the simulator as a child process, and mirelle started with
// arguments, judged by the result log, the exit status and the flash file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_lines.h"

namespace mirelle::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline std::string Slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Starts `argv` with `env` added; stdout goes to `out`, stderr to `err`
// (to `out` as well when `err` is empty).
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& out,
                   const fs::path& err = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int efd = err.empty() ? fd : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(fd, 1);
        dup2(efd, 2);
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
inline int Wait(pid_t pid, int seconds) {
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

    // Runs mirelle with `args` in the program folder; its exit status. Its
    // standard output lands in mirelle.log, its standard error in mirelle.err.
    int RunMirelle(const std::vector<std::string>& args, int limit_seconds = 60) {
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle"};
        argv.insert(argv.end(), args.begin(), args.end());
        env_ = {"MIRELLE_HOME=" + home_.string(), "QT_QPA_PLATFORM=offscreen"};
        const auto start = std::chrono::steady_clock::now();
        const int status = Wait(Spawn(argv, env_, home_ / "mirelle.log", home_ / "mirelle.err"), limit_seconds);
        seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return status;
    }

    std::string Log() const { return Slurp(home_ / "MESSFILE.TXT"); }
    std::string Errors() const { return Slurp(home_ / "mirelle.err"); }
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

inline std::map<std::uint32_t, std::uint8_t> Pattern(std::uint32_t start, std::uint32_t size) {
    std::map<std::uint32_t, std::uint8_t> data;
    for (std::uint32_t i = 0; i < size; ++i) data[start + i] = static_cast<std::uint8_t>((i * 7 + (i >> 9)) & 0x7F);
    return data;
}

}  // namespace mirelle::testing
