#include "cli/cli_texts.h"

#include <algorithm>
#include <cstdio>

#include "protocol/read_block.h"

namespace mirelle::cli {

std::string SummaryLine(const Summary& s) {
    std::string line = s.verb + " " + std::to_string(s.bytes) + (s.bytes == 1 ? " byte" : " bytes");
    if (s.first && s.last) line += " at " + protocol::Word0x(*s.first) + "-" + protocol::Word0x(*s.last);
    if (!s.into.empty()) line += " into " + s.into;
    char time[32];
    std::snprintf(time, sizeof time, " in %.1f s", s.seconds);
    line += time;
    std::vector<std::string> details = s.details;
    // A rate over less than a tenth of a second says nothing.
    if (s.seconds >= 0.1 && s.bytes > 0)
        details.push_back(std::to_string(static_cast<long long>(static_cast<double>(s.bytes) / s.seconds)) + " bytes/s");
    for (std::size_t i = 0; i < details.size(); ++i) line += (i == 0 ? " (" : ", ") + details[i];
    if (!details.empty()) line += ")";
    return line;
}

std::string ProgressLine(const std::string& step, int percent, bool bar) {
    constexpr int kWidth = 30;
    percent = std::clamp(percent, 0, 100);
    std::string line = step.empty() ? "" : step + " ";
    if (bar) {
        const int filled = percent * kWidth / 100;
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] ";
    }
    return line + std::to_string(percent) + "%";
}

std::string SingleSpaced(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string FirstBytesText(const std::string& bytes) {
    if (bytes.empty()) return "no bytes";
    const std::size_t n = std::min<std::size_t>(bytes.size(), 16);
    std::string hex, text;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", b);
        hex += (i ? " " : "") + std::string(pair);
        text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    }
    return hex + " (\"" + text + "\")";
}

std::string BootSilenceHint(const std::string& device, std::uint32_t baud) {
    return "the boot ROM did not answer on " + device + " at " + std::to_string(baud) +
           " baud: check that the board is in boot mode (reset it into the boot ROM), the wiring (TX to RX, RX to TX, "
           "GND), the port (-p), and the rate (--clock names the board's clock)";
}

RateChoice ChooseWorkingRate(const std::string& target, const std::vector<std::string>& clocks,
                             const std::vector<std::optional<std::uint32_t>>& work_rates, int current,
                             bool clock_given, std::uint32_t wanted) {
    RateChoice choice;
    auto rate_at = [&](std::size_t i) { return i < work_rates.size() ? work_rates[i] : std::nullopt; };
    auto listed = [&] {
        std::string list;
        for (std::size_t i = 0; i < clocks.size(); ++i) {
            const auto rate = rate_at(i);
            if (!rate) continue;
            list += (list.empty() ? "" : ", ") + std::to_string(*rate) + " (" + clocks[i] + ")";
        }
        return list.empty() ? std::string("no rate") : list;
    };
    if (current >= 0 && rate_at(static_cast<std::size_t>(current)) == wanted) {
        choice.index = current;
        return choice;
    }
    if (clock_given && current >= 0 && static_cast<std::size_t>(current) < clocks.size()) {
        choice.error = "the clock " + clocks[static_cast<std::size_t>(current)] + " of " + target + " works at " +
                       (rate_at(static_cast<std::size_t>(current)) ? std::to_string(*rate_at(static_cast<std::size_t>(current)))
                                                                   : std::string("no rate")) +
                       " baud, not " + std::to_string(wanted);
        return choice;
    }
    for (std::size_t i = 0; i < clocks.size(); ++i)
        if (rate_at(i) == wanted) {
            choice.index = static_cast<int>(i);
            return choice;
        }
    choice.error = target + " works at " + listed() + " baud, not " + std::to_string(wanted);
    return choice;
}

PortChoice ChooseOnlyPort(const std::vector<std::string>& devices) {
    PortChoice choice;
    if (devices.size() == 1) {
        choice.device = devices.front();
        choice.note = "using " + choice.device + ", the only serial device (-p names another)";
    } else if (devices.size() > 1) {
        choice.error = "no port given and no COM port set, and there are " + std::to_string(devices.size()) +
                       " serial devices: ";
        for (std::size_t i = 0; i < devices.size(); ++i) choice.error += (i ? ", " : "") + devices[i];
        choice.error += "; name one with -p";
    }
    return choice;
}

}  // namespace mirelle::cli
