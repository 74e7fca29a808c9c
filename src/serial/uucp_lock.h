// The UUCP lock file that Linux serial programs (terminal programs, modem
// and GPS daemons) share: a file LCK..NAME in /run/lock or /var/lock holding
// the owner's process id as ten characters and a line end. flock and
// TIOCEXCL only bind programs that use them; the lock file binds the others,
// root included.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace mirelle::serial {

// The folders searched for lock files, in order: /run/lock, /var/lock.
const std::vector<std::string>& DefaultLockDirs();

// The lock file's name part for a device: "LCK.." and the device's path below
// /dev with '/' turned into '_' (ttyUSB0, pts_3), after symbolic links are
// resolved, so every name of one device shares one lock.
std::string UucpLockName(const std::string& device);

// The process id a lock file's text names: ten-character ASCII (the common
// form) or a binary int of four bytes (the old one); 0 when it names none.
pid_t ParseLockPid(const std::string& text);

// The live process, other than this one, whose lock file in the first of
// `dirs` that exists holds `device`, with the file's path in `lock_path`;
// 0 when none does.
pid_t LockHolder(const std::string& device, std::string& lock_path,
                 const std::vector<std::string>& dirs = DefaultLockDirs());

class UucpLock {
public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;

    // Takes the lock of `device` in the first of `dirs` that exists. False
    // when a live process (this one included) holds it; a lock whose owner
    // has gone, or that names no process, is removed and taken. When no
    // folder exists or none lets us create the file, nothing can be honoured
    // and true is returned without a lock.
    bool Acquire(const std::string& device, const std::vector<std::string>& dirs = DefaultLockDirs());
    // Removes the file when it still names this process.
    void Release();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace mirelle::serial
