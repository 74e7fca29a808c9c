#include "engine/erase_report.h"
#include "protocol/flash_commands.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/clock.h"
#include "protocol/block_plan.h"
#include "protocol/status_wait.h"
#include "target/chip_traits.h"
#include "texts/flash_command_texts.h"

namespace mirelle::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FlashCommands, FamilyIsDecidedByTheExactTargetName) {
    using target::ProtocolFamily;
    EXPECT_EQ(target::TraitsOf("TQ7C01").family, ProtocolFamily::kSecond);
    EXPECT_EQ(target::TraitsOf("TQ7C02/03").family, ProtocolFamily::kSecond);
    for (const char* other : {"tq7c01", "TQ7C02", "TQ7C01 ", "TQ4A01", ""})
        EXPECT_EQ(target::TraitsOf(other).family, ProtocolFamily::kFirst) << other;
}

// The rest of the table: the reset prompt, the upload acknowledge, the
// address width and Erase before a download, by exact name.
TEST(ChipTraits, EachSpecialChipAndAnOrdinaryOne) {
    struct Row {
        const char* name;
        bool prompt, ack, erase;
        std::size_t address_bytes;
    };
    const Row rows[] = {
        {"TQ4A01", false, false, true, 4}, {"TQ4A02", false, false, true, 4}, {"TQ4A03", true, false, false, 4},
        {"TQ7C01", true, true, false, 3},  {"TQ7C02/03", true, true, false, 3}, {"tq4a01", true, true, false, 4},
        {"OTHER", true, true, false, 4},
    };
    for (const Row& r : rows) {
        const target::ChipTraits t = target::TraitsOf(r.name);
        EXPECT_EQ(t.needs_reset_prompt, r.prompt) << r.name;
        EXPECT_EQ(t.awaits_upload_ack, r.ack) << r.name;
        EXPECT_EQ(t.offers_erase, r.erase) << r.name;
        EXPECT_EQ(t.address_bytes, r.address_bytes) << r.name;
    }
}

TEST(FlashCommands, FramesCarryAddressesLeastSignificantFirstInTheFamilyWidth) {
    EXPECT_EQ(EraseFrame(TargetFamily::First, 0x00F80000), (Bytes{0x38, 0x00, 0x00, 0xF8, 0x00}));
    EXPECT_EQ(EraseFrame(TargetFamily::Second, 0x12345678), (Bytes{0x38, 0x78, 0x56, 0x34}));
    // The first family sends start and end + 1; the second only end + 1.
    EXPECT_EQ(BlankCheckFrame(TargetFamily::First, 0x00F80000, 0x00FFFFFF),
              (Bytes{0x48, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(BlankCheckFrame(TargetFamily::Second, 0x0, 0x0FFFFF), (Bytes{0x48, 0x00, 0x00, 0x10}));
    EXPECT_EQ(BlankCheckFrame(TargetFamily::First, 0xFFFFFF00, 0xFFFFFFFF),
              (Bytes{0x48, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(BlockCommandFrame(TargetFamily::First, 0x00F80200, false), (Bytes{0x08, 0x00, 0x02, 0xF8, 0x00}));
    EXPECT_EQ(BlockCommandFrame(TargetFamily::Second, 0x01020304, true), (Bytes{0x28, 0x04, 0x03, 0x02}));
    EXPECT_EQ(CrReadFrame(), (Bytes{0x39, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(CrSetFrame({0x5A, 0xA5, 0x01, 0x02}), (Bytes{0x3A, 0x5A, 0xA5, 0x01, 0x02}));
}

TEST(FlashCommands, EraseFailuresMapToTheirReports) {
    EXPECT_EQ(engine::ClassifyEraseFailure(0x03).report, (engine::Report{203, 3, 1}));
    EXPECT_EQ(engine::ClassifyEraseFailure('3').report, (engine::Report{203, 3, 1}));
    EXPECT_FALSE(engine::ClassifyEraseFailure('3').with_detail);
    EXPECT_EQ(engine::ClassifyEraseFailure('4').report, (engine::Report{219, 2, 1}));
    EXPECT_TRUE(engine::ClassifyEraseFailure('4').with_detail);
    for (int other : {0x00, int{'0'}, int{'2'}, int{'5'}, 0xFF}) {
        EXPECT_EQ(engine::ClassifyEraseFailure(other).report, (engine::Report{212, 2, 1})) << other;
        EXPECT_TRUE(engine::ClassifyEraseFailure(other).with_detail);
    }
}

TEST(FlashCommands, DetailTextsAndHexFields) {
    EXPECT_EQ(texts::EraseErrorDetail(0x34), "ERASE ERROR MCU : 34H");
    EXPECT_EQ(texts::EraseErrorDetail(0), "ERASE ERROR MCU : 00H");
    EXPECT_EQ(texts::CrReadErrorDetail(3), "CR READ ERROR MCU : 03H");
    EXPECT_EQ(texts::CrSetErrorDetail(0x37), "CR SET ERROR MCU : 37H");
    const std::array<std::uint8_t, 4> address{0x00, 0x0F, 0x80, 0x10};
    EXPECT_EQ(HexBytes0x(address), "0x000F8010");
    const std::array<std::uint8_t, 2> data{0xab, 0x05};
    EXPECT_EQ(HexBytes(data), "AB05");
    EXPECT_EQ(texts::CrcRetryQuestion(0xF80400), "CRC error detected in 0xF80400\nretry?");
    EXPECT_EQ(texts::CrcRetryQuestion(0), "CRC error detected in 0x0\nretry?");
}

std::vector<std::uint32_t> Walk(std::vector<std::uint32_t> starts, std::vector<std::uint32_t> ends) {
    std::vector<std::uint32_t> out;
    for (BlockWalk w(starts, ends); !w.Done(); w.Advance()) out.push_back(w.Address());
    return out;
}

TEST(BlockPlan, AreasAreWalkedInOrderAndPartialLastBlocksCount) {
    // 0x201 bytes are two blocks; an area of one byte is one block.
    const std::vector<std::uint32_t> starts{0x1000, 0x8000, 0x20};
    const std::vector<std::uint32_t> ends{0x1200, 0x8000, 0x41F};
    EXPECT_EQ(BlockCount(starts, ends), 2u + 1u + 2u);
    EXPECT_EQ(Walk(starts, ends), (std::vector<std::uint32_t>{0x1000, 0x1200, 0x8000, 0x20, 0x220}));
}

TEST(BlockPlan, EmptyAndTopOfAddressSpaceAreasEnd) {
    EXPECT_EQ(BlockCount({}, {}), 0u);
    EXPECT_TRUE(Walk({}, {}).empty());
    // An area whose end lies below its start holds nothing.
    EXPECT_EQ(BlockCount(std::vector<std::uint32_t>{0x2000}, std::vector<std::uint32_t>{0x1FFF}), 0u);
    EXPECT_TRUE(Walk({0x2000}, {0x1FFF}).empty());
    // The walk does not wrap past 0xFFFFFFFF into address 0.
    EXPECT_EQ(Walk({0xFFFFFC00}, {0xFFFFFFFE}), (std::vector<std::uint32_t>{0xFFFFFC00, 0xFFFFFE00}));
    EXPECT_EQ(Walk({0xFFFFFE00, 0x0}, {0xFFFFFFFF, 0x1FF}), (std::vector<std::uint32_t>{0xFFFFFE00, 0x0}));
}

TEST(BlockPlan, APartOfAnAreaTakesTheBlocksOfTheAreasGrid) {
    const struct {
        std::uint32_t start, end;
        AddressRange range;
        std::uint32_t first, last, first_block, blocks;
    } cases[] = {
        {0x80000, 0xFFFFF, {0x80FF8, 0x81007}, 0x80FF8, 0x81007, 0x80E00, 2},  // across a block's end
        {0x80100, 0x802FF, {0x0, 0xFFFFFFFF}, 0x80100, 0x802FF, 0x80100, 1},  // the whole area, its own grid
        {0x80000, 0x801FF, {0x80100, 0x90000}, 0x80100, 0x801FF, 0x80000, 1},  // clipped at the area's end
        {0x80000, 0x801FF, {0x80200, 0x80300}, 0, 0, 0, 0},                    // not meeting
        {0xFFFFFE00, 0xFFFFFFFF, {0xFFFFFFF0, 0xFFFFFFFF}, 0xFFFFFFF0, 0xFFFFFFFF, 0xFFFFFE00, 1},
    };
    for (const auto& c : cases) {
        const AreaPart part = PartWithin(c.start, c.end, c.range);
        EXPECT_EQ(part.blocks, c.blocks) << std::hex << c.range.first;
        if (c.blocks == 0) continue;
        EXPECT_EQ(part.first, c.first) << std::hex << c.range.first;
        EXPECT_EQ(part.last, c.last) << std::hex << c.range.first;
        EXPECT_EQ(part.first_block, c.first_block) << std::hex << c.range.first;
    }
}

// A line that answers from a script; each read costs `read_ms` of virtual time.
struct ScriptedLine {
    VirtualClock& clock;
    std::vector<std::uint8_t> bytes;
    std::uint32_t read_ms = 160;
    std::size_t reads = 0;
    std::uint8_t Read() {
        clock.Advance(read_ms);
        return reads < bytes.size() ? bytes[reads++] : (++reads, 0);
    }
};

TEST(StatusWait, EndsAtTheFirstByteThatIsNeitherNothingNorBusy) {
    VirtualClock clock;
    ScriptedLine line{clock, {0x00, '0', '0', '4'}};
    WallSeconds since(clock);
    WaitOutcome out = WaitForStatus(since, 5, 0, {[&] { return line.Read(); }, {}, {}});
    EXPECT_EQ(out.end, WaitEnd::kStatus);
    EXPECT_EQ(out.status, '4');
    EXPECT_EQ(line.reads, 4u);
}

TEST(StatusWait, TimesOutOnlyAfterMoreWholeSecondsThanTheLimit) {
    VirtualClock clock;
    clock.Advance(999);  // the first second boundary comes 1 ms after the start
    ScriptedLine line{clock, {}, 100};
    WallSeconds since(clock);
    WaitOutcome out = WaitForStatus(since, 2, 0, {[&] { return line.Read(); }, {}, {}});
    EXPECT_EQ(out.end, WaitEnd::kTimedOut);
    // Whole seconds: second 3 begins 2001 ms after the start; the read that
    // ends at 2100 ms is the first to see it.
    EXPECT_EQ(clock.ElapsedMs() - 999, 2100u);
}

TEST(StatusWait, AStatusOnTheReadThatExpiresTheWaitIsATimeOut) {
    VirtualClock clock;
    std::vector<std::uint8_t> busy(6, '0');
    busy.push_back('1');  // arrives with the read that ends at 1120 ms
    ScriptedLine line{clock, busy};
    WallSeconds since(clock);
    WaitOutcome out = WaitForStatus(since, 0, 0, {[&] { return line.Read(); }, {}, {}});
    EXPECT_EQ(out.end, WaitEnd::kTimedOut);
    EXPECT_EQ(out.status, '1');
}

TEST(StatusWait, AWaitStartedFromABusyByteReadsAtLeastOnceMore) {
    VirtualClock clock;
    ScriptedLine line{clock, {'7'}};
    WallSeconds since(clock);
    WaitOutcome out = WaitForStatus(since, 5, '0', {[&] { return line.Read(); }, {}, {}});
    EXPECT_EQ(out.status, '7');
    EXPECT_EQ(line.reads, 1u);
    // A custom rule: wait until '0' comes, skipping every other byte.
    ScriptedLine ack{clock, {'1', 0x00, '0'}};
    out = WaitForStatus(since, 5, 0,
                        {[&] { return ack.Read(); }, {}, [](std::uint8_t b) { return b != '0'; }});
    EXPECT_EQ(out.end, WaitEnd::kStatus);
    EXPECT_EQ(ack.reads, 3u);
}

}  // namespace
}  // namespace mirelle::protocol
