#include "hexfile/srecord.h"

#include "hexfile/hex_digits.h"

namespace mirelle::hexfile {

using detail::AllHexDigits;
using detail::ConvertPairs;

int DecodeSRecordLine(std::string_view line, SRecordBytes& bytes, std::uint32_t& address,
                      int& first_data) {
    if (line.size() < 2 || line[1] < '1' || line[1] > '3') return 0;
    const int address_length = line[1] - '1' + 2;
    const std::string_view digits = line.substr(2);
    if (!AllHexDigits(digits)) return 0;
    const std::size_t converted = ConvertPairs(digits, bytes.data(), bytes.size());
    if (converted == 0) return 0;
    const int count = bytes[0];
    if (static_cast<std::size_t>(count) != converted - 1) return 0;
    if (count < address_length + 2) return 0;
    unsigned sum = 0;
    for (int j = 0; j <= count; ++j) sum += bytes[j];
    if ((sum & 0xFF) != 0xFF) return 0;
    std::uint32_t value = 0;
    for (int j = 1; j <= address_length; ++j) value = value << 8 | bytes[j];
    address = value;
    first_data = address_length + 1;
    return count - address_length - 1;
}

std::optional<std::uint32_t> DecodeSRecordCount(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || line[1] != '5') return std::nullopt;
    const std::string_view digits = line.substr(2);
    std::array<std::uint8_t, 4> bytes{};
    if (digits.size() != 8 || !AllHexDigits(digits) || ConvertPairs(digits, bytes.data(), bytes.size()) != 4)
        return std::nullopt;
    if (bytes[0] != 3 || ((bytes[0] + bytes[1] + bytes[2] + bytes[3]) & 0xFF) != 0xFF) return std::nullopt;
    return std::uint32_t{bytes[1]} << 8 | bytes[2];
}

SRecordLine DecodeSRecord(std::string_view line) {
    SRecordLine result;
    if (line.empty()) return result;
    if (line[0] != 'S') {
        result.kind = SRecordLine::Kind::kError;
        result.error = SRecordError::kFile;
        return result;
    }
    const char type = line.size() > 1 ? line[1] : '\0';
    switch (type) {
        case '0':
        case '5':
        case '7':
        case '8':
        case '9':
            return result;
        case '1':
        case '2':
        case '3':
            break;
        default:
            result.kind = SRecordLine::Kind::kError;
            result.error = SRecordError::kFormat;
            return result;
    }
    const int n = DecodeSRecordLine(line, result.bytes, result.address, result.first_data);
    if (n == 0) {
        result.kind = SRecordLine::Kind::kError;
        result.error = SRecordError::kDecode;
        return result;
    }
    result.kind = SRecordLine::Kind::kData;
    result.data_count = n;
    return result;
}

}  // namespace mirelle::hexfile
