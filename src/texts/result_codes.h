// The result codes of the program, the kinds of report and the sound events,
// by name. A result code is also the id of its message in the string table
// (result_texts.h). This header includes nothing, so every part of the
// application can name a code without pulling in the tables.
#pragma once

namespace mirelle::result {

// Failures.
inline constexpr int kDownloadError = 201;
inline constexpr int kTimeout = 203;
inline constexpr int kCannotOpenPort = 206;
inline constexpr int kCannotOpenDownloadFile = 207;
inline constexpr int kCannotReadPortSettings = 210;
inline constexpr int kCannotChangePortSettings = 211;
inline constexpr int kCommunicationError = 212;
inline constexpr int kReadError = 213;
inline constexpr int kProgramError = 214;
inline constexpr int kPortWriteError = 216;
inline constexpr int kPortReadError = 218;
inline constexpr int kEraseError = 219;
inline constexpr int kFileAccessError = 220;
inline constexpr int kNoMemory = 227;
// Completions.
inline constexpr int kErased = 301;
inline constexpr int kBlank = 302;
inline constexpr int kProgrammed = 303;
inline constexpr int kIdentical = 305;
inline constexpr int kFullOperationDone = 306;  // the only code logged as "OK"
inline constexpr int kDownloaded = 307;
inline constexpr int kCopied = 308;
// True for the codes of a command that ended as it should.
constexpr bool IsCompletion(int code) {
    return code == kErased || code == kBlank || code == kProgrammed || code == kIdentical ||
           code == kFullOperationDone || code == kDownloaded || code == kCopied;
}
// Findings and usage.
inline constexpr int kNoHexFile = 401;
inline constexpr int kNotBlank = 564;
inline constexpr int kDifference = 566;

// Report kinds: 0 success or information; 1 an error that leaves the link
// and the buttons alone; 2 and 3 errors after which the control program must
// be downloaded again (the reporter treats them alike).
inline constexpr int kKindInfo = 0;
inline constexpr int kKindError = 1;
inline constexpr int kKindRedownload = 2;
inline constexpr int kKindLinkLost = 3;

// Sound events.
inline constexpr int kSoundNone = 0;
inline constexpr int kSoundError = 1;
inline constexpr int kSoundEnd = 2;

}  // namespace mirelle::result
