// Intel HEX records: ':' then digit pairs forming the record bytes: length n,
// 16-bit address field (most significant first), type, n data bytes and a
// checksum (the 8-bit sum of all bytes is 0). Types: 00 data, 01 end of file,
// 02 segment base (value x 16), 03 ignored, 04 linear base (value x 65536),
// 05 ignored. Types 02 and 04 share one base that each of them replaces.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace mirelle::hexfile {

// The Intel HEX decoder's error codes; texts/program_load_texts.h words
// each of them by its number.
enum class IntelHexError {
    kNone = 0,
    kFile = 1,     // a non-empty line that does not begin with ':'
    kDecode = 2,   // bad digit, length not matching, checksum, type above 05
    kRecord = 3,   // type 01 to 05 with the wrong length
    kAddress = 4,  // data that has no place in the image
};

// One decoded record. For types 02 and 04 `address` holds the new base.
struct IntelHexRecord {
    IntelHexError error = IntelHexError::kNone;
    std::uint8_t type = 0;
    std::uint32_t address = 0;
    int length = 0;
    std::array<std::uint8_t, 260> bytes{};

    std::span<const std::uint8_t> Data() const {
        return {bytes.data() + 4, static_cast<std::size_t>(length)};
    }
};

// Decodes one line (without its end) as a record. The error is kFile,
// kDecode or kRecord when the line is not a valid record; a valid record of
// type 06 or above is returned as it is (the file loop refuses it).
IntelHexRecord DecodeIntelHexRecord(std::string_view line);

// One line of an Intel HEX file, interpreted with the base of the lines
// before it.
struct IntelHexLine {
    enum class Kind { kData, kSkipped, kEnd, kError };
    Kind kind = Kind::kSkipped;
    IntelHexError error = IntelHexError::kNone;  // for kError
    std::uint32_t address = 0;                   // base + address field, for kData
    IntelHexRecord record;

    std::span<const std::uint8_t> Data() const { return record.Data(); }
};

// Decodes one line of a file. `base` is the segment/linear base in effect
// (0 at the start of a file); records of type 02 and 04 replace it. An empty
// line is skipped. The address is not checked against the image here.
IntelHexLine DecodeIntelHexLine(std::string_view line, std::uint32_t& base);

}  // namespace mirelle::hexfile
