#include "hexfile/intel_hex.h"

#include "hexfile/hex_digits.h"

namespace mirelle::hexfile {

using detail::AllHexDigits;
using detail::ConvertPairs;

IntelHexRecord DecodeIntelHexRecord(std::string_view line) {
    IntelHexRecord record;
    if (line.empty() || line[0] != ':') {
        record.error = IntelHexError::kFile;
        return record;
    }
    const std::string_view digits = line.substr(1);
    if (!AllHexDigits(digits)) {
        record.error = IntelHexError::kDecode;
        return record;
    }
    const std::size_t converted = ConvertPairs(digits, record.bytes.data(), record.bytes.size());
    // A record has at least length, address, type and checksum.
    if (converted < 5 || converted != std::size_t{record.bytes[0]} + 5) {
        record.error = IntelHexError::kDecode;
        return record;
    }
    unsigned sum = 0;
    for (std::size_t j = 0; j < converted; ++j) sum += record.bytes[j];
    if ((sum & 0xFF) != 0) {
        record.error = IntelHexError::kDecode;
        return record;
    }
    record.length = record.bytes[0];
    record.address = std::uint32_t{record.bytes[1]} << 8 | record.bytes[2];
    record.type = record.bytes[3];
    const int n = record.length;
    if ((record.type == 0x01 && n != 0) || ((record.type == 0x02 || record.type == 0x04) && n != 2) ||
        ((record.type == 0x03 || record.type == 0x05) && n != 4)) {
        record.error = IntelHexError::kRecord;
        return record;
    }
    if (record.type == 0x02 || record.type == 0x04) {
        const std::uint32_t value = std::uint32_t{record.bytes[4]} << 8 | record.bytes[5];
        record.address = record.type == 0x02 ? value << 4 : value << 16;
    }
    return record;
}

IntelHexLine DecodeIntelHexLine(std::string_view line, std::uint32_t& base) {
    IntelHexLine result;
    if (line.empty()) return result;
    result.record = DecodeIntelHexRecord(line);
    const IntelHexRecord& record = result.record;
    if (record.error != IntelHexError::kNone) {
        result.kind = IntelHexLine::Kind::kError;
        result.error = record.error;
        return result;
    }
    switch (record.type) {
        case 0x00:
            result.kind = IntelHexLine::Kind::kData;
            result.address = record.address + base;  // 32-bit sum
            return result;
        case 0x01:
            result.kind = IntelHexLine::Kind::kEnd;
            return result;
        case 0x02:
        case 0x04:
            base = record.address;
            return result;
        case 0x03:
        case 0x05:
            return result;
        default:
            result.kind = IntelHexLine::Kind::kError;
            result.error = IntelHexError::kDecode;
            return result;
    }
}

}  // namespace mirelle::hexfile
