// Time as the program sees it: a millisecond tick counter, sleeping, and the
// local date and time. Every wait of the program goes through a Clock, so the
// tests can run the protocol's long time-outs in virtual time.
#pragma once

#include <cstdint>

namespace mirelle {

// Local date and time with milliseconds.
struct LocalTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps after 2^32 ms like a tick counter.
    virtual std::uint32_t TickMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
    virtual LocalTime Now() = 0;
};

// The operating system's clock.
class RealClock final : public Clock {
public:
    std::uint32_t TickMs() override;
    void SleepMs(std::uint32_t ms) override;
    LocalTime Now() override;
};

// A clock for tests: time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(LocalTime start = {2026, 1, 1, 12, 0, 0, 0});
    std::uint32_t TickMs() override { return static_cast<std::uint32_t>(elapsed_ms_); }
    void SleepMs(std::uint32_t ms) override { elapsed_ms_ += ms; }
    LocalTime Now() override;
    void Advance(std::uint64_t ms) { elapsed_ms_ += ms; }
    std::uint64_t ElapsedMs() const { return elapsed_ms_; }

private:
    LocalTime start_;
    std::uint64_t elapsed_ms_ = 0;
};

// The clock the program uses. It is the real clock unless a test installs
// another one; the installed clock must outlive its use.
Clock& ProgramClock();
void SetProgramClock(Clock* clock);  // nullptr restores the real clock

}  // namespace mirelle
