// Per-unit values written into the flash image: a serial number, a MAC
// address, calibration data. A patch rule says where (address and length in
// bytes) and where the value comes from:
//
//   a counter   ADDR:LEN:counter=START[,step=N][,end=N][,enc=bin|bcd|dec|hex]
//               [,order=le|be][,digits=N][,prefix=TEXT][,suffix=TEXT]
//   a list      ADDR:LEN:list=FILE[,enc=bytes|text]   one value a line, in order
//   a command   ADDR:LEN:command=PROGRAM[,enc=bytes|text]   run per unit
//
// and, with any source: `overwrite` (the patch may replace bytes the program
// file holds), `burn` (a failed unit spends its value too) and `name=KEY`
// (the counter or list that several rules or jobs share; by default the
// rule's own address, length and source name it).
//
// Encodings of a counter's value in LEN bytes: bin (binary, order le by
// default), bcd (two digits a byte, order be by default: the first byte holds
// the highest digits), dec and hex (ASCII digits, upper-case hex, zero-padded
// to `digits`, which is by default what LEN leaves beside the prefix and
// suffix; bytes left over after the text are 0x00). A value from a list or a
// command is hex bytes ("00:1A:2B:3C:4D:5E", "001A2B3C4D5E"; exactly LEN of
// them) or, with enc=text, text of at most LEN bytes, padded with 0x00.
//
// Everything here is pure: no file, process or database is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelle::hexfile {

enum class PatchSource { kCounter, kList, kCommand };
enum class PatchEncoding { kBinary, kBcd, kDecimal, kHex, kBytes, kText };
enum class ByteOrder { kLittle, kBig };

// The longest value a rule writes.
inline constexpr std::uint32_t kMaxPatchLength = 256;

struct PatchRule {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    PatchSource source = PatchSource::kCounter;
    // A counter: the values start, start + step, ... up to end (inclusive).
    std::uint64_t start = 0;
    std::uint64_t step = 1;
    std::optional<std::uint64_t> end;  // none: the largest value the encoding fits in LEN bytes
    std::string list_file;             // list=
    std::string command;               // command=
    PatchEncoding encoding = PatchEncoding::kBinary;
    ByteOrder order = ByteOrder::kLittle;
    int digits = 0;  // dec/hex: 0 for what LEN leaves beside prefix and suffix
    std::string prefix, suffix;
    std::string name;  // name=
    bool overwrite = false;
    bool burn = false;
    std::string text;  // the rule as it was written
};

// Reads a rule in the syntax above; false with `error` saying what is wrong.
bool ParsePatchRule(std::string_view text, PatchRule& rule, std::string& error);

// What identifies the rule's sequence of values in the reservation store:
// "name:KEY" when the rule names one, else its address, length and source
// ("0x00007F00:4:counter=1,step=1" or "...:list=macs.txt").
std::string PatchRuleKey(const PatchRule& rule);

// A counter's last value: the one the rule gives, or the largest its
// encoding fits in its bytes.
std::uint64_t CounterEnd(const PatchRule& rule);

// The counter's value number `seq` (from 0): start + seq * step; none when it
// lies past the counter's end (or past 2^64).
std::optional<std::uint64_t> CounterValue(const PatchRule& rule, std::uint64_t seq);

// One unit's value, ready for the image: the bytes and the value as records
// and tables show it ("SN-000123", "123456", "00:1A:2B:3C:4D:5E").
struct PatchValue {
    std::vector<std::uint8_t> bytes;
    std::string text;
};

// A counter's value in the rule's encoding; false with `error` when it does
// not fit the rule's bytes or lies past its end.
bool EncodeCounter(const PatchRule& rule, std::uint64_t value, PatchValue& out, std::string& error);

// A value a list line or a command gave (surrounding blanks and the line's
// end ignored); false with `error` for bad hex or a wrong length.
bool EncodeGiven(const PatchRule& rule, std::string_view given, PatchValue& out, std::string& error);

// A patch ready for the image: the bytes at an address, whether it may
// replace bytes of the program file, and the value's text.
struct ImagePatch {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
    bool overwrite = false;
    std::string value;
};

// The patch of a rule with its value.
ImagePatch MakeImagePatch(const PatchRule& rule, PatchValue value);

// Bytes as text: "0x00007F00:00123456" (address, then the bytes in hex).
std::string PatchBytesText(const ImagePatch& patch);

}  // namespace mirelle::hexfile
