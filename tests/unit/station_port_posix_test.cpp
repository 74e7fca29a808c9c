// The device a station slot's port identity stands for, and why there is
// none: a path, a COM number through the [Ports] map, a USB serial number,
// a network port.
#include <gtest/gtest.h>

#include <fstream>

#include "station/board_detection.h"
#include "support/program_folder.h"

namespace mirelle::test {
namespace {

class StationPort : public ProgramFolderTest {
protected:
    StationPort() : ProgramFolderTest("mirelle-slotport-") {}
};

TEST_F(StationPort, EachIdentityResolvesToItsDeviceOrSaysWhyNot) {
    WriteFile("ttyFAKE", "");
    WriteFile("Customize.ini", "[Ports]\r\nCOM3=" + Dir() + "ttyFAKE\r\nCOM4=" + Dir() + "ttyGONE\r\n");
    struct Case {
        std::string identity, device;
        int com;
        std::string problem;
    };
    const Case cases[] = {
        {Dir() + "ttyFAKE", Dir() + "ttyFAKE", 0, ""},
        {"com3", Dir() + "ttyFAKE", 3, ""},
        {"rfc2217://127.0.0.1:4001", "rfc2217://127.0.0.1:4001", 0, ""},
        {Dir() + "ttyGONE", "", 0, "port " + Dir() + "ttyGONE is not there"},
        {"COM4", "", 4, "port COM4 (" + Dir() + "ttyGONE) is not there"},
        {"usb:NO-SUCH-ADAPTER", "", 0, "port usb:NO-SUCH-ADAPTER is not there (no USB adapter with that serial number)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identity);
        const station::PortPlace place = station::ResolveSlotPort(c.identity, Dir() + "Customize.ini");
        EXPECT_EQ(place.device, c.device);
        EXPECT_EQ(place.com_number, c.com);
        EXPECT_EQ(place.problem, c.problem);
        EXPECT_EQ(station::PortPresent(place), !c.device.empty());
    }
}

}  // namespace
}  // namespace mirelle::test
