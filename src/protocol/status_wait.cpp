#include "protocol/status_wait.h"

#include "protocol/flash_commands.h"

namespace mirelle::protocol {

WallSeconds::WallSeconds(Clock& clock) : clock_(clock), start_tick_(clock.TickMs()) {}

unsigned WallSeconds::Elapsed() const {
    // The start's own second counts as second 0, as on a wall clock that
    // shows whole seconds.
    const std::uint64_t start = start_tick_;
    const std::uint64_t now = start + static_cast<std::uint32_t>(clock_.TickMs() - start_tick_);
    return static_cast<unsigned>(now / 1000 - start / 1000);
}

WaitOutcome WaitForStatus(const WallSeconds& since, unsigned limit_seconds, std::uint8_t last,
                          const StatusWaitSteps& steps) {
    auto keeps = [&](std::uint8_t b) { return steps.keeps_waiting ? steps.keeps_waiting(b) : KeepsWaiting(b); };
    unsigned elapsed = since.Elapsed();
    while (keeps(last) && elapsed <= limit_seconds) {
        const unsigned before = elapsed;
        last = steps.read();
        elapsed = since.Elapsed();
        if (steps.after_read && steps.after_read(before, elapsed)) return {WaitEnd::kStopped, last};
    }
    if (elapsed > limit_seconds) return {WaitEnd::kTimedOut, last};
    return {WaitEnd::kStatus, last};
}

}  // namespace mirelle::protocol
