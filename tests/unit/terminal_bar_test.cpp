// The text of the terminal progress bar: its cells for a control's range,
// the redraw over a longer old line, and the tenths that plain output prints.
#include "platform/terminal_bar.h"

#include <gtest/gtest.h>

namespace mirelle::sys {
namespace {

TEST(TerminalBar, CellsFollowThePositionInTheRange) {
    const struct {
        int lower, upper, position;
        const char* line;
        int tenth;
    } cases[] = {
        {0, 4, 2, "[###############...............]  c", 5},
        {0, 3, 1, "[##########....................]  c", 3},   // rounded down
        {4, 0, 1, "[#######.......................]  c", 2},   // the range either way round
        {10, 20, 20, "[##############################]  c", 10},
        {10, 20, 5, "[..............................]  c", 0},   // below the range: clamped
        {7, 7, 7, "[..............................]  c", 0},    // an empty range
    };
    for (const auto& c : cases) {
        const BarProgress p = ProgressInRange(c.lower, c.upper, c.position);
        EXPECT_EQ(BarLine(p, "c"), c.line) << c.lower << ".." << c.upper << " at " << c.position;
        EXPECT_EQ(BarTenth(p), c.tenth) << c.lower << ".." << c.upper << " at " << c.position;
    }
    EXPECT_EQ(BarLine({1, 2}, BarCount(1, 2), 4), "[##..]  1 / 2");
}

TEST(TerminalBar, RedrawBlanksWhatALongerOldLineLeaves) {
    EXPECT_EQ(BarRedraw("", "[#.]  1 / 2"), "\r[#.]  1 / 2");
    EXPECT_EQ(BarRedraw("[#.]  10 / 20", "[#.]  1 / 2"), "\r[#.]  1 / 2  ");
    EXPECT_EQ(BarRedraw("[#.]  1 / 2", "[#.]  1 / 2"), "");
}

}  // namespace
}  // namespace mirelle::sys
