// What mirelle-cli shows of a session: each step's name with its progress in
// per cent, drawn in place with a bar on a terminal, a line per tenth
// otherwise, JSON events with --json, nothing with --quiet. Within a step the
// share shown never goes back, and nothing is shown before a step has a
// range. Everything but JSON goes to standard error. The notices of a failure
// are kept for the caller, who prints each that its result does not say
// already; the board-reset prompt (--reset-prompt) waits for Enter on
// standard input; Yes/No questions are answered No, and nothing ever waits
// for a button press.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/events.h"

namespace mirelle::cli {

enum class ProgressStyle { Quiet, Bar, Lines, Json };

class CliEvents final : public engine::Events {
public:
    CliEvents(ProgressStyle style, std::FILE* err, std::FILE* out) : style_(style), err_(err), out_(out) {}
    ~CliEvents() override { EndBarLine(); }

    // Ends a drawn bar's line so that other output starts on its own line.
    void EndBarLine();
    // The last step or status text shown.
    const std::string& LastStatus() const { return last_status_; }
    // The session's warnings, in order: printed after the run, so that they
    // do not break a progress bar's line.
    const std::vector<std::string>& Warnings() const { return warnings_; }
    // The notices of the run ("[caption] text"), in order (not with --json,
    // which shows them as events at once).
    const std::vector<std::string>& Notices() const { return notices_; }
    // Whether the control program was downloaded during the run.
    bool WasDownloaded() const { return downloaded_; }

    bool OpenProgress(int mode, const std::string& caption) override;
    void CloseProgress() override;
    bool HasProgress() const override { return open_; }
    void StepBegins(const std::string& text) override { StatusText(text); }
    void StatusText(const std::string& text) override;
    void ProgressRange(int lower, int upper, int step, int position) override;
    void ProgressPosition(int position) override;
    void ProgressStep() override;
    void Cancelled(const std::string& text, bool acknowledge) override;
    bool Ask(engine::Question question, const std::string& text, const std::string& caption) override;
    void Notify(const engine::Notice& notice) override;
    void Warning(const std::string& text) override { warnings_.push_back(text); }
    void Downloaded() override { downloaded_ = true; }

private:
    // Prints a message with its caption (a JSON event with --json).
    void Message(const std::string& caption, const std::string& text);
    void ShowProgress();

    ProgressStyle style_;
    std::FILE* err_;
    std::FILE* out_;
    bool open_ = false;
    // The bar as a progress control keeps it: range, step and position.
    int lower_ = 0, upper_ = 100, step_ = 1, position_ = 0;
    bool ranged_ = false;  // the step has set a range: its progress is shown
    int shown_percent_ = -1;  // the share shown for the step so far
    std::string last_status_;
    std::string last_bar_;
    bool bar_on_line_ = false;
    bool downloaded_ = false;
    std::vector<std::string> warnings_;
    std::vector<std::string> notices_;
};

}  // namespace mirelle::cli
