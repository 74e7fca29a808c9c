// The writers of read-out files: the flash read back from a chip becomes a
// Motorola S-record or an Intel HEX file that the decoders beside them read
// again. Every line is one record of upper-case hex digit pairs ending in
// CR LF. Pure: no file, no port.
//
// S-records: the header "S005000046575D" ("FW"), S3 data records with 4
// address bytes, and the end record "S804000000FB" (S8 although the data
// records are S3). Intel HEX: a type 04 record at the start of every area and
// before a data record whose address has its low 16 bits 0 once the area has
// a data record, type 00 data records, and the end line ":00000001FF".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mirelle::hexfile {

inline constexpr const char* kRecordLineEnd = "\r\n";

// One S-record line of `type` (0, 2, 3 or 8) with `data` at `address`: type
// 2 and 8 carry a 3-byte address, type 3 a 4-byte one, type 0 the address
// 0000. The checksum is the one's complement of the low byte of the sum of
// count, address and data bytes.
std::string FormatSRecord(std::span<const std::uint8_t> data, std::uint32_t address, int type);
// One Intel HEX type 00 line with the low 16 bits of `address`.
std::string FormatIntelDataRecord(std::span<const std::uint8_t> data, std::uint32_t address);
// One Intel HEX type 04 line with bits 16-31 of `address`.
std::string FormatIntelAddressRecord(std::uint32_t address);

enum class ReadoutFormat { SRecord, IntelHex };

// The lines of a read-out file, area by area, block by block. Records hold 16
// bytes from the block's start and never reach past the area's end.
class ReadoutRecords {
public:
    static constexpr std::size_t kRecordBytes = 16;

    explicit ReadoutRecords(ReadoutFormat format) : format_(format) {}

    // The first lines of the file (the S0 header; nothing for Intel HEX).
    std::string Header() const;
    // The lines that open the area [start, end] (end inclusive): the type 04
    // record of its start for Intel HEX.
    std::string BeginArea(std::uint32_t start, std::uint32_t end);
    // The records of one block read at `address` of the current area; only
    // the bytes up to the area's end are written.
    std::string Block(std::uint32_t address, std::span<const std::uint8_t> block);
    // The last line of the file.
    std::string Trailer() const;

private:
    ReadoutFormat format_;
    std::uint64_t area_end_ = 0;  // exclusive, in 64 bits: an area may end at 0xFFFFFFFF
    bool data_written_ = false;   // a data record of the current area has been written
};

}  // namespace mirelle::hexfile
