#include <windows.h>
#include <io.h>

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/win32/wide_text.h"

namespace mirelle::sys {

FilePtr OpenFile(const std::string& path, const char* mode) {
    if (path.empty()) return nullptr;
    return FilePtr(::_wfopen(Widen(path).c_str(), Widen(mode).c_str()));
}

FilePtr OpenRegularFile(const std::string& path) {
    // A named pipe or a device (CON, COM1) is no file; opening one could wait.
    if (!IsRegularFile(path)) return nullptr;
    return OpenFile(path, "rb");
}

bool IsRegularFile(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool RemoveFile(const std::string& path) { return !path.empty() && ::DeleteFileW(Widen(path).c_str()) != 0; }

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const std::wstring target = Widen(path);
    // A fresh name beside the file: the first of a few numbered ones that
    // does not exist yet.
    std::wstring tmp;
    HANDLE h = INVALID_HANDLE_VALUE;
    const DWORD seed = ::GetCurrentProcessId() ^ ::GetTickCount();
    for (DWORD i = 0; i < 100 && h == INVALID_HANDLE_VALUE; ++i) {
        tmp = target + L"." + std::to_wstring((seed + i) % 1000000u) + L".tmp";
        h = ::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(h, bytes.data() + done, ask, &n, nullptr) || n == 0) ok = false;
        else done += n;
    }
    if (ok && !::FlushFileBuffers(h)) ok = false;
    if (!::CloseHandle(h)) ok = false;
    if (ok && !::MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false;
    if (!ok) ::DeleteFileW(tmp.c_str());
    return ok;
}

namespace {

// FILETIME counts 100 ns steps from 1601; the stamps count nanoseconds from 1970.
std::int64_t Nanoseconds(std::int64_t ticks) { return (ticks - 116'444'736'000'000'000LL) * 100; }
std::int64_t Nanoseconds(const FILETIME& t) {
    return Nanoseconds(static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime));
}

bool StampOfHandle(HANDLE h, FileStamp& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (h == INVALID_HANDLE_VALUE || ::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    const std::int64_t written = Nanoseconds(info.ftLastWriteTime);
    // The change time moves with every change of the file, its times included.
    const std::int64_t changed = ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)
                                     ? Nanoseconds(basic.ChangeTime.QuadPart)
                                     : written;
    out = {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
           (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, written, changed};
    return true;
}

}  // namespace

bool StampOfFile(const std::string& path, FileStamp& out) {
    if (!IsRegularFile(path)) return false;
    HANDLE h = ::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool ok = StampOfHandle(h, out);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return ok;
}

bool StampOfOpenFile(std::FILE* file, FileStamp& out) {
    return StampOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))), out);
}

std::int64_t FileClockNow() {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    return Nanoseconds(now);
}

}  // namespace mirelle::sys
