#include "texts/program_load_texts.h"

#include <cstdio>

namespace mirelle::texts {
namespace {

// An address as every message shows it: "0x0008F000".
std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string LineMessage(const char* text, int line_number) {
    if (!text) return {};
    return text + std::to_string(line_number);
}

}  // namespace

std::string SRecordMessage(int error, int line_number) {
    const char* text = nullptr;
    switch (error) {
        case 1: text = "file error in "; break;
        case 2: text = "S-format error in "; break;
        case 3: text = "decode error in "; break;
        case 4: text = "address error in "; break;
        default: break;
    }
    return LineMessage(text, line_number);
}

std::string IntelHexMessage(int error, int line_number) {
    const char* text = nullptr;
    switch (error) {
        case 1: text = "file error in "; break;
        case 2: text = "decode error in "; break;
        case 3: text = "record error in "; break;
        case 4: text = "address error in "; break;
        default: break;
    }
    return LineMessage(text, line_number);
}

std::string ElfMessage(int error, int segment) {
    switch (error) {
        case 1: return "this ELF file is malformed";
        case 2: return "this ELF file is a relocatable object, not a linked program";
        case 3: return "the program header table of this ELF file lies outside the file";
        case 4: return "segment " + std::to_string(segment) + " of this ELF file reaches past the end of the file";
        case 5: return "this ELF file has no loadable segment";
        case 6: return "address error in segment " + std::to_string(segment);
        default: return {};
    }
}

std::string BinaryMessage(int error, std::uint32_t address) {
    const std::string at = Hex(address);
    switch (error) {
        case 1: return "this binary file needs a start address; nothing is sent";
        case 2: return std::string("address error at ") + at;
        default: return {};
    }
}

std::string LoadMessage(const LoadOutcome& outcome) {
    switch (outcome.failure) {
        case LoadFailure::kNone: return {};
        case LoadFailure::kOpenError: return "file open error";
        case LoadFailure::kEmptyFile: return "This file is NULL";
        case LoadFailure::kUnknownFormat: return "auto-format detector error";
        case LoadFailure::kNoFlashData: return "No data for the flash of " + outcome.target_name + " in this file";
        case LoadFailure::kSRecord: return SRecordMessage(outcome.decoder_error, outcome.line_number);
        case LoadFailure::kIntelHex: return IntelHexMessage(outcome.decoder_error, outcome.line_number);
        case LoadFailure::kElf: return ElfMessage(outcome.decoder_error, outcome.line_number);
        case LoadFailure::kBinary: return BinaryMessage(outcome.decoder_error, outcome.address);
    }
    return {};
}

std::string LoadCaption(LoadFailure failure) {
    switch (failure) {
        case LoadFailure::kNone: return {};
        case LoadFailure::kOpenError:
        case LoadFailure::kEmptyFile:
        case LoadFailure::kUnknownFormat:
        case LoadFailure::kNoFlashData: return "HexFile decoder";
        case LoadFailure::kSRecord: return "S format decoder";
        case LoadFailure::kIntelHex: return "IntelHex format decoder";
        case LoadFailure::kElf: return "ELF decoder";
        case LoadFailure::kBinary: return "Binary decoder";
    }
    return {};
}

std::string OutsideDataWarning(std::uint64_t bytes_outside, std::optional<std::uint32_t> first_outside,
                               const std::string& target_name) {
    if (bytes_outside == 0 || !first_outside) return {};
    const std::string first = Hex(*first_outside);
    return std::to_string(bytes_outside) + " bytes of this file lie outside the flash of " + target_name +
           " (first at " + first + "); they are not programmed";
}

std::vector<std::string> LoadWarnings(const LoadWarningFacts& f) {
    std::vector<std::string> lines;
    const std::string format = f.intel_hex ? "Intel HEX" : "S-record";
    if (f.refused_size != 0)
        lines.push_back("this file is " + std::to_string(f.refused_size) + " bytes, more than any chip's flash could need (at most " +
                        std::to_string(f.max_size) + " bytes are read); it is not read");
    // Where the refused data stands in the file.
    const std::string place = f.place_word.empty() ? std::string()
                                                   : " (" + f.place_word + " " + std::to_string(f.refused_line) + ")";
    const std::string refused = f.place_word == "line" ? "the record at " : "the data at ";
    if (f.refusal == 1) {
        lines.push_back(refused + Hex(f.refused_address) + place +
                        " is refused: it lies below the start of the first flash area of " + f.target_name + " (" +
                        Hex(f.first_area_start) + "); nothing is programmed");
    } else if (f.refusal == 2) {
        std::string held;
        for (const auto& [first, last] : f.image_ranges)
            held += (held.empty() ? "" : ", ") + Hex(first) + "-" + Hex(last);
        lines.push_back(refused + Hex(f.refused_address) + place +
                        " is refused: it lies outside what the program image holds for " + f.target_name + " (" +
                        held + "); nothing is programmed");
    }
    std::string outside = OutsideDataWarning(f.bytes_outside, f.first_outside, f.target_name);
    if (!outside.empty()) {
        if (f.last_outside) outside += " (up to " + Hex(*f.last_outside) + "; none of them is sent)";
        lines.push_back(outside);
    }
    if (f.bytes_sent_outside != 0 && f.first_sent_outside && f.last_sent_outside)
        lines.push_back(std::to_string(f.bytes_sent_outside) + " bytes of this file lie outside the flash of " +
                        f.target_name + " (" + Hex(*f.first_sent_outside) + " to " + Hex(*f.last_sent_outside) +
                        ") but within the last " + std::to_string(f.block_size) +
                        "-byte block of an area; that block is sent whole, so they are programmed");
    if (f.overlap_line != 0 && f.place_word == "line")
        lines.push_back("line " + std::to_string(f.overlap_line) +
                        " of this file writes over data of an earlier record; the later record's bytes are used");
    else if (f.overlap_line != 0 && !f.place_word.empty())
        lines.push_back(f.place_word + " " + std::to_string(f.overlap_line) +
                        " of this file writes over data of an earlier one; the later one's bytes are used");
    if (f.no_terminator)
        lines.push_back(f.intel_hex ? "this Intel HEX file has no end record (:00000001FF); it may be cut short"
                                    : "this S-record file has no S7, S8 or S9 end record; it may be cut short");
    if (f.count_line != 0)
        lines.push_back("the S5 record in line " + std::to_string(f.count_line) + " counts " +
                        std::to_string(f.count_claimed) + " data records, but " + std::to_string(f.count_found) +
                        " come before it; the file may be incomplete");
    if (f.after_end_line != 0)
        lines.push_back("line " + std::to_string(f.after_end_line) + " and those after it follow the " + format +
                        " end record and are not read");
    return lines;
}

LoadReport PlanLoadReport(const LoadOutcome& outcome, bool command_line, bool progress_shown) {
    LoadReport report;
    const std::string message = LoadMessage(outcome);
    const std::string caption = LoadCaption(outcome.failure);
    switch (outcome.failure) {
        case LoadFailure::kNone:
            return report;
        case LoadFailure::kOpenError:
        case LoadFailure::kNoFlashData:
            report.show_box = !command_line;
            report.write_log = command_line;
            report.log_text = message + " " + caption;
            break;
        case LoadFailure::kEmptyFile:
        case LoadFailure::kUnknownFormat:
            // The box needs a visible progress window in either mode; in
            // command-line mode the log says what went wrong, so a script
            // never finds the result of an earlier run there.
            report.show_box = progress_shown;
            report.write_log = command_line;
            report.log_text = message + " " + caption;
            break;
        case LoadFailure::kSRecord:
        case LoadFailure::kIntelHex:
        case LoadFailure::kElf:
        case LoadFailure::kBinary:
            // An unattended run never waits for a click: boxes only when
            // someone started the program by hand.
            report.show_box = !command_line;
            report.write_log = command_line;
            report.log_text = caption + " " + message;
            break;
    }
    if (report.show_box) {
        report.box_text = message;
        report.box_caption = caption;
    }
    if (!report.write_log) report.log_text.clear();
    return report;
}

}  // namespace mirelle::texts
