#include <windows.h>

#include "platform/clock.h"

namespace mirelle {

// The system's millisecond tick counter, which wraps after 2^32 ms.
std::uint32_t RealClock::TickMs() { return ::GetTickCount(); }

LocalTime RealClock::Now() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    LocalTime lt;
    lt.year = st.wYear;
    lt.month = st.wMonth;
    lt.day = st.wDay;
    lt.hour = st.wHour;
    lt.minute = st.wMinute;
    lt.second = st.wSecond;
    lt.millisecond = st.wMilliseconds;
    return lt;
}

}  // namespace mirelle
