#include "cli/job_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/cli_events.h"
#include "cli/cli_run.h"
#include "cli/exit_status.h"
#include "engine/flash_session.h"
#include "hexfile/program_file.h"
#include "serial/line_sequence.h"
#include "station/job_file.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kJobUsage =
    "Usage: mirelle-cli job new NAME.job --target NAME --program FILE --slot [NAME=]PORT...\n"
    "                           [--clock TEXT] [-b RATE] [--format srec|ihex|elf|bin] [--offset ADDR]\n"
    "                           [--detect probe|port|key] [--before SEQ] [--after SEQ]\n"
    "                           [--records DB] [--patch RULE]... [--home DIR] [--force]\n"
    "       mirelle-cli job check NAME.job [--home DIR]\n"
    "\n"
    "A job fixes everything a production station needs (mirelle-cli station NAME.job):\n"
    "the target, clock and rate, the program file with its SHA-256, the chip definition's\n"
    "SHA-256, how a slot sees a board come and go, and the slots' ports.\n"
    "\n"
    "job new writes NAME.job (an existing one only with --force). The program file is\n"
    "written relative to the job's folder. Each --slot is one socket of the fixture, in\n"
    "order: PORT is a stable name (/dev/serial/by-path/..., /dev/serial/by-id/...,\n"
    "usb:SERIAL, COMn on Windows, rfc2217://HOST:PORT, socket://HOST:PORT); a /dev/ttyX\n"
    "with a by-path link is written as that link. NAME defaults to 1, 2, ...\n"
    "  --detect probe   (default) the slot's port stays; a board in boot mode is found by\n"
    "                   the boot ROM answering its sync, and is gone once neither it nor\n"
    "                   the control program answers\n"
    "  --detect port    each board brings its own adapter: the device appears and goes\n"
    "  --detect key     the operator presses the slot's key (the window's button, Enter)\n"
    "  --records DB     the record store ([Records] Database= form; default: the program\n"
    "                   folder's)\n"
    "\n"
    "job check says whether the job may run: the program file and the chip definition\n"
    "still match their hashes, the target and clock exist, no port is given twice. Exit 0\n"
    "when it may, 2 with one line per problem when not.\n"
    "\n"
    "Example:\n"
    "  mirelle-cli job new line3.job --target TQ9B10 --clock 10MHz --program blinky.mot \\\n"
    "      --slot /dev/serial/by-path/pci-0000:00:14.0-usb-0:1.1:1.0-port0 \\\n"
    "      --slot /dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "mirelle-cli: job: %s\ntry mirelle-cli job --help\n", why.c_str());
    return exit_status::kUsage;
}

// The /dev/serial/by-path link to `device`, which names the socket it is
// plugged into rather than the order the system found it in; "" when none.
std::string ByPathLink(const std::string& device) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) return "";
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-path", ec)) {
        std::error_code ec2;
        if (fs::canonical(entry.path(), ec2) == target && !ec2) return entry.path().string();
    }
    return "";
}

struct NewOptions {
    std::string job_path;
    Options chip;  // --home, --target, --clock, --baud as the other commands take them
    std::string program, format;
    std::optional<std::uint32_t> offset;
    station::Detection detection = station::Detection::kProbe;
    std::string before, after, records;
    std::vector<std::string> slots, patches;
    bool force = false;
};

int RunNew(const NewOptions& n) {
    station::Job job;
    job.path = n.job_path;
    job.name = fs::path(n.job_path).stem().string();

    // The chip as the single-board commands would choose it: the names are
    // those the chip list shows, the clock the chip's own text.
    const std::string home = ProgramHome(n.chip);
    CliEvents quiet(ProgressStyle::Quiet, stderr, stdout);
    engine::FlashSession session(quiet);
    session.SetProgramDir(home);
    int status = exit_status::kSuccess;
    const std::string problem = SelectChip(n.chip, home, session, status);
    for (const std::string& warning : quiet.Warnings()) std::fprintf(stderr, "mirelle-cli: %s\n", warning.c_str());
    if (!problem.empty()) {
        std::fprintf(stderr, "mirelle-cli: job: %s\n", problem.c_str());
        return status;
    }
    job.target = session.m_strTarget;
    job.clock = session.m_strRateText;
    job.baud = n.chip.baud.value_or(0);

    // The program file relative to the job's folder, so that a job and its
    // file move together.
    std::error_code ec;
    const fs::path job_folder = fs::absolute(n.job_path, ec).parent_path();
    const fs::path program = fs::absolute(n.program, ec);
    if (!fs::is_regular_file(program, ec)) return Usage("the program file " + n.program + " is not there");
    const fs::path relative = program.lexically_relative(job_folder);
    job.program_file = (relative.empty() ? program : relative).generic_string();
    job.program_format = n.format;
    job.offset = n.offset;
    job.detection = n.detection;
    job.before = n.before;
    job.after = n.after;
    job.records = n.records;
    job.patches = n.patches;

    int number = 0;
    for (const std::string& given : n.slots) {
        ++number;
        station::JobSlot slot;
        const auto equal = given.find('=');
        // A name before '=': a port's own text may hold '=' only after a
        // ':' or '/' (a URL's query), a name never holds those.
        if (equal != std::string::npos && given.substr(0, equal).find_first_of(":/\\") == std::string::npos) {
            slot.name = given.substr(0, equal);
            slot.port = given.substr(equal + 1);
        } else {
            slot.name = std::to_string(number);
            slot.port = given;
        }
        if (slot.name.empty() || slot.name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.") != std::string::npos)
            return Usage("a slot's name is letters, digits, '-', '_' and '.', not \"" + slot.name + "\"");
        if (slot.port.rfind("/dev/tty", 0) == 0) {
            const std::string link = ByPathLink(slot.port);
            if (!link.empty()) {
                std::fprintf(stderr, "mirelle-cli: job: slot %s: %s written as %s, the socket it is plugged into\n",
                             slot.name.c_str(), slot.port.c_str(), link.c_str());
                slot.port = link;
            } else {
                std::fprintf(stderr,
                             "mirelle-cli: job: slot %s: %s has no /dev/serial/by-path link; its name may change "
                             "after a replug\n",
                             slot.name.c_str(), slot.port.c_str());
            }
        }
        job.slots.push_back(slot);
    }

    std::string error;
    if (!station::SealJob(job, home, error)) return Usage(error);
    const auto problems = station::CheckJob(job, home);
    if (!problems.empty()) {
        for (const std::string& p : problems) std::fprintf(stderr, "mirelle-cli: job: %s\n", p.c_str());
        return exit_status::kUsage;
    }
    if (!n.force && fs::exists(n.job_path, ec))
        return Usage(n.job_path + " exists already (--force writes it anew)");
    if (!station::WriteJob(job, n.job_path, error)) {
        std::fprintf(stderr, "mirelle-cli: job: %s\n", error.c_str());
        return exit_status::kUsage;
    }
    std::printf("wrote %s: %s at %s, %s (SHA-256 %s), %zu slot%s, %s detection\n", n.job_path.c_str(),
                job.target.c_str(), job.clock.c_str(), job.program_file.c_str(), job.program_sha256.substr(0, 8).c_str(),
                job.slots.size(), job.slots.size() == 1 ? "" : "s", station::DetectionWord(job.detection));
    return exit_status::kSuccess;
}

int RunCheck(const std::string& path, const Options& chip) {
    station::Job job;
    std::string error;
    if (!station::ReadJob(path, job, error)) {
        std::fprintf(stderr, "mirelle-cli: job: %s\n", error.c_str());
        return exit_status::kUsage;
    }
    const auto problems = station::CheckJob(job, ProgramHome(chip));
    for (const std::string& p : problems) std::fprintf(stderr, "mirelle-cli: job: %s\n", p.c_str());
    if (!problems.empty()) {
        std::printf("%s may not run: %zu problem%s\n", path.c_str(), problems.size(), problems.size() == 1 ? "" : "s");
        return exit_status::kUsage;
    }
    std::printf("%s may run: %s at %s, %s (SHA-256 %s), %zu slot%s, %s detection\n", path.c_str(), job.target.c_str(),
                job.clock.empty() ? "its first clock" : job.clock.c_str(), job.program_file.c_str(),
                job.program_sha256.substr(0, 8).c_str(), job.slots.size(), job.slots.size() == 1 ? "" : "s",
                station::DetectionWord(job.detection));
    return exit_status::kSuccess;
}

}  // namespace

bool IsJobCommand(const std::vector<std::string>& args) { return !args.empty() && args[0] == "job"; }

int RunJob(const std::vector<std::string>& args) {
    if (args.size() < 2 || args[1] == "--help" || args[1] == "-h") {
        std::fputs(kJobUsage, args.size() < 2 ? stderr : stdout);
        return args.size() < 2 ? exit_status::kUsage : exit_status::kSuccess;
    }
    const std::string& verb = args[1];
    if (verb != "new" && verb != "check") return Usage("no job command " + verb + " (there are new and check)");
    NewOptions n;
    std::string path;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kJobUsage, stdout);
            return exit_status::kSuccess;
        }
        if (arg == "--force") {
            n.force = true;
            continue;
        }
        if (arg.empty() || arg[0] != '-') {
            if (!path.empty()) return Usage("one job file only (" + path + " and " + arg + ")");
            path = arg;
            continue;
        }
        if (i + 1 >= args.size()) return Usage(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--home") n.chip.home = value;
        else if (verb == "check") return Usage("job check takes only --home, not " + arg);
        else if (arg == "--target") n.chip.target = value;
        else if (arg == "--clock") n.chip.clock = value;
        else if (arg == "-b" || arg == "--baud") {
            const auto baud = ParseNumber(value);
            if (!baud || *baud == 0 || *baud > 0xFFFFFFFFu) return Usage("--baud " + value + " is no rate");
            n.chip.baud = static_cast<std::uint32_t>(*baud);
        } else if (arg == "--program") n.program = value;
        else if (arg == "--format") {
            if (!hexfile::ParseProgramFormat(value)) return Usage("--format is srec, ihex, elf or bin, not " + value);
            n.format = value;
        } else if (arg == "--offset") {
            const auto offset = hexfile::ParseStartAddress(value);
            if (!offset) return Usage("--offset " + value + " is no address");
            n.offset = *offset;
        } else if (arg == "--detect") {
            if (value == "probe") n.detection = station::Detection::kProbe;
            else if (value == "port") n.detection = station::Detection::kPort;
            else if (value == "key") n.detection = station::Detection::kKey;
            else return Usage("--detect is probe, port or key, not " + value);
        } else if (arg == "--before" || arg == "--after") {
            serial::LineSequence steps;
            std::string error;
            if (!serial::ParseLineSequence(value, steps, error)) return Usage(arg + " " + value + ": " + error);
            (arg == "--before" ? n.before : n.after) = value;
        } else if (arg == "--records") n.records = value;
        else if (arg == "--slot") n.slots.push_back(value);
        else if (arg == "--patch") n.patches.push_back(value);
        else return Usage("no option " + arg + " for job " + verb);
    }
    if (path.empty()) return Usage("job " + verb + " needs the job file NAME.job");
    if (verb == "check") return RunCheck(path, n.chip);
    if (fs::path(path).extension() != ".job") return Usage("a job file's name ends in .job, not " + path);
    if (!n.chip.target) return Usage("job new needs --target");
    if (n.program.empty()) return Usage("job new needs --program FILE");
    if (n.slots.empty()) return Usage("job new needs at least one --slot PORT");
    n.job_path = path;
    return RunNew(n);
}

}  // namespace mirelle::cli
