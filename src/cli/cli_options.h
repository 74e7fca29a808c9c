// The command line of mirelle-cli: options may stand before or after the
// command. Parsing is pure; the caller prints the error and exits with the
// usage status.
#pragma once

#include <cstdint>
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
    bool binary = false;                 // read --format bin
    std::optional<std::uint32_t> start;  // read --start ADDR
    std::optional<std::uint64_t> length; // read --length N
    std::optional<std::uint32_t> baud;   // -b/--baud: the working rate
    bool verbose = false;                // -v/--verbose
    std::optional<std::string> trace;    // --trace FILE
    std::string file_format;             // checksum, program, verify --format: srec, ihex, elf, bin ("" : by the file)
    std::optional<std::uint32_t> offset; // --offset: a raw binary's start address
    int fill = 0xFF;                     // checksum --fill
    int map_com = 0;                     // ports --map N DEVICE (0: none)
    std::string map_device;
    int unmap_com = 0;                   // ports --unmap N (0: none)
    std::vector<std::string> patches;    // program, checksum --patch RULE, in the order given
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line is good
    bool ok() const { return error.empty(); }
};

// `args` are the arguments after the program's name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// A number as --start, --length and --baud take it: decimal, or hex with
// 0x; a k or M after it counts 1024 or 1024 * 1024. None for anything else.
std::optional<std::uint64_t> ParseNumber(const std::string& text);

// The name of a command as typed.
const char* CommandName(Command command);

// The --help text, exit statuses included.
std::string UsageText();

}  // namespace mirelle::cli
