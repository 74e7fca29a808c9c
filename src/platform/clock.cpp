#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/interrupt.h"

namespace mirelle {

void RealClock::SleepMs(std::uint32_t ms) {
    // In slices, so a recorded interruption (a signal or a console event
    // during the unattended run) cuts a long pause short and the run can end.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (sys::InterruptSignal() == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
    }
}

VirtualClock::VirtualClock(LocalTime start) : start_(start) {}

LocalTime VirtualClock::Now() {
    // Calendar arithmetic on whole days, so that virtual time crosses
    // midnight, month ends and leap days correctly on every platform.
    using namespace std::chrono;
    const sys_days start_day = year{start_.year} / month{static_cast<unsigned>(start_.month)} /
                               day{static_cast<unsigned>(start_.day)};
    const milliseconds since_start_of_day = hours{start_.hour} + minutes{start_.minute} + seconds{start_.second} +
                                            milliseconds{start_.millisecond} +
                                            milliseconds{static_cast<std::int64_t>(elapsed_ms_)};
    const sys_time<milliseconds> t = start_day + since_start_of_day;
    const sys_days d = floor<days>(t);
    const year_month_day ymd{d};
    const hh_mm_ss<milliseconds> tod{t - d};
    LocalTime lt;
    lt.year = static_cast<int>(ymd.year());
    lt.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    lt.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    lt.hour = static_cast<int>(tod.hours().count());
    lt.minute = static_cast<int>(tod.minutes().count());
    lt.second = static_cast<int>(tod.seconds().count());
    lt.millisecond = static_cast<int>(tod.subseconds().count());
    return lt;
}

namespace {
RealClock g_real_clock;
Clock* g_clock = &g_real_clock;
}  // namespace

Clock& ProgramClock() { return *g_clock; }
void SetProgramClock(Clock* clock) { g_clock = clock ? clock : &g_real_clock; }

}  // namespace mirelle
