#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mirelle::sys {

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string ProgramDir() {
    std::string dir;
    if (const char* home = std::getenv("MIRELLE_HOME"); home && *home) dir = home;
    else dir = DirectoryPart(ExecutablePath());
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

std::string FileNamePart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? "" : path.substr(0, pos + 1);
}

}  // namespace mirelle::sys
