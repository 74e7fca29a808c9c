#include "records/record_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/json_text.h"
#include "records/record_store.h"

namespace mirelle::records {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    // A report that starts with a line break (a detail before its words) shows its words.
    if (line.empty()) {
        const std::size_t from = text.find_first_not_of("\r\n");
        if (from != std::string::npos) line = text.substr(from, text.find_first_of("\r\n", from) - from);
    }
    return line;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

// Every field of a record by its column name, as text ("" for none).
std::vector<std::string> Fields(const engine::UnitRecord& r) {
    auto n = [](long long v) { return std::to_string(v); };
    auto opt = [](long long v) { return v < 0 ? std::string() : std::to_string(v); };
    std::vector<std::string> f{r.id,        n(r.start_ms), n(r.end_ms),  r.folder,      r.station,   r.slot,
                               r.port,      r.port_identity, r.operation, r.target,     r.clock,     n(r.rate),
                               r.program_file, opt(r.program_size), r.program_sha256, r.job_name, r.job_sha256,
                               r.serial_number};
    for (long long ms : r.phase_ms) f.push_back(opt(ms));
    f.insert(f.end(), {n(r.bytes_programmed), n(r.crc_retries), n(r.line_retries), n(r.result_code),
                       n(r.result_kind), r.result_text, r.passed ? "1" : "0", n(r.exit_status), r.version,
                       r.operator_name, r.patches});
    return f;
}

std::string KeyOf(const engine::UnitRecord& r, const std::string& by) {
    if (by == "day") return UtcText(r.start_ms).substr(0, 10);
    if (by == "station") return r.station;
    if (by == "slot") return r.slot.empty() ? "-" : r.slot;
    if (by == "target") return r.target;
    if (by == "program") {
        const std::size_t slash = r.program_file.find_last_of("/\\");
        const std::string name = slash == std::string::npos ? r.program_file : r.program_file.substr(slash + 1);
        return name.empty() ? "-" : name + (r.program_sha256.empty() ? "" : " " + r.program_sha256.substr(0, 8));
    }
    return "all";
}

// The nearest-rank percentile `p` of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

double Median(const std::vector<double>& sorted) {
    if (sorted.empty()) return 0;
    const std::size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

std::string Pad(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

}  // namespace

std::string UtcText(std::int64_t ms) {
    const std::int64_t days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
    const std::int64_t in_day = ms - days * 86400000;
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, static_cast<int>(in_day / 3600000),
                  static_cast<int>(in_day / 60000 % 60), static_cast<int>(in_day / 1000 % 60),
                  static_cast<int>(in_day % 1000));
    return text;
}

std::optional<std::int64_t> ParseUtc(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    char sep = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3 || used != 10) return std::nullopt;
    if (text.size() > 10) {
        int more = 0;
        const int got = std::sscanf(text.c_str() + 10, "%c%2d:%2d%n:%2d%n", &sep, &h, &mi, &more, &s, &more);
        if (got < 3 || (sep != ' ' && sep != 'T') || 10 + static_cast<std::size_t>(more) != text.size())
            return std::nullopt;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return std::nullopt;
    return ((DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 24 + h) * 60 + mi) * 60000LL +
           s * 1000LL;
}

std::string FormatTable(const std::vector<engine::UnitRecord>& records) {
    std::string out = Pad("start (UTC)", 24) + Pad("station", 12) + Pad("slot", 5) + Pad("port", 14) +
                      Pad("operation", 15) + Pad("target", 9) + Pad("result", 7) + Pad("seconds", 9) + "text\n";
    for (const engine::UnitRecord& r : records) {
        out += Pad(UtcText(r.start_ms), 24) + Pad(r.station, 12) + Pad(r.slot.empty() ? "-" : r.slot, 5) +
               Pad(r.port.empty() ? "-" : r.port, 14) + Pad(r.operation, 15) + Pad(r.target, 9) +
               Pad(r.passed ? "OK" : "NG", 7) + Pad(Seconds(static_cast<double>(r.end_ms - r.start_ms) / 1000), 9) +
               FirstLine(r.result_text) + "\n";
    }
    return out;
}

std::string FormatCsv(const std::vector<engine::UnitRecord>& records) {
    std::string out;
    for (const Column& c : RecordColumns()) out += std::string(out.empty() ? "" : ",") + c.name;
    out += "\r\n";
    for (const engine::UnitRecord& r : records) {
        std::string line;
        for (const std::string& f : Fields(r)) line += (line.empty() ? "" : ",") + CsvField(f);
        // A line's first field is never empty (the id), so "," is a safe joiner.
        out += line + "\r\n";
    }
    return out;
}

std::string FormatJsonLines(const std::vector<engine::UnitRecord>& records) {
    std::string out;
    for (const engine::UnitRecord& r : records) {
        sys::JsonObject j;
        j.Add("id", r.id).Add("start", UtcText(r.start_ms)).Add("start_ms", static_cast<long long>(r.start_ms));
        j.Add("end_ms", static_cast<long long>(r.end_ms)).Add("folder", r.folder).Add("station", r.station);
        j.Add("slot", r.slot).Add("port", r.port).Add("port_identity", r.port_identity).Add("operation", r.operation);
        j.Add("target", r.target).Add("clock", r.clock).Add("rate", r.rate).Add("program_file", r.program_file);
        j.Add("program_size", r.program_size).Add("program_sha256", r.program_sha256).Add("job_name", r.job_name);
        j.Add("job_sha256", r.job_sha256).Add("serial_number", r.serial_number);
        for (int p = 0; p < engine::kPhaseCount; ++p) {
            if (r.phase_ms[static_cast<std::size_t>(p)] < 0)
                j.AddRaw(engine::PhaseColumn(p), "null");
            else
                j.Add(engine::PhaseColumn(p), r.phase_ms[static_cast<std::size_t>(p)]);
        }
        j.Add("bytes_programmed", r.bytes_programmed).Add("crc_retries", r.crc_retries);
        j.Add("line_retries", r.line_retries).Add("result_code", r.result_code).Add("result_kind", r.result_kind);
        j.Add("result_text", r.result_text).Add("passed", r.passed).Add("exit_status", r.exit_status);
        j.Add("version", r.version).Add("operator", r.operator_name).Add("patches", r.patches);
        out += j.Text() + "\n";
    }
    return out;
}

std::vector<SummaryRow> Summarize(const std::vector<engine::UnitRecord>& records, const std::string& by) {
    std::map<std::string, std::vector<const engine::UnitRecord*>> groups;
    for (const engine::UnitRecord& r : records) groups[KeyOf(r, by)].push_back(&r);
    std::vector<SummaryRow> rows;
    for (const auto& [key, members] : groups) {
        SummaryRow row;
        row.key = key;
        std::vector<double> times;
        for (const engine::UnitRecord* r : members) {
            ++row.units;
            ++(r->passed ? row.passed : row.failed);
            times.push_back(static_cast<double>(r->end_ms - r->start_ms) / 1000.0);
        }
        std::sort(times.begin(), times.end());
        row.yield = row.units ? 100.0 * static_cast<double>(row.passed) / static_cast<double>(row.units) : 0;
        row.median_s = Median(times);
        row.p95_s = Percentile(times, 95);
        rows.push_back(row);
    }
    return rows;
}

std::string FormatSummary(const std::vector<SummaryRow>& rows, const std::string& by) {
    std::size_t width = std::max<std::size_t>(by.empty() ? 3 : by.size(), 3);
    for (const SummaryRow& r : rows) width = std::max(width, r.key.size());
    width += 2;
    std::string out = Pad(by.empty() ? "all" : by, width) + "  units  passed  failed   yield  median s     p95 s\n";
    for (const SummaryRow& r : rows) {
        char numbers[128];
        std::snprintf(numbers, sizeof numbers, "%7lld %7lld %7lld %6.1f%% %9.3f %9.3f\n", r.units, r.passed, r.failed,
                      r.yield, r.median_s, r.p95_s);
        out += Pad(r.key, width) + numbers;
    }
    return out;
}

}  // namespace mirelle::records
