// The job file (NAME.job): an INI file that fixes everything a station run
// needs, so that the operator can change nothing that matters: the target,
// clock and rate, the program file (relative to the job's folder) and its
// SHA-256, the chip definition section's SHA-256, how a slot sees a board come
// and go, the boot-entry and exit sequences, the record store, the slots
// (each a stable port identity) and the serialization rules. Reading and
// writing are pure; CheckJob reads the files the hashes cover.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirelle::station {

// How a slot sees a board come and go.
enum class Detection {
    kProbe,  // the port stays; a board in boot mode answers the boot ROM's sync
    kPort,   // the board brings its own adapter: the device appears and disappears
    kKey,    // the operator presses the slot's key when a board is in place
};

const char* DetectionWord(Detection detection);  // "probe", "port", "key"

struct JobSlot {
    std::string name;  // shown on tables and tiles; "1", "2" ... by default
    // The port's stable identity: a /dev/serial/by-path or by-id name, a USB
    // serial number ("usb:SERIAL"), COMn on Windows, or a network port
    // (rfc2217://HOST:PORT, socket://HOST:PORT).
    std::string port;
};

struct Job {
    std::string path;    // the job file as read or written
    std::string name;    // its name without folder and extension
    std::string target;  // as the chip list shows it
    std::string clock;   // the clock text; "" for the chip's first
    std::uint32_t baud = 0;  // the working rate; 0 for the clock's own
    std::string program_file;    // as written: relative to the job's folder
    std::string program_sha256;  // 64 lower-case hex digits
    std::string program_format;  // "" (by the file), srec, ihex, elf, bin
    std::optional<std::uint32_t> offset;  // a raw binary's start address
    std::string chipdef_sha256;  // of the target's CHIPDEF.INI section, as text
    Detection detection = Detection::kProbe;
    std::string before, after;   // boot-entry and exit sequences ("" : the chip's)
    std::string records;         // a [Records] Database value ("" : the program folder's store)
    std::vector<JobSlot> slots;
    // The serialization rules, one per entry, each as `--patch` takes it.
    std::vector<std::string> patches;
    // The SHA-256 of the job file's bytes as read (each record carries it).
    std::string sha256;
};

// The program file's path: relative to the job's folder unless absolute.
std::string ProgramPath(const Job& job);

// The SHA-256 of a CHIPDEF.INI section as a job keeps it: its lines without
// blanks around them, comments and empty lines, so that a changed key or
// value changes it and re-indenting does not. "" when there is no section.
std::string ChipSectionHash(const std::string& chipdef_path, const std::string& target);

// Reads a job file; false with `error` naming the line or key at fault.
bool ReadJob(const std::string& path, Job& job, std::string& error);
// The job's text as WriteJob saves it (keys in a fixed order, hashes included).
std::string JobText(const Job& job);
// Writes the job file (replacing it whole); false with `error`.
bool WriteJob(const Job& job, const std::string& path, std::string& error);

// Fills the hashes a new job carries: the program file's (found from the
// job's folder) and the target's CHIPDEF.INI section's in `program_dir`.
bool SealJob(Job& job, const std::string& program_dir, std::string& error);

// Whether the job may run: the program file and the chip definition section
// still match their hashes, the target and clock exist, the slots are named
// once each. Every problem is one line naming what changed ("program file
// blinky.mot changed since the job was written: SHA-256 now 3f2a..., the job
// says 9b1c..."); none: the job may run.
std::vector<std::string> CheckJob(const Job& job, const std::string& program_dir);

}  // namespace mirelle::station
