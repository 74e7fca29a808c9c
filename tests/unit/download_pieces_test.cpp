// The pure pieces of the download and the diagnostics: the boot frames, the
// control program and rate choices, the pseudo-random sequence of the CRC
// test switch and the timing log's texts.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/timing_log.h"
#include "protocol/boot_protocol.h"
#include "engine/crt_random.h"
#include "target/chip_definition.h"
#include "target/list_syntax.h"

namespace mirelle {

using namespace mirelle::target;
namespace {

TEST(BootFrames, RatesFromTheBaudLists) {
    EXPECT_EQ(boot::RateEntry({9600, 19200}, 1), 19200u);
    EXPECT_FALSE(boot::RateEntry({9600}, 1));
    EXPECT_FALSE(boot::RateEntry({9600}, -1));
    EXPECT_FALSE(boot::RateEntry({0}, 0));  // "abc" reads as 0: no rate
    // The rate lists as CHIPDEF.INI writes them.
    auto WorkingRate = [](const char* baud, const char* baud2, int index) {
        return boot::WorkingRate(ParseDecimalList(baud), ParseDecimalList(baud2), *baud2 != '\0', index);
    };
    EXPECT_EQ(WorkingRate("9600,19200", "", 0), 19200u);
    EXPECT_EQ(WorkingRate("9600,19200", "", 1), 38400u);
    EXPECT_EQ(WorkingRate("9600,,19200", "50000,,62500", 1), 62500u);  // taken as it stands
    EXPECT_FALSE(WorkingRate("9600,19200", "57600", 1));             // Baud2 decides when present
    EXPECT_FALSE(WorkingRate("9600,19200", ",", 0));
    EXPECT_FALSE(WorkingRate("", "", 0));
}

TEST(CrtRandom, FollowsTheRuntimeSequenceFromOne) {
    crt::SeedRandom(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int e : expected) EXPECT_EQ(crt::Rand(), e);
    std::uint32_t state = 1;
    EXPECT_EQ(crt::NextRandom(state), 41);
    EXPECT_EQ(state, 1u * 214013u + 2531011u);
    crt::SeedRandom(1);
    EXPECT_EQ(crt::Rand(), 41);
}

TEST(CrtRandom, LowSevenBitsAreZeroAboutOnceIn128Draws) {
    std::uint32_t state = 1;
    int zeros = 0, first = -1;
    const int draws = 128 * 1000;
    for (int i = 0; i < draws; ++i) {
        int v = crt::NextRandom(state);
        EXPECT_LE(v, 0x7FFF);
        if ((v & 0x7F) == 0) {
            ++zeros;
            if (first < 0) first = i;
        }
    }
    EXPECT_NEAR(zeros, 1000, 100);
    EXPECT_GT(first, 0);  // the very first draws spoil no block
}

TEST(TimingLog, KeysAndSection) {
    const char* keys[] = {"DOWNLOAD", "ERACE", "BLANK", "PROGRAM", "READ", "COPY", "AUTO"};
    for (unsigned i = 0; i < 7; ++i) EXPECT_EQ(engine::TimingKey(i), keys[i]);
    EXPECT_EQ(engine::TimingKey(7), "");
    EXPECT_EQ(engine::TimingSection({2026, 3, 7, 23, 59, 59, 999}, "TQ7C02/03"), "20260307 - TQ7C02/03");
}

TEST(TimingLog, ElapsedTimeBorrowsFromTheSeconds) {
    LocalTime start{2026, 1, 1, 12, 0, 10, 950};
    LocalTime end{2026, 1, 1, 12, 0, 12, 20};
    EXPECT_EQ(engine::TimingValue(start, end), "1.070");
    EXPECT_EQ(engine::TimingValue(start, start), "0.000");
    // Across midnight, a month and a year end.
    EXPECT_EQ(engine::TimingValue({2025, 12, 31, 23, 59, 58, 500}, {2026, 1, 1, 0, 1, 0, 499}), "61.999");
    EXPECT_EQ(engine::TimingValue({2024, 2, 28, 0, 0, 0, 0}, {2024, 3, 1, 0, 0, 0, 0}), "172800.000");  // leap day
}

TEST(SampleData, EveryListedTargetHasItsControlProgram) {
    const std::string dir = std::string(MIRELLE_SOURCE_DIR) + "/data/";
    const auto targets = ListTargets(dir + "CHIPDEF.INI");
    ASSERT_FALSE(targets.empty());
    auto exists = [&](const std::string& p) { return std::filesystem::is_regular_file(dir + p); };
    int byRate = 0;
    for (const std::string& t : targets) {
        const DownloadKeys keys = ReadDownloadKeys(dir + "CHIPDEF.INI", t);
        EXPECT_TRUE(exists(keys.download_file)) << t << ": " << keys.download_file;
        for (const std::string& clock : keys.clocks)
            byRate += boot::ControlProgramFile(keys.download_file, clock, exists) != keys.download_file;
    }
    EXPECT_GE(byRate, 1);  // one sample is named after its rate
}

}  // namespace
}  // namespace mirelle
