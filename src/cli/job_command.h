// mirelle-cli job: writes a production station's job file with its hashes
// (job new) and says whether one may run (job check).
#pragma once

#include <string>
#include <vector>

namespace mirelle::cli {

// Whether the command line is a job command (its first word is "job").
bool IsJobCommand(const std::vector<std::string>& args);

// Runs it; the process's exit status.
int RunJob(const std::vector<std::string>& args);

}  // namespace mirelle::cli
