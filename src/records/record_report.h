// What `mirelle-cli records` prints: the records as a table, CSV or JSON
// Lines, and the summary (units, passed, failed, yield, median and 95th
// percentile time per unit) grouped by day, station, slot, target or
// program. Pure: records in, text out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/unit_record.h"

namespace mirelle::records {

// "2026-12-09 16:54:29.123" in UTC.
std::string UtcText(std::int64_t ms);
// "2026-12-09", "2026-12-09 16:54", "2026-12-09T16:54:29" (UTC) as
// milliseconds since 1970; nullopt when the text is none of these.
std::optional<std::int64_t> ParseUtc(const std::string& text);

std::string FormatTable(const std::vector<engine::UnitRecord>& records);
std::string FormatCsv(const std::vector<engine::UnitRecord>& records);
std::string FormatJsonLines(const std::vector<engine::UnitRecord>& records);

struct SummaryRow {
    std::string key;
    long long units = 0, passed = 0, failed = 0;
    double yield = 0;        // percent passed
    double median_s = 0;     // time per unit, seconds
    double p95_s = 0;        // nearest rank
};

// `by`: "" (one line for all), day, station, slot, target or program.
std::vector<SummaryRow> Summarize(const std::vector<engine::UnitRecord>& records, const std::string& by);
std::string FormatSummary(const std::vector<SummaryRow>& rows, const std::string& by);

}  // namespace mirelle::records
