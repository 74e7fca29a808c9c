// What a -p value stands for on Windows, and the names of a gang's logs:
// "COM3.TXT" would be the port itself there.
#include <gtest/gtest.h>

#include "cli/port_names.h"

namespace mirelle::cli {
namespace {

TEST(WindowsPortNames, ComPortsOnly) {
    const struct {
        const char* port;
        const char* device;
        int com;
        const char* log;
    } cases[] = {
        {"COM3", "\\\\.\\COM3", 3, "COM3-LOG.TXT"},
        {"com3", "\\\\.\\COM3", 3, "COM3-LOG.TXT"},  // the same port, so the same log: refused
        {"\\\\.\\COM12", "\\\\.\\COM12", 12, "COM12-LOG.TXT"},
        {"COM255", "\\\\.\\COM255", 255, "COM255-LOG.TXT"},
        {"COM256", "", 0, "COM256-LOG.TXT"},
        {"COM0", "", 0, "COM0-LOG.TXT"},
        {"COM03", "", 0, "COM03-LOG.TXT"},
        {"/dev/ttyUSB0", "", 0, "ttyUSB0-LOG.TXT"},
    };
    for (const auto& c : cases) {
        const PortTarget t = ResolvePort("Customize.ini", c.port);
        EXPECT_EQ(t.device, c.device) << c.port;
        EXPECT_EQ(t.com_number, c.com) << c.port;
        EXPECT_EQ(GangLogName(c.port), c.log) << c.port;
    }
    EXPECT_FALSE(PortMapExists());
}

}  // namespace
}  // namespace mirelle::cli
