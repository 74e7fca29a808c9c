#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "platform/file.h"

namespace mirelle::sys {

FilePtr OpenFile(const std::string& path, const char* mode) { return FilePtr(std::fopen(path.c_str(), mode)); }

FilePtr OpenRegularFile(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer for ever; the
    // type is then checked on what was opened, so nothing can swap it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return FilePtr(file);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (ok && exists) ::fchmod(fd, st.st_mode & 07777);
    else if (ok) ::fchmod(fd, 0644);
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && std::rename(name.data(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(name.data());
    return ok;
}

namespace {

std::int64_t Nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

bool StampOf(const struct stat& st, FileStamp& out) {
    if (!S_ISREG(st.st_mode)) return false;
    out = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
           static_cast<std::uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
    return true;
}

}  // namespace

bool StampOfFile(const std::string& path, FileStamp& out) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && StampOf(st, out);
}

bool StampOfOpenFile(std::FILE* file, FileStamp& out) {
    struct stat st {};
    return ::fstat(::fileno(file), &st) == 0 && StampOf(st, out);
}

std::int64_t FileClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

}  // namespace mirelle::sys
