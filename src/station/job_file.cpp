#include "station/job_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "hexfile/program_file.h"
#include "platform/file.h"
#include "records/serializer.h"
#include "records/sha256.h"
#include "serial/line_sequence.h"
#include "target/chip_definition.h"

namespace mirelle::station {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDetectionWords[] = {"probe", "port", "key"};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsHexDigest(const std::string& text) {
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f'); });
}

// A hex address as the job writes it.
std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// The job's own folder: relative program files are found from it.
fs::path JobFolder(const Job& job) {
    const fs::path folder = fs::path(job.path).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// What the line at `number` says is wrong, as ReadJob reports it.
std::string At(const std::string& path, int number, const std::string& what) {
    return path + ":" + std::to_string(number) + ": " + what;
}

// The port a slot's text names, for telling two slots on one port apart: a
// device by where its links lead, every name without regard to case (COM3
// and com3 are one port on Windows).
std::string SamePortKey(const std::string& port) {
    std::error_code ec;
    if (port.find("://") == std::string::npos && port.rfind("usb:", 0) != 0) {
        const fs::path real = fs::canonical(port, ec);
        if (!ec) return Lower(real.string());
    }
    return Lower(port);
}

}  // namespace

std::string SlotNameProblem(const std::string& name) {
    if (name.empty() || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.") !=
                            std::string::npos)
        return "a slot's name is letters, digits, '-', '_' and '.', not \"" + name + "\"";
    // Each slot's result log is named after it: Windows keeps these names
    // for its devices, whatever the extension.
    const std::string lower = Lower(name.substr(0, name.find('.')));
    const bool device = lower == "con" || lower == "prn" || lower == "aux" || lower == "nul" ||
                        (lower.size() == 4 && (lower.rfind("com", 0) == 0 || lower.rfind("lpt", 0) == 0) &&
                         lower[3] >= '1' && lower[3] <= '9');
    if (device) return "a slot may not be named " + name + ": Windows keeps that name for a device";
    return "";
}

const char* DetectionWord(Detection detection) { return kDetectionWords[static_cast<int>(detection)]; }

std::string ProgramPath(const Job& job) {
    const fs::path file(job.program_file);
    return (file.is_absolute() ? file : JobFolder(job) / file).lexically_normal().string();
}

std::string ChipSectionHash(const std::string& chipdef_path, const std::string& target) {
    std::string text;
    if (!sys::ReadWholeFile(chipdef_path, text)) return "";
    // The first section of the name (as the profile reads it), its lines
    // without blanks around them, comments and empty lines: a change of any
    // value or key changes the hash, re-indenting does not.
    records::Sha256 hash;
    bool inside = false, found = false, done = false;
    std::size_t at = 0;
    while (at < text.size() && !done) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line[0] == '[') {
            const auto close = line.find(']');
            const std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            if (inside) done = true;
            else if (target::SameName(name, target)) inside = found = true;
            continue;
        }
        if (!inside || line.empty() || line[0] == ';') continue;
        hash.Update(line);
        hash.Update("\n");
    }
    return found ? hash.HexDigest() : "";
}

bool ReadJob(const std::string& path, Job& job, std::string& error) {
    job = Job{};
    std::string text;
    if (!sys::IsRegularFile(path) || !sys::ReadWholeFile(path, text)) {
        std::error_code ec;
        error = path + (fs::exists(path, ec) ? ": cannot be read as a file" : ": no such file");
        return false;
    }
    job.path = path;
    job.name = fs::path(path).stem().string();
    job.sha256 = records::Sha256Hex(text);
    std::string section;
    std::set<std::string> seen;  // "section/key" already read
    bool have_target = false, have_program = false;
    int number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(at, end - at));
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                error = At(path, number, "a section name needs its closing ]");
                return false;
            }
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            if (section != "job" && section != "slots" && section != "patches") {
                error = At(path, number, "no section [" + section + "] in a job (there are [Job], [Slots] and [Patches])");
                return false;
            }
            continue;
        }
        const auto equal = line.find('=');
        if (equal == std::string::npos || section.empty()) {
            error = At(path, number, section.empty() ? "a key before any section" : "a line without KEY=VALUE");
            return false;
        }
        const std::string key = Trim(line.substr(0, equal));
        const std::string value = Trim(line.substr(equal + 1));
        if (key.empty()) {
            error = At(path, number, "a value without a key");
            return false;
        }
        if (!seen.insert(section + "/" + Lower(key)).second) {
            error = At(path, number, key + " is given twice in [" + section + "]");
            return false;
        }
        if (section == "slots") {
            if (const std::string problem = SlotNameProblem(key); !problem.empty()) {
                error = At(path, number, problem);
                return false;
            }
            job.slots.push_back({key, value});
            continue;
        }
        if (section == "patches") {
            job.patches.push_back(value);
            continue;
        }
        const std::string k = Lower(key);
        if (k == "target") {
            job.target = value;
            have_target = true;
        } else if (k == "clock") {
            job.clock = value;
        } else if (k == "baud") {
            const auto baud = hexfile::ParseUnsigned(value.empty() ? "0" : value, 0xFFFFFFFFu);
            if (!baud) {
                error = At(path, number, "Baud=" + value + " is no rate");
                return false;
            }
            job.baud = static_cast<std::uint32_t>(*baud);
        } else if (k == "program") {
            job.program_file = value;
            have_program = true;
        } else if (k == "programsha256") {
            job.program_sha256 = Lower(value);
        } else if (k == "format") {
            if (!value.empty() && !hexfile::ParseProgramFormat(value)) {
                error = At(path, number, "Format=" + value + " is none of srec, ihex, elf, bin");
                return false;
            }
            job.program_format = value;
        } else if (k == "offset") {
            if (!value.empty()) {
                const auto offset = hexfile::ParseStartAddress(value);
                if (!offset) {
                    error = At(path, number, "Offset=" + value + " is no address");
                    return false;
                }
                job.offset = *offset;
            }
        } else if (k == "chipdefsha256") {
            job.chipdef_sha256 = Lower(value);
        } else if (k == "detection") {
            const auto word = std::find(std::begin(kDetectionWords), std::end(kDetectionWords), Lower(value));
            if (word == std::end(kDetectionWords)) {
                error = At(path, number, "Detection=" + value + " is none of probe, port, key");
                return false;
            }
            job.detection = static_cast<Detection>(word - std::begin(kDetectionWords));
        } else if (k == "before" || k == "after") {
            serial::LineSequence steps;
            std::string why;
            if (!value.empty() && !serial::ParseLineSequence(value, steps, why)) {
                error = At(path, number, key + "=" + value + ": " + why);
                return false;
            }
            (k == "before" ? job.before : job.after) = value;
        } else if (k == "records") {
            job.records = value;
        } else {
            error = At(path, number, "no key " + key + " in [Job]");
            return false;
        }
    }
    if (!have_target || job.target.empty()) {
        error = path + ": the job names no Target= in [Job]";
        return false;
    }
    if (!have_program || job.program_file.empty()) {
        error = path + ": the job names no Program= in [Job]";
        return false;
    }
    if (job.slots.empty()) {
        error = path + ": the job has no slots ([Slots] with NAME=PORT lines)";
        return false;
    }
    return true;
}

std::string JobText(const Job& job) {
    std::string t;
    auto line = [&t](const std::string& key, const std::string& value) { t += key + "=" + value + "\r\n"; };
    t += "; A Mirelle station job, written by mirelle-cli job new. A station checks the\r\n"
         "; program file and the chip definition against their hashes before it runs:\r\n"
         "; after a change, write the job anew (mirelle-cli job new).\r\n";
    t += "[Job]\r\n";
    line("Target", job.target);
    line("Clock", job.clock);
    line("Baud", std::to_string(job.baud));
    line("Program", job.program_file);
    line("ProgramSHA256", job.program_sha256);
    line("Format", job.program_format);
    line("Offset", job.offset ? Hex(*job.offset) : "");
    line("ChipDefSHA256", job.chipdef_sha256);
    line("Detection", DetectionWord(job.detection));
    line("Before", job.before);
    line("After", job.after);
    line("Records", job.records);
    t += "\r\n[Slots]\r\n";
    for (const JobSlot& slot : job.slots) line(slot.name, slot.port);
    if (!job.patches.empty()) {
        t += "\r\n[Patches]\r\n";
        for (std::size_t i = 0; i < job.patches.size(); ++i) line(std::to_string(i + 1), job.patches[i]);
    }
    return t;
}

bool WriteJob(const Job& job, const std::string& path, std::string& error) {
    if (!sys::ReplaceFileContents(path, JobText(job))) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

bool SealJob(Job& job, const std::string& program_dir, std::string& error) {
    long long size = 0;
    const std::string program = ProgramPath(job);
    if (!records::HashFile(program, job.program_sha256, size)) {
        error = "the program file " + program + " cannot be read";
        return false;
    }
    job.chipdef_sha256 = ChipSectionHash(program_dir + "CHIPDEF.INI", job.target);
    if (job.chipdef_sha256.empty()) {
        error = "no section [" + job.target + "] in " + program_dir + "CHIPDEF.INI";
        return false;
    }
    return true;
}

std::vector<std::string> CheckJob(const Job& job, const std::string& program_dir) {
    std::vector<std::string> problems;
    auto shortened = [](const std::string& hex) { return hex.size() > 16 ? hex.substr(0, 16) + "..." : hex; };

    const std::string program = ProgramPath(job);
    std::string hash;
    long long size = 0;
    if (!IsHexDigest(job.program_sha256)) {
        problems.push_back("the job holds no SHA-256 of its program file (ProgramSHA256=)");
    } else if (!records::HashFile(program, hash, size)) {
        problems.push_back("the program file " + program + " cannot be read");
    } else if (hash != job.program_sha256) {
        problems.push_back("the program file " + program + " changed since the job was written: SHA-256 now " +
                           shortened(hash) + ", the job says " + shortened(job.program_sha256));
    }

    const std::string chipdef = program_dir + "CHIPDEF.INI";
    const std::string section = ChipSectionHash(chipdef, job.target);
    const auto targets = target::ListTargets(chipdef);
    const bool listed = std::any_of(targets.begin(), targets.end(),
                                    [&](const std::string& name) { return target::SameName(name, job.target); });
    if (section.empty() || !listed) {
        problems.push_back("no complete target " + job.target + " in " + chipdef);
    } else if (!IsHexDigest(job.chipdef_sha256)) {
        problems.push_back("the job holds no SHA-256 of the chip definition (ChipDefSHA256=)");
    } else if (section != job.chipdef_sha256) {
        problems.push_back("the chip definition [" + job.target + "] in " + chipdef +
                           " changed since the job was written: SHA-256 now " + shortened(section) +
                           ", the job says " + shortened(job.chipdef_sha256));
    } else if (!job.clock.empty()) {
        const auto clocks = target::ReadChipDefinition(chipdef, job.target).clocks;
        if (std::none_of(clocks.begin(), clocks.end(), [&](const std::string& c) { return target::SameName(c, job.clock); }))
            problems.push_back("no clock " + job.clock + " for " + job.target + " in " + chipdef);
    }

    std::vector<hexfile::PatchRule> rules;
    std::string rule_error;
    if (!records::ParsePatchRules(job.patches, rules, rule_error)) problems.push_back("[Patches]: " + rule_error);

    std::set<std::string> names, ports;
    for (const JobSlot& slot : job.slots) {
        if (slot.port.empty()) problems.push_back("slot " + slot.name + " names no port");
        if (!names.insert(Lower(slot.name)).second) problems.push_back("slot " + slot.name + " is named twice");
        if (!slot.port.empty() && !ports.insert(SamePortKey(slot.port)).second)
            problems.push_back("slot " + slot.name + ": the port " + slot.port + " belongs to another slot already");
        const bool network = slot.port.rfind("rfc2217://", 0) == 0 || slot.port.rfind("socket://", 0) == 0;
        if (network && job.detection == Detection::kPort)
            problems.push_back("slot " + slot.name + ": a network port cannot appear and disappear (use Detection=probe or key)");
    }
    return problems;
}

}  // namespace mirelle::station
