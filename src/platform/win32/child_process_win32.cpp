// Windows: CreateProcessW with the child's standard output on an anonymous
// pipe. An anonymous pipe cannot be waited on together with others, so each
// child has a reader thread that blocks on ReadFile and hands what it reads
// to the waiting parent. The child runs in a process group of its own, the
// one a Ctrl+Break can be sent to; a Ctrl+Break needs a console that parent
// and child share, so the child also inherits an event whose handle it finds
// in MIRELLE_STOP_EVENT, which its InterruptGuard takes as SIGTERM.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/child_process.h"
#include "platform/system.h"
#include "platform/win32/stop_event.h"
#include "platform/win32/wide_text.h"

namespace mirelle::sys {

namespace {

// The exit status of a process ended by Ctrl+C or Ctrl+Break without a
// handler of its own; a child ended by TerminateProcess gets it too.
constexpr DWORD kStatusControlCExit = 0xC000013A;

// How long a stopped child may take to end its run in order before it is
// terminated: a block of the flash and the port's time-outs fit well in it.
constexpr DWORD kStopGraceMs = 30000;

// One lock and one signal for the output of every child: the parent waits
// for any of them.
std::mutex g_lock;
std::condition_variable g_arrived;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&& other) noexcept {
        Reset();
        h_ = std::exchange(other.h_, nullptr);
        return *this;
    }
    HANDLE get() const { return h_; }
    HANDLE* out() { return &h_; }
    void Reset() {
        if (h_) ::CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

}  // namespace

struct ChildProcess::State {
    Handle process;
    DWORD pid = 0;
    Handle stop_event;  // inherited by the child
    bool stopped = false;
    Handle read_end;
    std::thread reader;
    // Under g_lock:
    std::string output;
    bool output_open = false;
    std::optional<ChildExit> exit;

    void Read() {
        char buf[4096];
        DWORD n = 0;
        while (::ReadFile(read_end.get(), buf, sizeof buf, &n, nullptr) && n > 0) {
            std::lock_guard lock(g_lock);
            output.append(buf, n);
            g_arrived.notify_all();
        }
        std::lock_guard lock(g_lock);
        output_open = false;
        g_arrived.notify_all();
    }
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    if (state_->process.get() && !state_->exit) {
        Stop();
        Wait();
    }
    // The child has ended, so its end of the pipe is closed and the reader
    // sees the end of the output.
    if (state_->reader.joinable()) state_->reader.join();
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle read_end, write_end;
    if (!::CreatePipe(read_end.out(), write_end.out(), &inherit, 0)) return false;
    // Only the child's end is inherited.
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    Handle null(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr));
    Handle stop_event(::CreateEventW(&inherit, TRUE, FALSE, nullptr));
    if (!null.get() || !stop_event.get()) return false;

    // The exact handles to hand down, so that a child started at the same
    // time by another thread does not inherit this one's pipe.
    HANDLE handed[3] = {write_end.get(), null.get(), stop_event.get()};
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> attribute_buffer(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_buffer.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
    const bool listed = ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed,
                                                    sizeof handed, nullptr, nullptr);

    STARTUPINFOEXW info{};
    info.StartupInfo.cb = sizeof info;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = null.get();
    info.StartupInfo.hStdOutput = write_end.get();
    info.StartupInfo.hStdError = null.get();
    info.lpAttributeList = listed ? attributes : nullptr;

    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::wstring line = Widen(WindowsCommandLine(words));
    PROCESS_INFORMATION pi{};
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
    // The child copies the environment as it starts; this process's own
    // value comes back at once.
    const std::string previous = GetEnv(kStopEventVariable);
    SetEnv(kStopEventVariable, std::to_string(reinterpret_cast<std::uintptr_t>(stop_event.get())));
    std::vector<std::pair<std::string, std::string>> restore;
    for (const std::string& word : env) {
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = word.substr(0, eq);
        restore.emplace_back(name, GetEnv(name.c_str()));
        SetEnv(name.c_str(), word.substr(eq + 1));
    }
    const BOOL ok = ::CreateProcessW(Widen(program).c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                     nullptr, &info.StartupInfo, &pi);
    if (previous.empty()) UnsetEnv(kStopEventVariable);
    else SetEnv(kStopEventVariable, previous);
    for (auto it = restore.rbegin(); it != restore.rend(); ++it) {
        if (it->second.empty()) UnsetEnv(it->first.c_str());
        else SetEnv(it->first.c_str(), it->second);
    }
    ::DeleteProcThreadAttributeList(attributes);
    if (!ok) return false;
    ::CloseHandle(pi.hThread);
    state_->process = Handle(pi.hProcess);
    state_->pid = pi.dwProcessId;
    state_->read_end = std::move(read_end);
    state_->stop_event = std::move(stop_event);
    state_->output_open = true;
    // write_end closes here: the child holds the only write end, and its end
    // ends the output.
    state_->reader = std::thread([s = state_.get()] { s->Read(); });
    return true;
}

bool ChildProcess::OutputOpen() const {
    std::lock_guard lock(g_lock);
    return state_->output_open;
}

std::string ChildProcess::TakeOutput() {
    std::lock_guard lock(g_lock);
    return std::exchange(state_->output, {});
}

void ChildProcess::Stop(int) {
    if (!state_->process.get() || state_->exit) return;
    if (::WaitForSingleObject(state_->process.get(), 0) == WAIT_OBJECT_0) return;
    state_->stopped = true;
    // The child's InterruptGuard sees the event; a program without one may
    // still take the break (its console handler, or the default end).
    ::SetEvent(state_->stop_event.get());
    ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, state_->pid);
}

ChildExit ChildProcess::Wait() {
    if (state_->exit) return *state_->exit;
    ChildExit e;
    if (state_->process.get()) {
        // A stopped child that does not end in time is terminated.
        if (state_->stopped && ::WaitForSingleObject(state_->process.get(), kStopGraceMs) != WAIT_OBJECT_0)
            ::TerminateProcess(state_->process.get(), kStatusControlCExit);
        ::WaitForSingleObject(state_->process.get(), INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(state_->process.get(), &code);
        e.started = true;
        e.signalled = code == kStatusControlCExit;
        e.code = e.signalled ? 0 : static_cast<int>(code);
    }
    state_->exit = e;
    return e;
}

bool ReadChildren(std::span<ChildProcess* const> children, int timeout_ms) {
    std::unique_lock lock(g_lock);
    auto open = [&] {
        for (ChildProcess* c : children)
            if (c->state_->output_open) return true;
        return false;
    };
    auto ready = [&] {
        for (ChildProcess* c : children)
            if (!c->state_->output.empty()) return true;
        return !open();
    };
    if (!open()) return false;
    g_arrived.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
    return true;
}

std::string NullDevice() { return "NUL"; }

std::vector<std::string> ShellWords(const std::string& command) {
    std::string shell = GetEnv("ComSpec");
    if (shell.empty()) shell = "C:\\Windows\\System32\\cmd.exe";
    return {shell, "/c", command};
}

}  // namespace mirelle::sys
