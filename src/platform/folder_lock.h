// An exclusive lock on a folder among the programs of this machine, held for
// the lifetime of the object. Linux takes it on the folder itself (flock),
// Windows as a named mutex; nothing is created in the folder, and a program
// that dies leaves no lock behind.
//
// A process holds a folder once: a second lock it asks for on a folder it
// already holds is granted at once (the first one already keeps every other
// program out), so a run holding its program folder can still take the
// short lock around a log write in it.
#pragma once

#include <memory>
#include <string>

namespace mirelle::sys {

class FolderLock {
public:
    // Waits for the lock. Not having it (the folder cannot be opened) is not
    // an error: the work goes on without it.
    explicit FolderLock(const std::string& dir);

    // Takes the lock without waiting. Null when another program has it
    // (`in_use` set) or the folder cannot be opened (`error` says why).
    static std::unique_ptr<FolderLock> Take(const std::string& dir, bool& in_use, std::string& error);

    // The same lock on one file instead of a folder (created empty when
    // missing, so that it can be locked): for a result log that lies outside
    // any program folder, which two runs must not write at once.
    static std::unique_ptr<FolderLock> TakeFile(const std::string& path, bool& in_use, std::string& error);

    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    struct Key {};  // only Take makes an empty one

public:
    explicit FolderLock(Key) {}

private:
    // Takes or waits; false with `in_use` / `error` when not taken.
    bool Acquire(const std::string& dir, bool wait, bool& in_use, std::string& error);
    // The system's lock, per platform (posix/ and win32/ folder_lock_*.cpp).
    bool AcquireSystemLock(const std::string& dir, bool wait, bool& in_use, std::string& error);
    void ReleaseSystemLock();

    std::string key_;         // the folder as held in this process; empty when nothing is held
    void* handle_ = nullptr;  // Windows: the named mutex
    int fd_ = -1;             // Linux: the folder, locked with flock
    bool file_ = false;       // the key names a file, not a folder
};

// A reader of standard output or error that goes away must not kill the
// process between two steps: writes to it fail instead, and are ignored.
void IgnoreBrokenPipe();

}  // namespace mirelle::sys
