// The command line of mirelle-sim, read into a chip configuration and the
// program's own settings. Kept apart from the program so the tests read the
// same options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chipsim/chip_config.h"

namespace mirelle::chipsim {

// Bytes the chip holds before the host talks to it: given bytes (--fill) or
// the contents of a file, read by the program (--data).
struct Preload {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
    std::string file;
};

struct SimOptions {
    ChipConfig chip;
    std::string chipdef, target;
    int clock_index = 0;
    std::string link, flash_file, trace_file, summary_file;
    std::vector<Preload> preload;
    // The USB adapter's latency timer for the chip's answers (0: none).
    std::uint32_t latency_ms = 0;
    // --rfc2217 PORT: serve the chip as an RFC 2217 server on 127.0.0.1:PORT
    // instead of a pseudo-terminal (0: the pseudo-terminal).
    std::uint16_t rfc2217_port = 0;
    // --control PATH: a named pipe whose lines put boards in and take them out.
    std::string control;
    // --boards-dir DIR: each board's flash and summary when it goes.
    std::string boards_dir;
    // --empty: no board in at the start.
    bool empty = false;
    // --hotplug: each board brings its own device (a new pseudo-terminal at
    // --link); otherwise the device stays and is silent without a board.
    bool hotplug = false;
    bool help = false;
};

// A line of the control channel.
struct ControlCommand {
    enum class Kind { Insert, Remove };
    Kind kind = Kind::Insert;
    // insert with fault options: this board's faults, instead of the command line's.
    std::optional<Faults> faults;
};

// False with `error` set for an unknown option, a missing or malformed value,
// or a chip without any flash area. `--help` gives true with `help` set.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error);

// The fault options alone, as the command line gives them (--silent,
// --verify-fail 3 ...), from no fault; false with `error` set for anything
// else or a bad value.
bool ParseFaultOptions(const std::vector<std::string>& args, Faults& out, std::string& error);

// `insert [FAULT OPTIONS]` or `remove`, words apart by blanks; false with
// `error` set for any other line.
bool ParseControlLine(const std::string& line, ControlCommand& out, std::string& error);

std::string SimUsage();

}  // namespace mirelle::chipsim
