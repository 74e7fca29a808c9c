// The optional diagnostics of the program folder: the timing log
// TIMETEST.TXT, written only while that file exists, and the switch file
// CRCTEST.TXT, which makes now and then a received block fail its CRC test.
// The pure pieces below build what the log holds.
#pragma once

#include <string>

#include "platform/clock.h"

namespace mirelle::engine {

inline constexpr const char* kTimingLogFile = "TIMETEST.TXT";
inline constexpr const char* kCrcTestFile = "CRCTEST.TXT";

// The key of an operation code: 0 DOWNLOAD, 1 ERACE (spelled so in every log
// there is), 2 BLANK, 3 PROGRAM, 4 READ, 5 COPY, 6 AUTO; "" for other codes.
std::string TimingKey(unsigned operation);

// "YYYYMMDD - TARGET": one section per day and target.
std::string TimingSection(const LocalTime& day, const std::string& target);

// The time from `start` to `end` as "seconds.milliseconds" ("%d.%03d").
std::string TimingValue(const LocalTime& start, const LocalTime& end);

}  // namespace mirelle::engine
