// Interruption of the unattended run by SIGINT, SIGTERM or SIGHUP. The
// handlers only record the signal; the running operation notices it at its
// next port wait or block and ends, so the port is closed in order and the
// result log tells that the run did not finish.
#pragma once

#include <memory>

namespace mirelle::sys {

// Installs the recording handlers (without SA_RESTART, so a blocked read
// returns early). The previous handlers come back with the guard's end.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// The signal that asked the run to stop, or 0.
int InterruptSignal();
// Records `signal` as if it had arrived (tests), or clears the record with 0.
void SetInterruptSignal(int signal);

}  // namespace mirelle::sys
