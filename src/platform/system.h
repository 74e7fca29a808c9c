// The file system and the program folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirelle::sys {

// The program folder, where every data file lives: the folder named by the
// environment variable MIRELLE_HOME when it is set, else the folder of the
// running executable. Always ends with a separator ('/'; on Windows '\\'
// unless MIRELLE_HOME ends with '/').
std::string ProgramDir();

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
// terminal elsewhere takes them already.
void UseUtf8Console();

}  // namespace mirelle::sys
