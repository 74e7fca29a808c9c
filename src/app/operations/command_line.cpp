#include "app/operations/command_line.h"

#include "hexfile/program_file.h"

#include <strings.h>

#include <algorithm>

namespace mirelle {

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

constexpr long kFirstPort = 1;
constexpr long kLastPort = 255;

}  // namespace

std::optional<long> PortWordNumber(const std::string& word) {
    if (word.size() < 4 || strncasecmp(word.c_str(), "com", 3) != 0) return std::nullopt;
    long value = 0;
    for (std::size_t i = 3; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') return std::nullopt;
        value = std::min(value * 10 + (word[i] - '0'), 1000000L);
    }
    return value;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty()) return cl;
    cl.command_line_mode = true;
    cl.program_file = args[0];
    if (args.size() < 2) return cl;

    // Positions 2 and 3 may name the port (com1 to com255, the COM box's
    // range); the lower port number wins when both name one.
    cl.com_number = 1;
    std::optional<long> lowest;
    for (std::size_t i = 1; i < args.size() && i <= 2; ++i) {
        const std::optional<long> n = PortWordNumber(args[i]);
        if (n && *n >= kFirstPort && *n <= kLastPort && (!lowest || *n < *lowest)) lowest = n;
    }
    if (lowest) cl.com_number = static_cast<int>(*lowest);
    // A port word that names no port would otherwise run on COM1 unseen.
    for (std::size_t i = 1; i < args.size() && cl.bad_port_word.empty(); ++i) {
        const std::optional<long> n = PortWordNumber(args[i]);
        if (n && (*n < kFirstPort || *n > kLastPort)) cl.bad_port_word = args[i];
    }
    // So would any other word plainly meant as a port: one that begins with
    // "com" but is not com1 to com255, a device path, or a good port word
    // where no port is read (position 4 or later). Other words still pass,
    // as scripts rely on.
    if (!cl.bad_port_word.empty()) cl.port_word_error = cl.bad_port_word + " names no port (com1 to com255)";
    for (std::size_t i = 1; i < args.size() && cl.port_word_error.empty(); ++i) {
        const std::string& word = args[i];
        const std::optional<long> n = PortWordNumber(word);
        const bool port = n && *n >= kFirstPort && *n <= kLastPort;
        if (port && i > 2)
            cl.port_word_error = word + " comes too late to name the port (it is word 2 or 3 after the program)";
        else if (!port && strncasecmp(word.c_str(), "com", 3) == 0)
            cl.port_word_error = word + " names no port (com1 to com255)";
        else if (!word.empty() && (word[0] == '/' || word.rfind("\\", 0) == 0))
            cl.port_word_error = word + " names no port: a device is named as comN through [Ports] of Customize.ini";
    }

    cl.use_reset = false;  // with two or more arguments, "no_reset" unless "reset" comes first
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (SameIgnoringCase(args[i], "reset")) {
            cl.use_reset = true;
            break;
        }
        if (SameIgnoringCase(args[i], "no_reset")) break;
    }
    for (std::size_t i = 1; i < args.size(); ++i)
        if (SameIgnoringCase(args[i], "no_dialog")) cl.show_progress = false;
    for (std::size_t i = 1; i < args.size() && cl.offset_error.empty(); ++i) {
        if (strncasecmp(args[i].c_str(), "offset=", 7) != 0) continue;
        cl.binary_start = hexfile::ParseStartAddress(std::string_view(args[i]).substr(7));
        if (!cl.binary_start)
            cl.offset_error = args[i] + " names no start address (offset=0x hex digits or offset=decimal, up to 0xFFFFFFFF)";
    }
    return cl;
}

InfoRequest InfoRequestOf(const std::vector<std::string>& args, bool first_word_is_a_file) {
    if (args.size() != 1 || first_word_is_a_file) return InfoRequest::kNone;
    if (args[0] == "--help" || args[0] == "-h") return InfoRequest::kUsage;
    if (args[0] == "--version") return InfoRequest::kVersion;
    return InfoRequest::kNone;
}

std::optional<std::string> StationJobOf(const std::vector<std::string>& args, bool first_word_is_a_file) {
    if (args.empty() || args[0] != "--station" || first_word_is_a_file) return std::nullopt;
    return args.size() == 2 ? args[1] : std::string();
}

std::string MirelleUsageText() {
    return R"(usage: mirelle [PROGRAM-FILE [comN] [no_dialog] [reset | no_reset] [offset=ADDR]]
       mirelle --station NAME.job

Without arguments: the window, to choose the chip, the program file and the
COM port and to run each operation.

With a program file: one Full Operation (decode, download, erase and blank
check when needed, program and verify), unattended, then exit. The result is
in MESSFILE.TXT of the program folder ("OK", or "NG" and why) and in the exit
status: 0 OK, 1 NG, 2 the run could not start.
  comN        the COM port (com1 to com255), as the second or third word
  no_dialog   no progress window
  reset       ask for the board reset and download again after an erase
  no_reset    do not (the default when words follow the file)
  offset=ADDR where a raw binary's first byte goes (0x hex or decimal);
              a binary (*.bin) needs it
A program file is S-record, Intel HEX, ELF or a raw binary (*.bin), e.g.
  mirelle firmware.elf com1 no_dialog
  mirelle boot.bin com1 no_dialog offset=0x80000

With --station and a job file (written by mirelle-cli job new): the station
window, one tile per slot of the job, each slot programming board after board
once started; a job whose program file or chip definition changed since it
was written is refused. The window's system menu opens one too (Station...).

mirelle-cli runs every operation from scripts; see mirelle(1), mirelle-cli(1).
)";
}

}  // namespace mirelle
