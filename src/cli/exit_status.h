// The exit statuses of mirelle-cli and how a command's outcome maps to them.
#pragma once

#include <string>

namespace mirelle::cli::exit_status {

inline constexpr int kSuccess = 0;
inline constexpr int kChipFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kProgramFile = 3;
inline constexpr int kPort = 4;
inline constexpr int kNoAnswer = 5;
inline constexpr int kInterrupted = 6;

// The status of a command from the result code it last logged (-1: none),
// whether its program file failed to load, and the signal that stopped it.
int FromOutcome(int last_code, bool program_file_failed, int signal);

// One word for a status, for the summary table and JSON.
const char* Word(int status);

}  // namespace mirelle::cli::exit_status
