// `mirelle-cli records`: the unit records of the program folder's store,
// listed with filters or summed up.
#pragma once

#include <string>
#include <vector>

namespace mirelle::cli {

// Whether the command word of `args` is `records` (options may stand before it).
bool IsRecordsCommand(const std::vector<std::string>& args);

// Runs the command; the exit status (0, or 2 for usage and store errors).
int RunRecords(const std::vector<std::string>& args);

std::string RecordsUsageText();

}  // namespace mirelle::cli
