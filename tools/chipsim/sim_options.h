// The command line of mirelle-sim, read into a chip configuration and the
// program's own settings. Kept apart from the program so the tests read the
// same options.
#pragma once

#include <cstdint>
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
    bool help = false;
};

// False with `error` set for an unknown option, a missing or malformed value,
// or a chip without any flash area. `--help` gives true with `help` set.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error);

std::string SimUsage();

}  // namespace mirelle::chipsim
