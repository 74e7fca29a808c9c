// The host side of the control program's exchanges, shared by the flash
// operations of a session: command frames, and the status wait on the
// session's clock over its open port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <span>
#include <vector>

#include "protocol/flash_commands.h"
#include "protocol/status_wait.h"

namespace mirelle::engine {

class FlashSession;

// The protocol family of the control program for the target (its traits).
protocol::TargetFamily FamilyOf(const std::string& target);

// Sends the frame in one write; false when it did not leave whole (the
// failure has been reported).
bool SendControlFrame(FlashSession& session, const std::vector<std::uint8_t>& frame);

struct ControlWait {
    protocol::WaitOutcome outcome;
    // The wait ended because the link is gone: a failed read has been
    // reported and the reporter closed the port, or the run was interrupted.
    // Reading on would only report the same failure again and again.
    bool link_lost = false;

    bool TimedOut() const { return outcome.end == protocol::WaitEnd::kTimedOut; }
    bool Stopped() const { return outcome.end == protocol::WaitEnd::kStopped; }
    std::uint8_t Status() const { return outcome.status; }
};

// The status wait with ReadByte. `after_read` may stop the wait (for
// example on a Cancel press); `keeps_waiting` replaces the rule of 0x00 and '0'.
ControlWait WaitControlStatus(FlashSession& session, const protocol::WallSeconds& since, unsigned limit_seconds,
                              std::uint8_t last = 0,
                              std::function<bool(unsigned before, unsigned after)> after_read = {},
                              std::function<bool(std::uint8_t)> keeps_waiting = {});

}  // namespace mirelle::engine
