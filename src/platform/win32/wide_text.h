// The program keeps its texts as 8-bit UTF-8 strings; the Windows API takes
// wide (UTF-16) strings. Every file name and message text crosses the API
// through these two conversions, so names outside ASCII work.
#pragma once

#include <string>

namespace mirelle::sys {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide);  // nullptr gives ""

}  // namespace mirelle::sys
