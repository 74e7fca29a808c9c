// The read-out file writers: the records as a file shows them, and a round
// trip through the decoders that read program files.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <sstream>
#include <vector>

#include "hexfile/intel_hex.h"
#include "hexfile/readout_records.h"
#include "hexfile/srecord.h"

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;
struct Area {
    std::uint32_t start, end;
};

// The file Copy writes for `areas`, with the flash byte of an address given
// by `flash`, read in 512-byte blocks.
std::string FileOf(ReadoutFormat format, const std::vector<Area>& areas,
                   std::uint8_t (*flash)(std::uint32_t) = [](std::uint32_t) -> std::uint8_t { return 0xFF; }) {
    ReadoutRecords records(format);
    std::string file = records.Header();
    for (const Area& a : areas) {
        file += records.BeginArea(a.start, a.end);
        for (std::uint64_t block = a.start; block <= a.end; block += 512) {
            Bytes data(512);
            for (std::size_t k = 0; k < data.size(); ++k) data[k] = flash(static_cast<std::uint32_t>(block + k));
            file += records.Block(static_cast<std::uint32_t>(block), data);
        }
    }
    return file + records.Trailer();
}

std::vector<std::string> Lines(const std::string& file) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < file.size()) {
        const std::size_t end = file.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        lines.push_back(file.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(ReadoutRecordsTest, SingleRecordsMatchTheFormsOfBothFiles) {
    Bytes data(16);
    std::iota(data.begin(), data.end(), 0);
    EXPECT_EQ(FormatSRecord(data, 0x00F80010, 3), "S31500F80010000102030405060708090A0B0C0D0E0F6A\r\n");
    EXPECT_EQ(FormatIntelDataRecord(data, 0x00F80010), ":10001000000102030405060708090A0B0C0D0E0F68\r\n");
    EXPECT_EQ(FormatIntelAddressRecord(0x00F80010), ":0200000400F802\r\n");
    EXPECT_EQ(FormatIntelAddressRecord(0x00F90000), ":0200000400F901\r\n");
    const Bytes fw = {'F', 'W'};
    EXPECT_EQ(FormatSRecord(fw, 0x1234, 0), "S005000046575D\r\n");
    EXPECT_EQ(FormatSRecord({}, 0, 8), "S804000000FB\r\n");
    EXPECT_EQ(FormatSRecord({}, 0x123456, 2), "S2041234565F\r\n");
}

TEST(ReadoutRecordsTest, FilesOfSmallAreasHoldEveryByteUpToTheAreaEnd) {
    struct Case {
        ReadoutFormat format;
        std::vector<Area> areas;
        std::vector<std::string> lines;
    };
    // (The Copy scenarios check the 32-byte area in both forms.)
    const std::string ff16(32, 'F');
    const Case cases[] = {
        // 0x21 bytes: two whole records and one of a single byte.
        {ReadoutFormat::SRecord,
         {{0x1000, 0x1020}},
         {"S005000046575D", "S31500001000" + ff16 + "EA", "S31500001010" + ff16 + "DA", "S30600001020FFCA",
          "S804000000FB"}},
        // Two areas in one 64 KiB segment: each opens with its address record.
        {ReadoutFormat::IntelHex,
         {{0x1000, 0x1003}, {0x2000, 0x2001}},
         {":020000040000FA", ":04100000FFFFFFFFF0", ":020000040000FA", ":02200000FFFFE0", ":00000001FF"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Lines(FileOf(c.format, c.areas)), c.lines);
}

TEST(ReadoutRecordsTest, IntelHexMarksEachSegmentCrossingOnce) {
    std::vector<std::string> address_records;
    for (const std::string& line : Lines(FileOf(ReadoutFormat::IntelHex, {{0x00F80000, 0x00F9FFFF}})))
        if (line.compare(0, 9, ":02000004") == 0) address_records.push_back(line);
    EXPECT_EQ(address_records, (std::vector<std::string>{":0200000400F802", ":0200000400F901"}));
}

// What Copy writes, the program file decoders read back byte for byte.
TEST(ReadoutRecordsTest, DecodersReadBackWhatWasWritten) {
    const std::vector<Area> areas = {{0x0000FF00, 0x00010120}, {0x00F80000, 0x00F8020A}};
    auto flash = [](std::uint32_t a) -> std::uint8_t { return static_cast<std::uint8_t>(a * 7 + (a >> 8)); };
    std::map<std::uint32_t, std::uint8_t> expected;
    for (const Area& a : areas)
        for (std::uint32_t x = a.start; x <= a.end; ++x) expected[x] = flash(x);

    for (ReadoutFormat format : {ReadoutFormat::SRecord, ReadoutFormat::IntelHex}) {
        std::map<std::uint32_t, std::uint8_t> decoded;
        std::uint32_t base = 0;
        for (const std::string& line : Lines(FileOf(format, areas, flash))) {
            if (format == ReadoutFormat::SRecord) {
                const SRecordLine r = DecodeSRecord(line);
                ASSERT_NE(r.kind, SRecordLine::Kind::kError) << line;
                if (r.kind != SRecordLine::Kind::kData) continue;
                for (std::size_t k = 0; k < r.Data().size(); ++k) decoded[r.address + k] = r.Data()[k];
            } else {
                const IntelHexLine r = DecodeIntelHexLine(line, base);
                ASSERT_NE(r.kind, IntelHexLine::Kind::kError) << line;
                if (r.kind != IntelHexLine::Kind::kData) continue;
                for (std::size_t k = 0; k < r.Data().size(); ++k) decoded[r.address + k] = r.Data()[k];
            }
        }
        EXPECT_EQ(decoded, expected);
    }
}

}  // namespace
}  // namespace mirelle
