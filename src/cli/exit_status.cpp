#include "cli/exit_status.h"

#include "texts/result_codes.h"

namespace mirelle::cli::exit_status {

int FromOutcome(int last_code, bool program_file_failed, int signal) {
    if (signal != 0) return kInterrupted;
    if (program_file_failed) return kProgramFile;
    if (result::IsCompletion(last_code)) return kSuccess;
    switch (last_code) {
        case result::kTimeout:
            return kNoAnswer;
        case result::kCannotOpenPort:
        case result::kCannotReadPortSettings:
        case result::kCannotChangePortSettings:
        case result::kPortWriteError:
        case result::kPortReadError:
            return kPort;
        case result::kNoHexFile:
            return kProgramFile;
        case result::kCannotOpenDownloadFile:
        case result::kFileAccessError:
        case result::kNoMemory:
            return kUsage;  // the control program of the program folder
        default:
            // The chip's own failures (erase, program, read, not blank, a
            // difference, a wrong answer) and a run that ended unreported.
            return kChipFailed;
    }
}

const char* Word(int status) {
    switch (status) {
        case kSuccess: return "ok";
        case kChipFailed: return "chip failed";
        case kUsage: return "configuration";
        case kProgramFile: return "program file";
        case kPort: return "port";
        case kNoAnswer: return "no answer";
        case kInterrupted: return "interrupted";
    }
    return "?";
}

}  // namespace mirelle::cli::exit_status
