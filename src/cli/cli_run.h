// mirelle-cli's commands: one command on one board through the main
// window's operations, the listings, and the dispatch of a gang run.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace mirelle::engine {
class FlashSession;
}

namespace mirelle::cli {

// Runs the command line (the arguments after the program's name); the
// process's exit status.
int RunCli(const std::vector<std::string>& args);

// One command on one board (a gang run's child runs this too).
int RunSingle(const Options& options);

// Selects the chip, clock and rate that --target, --clock and --baud name
// (else DATAFILE.TXT's) in a session of the program folder `home`: "" when
// done, else why not, with the exit status in `status`.
std::string SelectChip(const Options& options, const std::string& home, engine::FlashSession& session, int& status);

// The program folder that --home names (else the program's own), absolute,
// with a separator at its end.
std::string ProgramHome(const Options& options);

// Gang programming: one child process per port (gang_run.cpp).
int RunGang(const Options& options, const std::string& home);

}  // namespace mirelle::cli
