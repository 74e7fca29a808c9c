#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/system.h"

namespace mirelle::sys {

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string ProgramDir() {
    std::string dir = GetEnv("MIRELLE_HOME");
    if (dir.empty()) dir = DirectoryPart(ExecutablePath());
    if (dir.empty()) dir = "./";
    if (dir.back() != '/') dir += '/';
    return dir;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CurrentDir() {
    std::vector<char> buf(PATH_MAX + 1);
    if (!::getcwd(buf.data(), buf.size())) return "";
    return buf.data();
}

bool SetCurrentDir(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

bool ShortPathName(const std::string& path, std::string& out) {
    if (!FileExists(path)) return false;
    out = path;
    return true;
}

std::string GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool SetEnv(const char* name, const std::string& value) { return ::setenv(name, value.c_str(), 1) == 0; }

bool UnsetEnv(const char* name) { return ::unsetenv(name) == 0; }

bool UserLanguageIsJapanese() { return LocaleVariablesSayJapanese().value_or(false); }

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseUtf8Console() {}

}  // namespace mirelle::sys
