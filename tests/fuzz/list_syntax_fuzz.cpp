// Arbitrary list text: no empty entries, entries rejoin to the text minus its
// surplus commas, and the hexadecimal reading agrees with strtol.
#include "target/list_syntax.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto entries = mirelle::target::SplitList(text);
    std::string joined, squeezed;
    for (const std::string& e : entries) {
        if (e.empty() || e.find(',') != std::string::npos) std::abort();
        joined += (joined.empty() ? "" : ",") + e;
    }
    for (char c : text)
        if (c != ',' || (!squeezed.empty() && squeezed.back() != ',')) squeezed += c;
    if (!squeezed.empty() && squeezed.back() == ',') squeezed.pop_back();
    if (joined != squeezed) std::abort();

    for (const std::string& e : entries) {
        if (e.find('\0') != std::string::npos) continue;  // strtol stops at the end of a C string
        long v = std::strtol(e.c_str(), nullptr, 16);
        if (v > INT32_MAX) v = INT32_MAX;  // a 32-bit long saturates here
        if (v < INT32_MIN) v = INT32_MIN;
        if (mirelle::target::ParseHexEntry(e) != static_cast<std::uint32_t>(static_cast<std::int32_t>(v))) std::abort();
    }
    (void)mirelle::target::ParseDecimalList(text);
    return 0;
}
