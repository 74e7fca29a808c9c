// What file.h offers on every system alike, built on its opening.
#include "platform/file.h"

namespace mirelle::sys {

bool ReadRestOfFile(std::FILE* file, std::string& out) {
    char buf[65536];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, file);
        out.append(buf, n);
        if (n < sizeof buf) break;
    }
    if (!std::ferror(file)) return true;
    out.clear();
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    const FilePtr file = OpenRegularFile(path);
    return file && ReadRestOfFile(file.get(), out);
}

}  // namespace mirelle::sys
