#include "texts/program_load_texts.h"

#include <cstdio>

namespace mirelle::texts {
namespace {

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

std::string LoadMessage(const LoadOutcome& outcome) {
    switch (outcome.failure) {
        case LoadFailure::kNone: return {};
        case LoadFailure::kOpenError: return "file open error";
        case LoadFailure::kEmptyFile: return "This file is NULL";
        case LoadFailure::kUnknownFormat: return "auto-format detector error";
        case LoadFailure::kNoFlashData: return "No data for the flash of " + outcome.target_name + " in this file";
        case LoadFailure::kSRecord: return SRecordMessage(outcome.decoder_error, outcome.line_number);
        case LoadFailure::kIntelHex: return IntelHexMessage(outcome.decoder_error, outcome.line_number);
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
    }
    return {};
}

std::string OutsideDataWarning(std::uint64_t bytes_outside, std::optional<std::uint32_t> first_outside,
                               const std::string& target_name) {
    if (bytes_outside == 0 || !first_outside) return {};
    char first[16];
    std::snprintf(first, sizeof first, "0x%08X", static_cast<unsigned>(*first_outside));
    return std::to_string(bytes_outside) + " bytes of this file lie outside the flash of " + target_name +
           " (first at " + first + "); they are not programmed";
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
