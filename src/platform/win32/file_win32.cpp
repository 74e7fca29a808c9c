#include <windows.h>

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

FolderLock::FolderLock(const std::string& folder) {
    // A named mutex of the session, named after the folder (a mutex name
    // may not hold a backslash). A mutex left by a program that ended is
    // taken over (WAIT_ABANDONED).
    std::wstring name = L"Local\\mirelle-folder-" + Widen(folder);
    std::replace(name.begin() + 6, name.end(), L'\\', L'/');
    HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (h == nullptr) return;
    const DWORD got = ::WaitForSingleObject(h, INFINITE);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
        ::CloseHandle(h);
        return;
    }
    handle_ = h;
}

FolderLock::~FolderLock() {
    if (handle_ == nullptr) return;
    ::ReleaseMutex(static_cast<HANDLE>(handle_));
    ::CloseHandle(static_cast<HANDLE>(handle_));
}

}  // namespace mirelle::sys
