// The console's control events stand for the signals that end the
// unattended run on Linux: Ctrl+C and Ctrl+Break for SIGINT, closing the
// console window, logging off and shutting down for SIGHUP. The handler runs
// on a thread of its own and only records the event; the running operation
// notices it at its next port wait or block. A child of a gang run is also
// stopped through the event its parent hands down (platform/win32/stop_event.h),
// as SIGTERM stops it on Linux.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "platform/interrupt.h"
#include "platform/system.h"
#include "platform/win32/stop_event.h"

namespace mirelle::sys {

namespace {

constexpr int kSigHup = 1;  // the number Linux gives the hang-up, which <csignal> lacks here
constexpr int kSigTerm = 15;
constexpr int kSigBreak = 21;

std::atomic<int> g_signal{0};
// Set when the guard ends, that is when the run has closed its port and
// written its log. Windows ends the process as soon as the handler of a
// close event returns, so that handler waits for it (within the few seconds
// the system grants).
HANDLE g_run_ended = nullptr;
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            g_signal = SIGINT;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            g_signal = kSigHup;
            if (g_run_ended) ::WaitForSingleObject(g_run_ended, kCloseGraceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

// The stop event handed down by the parent, or nullptr. Read once, and taken
// out of the environment so that programs this one starts do not see it.
HANDLE ReadStopEvent() {
    const std::string text = GetEnv(kStopEventVariable);
    if (text.empty()) return nullptr;
    UnsetEnv(kStopEventVariable);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != 0 || value == 0) return nullptr;
    const HANDLE h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
    // A value that is no handle here (an environment copied from elsewhere) is left alone.
    return ::WaitForSingleObject(h, 0) == WAIT_FAILED ? nullptr : h;
}

HANDLE InheritedStopEvent() {
    static const HANDLE event = ReadStopEvent();
    return event;
}

}  // namespace

struct InterruptGuard::Saved {
    std::thread stop_watch;
};

InterruptGuard::InterruptGuard() : saved_(std::make_unique<Saved>()) {
    g_signal = 0;
    // One event for the process, made ready again for each run.
    if (g_run_ended == nullptr) g_run_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else ::ResetEvent(g_run_ended);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (const HANDLE stop = InheritedStopEvent(); stop && g_run_ended) {
        saved_->stop_watch = std::thread([stop] {
            const HANDLE events[2] = {stop, g_run_ended};
            if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) g_signal = kSigTerm;
        });
    }
}

InterruptGuard::~InterruptGuard() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    // A close handler still waiting returns now, and the process ends; so
    // does the watch on the stop event.
    if (g_run_ended) ::SetEvent(g_run_ended);
    if (saved_->stop_watch.joinable()) saved_->stop_watch.join();
}

int InterruptSignal() { return g_signal; }

void SetInterruptSignal(int signal) { g_signal = signal; }

std::string SignalName(int signal) {
    switch (signal) {
        case kSigHup: return "SIGHUP";
        case SIGINT: return "SIGINT";
        case kSigTerm: return "SIGTERM";
        case kSigBreak: return "SIGBREAK";
        default: return "SIG?";
    }
}

}  // namespace mirelle::sys
