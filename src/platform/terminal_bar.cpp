#include "platform/terminal_bar.h"

#include <algorithm>

namespace mirelle::sys {

BarProgress ProgressInRange(int lower, int upper, int position) {
    const long long low = std::min(lower, upper);
    const long long span = static_cast<long long>(std::max(lower, upper)) - low;
    return {std::clamp(static_cast<long long>(position) - low, 0LL, span), span};
}

std::string BarCount(long long n, long long of) { return std::to_string(n) + " / " + std::to_string(of); }

std::string BarLine(const BarProgress& progress, const std::string& count, int width) {
    const long long done = std::clamp(progress.done, 0LL, std::max(progress.span, 0LL));
    const long long filled = progress.span > 0 ? done * width / progress.span : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "]  " + count;
}

std::string BarRedraw(const std::string& last, const std::string& line) {
    if (line == last) return "";
    return "\r" + line + std::string(last.size() > line.size() ? last.size() - line.size() : 0, ' ');
}

int BarTenth(const BarProgress& progress) {
    if (progress.span <= 0) return 0;
    return static_cast<int>(std::clamp(progress.done, 0LL, progress.span) * 10 / progress.span);
}

}  // namespace mirelle::sys
