// Arbitrary INI text: lookups never crash, a written key reads back as
// written, and writing never changes another section's value.
#include "platform/profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace mirelle::profile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // The first bytes pick names from a small set, so that hits are frequent.
    static const char* const kSections[] = {"Com", "Sound", "Recent", "x"};
    static const char* const kKeys[] = {"ComNo", "Write File", "CPU", "y"};
    const std::string section = kSections[data[0] % 4];
    const std::string key = kKeys[data[1] % 4];
    const std::string value(reinterpret_cast<const char*>(data + 2), std::min<std::size_t>(size - 2, 8));
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    (void)GetSectionNamesFromText(text);
    (void)ParseProfileInt(text);
    const std::string other_before = GetStringFromText(text, "Other", "k", "<def>", 4096);

    const std::string written = WriteStringToText(text, section, key, value);
    // What is read back is the value as stored: on one line, blanks at the ends
    // dropped, one pair of enclosing quotes removed.
    std::string expect = value;
    for (char& c : expect)
        if (c == '\r' || c == '\n') c = ' ';
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!expect.empty() && blank(expect.front())) expect.erase(expect.begin());
    while (!expect.empty() && blank(expect.back())) expect.pop_back();
    if (expect.size() >= 2 && (expect.front() == '"' || expect.front() == '\'') && expect.back() == expect.front())
        expect = expect.substr(1, expect.size() - 2);
    // The section may be shadowed only if the text already had it; written in
    // place, the first section with the name always holds the key.
    if (GetStringFromText(written, section, key, "<missing>", 4096) != expect) std::abort();
    if (GetStringFromText(written, "Other", "k", "<def>", 4096) != other_before) std::abort();
    return 0;
}
