#include "cli/records_command.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "cli/exit_status.h"
#include "platform/system.h"
#include "records/database.h"
#include "records/record_report.h"
#include "records/record_store.h"
#include "settings/settings.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

// The options of the other commands that take a value: their value is no command word.
bool TakesValue(const std::string& option) {
    for (const char* o : {"--home", "--target", "--clock", "-p", "--port", "--log", "--log-dir", "--fill", "--format", "--patch"})
        if (option == o) return true;
    return false;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "mirelle-cli: records: %s\ntry mirelle-cli records --help\n", why.c_str());
    return exit_status::kUsage;
}

}  // namespace

bool IsRecordsCommand(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].empty() || args[i][0] != '-') return args[i] == "records";
        if (TakesValue(args[i])) ++i;
    }
    return false;
}

std::string RecordsUsageText() {
    return R"(usage: mirelle-cli records [OPTIONS]

The unit records: one per operation that talked to a chip, from the window,
the unattended run and every mirelle-cli command ([Records] of Customize.ini).

filters:
  --since TIME        started at or after TIME (UTC: YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS])
  --until TIME        started before TIME
  --target NAME       --serial NUMBER   --station NAME
  --port PORT         the port as given (COM3, /dev/ttyUSB0) or part of its identity
  --operation OP      download, erase, blank-check, program, full-operation, verify, read
  --result ok|ng
  --limit N           the newest N records only
output:
  --format table|csv|json   a table (default), CSV with every field, or JSON Lines
  --summary [--by day|station|slot|target|program]
                      units, passed, failed, yield, median and 95th percentile
                      seconds per unit
store:
  --home DIR          the program folder (its Customize.ini and records.db)
  --database DB       another store: a file, or a PostgreSQL connection string
                      (postgresql://... ; PostgreSQL only in the Linux build)
)";
}

int RunRecords(const std::vector<std::string>& args) {
    records::RecordFilter filter;
    std::string home, database, format = "table", by;
    bool summary = false, database_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "records") continue;
        if (a == "-h" || a == "--help") {
            std::fputs(RecordsUsageText().c_str(), stdout);
            return exit_status::kSuccess;
        }
        if (a == "--summary") {
            summary = true;
            continue;
        }
        if (i + 1 >= args.size()) return Usage(a + " needs a value");
        const std::string& v = args[++i];
        if (a == "--home") {
            home = v;
        } else if (a == "--database") {
            database = v;
            database_given = true;
        } else if (a == "--since" || a == "--until") {
            const std::optional<std::int64_t> ms = records::ParseUtc(v);
            if (!ms) return Usage(a + " " + v + ": not a time (YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS], UTC)");
            (a == "--since" ? filter.since_ms : filter.until_ms) = ms;
        } else if (a == "--target") {
            filter.target = v;
        } else if (a == "--serial") {
            filter.serial = v;
        } else if (a == "--port" || a == "-p") {
            filter.port = v;
        } else if (a == "--station") {
            filter.station = v;
        } else if (a == "--operation") {
            filter.operation = v;
        } else if (a == "--result") {
            if (v != "ok" && v != "ng") return Usage("--result takes ok or ng");
            filter.passed = v == "ok";
        } else if (a == "--limit") {
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n <= 0 || n > 100000000) return Usage("--limit takes a number above 0");
            filter.limit = static_cast<int>(n);
        } else if (a == "--format") {
            if (v != "table" && v != "csv" && v != "json") return Usage("--format takes table, csv or json");
            format = v;
        } else if (a == "--by") {
            if (v != "day" && v != "station" && v != "slot" && v != "target" && v != "program")
                return Usage("--by takes day, station, slot, target or program");
            by = v;
        } else {
            return Usage("unknown option " + a);
        }
    }
    if (home.empty()) home = sys::ProgramDir();
    if (home.empty()) home = "./";
    std::error_code ec;
    const fs::path absolute = fs::absolute(home, ec);
    if (!ec) home = absolute.string();
    if (fs::path(home).has_filename()) home += static_cast<char>(fs::path::preferred_separator);
    if (!database_given) database = settings::ReadRecordsSettings(home + "Customize.ini").database;

    std::string error;
    // Reading never makes a store: a folder without records says so.
    const std::string path = records::StorePath(database, home);
    if (!path.empty() && !fs::exists(path, ec)) {
        std::fprintf(stderr, "mirelle-cli: records: %s: no records yet\n", path.c_str());
        return exit_status::kUsage;
    }
    const std::unique_ptr<records::Database> db = records::OpenStore(database, home, false, error);
    std::vector<engine::UnitRecord> found;
    if (!db || !records::SelectRecords(*db, filter, found, error)) {
        std::fprintf(stderr, "mirelle-cli: records: %s\n", error.c_str());
        return exit_status::kUsage;
    }
    std::string text;
    if (summary)
        text = records::FormatSummary(records::Summarize(found, by), by);
    else if (format == "csv")
        text = records::FormatCsv(found);
    else if (format == "json")
        text = records::FormatJsonLines(found);
    else
        text = records::FormatTable(found);
    std::fputs(text.c_str(), stdout);
    return exit_status::kSuccess;
}

}  // namespace mirelle::cli
