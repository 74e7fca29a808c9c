#include "cli/cli_events.h"

#include <algorithm>

#include "cli/json_text.h"
#include "platform/terminal_bar.h"

namespace mirelle::cli {

namespace {

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A label's text as it shows: "&&" is one '&', a single '&' marks the next
// letter as a mnemonic and does not show.
std::string WithoutMnemonics(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') out += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
    }
    return out;
}

}  // namespace

void CliEvents::EndBarLine() {
    if (bar_on_line_) {
        std::fputc('\n', err_);
        bar_on_line_ = false;
        last_bar_.clear();
    }
    std::fflush(err_);
}

bool CliEvents::OpenProgress(int, const std::string&) {
    // A new display starts as a progress control does: 0 to 100, at 0.
    open_ = true;
    lower_ = 0;
    upper_ = 100;
    step_ = 1;
    position_ = 0;
    ShowProgress();
    return true;
}

void CliEvents::CloseProgress() {
    if (!open_) return;
    open_ = false;
    EndBarLine();
    last_tenth_ = -1;
}

void CliEvents::StatusText(const std::string& raw) {
    const std::string text = Trim(WithoutMnemonics(raw));
    if (text.empty() || text == last_status_) return;
    last_status_ = text;
    last_tenth_ = -1;
    if (style_ == ProgressStyle::Quiet) return;
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "step").Add("text", text);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
        return;
    }
    EndBarLine();
    std::fprintf(err_, "%s\n", text.c_str());
    std::fflush(err_);
}

void CliEvents::ProgressRange(int lower, int upper, int step, int position) {
    lower_ = lower;
    upper_ = upper;
    position_ = std::clamp(position_, std::min(lower, upper), std::max(lower, upper));
    ShowProgress();
    step_ = step;
    ProgressPosition(position);
}

void CliEvents::ProgressPosition(int position) {
    position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
    ShowProgress();
}

void CliEvents::ProgressStep() {
    long long next = static_cast<long long>(position_) + step_;
    // Stepping past the top starts again from the bottom, as a progress control does.
    if (next > upper_) next = lower_ + (next - upper_);
    if (next < lower_) next = lower_;
    if (next > upper_) next = upper_;
    position_ = static_cast<int>(next);
    ShowProgress();
}

void CliEvents::Cancelled(const std::string& text, bool) {
    // Nobody here can acknowledge it: the command ends at once.
    StatusText(text);
}

void CliEvents::Message(const std::string& caption, const std::string& text) {
    EndBarLine();
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "message").Add("caption", caption).Add("text", text);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
    } else {
        std::fprintf(err_, "[%s] %s\n", caption.c_str(), text.c_str());
    }
}

bool CliEvents::Ask(engine::Question question, const std::string& text, const std::string& caption) {
    Message(caption, text);
    if (question != engine::Question::kResetBoard) return false;
    // The board-reset prompt: the user presses Enter once the board is reset.
    std::fprintf(err_, "press Enter to go on: ");
    std::fflush(err_);
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
    return c != EOF;
}

void CliEvents::Notify(const engine::Notice& notice) { Message(notice.caption, notice.text); }

void CliEvents::ShowProgress() {
    if (style_ == ProgressStyle::Quiet) return;
    const sys::BarProgress progress = sys::ProgressInRange(lower_, upper_, position_);
    if (style_ == ProgressStyle::Bar) {
        const std::string drawn = sys::BarLine(progress, sys::BarCount(progress.done, progress.span));
        const std::string redraw = sys::BarRedraw(last_bar_, drawn);
        if (redraw.empty()) return;
        std::fputs(redraw.c_str(), err_);
        std::fflush(err_);
        last_bar_ = drawn;
        bar_on_line_ = true;
        return;
    }
    const int tenth = sys::BarTenth(progress);
    if (tenth == last_tenth_) return;
    last_tenth_ = tenth;
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "progress").Add("step", last_status_).Add("done", progress.done).Add("of", progress.span);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
    } else {
        std::fprintf(err_, "%s\n", sys::BarCount(progress.done, progress.span).c_str());
        std::fflush(err_);
    }
}

}  // namespace mirelle::cli
