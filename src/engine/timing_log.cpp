// The timing log and the CRC test switch of a session.
#include "engine/timing_log.h"

#include <cstdint>
#include <cstdio>

#include "engine/flash_session.h"
#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "engine/crt_random.h"

namespace mirelle::engine {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t SecondsOf(const LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

std::string TimingKey(unsigned operation) {
    static const char* const kKeys[] = {"DOWNLOAD", "ERACE", "BLANK", "PROGRAM", "READ", "COPY", "AUTO"};
    return operation < sizeof kKeys / sizeof kKeys[0] ? kKeys[operation] : "";
}

std::string TimingSection(const LocalTime& day, const std::string& target) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d%02d%02d", day.year, day.month, day.day);
    return std::string(date) + " - " + target;
}

std::string TimingValue(const LocalTime& start, const LocalTime& end) {
    std::int64_t seconds = SecondsOf(end) - SecondsOf(start);
    int millis = end.millisecond - start.millisecond;
    if (millis < 0) {
        seconds -= 1;
        millis += 1000;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%03d", static_cast<long long>(seconds), millis);
    return text;
}

void FlashSession::WriteTimingLog(unsigned operation) {
    m_tEnd = GetClock().Now();
    const std::string path = m_strModuleDir + kTimingLogFile;
    // The log is kept only while its file exists; the program never creates it.
    if (!sys::FileExists(path)) return;
    const std::string key = TimingKey(operation);
    if (key.empty()) return;
    // Several programs may write the log at once (a gang run); the profile
    // write replaces the file, so the lock is taken on the folder, which
    // stays the same file while the log is replaced. A failed write is
    // ignored: the log is a diagnostic only.
    const sys::FolderLock lock(m_strModuleDir);
    profile::WriteString(path, TimingSection(m_tEnd, m_strTarget), key, TimingValue(m_tStart, m_tEnd));
}

bool FlashSession::CrcFaultDue() {
    if (!sys::FileExists(m_strModuleDir + kCrcTestFile)) return false;
    return (crt::Rand() & 0x7F) == 0;
}

}  // namespace mirelle::engine
