#include "cli/cli_events.h"

#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/json_text.h"

namespace mirelle::cli {

namespace {

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
    // A new display starts as a progress control does: 0 to 100, at 0; it
    // shows nothing until a step gives it a range.
    open_ = true;
    lower_ = 0;
    upper_ = 100;
    step_ = 1;
    position_ = 0;
    ranged_ = false;
    return true;
}

void CliEvents::CloseProgress() {
    if (!open_) return;
    open_ = false;
    EndBarLine();
}

void CliEvents::StatusText(const std::string& raw) {
    const std::string text = SingleSpaced(WithoutMnemonics(raw));
    if (text.empty() || text == last_status_) return;
    last_status_ = text;
    ranged_ = false;
    shown_percent_ = -1;
    if (style_ == ProgressStyle::Quiet) return;
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "step").Add("text", text);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
        return;
    }
    EndBarLine();
    if (style_ == ProgressStyle::Bar) {
        // The step's line; its progress is drawn over it.
        std::fputs(text.c_str(), err_);
        last_bar_ = text;
        bar_on_line_ = true;
    } else {
        std::fprintf(err_, "%s\n", text.c_str());
    }
    std::fflush(err_);
}

void CliEvents::ProgressRange(int lower, int upper, int step, int position) {
    lower_ = lower;
    upper_ = upper;
    step_ = step;
    ranged_ = true;
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
    if (question != engine::Question::kResetBoard) {
        // Nobody answers here: No. The question is one of the run's notices.
        if (style_ == ProgressStyle::Json) Message(caption, text);
        else notices_.push_back("[" + caption + "] " + SingleSpaced(text) + " (answered No)");
        return false;
    }
    // The board-reset prompt: the user presses Enter once the board is reset.
    Message(caption, text);
    std::fprintf(err_, "press Enter to go on: ");
    std::fflush(err_);
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
    return c != EOF;
}

void CliEvents::Notify(const engine::Notice& notice) {
    if (style_ == ProgressStyle::Json) Message(notice.caption, notice.text);
    else notices_.push_back(notice.text);
}

void CliEvents::ShowProgress() {
    if (style_ == ProgressStyle::Quiet || !ranged_) return;
    const long long low = std::min(lower_, upper_);
    const long long span = static_cast<long long>(std::max(lower_, upper_)) - low;
    if (span <= 0) return;
    const int percent = static_cast<int>((position_ - low) * 100 / span);
    // Within a step the share only grows: a bar set back at the step's end
    // (the download's) is not shown running back.
    if (percent <= shown_percent_) return;
    if (style_ == ProgressStyle::Bar) {
        shown_percent_ = percent;
        const std::string drawn = ProgressLine(last_status_, percent, true);
        std::string redraw = "\r" + drawn;
        if (last_bar_.size() > drawn.size()) redraw += std::string(last_bar_.size() - drawn.size(), ' ');
        std::fputs(redraw.c_str(), err_);
        std::fflush(err_);
        last_bar_ = drawn;
        bar_on_line_ = true;
        return;
    }
    // Lines: one for each tenth reached, none for the start.
    if (percent / 10 <= std::max(shown_percent_, 0) / 10 && percent != 100) return;
    shown_percent_ = percent;
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "progress").Add("step", last_status_).Add("done", position_ - low).Add("of", span);
        o.Add("percent", percent);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
    } else {
        std::fprintf(err_, "%s\n", ProgressLine(last_status_, percent, false).c_str());
        std::fflush(err_);
    }
}

}  // namespace mirelle::cli
