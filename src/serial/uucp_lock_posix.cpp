#include "serial/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace mirelle::serial {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadSmallFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n < 0) return false;
    out.assign(buf, static_cast<std::size_t>(n));
    return true;
}

// A process that exists, whether or not we may signal it.
bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

const std::vector<std::string>& DefaultLockDirs() {
    static const std::vector<std::string> dirs = {"/run/lock", "/var/lock"};
    return dirs;
}

std::string UucpLockName(const std::string& device) {
    std::string path = device;
    if (char* real = ::realpath(device.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    const std::string kDev = "/dev/";
    std::string name;
    if (path.compare(0, kDev.size(), kDev) == 0) {
        name = path.substr(kDev.size());
    } else {
        const std::size_t slash = path.find_last_of('/');
        name = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

pid_t ParseLockPid(const std::string& text) {
    if (text.size() == sizeof(std::int32_t)) {
        std::int32_t binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        // Four ASCII characters ("123\n") are read as text below.
        if (text.find_first_not_of(" 0123456789\n") != std::string::npos) return binary > 0 ? binary : 0;
    }
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return 0;
    long pid = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        pid = pid * 10 + (text[i] - '0');
        if (pid > INT_MAX) return 0;
    }
    const std::string rest = text.substr(i);
    if (digits == 0 || rest.find_first_not_of(" \r\n") != std::string::npos) return 0;
    return static_cast<pid_t>(pid);
}

pid_t LockHolder(const std::string& device, std::string& lock_path, const std::vector<std::string>& dirs) {
    for (const std::string& d : dirs) {
        if (!IsDirectory(d)) continue;
        lock_path = d + "/" + UucpLockName(device);
        std::string text;
        if (!ReadSmallFile(lock_path, text)) return 0;
        const pid_t owner = ParseLockPid(text);
        return owner > 0 && owner != ::getpid() && ProcessAlive(owner) ? owner : 0;
    }
    return 0;
}

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, std::string())) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::exchange(other.path_, std::string());
    }
    return *this;
}

bool UucpLock::Acquire(const std::string& device, const std::vector<std::string>& dirs) {
    Release();
    std::string dir;
    for (const std::string& d : dirs) {
        if (IsDirectory(d)) {
            dir = d;
            break;
        }
    }
    if (dir.empty()) return true;
    const std::string lock = dir + "/" + UucpLockName(device);
    const pid_t self = ::getpid();
    char line[32];
    std::snprintf(line, sizeof line, "%10d\n", static_cast<int>(self));

    // The text is written to a file of our own first and linked to the lock's
    // name, so another program never reads a lock without its process id.
    const std::string temp = dir + "/LTMP." + std::to_string(self);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        // A folder we may not write: honour a lock that is there, take none.
        std::string text;
        if (ReadSmallFile(lock, text)) {
            const pid_t owner = ParseLockPid(text);
            if (owner > 0 && ProcessAlive(owner)) return false;
        }
        return true;
    }
    const bool written = WriteAll(fd, line);
    ::close(fd);
    bool taken = false;
    bool refused = !written;
    bool unsupported = false;
    // Two rounds: the second follows the removal of a stale lock.
    for (int round = 0; round < 2 && !taken && !refused; ++round) {
        if (::link(temp.c_str(), lock.c_str()) == 0) {
            taken = true;
            break;
        }
        if (errno != EEXIST) {
            unsupported = true;  // a folder without links: nothing to honour
            break;
        }
        std::string text;
        if (!ReadSmallFile(lock, text)) {
            // Gone meanwhile (its owner released it): try again.
            if (errno == ENOENT) continue;
            refused = true;
            break;
        }
        const pid_t owner = ParseLockPid(text);
        if (owner > 0 && ProcessAlive(owner)) {
            refused = true;
            break;
        }
        ::unlink(lock.c_str());  // a dead owner's lock, or one naming nobody
    }
    ::unlink(temp.c_str());
    if (taken) path_ = lock;
    return taken || (unsupported && !refused);
}

void UucpLock::Release() {
    if (path_.empty()) return;
    std::string text;
    if (ReadSmallFile(path_, text) && ParseLockPid(text) == ::getpid()) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace mirelle::serial
