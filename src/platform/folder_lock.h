// An exclusive lock on a folder, held for the lifetime of the object. The
// lock is taken on the folder itself (flock), so nothing is created in it and
// a run that dies leaves no lock behind.
#pragma once

#include <memory>
#include <string>

namespace mirelle::sys {

class FolderLock {
public:
    // Takes the lock without waiting. Null when another holder has it
    // (`in_use` set) or the folder cannot be opened (`error` says why).
    static std::unique_ptr<FolderLock> Take(const std::string& dir, bool& in_use, std::string& error);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    struct Key {};  // only Take makes one

public:
    FolderLock(Key, int fd) : fd_(fd) {}

private:
    int fd_;
};

// A reader of standard output or error that goes away must not kill the
// process between two steps: writes to it fail instead, and are ignored.
void IgnoreBrokenPipe();

}  // namespace mirelle::sys
