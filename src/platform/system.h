// The file system and the program folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirelle::sys {

// What the program folder is chosen from (environment values are "" when unset).
struct ProgramDirSources {
    std::string mirelle_home;     // MIRELLE_HOME
    std::string executable_dir;   // the running executable's folder
    std::string xdg_config_home;  // XDG_CONFIG_HOME
    std::string home;             // HOME, or the user's home from the password database
};

struct ProgramDirChoice {
    std::string dir;       // ends with '/'
    std::string seed_dir;  // installed data to fill `dir` from ("" for none); ends with '/'
};

// The program folder rule of Linux: MIRELLE_HOME when set; else the executable's folder
// when it holds CHIPDEF.INI (a build folder or an unpacked archive); else the
// per-user folder $XDG_CONFIG_HOME/mirelle (~/.config/mirelle when the
// variable is unset or not absolute), seeded from <prefix>/share/mirelle
// beside the executable's bin folder (/usr/share/mirelle for /usr/bin).
ProgramDirChoice ChooseProgramDir(const ProgramDirSources& sources);

// Creates `to` (and its parents) and copies into it every file under `from`
// that it lacks, folders included; a file that exists in `to` is never
// overwritten. False when `to` cannot be created.
// ChooseProgramDir and FillMissingFiles are built on Linux only (platform/posix/).
bool FillMissingFiles(const std::string& from, const std::string& to);

// The program folder, where every data file lives. On Linux chosen by
// ChooseProgramDir from this process's environment; a per-user folder is
// created and filled from the installed data the first time the process
// asks for it. On Windows the folder named by MIRELLE_HOME when it is set,
// else the executable's folder. Always ends with a separator ('/'; on
// Windows '\\' unless MIRELLE_HOME ends with '/').
std::string ProgramDir();
// Makes a relative MIRELLE_HOME absolute against the current folder, once at
// start: the operations change the working folder, and a relative program
// folder would then name another one.
void AnchorProgramHome();

// The full path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

bool FileExists(const std::string& path);   // anything that exists
bool IsDirectory(const std::string& path);  // false also when it cannot be read
std::string CurrentDir();
bool SetCurrentDir(const std::string& path);

// The short form of a path: on Windows its 8.3 form where the volume has
// one; elsewhere the path itself. False when the path does not exist.
bool ShortPathName(const std::string& path, std::string& out);

// The part of a path after its last '/' or '\\' (the whole text when it has neither).
std::string FileNamePart(const std::string& path);

// The folder part of a path, ending with a separator ("" when it has none).
std::string DirectoryPart(const std::string& path);

// Environment variables, by UTF-8 names and values ("" when unset).
std::string GetEnv(const char* name);
bool SetEnv(const char* name, const std::string& value);
bool UnsetEnv(const char* name);
// The name of this computer ("" when the system does not say).
std::string HostName();

// What LC_ALL, LC_MESSAGES and LANG say (the first that is set and not empty
// decides): Japanese when it starts with "ja"; nothing when none is set.
std::optional<bool> LocaleVariablesSayJapanese();

// Whether the user interface language is Japanese: the locale variables on
// Linux; on Windows the locale variables when set, else the user's UI
// language.
bool UserLanguageIsJapanese();

// The program's command line as UTF-8 words, the program's name first. On
// Windows taken from the wide command line, so names outside the ANSI code
// page arrive whole.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Lets the console show and take the program's UTF-8 texts as they are (the
// Japanese table): on Windows by switching the console's code pages; a
// terminal elsewhere takes them already. The Windows program is a windowed
// one, started without a console of its own: when started from a console,
// it writes its messages there (standard output and error that are not
// redirected elsewhere go to the console of the parent).
void UseUtf8Console();

}  // namespace mirelle::sys
