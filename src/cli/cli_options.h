// The command line of mirelle-cli: options may stand before or after the
// command. Parsing is pure; the caller prints the error and exits with the
// usage status.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirelle::cli {

enum class Command { None, Targets, Ports, Checksum, Download, Erase, BlankCheck, Program, Verify, Read };

struct Options {
    Command command = Command::None;
    std::string file;                    // checksum, program, verify: FILE; read: OUT
    std::optional<std::string> home;     // --home
    std::optional<std::string> target;   // --target
    std::optional<std::string> clock;    // --clock
    std::vector<std::string> ports;      // -p/--port, in the order given
    bool reset_prompt = false;
    std::optional<std::string> before;   // --before SEQ: boot-entry sequence
    std::optional<std::string> after;    // --after SEQ: sequence after the last operation
    std::optional<std::string> log;      // --log
    std::optional<std::string> log_dir;  // --log-dir (gang runs)
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool intel_hex = false;              // read --format ihex
    int fill = 0xFF;                     // checksum --fill
    int map_com = 0;                     // ports --map N DEVICE (0: none)
    std::string map_device;
    int unmap_com = 0;                   // ports --unmap N (0: none)
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line is good
    bool ok() const { return error.empty(); }
};

// `args` are the arguments after the program's name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The name of a command as typed.
const char* CommandName(Command command);

// The --help text, exit statuses included.
std::string UsageText();

}  // namespace mirelle::cli
