// The main window's COM operations on the in-process simulated line: the
// device behind COMn, opening and reopening, failures and what they leave,
// the rate, purge and errors, and the byte operations with their reports.
#include "texts/result_texts.h"
#include "report_fixture.h"

namespace mirelle::test {

using namespace mirelle::hexfile;
namespace {

using chipsim::LineEvent;

class ComPortTest : public ReportFixture {
protected:
    std::vector<LineEvent> EventsOf(LineEvent::Kind kind) const {
        std::vector<LineEvent> out;
        for (const auto& e : line.Events())
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

TEST_F(ComPortTest, DeviceComesFromThePortMapOrTheDefault) {
    CWriterDlg& w = MakeWindow();
    WriteFile("Customize.ini", "[Ports]\r\nCOM12=/dev/ttyUSB7\r\n");
    ASSERT_EQ(w.OpenComPort(12, 9600), 0);
    ASSERT_EQ(w.OpenComPort(4, 9600), 0);
    const auto opens = EventsOf(LineEvent::Kind::Open);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].device, "/dev/ttyUSB7");
    EXPECT_EQ(opens[0].com_number, 12);
    EXPECT_EQ(opens[1].device, "/dev/ttyS3");
}

TEST_F(ComPortTest, OpenRecordsPortAndRateAndReopenReplacesTheOldPort) {
    CWriterDlg& w = MakeWindow();
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    EXPECT_EQ(w.m_bComOpen, 1);
    EXPECT_EQ(w.m_nOpenPort, 3);
    EXPECT_EQ(w.m_nBaud, 9600);
    EXPECT_TRUE(w.Session().PortOpen());
    // The line is exclusive: the second open succeeds only because the
    // first port was closed before.
    ASSERT_EQ(w.OpenComPort(5, 115200), 0);
    EXPECT_EQ(w.m_nOpenPort, 5);
    EXPECT_EQ(w.m_nBaud, 115200);
    EXPECT_EQ(line.Rates(), (std::vector<std::uint32_t>{9600, 115200}));
    EXPECT_EQ(EventsOf(LineEvent::Kind::Close).size(), 1u);

    w.CloseComPort();
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_FALSE(line.IsOpen());
    w.CloseComPort();  // closing a closed port is harmless
}

TEST_F(ComPortTest, FailedOpensLeaveThePortStateAsTheCallerNeedsIt) {
    CWriterDlg& w = MakeWindow();
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);

    // Only a device that did not open is explained, once, naming COM and device.
    const std::vector<std::string>& told = port_problems;
    line.FailOpens(serial::PortResult::CannotOpen);
    EXPECT_EQ(w.OpenComPort(7, 19200), result::kCannotOpenPort);
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(told.empty() ? "" : told[0].substr(0, 25), "COM7 is /dev/ttyS6, which");
    EXPECT_EQ(w.m_bComOpen, 0);
    EXPECT_EQ(w.m_nOpenPort, 3);  // the last successful open
    EXPECT_EQ(w.m_nBaud, 9600);
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_FALSE(line.IsOpen());  // the old port was closed first

    // Opened but not configured: the device stays open for the caller to close.
    for (int code : {210, 211}) {
        line.FailOpens(PortFault(code));
        EXPECT_EQ(w.OpenComPort(7, 19200), code);
        EXPECT_EQ(w.m_bComOpen, 0);
        EXPECT_EQ(w.m_nOpenPort, 3);
        EXPECT_TRUE(w.Session().PortOpen());
        w.CloseComPort();
        EXPECT_FALSE(line.IsOpen());
    }
    EXPECT_EQ(told.size(), 1u);
    // Nothing reports by itself.
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_FALSE(Exists("MESSFILE.TXT"));
}

TEST_F(ComPortTest, PortNumbersOutsideTheComRangeOpenNothing) {
    CWriterDlg& w = MakeWindow();
    for (int port : {0, -1, 256}) {
        EXPECT_EQ(w.OpenComPort(port, 9600), result::kCannotOpenPort) << port;
        EXPECT_EQ(w.m_bComOpen, 0);
    }
    EXPECT_EQ(line.OpenCount(), 0);
    EXPECT_EQ(w.OpenComPort(255, 9600), 0);
}

TEST_F(ComPortTest, RateChangeKeepsTheRateOfTheLastSuccess) {
    CWriterDlg& w = MakeWindow();
    EXPECT_EQ(w.SetComBaud(9600), result::kCannotReadPortSettings);  // no port open
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    EXPECT_EQ(w.SetComBaud(500000), 0);
    EXPECT_EQ(w.m_nBaud, 500000);
    EXPECT_EQ(line.HostBaud(), 500000u);
    line.FailSetBaud(serial::PortResult::CannotChangeSettings);
    EXPECT_EQ(w.SetComBaud(1000000), result::kCannotChangePortSettings);
    EXPECT_EQ(w.m_nBaud, 500000);
    EXPECT_EQ(w.m_bComOpen, 1);
}

TEST_F(ComPortTest, SilentLineReadsZeroAfter160MsWithoutReport) {
    CWriterDlg& w = MakeWindow();
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    const std::uint64_t before = clock.ElapsedMs();
    EXPECT_EQ(w.ReadByte(), 0);
    EXPECT_EQ(clock.ElapsedMs() - before, 160u);
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_FALSE(Exists("MESSFILE.TXT"));
    EXPECT_TRUE(w.Session().PortOpen());

    // A block read of 4 on a silent line takes 80 * 4 + 80 ms and succeeds empty.
    std::uint8_t buf[4] = {};
    std::size_t got = 99;
    EXPECT_TRUE(w.ReadBlock(buf, sizeof buf, got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.ElapsedMs() - before, 160u + 400u);
}

TEST_F(ComPortTest, PurgeAndClearErrorsReachThePort) {
    CWriterDlg& w = MakeWindow();
    // Without a port both are harmless.
    w.PurgeComPort(serial::PurgeWhich::Both);
    EXPECT_EQ(w.ClearComErrors().errors, 0u);

    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    ASSERT_TRUE(w.WriteByte(0x18));
    clock.Advance(50);
    EXPECT_EQ(w.ClearComErrors().queued, 1u);
    w.PurgeComPort(serial::PurgeWhich::Receive);
    EXPECT_EQ(w.ClearComErrors().queued, 0u);
    EXPECT_EQ(w.ReadByte(), 0);  // the answer was discarded
    const auto purges = EventsOf(LineEvent::Kind::Purge);
    ASSERT_EQ(purges.size(), 1u);
    EXPECT_EQ(purges[0].baud, static_cast<std::uint32_t>(serial::PurgeWhich::Receive));
}

TEST_F(ComPortTest, ReadFailureReports218AndEndsTheLink) {
    CWriterDlg& w = MakeWindow();
    chip.MutableFaults().drop_after_bytes = 1;
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    w.SetDownloadedButtons();
    ASSERT_TRUE(w.WriteByte(0x18));  // the last byte that reaches the chip
    EXPECT_EQ(w.ReadByte(), 0);

    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[0].text, "ERROR !!    \r\n No.016 COM port read error");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nERROR !!    \r\r\n No.016 COM port read error");
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_EQ(w.m_bDownloaded, 0);
}

TEST_F(ComPortTest, WriteFailureReports216AndEndsTheLink) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});  // command line: nothing shown
    chip.MutableFaults().drop_after_bytes = 1;
    ASSERT_EQ(w.OpenComPort(3, 9600), 0);
    w.SetDownloadedButtons();
    ASSERT_TRUE(w.WriteByte(0x18));
    EXPECT_FALSE(w.WriteByte(0x18));  // the connection is gone
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.015 COM port write error\r\n");
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_EQ(w.m_bDownloaded, 0);
    EXPECT_TRUE(backend.message_boxes.empty());
}

TEST_F(ComPortTest, ByteOperationsWithoutAnOpenPortFailAndReport) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    EXPECT_FALSE(w.WriteByte(0x38));
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.015 COM port write error\r\n");
    EXPECT_EQ(w.ReadByte(), 0);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.016 COM port read error\r\n");
    std::uint8_t buf[2] = {1, 2};
    std::size_t n = 7;
    EXPECT_FALSE(w.WriteBlock(buf, 2, n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(w.ReadBlock(buf, 2, n));
    EXPECT_EQ(n, 0u);
}

}  // namespace
}  // namespace mirelle::test

namespace mirelle::test {
namespace {

// A port whose writes are accepted by the call but take no byte, as a driver
// does when its time-out runs out.
class StuckWritePort final : public serial::Port {
public:
    serial::PortResult SetBaud(std::uint32_t) override { return serial::PortResult::Ok; }
    void Purge(serial::PurgeWhich) override {}
    serial::LineStatus ClearErrors() override { return {}; }
    bool SetDtr(bool) override { return false; }
    bool SetRts(bool) override { return false; }
    bool SetBreak(bool) override { return false; }
    bool Write(const std::uint8_t*, std::size_t, std::size_t& done) override {
        done = 0;
        return true;
    }
    bool Read(std::uint8_t*, std::size_t, std::size_t& done) override {
        done = 0;
        return true;
    }
};

TEST_F(ComPortTest, ByteThatNeverLeftIsAWriteFailure) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    port_opener = [](const std::string&, int, std::uint32_t, std::unique_ptr<serial::Port>& out) {
        out = std::make_unique<StuckWritePort>();
        return serial::PortResult::Ok;
    };
    ASSERT_EQ(w.OpenComPort(1, 9600), 0);
    EXPECT_FALSE(w.WriteByte(0x18));
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.015 COM port write error\r\n");
    EXPECT_FALSE(w.Session().PortOpen());
}

}  // namespace
}  // namespace mirelle::test
