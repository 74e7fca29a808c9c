#include "serial/timeouts.h"

#include <gtest/gtest.h>

namespace mirelle::serial {
namespace {

TEST(SerialTimeouts, ReadWaitsTheTotalUntilTheFirstByte) {
    EXPECT_EQ(TotalTimeoutMs(1), 160u);
    EXPECT_EQ(TotalTimeoutMs(64), 5200u);
    EXPECT_EQ(ReadWaitMs(1, 0, 0, 0), 160u);
    EXPECT_EQ(ReadWaitMs(1, 0, 150, 150), 10u);
    EXPECT_EQ(ReadWaitMs(1, 0, 160, 160), 0u);
    EXPECT_EQ(ReadWaitMs(10, 0, 500, 500), 380u);  // no interval rule before a byte
}

TEST(SerialTimeouts, AfterTheFirstByteTheShorterOfIntervalAndTotalWins) {
    EXPECT_EQ(ReadWaitMs(10, 3, 100, 0), 80u);
    EXPECT_EQ(ReadWaitMs(10, 3, 100, 79), 1u);
    EXPECT_EQ(ReadWaitMs(10, 3, 100, 80), 0u);
    EXPECT_EQ(ReadWaitMs(2, 1, 220, 10), 20u);  // total (240) ends before the interval
    EXPECT_EQ(ReadWaitMs(2, 1, 240, 10), 0u);
    EXPECT_EQ(ReadWaitMs(4, 4, 0, 0), 0u);  // complete
}

}  // namespace
}  // namespace mirelle::serial
