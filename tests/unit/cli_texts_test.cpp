// mirelle-cli's own lines: the summary after a command, the progress line,
// the first bytes of a file of neither format, and the choices of the working
// rate and of the only serial device.
#include <gtest/gtest.h>

#include "cli/cli_texts.h"

namespace mirelle::cli {
namespace {

TEST(CliTexts, SummaryLines) {
    const struct {
        Summary summary;
        const char* line;
    } cases[] = {
        {{"programmed", 6183, {}, {}, "", 7.5, {"13 blocks", "115200 baud"}},
         "programmed 6183 bytes in 7.5 s (13 blocks, 115200 baud, 824 bytes/s)"},
        {{"read", 4096, 0x80000u, 0x80FFFu, "out.bin", 0.25, {"8 blocks"}},
         "read 4096 bytes at 0x00080000-0x00080FFF into out.bin in 0.2 s (8 blocks, 16384 bytes/s)"},
        // No time measured (a virtual clock): no rate, and nothing in brackets.
        {{"erased", 1, {}, {}, "", 0, {}}, "erased 1 byte in 0.0 s"},
    };
    for (const auto& c : cases) EXPECT_EQ(SummaryLine(c.summary), c.line);
}

TEST(CliTexts, ProgressLinesAndStepTexts) {
    EXPECT_EQ(ProgressLine("Programming", 42, false), "Programming 42%");
    EXPECT_EQ(ProgressLine("Copying", 50, true), "Copying [###############...............] 50%");
    EXPECT_EQ(ProgressLine("Erasing", 130, false), "Erasing 100%");
    EXPECT_EQ(SingleSpaced(" Full Operation -  Decoding\tHexFile \r\n"), "Full Operation - Decoding HexFile");
}

TEST(CliTexts, FirstBytesOfAFileOfNeitherFormat) {
    EXPECT_EQ(FirstBytesText("hello\n"), "68 65 6C 6C 6F 0A (\"hello.\")");
    EXPECT_EQ(FirstBytesText(std::string("\x7F" "ELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03", 17)),
              "7F 45 4C 46 02 01 01 00 00 00 00 00 00 00 00 00 (\".ELF............\")");
    EXPECT_EQ(FirstBytesText(""), "no bytes");
}

TEST(CliTexts, TheWorkingRateChoosesTheClockEntry) {
    const std::vector<std::string> clocks{"10MHz", "12MHz", "16MHz"};
    const std::vector<std::optional<std::uint32_t>> rates{19200, 19200, 38400};
    const struct {
        int current;
        bool clock_given;
        std::uint32_t wanted;
        int index;
        const char* error;
    } cases[] = {
        {1, false, 19200, 1, ""},  // the remembered entry works at it: kept
        {0, false, 38400, 2, ""},  // another entry: the first that works at it
        {0, false, 115200, -1, "TQ4A01 works at 19200 (10MHz), 19200 (12MHz), 38400 (16MHz) baud, not 115200"},
        {0, true, 38400, -1, "the clock 10MHz of TQ4A01 works at 19200 baud, not 38400"},
    };
    for (const auto& c : cases) {
        const RateChoice choice = ChooseWorkingRate("TQ4A01", clocks, rates, c.current, c.clock_given, c.wanted);
        EXPECT_EQ(choice.index, c.index) << c.wanted;
        EXPECT_EQ(choice.error, c.error) << c.wanted;
    }
}

TEST(CliTexts, TheOnlySerialDeviceIsTakenAndSeveralAreListed) {
    EXPECT_EQ(ChooseOnlyPort({"/dev/ttyUSB0"}).device, "/dev/ttyUSB0");
    EXPECT_EQ(ChooseOnlyPort({"/dev/ttyUSB0"}).note, "using /dev/ttyUSB0, the only serial device (-p names another)");
    const PortChoice two = ChooseOnlyPort({"/dev/ttyACM0", "/dev/ttyUSB0"});
    EXPECT_EQ(two.device, "");
    EXPECT_EQ(two.error,
              "no port given and no COM port set, and there are 2 serial devices: /dev/ttyACM0, /dev/ttyUSB0; name one with -p");
    const PortChoice none = ChooseOnlyPort({});
    EXPECT_TRUE(none.device.empty() && none.error.empty());
}

}  // namespace
}  // namespace mirelle::cli
