// Feeds arbitrary bytes to the Intel HEX line decoder and checks what it claims.
#include "hexfile/intel_hex.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    // The first four bytes give the base in effect before the line.
    std::uint32_t base = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                         std::uint32_t{data[2]} << 8 | data[3];
    const std::uint32_t before = base;
    const std::string_view line(reinterpret_cast<const char*>(data + 4), size - 4);
    const mirelle::hexfile::IntelHexLine r = mirelle::hexfile::DecodeIntelHexLine(line, base);
    using Kind = mirelle::hexfile::IntelHexLine::Kind;
    if (r.kind == Kind::kData) {
        if (r.record.length > 255 || r.address != before + r.record.address) std::abort();
    }
    if (r.kind == Kind::kError && r.error == mirelle::hexfile::IntelHexError::kNone) std::abort();
    // Only a valid 02 or 04 record changes the base.
    if (base != before && !(r.kind == Kind::kSkipped && (r.record.type == 2 || r.record.type == 4))) std::abort();
    return 0;
}
