#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace mirelle::sys {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int in = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int in = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, out.data(), n, nullptr, nullptr);
    return out;
}

std::string Narrow(const wchar_t* wide) { return wide ? Narrow(std::wstring(wide)) : std::string(); }

}  // namespace mirelle::sys
