#include "cli/cli_options.h"

#include <cstdlib>

#include "hexfile/program_file.h"
#include "records/serializer.h"
#include "serial/line_sequence.h"

namespace mirelle::cli {

namespace {

struct CommandWord {
    const char* word;
    Command command;
    bool takes_file;
};

constexpr CommandWord kCommands[] = {
    {"targets", Command::Targets, false},     {"ports", Command::Ports, false},
    {"checksum", Command::Checksum, true},    {"download", Command::Download, false},
    {"erase", Command::Erase, false},         {"blank-check", Command::BlankCheck, false},
    {"program", Command::Program, true},      {"verify", Command::Verify, true},
    {"read", Command::Read, true},
};

const CommandWord* FindCommand(const std::string& word) {
    for (const CommandWord& c : kCommands)
        if (word == c.word) return &c;
    return nullptr;
}

// Two hex digits, with or without "0x".
std::optional<int> ParseFillByte(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
    if (text.empty() || text.size() > 2) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    if (*end != 0) return std::nullopt;
    return static_cast<int>(value);
}

// A COM number from 1 to 255, as "3" or "COM3".
int ParseComNumber(std::string text) {
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
        (text[2] == 'M' || text[2] == 'm'))
        text.erase(0, 3);
    if (text.empty() || text.size() > 3) return 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return *end == 0 && value >= 1 && value <= 255 ? static_cast<int>(value) : 0;
}

}  // namespace

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
    std::string digits = text;
    std::uint64_t unit = 1;
    if (!digits.empty() && (digits.back() == 'k' || digits.back() == 'K')) unit = 1024, digits.pop_back();
    else if (!digits.empty() && digits.back() == 'M') unit = 1024 * 1024, digits.pop_back();
    // Nothing the flash of a 32-bit address space could use lies beyond 2^32.
    const auto value = hexfile::ParseUnsigned(digits, (std::uint64_t{1} << 32) / unit);
    if (!value) return std::nullopt;
    return *value * unit;
}

const char* CommandName(Command command) {
    for (const CommandWord& c : kCommands)
        if (c.command == command) return c.word;
    return "";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult r;
    Options& o = r.options;
    std::vector<std::string> words;  // the command and its operands
    std::optional<std::string> format, fill, map, unmap, start, length, baud, offset;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inline_value;
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inline_value = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&](std::optional<std::string>& into) {
            if (inline_value) {
                into = *inline_value;
                return true;
            }
            if (i + 1 >= args.size()) {
                r.error = "option " + arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::optional<std::string> v;
        if (arg == "-h" || arg == "--help") o.help = true;
        else if (arg == "--version") o.version = true;
        else if (arg == "--json") o.json = true;
        else if (arg == "-q" || arg == "--quiet") o.quiet = true;
        else if (arg == "-v" || arg == "--verbose") o.verbose = true;
        else if (arg == "--trace") { if (!value(o.trace)) return r; }
        else if (arg == "-b" || arg == "--baud") { if (!value(baud)) return r; }
        else if (arg == "--start") { if (!value(start)) return r; }
        else if (arg == "--length") { if (!value(length)) return r; }
        else if (arg == "--reset-prompt") o.reset_prompt = true;
        else if (arg == "--before") { if (!value(o.before)) return r; }
        else if (arg == "--after") { if (!value(o.after)) return r; }
        else if (arg == "--home") { if (!value(o.home)) return r; }
        else if (arg == "--target") { if (!value(o.target)) return r; }
        else if (arg == "--clock") { if (!value(o.clock)) return r; }
        else if (arg == "--log") { if (!value(o.log)) return r; }
        else if (arg == "--log-dir") { if (!value(o.log_dir)) return r; }
        else if (arg == "--format") { if (!value(format)) return r; }
        else if (arg == "--fill") { if (!value(fill)) return r; }
        else if (arg == "--offset") { if (!value(offset)) return r; }
        else if (arg == "--map") { if (!value(map)) return r; }
        else if (arg == "--unmap") { if (!value(unmap)) return r; }
        else if (arg == "--patch") {
            if (!value(v)) return r;
            o.patches.push_back(*v);
        }
        else if (arg == "-p" || arg == "--port") {
            if (!value(v)) return r;
            o.ports.push_back(*v);
        } else if (arg.size() > 1 && arg[0] == '-') {
            r.error = "unknown option " + args[i];
            return r;
        } else {
            words.push_back(arg);
        }
    }
    if (o.help || o.version) return r;
    if (words.empty()) {
        r.error = "no command given";
        return r;
    }
    const CommandWord* c = FindCommand(words[0]);
    if (!c) {
        r.error = "unknown command " + words[0];
        return r;
    }
    o.command = c->command;
    if (map || unmap) {
        if (o.command != Command::Ports) return r.error = "--map and --unmap belong to ports", r;
        if (map && unmap) return r.error = "--map and --unmap cannot go together", r;
        const int n = ParseComNumber(map ? *map : *unmap);
        if (n == 0) return r.error = "a COM number is 1 to 255, not " + (map ? *map : *unmap), r;
        if (map && words.size() != 2) return r.error = "--map needs a COM number and a device", r;
        if (map) o.map_com = n, o.map_device = words[1];
        else o.unmap_com = n;
        if (map) words.pop_back();
    }
    const std::size_t operands = c->takes_file ? 1 : 0;
    if (words.size() - 1 < operands) {
        r.error = std::string(c->word) + " needs a file";
        return r;
    }
    if (words.size() - 1 > operands) {
        r.error = "unexpected argument " + words[operands + 1];
        return r;
    }
    if (c->takes_file) o.file = words[1];
    const bool reads_program = o.command == Command::Checksum || o.command == Command::Program || o.command == Command::Verify;
    if (format && reads_program) {
        if (!hexfile::ParseProgramFormat(*format))
            return r.error = "--format of a program file is srec, ihex, elf or bin, not " + *format, r;
        o.file_format = *format;
    } else if (format) {
        if (o.command != Command::Read) return r.error = "--format belongs to read, checksum, program and verify", r;
        if (*format == "ihex") o.intel_hex = true;
        else if (*format == "bin") o.binary = true;
        else if (*format != "srec") return r.error = "--format is srec, ihex or bin, not " + *format, r;
    }
    if (start || length) {
        if (o.command != Command::Read) return r.error = "--start and --length belong to read", r;
        if (!start || !length) return r.error = "read of a part of the flash needs both --start and --length", r;
        const auto first = ParseNumber(*start), count = ParseNumber(*length);
        if (!first || *first > 0xFFFFFFFF) return r.error = "--start takes an address such as 0x80000, not " + *start, r;
        if (!count || *count == 0) return r.error = "--length takes a byte count such as 4096 or 0x1000, not " + *length, r;
        if (*first + *count - 1 > 0xFFFFFFFF) return r.error = "--start and --length reach past 0xFFFFFFFF", r;
        o.start = static_cast<std::uint32_t>(*first);
        o.length = *count;
    }
    if (baud) {
        const auto rate = ParseNumber(*baud);
        if (!rate || *rate == 0 || *rate > 0x7FFFFFFF) return r.error = "--baud takes a rate in bit/s, not " + *baud, r;
        o.baud = static_cast<std::uint32_t>(*rate);
    }
    if (o.verbose && o.quiet) return r.error = "-v and -q cannot go together", r;
    if (o.trace && o.ports.size() > 1) return r.error = "--trace follows one port: run the boards one by one", r;
    if (offset) {
        if (!reads_program) return r.error = "--offset belongs to checksum, program and verify", r;
        o.offset = hexfile::ParseStartAddress(*offset);
        if (!o.offset) return r.error = "--offset takes an address (0x hex or decimal, at most 0xFFFFFFFF), not " + *offset, r;
        const bool binary = o.file_format.empty() ? hexfile::IsBinaryFileName(o.file) : o.file_format == "bin";
        if (!binary) return r.error = "--offset is for a raw binary (a *.bin file or --format bin)", r;
    }
    if (!o.patches.empty()) {
        if (o.command != Command::Program && o.command != Command::Checksum)
            return r.error = "--patch belongs to program and checksum", r;
        std::vector<hexfile::PatchRule> rules;
        std::string error;
        if (!records::ParsePatchRules(o.patches, rules, error)) return r.error = "--patch: " + error, r;
    }
    if (fill) {
        if (o.command != Command::Checksum) return r.error = "--fill belongs to checksum", r;
        const auto byte = ParseFillByte(*fill);
        if (!byte) return r.error = "--fill takes two hex digits, not " + *fill, r;
        o.fill = *byte;
    }
    for (const auto* seq : {&o.before, &o.after}) {
        serial::LineSequence steps;
        std::string error;
        if (*seq && !serial::ParseLineSequence(**seq, steps, error))
            return r.error = std::string(seq == &o.before ? "--before: " : "--after: ") + error, r;
    }
    if (o.before && o.reset_prompt) return r.error = "--before resets the board itself: no --reset-prompt with it", r;
    // "COM0" would otherwise be opened as a file of the current folder.
    for (const std::string& port : o.ports) {
        const bool com_word = port.size() >= 3 && (port[0] == 'C' || port[0] == 'c') && (port[1] == 'O' || port[1] == 'o') &&
                              (port[2] == 'M' || port[2] == 'm');
        if (com_word && ParseComNumber(port) == 0) return r.error = "a COM number is 1 to 255, not " + port, r;
    }
    for (std::size_t a = 0; a < o.ports.size(); ++a)
        for (std::size_t b = a + 1; b < o.ports.size(); ++b)
            if (o.ports[a] == o.ports[b]) return r.error = "port " + o.ports[a] + " is named twice", r;
    if (o.ports.size() > 1 && o.command != Command::Program)
        return r.error = "several ports are for program only", r;
    if (o.log && o.ports.size() > 1) return r.error = "a gang run keeps one log per port: use --log-dir", r;
    return r;
}

std::string UsageText() {
    return R"(usage: mirelle-cli [OPTIONS] COMMAND [ARGS]

commands:
  targets                       the chips of CHIPDEF.INI: name, areas, clocks and rates
  ports                         serial devices, their by-id names, USB ids, driver,
                                whether they can be opened, and the COMn names of [Ports]
  ports --map N DEVICE          make COMN stand for DEVICE ([Ports] of Customize.ini)
  ports --unmap N               remove COMN from [Ports]
  checksum FILE [--fill XX]     the 16-bit sum of FILE over the chip's areas
                                (with --patch: of the image the next unit would get)
  download                      download the control program
  erase | blank-check           download, then the operation
  program FILE                  Full Operation (several -p: all boards at once)
  verify FILE                   download, then Read & Compare
  read OUT [--format srec|ihex|bin] [--start ADDR --length N]
                                download, then Copy into OUT: every flash area, or
                                only ADDR to ADDR+N-1 (all of it flash); bin: the
                                bytes as they are, area after area
  records [--summary] [...]     the unit records (mirelle-cli records --help)
  job new NAME.job ... | job check NAME.job
                                write a production station's job with its hashes, or
                                say whether one may run (mirelle-cli job --help)
  station NAME.job [--units N]  run the job's slots board after board until a signal
                                or N verdicts (mirelle-cli station --help)

options (before or after the command):
  --home DIR        the program folder (CHIPDEF.INI, control programs, Customize.ini)
  --target NAME     the chip (default: the last one chosen)
  --clock N|TEXT    the Clock entry, by number from 0 or by text (default: the last one chosen)
  -b, --baud RATE   the working rate: the Clock entry whose Baud2 rate (twice Baud
                    without Baud2) is RATE; refused with the chip's rates otherwise
  -p, --port P      COM1 to COM255 (through [Ports]), a device path, rfc2217://HOST:PORT
                    (RFC 2217 server) or socket://HOST:PORT (raw TCP); repeat for a gang
                    run. Without -p: the COM port of Customize.ini; when it sets none,
                    the only serial device there is (several: name one)
  --reset-prompt    ask for the board reset before the download
  --before SEQ      reset the board into boot mode through DTR/RTS instead of a prompt
                    (in place of the chip's BootEntry= of CHIPDEF.INI; "" for none)
  --after SEQ       after the last operation, e.g. to start the program (BootExit=)
                    SEQ: D1/D0 DTR on/off, R1/R0 RTS on/off, B250 break of 250 ms,
                    W100 wait 100 ms, !D1 a line the board inverts (= D0);
                    e.g. --before "D1 R1 W100 D0 W50 R0" --after "R0 D1 W100 D0"
  --log FILE        the result log (default MESSFILE.TXT in the program folder):
                    "OK" when mirelle-cli exits 0, else "NG" and the reason
  --log-dir DIR     gang run: one PORT.TXT result log per port
                    (default gang-YYYYMMDD-HHMMSS in the program folder)
  --trace FILE      every byte exchanged with the chip, with its time in microseconds
                    and its direction (> sent, < received), for bug reports
  --json            one JSON object per line on stdout: progress events and the result
  -q, --quiet       errors and warnings only: no progress, no result or summary line
  -v, --verbose     also the port, chip, clock, rates and log before the run
  -h, --help, --version

ADDR and N are decimal or hex with 0x; a k or M after N counts 1024 or 1024 * 1024.
Progress goes to standard error; after a command that succeeded, its result and a
summary line (what was done, bytes, time, rate) go to standard output; errors go to
standard error, one line each.

program files (checksum, program, verify): S-record or Intel HEX (told by the
first character), ELF as the linker writes it (told by its first bytes; the
loadable segments at their physical addresses), or a raw binary (*.bin):
  --offset ADDR     the address of a binary's first byte (0x hex or decimal);
                    a binary without it is refused
  --format F        srec, ihex, elf or bin: read FILE as that format whatever
                    its name or first bytes
  e.g. mirelle-cli program firmware.elf
       mirelle-cli program boot.bin --offset 0x8000

serialization (program, checksum): a value per unit written into the image
  --patch ADDR:LEN:SOURCE[,OPTIONS]   repeatable (a serial number and a MAC...)
    SOURCE  counter=START[,step=N][,end=N]   list=FILE (a value a line)
            command=CMD (run per unit with MIRELLE_SLOT and MIRELLE_UNIT set;
            its first output line is the value; it takes the rest of the rule)
    counter encodings: enc=bin|bcd|dec|hex, order=le|be (bin, bcd),
            digits=N, prefix=TEXT, suffix=TEXT (dec, hex)
    list and command values: enc=bytes (hex bytes, default) or enc=text
    overwrite  the patch may replace bytes the program file holds
    burn       a failed board spends its value too (else the next board gets it)
  Values are reserved in the record store ([Records] of Customize.ini) when
  the board's Full Operation starts, spent when it passes, given back when it
  fails; boards never share a value, across gang children and stations.
  e.g. mirelle-cli program fw.hex --patch 0x7F00:4:counter=1,end=999999,enc=bcd
         --patch 0x7F10:12:counter=1,enc=dec,prefix=SN- --patch 0x7F20:6:list=macs.txt

exit status:
  0  success
  1  the chip or its flash failed (erase, blank check, program, verify mismatch, read error)
  2  usage or configuration (unknown option, no such target, CHIPDEF.INI unusable,
     the target DATAFILE.TXT names is gone, the result log cannot be written,
     another run holds the program folder)
  3  program file (missing, unreadable, decode error), or read could not write OUT
  4  port (cannot open, no permission, busy, setting refused)
  5  no answer from the chip (time-out)
  6  interrupted by a signal
  a gang run exits 0 only when every board succeeded, else with the highest status above
)";
}

}  // namespace mirelle::cli
