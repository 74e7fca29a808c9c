#include <windows.h>

#include <algorithm>

#include "platform/folder_lock.h"
#include "platform/win32/wide_text.h"

namespace mirelle::sys {

bool FolderLock::AcquireSystemLock(const std::string& dir, bool wait, bool& in_use, std::string& error) {
    // A named mutex of the session, named after the folder (a mutex name may
    // not hold a backslash). A mutex left by a program that ended is taken
    // over (WAIT_ABANDONED).
    std::wstring name = L"Local\\mirelle-folder-";
    const std::size_t prefix = name.size();
    name += Widen(dir);
    std::replace(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(), L'\\', L'/');
    HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (h == nullptr) {
        error = "cannot create the folder's lock (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    const DWORD got = ::WaitForSingleObject(h, wait ? INFINITE : 0);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
        in_use = got == WAIT_TIMEOUT;
        error = in_use ? "in use" : "cannot wait for the folder's lock";
        ::CloseHandle(h);
        return false;
    }
    handle_ = h;
    return true;
}

void FolderLock::ReleaseSystemLock() {
    if (handle_ == nullptr) return;
    ::ReleaseMutex(static_cast<HANDLE>(handle_));
    ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

// Windows has no SIGPIPE: a write to a closed pipe fails on its own.
void IgnoreBrokenPipe() {}

}  // namespace mirelle::sys
