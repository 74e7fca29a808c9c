// Customize.ini and DATAFILE.TXT: defaults on a first start, the COM number
// rules and the recent selections.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/profile.h"

namespace mirelle {

using namespace mirelle::settings;
namespace {

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("mirelle-settings-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        customize_ = (dir_ / "Customize.ini").string();
        datafile_ = (dir_ / "DATAFILE.TXT").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string customize_, datafile_;
};

TEST_F(SettingsFiles, FirstStartReadsDefaultsAndWritesNothing) {
    CustomizeSettings s;
    s.bSound = 5;
    std::string com = "x";
    ReadCustomizeSettings(customize_, true, s, com);
    EXPECT_EQ(s.nComIndex, 0u);
    EXPECT_EQ(com, "1");
    EXPECT_EQ(s.bSound, 0);
    EXPECT_EQ(s.strErrorWave, "<none>");
    EXPECT_EQ(s.strEndWave, "<none>");
    EXPECT_EQ(s.bToolTips, 0);
    EXPECT_EQ(CommandCaption(s.nComIndex), "Command  to  COM1");
    const RecentSelection r = ReadRecent(datafile_);
    EXPECT_EQ(r.target, 0);
    EXPECT_EQ(r.rate, 0);
    EXPECT_EQ(r.program_file, "");
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(SettingsFiles, ReadsEveryFieldAndKeepsTheComBoxWhenAskedTo) {
    std::ofstream(customize_) << "[Com]\nComNo=12\n[Sound]\nSound=1\nErrorEnable=1\nErrorType=2\n"
                                 "ErrorPass=/snd/err.wav\nEndEnable=1\nEndType=0\nEndPass=" +
                                     std::string(270, 'e') + "\n[Tool]\nToolTips=1\n";
    CustomizeSettings s;
    std::string com = "7";
    ReadCustomizeSettings(customize_, false, s, com);
    EXPECT_EQ(com, "7");           // not read: the command line gave the port
    EXPECT_EQ(s.nComIndex, 0u);    // and the index is left to the caller
    ReadCustomizeSettings(customize_, true, s, com);
    EXPECT_EQ(com, "12");
    EXPECT_EQ(s.nComIndex, 11u);
    EXPECT_EQ(s.bErrorEnable, 1);
    EXPECT_EQ(s.nErrorType, 2);
    EXPECT_EQ(s.strErrorWave, "/snd/err.wav");
    EXPECT_EQ(s.strEndWave.size(), 260u);  // a longer path is cut to 260
    EXPECT_EQ(s.bToolTips, 1);
    EXPECT_EQ(CommandCaption(s.nComIndex), "Command  to  COM12");
}

TEST_F(SettingsFiles, AComNumberOutsideTheRangeCountsAsOne) {
    for (const char* value : {"0", "256", "-3", "abc"}) {
        std::ofstream(customize_) << "[Com]\nComNo=" << value << "\n";
        CustomizeSettings s;
        std::string com;
        ReadCustomizeSettings(customize_, true, s, com);
        EXPECT_EQ(s.nComIndex, 0u) << value;
        EXPECT_EQ(com, "1") << value;
    }
}

TEST_F(SettingsFiles, TheComBoxWritesOnlyNumbersFromOneTo255) {
    EXPECT_EQ(LeadingDecimal("30x"), 30);
    EXPECT_EQ(LeadingDecimal(""), 0);
    EXPECT_EQ(LeadingDecimal("x3"), 0);
    // Typing 3, 0, 0: the first two keystrokes write, the third does not.
    EXPECT_TRUE(WriteComNumber(customize_, "3"));
    EXPECT_TRUE(WriteComNumber(customize_, "30"));
    EXPECT_FALSE(WriteComNumber(customize_, "300"));
    EXPECT_FALSE(WriteComNumber(customize_, ""));
    EXPECT_FALSE(WriteComNumber(customize_, "0"));
    EXPECT_EQ(profile::GetString(customize_, "Com", "ComNo", ""), "30");
    EXPECT_TRUE(WriteComNumber(customize_, "12abc"));
    EXPECT_EQ(profile::GetString(customize_, "Com", "ComNo", ""), "12");
}

TEST_F(SettingsFiles, ComDevicesComeFromThePortMapOrTheSerialDefault) {
    EXPECT_EQ(ComDevicePath(customize_, 1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(customize_, 12), "/dev/ttyS11");
    std::ofstream(customize_) << "[Ports]\ncom3 = /dev/ttyUSB0\nCOM4=\n";
    EXPECT_EQ(ComDevicePath(customize_, 3), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(customize_, 4), "/dev/ttyS3");  // an empty entry maps nothing
}

TEST_F(SettingsFiles, MapAndUnmapTouchOnlyTheirPortEntry) {
    EXPECT_TRUE(UnmapComPort(customize_, 3));  // no file yet: nothing to remove
    EXPECT_FALSE(std::filesystem::exists(customize_));
    const std::string before = "; mine\r\n[Com]\r\nComNo=3\r\n[Ports]\r\nCOM1=/dev/ttyUSB1\r\ncom3=/dev/old\r\n"
                               "[Sound]\r\nCOM3=not a port\r\n";
    std::ofstream(customize_, std::ios::binary) << before;
    const std::string by_id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    ASSERT_TRUE(MapComPort(customize_, 3, by_id));
    EXPECT_EQ(ComDevicePath(customize_, 3), by_id);
    ASSERT_TRUE(MapComPort(customize_, 7, "/dev/ttyACM0"));
    EXPECT_EQ(ComDevicePath(customize_, 7), "/dev/ttyACM0");
    ASSERT_TRUE(UnmapComPort(customize_, 7));
    ASSERT_TRUE(UnmapComPort(customize_, 3));
    EXPECT_EQ(ComDevicePath(customize_, 3), "/dev/ttyS2");
    // Everything else is back byte for byte, [Sound]'s key of the same name included.
    std::ifstream in(customize_, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "; mine\r\n[Com]\r\nComNo=3\r\n[Ports]\r\nCOM1=/dev/ttyUSB1\r\n[Sound]\r\nCOM3=not a port\r\n");
}

TEST_F(SettingsFiles, RecentSelectionsRoundTripAndNegativesReadAsZero) {
    WriteRecent(datafile_, 2, -1, "/home/u/prog one.mot");
    RecentSelection r = ReadRecent(datafile_);
    EXPECT_EQ(r.target, 2);
    EXPECT_EQ(r.rate, 0);
    EXPECT_EQ(r.program_file, "/home/u/prog one.mot");
    std::ofstream(datafile_) << "[Recent]\nCPU=-4\nRATE=-2\n";
    r = ReadRecent(datafile_);
    EXPECT_EQ(r.target, 0);
    EXPECT_EQ(r.rate, 0);
}

TEST_F(SettingsFiles, TheRememberedTargetIsFoundByItsNameBeforeItsPosition) {
    WriteRecent(datafile_, 1, 0, "p.mot", "TQ7C01");
    EXPECT_EQ(ReadRecent(datafile_).target_name, "TQ7C01");
    const std::vector<std::string> names{"NEW", "TQ4A01", "TQ7C01"};
    const struct {
        int target;
        const char* name;
        int expected;
    } cases[] = {
        {1, "TQ7C01", 2},  // a section was added before it: the name wins
        {1, "tq7c01", 2},  // section names ignore case
        {1, "", 1},        // written before names were kept
        {2, "GONE", 2},    // no longer listed: the position
        {7, "GONE", 0},    // neither: the first entry
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecentTargetIndex({c.target, c.name, 0, ""}, names), c.expected) << c.target << c.name;
}

}  // namespace
}  // namespace mirelle
