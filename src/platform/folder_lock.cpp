#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace mirelle::sys {

std::unique_ptr<FolderLock> FolderLock::Take(const std::string& dir, bool& in_use, std::string& error) {
    in_use = false;
    error.clear();
    // Close-on-exec: a program started from here must not keep the folder.
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        in_use = errno == EWOULDBLOCK;
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FolderLock>(Key{}, fd);
}

FolderLock::~FolderLock() { ::close(fd_); }

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace mirelle::sys
