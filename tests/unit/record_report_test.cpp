// The pure pieces of the records: SHA-256, UTC times both ways, the summary's
// median and 95th percentile, and CSV quoting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/record_report.h"
#include "records/sha256.h"

namespace mirelle::records {
namespace {

TEST(RecordPieces, Sha256OfKnownTexts) {
    const struct {
        std::string text;
        const char* hex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.text), c.hex) << c.text.size();
}

TEST(RecordPieces, UtcTimesBothWays) {
    const struct {
        const char* text;
        std::optional<std::int64_t> ms;
    } cases[] = {
        {"1970-01-01", 0},
        {"2026-12-09", 1796774400000LL},
        {"2026-12-09 16:54", 1796835240000LL},
        {"2026-12-09T16:54:29", 1796835269000LL},
        {"2024-02-29 23:59:59", 1709251199000LL},
        {"2026-13-01", std::nullopt},
        {"2026-12-09 25:00", std::nullopt},
        {"2026-12-09x", std::nullopt},
        {"09.12.2026", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseUtc(c.text), c.ms) << c.text;
    EXPECT_EQ(UtcText(1796835269123LL), "2026-12-09 16:54:29.123");
    EXPECT_EQ(UtcText(1709251199000LL), "2024-02-29 23:59:59.000");
}

engine::UnitRecord Unit(const std::string& target, long long seconds, bool passed) {
    engine::UnitRecord r;
    r.id = target + std::to_string(seconds);
    r.start_ms = 1796774400000LL;
    r.end_ms = r.start_ms + seconds * 1000;
    r.target = target;
    r.passed = passed;
    return r;
}

TEST(RecordPieces, SummaryCountsYieldMedianAndNearestRankPercentile) {
    std::vector<engine::UnitRecord> units;
    // A: 1..20 s, the 3rd failed: median 10.5, p95 the 19th value.
    for (int s = 1; s <= 20; ++s) units.push_back(Unit("A", s, s != 3));
    // B: one unit only.
    units.push_back(Unit("B", 7, false));
    const std::vector<SummaryRow> rows = Summarize(units, "target");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].key, "A");
    EXPECT_EQ(rows[0].units, 20);
    EXPECT_EQ(rows[0].failed, 1);
    EXPECT_DOUBLE_EQ(rows[0].yield, 95.0);
    EXPECT_DOUBLE_EQ(rows[0].median_s, 10.5);
    EXPECT_DOUBLE_EQ(rows[0].p95_s, 19.0);
    EXPECT_EQ(rows[1].units, 1);
    EXPECT_DOUBLE_EQ(rows[1].yield, 0.0);
    EXPECT_DOUBLE_EQ(rows[1].median_s, 7.0);
    EXPECT_DOUBLE_EQ(rows[1].p95_s, 7.0);
    const std::vector<SummaryRow> all = Summarize(units, "");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].units, 21);
}

TEST(RecordPieces, CsvQuotesTextsWithCommasQuotesAndLineBreaks) {
    engine::UnitRecord r = Unit("A", 1, true);
    r.result_text = "ERROR !!    \r\nsaid \"no\", twice";
    const std::string csv = FormatCsv({r});
    EXPECT_NE(csv.find(",\"ERROR !!    \r\nsaid \"\"no\"\", twice\","), std::string::npos) << csv;
}

}  // namespace
}  // namespace mirelle::records
