// Feeds arbitrary bytes to the S-record line decoder and checks what it claims.
#include "hexfile/srecord.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const mirelle::hexfile::SRecordLine r = mirelle::hexfile::DecodeSRecord(line);
    if (r.kind == mirelle::hexfile::SRecordLine::Kind::kData) {
        // A data record has at least one data byte, and they lie inside the buffer.
        if (r.data_count < 1 || r.first_data < 3 || r.first_data > 5 ||
            r.first_data + r.data_count + 1 > static_cast<int>(r.bytes.size())) {
            std::abort();
        }
        if (line.size() < 2 || line[0] != 'S' || line[1] < '1' || line[1] > '3') std::abort();
    }
    if (r.kind == mirelle::hexfile::SRecordLine::Kind::kError && r.error == mirelle::SRecordError::kNone) std::abort();
    return 0;
}
