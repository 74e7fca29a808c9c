// The main window's COM operations on a real pseudo-terminal mapped through
// [Ports]: the test holds the master side. Command-line mode, so the reports
// land in MESSFILE.TXT without waiting for anyone.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>

#include "texts/result_texts.h"
#include "pty_line_speed.h"
#include "scenario/report_fixture.h"
#include "serial/termios_port.h"

namespace mirelle::test {

namespace {

class ComPortPtyTest : public ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        char name[128] = {};
        int slave = -1;
        ASSERT_EQ(::openpty(&master_, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        device_ = name;
        WriteFile("Customize.ini", "[Ports]\r\nCOM9=" + device_ + "\r\n");
        // The real serial layer instead of the simulated line (the fixture
        // puts its opener back afterwards).
        port_opener = [](const std::string& device, int, std::uint32_t baud,
                                        std::unique_ptr<serial::Port>& out) {
            return serial::OpenTermiosPort(device, baud, out);
        };
    }
    void TearDown() override {
        if (window) window->CloseComPort();
        if (master_ >= 0) ::close(master_);
        ReportFixture::TearDown();
    }
    int MasterReadByte() {
        struct pollfd p {master_, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) return -1;
        std::uint8_t b = 0;
        return ::read(master_, &b, 1) == 1 ? b : -1;
    }

    int master_ = -1;
    std::string device_;
};

TEST_F(ComPortPtyTest, OpensTheMappedDeviceExclusivelyAndMovesBytes) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    ASSERT_EQ(w.OpenComPort(9, 115200), 0);
    testing::KernelRates rates;
    ASSERT_TRUE(testing::ReadKernelRates(master_, rates));
    EXPECT_EQ(rates.output, 115200u);

    // Nobody else gets the device while it is open, this program included.
    std::unique_ptr<serial::Port> second;
    EXPECT_EQ(serial::OpenTermiosPort(device_, 9600, second), serial::PortResult::CannotOpen);

    ASSERT_TRUE(w.WriteByte(0x18));
    EXPECT_EQ(MasterReadByte(), 0x18);
    const std::uint8_t answer = 0x11;
    ASSERT_EQ(::write(master_, &answer, 1), 1);
    EXPECT_EQ(w.ReadByte(), 0x11);

    ASSERT_EQ(w.SetComBaud(1000000), 0);
    ASSERT_TRUE(testing::ReadKernelRates(master_, rates));
    EXPECT_EQ(rates.output, 1000000u);

    w.CloseComPort();
    EXPECT_EQ(serial::OpenTermiosPort(device_, 9600, second), serial::PortResult::Ok);
}

TEST_F(ComPortPtyTest, HangUpIsReportedAsReadErrorPromptly) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    ASSERT_EQ(w.OpenComPort(9, 9600), 0);
    ::close(master_);
    master_ = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(w.ReadByte(), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 150);  // not the time-out: the read fails at once
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.016 COM port read error\r\n");
    EXPECT_FALSE(window->Session().PortOpen());
}

TEST_F(ComPortPtyTest, HangUpIsReportedAsWriteError) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    ASSERT_EQ(w.OpenComPort(9, 9600), 0);
    ::close(master_);
    master_ = -1;
    EXPECT_FALSE(w.WriteByte(0x18));
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.015 COM port write error\r\n");
    EXPECT_FALSE(window->Session().PortOpen());
}

}  // namespace
}  // namespace mirelle::test
