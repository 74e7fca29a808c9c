// The words of a program file load: the message and caption of each failure,
// the warning for data outside the chip's flash, and where a failure is told
// (a box, the result log or both).
//
// The loader (hexfile/program_file.h) returns a typed result without words.
// hexfile/ and texts/ sit on one level and name none of each other's types,
// so a load's result comes here described as a LoadOutcome; the flash
// session's load step, which holds both, translates (engine::DescribeLoad).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirelle::texts {

// The failures of a load that have words of their own.
enum class LoadFailure {
    kNone,
    kOpenError,      // the file did not open, or its first read failed
    kEmptyFile,      // the file has no line
    kUnknownFormat,  // the first line announces no format
    kNoFlashData,    // decoded well, but no byte for any flash area of the chip
    kSRecord,        // the S-record decoder refused a line
    kIntelHex,       // the Intel HEX decoder refused a line
    kElf,            // the ELF file is not loadable
    kBinary,         // the raw binary has no start address or does not fit
};

struct LoadOutcome {
    LoadFailure failure = LoadFailure::kNone;
    int decoder_error = 0;  // the decoder's error code, for kSRecord, kIntelHex, kElf and kBinary
    int line_number = 0;    // the line the decoder refused; for kElf the program header (from 1)
    std::string target_name = {};  // the chip, for kNoFlashData
    std::uint32_t address = 0;     // for kBinary's address error: the first byte refused
};

// A decoder's message by its error code: "file error in 12" and so on.
// S-records: 1 file, 2 S-format, 3 decode, 4 address. Intel HEX: 1 file,
// 2 decode, 3 record, 4 address. Empty for any other code.
std::string SRecordMessage(int error, int line_number);
std::string IntelHexMessage(int error, int line_number);
// ELF: 1 malformed, 2 relocatable, 3 header table outside, 4 segment past
// the end, 5 no loadable segment, 6 address. Binary: 1 no start address,
// 2 address.
std::string ElfMessage(int error, int segment);
std::string BinaryMessage(int error, std::uint32_t address);

// "file open error", "This file is NULL", "auto-format detector error",
// "No data for the flash of TARGET in this file" or the decoder's message;
// empty for kNone.
std::string LoadMessage(const LoadOutcome& outcome);
// "HexFile decoder" for the loader's own failures, "S format decoder",
// "IntelHex format decoder", "ELF decoder" or "Binary decoder" for a
// decoder's; empty for kNone.
std::string LoadCaption(LoadFailure failure);

// The warning for data outside every flash area (empty when there is none):
// "N bytes of this file lie outside the flash of TARGET (first at
// 0xADDRESS); they are not programmed". The unattended run prints it on
// standard error; any other command-line front end can do the same.
std::string OutsideDataWarning(std::uint64_t bytes_outside, std::optional<std::uint32_t> first_outside,
                               const std::string& target_name);

// What a load took as it is, or the address it refused, described for the
// warnings of a command-line run (engine::DescribeLoadWarnings fills it).
struct LoadWarningFacts {
    std::string target_name;
    bool intel_hex = false;
    // How the refused data is placed in the file: "line" (the text formats),
    // "segment" (ELF) or "" (a binary: only its address).
    std::string place_word = "line";
    // Outside every flash area: not sent at all, and sent with an area's last block.
    std::uint64_t bytes_outside = 0;
    std::optional<std::uint32_t> first_outside, last_outside;
    std::uint64_t bytes_sent_outside = 0;
    std::optional<std::uint32_t> first_sent_outside, last_sent_outside;
    std::uint32_t block_size = 512;
    int overlap_line = 0;
    bool no_terminator = false;
    int count_line = 0;
    std::uint32_t count_claimed = 0, count_found = 0;
    int after_end_line = 0;
    // A decoder's address error: 1 below the first area's start, 2 beyond the image.
    int refusal = 0;
    std::uint32_t refused_address = 0;
    int refused_line = 0;
    std::uint32_t first_area_start = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> image_ranges;  // what the image holds, ends inclusive
    std::uint64_t refused_size = 0, max_size = 0;  // a file too large to be read, and the largest read
};

// One line per fact worth a warning, in a fixed order: the refused record,
// the data outside the areas (not sent, then sent with a last block), the
// overlapping records, the missing terminator, the S5 count and the lines
// after the end record.
std::vector<std::string> LoadWarnings(const LoadWarningFacts& facts);

// What the window has to do with a load's outcome.
struct LoadReport {
    bool show_box = false;  // a modal OK box, owned by the progress window if one exists
    std::string box_text;
    std::string box_caption;
    bool write_log = false;  // one result-log entry
    int log_code = 0;
    std::string log_text;
};

// `command_line`: the program was started with arguments. `progress_shown`:
// a progress window exists and progress display is on.
LoadReport PlanLoadReport(const LoadOutcome& outcome, bool command_line, bool progress_shown);

}  // namespace mirelle::texts
