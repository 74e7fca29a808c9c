// Files by their UTF-8 path names, the same on every platform: opening,
// removing, and replacing a file whole without leaving half a file behind.
#pragma once

#include <cstdint>
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

// Opens `path` for reading ("rb") when it is a regular file; empty for
// anything else (a folder, a FIFO, a device), without ever waiting for a
// writer.
FilePtr OpenRegularFile(const std::string& path);

// True for a regular file (not a folder, a device or a missing name).
bool IsRegularFile(const std::string& path);

bool RemoveFile(const std::string& path);

// Reads a regular file whole, byte for byte, into `out` (opened by
// OpenRegularFile, so anything else reads as nothing and never waits).
// False, with `out` empty, when it does not open or a read fails.
bool ReadWholeFile(const std::string& path, std::string& out);

// Appends what is left of an open file to `out`; on a read error `out` is
// emptied and the result is false.
bool ReadRestOfFile(std::FILE* file, std::string& out);

// Creates or replaces `path` with `bytes`. The bytes go to a new file beside
// it, which then takes its place, so an interrupted write never leaves a
// half-written file; an existing file's permissions are kept.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

// What identifies one version of a file on disk. A file replaced by a rename
// (as the profile writer does, and most editors) has a new identity; one
// rewritten in place has a new size or modification or change time.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;  // nanoseconds since 1970-01-01 UTC
    std::int64_t changed_ns = 0;   // the last change of the file or its status
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file, by name or open; false for anything else.
bool StampOfFile(const std::string& path, FileStamp& out);
bool StampOfOpenFile(std::FILE* file, FileStamp& out);

// Now, on the clock the file times are kept in (nanoseconds since 1970).
std::int64_t FileClockNow();

}  // namespace mirelle::sys
