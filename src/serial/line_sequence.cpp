#include "serial/line_sequence.h"

#include <cctype>

namespace mirelle::serial {

namespace {

// A decimal number of at most five digits within [low, kMaxStepMs].
bool ParseMs(const std::string& digits, std::uint32_t low, std::uint32_t& out) {
    if (digits.empty() || digits.size() > 5) return false;
    std::uint32_t v = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (v < low || v > kMaxStepMs) return false;
    out = v;
    return true;
}

bool ParseWord(const std::string& word, LineStep& step, std::string& why) {
    std::size_t i = 0;
    const bool inverted = word[0] == '!';
    if (inverted) ++i;
    if (i >= word.size()) {
        why = "a line letter must follow \"!\"";
        return false;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
    const std::string rest = word.substr(i + 1);
    switch (letter) {
        case 'D':
        case 'R':
            if (rest != "0" && rest != "1") {
                why = std::string("the line takes 0 or 1, as ") + letter + "1";
                return false;
            }
            step.kind = letter == 'D' ? LineStep::Kind::Dtr : LineStep::Kind::Rts;
            step.on = rest == "1";
            step.inverted = inverted;
            return true;
        case 'B':
        case 'W':
            if (inverted) {
                why = "only D and R steps can be inverted";
                return false;
            }
            step.kind = letter == 'B' ? LineStep::Kind::Break : LineStep::Kind::Wait;
            if (!ParseMs(rest, letter == 'B' ? 1 : 0, step.ms)) {
                why = std::string("the time is whole milliseconds, ") + (letter == 'B' ? "1" : "0") + " to " +
                      std::to_string(kMaxStepMs);
                return false;
            }
            return true;
        default:
            why = "steps are D, R, B and W";
            return false;
    }
}

}  // namespace

bool ParseLineSequence(const std::string& text, LineSequence& out, std::string& error) {
    out.clear();
    error.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto separator = [&](char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); };
        if (separator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !separator(text[end])) ++end;
        const std::string word = text.substr(i, end - i);
        LineStep step;
        std::string why;
        if (!ParseWord(word, step, why)) {
            out.clear();
            error = "bad step \"" + word + "\" in the sequence \"" + text + "\": " + why;
            return false;
        }
        out.push_back(step);
        i = end;
    }
    return true;
}

std::string FormatLineSequence(const LineSequence& steps) {
    std::string text;
    for (const LineStep& s : steps) {
        if (!text.empty()) text += ' ';
        switch (s.kind) {
            case LineStep::Kind::Dtr:
            case LineStep::Kind::Rts:
                if (s.inverted) text += '!';
                text += s.kind == LineStep::Kind::Dtr ? 'D' : 'R';
                text += s.on ? '1' : '0';
                break;
            case LineStep::Kind::Break:
                text += 'B' + std::to_string(s.ms);
                break;
            case LineStep::Kind::Wait:
                text += 'W' + std::to_string(s.ms);
                break;
        }
    }
    return text;
}

bool NeedsLineControl(const LineSequence& steps) {
    for (const LineStep& s : steps)
        if (s.kind != LineStep::Kind::Wait) return true;
    return false;
}

bool RunLineSequence(Port& port, const LineSequence& steps, Clock& clock) {
    for (const LineStep& s : steps) {
        switch (s.kind) {
            case LineStep::Kind::Dtr:
                if (!port.SetDtr(s.Asserts())) return false;
                break;
            case LineStep::Kind::Rts:
                if (!port.SetRts(s.Asserts())) return false;
                break;
            case LineStep::Kind::Break:
                if (!port.SetBreak(true)) return false;
                clock.SleepMs(s.ms);
                // The line must not stay in break, whatever came of the wait.
                if (!port.SetBreak(false)) return false;
                break;
            case LineStep::Kind::Wait:
                clock.SleepMs(s.ms);
                break;
        }
    }
    return true;
}

}  // namespace mirelle::serial
