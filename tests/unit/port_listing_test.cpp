// The port listing over a fake sysfs and /dev tree.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/port_listing.h"

namespace mirelle::cli {
namespace {

namespace fs = std::filesystem;

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
    const auto devices = ListSerialDevices({(root / "sys").string(), (root / "dev").string()}, ini);
    ASSERT_EQ(devices.size(), 2u);
    const SerialDevice& nothing = devices[0];
    EXPECT_EQ(nothing.path, "/dev/nothing");
    EXPECT_FALSE(nothing.can_open);
    EXPECT_EQ(nothing.com_names, std::vector<std::string>{"COM9"});
    const SerialDevice& d = devices[1];
    EXPECT_EQ(d.path, (root / "dev/ttyUSB0").string());
    EXPECT_EQ(d.usb_id, "0403:6001");
    EXPECT_EQ(d.serial_number, "A1B2");
    EXPECT_EQ(d.driver, "ftdi_sio");
    ASSERT_EQ(d.by_id.size(), 1u);
    EXPECT_EQ(d.com_names, std::vector<std::string>{"COM3"});
    EXPECT_TRUE(d.can_open);  // a plain file stands for the device
    const std::string json = FormatSerialDevices(devices, true);
    EXPECT_NE(json.find("\"usb_id\":\"0403:6001\""), std::string::npos) << json;
    fs::remove_all(root);
}

}  // namespace
}  // namespace mirelle::cli
