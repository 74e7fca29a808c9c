#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/folder_lock.h"

namespace mirelle::sys {

bool FolderLock::AcquireSystemLock(const std::string& dir, bool wait, bool& in_use, std::string& error) {
    // Close-on-exec: a program started from here must not keep the folder.
    const int fd = file_ ? ::open(dir.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666)
                         : ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int got;
    do got = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
    while (got != 0 && errno == EINTR && wait);
    if (got != 0) {
        in_use = errno == EWOULDBLOCK;
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FolderLock::ReleaseSystemLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    fd_ = -1;
}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace mirelle::sys
