// The file system and the program folder.
#pragma once

#include <string>

namespace mirelle::sys {

// The program folder, where every data file lives: the folder named by the
// environment variable MIRELLE_HOME when it is set, else the folder of the
// running executable. Always ends with '/'.
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
