#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/system.h"
#include "platform/win32/wide_text.h"

namespace mirelle::sys {

std::string ExecutablePath() {
    // The buffer grows until the whole name fits; long paths are allowed.
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) return Narrow(std::wstring(buf.data(), n));
        if (buf.size() >= 32768) return "";
        buf.resize(buf.size() * 2);
    }
}

std::string ProgramDir() {
    std::string dir = GetEnv("MIRELLE_HOME");
    if (dir.empty()) dir = DirectoryPart(ExecutablePath());
    if (dir.empty()) dir = ".\\";
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
}

bool FileExists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string CurrentDir() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return "";
    std::vector<wchar_t> buf(n + 1);
    const DWORD got = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
    if (got == 0 || got >= buf.size()) return "";
    return Narrow(std::wstring(buf.data(), got));
}

bool SetCurrentDir(const std::string& path) {
    return !path.empty() && ::SetCurrentDirectoryW(Widen(path).c_str()) != 0;
}

bool ShortPathName(const std::string& path, std::string& out) {
    if (path.empty()) return false;
    const std::wstring wide = Widen(path);
    const DWORD n = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (n == 0) return false;  // the path does not exist (or cannot be reached)
    std::vector<wchar_t> buf(n + 1);
    const DWORD got = ::GetShortPathNameW(wide.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (got == 0 || got >= buf.size()) return false;
    out = Narrow(std::wstring(buf.data(), got));
    return true;
}

std::string GetEnv(const char* name) { return Narrow(::_wgetenv(Widen(name).c_str())); }

bool SetEnv(const char* name, const std::string& value) {
    // An empty value would remove the variable; nobody here sets one.
    return ::_wputenv_s(Widen(name).c_str(), Widen(value).c_str()) == 0;
}

bool UnsetEnv(const char* name) { return ::_wputenv_s(Widen(name).c_str(), L"") == 0; }

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? Narrow(name) : "";
}

bool UserLanguageIsJapanese() {
    // Set locale variables decide first, as in the GNU programs on Windows
    // (an MSYS shell, a test); otherwise the user's UI language does.
    if (const std::optional<bool> set = LocaleVariablesSayJapanese()) return *set;
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    // The narrow argv is in the ANSI code page, which loses names outside
    // it; the wide command line has them all.
    int n = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return out;
}

void UseUtf8Console() {
    // A windowed program has no standard handles unless they were redirected;
    // then the console it was started from, if any, takes the messages.
    auto missing = [](DWORD which) {
        HANDLE h = ::GetStdHandle(which);
        return h == nullptr || h == INVALID_HANDLE_VALUE;
    };
    const bool no_out = missing(STD_OUTPUT_HANDLE);
    const bool no_err = missing(STD_ERROR_HANDLE);
    if ((no_out || no_err) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (no_out) (void)std::freopen("CONOUT$", "w", stdout);
        if (no_err) (void)std::freopen("CONOUT$", "w", stderr);
    }
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
}

}  // namespace mirelle::sys
