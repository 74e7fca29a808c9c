// mirelle-cli's argument parser: options on either side of the command,
// operands, and the command lines it must refuse.
#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "texts/result_codes.h"

namespace mirelle::cli {
namespace {

TEST(CliOptions, OptionsBeforeAndAfterTheCommand) {
    const ParseResult r = ParseArguments({"--home", "/h", "program", "a.mot", "-p", "COM3", "--port=/dev/ttyUSB0",
                                          "--target", "TQ4A01", "--json", "-q", "--clock=1"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.command, Command::Program);
    EXPECT_EQ(r.options.file, "a.mot");
    EXPECT_EQ(*r.options.home, "/h");
    EXPECT_EQ(r.options.ports, (std::vector<std::string>{"COM3", "/dev/ttyUSB0"}));
    EXPECT_EQ(*r.options.target, "TQ4A01");
    EXPECT_EQ(*r.options.clock, "1");
    EXPECT_TRUE(r.options.json && r.options.quiet);
}

TEST(CliOptions, CommandOperands) {
    EXPECT_TRUE(ParseArguments({"read", "out.hex", "--format", "ihex"}).options.intel_hex);
    EXPECT_FALSE(ParseArguments({"read", "out.mhx", "--format", "srec"}).options.intel_hex);
    EXPECT_EQ(ParseArguments({"checksum", "f.mot", "--fill", "00"}).options.fill, 0x00);
    EXPECT_EQ(ParseArguments({"checksum", "f.mot"}).options.fill, 0xFF);
    EXPECT_TRUE(ParseArguments({"--help"}).options.help);
}

TEST(CliOptions, ReadOfAPartRateVerboseAndTrace) {
    const Options o = ParseArguments({"read", "p.bin", "--format", "bin", "--start", "0x80000", "--length", "4k", "-b",
                                      "115200", "-v", "--trace", "t.txt"})
                          .options;
    EXPECT_TRUE(o.binary);
    EXPECT_EQ(*o.start, 0x80000u);
    EXPECT_EQ(*o.length, 4096u);
    EXPECT_EQ(*o.baud, 115200u);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(*o.trace, "t.txt");
}

TEST(CliOptions, NumbersOfAddressesAndLengths) {
    const struct {
        const char* text;
        std::optional<std::uint64_t> value;
    } cases[] = {
        {"524288", 524288}, {"0x80000", 0x80000}, {"0X7fff", 0x7FFF}, {"512k", 512 * 1024}, {"1M", 1 << 20},
        {"0xFFFFFFFF", 0xFFFFFFFFu}, {"4294967296", std::uint64_t{1} << 32}, {"4294967297", std::nullopt},
        {"0x", std::nullopt}, {"", std::nullopt}, {"12z", std::nullopt}, {"-1", std::nullopt}, {"0x1G", std::nullopt},
        {"8192M", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.text), c.value) << c.text;
}

TEST(CliOptions, ABinarysOffsetAndTheFileFormat) {
    const Options bin = ParseArguments({"program", "boot.BIN", "--offset", "0x8000"}).options;
    EXPECT_EQ(bin.offset, 0x8000u);
    const Options dec = ParseArguments({"--offset=4096", "verify", "image.dat", "--format", "bin"}).options;
    EXPECT_EQ(dec.offset, 4096u);
    EXPECT_EQ(dec.file_format, "bin");
    EXPECT_EQ(ParseArguments({"checksum", "fw.out", "--format", "elf"}).options.file_format, "elf");
    const struct {
        std::vector<std::string> args;
        const char* error;
    } refused[] = {
        {{"program", "fw.elf", "--offset", "0x8000"}, "--offset is for a raw binary (a *.bin file or --format bin)"},
        {{"program", "a.bin", "--offset", "0x1G"}, "--offset takes an address (0x hex or decimal, at most 0xFFFFFFFF), not 0x1G"},
        {{"erase", "--offset", "0"}, "--offset belongs to checksum, program and verify"},
        {{"program", "a.bin", "--format", "raw"}, "--format of a program file is srec, ihex, elf or bin, not raw"},
    };
    for (const auto& r : refused) EXPECT_EQ(ParseArguments(r.args).error, r.error) << r.args[1];
}

TEST(CliOptions, BootSequencesAndNetworkPorts) {
    const ParseResult r = ParseArguments({"program", "f", "-p", "rfc2217://box:2217", "--before", "D1 R1 W100 D0",
                                          "--after=", "-p", "socket://box:4001"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(*r.options.before, "D1 R1 W100 D0");
    EXPECT_EQ(*r.options.after, "");  // given empty: none, whatever CHIPDEF.INI says
    EXPECT_EQ(r.options.ports, (std::vector<std::string>{"rfc2217://box:2217", "socket://box:4001"}));
    EXPECT_NE(ParseArguments({"erase", "--before", "D1 X1"}).error.find("\"X1\""), std::string::npos);
}

TEST(CliOptions, PortMapping) {
    const Options map = ParseArguments({"ports", "--map", "COM3", "/dev/serial/by-id/usb-FTDI_A"}).options;
    EXPECT_EQ(map.map_com, 3);
    EXPECT_EQ(map.map_device, "/dev/serial/by-id/usb-FTDI_A");
    EXPECT_EQ(ParseArguments({"--unmap=12", "ports"}).options.unmap_com, 12);
}

TEST(CliOptions, RefusedCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},                                          // no command
        {"flash"},                                   // unknown command
        {"program"},                                 // no file
        {"erase", "extra"},                          // operand too many
        {"erase", "--bogus"},                        // unknown option
        {"erase", "--target"},                       // value missing
        {"read", "o", "--format", "elf"},            // unknown format
        {"erase", "--format", "srec"},               // option of another command
        {"checksum", "f", "--fill", "1FF"},          // not one byte
        {"program", "f", "-p", "COM1", "-p", "COM1"},  // port named twice
        {"verify", "f", "-p", "COM1", "-p", "COM2"},   // gang is for program only
        {"program", "f", "-p", "COM1", "-p", "COM2", "--log", "x"},
        {"ports", "--map", "3"},                     // no device
        {"ports", "--map", "0", "/dev/ttyUSB0"},     // no COM0
        {"ports", "--unmap", "256"},
        {"ports", "--unmap", "3", "/dev/x"},         // operand too many
        {"erase", "--unmap", "3"},                   // option of another command
        {"ports", "--map", "3", "/dev/x", "--unmap", "4"},
        {"erase", "-p", "COM0"},                     // no port, not a file "COM0" either
        {"erase", "-p", "com256"},
        {"program", "f", "-p", "COM1", "-p", "COM2:"},
        {"read", "o", "--start", "0x80000"},                      // no length
        {"read", "o", "--start", "0x80000", "--length", "0"},     // nothing to read
        {"read", "o", "--start", "0xFFFFFF00", "--length", "0x101"},  // past the address space
        {"verify", "f", "--start", "0", "--length", "1"},         // read only
        {"erase", "-b", "fast"},
        {"erase", "-v", "-q"},
        {"program", "f", "-p", "COM1", "-p", "COM2", "--trace", "t"},  // one trace, one port
        {"program", "f", "--before", "D1 X1"},         // a bad step
        {"program", "f", "--after", "W"},
        {"program", "f", "--before", "D1", "--reset-prompt"},  // two ways to reset the board
    };
    for (const auto& args : bad) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_FALSE(ParseArguments(args).ok()) << line;
    }
}

TEST(CliExitStatus, Categories) {
    using namespace exit_status;
    const struct {
        int code;
        bool file_failed;
        int signal;
        int status;
    } cases[] = {
        {result::kFullOperationDone, false, 0, kSuccess}, {result::kCopied, false, 0, kSuccess},
        {result::kEraseError, false, 0, kChipFailed},     {result::kDifference, false, 0, kChipFailed},
        {result::kNotBlank, false, 0, kChipFailed},       {-1, false, 0, kChipFailed},
        {0, true, 0, kProgramFile},                       {result::kNoHexFile, false, 0, kProgramFile},
        {result::kCannotOpenPort, false, 0, kPort},       {result::kCannotChangePortSettings, false, 0, kPort},
        {result::kTimeout, false, 0, kNoAnswer},          {result::kCannotOpenDownloadFile, false, 0, kUsage},
        {result::kTimeout, false, 15, kInterrupted},
    };
    for (const auto& c : cases) EXPECT_EQ(FromOutcome(c.code, c.file_failed, c.signal), c.status) << c.code;
}

}  // namespace
}  // namespace mirelle::cli
