#include "platform/interrupt.h"

#include <csignal>
#include <cstring>

namespace mirelle::sys {

namespace {

volatile std::sig_atomic_t g_signal = 0;

void Record(int signal) { g_signal = signal; }

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

struct InterruptGuard::Saved {
    struct sigaction previous[3];
};

InterruptGuard::InterruptGuard() : saved_(std::make_unique<Saved>()) {
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = Record;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved_->previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_->previous[i], nullptr);
}

int InterruptSignal() { return g_signal; }

void SetInterruptSignal(int signal) { g_signal = signal; }

std::string SignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return std::string("SIG") + (name ? name : "?");
}

}  // namespace mirelle::sys
