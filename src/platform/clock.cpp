#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/interrupt.h"

namespace mirelle {

std::uint32_t RealClock::TickMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void RealClock::SleepMs(std::uint32_t ms) {
    // In slices, so a recorded interruption (SIGINT, SIGTERM, SIGHUP during
    // the unattended run) cuts a long pause short and the run can end.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (sys::InterruptSignal() == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
    }
}

LocalTime RealClock::Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.millisecond = static_cast<int>(
        duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return lt;
}

VirtualClock::VirtualClock(LocalTime start) : start_(start) {}

LocalTime VirtualClock::Now() {
    // Calendar arithmetic through timegm so that virtual time crosses
    // midnight, month ends and leap days correctly.
    std::tm tm{};
    tm.tm_year = start_.year - 1900;
    tm.tm_mon = start_.month - 1;
    tm.tm_mday = start_.day;
    tm.tm_hour = start_.hour;
    tm.tm_min = start_.minute;
    tm.tm_sec = start_.second;
    const std::uint64_t total_ms = static_cast<std::uint64_t>(start_.millisecond) + elapsed_ms_;
    std::time_t t = timegm(&tm) + static_cast<std::time_t>(total_ms / 1000);
    std::tm out{};
    gmtime_r(&t, &out);
    LocalTime lt;
    lt.year = out.tm_year + 1900;
    lt.month = out.tm_mon + 1;
    lt.day = out.tm_mday;
    lt.hour = out.tm_hour;
    lt.minute = out.tm_min;
    lt.second = out.tm_sec;
    lt.millisecond = static_cast<int>(total_ms % 1000);
    return lt;
}

namespace {
RealClock g_real_clock;
Clock* g_clock = &g_real_clock;
}  // namespace

Clock& ProgramClock() { return *g_clock; }
void SetProgramClock(Clock* clock) { g_clock = clock ? clock : &g_real_clock; }

}  // namespace mirelle
