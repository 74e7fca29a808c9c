// The words of mirelle-cli's own lines, and the small choices behind them:
// the summary at the end of a command, a step's progress line, a program
// file of neither format told by its first bytes, what to check after the
// boot ROM kept silent, the working rate that -b names, and the port taken
// when none is named. Pure: no port, no file, no clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirelle::cli {

// What a command did, for its summary line.
struct Summary {
    std::string verb;     // "programmed", "verified", "read", "erased", ...
    long long bytes = 0;  // the bytes the command covered
    // The part of the flash, shown in hex (none: not shown).
    std::optional<std::uint32_t> first, last;
    std::string into;      // read: the file written
    double seconds = 0;    // by the session's clock
    std::vector<std::string> details;  // "13 blocks", "19200 baud", ...
};

// "programmed 6183 bytes in 7.5 s (13 blocks, 19200 baud, 824 bytes/s)";
// with a part of the flash "read 4096 bytes at 0x00080000-0x00080FFF into
// out.bin in 0.3 s (...)". The rate is left out when no time was measured.
std::string SummaryLine(const Summary& summary);

// A step's progress: its name and the share done, "Programming 42%", or on
// a terminal with the bar between them, "Programming [######.....] 42%".
std::string ProgressLine(const std::string& step, int percent, bool bar);

// A step text as one line: runs of blanks become one, none at the ends.
std::string SingleSpaced(const std::string& text);

// The first bytes of a file, for a file of neither format: up to 16 bytes
// in hex and as text, unprintable bytes as '.':
// `68 65 6C 6C 6F 0A ("hello.")`. "no bytes" for an empty file.
std::string FirstBytesText(const std::string& bytes);

// What to check when the boot ROM did not answer on `device` at `baud`.
std::string BootSilenceHint(const std::string& device, std::uint32_t baud);

// The Clock entry -b RATE stands for. `work_rates` holds each Clock entry's
// working rate (none where the chip gives none), `current` the entry chosen
// so far, `clock_given` whether --clock chose it.
struct RateChoice {
    int index = -1;     // the entry to use; -1 with `error` set
    std::string error;
};
RateChoice ChooseWorkingRate(const std::string& target, const std::vector<std::string>& clocks,
                             const std::vector<std::optional<std::uint32_t>>& work_rates, int current,
                             bool clock_given, std::uint32_t wanted);

// The port of a run that names none: the one serial device there is (said
// so in `note`), else an error listing them; with no device at all, empty
// device and error (the default COM port is used).
struct PortChoice {
    std::string device;
    std::string note;
    std::string error;
};
PortChoice ChooseOnlyPort(const std::vector<std::string>& devices);

}  // namespace mirelle::cli
