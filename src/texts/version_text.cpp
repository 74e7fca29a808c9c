#include "texts/version_text.h"

#include <cstdio>

namespace mirelle {

std::string FormatVersionText(int p, int q, bool prerelease) {
    char text[64];
    std::snprintf(text, sizeof text, "V%02d,L%02d", p & 0xFFFF, (q & 0xFFFF) / 100);
    std::string out = text;
    if (prerelease) {
        std::snprintf(text, sizeof text, " b%02d", (q & 0xFFFF) % 100);
        out += text;
    }
    return out;
}

std::string ProductVersionText() {
    return FormatVersionText(MIRELLE_VERSION_MINOR, MIRELLE_VERSION_TWEAK, MIRELLE_PRERELEASE != 0);
}

}  // namespace mirelle
