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
    EXPECT_EQ(ParseCommandLine({"f", "com65"}).com_number, 1);            // beyond the names tried
    EXPECT_EQ(ParseCommandLine({"f", "com03"}).com_number, 1);            // names match exactly
    EXPECT_EQ(ParseCommandLine({"f", "x", "y", "com9"}).com_number, 1);   // position 4 does not count
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
