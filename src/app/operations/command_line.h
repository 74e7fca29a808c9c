// The command line of the unattended start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirelle {

struct CommandLine {
    // At least one argument: one Full Operation at start-up, then exit.
    bool command_line_mode = false;
    // Argument 1: the program file, replacing the remembered one for this run.
    std::string program_file;
    // With two or more arguments: the COM port of the run (COM1 when neither
    // argument 2 nor 3 names one); otherwise Customize.ini decides.
    std::optional<int> com_number;
    // "no_dialog": no progress window in this run.
    bool show_progress = true;
    // The reset prompt and the re-download after an erase are used.
    bool use_reset = true;
    // A word "com" with digits that name no port (outside 1..255): the run
    // must not start. Empty when there is none.
    std::string bad_port_word;
    // Why the words meant as a port cannot be used (bad_port_word, a word
    // beginning with "com" that is not com1 to com255, a device path, a port
    // word after position 3): the run must not start. Empty when they can.
    std::string port_word_error;
    // "offset=ADDR" (0x hex or decimal): the start address of a raw binary
    // program file. A word "offset=" whose address cannot be read: the run
    // must not start, and offset_error says why.
    std::optional<std::uint32_t> binary_start;
    std::string offset_error;
};

// The port number a word names: "com" (any case) and decimal digits, e.g.
// 17 for "COM17"; none for any other word. Values are capped, so a very long
// number still reads as out of range.
std::optional<long> PortWordNumber(const std::string& word);

// `args` are the arguments after the program's own name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// What mirelle is asked when its only word is --help, -h or --version and
// no file of that name exists (a program file may have any name): the usage
// or the version instead of an unattended run.
enum class InfoRequest { kNone, kUsage, kVersion };
InfoRequest InfoRequestOf(const std::vector<std::string>& args, bool first_word_is_a_file);

// "mirelle --station NAME.job" (when no program file is named --station):
// the station window for that job instead of the main window. Nothing when
// the words ask for something else; an empty text when --station does not
// come with exactly one job file.
std::optional<std::string> StationJobOf(const std::vector<std::string>& args, bool first_word_is_a_file);

// The text of mirelle --help.
std::string MirelleUsageText();

}  // namespace mirelle
