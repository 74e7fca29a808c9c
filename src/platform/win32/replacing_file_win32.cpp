// Windows: the temporary file is a C runtime file opened by its wide name,
// and MoveFileExW puts it in the target's place.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "platform/replacing_file.h"
#include "platform/win32/wide_text.h"

namespace mirelle {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
    const DWORD a = ::GetFileAttributesW(sys::Widen(target_).c_str());
    // What could not be opened for writing under its own name is refused
    // here too: a folder, a device, or a read-only file.
    if (a != INVALID_FILE_ATTRIBUTES &&
        (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) != 0) {
        error_ = Error::kOpen;
        return;
    }
    const std::string stem = FolderOf(target_) + "/." + NameOf(target_) + ".part";
    for (int n = 0; n < 100 && fd_ < 0; ++n) {
        temporary_ = stem + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(n);
        fd_ = ::_wopen(sys::Widen(temporary_).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        temporary_.clear();
        error_ = Error::kOpen;
    }
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Fail(int error_number) {
    error_ = error_number == ENOSPC ? Error::kDiskFull : Error::kWrite;
    Discard();
}

bool ReplacingFile::Write(const std::string& bytes) {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const unsigned ask = left > INT_MAX ? INT_MAX : static_cast<unsigned>(left);
        const int n = ::_write(fd_, bytes.data() + done, ask);
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
    // A volume may find it full only when the data goes to disk.
    if (::_commit(fd_) != 0) {
        Fail(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::_close(fd) != 0) {
        Fail(errno);
        return false;
    }
    if (!::MoveFileExW(sys::Widen(temporary_).c_str(), sys::Widen(target_).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail(::GetLastError() == ERROR_DISK_FULL ? ENOSPC : EIO);
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::DeleteFileW(sys::Widen(temporary_).c_str());
        temporary_.clear();
    }
}

}  // namespace mirelle
