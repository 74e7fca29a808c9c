// mirelle-cli's commands: one command on one board through the main
// window's operations, the listings, and the dispatch of a gang run.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace mirelle::cli {

// Runs the command line (the arguments after the program's name); the
// process's exit status.
int RunCli(const std::vector<std::string>& args);

// One command on one board (a gang run's child runs this too).
int RunSingle(const Options& options);

// Gang programming: one child process per port (gang_run.cpp).
int RunGang(const Options& options, const std::string& home);

}  // namespace mirelle::cli
