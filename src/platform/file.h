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

// Opens `path` for reading ("rb") when it is a regular file; empty for
// anything else (a folder, a FIFO, a device), without ever waiting for a
// writer.
FilePtr OpenRegularFile(const std::string& path);

// True for a regular file (not a folder, a device or a missing name).
bool IsRegularFile(const std::string& path);

bool RemoveFile(const std::string& path);

// Creates or replaces `path` with `bytes`. The bytes go to a new file beside
// it, which then takes its place, so an interrupted write never leaves a
// half-written file; an existing file's permissions are kept.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

// Holds a lock that every program of this machine taking one on the same
// folder waits for, until it is destroyed. Not having the lock (the folder
// cannot be opened) is not an error: the work goes on without it.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    void* handle_ = nullptr;  // Windows: the named mutex
    int fd_ = -1;             // Linux: the folder, locked with flock
};

}  // namespace mirelle::sys
