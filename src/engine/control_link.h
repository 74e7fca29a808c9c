// The host side of the control program's exchanges, shared by the flash
// operations of the main window: command frames sent byte by byte, and the
// status wait on the program clock over the open COM port.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "protocol/status_wait.h"

namespace mirelle {

class CWriterDlg;

// Sends the frame with WriteByte, one byte at a time; false at the first
// byte that could not be written (WriteByte has reported it).
bool SendControlFrame(CWriterDlg& dlg, const std::vector<std::uint8_t>& frame);

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
ControlWait WaitControlStatus(CWriterDlg& dlg, const protocol::WallSeconds& since, unsigned limit_seconds,
                              std::uint8_t last = 0,
                              std::function<bool(unsigned before, unsigned after)> after_read = {},
                              std::function<bool(std::uint8_t)> keeps_waiting = {});

// True when the link is gone (see ControlWait::link_lost).
bool ControlLinkLost();

}  // namespace mirelle
