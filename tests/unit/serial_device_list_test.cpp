// The serial devices listed for a user who maps a COM number, and the reason
// given when a device does not open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "serial/device_list.h"
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
        fs::create_directories(DirPath() / "sys" / name);
        if (device) fs::create_directories(DirPath() / "sys" / name / "device");
        if (type) WriteFile("sys/" + name + "/type", type);
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
    EXPECT_EQ(serial::ListSerialDevices(dev, Dir() + "sys"), expected);
    EXPECT_TRUE(serial::ListSerialDevices(Dir() + "nothing/", Dir() + "nothing").empty());
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

}  // namespace
}  // namespace mirelle
