// The text of a progress bar on a terminal: "[#########.....]  n / N" drawn
// again in place on one line; without a terminal, a plain "n / N" line for
// each tenth of the way. Text only: the callers write it where they show it.
#pragma once

#include <string>

namespace mirelle::sys {

// Where a bar stands: `done` of `span` steps.
struct BarProgress {
    long long done = 0;
    long long span = 0;
};

// A progress control's position within its range (given either way round),
// clamped to the range.
BarProgress ProgressInRange(int lower, int upper, int position);

constexpr int kBarWidth = 30;  // cells between the brackets

// "n / N".
std::string BarCount(long long n, long long of);

// The bar's line: `width` cells in brackets, the share done of the span
// filled with '#' and the rest '.', then two blanks and `count`. An empty
// span shows nothing done.
std::string BarLine(const BarProgress& progress, const std::string& count, int width = kBarWidth);

// What turns the line that shows `last` into one that shows `line`: a
// carriage return, the line, and blanks over the rest of a longer old one.
// Empty when the line would not change.
std::string BarRedraw(const std::string& last, const std::string& line);

// The tenths of the way done, 0 to 10 (0 for an empty span): plain output
// prints a line each time this changes.
int BarTenth(const BarProgress& progress);

}  // namespace mirelle::sys
