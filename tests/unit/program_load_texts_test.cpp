#include "texts/program_load_texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace mirelle::texts {
namespace {

TEST(ProgramLoadTexts, OutsideDataIsWarnedOnlyWithBytesAndTheirFirstAddress) {
    const struct {
        std::uint64_t bytes;
        std::optional<std::uint32_t> first;
        const char* warning;
    } cases[] = {
        {0, std::nullopt, ""},
        {0, 0x100, ""},
        {3, std::nullopt, ""},
        {1, 0, "1 bytes of this file lie outside the flash of TQ4A01 (first at 0x00000000); they are not programmed"},
        {70000, 0xFFFFFFFF,
         "70000 bytes of this file lie outside the flash of TQ4A01 (first at 0xFFFFFFFF); they are not programmed"},
    };
    for (const auto& c : cases) EXPECT_EQ(OutsideDataWarning(c.bytes, c.first, "TQ4A01"), c.warning) << c.bytes;
}

TEST(ProgramLoadTexts, NoFlashDataNamesTheChipInTheBoxOrTheLog) {
    const LoadOutcome outcome{LoadFailure::kNoFlashData, 0, 0, "TQ4A08"};
    const LoadReport box = PlanLoadReport(outcome, false, false);
    EXPECT_TRUE(box.show_box);
    EXPECT_FALSE(box.write_log);
    EXPECT_EQ(box.box_text, "No data for the flash of TQ4A08 in this file");
    EXPECT_EQ(box.box_caption, "HexFile decoder");
    const LoadReport log = PlanLoadReport(outcome, true, true);
    EXPECT_FALSE(log.show_box);
    EXPECT_EQ(log.log_text, "No data for the flash of TQ4A08 in this file HexFile decoder");
}

}  // namespace
}  // namespace mirelle::texts
