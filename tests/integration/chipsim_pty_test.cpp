// mirelle-sim through its pseudo-terminal, in real time: a small client does
// what the host does at the bytes' level.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/crc16.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string SimPath() { return std::string(MIRELLE_BIN_DIR) + "/mirelle-sim"; }

// The simulator as a child process; its first output line is the device.
class Sim {
public:
    explicit Sim(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>("mirelle-sim")};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(SimPath().c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        char c = 0;
        while (ReadWithin(out_, &c, 2000) && c != '\n') device_ += c;
    }
    ~Sim() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    const std::string& Device() const { return device_; }
    // SIGTERM and the exit status (-1 when it did not end within 3 s).
    int Stop() {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }

    static bool ReadWithin(int fd, char* c, int ms) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, ms) == 1 && read(fd, c, 1) == 1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string device_;
};

// The host's end: raw 8N1 at a given rate.
class Client {
public:
    Client(const std::string& device, speed_t speed) {
        fd_ = open(device.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ >= 0) SetSpeed(speed);
    }
    ~Client() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void SetSpeed(speed_t speed) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        tcsetattr(fd_, TCSANOW, &t);
    }
    void Send(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // Up to n bytes within `ms`.
    Bytes Read(std::size_t n, int ms = 2000) {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) != 1) break;
            std::uint8_t buf[1024];
            const ssize_t got = read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    // The first byte other than '0'.
    std::uint8_t Status(int ms = 3000) {
        for (;;) {
            const Bytes b = Read(1, ms);
            if (b.empty()) return 0;
            if (b[0] != '0') return b[0];
        }
    }

private:
    int fd_ = -1;
};

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(ChipsimPty, DownloadProgramReadBackAndReopen) {
    const std::string dir = testing::TempDir();
    const std::string trace = dir + "chipsim_pty.trace";
    const std::string summary = dir + "chipsim_pty.summary";
    const std::string flash = dir + "chipsim_pty.flash";
    const std::string link = dir + "chipsim_pty.link";
    std::remove(flash.c_str());
    Sim sim({"--area", "F80000-F807FF", "--boot-baud", "9600", "--work-baud", "19200", "--erase-ms", "200",
             "--trace", trace, "--summary", summary, "--flash", flash, "--link", link});
    ASSERT_EQ(sim.Device().rfind("/dev/", 0), 0u) << sim.Device();
    char resolved[256] = {};
    ASSERT_GT(readlink(link.c_str(), resolved, sizeof resolved - 1), 0);
    EXPECT_EQ(sim.Device(), resolved);

    Bytes block(512);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 3);
    {
        Client host(link, B9600);
        ASSERT_TRUE(host.ok());
        host.Send({0x18});
        EXPECT_EQ(host.Read(1), Bytes{0x11});
        host.Send({0x00, 0x00, 0x00, 0x80, 0x00, 0, 0, 0, 3, 1, 2, 3, 0x89});
        EXPECT_EQ(host.Read(1), Bytes{0x01});
        host.Send({0x18});
        EXPECT_EQ(host.Read(1), Bytes{0x11});
        host.Send({0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0});
        EXPECT_EQ(host.Read(1), Bytes{0x31});
        // Still at the boot rate: the control program does not hear it.
        host.Send({0x39, 0x11, 0x22, 0x33, 0x44});
        EXPECT_TRUE(host.Read(1, 300).empty());
        host.SetSpeed(B19200);
        host.Send({0x39, 0x11, 0x22, 0x33, 0x44});
        EXPECT_EQ(host.Read(10), (Bytes{'0', 0x01, 0, 0, 0, 0x5A, 0xA5, 0, 0, '1'}));
        host.Send({0x38, 0x00, 0x00, 0xF8, 0x00});
        EXPECT_EQ(host.Status(), '1');
        host.Send({0x08, 0x00, 0x02, 0xF8, 0x00});
        EXPECT_EQ(host.Status(), '1');
        Bytes frame = block;
        const std::uint16_t crc = mirelle::protocol::Crc16(block.data(), block.size());
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        frame.push_back(static_cast<std::uint8_t>(crc));
        host.Send(frame);
        EXPECT_EQ(host.Status(), '1');
        host.Send({0x28, 0x00, 0x02, 0xF8, 0x00});
        EXPECT_EQ(host.Status(), '1');
        const Bytes back = host.Read(515);
        ASSERT_EQ(back.size(), 515u);
        EXPECT_EQ(Bytes(back.begin(), back.begin() + 512), block);
        EXPECT_EQ(mirelle::protocol::Crc16(back.data(), 514), 0);
        EXPECT_EQ(back[514], '1');
    }
    // Closing the device reset the board: the boot ROM answers again at the boot rate.
    usleep(100000);
    {
        Client host(sim.Device(), B9600);
        ASSERT_TRUE(host.ok());
        host.Send({0x18});
        EXPECT_EQ(host.Read(1), Bytes{0x11});
    }
    EXPECT_EQ(sim.Stop(), 0);

    std::uint32_t sum = 0;
    std::size_t programmed = 0;
    for (std::uint8_t b : block) {
        sum += b;
        programmed += b != 0xFF;
    }
    sum += 0xFF * (0x800 - 512);
    char expected[96];
    std::snprintf(expected, sizeof expected, "flash: %zu bytes programmed, sum %04X\n", programmed, sum & 0xFFFF);
    EXPECT_EQ(Slurp(summary), expected);
    const std::string image = Slurp(flash);
    ASSERT_EQ(image.size(), 0x800u);
    EXPECT_EQ(static_cast<std::uint8_t>(image[0x200 + 5]), block[5]);
    EXPECT_EQ(static_cast<std::uint8_t>(image[0]), 0xFF);
    const std::string log = Slurp(trace);
    EXPECT_NE(log.find("H>C 39 9600 ignored (chip listens at 19200)"), std::string::npos);
    EXPECT_NE(log.find("host closed the line"), std::string::npos);
    EXPECT_EQ(access(link.c_str(), F_OK), -1);  // the link goes with the simulator
}

TEST(ChipsimPty, HelpDocumentsTheOptions) {
    const std::string out = testing::TempDir() + "chipsim_help.txt";
    const std::string command = SimPath() + " --help > " + out;
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string help = Slurp(out);
    for (const char* opt : {"--chipdef", "--target", "--area", "--flash", "--trace", "--link", "--data", "--fill",
                            "--summary", "--silent-after", "--wrong-ack", "--busy-forever", "--erase-answer",
                            "--crc-error", "--verify-fail", "--read-crc-error", "--refuse-program",
                            "--refuse-read", "--drop-after", "--control", "--empty", "--hotplug", "--boards-dir"}) {
        EXPECT_NE(help.find(opt), std::string::npos) << opt;
    }
    EXPECT_NE(std::system((SimPath() + " --no-such-option 2>/dev/null").c_str()), 0);
}

}  // namespace
