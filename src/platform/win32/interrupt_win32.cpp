// The console's control events stand for the signals that end the
// unattended run on Linux: Ctrl+C and Ctrl+Break for SIGINT, closing the
// console window, logging off and shutting down for SIGHUP. The handler runs
// on a thread of its own and only records the event; the running operation
// notices it at its next port wait or block.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/interrupt.h"

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

}  // namespace

struct InterruptGuard::Saved {};

InterruptGuard::InterruptGuard() : saved_(std::make_unique<Saved>()) {
    g_signal = 0;
    // One event for the process, made ready again for each run.
    if (g_run_ended == nullptr) g_run_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else ::ResetEvent(g_run_ended);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    // A close handler still waiting returns now, and the process ends.
    if (g_run_ended) ::SetEvent(g_run_ended);
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
