#include "hexfile/readout_records.h"

#include <algorithm>
#include <vector>

namespace mirelle::hexfile {

namespace {

void AppendHex(std::string& out, std::uint8_t byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// The record bytes of a line, then their checksum and the line end.
std::string Line(const char* start, const std::vector<std::uint8_t>& bytes, std::uint8_t checksum) {
    std::string out(start);
    for (std::uint8_t b : bytes) AppendHex(out, b);
    AppendHex(out, checksum);
    return out + kRecordLineEnd;
}

std::uint8_t SumOf(const std::vector<std::uint8_t>& bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum);
}

}  // namespace

std::string FormatSRecord(std::span<const std::uint8_t> data, std::uint32_t address, int type) {
    const std::size_t width = type == 3 ? 4 : (type == 0 ? 2 : 3);
    if (type == 0) address = 0;
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(data.size() + width + 1));
    for (std::size_t i = width; i-- > 0;) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    const char start[] = {'S', static_cast<char>('0' + type), '\0'};
    return Line(start, bytes, static_cast<std::uint8_t>(~SumOf(bytes)));
}

std::string FormatIntelDataRecord(std::span<const std::uint8_t> data, std::uint32_t address) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), 0x00};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return Line(":", bytes, static_cast<std::uint8_t>(-SumOf(bytes)));
}

std::string FormatIntelAddressRecord(std::uint32_t address) {
    const std::vector<std::uint8_t> bytes = {0x02, 0x00, 0x00, 0x04, static_cast<std::uint8_t>(address >> 24),
                                             static_cast<std::uint8_t>(address >> 16)};
    return Line(":", bytes, static_cast<std::uint8_t>(-SumOf(bytes)));
}

std::string ReadoutRecords::Header() const {
    static const std::uint8_t kFw[] = {'F', 'W'};
    return format_ == ReadoutFormat::SRecord ? FormatSRecord(kFw, 0, 0) : "";
}

std::string ReadoutRecords::BeginArea(std::uint32_t start, std::uint32_t end) {
    area_end_ = static_cast<std::uint64_t>(end) + 1;
    data_written_ = false;
    return format_ == ReadoutFormat::IntelHex ? FormatIntelAddressRecord(start) : "";
}

std::string ReadoutRecords::Block(std::uint32_t address, std::span<const std::uint8_t> block) {
    std::string out;
    std::uint64_t at = address;
    for (std::size_t k = 0; k < block.size() && at < area_end_; k += kRecordBytes) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>({kRecordBytes, area_end_ - at, block.size() - k}));
        const std::span<const std::uint8_t> data = block.subspan(k, length);
        const auto record_address = static_cast<std::uint32_t>(at);
        if (format_ == ReadoutFormat::IntelHex) {
            if ((record_address & 0xFFFF) == 0 && data_written_) out += FormatIntelAddressRecord(record_address);
            out += FormatIntelDataRecord(data, record_address);
            data_written_ = true;
        } else {
            out += FormatSRecord(data, record_address, 3);
        }
        at += length;
    }
    return out;
}

std::string ReadoutRecords::Trailer() const {
    return format_ == ReadoutFormat::SRecord ? FormatSRecord({}, 0, 8) : std::string(":00000001FF") + kRecordLineEnd;
}

}  // namespace mirelle::hexfile
