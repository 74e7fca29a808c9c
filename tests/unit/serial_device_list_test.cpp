// The serial devices of the system over a fake sysfs and /dev tree: as
// `mirelle-cli ports` lists them and as the hint names them for a user who
// maps a COM number; and the reason given when a device does not open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iomanip>

#include "serial/device_list.h"
#include "serial/uucp_lock.h"
#include "support/program_folder.h"

namespace mirelle {
namespace {

namespace fs = std::filesystem;

class SerialDeviceListTest : public test::ProgramFolderTest {
protected:
    SerialDeviceListTest() : ProgramFolderTest("mirelle-serial-devices-") {}

    // A tty class entry: with a "device" link when it has hardware, and the
    // port type of a UART when given.
    void SysEntry(const std::string& name, bool device, const char* type = nullptr) {
        fs::create_directories(DirPath() / "sys/class/tty" / name);
        if (device) fs::create_directories(DirPath() / "sys/class/tty" / name / "device");
        if (type) WriteFile("sys/class/tty/" + name + "/type", type);
    }
};

TEST_F(SerialDeviceListTest, ListsRealDevicesWithTheirStableNames) {
    fs::create_directories(DirPath() / "dev/serial/by-id");
    for (const char* node : {"ttyS0", "ttyS1", "tty0", "ttyUSB0", "ttyACM0"}) WriteFile(std::string("dev/") + node, "");
    fs::create_symlink("../../ttyUSB0", DirPath() / "dev/serial/by-id/usb-FTDI_A-if00-port0");
    SysEntry("ttyS0", true, "4\n");
    SysEntry("ttyS1", true, "0\n");  // a UART node without hardware
    SysEntry("tty0", false);         // a virtual console
    SysEntry("ttyUSB0", true);
    SysEntry("ttyUSB1", true);       // in sysfs but without a device node
    SysEntry("ttyACM0", true);
    const std::string dev = Dir() + "dev/";
    const std::vector<std::string> expected = {dev + "ttyACM0", dev + "ttyS0",
                                               dev + "ttyUSB0 (" + dev + "serial/by-id/usb-FTDI_A-if00-port0)"};
    EXPECT_EQ(serial::SerialDeviceNames({Dir() + "sys", dev}), expected);
    EXPECT_TRUE(serial::SerialDeviceNames({Dir() + "nothing", Dir() + "nothing/"}).empty());
}

TEST_F(SerialDeviceListTest, TellsAMissingDeviceAndOneTheUserMayNotOpen) {
    std::string group;
    EXPECT_EQ(serial::DiagnoseOpenFailure(Dir() + "ttyUSB9", group), serial::OpenProblem::Missing);
    EXPECT_EQ(group, "dialout");
    WriteFile("ttyUSB0", "");
    fs::permissions(DirPath() / "ttyUSB0", fs::perms::none);
    // Root opens anything, so the permission case shows only for other users.
    EXPECT_EQ(serial::DiagnoseOpenFailure(Dir() + "ttyUSB0", group),
              ::geteuid() == 0 ? serial::OpenProblem::Other : serial::OpenProblem::NoPermission);

    const std::string line = serial::PortProblemText(3, Dir() + "ttyUSB9");
    EXPECT_EQ(line.rfind("COM3 is " + Dir() + "ttyUSB9, which does not exist; ", 0), 0u) << line;
    EXPECT_NE(line.find("; map one with: mirelle-cli ports --map 3 DEVICE"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(PortListing, FakeSysfsTree) {
    const fs::path root = fs::temp_directory_path() / ("mirelle-ports-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path usb = root / "sys/devices/usb1/1-1";
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "serial") << "A1B2\n";
    fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
    fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", usb / "1-1:1.0/ttyUSB0/driver");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_directory_symlink(usb / "1-1:1.0/ttyUSB0", root / "sys/class/tty/ttyUSB0/device");
    fs::create_directories(root / "sys/class/tty/tty1");  // a virtual terminal: no device
    fs::create_directories(root / "sys/devices/platform/serial8250/ttyS0");
    fs::create_directories(root / "sys/class/tty/ttyS0");
    fs::create_directory_symlink(root / "sys/devices/platform/serial8250/ttyS0", root / "sys/class/tty/ttyS0/device");
    std::ofstream(root / "sys/class/tty/ttyS0/type") << "0\n";  // no hardware behind it
    fs::create_directories(root / "dev/serial/by-id");
    std::ofstream(root / "dev/ttyUSB0");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_A1B2-if00-port0");

    const std::string ini = "[Ports]\r\nCOM3=" + (root / "dev/ttyUSB0").string() + "\r\nCOM9=/dev/nothing\r\n";
    const auto devices = serial::ListSerialDevices({(root / "sys").string(), (root / "dev").string()}, ini);
    ASSERT_EQ(devices.size(), 2u);
    const serial::SerialDevice& nothing = devices[0];
    EXPECT_EQ(nothing.path, "/dev/nothing");
    EXPECT_FALSE(nothing.can_open);
    EXPECT_EQ(nothing.com_names, std::vector<std::string>{"COM9"});
    const serial::SerialDevice& d = devices[1];
    EXPECT_EQ(d.path, (root / "dev/ttyUSB0").string());
    EXPECT_EQ(d.usb_id, "0403:6001");
    EXPECT_EQ(d.serial_number, "A1B2");
    EXPECT_EQ(d.driver, "ftdi_sio");
    ASSERT_EQ(d.by_id.size(), 1u);
    EXPECT_EQ(d.com_names, std::vector<std::string>{"COM3"});
    EXPECT_TRUE(d.can_open);  // a plain file stands for the device
    const std::string json = serial::FormatSerialDevices(devices, true);
    EXPECT_NE(json.find("\"usb_id\":\"0403:6001\""), std::string::npos) << json;
    fs::remove_all(root);
}

// The listing's text is read by people and its JSON by scripts: both stay
// as they are, field by field.
TEST(PortListing, TextAndJsonForms) {
    serial::SerialDevice usb;
    usb.path = "/dev/ttyUSB0";
    usb.by_id = {"/dev/serial/by-id/a", "/dev/serial/by-id/b"};
    usb.usb_id = "0403:6001";
    usb.serial_number = "A1B2";
    usb.driver = "ftdi_sio";
    usb.can_open = true;
    usb.com_names = {"COM3", "COM4"};
    serial::SerialDevice com;
    com.path = "\\\\.\\COM3";
    com.system_device = "\\Device\\Serial0";
    com.open_error = "in use by another program";
    com.com_names = {"COM3"};
    const struct {
        std::vector<serial::SerialDevice> devices;
        bool json;
        std::string text;
    } cases[] = {
        {{usb}, false,
         "/dev/ttyUSB0  (COM3, COM4)\n  by-id:   /dev/serial/by-id/a\n  by-id:   /dev/serial/by-id/b\n"
         "  usb:     0403:6001  serial A1B2\n  driver:  ftdi_sio\n  open:    yes\n"},
        {{com}, false, "\\\\.\\COM3  (COM3)\n  device:  \\Device\\Serial0\n  open:    no, in use by another program\n"},
        {{usb}, true,
         "{\"event\":\"port\",\"path\":\"/dev/ttyUSB0\",\"by_id\":[\"/dev/serial/by-id/a\",\"/dev/serial/by-id/b\"],"
         "\"usb_id\":\"0403:6001\",\"serial\":\"A1B2\",\"driver\":\"ftdi_sio\",\"can_open\":true,\"com\":[\"COM3\",\"COM4\"]}\n"},
        {{com}, true,
         "{\"event\":\"port\",\"path\":\"\\\\\\\\.\\\\COM3\",\"by_id\":[],\"usb_id\":\"\",\"serial\":\"\",\"driver\":\"\","
         "\"device\":\"\\\\Device\\\\Serial0\",\"can_open\":false,\"open_error\":\"in use by another program\",\"com\":[\"COM3\"]}\n"},
        {{}, false, "no serial devices found\n"},
        {{}, true, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(serial::FormatSerialDevices(c.devices, c.json), c.text);
}

// What mirelle-cli prints under a port that would not open: the device and
// the system's reason, with the one advice about the group for a refused
// permission.
TEST_F(SerialDeviceListTest, TellsWhyADeviceDidNotOpen) {
    WriteFile("ttyUSB0", "");
    const struct {
        std::string device;
        std::string text;
    } cases[] = {
        {Dir() + "ttyUSB9", Dir() + "ttyUSB9: No such file or directory"},
        {Dir() + "ttyUSB0", Dir() + "ttyUSB0: opened, but the port refused its settings"},
    };
    for (const auto& c : cases) EXPECT_EQ(serial::DeviceProblemText(c.device), c.text);
    EXPECT_EQ(serial::GroupAdvice("uucp"), "the user must be in the group uucp (sudo usermod -aG uucp $USER, then log in again)");
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

TEST_F(SerialDeviceListTest, APortThatIsNoSerialPortOrIsHeldIsToldSo) {
    WriteFile("plain", "");
    const std::string held = Dir() + "held";
    // A live lock file names its owner (this test's parent: alive, not us).
    fs::create_directories(DirPath() / "lock");
    std::ofstream(DirPath() / "lock" / serial::UucpLockName(held)) << std::setw(10) << ::getppid() << "\n";
    std::string lock_path;
    EXPECT_EQ(serial::LockHolder(held, lock_path, {Dir() + "lock"}), ::getppid());
    EXPECT_EQ(lock_path, Dir() + "lock/" + serial::UucpLockName(held));
    const struct {
        std::string device;
        std::string text;
    } cases[] = {
        {Dir() + "plain", Dir() + "plain: is not a serial port (not a character device)"},
        {"/dev/null", "/dev/null: is not a serial port (not a terminal device)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(serial::PortFailureText(c.device, 3, true), c.text);
        EXPECT_EQ(serial::PortProblemText(3, c.device), "COM3 is " + c.text.substr(0, c.text.find(':')) + ", which" +
                                                            c.text.substr(c.text.find(':') + 1));
    }
    EXPECT_NE(serial::PortFailureText(Dir() + "missing", 3, true).find("--map 3 DEVICE"), std::string::npos);
}

}  // namespace
}  // namespace mirelle
