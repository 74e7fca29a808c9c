// Motorola S-record lines: 'S', a type character, then digit pairs forming
// the record bytes: count (bytes that follow), address (2, 3 or 4 bytes for
// S1, S2, S3, most significant first), data, checksum (the 8-bit sum of count
// through checksum is 0xFF). S0, S5, S7, S8 and S9 are skipped unchecked and
// do not end the file; S4, S6 and anything else are format errors.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace mirelle::hexfile {

// The S-record decoder's error codes; texts/program_load_texts.h words
// each of them by its number.
enum class SRecordError {
    kNone = 0,
    kFile = 1,     // a non-empty line that does not begin with 'S'
    kFormat = 2,   // S4, S6, any other type character, or none
    kDecode = 3,   // bad digit, count not matching, no data byte, checksum
    kAddress = 4,  // data that has no place in the image
};

using SRecordBytes = std::array<std::uint8_t, 256>;

// Decodes the record bytes of an S1, S2 or S3 line whose 'S' and type digit
// the caller has checked. Fills `bytes`, sets `address` and the index of the
// first data byte (3, 4 or 5), and returns the number of data bytes, or 0 when
// the line is not a valid record.
int DecodeSRecordLine(std::string_view line, SRecordBytes& bytes, std::uint32_t& address,
                      int& first_data);

// One line of an S-record file, classified.
struct SRecordLine {
    enum class Kind { kData, kSkipped, kError };
    Kind kind = Kind::kSkipped;
    SRecordError error = SRecordError::kNone;  // for kError
    std::uint32_t address = 0;                 // first data byte, for kData
    int first_data = 0;
    int data_count = 0;
    SRecordBytes bytes{};

    std::span<const std::uint8_t> Data() const {
        return {bytes.data() + first_data, static_cast<std::size_t>(data_count)};
    }
};

// The record count of a valid S5 line (16-bit, count byte 3); none for any
// other line or one that does not decode.
std::optional<std::uint32_t> DecodeSRecordCount(std::string_view line);

// Classifies and decodes one line (without its end). An empty line is
// skipped. The address is not checked against the image here.
SRecordLine DecodeSRecord(std::string_view line);

}  // namespace mirelle::hexfile
