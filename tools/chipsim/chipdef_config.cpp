#include <algorithm>
#include <cctype>

#include "chipsim/chip_config.h"
#include "target/chip_definition.h"

namespace mirelle::chipsim {

using namespace mirelle::target;

bool ConfigFromChipDefinition(const std::string& chipdef_path, const std::string& target,
                              int clock_index, ChipConfig& out, std::string& error) {
    std::string name = target;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const ChipDefinition def = ReadChipDefinition(chipdef_path, name);
    if (def.area_count <= 0) {
        error = "no flash area for [" + name + "] in " + chipdef_path;
        return false;
    }
    std::vector<Area> areas;
    for (int i = 0; i < def.area_count && i < kMaxAreas; ++i) {
        areas.push_back({def.start[static_cast<std::size_t>(i)], def.end[static_cast<std::size_t>(i)]});
    }
    ChipConfig config = ChipConfig::ForTarget(name, std::move(areas));
    const DownloadKeys keys = ReadDownloadKeys(chipdef_path, name);
    if (clock_index < 0 || static_cast<std::size_t>(clock_index) >= keys.baud.size() ||
        keys.baud[static_cast<std::size_t>(clock_index)] <= 0) {
        error = "no Baud entry " + std::to_string(clock_index) + " for [" + name + "]";
        return false;
    }
    const auto boot = static_cast<std::uint32_t>(keys.baud[static_cast<std::size_t>(clock_index)]);
    std::uint32_t work = boot * 2;
    if (!keys.baud2.empty()) {
        if (static_cast<std::size_t>(clock_index) >= keys.baud2.size() ||
            keys.baud2[static_cast<std::size_t>(clock_index)] <= 0) {
            error = "no Baud2 entry " + std::to_string(clock_index) + " for [" + name + "]";
            return false;
        }
        work = static_cast<std::uint32_t>(keys.baud2[static_cast<std::size_t>(clock_index)]);
    }
    config.boot_baud = boot;
    config.work_baud = work;
    out = std::move(config);
    return true;
}

}  // namespace mirelle::chipsim
