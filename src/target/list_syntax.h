// The list values of CHIPDEF.INI: entries separated by commas, where runs of
// commas count as one separator and commas at either end are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirelle::target {

// The entries of a list, none of them empty, blanks kept as they stand.
std::vector<std::string> SplitList(const std::string& text);

// A hexadecimal entry read as strtol reads it in base 16 into a signed 32-bit
// value (leading white space, optional sign, optional 0x, digits up to the
// first other character; no digits reads 0; 0x80000000 or more saturates to
// 0x7FFFFFFF, below -0x80000000 to -0x80000000), then used as an unsigned address.
std::uint32_t ParseHexEntry(const std::string& entry);

// True when ParseHexEntry saturates `entry`: its value is 0x80000000 or
// more (or below -0x80000000), so what it reads is not what the entry says.
bool HexEntrySaturates(const std::string& entry);

// A decimal entry read as atol reads it (no digits: 0).
std::int32_t ParseDecimalEntry(const std::string& entry);

std::vector<std::uint32_t> ParseHexList(const std::string& text);
std::vector<std::int32_t> ParseDecimalList(const std::string& text);

}  // namespace mirelle::target
