// mirelle-cli station: runs a job's slots, board after board, until a
// signal (SIGINT, SIGTERM) or --units N verdicts, showing every slot as a
// live table on a terminal, one line per state change otherwise, or JSON
// events with --json.
#pragma once

#include <string>
#include <vector>

namespace mirelle::station {
struct StationView;
struct Job;
}  // namespace mirelle::station

namespace mirelle::cli {

// Whether the command line is the station command (its first word is "station").
bool IsStationCommand(const std::vector<std::string>& args);

// Runs it; the process's exit status.
int RunStation(const std::vector<std::string>& args);

// The live table: a header line (job, target, program file, 8 hex digits of
// its SHA-256, totals, yield, units per hour), a line of column names and one
// line per slot, each at most `width` characters.
std::vector<std::string> StationTable(const station::Job& job, const station::StationView& view, std::size_t width);

std::string StationUsageText();

}  // namespace mirelle::cli
