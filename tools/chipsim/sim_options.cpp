#include "chipsim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <optional>

namespace mirelle::chipsim {

namespace {

std::optional<std::uint64_t> Number(const std::string& text, int base) {
    if (text.empty()) return std::nullopt;
    std::string t = text;
    if (base == 16 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t[0] == '-' || t[0] == '+') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(t.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0') return std::nullopt;
    return v;
}

std::optional<std::uint32_t> Address(const std::string& text) {
    const auto v = Number(text, 16);
    if (!v || *v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}

// A single character stands for itself ('4' is 0x34); anything longer is hexadecimal.
std::optional<std::uint8_t> Byte(const std::string& text) {
    if (text.size() == 1) return static_cast<std::uint8_t>(text[0]);
    const auto v = Number(text, 16);
    if (!v || *v > 0xFF) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

std::optional<StepKind> Kind(const std::string& name) {
    static const std::map<std::string, StepKind> kinds = {
        {"any", StepKind::Any},         {"sync", StepKind::Sync},           {"upload", StepKind::Upload},
        {"start", StepKind::Start},     {"erase", StepKind::Erase},         {"cr-read", StepKind::CrRead},
        {"cr-set", StepKind::CrSet},    {"blank", StepKind::BlankCheck},    {"program", StepKind::ProgramCommand},
        {"data", StepKind::ProgramData}, {"read", StepKind::ReadCommand}};
    const auto it = kinds.find(name);
    if (it == kinds.end()) return std::nullopt;
    return it->second;
}

// N, KIND or KIND:N.
std::optional<StepMatch> Step(const std::string& text) {
    if (const auto n = Number(text, 10)) {
        if (*n == 0 || *n > 1000000000) return std::nullopt;
        return StepMatch{StepKind::Any, static_cast<int>(*n)};
    }
    const auto colon = text.find(':');
    const auto kind = Kind(text.substr(0, colon));
    if (!kind) return std::nullopt;
    if (colon == std::string::npos) return StepMatch{*kind, 1};
    const auto n = Number(text.substr(colon + 1), 10);
    if (!n || *n == 0 || *n > 1000000000) return std::nullopt;
    return StepMatch{*kind, static_cast<int>(*n)};
}

// N (the nth block) or @ADDRESS.
std::optional<BlockRef> Block(const std::string& text) {
    if (!text.empty() && text[0] == '@') {
        const auto a = Address(text.substr(1));
        if (!a) return std::nullopt;
        return BlockRef::At(*a);
    }
    const auto n = Number(text, 10);
    if (!n || *n == 0 || *n > 0xFFFFFFFFull) return std::nullopt;
    return BlockRef::Nth(static_cast<std::uint32_t>(*n));
}


enum class Took { No, Yes, Bad };

// A fault option at args[i], with its value after it when it has one: Yes
// (`i` then on the last word taken), No when args[i] is no fault option, Bad
// with `error` set. The command line and the control channel's `insert`
// both read their faults here.
Took TakeFaultOption(const std::vector<std::string>& args, std::size_t& i, Faults& faults, std::string& error) {
    const std::string& opt = args[i];
    if (opt == "--silent") {
        faults.silent_from = StepMatch{StepKind::Any, 1};
        return Took::Yes;
    }
    static const std::set<std::string> valued = {
        "--silent-from", "--wrong-ack",      "--busy-forever", "--silent-after",   "--ack-byte",
        "--erase-answer", "--refuse-byte",   "--crc-error",    "--verify-fail",    "--read-crc-error",
        "--refuse-program", "--refuse-read", "--crc-tries",    "--read-crc-tries", "--drop-after"};
    if (valued.count(opt) == 0) return Took::No;
    if (i + 1 >= args.size()) {
        error = opt + " needs a value";
        return Took::Bad;
    }
    const std::string& v = args[++i];
    const auto bad = [&]() {
        error = "bad value '" + v + "' for " + opt;
        return Took::Bad;
    };
    if (opt == "--silent-from" || opt == "--wrong-ack" || opt == "--busy-forever") {
        const auto s = Step(v);
        if (!s) return bad();
        (opt == "--silent-from" ? faults.silent_from
                                : opt == "--wrong-ack" ? faults.wrong_ack_at : faults.busy_forever_at) = s;
    } else if (opt == "--silent-after") {
        const auto n = Number(v, 10);
        if (!n || *n > 1000000000) return bad();
        faults.silent_from = StepMatch{StepKind::Any, static_cast<int>(*n) + 1};
    } else if (opt == "--ack-byte" || opt == "--erase-answer" || opt == "--refuse-byte") {
        const auto b = Byte(v);
        if (!b) return bad();
        if (opt == "--ack-byte") faults.wrong_ack_byte = *b;
        else if (opt == "--erase-answer") faults.erase_status = *b;
        else faults.refuse_byte = *b;
    } else if (opt == "--crc-error" || opt == "--verify-fail" || opt == "--read-crc-error" ||
               opt == "--refuse-program" || opt == "--refuse-read") {
        const auto b = Block(v);
        if (!b) return bad();
        if (opt == "--crc-error") faults.crc_error_block = b;
        else if (opt == "--verify-fail") faults.verify_fail_block = b;
        else if (opt == "--read-crc-error") faults.read_crc_block = b;
        else if (opt == "--refuse-program") faults.refuse_program_block = b;
        else faults.refuse_read_block = b;
    } else if (opt == "--crc-tries" || opt == "--read-crc-tries") {
        const auto n = Number(v, 10);
        if (!n || *n == 0 || *n > 1000000000) return bad();
        (opt == "--crc-tries" ? faults.crc_error_tries : faults.read_crc_tries) = static_cast<int>(*n);
    } else if (opt == "--drop-after") {
        const auto n = Number(v, 10);
        if (!n || *n == 0) return bad();
        faults.drop_after_bytes = *n;
    }
    return Took::Yes;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error) {
    out = SimOptions{};
    std::vector<Area> areas;
    std::optional<Family> family;
    std::optional<bool> upload_ack;
    std::optional<std::uint32_t> boot, work;
    std::optional<std::array<std::uint8_t, 8>> cr;
    bool any_rate = false, keep_on_close = false, no_line_time = false;
    std::map<std::string, std::uint32_t> times;
    Faults faults;
    serial::LineSequence boot_entry;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (opt == "--help" || opt == "-h") {
            out.help = true;
            return true;
        }
        switch (TakeFaultOption(args, i, faults, error)) {
            case Took::Yes: continue;
            case Took::Bad: return false;
            case Took::No: break;
        }
        // Options without a value.
        if (opt == "--any-rate") { any_rate = true; continue; }
        if (opt == "--empty") { out.empty = true; continue; }
        if (opt == "--hotplug") { out.hotplug = true; continue; }
        if (opt == "--keep-on-close") { keep_on_close = true; continue; }
        if (opt == "--no-line-time") { no_line_time = true; continue; }
        if (opt == "--no-upload-ack") { upload_ack = false; continue; }
        if (opt == "--upload-ack") { upload_ack = true; continue; }

        if (i + 1 >= args.size()) {
            error = opt + " needs a value (or is unknown; see --help)";
            return false;
        }
        const std::string& v = args[++i];
        const auto bad = [&]() {
            error = "bad value '" + v + "' for " + opt;
            return false;
        };
        if (opt == "--chipdef") {
            out.chipdef = v;
        } else if (opt == "--target") {
            out.target = v;
        } else if (opt == "--clock") {
            const auto n = Number(v, 10);
            if (!n || *n > 1000) return bad();
            out.clock_index = static_cast<int>(*n);
        } else if (opt == "--area") {
            const auto dash = v.find('-');
            if (dash == std::string::npos) return bad();
            const auto s = Address(v.substr(0, dash));
            const auto e = Address(v.substr(dash + 1));
            if (!s || !e || *e < *s) return bad();
            areas.push_back({*s, *e});
        } else if (opt == "--family") {
            if (v == "first") family = Family::First;
            else if (v == "second") family = Family::Second;
            else return bad();
        } else if (opt == "--boot-baud" || opt == "--work-baud") {
            const auto n = Number(v, 10);
            if (!n || *n == 0 || *n > 100000000) return bad();
            (opt == "--boot-baud" ? boot : work) = static_cast<std::uint32_t>(*n);
        } else if (opt == "--cr") {
            if (v.size() != 16) return bad();
            std::array<std::uint8_t, 8> bytes{};
            for (std::size_t k = 0; k < 8; ++k) {
                const auto b = Number(v.substr(2 * k, 2), 16);
                if (!b) return bad();
                bytes[k] = static_cast<std::uint8_t>(*b);
            }
            cr = bytes;
        } else if (opt == "--erase-ms" || opt == "--blank-ms" || opt == "--program-ms" || opt == "--busy-ms") {
            const auto n = Number(v, 10);
            if (!n || *n > 3600000) return bad();
            times[opt] = static_cast<std::uint32_t>(*n);
        } else if (opt == "--latency-ms") {
            const auto n = Number(v, 10);
            if (!n || *n > 60000) return bad();
            out.latency_ms = static_cast<std::uint32_t>(*n);
        } else if (opt == "--boot-entry") {
            std::string why;
            if (!serial::ParseLineSequence(v, boot_entry, why)) {
                error = "--boot-entry: " + why;
                return false;
            }
        } else if (opt == "--rfc2217") {
            const auto n = Number(v, 10);
            if (!n || *n == 0 || *n > 65535) return bad();
            out.rfc2217_port = static_cast<std::uint16_t>(*n);
        } else if (opt == "--link") {
            out.link = v;
        } else if (opt == "--control") {
            out.control = v;
        } else if (opt == "--boards-dir") {
            out.boards_dir = v;
        } else if (opt == "--flash") {
            out.flash_file = v;
        } else if (opt == "--trace") {
            out.trace_file = v;
        } else if (opt == "--summary") {
            out.summary_file = v;
        } else if (opt == "--data") {
            const auto colon = v.find(':');
            if (colon == std::string::npos || colon + 1 >= v.size()) return bad();
            const auto a = Address(v.substr(0, colon));
            if (!a) return bad();
            out.preload.push_back({*a, {}, v.substr(colon + 1)});
        } else if (opt == "--fill") {
            const auto c1 = v.find(':');
            if (c1 == std::string::npos) return bad();
            const auto c2 = v.find(':', c1 + 1);
            const auto a = Address(v.substr(0, c1));
            const auto n = Number(v.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), 16);
            if (!a || !n || *n > 0x10000000) return bad();
            std::optional<std::uint8_t> value;
            if (c2 != std::string::npos) {
                value = Byte(v.substr(c2 + 1));
                if (!value) return bad();
            }
            Preload p{*a, std::vector<std::uint8_t>(static_cast<std::size_t>(*n)), {}};
            for (std::size_t k = 0; k < p.bytes.size(); ++k) {
                // Without a value: each byte is the low byte of its address.
                p.bytes[k] = value ? *value : static_cast<std::uint8_t>(*a + k);
            }
            out.preload.push_back(std::move(p));
        } else {
            error = "unknown option " + opt + " (see --help)";
            return false;
        }
    }

    if (out.hotplug && out.link.empty()) {
        error = "--hotplug needs --link PATH: the link is where each board's device appears";
        return false;
    }
    if (out.hotplug && out.rfc2217_port != 0) {
        error = "--hotplug and --rfc2217 do not go together: a board brings its own pseudo-terminal";
        return false;
    }

    ChipConfig chip;
    if (!out.chipdef.empty() || !out.target.empty()) {
        if (out.chipdef.empty() || out.target.empty()) {
            error = "--chipdef and --target go together";
            return false;
        }
        if (!ConfigFromChipDefinition(out.chipdef, out.target, out.clock_index, chip, error)) return false;
    } else {
        chip = ChipConfig::ForTarget("", {});
    }
    if (!areas.empty()) chip.areas = areas;
    if (chip.areas.empty()) {
        error = "no flash area: give --chipdef FILE --target NAME, or --area START-END";
        return false;
    }
    std::uint64_t total = 0;
    for (const Area& a : chip.areas) {
        if (a.end >= a.start) total += std::uint64_t{a.end} - a.start + 1;
    }
    if (total > 0x10000000) {
        error = "the flash areas hold more than 256 MiB";
        return false;
    }
    if (family) chip.family = *family;
    if (upload_ack) chip.upload_ack = *upload_ack;
    if (boot) chip.boot_baud = *boot;
    if (work) chip.work_baud = *work;
    if (boot && !work) chip.work_baud = *boot * 2;
    if (any_rate) chip.boot_baud = chip.work_baud = 0;
    if (cr) chip.cr = *cr;
    if (times.count("--erase-ms")) chip.timing.erase_ms = times["--erase-ms"];
    if (times.count("--blank-ms")) chip.timing.blank_check_ms = times["--blank-ms"];
    if (times.count("--program-ms")) chip.timing.program_ms = times["--program-ms"];
    if (times.count("--busy-ms")) chip.timing.busy_pace_ms = times["--busy-ms"];
    if (no_line_time) chip.timing.line_time = false;
    if (keep_on_close) chip.reset_on_close = false;
    chip.faults = faults;
    chip.boot_entry = std::move(boot_entry);
    out.chip = std::move(chip);
    return true;
}

bool ParseFaultOptions(const std::vector<std::string>& args, Faults& out, std::string& error) {
    out = Faults{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        switch (TakeFaultOption(args, i, out, error)) {
            case Took::Yes: break;
            case Took::Bad: return false;
            case Took::No: error = args[i] + " is no fault option"; return false;
        }
    }
    return true;
}

bool ParseControlLine(const std::string& line, ControlCommand& out, std::string& error) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t from = line.find_first_not_of(" \t\r", at);
        if (from == std::string::npos) break;
        at = line.find_first_of(" \t\r", from);
        words.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
    }
    out = ControlCommand{};
    if (words.size() == 1 && words[0] == "remove") {
        out.kind = ControlCommand::Kind::Remove;
        return true;
    }
    if (words.empty() || words[0] != "insert") {
        error = "unknown control line '" + line + "' (insert [FAULT OPTIONS] or remove)";
        return false;
    }
    out.kind = ControlCommand::Kind::Insert;
    if (words.size() == 1) return true;
    Faults faults;
    if (!ParseFaultOptions(std::vector<std::string>(words.begin() + 1, words.end()), faults, error)) {
        error = "insert: " + error;
        return false;
    }
    out.faults = faults;
    return true;
}

std::string SimUsage() {
    return R"(Usage: mirelle-sim [options]
A simulated target chip on a pseudo-terminal. The first line of standard output
is the device to open; the program runs until SIGINT or SIGTERM.

The chip:
  --chipdef FILE --target NAME   areas, rates and family from a CHIPDEF.INI section
  --clock N                      the Clock entry whose Baud/Baud2 rates apply (default 0)
  --area START-END               a flash area, hexadecimal, end inclusive (repeatable;
                                 replaces the areas of --chipdef)
  --family first|second          address width 4 or 3 bytes (default: from the target name;
                                 "TQ7C01" and "TQ7C02/03" are the second family)
  --upload-ack, --no-upload-ack  whether the boot ROM answers the upload (default: from
                                 the name; "TQ4A01", "TQ4A02", "TQ4A03" do not)
  --boot-baud N, --work-baud N   the boot ROM's and the control program's rates
                                 (work defaults to twice boot)
  --any-rate                     accept any rate the host sets
  --cr HEX16                     the 8 CR bytes, as 16 hexadecimal digits
  --erase-ms N, --blank-ms N, --program-ms N
                                 how long erase, blank check and one block take
  --busy-ms N                    pace of the busy bytes '0' during those (default 50)
  --no-line-time                 bytes cross the line at once both ways, instead of each
                                 taking 10 bit times at its rate after the byte before it
  --latency-ms N                 the chip's bytes reach the host as through a USB adapter
                                 with an N ms latency timer: N ms after the first byte held,
                                 or at once when 62 are held
  --keep-on-close                the host closing the port does not reset the board
  --boot-entry SEQ               the board's reset wired to DTR/RTS: it runs its own program
                                 (ignoring the boot protocol) until the host goes through SEQ
                                 (as mirelle-cli --before takes it, e.g. "D1 R1 W100 D0 W50 R0";
                                 each wait must last at least half its time); closing the port
                                 leaves it in its program again. A pseudo-terminal carries no
                                 DTR or RTS: use it with --rfc2217

The flash:
  --flash FILE                   keep the flash in FILE (the areas' bytes in order; created
                                 erased, that is 0xFF, when missing)
  --data ADDR:FILE               the chip starts with FILE's bytes at ADDR (hexadecimal)
  --fill ADDR:LEN[:BYTE]         the chip starts with LEN (hexadecimal) bytes at ADDR, each
                                 BYTE, or the low byte of its own address
  --summary FILE                 on exit write the bytes programmed (not 0xFF) and the 16-bit
                                 sum of all area bytes to FILE (always printed on stderr)

Output:
  --rfc2217 PORT                 serve the chip as an RFC 2217 server on 127.0.0.1:PORT (one
                                 client at a time; the rate, DTR, RTS and break come from the
                                 client's requests) instead of a pseudo-terminal; the first
                                 line of output is then rfc2217://127.0.0.1:PORT
  --link PATH                    keep a symbolic link PATH to the device
  --trace FILE                   every byte both ways with its time and rate

Boards that come and go (one simulator serves one socket for many boards):
  --control PATH                 make a named pipe PATH (an existing one is reused; it is
                                 removed at exit) and take lines from it at any time:
                                   insert [FAULT OPTIONS]  a fresh board goes in: erased
                                       flash (plus --fill/--data), boot ROM waiting; the
                                       fault options below, for this board only, in place of
                                       the command line's (which hold when none are given)
                                   remove  the board goes at once, mid-operation too; bytes
                                       on their way are lost (harmless without a board)
                                 stdout then says "board N inserted" and "board N removed"
                                 (N from 1; the board in at the start is board 1)
  --empty                        start without a board
  --hotplug                      each board brings its own device, as a board with its own
                                 USB adapter: on remove the --link PATH goes and the device
                                 is closed (a port open on it gets errors); on insert a new
                                 pseudo-terminal appears at PATH. Needs --link; with --empty
                                 the first line of output is PATH. Without --hotplug the
                                 device stays and is silent while no board is in
  --boards-dir DIR               when a board goes (and at exit for the board still in),
                                 write its flash to DIR/board-NNNN.bin (as --flash keeps it)
                                 and its summary to DIR/board-NNNN.txt (NNNN: the board's
                                 number, from 0001); --flash FILE holds the board in, and
                                 only the board in at the start takes FILE's bytes

Faults (STEP is N, the Nth exchange of any kind, or KIND or KIND:N, with KIND one of
sync upload start erase cr-read cr-set blank program data read; BLOCK is N, the Nth
block sent or read, or @ADDR; BYTE is one character, or two hexadecimal digits):
  --silent                       never answer
  --silent-after N               answer N exchanges, then nothing more
  --silent-from STEP             no answer from STEP on
  --wrong-ack STEP               answer STEP with --ack-byte BYTE (default 35)
  --busy-forever STEP            answer STEP with busy bytes that never end (until a reset)
  --erase-answer BYTE            the erase ends with BYTE (for example 3 or 4), flash untouched
  --crc-error BLOCK              answer BLOCK's data '5' (CRC error) ...
  --crc-tries M                  ... M times, then accept it (default 1)
  --verify-fail BLOCK            a cell of BLOCK does not program: '4' with the detail bytes
  --read-crc-error BLOCK         read BLOCK out with a wrong CRC ...
  --read-crc-tries M             ... M times (default 1)
  --refuse-program BLOCK, --refuse-read BLOCK
                                 answer the command with --refuse-byte BYTE (default 4)
  --drop-after N                 hang up after N bytes from the host
  --help                         this text
)";
}

}  // namespace mirelle::chipsim
