#include "platform/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace mirelle {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes the temporary files of earlier writes of `stem` whose process is
// gone (killed before it could discard them): ".NAME.part<pid>-<n>".
void RemoveStaleParts(const std::string& folder, const std::string& stem_name) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, stem_name.size(), stem_name) != 0) continue;
        const std::string rest = name.substr(stem_name.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || dash + 1 == rest.size()) continue;
        if (rest.find_first_not_of("0123456789-") != std::string::npos || rest.find('-', dash + 1) != std::string::npos)
            continue;
        const long pid = std::strtol(rest.c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    // What could not be opened for writing under its own name is refused
    // here too, as it always was: a folder, or a file the user may not write.
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target_.c_str(), W_OK) != 0)) {
        error_ = Error::kOpen;
        return;
    }
    const std::string stem = FolderOf(target_) + "/." + NameOf(target_) + ".part";
    RemoveStaleParts(FolderOf(target_), "." + NameOf(target_) + ".part");
    for (int n = 0; n < 100 && fd_ < 0; ++n) {
        temporary_ = stem + std::to_string(::getpid()) + "-" + std::to_string(n);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        temporary_.clear();
        error_ = Error::kOpen;
        return;
    }
    if (exists) ::fchmod(fd_, existing.st_mode & 07777);
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Fail(int error_number) {
    error_ = error_number == ENOSPC || error_number == EDQUOT ? Error::kDiskFull : Error::kWrite;
    Discard();
}

bool ReplacingFile::Write(const std::string& bytes) {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplacingFile::Commit() {
    if (fd_ < 0) return false;
    // A file system may find it full only when the data goes to disk.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        Fail(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        temporary_.clear();
        Fail(e);
        return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        temporary_.clear();
        Fail(e);
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace mirelle
