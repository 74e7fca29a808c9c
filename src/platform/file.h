// Files by their UTF-8 path names, the same on every platform: opening,
// removing, and replacing a file whole without leaving half a file behind.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace mirelle::sys {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` with an fopen mode ("rb", "wb", ...); empty when it cannot.
FilePtr OpenFile(const std::string& path, const char* mode);

// True for a regular file (not a folder, a device or a missing name).
bool IsRegularFile(const std::string& path);

bool RemoveFile(const std::string& path);

// Creates or replaces `path` with `bytes`. The bytes go to a new file beside
// it, which then takes its place, so an interrupted write never leaves a
// half-written file; an existing file's permissions are kept.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

}  // namespace mirelle::sys
