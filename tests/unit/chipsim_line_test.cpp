// The line-time model of mirelle-sim: bytes take their 10 bit times in turn,
// and a USB adapter's latency timer holds the chip's answers.
#include <gtest/gtest.h>

#include "chipsim/chip.h"
#include "chipsim/line_model.h"
#include "platform/clock.h"

namespace mirelle::chipsim {
namespace {

TEST(ChipsimLine, BytesFollowEachOtherAtTheirRate) {
    struct Case {
        std::uint64_t ready_us;
        std::uint32_t baud;
        std::uint64_t start_us, end_us;
    };
    // 115200 baud: 87 us a byte; 230400: 44 us; 9600: 1042 us.
    const Case cases[] = {
        {1000, 115200, 1000, 1087},  // an idle line takes the byte at once
        {1000, 115200, 1087, 1174},  // written together: it waits for the one before
        {1100, 115200, 1174, 1261},
        {5000, 230400, 5000, 5044},  // idle again, at the new rate
        {5000, 9600, 5044, 6086},
    };
    LineDirection line;
    for (const Case& c : cases) {
        const auto slot = line.Send(c.ready_us, c.baud);
        EXPECT_EQ(slot.start_us, c.start_us) << c.ready_us << " at " << c.baud;
        EXPECT_EQ(slot.end_us, c.end_us) << c.ready_us << " at " << c.baud;
    }
    EXPECT_EQ(line.FreeAt(), 6086u);
}

TEST(ChipsimLine, AdapterHoldsBytesForItsLatencyOrUntilAPacketIsFull) {
    struct Case {
        const char* what;
        std::uint32_t latency_ms;
        std::size_t bytes;           // arriving 87 us apart from t = 1000 us
        std::vector<std::size_t> packets;  // bytes per packet, in order
        std::vector<std::uint64_t> at_us;  // when each packet goes
    };
    const Case cases[] = {
        {"no latency: each byte at once", 0, 3, {1, 1, 1}, {1000, 1087, 1174}},
        {"one byte waits out the timer", 16, 1, {1}, {17000}},
        {"a status and a few bytes go together", 16, 10, {10}, {17000}},
        {"a full packet goes as its last byte comes", 16, 62, {62}, {1000 + 61 * 87}},
        {"the rest waits for the timer again", 16, 63, {62, 1}, {1000 + 61 * 87, 1000 + 62 * 87 + 16000}},
        {"a short timer ends before the packet fills", 1, 20, {12, 8}, {2000, 3044}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LatencyBuffer adapter(c.latency_ms);
        for (std::size_t i = 0; i < c.bytes; ++i) adapter.Arrive(static_cast<std::uint8_t>(i), 1000 + i * 87);
        std::vector<std::size_t> packets;
        std::vector<std::uint64_t> at;
        std::size_t next = 0;
        while (const auto when = adapter.ReleaseTime()) {
            EXPECT_TRUE(adapter.Release(*when - 1).empty());  // nothing before its time
            const auto out = adapter.Release(*when);
            ASSERT_FALSE(out.empty());
            for (const auto& r : out) EXPECT_EQ(r.byte, static_cast<std::uint8_t>(next++));  // in order
            packets.push_back(out.size());
            at.push_back(*when);
        }
        EXPECT_EQ(next, c.bytes);
        EXPECT_EQ(packets, c.packets);
        EXPECT_EQ(at, c.at_us);
    }
}

// Two synchronisations written at once, on a virtual clock: each answer can
// leave only after its command has crossed the line, it takes its own byte
// time, and the adapter may hold it further.
TEST(ChipsimLine, AnswersFollowTheCommandsAcrossTheLine) {
    struct Case {
        std::uint32_t latency_ms;
        std::vector<std::uint64_t> handed_us;  // after the write, for each 0x11
    };
    // 19200 baud: 521 us a byte.
    const Case cases[] = {{0, {1042, 1563}}, {1, {2042, 2042}}, {16, {17042, 17042}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.latency_ms);
        ChipConfig config = ChipConfig::ForTarget("TQ4A04", {{0xF80000, 0xF807FF}});
        config.boot_baud = config.work_baud = 19200;
        Chip chip(config);
        VirtualClock clock;
        clock.Advance(10);
        const std::uint64_t written_us = clock.ElapsedMs() * 1000;
        LineDirection to_chip;
        for (int i = 0; i < 2; ++i) chip.Receive(0x18, 19200, to_chip.Send(written_us, 19200).end_us);

        clock.Advance(100);
        LatencyBuffer adapter(c.latency_ms);
        while (const auto tx = chip.TakeTx(clock.ElapsedMs() * 1000)) adapter.Arrive(tx->byte, tx->time_us);
        std::vector<std::uint64_t> handed;
        for (const auto& r : adapter.Release(clock.ElapsedMs() * 1000)) {
            EXPECT_EQ(r.byte, 0x11);
            handed.push_back(r.released_us - written_us);
        }
        EXPECT_EQ(handed, c.handed_us);
    }
}

}  // namespace
}  // namespace mirelle::chipsim
