#include "hexfile/intel_hex.h"
#include "hexfile/srecord.h"
#include "support/program_lines.h"
#include "texts/program_load_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::IntelHexOf;
using testing::SRecordOf;

Bytes DataOf(const SRecordLine& r) { return Bytes(r.Data().begin(), r.Data().end()); }
Bytes DataOf(const IntelHexLine& r) { return Bytes(r.Data().begin(), r.Data().end()); }

TEST(SRecordDecoder, OneDataByteAndTheLeftOverDigit) {
    for (const std::string line : {"S1040000AA51", "S1040000AA517"}) {
        const SRecordLine r = DecodeSRecord(line);
        ASSERT_EQ(r.kind, SRecordLine::Kind::kData) << line;
        EXPECT_EQ(r.address, 0u);
        EXPECT_EQ(DataOf(r), Bytes{0xAA});
    }
    EXPECT_EQ(SRecordOf('1', 0, {0xAA}), "S1040000AA51");
}

TEST(SRecordDecoder, RefusedRecordsAreDecodeErrors) {
    for (const std::string line : {
             "S1040000AA51 ",  // trailing blank
             "S1030000FC",     // no data byte, checksum right
             "S1040000aa51",   // lower-case digits
             "S1040000AA52",   // checksum
             "S1050000AA51",   // count larger than the digits
             "S1030000AA51",   // count smaller than the digits
             "S1", "S2", "S3",
             "S1040000AA51\r",
         }) {
        const SRecordLine r = DecodeSRecord(line);
        EXPECT_EQ(r.kind, SRecordLine::Kind::kError) << line;
        EXPECT_EQ(r.error, SRecordError::kDecode) << line;
    }
}

TEST(SRecordDecoder, AddressWidthsAndFirstDataIndex) {
    const Bytes data = {1, 2, 3};
    struct Case {
        char type;
        std::uint32_t address;
        int first;
    };
    for (const Case c : {Case{'1', 0xBEEF, 3}, Case{'2', 0x123456, 4}, Case{'3', 0x20000010, 5}}) {
        const std::string line = SRecordOf(c.type, c.address, data);
        const SRecordLine r = DecodeSRecord(line);
        ASSERT_EQ(r.kind, SRecordLine::Kind::kData) << line;
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(r.first_data, c.first);
        EXPECT_EQ(DataOf(r), data);

        SRecordBytes bytes{};
        std::uint32_t address = 0;
        int first = 0;
        EXPECT_EQ(DecodeSRecordLine(line, bytes, address, first), 3);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(first, c.first);
    }
}

TEST(SRecordDecoder, LongestRecordAndDigitsBeyondIt) {
    // Count 0xFF: 2 address bytes, 252 data bytes, checksum.
    const std::string longest = SRecordOf('1', 0x0100, Bytes(252, 0x5A));
    ASSERT_EQ(longest.size(), 2u + 2 * 256);
    const SRecordLine r = DecodeSRecord(longest);
    ASSERT_EQ(r.kind, SRecordLine::Kind::kData);
    EXPECT_EQ(r.data_count, 252);
    // Digits past 256 bytes are checked but not converted.
    EXPECT_EQ(DecodeSRecord(longest + "0123").kind, SRecordLine::Kind::kData);
    EXPECT_EQ(DecodeSRecord(longest + "01x3").kind, SRecordLine::Kind::kError);
}

TEST(SRecordDecoder, TypesSkippedUncheckedAndTypesRefused) {
    for (const std::string line : {"S0garbage", "S5", "S5 bad checksum", "S7", "S8xx", "S9030000FC", "S9"}) {
        EXPECT_EQ(DecodeSRecord(line).kind, SRecordLine::Kind::kSkipped) << line;
    }
    EXPECT_EQ(DecodeSRecord("").kind, SRecordLine::Kind::kSkipped);
    for (const std::string line : {"S4030000FC", "S6030000FC", "S", "SA", "S 1040000AA51", "Ss"}) {
        const SRecordLine r = DecodeSRecord(line);
        EXPECT_EQ(r.kind, SRecordLine::Kind::kError) << line;
        EXPECT_EQ(r.error, SRecordError::kFormat) << line;
    }
    for (const std::string line : {";comment", "s1040000AA51", " S1040000AA51", ":00000001FF"}) {
        EXPECT_EQ(DecodeSRecord(line).error, SRecordError::kFile) << line;
    }
}

TEST(SRecordDecoder, Messages) {
    EXPECT_EQ(texts::SRecordMessage(static_cast<int>(SRecordError::kFile), 3), "file error in 3");
    EXPECT_EQ(texts::SRecordMessage(static_cast<int>(SRecordError::kFormat), 12), "S-format error in 12");
    EXPECT_EQ(texts::SRecordMessage(static_cast<int>(SRecordError::kDecode), 1), "decode error in 1");
    EXPECT_EQ(texts::SRecordMessage(static_cast<int>(SRecordError::kAddress), 40000), "address error in 40000");
}

TEST(IntelHexDecoder, BasesAreReplacedNotAdded) {
    std::uint32_t base = 0;
    EXPECT_EQ(DecodeIntelHexLine(":020000040001F9", base).kind, IntelHexLine::Kind::kSkipped);
    EXPECT_EQ(base, 0x00010000u);
    const IntelHexLine data = DecodeIntelHexLine(":01100000AA45", base);
    ASSERT_EQ(data.kind, IntelHexLine::Kind::kData);
    EXPECT_EQ(data.address, 0x00011000u);
    EXPECT_EQ(DataOf(data), Bytes{0xAA});

    base = 0x12340000;
    DecodeIntelHexLine(":020000021000EC", base);
    EXPECT_EQ(base, 0x00010000u);  // 0x1000 x 16
    DecodeIntelHexLine(IntelHexOf(0x04, 0, {0x20, 0x00}), base);
    EXPECT_EQ(base, 0x20000000u);
    DecodeIntelHexLine(IntelHexOf(0x02, 0, {0xFF, 0xFF}), base);
    EXPECT_EQ(base, 0x000FFFF0u);
    // No wrap inside the segment: the sum is a plain 32-bit one.
    EXPECT_EQ(DecodeIntelHexLine(IntelHexOf(0x00, 0xFFFF, {1}), base).address, 0x0010FFEFu);
    // Types 03 and 05 change nothing.
    DecodeIntelHexLine(IntelHexOf(0x03, 0, {1, 2, 3, 4}), base);
    DecodeIntelHexLine(IntelHexOf(0x05, 0, {1, 2, 3, 4}), base);
    EXPECT_EQ(base, 0x000FFFF0u);
}

TEST(IntelHexDecoder, EndRecordAndErrorCodes) {
    std::uint32_t base = 0;
    EXPECT_EQ(DecodeIntelHexLine(":00000001FF", base).kind, IntelHexLine::Kind::kEnd);
    struct Case {
        std::string line;
        IntelHexError error;
    };
    for (const Case& c : {
             Case{IntelHexOf(0x06, 0, {}), IntelHexError::kDecode},
             Case{IntelHexOf(0xFF, 0, {1}), IntelHexError::kDecode},
             Case{IntelHexOf(0x01, 0, {1}), IntelHexError::kRecord},
             Case{IntelHexOf(0x02, 0, {1}), IntelHexError::kRecord},
             Case{IntelHexOf(0x04, 0, {1, 2, 3}), IntelHexError::kRecord},
             Case{IntelHexOf(0x03, 0, {1, 2}), IntelHexError::kRecord},
             Case{IntelHexOf(0x05, 0, {}), IntelHexError::kRecord},
             Case{":01100000aa45", IntelHexError::kDecode},
             Case{":01100000AA45 ", IntelHexError::kDecode},
             Case{":01100000AA46", IntelHexError::kDecode},
             Case{":02100000AA45", IntelHexError::kDecode},
             Case{":", IntelHexError::kDecode},
             Case{":00", IntelHexError::kDecode},
             Case{":000000", IntelHexError::kDecode},
             Case{"S1040000AA51", IntelHexError::kFile},
             Case{" :00000001FF", IntelHexError::kFile},
         }) {
        base = 0;
        const IntelHexLine r = DecodeIntelHexLine(c.line, base);
        EXPECT_EQ(r.kind, IntelHexLine::Kind::kError) << c.line;
        EXPECT_EQ(r.error, c.error) << c.line;
    }
    // A leftover digit after the checksum is ignored.
    EXPECT_EQ(DecodeIntelHexLine(":01100000AA450", base).kind, IntelHexLine::Kind::kData);
}

TEST(IntelHexDecoder, LongestRecord) {
    const std::string longest = IntelHexOf(0x00, 0x0000, Bytes(255, 0x11));
    std::uint32_t base = 0;
    const IntelHexLine r = DecodeIntelHexLine(longest, base);
    ASSERT_EQ(r.kind, IntelHexLine::Kind::kData);
    EXPECT_EQ(r.record.length, 255);
    EXPECT_EQ(DecodeIntelHexLine(longest + "FF", base).kind, IntelHexLine::Kind::kData);
    EXPECT_EQ(DecodeIntelHexLine(longest + "FG", base).kind, IntelHexLine::Kind::kError);
}

TEST(IntelHexDecoder, Messages) {
    EXPECT_EQ(texts::IntelHexMessage(static_cast<int>(IntelHexError::kFile), 2), "file error in 2");
    EXPECT_EQ(texts::IntelHexMessage(static_cast<int>(IntelHexError::kDecode), 5), "decode error in 5");
    EXPECT_EQ(texts::IntelHexMessage(static_cast<int>(IntelHexError::kRecord), 6), "record error in 6");
    EXPECT_EQ(texts::IntelHexMessage(static_cast<int>(IntelHexError::kAddress), 7), "address error in 7");
}

}  // namespace
}  // namespace mirelle
