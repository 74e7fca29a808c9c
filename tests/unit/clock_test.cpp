// The virtual clock: sleeping moves time at once, the calendar carries over
// day, month and leap-year ends, and the tick counter wraps like a 32-bit one.
#include "platform/clock.h"

#include <gtest/gtest.h>

namespace mirelle {
namespace {

TEST(VirtualClockTest, SleepAdvancesTheTickAndTheCalendar) {
    VirtualClock clock({2028, 2, 28, 23, 59, 59, 500});
    clock.SleepMs(250);
    EXPECT_EQ(clock.TickMs(), 250u);
    EXPECT_EQ(clock.Now().millisecond, 750);
    clock.SleepMs(250);
    const LocalTime leap = clock.Now();
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(leap.hour, 0);
    EXPECT_EQ(leap.second, 0);
    EXPECT_EQ(leap.millisecond, 0);
    clock.Advance(24ull * 3600 * 1000);
    EXPECT_EQ(clock.Now().month, 3);
    EXPECT_EQ(clock.Now().day, 1);
}

TEST(VirtualClockTest, TheTickWrapsAfter32Bits) {
    VirtualClock clock;
    clock.Advance(0xFFFFFFFFull);
    const std::uint32_t before = clock.TickMs();
    clock.SleepMs(10);
    EXPECT_EQ(static_cast<std::uint32_t>(clock.TickMs() - before), 10u);  // differences still work
    EXPECT_EQ(clock.ElapsedMs(), 0xFFFFFFFFull + 10);
}

TEST(ProgramClockTest, ATestClockIsInstalledAndRemoved) {
    VirtualClock clock;
    SetProgramClock(&clock);
    ProgramClock().SleepMs(60000);  // returns at once
    EXPECT_EQ(clock.ElapsedMs(), 60000u);
    SetProgramClock(nullptr);
    EXPECT_NE(&ProgramClock(), &clock);
    const LocalTime now = ProgramClock().Now();
    EXPECT_GE(now.year, 2024);
}

}  // namespace
}  // namespace mirelle
