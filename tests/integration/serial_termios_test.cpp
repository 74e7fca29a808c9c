// The termios port against a pseudo-terminal: the test holds the master side
// and plays the chip. Real time, so the timing checks use wide tolerances.
#include "serial/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "pty_line_speed.h"

namespace mirelle::serial {
namespace {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

long MsSince(SteadyClock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - t).count());
}

class TermiosPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128] = {};
        int slave = -1;
        ASSERT_EQ(::openpty(&master_, &slave, name, nullptr, nullptr), 0);
        // Only the port under test holds the slave side.
        ::close(slave);
        device_ = name;
    }
    void TearDown() override { CloseMaster(); }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void MasterWrite(const Bytes& b) {
        ASSERT_EQ(::write(master_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }

    // What the port sent, collected until `n` bytes or one second.
    Bytes MasterRead(std::size_t n) {
        Bytes got;
        const auto start = SteadyClock::now();
        while (got.size() < n && MsSince(start) < 1000) {
            struct pollfd p {master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

    std::unique_ptr<Port> OpenOk(std::uint32_t baud = 9600) {
        std::unique_ptr<Port> port;
        EXPECT_EQ(OpenTermiosPort(device_, baud, port), PortResult::Ok);
        EXPECT_NE(port, nullptr);
        return port;
    }

    int master_ = -1;
    std::string device_;
};

TEST_F(TermiosPortTest, OpensRaw8N1WithoutFlowControl) {
    // Leave the terminal as another program might have: cooked, 7E2 with
    // every kind of flow control, split rates.
    struct termios t {};
    ASSERT_EQ(::tcgetattr(master_, &t), 0);
    t.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ASSERT_EQ(::tcsetattr(master_, TCSANOW, &t), 0);  // the master sets the slave's settings
    ASSERT_TRUE(testing::SetKernelRates(master_, {1200, 2400}));

    auto port = OpenOk(9600);
    ASSERT_TRUE(port);
    ASSERT_EQ(::tcgetattr(master_, &t), 0);  // the master shows the slave's settings
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    testing::KernelRates rates;
    ASSERT_TRUE(testing::ReadKernelRates(master_, rates));
    EXPECT_EQ(rates.output, 9600u);
    EXPECT_EQ(rates.input, 9600u);
}

TEST_F(TermiosPortTest, SecondOpenOfTheSameDeviceFailsUntilTheFirstIsClosed) {
    auto first = OpenOk();
    ASSERT_TRUE(first);

    std::unique_ptr<Port> second;
    EXPECT_EQ(OpenTermiosPort(device_, 9600, second), PortResult::CannotOpen);
    EXPECT_EQ(second, nullptr);

    // Another program fares no better.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<Port> p;
        ::_exit(OpenTermiosPort(device_, 9600, p) == PortResult::CannotOpen ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process could open the port";

    // The refused opens left the first one working and still exclusive.
    EXPECT_EQ(OpenTermiosPort(device_, 9600, second), PortResult::CannotOpen);
    const Bytes ping = {0x18};
    std::size_t done = 0;
    ASSERT_TRUE(first->Write(ping.data(), ping.size(), done));
    EXPECT_EQ(MasterRead(1), ping);

    first.reset();
    EXPECT_EQ(OpenTermiosPort(device_, 9600, second), PortResult::Ok);
    EXPECT_NE(second, nullptr);
}

TEST_F(TermiosPortTest, DevicesThatAreNoUsablePortCannotBeOpened) {
    std::unique_ptr<Port> port;
    EXPECT_EQ(OpenTermiosPort("/dev/no-such-serial-device", 9600, port), PortResult::CannotOpen);
    EXPECT_EQ(port, nullptr);
    EXPECT_EQ(OpenTermiosPort("/dev/null", 9600, port), PortResult::CannotOpen);  // opens, but is no terminal
    EXPECT_EQ(port, nullptr);
}

TEST_F(TermiosPortTest, SilentOneByteReadReturnsNothingAfterAbout160Ms) {
    auto port = OpenOk();
    ASSERT_TRUE(port);
    std::uint8_t b = 0x55;
    std::size_t done = 99;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(port->Read(&b, 1, done));
    const long ms = MsSince(start);
    EXPECT_EQ(done, 0u);
    EXPECT_GE(ms, 120);
    EXPECT_LE(ms, 400);
}

TEST_F(TermiosPortTest, BlockReadEndsAtTheFirstGapOf80MsOrWhenComplete) {
    auto port = OpenOk();
    ASSERT_TRUE(port);
    std::uint8_t buf[10] = {};
    std::size_t done = 0;

    // All bytes there: the read returns at once.
    MasterWrite({1, 2, 3, 4});
    auto start = SteadyClock::now();
    EXPECT_TRUE(port->Read(buf, 4, done));
    EXPECT_EQ(done, 4u);
    EXPECT_LT(MsSince(start), 60);

    // Three bytes, then two more 40 ms later (a gap shorter than 80 ms keeps
    // the read going), then silence: it ends about 80 ms after the last byte,
    // long before its total of 880 ms.
    MasterWrite({5, 6, 7});
    std::thread chip([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        MasterWrite({8, 9});
    });
    start = SteadyClock::now();
    const bool ok = port->Read(buf, 10, done);
    const long ms = MsSince(start);
    chip.join();
    EXPECT_TRUE(ok);
    ASSERT_EQ(done, 5u);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{5, 6, 7, 8, 9}));
    EXPECT_GE(ms, 100);
    EXPECT_LE(ms, 500);
}

TEST_F(TermiosPortTest, BytesPassUnchangedInBothDirections) {
    auto port = OpenOk();
    ASSERT_TRUE(port);
    // Line ends, flow-control characters, interrupt, end of file, delete: a
    // cooked terminal would turn each of these into something else.
    const Bytes tricky = {0x00, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x04, 0x1A, 0x7F, 0xFF, 0x0D, 0x0A};
    std::size_t done = 0;
    ASSERT_TRUE(port->Write(tricky.data(), tricky.size(), done));
    EXPECT_EQ(done, tricky.size());
    EXPECT_EQ(MasterRead(tricky.size()), tricky);

    MasterWrite(tricky);
    Bytes got(tricky.size());
    ASSERT_TRUE(port->Read(got.data(), got.size(), done));
    EXPECT_EQ(done, tricky.size());
    EXPECT_EQ(got, tricky);
}

TEST_F(TermiosPortTest, RateChangesReachTheDriverAndLeaveEverythingElse) {
    auto port = OpenOk(9600);
    ASSERT_TRUE(port);
    struct termios before {};
    ASSERT_EQ(::tcgetattr(master_, &before), 0);

    for (std::uint32_t baud : {115200u, 250000u, 31250u, 9600u}) {
        SCOPED_TRACE(baud);
        ASSERT_EQ(port->SetBaud(baud), PortResult::Ok);
        testing::KernelRates rates;
        ASSERT_TRUE(testing::ReadKernelRates(master_, rates));
        EXPECT_EQ(rates.output, baud);
        EXPECT_EQ(rates.input, baud);
        struct termios after {};
        ASSERT_EQ(::tcgetattr(master_, &after), 0);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        const tcflag_t rate_bits = CBAUD | CIBAUD;
        EXPECT_EQ(after.c_cflag & ~rate_bits, before.c_cflag & ~rate_bits);
        EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
        EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
    }
    EXPECT_EQ(port->SetBaud(0), PortResult::CannotChangeSettings);  // would hang the line up

    // Opening straight at a nonstandard rate works too.
    port.reset();
    port = OpenOk(250000);
    testing::KernelRates rates;
    ASSERT_TRUE(testing::ReadKernelRates(master_, rates));
    EXPECT_EQ(rates.output, 250000u);
}

TEST_F(TermiosPortTest, PurgeDiscardsWhatWasReceived) {
    auto port = OpenOk();
    ASSERT_TRUE(port);
    MasterWrite({0xAA, 0xBB, 0xCC});
    LineStatus status;
    const auto start = SteadyClock::now();
    do {
        status = port->ClearErrors();
    } while (status.queued < 3 && MsSince(start) < 1000 && (::usleep(2000), true));
    EXPECT_EQ(status.queued, 3u);
    EXPECT_EQ(status.errors, 0u);  // a pseudo-terminal has no line-error counters

    port->Purge(PurgeWhich::Receive);
    EXPECT_EQ(port->ClearErrors().queued, 0u);

    MasterWrite({0x31});
    std::uint8_t b = 0;
    std::size_t done = 0;
    ASSERT_TRUE(port->Read(&b, 1, done));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(b, 0x31);
}

TEST_F(TermiosPortTest, HangUpMakesAWaitingReadAndLaterWritesFail) {
    auto port = OpenOk();
    ASSERT_TRUE(port);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        CloseMaster();
    });
    std::uint8_t buf[10];
    std::size_t done = 0;
    const auto start = SteadyClock::now();
    const bool ok = port->Read(buf, sizeof buf, done);  // would wait up to 880 ms
    const long ms = MsSince(start);
    unplug.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(done, 0u);
    EXPECT_LT(ms, 300);

    EXPECT_FALSE(port->Read(buf, 1, done));
    const std::uint8_t b = 0x18;
    EXPECT_FALSE(port->Write(&b, 1, done));
}

}  // namespace
}  // namespace mirelle::serial
