#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/system.h"

namespace mirelle::sys {

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty()) dir = "./";
    if (dir.back() != '/') dir += '/';
    return dir;
}

// The home folder: HOME, else the password database's entry of the user.
std::string HomeDir() {
    std::string home = GetEnv("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    return home;
}

}  // namespace

ProgramDirChoice ChooseProgramDir(const ProgramDirSources& sources) {
    if (!sources.mirelle_home.empty()) return {WithSlash(sources.mirelle_home), ""};
    const std::string exe_dir = WithSlash(sources.executable_dir);
    if (FileExists(exe_dir + "CHIPDEF.INI")) return {exe_dir, ""};
    // The XDG rule: a relative XDG_CONFIG_HOME is ignored.
    std::string config = sources.xdg_config_home;
    if (config.empty() || config.front() != '/') config = WithSlash(sources.home) + ".config";
    const std::string seed =
        std::filesystem::path(exe_dir + "../share/mirelle").lexically_normal().generic_string();
    return {WithSlash(config) + "mirelle/", WithSlash(seed)};
}

bool FillMissingFiles(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(to, ec);
    if (!IsDirectory(to)) return false;
    if (!IsDirectory(from)) return true;
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = fs::path(to) / fs::relative(it->path(), from, ec);
        std::error_code one;
        if (it->is_directory(one)) fs::create_directories(target, one);
        else if (!fs::exists(fs::symlink_status(target, one)))
            fs::copy_file(it->path(), target, fs::copy_options::skip_existing, one);
        // A file that cannot be copied stays missing; the program reports
        // a missing data file where it reads it.
    }
    return true;
}

std::string ProgramDir() {
    const ProgramDirChoice choice = ChooseProgramDir(
        {GetEnv("MIRELLE_HOME"), DirectoryPart(ExecutablePath()), GetEnv("XDG_CONFIG_HOME"), HomeDir()});
    if (!choice.seed_dir.empty()) {
        // Filled once per process and folder: the program asks for its folder often.
        static std::mutex lock;
        static std::string filled;
        const std::lock_guard<std::mutex> hold(lock);
        if (filled != choice.dir && FillMissingFiles(choice.seed_dir, choice.dir)) filled = choice.dir;
    }
    return choice.dir;
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

std::string HostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

bool UserLanguageIsJapanese() { return LocaleVariablesSayJapanese().value_or(false); }

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseUtf8Console() {}

}  // namespace mirelle::sys
