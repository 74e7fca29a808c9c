// One target chip as CHIPDEF.INI defines it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirelle::target {

inline constexpr int kMaxAreas = 10;
inline constexpr int kInfoRows = 4;

// True when DownloadFile, LoadAddress, StartAddress, EndAddress, FlashSize,
// Clock and Baud all have a non-empty value in `section`.
bool IsTargetComplete(const std::string& chipdef_path, const std::string& section);

// The sections that qualify as targets, in file order, in capitals (the
// target list shows and reads back its entries in capitals).
std::vector<std::string> ListTargets(const std::string& chipdef_path);

// Whether two chip or clock names are the same as the target list matches
// them: without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b);

// A name as the target list shows it: in capitals.
std::string ListName(std::string name);

// "%08XH" of an address, as the FLASH INFORMATION box shows it.
std::string FormatInfoAddress(std::uint32_t value);

struct ChipDefinition {
    std::uint32_t load_address = 0;
    std::array<std::uint32_t, kMaxAreas> start{};
    std::array<std::uint32_t, kMaxAreas> end{};  // inclusive
    int area_count = 0;
    // The image offset that the decoders leave untouched: set by an area of
    // one or two bytes, empty otherwise. It starts empty for every chip, so a
    // skip of an earlier chip never reaches another chip's image.
    std::optional<std::uint32_t> skip_halfword;
    // The four rows of FLASH INFORMATION: start, end and size texts.
    std::array<std::string, kInfoRows> row_start, row_end, row_size;
    // The entries of the rate list.
    std::vector<std::string> clocks;
};

// Reads `section` of the chip definition file. Entries past the tenth are
// ignored; when the StartAddress and EndAddress lists differ in length, the
// chip has as many areas as the shorter list holds.
ChipDefinition ReadChipDefinition(const std::string& chipdef_path, const std::string& section);

// What is wrong with a section's values. A refusing problem makes the chip
// unusable: it would be programmed at a wrong address or a rate of nothing.
struct ChipProblem {
    enum class Kind {
        kAddressSaturates,  // refuses: an address entry reads as 0x7FFFFFFF (or -0x80000000)
        kNoRate,            // refuses: a Baud or Baud2 entry of 0 or less
        kStartAfterEnd,     // an area whose start lies above its end holds nothing
        kListLengths,       // StartAddress and EndAddress differ in length
        kTooManyAreas,      // more than kMaxAreas areas
    };
    Kind kind;
    std::string key;           // the key (the first of two for kListLengths and kTooManyAreas)
    int entry = 0;             // the entry or area, from 1
    std::string value;         // the entry as written; for kStartAfterEnd the end's
    int count = 0, other = 0;  // list lengths: StartAddress's and EndAddress's
    bool Refuses() const { return kind == Kind::kAddressSaturates || kind == Kind::kNoRate; }
};

// The problems of `section`, in key order.
std::vector<ChipProblem> CheckChipDefinition(const std::string& chipdef_path, const std::string& section);

// The chip keys that the download reads afresh each time it runs.
struct DownloadKeys {
    std::string download_file;
    std::vector<std::string> clocks;
    std::vector<std::int32_t> baud;
    std::vector<std::int32_t> baud2;
    bool has_baud2 = false;  // Baud2 has a text, even one without entries
};
DownloadKeys ReadDownloadKeys(const std::string& chipdef_path, const std::string& section);

// The board's reset wiring of a chip's section: BootEntry= (run instead of
// the reset prompt) and BootExit= (run after the last operation), as texts of
// DTR/RTS/break steps; empty when the section has none.
struct BootSequenceKeys {
    std::string entry;
    std::string exit;
};
BootSequenceKeys ReadBootSequenceKeys(const std::string& chipdef_path, const std::string& section);

}  // namespace mirelle::target
