// mirelle-cli's entry point: every operation of the programmer from a script.
#include <string>
#include <vector>

#include "cli/cli_run.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return mirelle::cli::RunCli(args);
}
