#include "target/list_syntax.h"

namespace mirelle::target {
namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// strtol with a 32-bit long: overflow saturates at the limits of the type;
// `saturated`, when given, tells whether it did.
std::int32_t ParseLong(const std::string& s, int base, bool* saturated = nullptr) {
    std::size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (base == 16 && i + 2 < s.size() + 0 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        HexDigit(s[i + 2]) >= 0)
        i += 2;
    const std::int64_t limit = negative ? 0x80000000LL : 0x7FFFFFFFLL;
    std::int64_t acc = 0;
    for (; i < s.size(); ++i) {
        const int d = HexDigit(s[i]);
        if (d < 0 || d >= base) break;
        acc = acc * base + d;
        if (acc > limit) {
            acc = limit;  // stays saturated for the remaining digits
            if (saturated) *saturated = true;
        }
    }
    return static_cast<std::int32_t>(negative ? -acc : acc);
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        if (comma > pos) entries.push_back(text.substr(pos, comma - pos));
        pos = comma + 1;
    }
    return entries;
}

std::uint32_t ParseHexEntry(const std::string& entry) {
    return static_cast<std::uint32_t>(ParseLong(entry, 16));
}

bool HexEntrySaturates(const std::string& entry) {
    bool saturated = false;
    ParseLong(entry, 16, &saturated);
    return saturated;
}

std::int32_t ParseDecimalEntry(const std::string& entry) { return ParseLong(entry, 10); }

std::vector<std::uint32_t> ParseHexList(const std::string& text) {
    std::vector<std::uint32_t> values;
    for (const std::string& e : SplitList(text)) values.push_back(ParseHexEntry(e));
    return values;
}

std::vector<std::int32_t> ParseDecimalList(const std::string& text) {
    std::vector<std::int32_t> values;
    for (const std::string& e : SplitList(text)) values.push_back(ParseDecimalEntry(e));
    return values;
}

}  // namespace mirelle::target
