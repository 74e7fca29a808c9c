// The file system and the program folder.
#pragma once

#include <string>

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

// The program folder rule: MIRELLE_HOME when set; else the executable's folder
// when it holds CHIPDEF.INI (a build folder or an unpacked archive); else the
// per-user folder $XDG_CONFIG_HOME/mirelle (~/.config/mirelle when the
// variable is unset or not absolute), seeded from <prefix>/share/mirelle
// beside the executable's bin folder (/usr/share/mirelle for /usr/bin).
ProgramDirChoice ChooseProgramDir(const ProgramDirSources& sources);

// Creates `to` (and its parents) and copies into it every file under `from`
// that it lacks, folders included; a file that exists in `to` is never
// overwritten. False when `to` cannot be created.
bool FillMissingFiles(const std::string& from, const std::string& to);

// The program folder, where every data file lives, chosen by
// ChooseProgramDir from this process's environment. A per-user folder is
// created and filled from the installed data the first time the process
// asks for it. Always ends with '/'.
std::string ProgramDir();

// The full path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

bool FileExists(const std::string& path);   // anything that exists
bool IsDirectory(const std::string& path);  // false also when it cannot be read
std::string CurrentDir();
bool SetCurrentDir(const std::string& path);

// The short form of a path. This platform has no short names: the path
// itself when it exists; false when it does not.
bool ShortPathName(const std::string& path, std::string& out);

// The part of a path after its last '/' or '\\' (the whole text when it has neither).
std::string FileNamePart(const std::string& path);

// The folder part of a path, ending with a separator ("" when it has none).
std::string DirectoryPart(const std::string& path);

}  // namespace mirelle::sys
