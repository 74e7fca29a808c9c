// What a board's reset circuit makes of the adapter's lines: it watches DTR,
// RTS and the break condition and tells when the host has gone through the
// board's boot-entry sequence, as the reset and boot pins wired to those
// lines would. The line calls must come in the sequence's order; each wait
// of the sequence must have lasted at least half its time (a host on a real
// clock overshoots, never undershoots by that much).
#pragma once

#include <cstdint>
#include <vector>

#include "serial/line_sequence.h"

namespace mirelle::chipsim {

class BootEntryWatch {
public:
    explicit BootEntryWatch(serial::LineSequence sequence = {});

    // Whether a sequence is set (without one the board has no reset wiring).
    bool Active() const { return !expected_.empty(); }

    // A line call by the host at `now_us` (kind Dtr, Rts or Break; `asserted`:
    // the port's line is on). True when it completes the sequence.
    bool LineCall(serial::LineStep::Kind kind, bool asserted, std::uint64_t now_us);

private:
    struct Call {
        serial::LineStep::Kind kind;
        bool asserted;
        std::uint64_t us;  // Expected: the least time since the call before; seen: when it came
    };
    std::vector<Call> expected_;
    std::vector<Call> seen_;  // the last calls, as many as the sequence has
};

}  // namespace mirelle::chipsim
