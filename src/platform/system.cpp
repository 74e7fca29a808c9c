#include "platform/system.h"

namespace mirelle::sys {

std::string FileNamePart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? "" : path.substr(0, pos + 1);
}

std::optional<bool> LocaleVariablesSayJapanese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = GetEnv(name);
        if (value.empty()) continue;
        return value.compare(0, 2, "ja") == 0;
    }
    return std::nullopt;
}

}  // namespace mirelle::sys
