#include "target/chip_definition.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/profile.h"
#include "target/list_syntax.h"

namespace mirelle::target {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ListName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

bool IsTargetComplete(const std::string& chipdef_path, const std::string& section) {
    static const char* const kRequired[] = {"DownloadFile", "LoadAddress", "StartAddress", "EndAddress",
                                            "FlashSize",    "Clock",       "Baud"};
    for (const char* key : kRequired)
        if (profile::GetString(chipdef_path, section, key, "", 256).empty()) return false;
    return true;
}

std::vector<std::string> ListTargets(const std::string& chipdef_path) {
    std::vector<std::string> targets;
    for (std::string name : profile::GetSectionNames(chipdef_path)) {
        if (!IsTargetComplete(chipdef_path, name)) continue;
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        targets.push_back(name);
    }
    return targets;
}

std::string FormatInfoAddress(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08XH", static_cast<unsigned>(value));
    return buf;
}

ChipDefinition ReadChipDefinition(const std::string& chipdef_path, const std::string& section) {
    ChipDefinition chip;
    chip.load_address = static_cast<std::uint32_t>(profile::GetInt(chipdef_path, section, "LoadAddress", 0));
    profile::GetInt(chipdef_path, section, "FlashSize", 0);  // must be present; its value is not used

    const auto starts = ParseHexList(profile::GetString(chipdef_path, section, "StartAddress", "", 256));
    const auto ends = ParseHexList(profile::GetString(chipdef_path, section, "EndAddress", "", 256));
    chip.area_count = static_cast<int>(std::min({starts.size(), ends.size(), std::size_t{kMaxAreas}}));
    for (int i = 0; i < chip.area_count; ++i) {
        chip.start[i] = starts[i];
        chip.end[i] = ends[i];
        // An area of one or two bytes: the halfword after it is left alone by the decoders.
        const std::uint32_t start_plus_2 = chip.start[i] + 2;
        if (chip.end[i] < start_plus_2) chip.skip_halfword = start_plus_2 & ~std::uint32_t{1};
    }

    for (int row = 0; row < kInfoRows; ++row) {
        if (row >= chip.area_count) continue;
        chip.row_start[row] = FormatInfoAddress(chip.start[row]);
        chip.row_end[row] = FormatInfoAddress(chip.end[row]);
        chip.row_size[row] = FormatInfoAddress(chip.end[row] - chip.start[row] + 1);
    }

    chip.clocks = SplitList(profile::GetString(chipdef_path, section, "Clock", "", 256));
    return chip;
}

std::vector<ChipProblem> CheckChipDefinition(const std::string& chipdef_path, const std::string& section) {
    using Kind = ChipProblem::Kind;
    std::vector<ChipProblem> problems;
    auto entries = [&](const char* key) { return SplitList(profile::GetString(chipdef_path, section, key, "", 256)); };
    const auto starts = entries("StartAddress"), ends = entries("EndAddress");
    for (const auto* list : {&starts, &ends})
        for (std::size_t i = 0; i < list->size(); ++i)
            if (HexEntrySaturates((*list)[i]))
                problems.push_back({Kind::kAddressSaturates, list == &starts ? "StartAddress" : "EndAddress",
                                    static_cast<int>(i + 1), (*list)[i]});
    for (const char* key : {"Baud", "Baud2"}) {
        const auto rates = entries(key);
        for (std::size_t i = 0; i < rates.size(); ++i)
            if (ParseDecimalEntry(rates[i]) <= 0)
                problems.push_back({Kind::kNoRate, key, static_cast<int>(i + 1), rates[i]});
    }
    const std::size_t areas = std::min(starts.size(), ends.size());
    for (std::size_t i = 0; i < areas && i < std::size_t{kMaxAreas}; ++i)
        if (ParseHexEntry(starts[i]) > ParseHexEntry(ends[i]))
            problems.push_back({Kind::kStartAfterEnd, "StartAddress", static_cast<int>(i + 1), starts[i] + "," + ends[i]});
    if (starts.size() != ends.size())
        problems.push_back({Kind::kListLengths, "StartAddress", 0, "", static_cast<int>(starts.size()),
                            static_cast<int>(ends.size())});
    if (areas > std::size_t{kMaxAreas})
        problems.push_back({Kind::kTooManyAreas, "StartAddress", 0, "", static_cast<int>(areas), kMaxAreas});
    return problems;
}

DownloadKeys ReadDownloadKeys(const std::string& chipdef_path, const std::string& section) {
    DownloadKeys keys;
    keys.download_file = profile::GetString(chipdef_path, section, "DownloadFile", "", 260);
    keys.clocks = SplitList(profile::GetString(chipdef_path, section, "Clock", "", 256));
    keys.baud = ParseDecimalList(profile::GetString(chipdef_path, section, "Baud", "", 256));
    const std::string baud2 = profile::GetString(chipdef_path, section, "Baud2", "", 256);
    keys.baud2 = ParseDecimalList(baud2);
    keys.has_baud2 = !baud2.empty();
    return keys;
}

BootSequenceKeys ReadBootSequenceKeys(const std::string& chipdef_path, const std::string& section) {
    return {profile::GetString(chipdef_path, section, "BootEntry", "", 256),
            profile::GetString(chipdef_path, section, "BootExit", "", 256)};
}

}  // namespace mirelle::target
