#include "platform/folder_lock.h"

#include <map>
#include <mutex>

namespace mirelle::sys {
namespace {

// How many locks of this process hold each folder; only the first takes the
// system's lock and only the last gives it back.
std::mutex& HeldMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, int>& Held() {
    static std::map<std::string, int> held;
    return held;
}

std::string KeyOf(const std::string& dir) {
    std::string key = dir.empty() ? std::string(".") : dir;
    while (key.size() > 1 && (key.back() == '/' || key.back() == '\\')) key.pop_back();
    return key;
}

}  // namespace

FolderLock::FolderLock(const std::string& dir) {
    bool in_use = false;
    std::string error;
    Acquire(dir, true, in_use, error);
}

std::unique_ptr<FolderLock> FolderLock::Take(const std::string& dir, bool& in_use, std::string& error) {
    auto lock = std::make_unique<FolderLock>(Key{});
    if (!lock->Acquire(dir, false, in_use, error)) return nullptr;
    return lock;
}

std::unique_ptr<FolderLock> FolderLock::TakeFile(const std::string& path, bool& in_use, std::string& error) {
    auto lock = std::make_unique<FolderLock>(Key{});
    lock->file_ = true;
    if (!lock->Acquire(path, false, in_use, error)) return nullptr;
    return lock;
}

bool FolderLock::Acquire(const std::string& dir, bool wait, bool& in_use, std::string& error) {
    in_use = false;
    error.clear();
    const std::string key = KeyOf(dir);
    std::lock_guard guard(HeldMutex());
    auto& held = Held();
    if (auto it = held.find(key); it != held.end()) {
        ++it->second;
        key_ = key;
        return true;
    }
    if (!AcquireSystemLock(key, wait, in_use, error)) return false;
    held[key] = 1;
    key_ = key;
    return true;
}

FolderLock::~FolderLock() {
    if (key_.empty()) return;
    std::lock_guard guard(HeldMutex());
    auto& held = Held();
    auto it = held.find(key_);
    if (it != held.end() && --it->second > 0) return;
    if (it != held.end()) held.erase(it);
    ReleaseSystemLock();
}

}  // namespace mirelle::sys
