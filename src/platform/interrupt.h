// Interruption of the unattended run by SIGINT, SIGTERM or SIGHUP on Linux,
// and by the console's events on Windows (Ctrl+C and Ctrl+Break count as
// SIGINT; closing the console, logging off and shutting down as SIGHUP). The
// handlers only record the signal; the running operation notices it at its
// next port wait or block and ends, so the port is closed in order and the
// result log tells that the run did not finish.
#pragma once

#include <memory>
#include <string>

namespace mirelle::sys {

// Installs the recording handlers (on Linux without SA_RESTART, so a blocked
// read returns early). The previous handlers come back with the guard's end.
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
// The signal's name as the result log gives it: "SIGTERM" for 15.
std::string SignalName(int signal);

}  // namespace mirelle::sys
