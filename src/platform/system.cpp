#include "platform/system.h"

#include <filesystem>

namespace mirelle::sys {

std::string FileNamePart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? "" : path.substr(0, pos + 1);
}

void AnchorProgramHome() {
    const std::string home = GetEnv("MIRELLE_HOME");
    if (home.empty()) return;
    std::error_code ec;
    const std::filesystem::path path(home);
    if (path.is_absolute()) return;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) SetEnv("MIRELLE_HOME", absolute.string());
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
