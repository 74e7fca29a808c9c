// Hexadecimal digit pairs as both program file forms write them: '0'-'9' and
// upper-case 'A'-'F' only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mirelle::hexfile::detail {

inline constexpr std::array<std::int8_t, 256> kDigitValue = [] {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return table;
}();

// True when every character of `text` is a hexadecimal digit.
inline bool AllHexDigits(std::string_view text) {
    for (const char c : text) {
        if (kDigitValue[static_cast<unsigned char>(c)] < 0) return false;
    }
    return true;
}

// Converts digit pairs of `digits` (already checked) into `out`, at most
// `capacity` bytes; a single digit left over at the end is ignored. Returns
// the number of bytes converted.
inline std::size_t ConvertPairs(std::string_view digits, std::uint8_t* out, std::size_t capacity) {
    std::size_t count = digits.size() / 2;
    if (count > capacity) count = capacity;
    for (std::size_t j = 0; j < count; ++j) {
        const int hi = kDigitValue[static_cast<unsigned char>(digits[2 * j])];
        const int lo = kDigitValue[static_cast<unsigned char>(digits[2 * j + 1])];
        out[j] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return count;
}

}  // namespace mirelle::hexfile::detail
