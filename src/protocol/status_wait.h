// The status wait of the control program's commands: read single bytes
// until one arrives that is neither 0x00 (nothing arrived) nor '0' (busy),
// or until more whole seconds than the limit have passed. Seconds are whole
// seconds of the clock, so the elapsed count steps at second boundaries; the
// time-out test comes before any look at the last byte, so a status that
// comes with the last read of an expired wait still counts as a time-out.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace mirelle::protocol {

// Whole seconds since a moment of a clock; safe across the tick counter's wrap.
class WallSeconds {
public:
    explicit WallSeconds(Clock& clock);
    unsigned Elapsed() const;

private:
    Clock& clock_;
    std::uint32_t start_tick_;
};

enum class WaitEnd {
    kStatus,    // a byte that ends the wait arrived in time
    kTimedOut,  // more than the limit passed
    kStopped,   // the caller's check after a read asked to stop
};

struct WaitOutcome {
    WaitEnd end = WaitEnd::kStatus;
    std::uint8_t status = 0;  // the last byte read
};

struct StatusWaitSteps {
    // Reads one byte within the port's short time-outs; 0 when none came.
    std::function<std::uint8_t()> read;
    // Called after every read with the elapsed seconds before and after it;
    // true stops the wait (a cancel, a lost link). May be empty.
    std::function<bool(unsigned before, unsigned after)> after_read;
    // Which bytes keep the wait going; empty: 0x00 and '0'.
    std::function<bool(std::uint8_t)> keeps_waiting;
};

// Waits on the clock of `since` for at most `limit_seconds`, starting from
// `last` (0x00 for a fresh wait, so at least one byte is read).
WaitOutcome WaitForStatus(const WallSeconds& since, unsigned limit_seconds, std::uint8_t last,
                          const StatusWaitSteps& steps);

}  // namespace mirelle::protocol
