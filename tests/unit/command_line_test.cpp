#include <gtest/gtest.h>

#include "app/operations/command_line.h"

namespace mirelle {
namespace {

TEST(CommandLine, NoArgumentsIsInteractiveWithReset) {
    CommandLine cl = ParseCommandLine({});
    EXPECT_FALSE(cl.command_line_mode);
    EXPECT_TRUE(cl.use_reset);
    EXPECT_TRUE(cl.show_progress);
    EXPECT_FALSE(cl.com_number.has_value());
}

TEST(CommandLine, ProgramFileAloneKeepsTheSettingsPortAndReset) {
    CommandLine cl = ParseCommandLine({"C:\\work\\app.mhx"});
    EXPECT_TRUE(cl.command_line_mode);
    EXPECT_EQ(cl.program_file, "C:\\work\\app.mhx");
    EXPECT_FALSE(cl.com_number.has_value());
    EXPECT_TRUE(cl.use_reset);
}

TEST(CommandLine, PortsInPositionsTwoAndThree) {
    EXPECT_EQ(ParseCommandLine({"f", "com3", "no_dialog"}).com_number, 3);
    EXPECT_EQ(ParseCommandLine({"f", "COM64"}).com_number, 64);
    EXPECT_EQ(ParseCommandLine({"f", "com5", "com3"}).com_number, 3);  // the lower number wins
    EXPECT_EQ(ParseCommandLine({"f", "reset", "Com12"}).com_number, 12);
    EXPECT_EQ(ParseCommandLine({"f", "fast"}).com_number, 1);             // no port named: COM1
    EXPECT_EQ(ParseCommandLine({"f", "x", "y", "com9"}).com_number, 1);   // position 4 does not count
}

TEST(CommandLine, EveryPortOfTheComBoxRangeAndNoOtherNumber) {
    const struct {
        std::vector<std::string> args;
        int port;
        const char* bad_word;
    } cases[] = {
        {{"f", "com65"}, 65, ""},
        {{"f", "com255"}, 255, ""},
        {{"f", "no_dialog", "COM70"}, 70, ""},
        {{"f", "com03"}, 3, ""},
        {{"f", "com200", "com70"}, 70, ""},
        {{"f", "com0"}, 1, "com0"},
        {{"f", "com256"}, 1, "com256"},
        {{"f", "com70", "COM300"}, 70, "COM300"},
        {{"f", "reset", "no_dialog", "com99999999999999999999"}, 1, "com99999999999999999999"},
        {{"f", "com"}, 1, ""},      // no number: see WordsMeantAsPorts
        {{"f", "com7a"}, 1, ""},
        {{"f", "comX", "com-1"}, 1, ""},
    };
    for (const auto& c : cases) {
        const CommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(cl.com_number, c.port) << c.args[1];
        EXPECT_EQ(cl.bad_port_word, c.bad_word) << c.args[1];
    }
}

TEST(CommandLine, WordsMeantAsPortsThatNameNoneStopTheRun) {
    const struct {
        std::vector<std::string> args;
        const char* error;  // "" when the run may start
    } cases[] = {
        {{"f", "COM2:"}, "COM2: names no port (com1 to com255)"},
        {{"f", "no_dialog", "com 2"}, "com 2 names no port (com1 to com255)"},
        {{"f", "com2x"}, "com2x names no port (com1 to com255)"},
        {{"f", "Com"}, "Com names no port (com1 to com255)"},
        {{"f", "com0"}, "com0 names no port (com1 to com255)"},
        {{"f", "/dev/ttyUSB1"}, "/dev/ttyUSB1 names no port: a device is named as comN through [Ports] of Customize.ini"},
        {{"f", "\\\\.\\COM2"}, "\\\\.\\COM2 names no port: a device is named as comN through [Ports] of Customize.ini"},
        {{"f", "no_dialog", "no_reset", "com2"},
         "com2 comes too late to name the port (it is word 2 or 3 after the program)"},
        {{"f", "no_dialog"}, ""},  // words that are no port still run on COM1
        {{"f", "com2", "no_dialog", "reset", "fast"}, ""},
        {{"/dev/data/f.mot", "com2"}, ""},  // the program file may be any path
    };
    for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.args).port_word_error, c.error) << c.args.back();
}

TEST(CommandLine, OffsetWordGivesABinarysStartAddress) {
    const struct {
        std::vector<std::string> args;
        std::optional<std::uint32_t> start;
        bool error;
    } cases[] = {
        {{"f.bin", "com2", "offset=0x8000"}, 0x8000, false},
        {{"f.bin", "OFFSET=4096", "no_dialog"}, 4096, false},
        {{"f.bin", "com2"}, std::nullopt, false},
        {{"f.bin", "offset="}, std::nullopt, true},
        {{"f.bin", "offset=0x100000000"}, std::nullopt, true},
        {{"f.bin", "offset=8000h"}, std::nullopt, true},
    };
    for (const auto& c : cases) {
        const CommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(cl.binary_start, c.start) << c.args[1];
        EXPECT_EQ(!cl.offset_error.empty(), c.error) << c.args[1];
        EXPECT_EQ(cl.port_word_error, "") << c.args[1];  // an offset word is no port word
    }
    EXPECT_EQ(ParseCommandLine({"f.bin", "com3", "offset=0x8000"}).com_number, 3);
}

TEST(CommandLine, NoDialogAnywhereFromPositionTwo) {
    EXPECT_FALSE(ParseCommandLine({"f", "com2", "reset", "NO_DIALOG"}).show_progress);
    EXPECT_TRUE(ParseCommandLine({"no_dialog"}).show_progress);  // position 1 is the file
}

TEST(CommandLine, FirstOfResetAndNoResetCounts) {
    EXPECT_TRUE(ParseCommandLine({"f", "com2", "reset", "no_reset"}).use_reset);
    EXPECT_FALSE(ParseCommandLine({"f", "com2", "no_reset", "reset"}).use_reset);
    EXPECT_TRUE(ParseCommandLine({"f", "Reset"}).use_reset);
    EXPECT_FALSE(ParseCommandLine({"f", "com2"}).use_reset);  // neither: no_reset
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

TEST(CommandLine, HelpAndVersionAsTheOnlyWordUnlessAFileHasThatName) {
    const struct {
        std::vector<std::string> args;
        bool file;
        InfoRequest request;
    } cases[] = {
        {{"--help"}, false, InfoRequest::kUsage},     {{"-h"}, false, InfoRequest::kUsage},
        {{"--version"}, false, InfoRequest::kVersion}, {{"--help"}, true, InfoRequest::kNone},
        {{"--help", "com1"}, false, InfoRequest::kNone}, {{"blinky.mot"}, false, InfoRequest::kNone},
        {{}, false, InfoRequest::kNone},
    };
    for (const auto& c : cases) EXPECT_EQ(InfoRequestOf(c.args, c.file), c.request) << c.args.size();
    EXPECT_NE(MirelleUsageText().find("usage: mirelle [PROGRAM-FILE"), std::string::npos);
}

TEST(CommandLine, StationTakesExactlyOneJobFile) {
    const struct {
        std::vector<std::string> args;
        bool file;
        std::optional<std::string> job;  // "" : --station without its one job file
    } cases[] = {
        {{"--station", "line-a.job"}, false, "line-a.job"},
        {{"--station"}, false, ""},
        {{"--station", "a.job", "b.job"}, false, ""},
        {{"--station", "line-a.job"}, true, std::nullopt},  // a program file named --station
        {{"blinky.mot", "--station"}, false, std::nullopt},
        {{}, false, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(StationJobOf(c.args, c.file), c.job) << c.args.size();
}

}  // namespace
}  // namespace mirelle
