#include "cli/progress_backend.h"

#include <algorithm>

#include "cli/json_text.h"

namespace mirelle::cli {

namespace {

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string WithoutMnemonics(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') out += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
    }
    return out;
}

}  // namespace

ProgressBackend::ProgressBackend(ProgressStyle style, std::FILE* err, std::FILE* out)
    : style_(style), err_(err), out_(out) {}

ProgressBackend::~ProgressBackend() {
    EndBarLine();
    for (ui::Dialog* d : live_) d->SetObserver(nullptr);
}

bool ProgressBackend::CreateWindow(ui::Dialog& dialog, ui::Dialog*, bool) {
    live_.push_back(&dialog);
    dialog.SetObserver(this);
    return true;
}

void ProgressBackend::DestroyWindow(ui::Dialog& dialog) {
    std::erase(live_, &dialog);
    dialog.SetObserver(nullptr);
    EndBarLine();
    last_tenth_ = -1;
}

void ProgressBackend::RunModal(ui::Dialog& dialog) {
    // Only the main window runs modally, and its start has ended it already.
    if (!dialog.Ended()) dialog.EndDialog(ui::kIdCancel);
}

void ProgressBackend::EndBarLine() {
    if (bar_on_line_) {
        std::fputc('\n', err_);
        bar_on_line_ = false;
        last_bar_.clear();
    }
    std::fflush(err_);
}

int ProgressBackend::MessageBox(const ui::MessageBoxRequest& request) {
    EndBarLine();
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "message").Add("caption", request.caption).Add("text", request.text);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
    } else {
        std::fprintf(err_, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    }
    if (request.buttons == ui::MessageButtons::YesNo) return ui::kIdNo;
    if (request.buttons == ui::MessageButtons::OkCancel) {
        // The board-reset prompt: the user presses Enter once the board is reset.
        std::fprintf(err_, "press Enter to go on: ");
        std::fflush(err_);
        int c = 0;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
        return c == EOF ? ui::kIdCancel : ui::kIdOk;
    }
    return ui::kIdOk;
}

std::optional<std::string> ProgressBackend::FileDialog(const ui::FileDialogRequest& request) {
    if (!request.save || save_path_.empty()) return std::nullopt;
    return save_path_;
}

void ProgressBackend::OnDialogChanged(ui::Dialog& dialog, const ui::Change& change) {
    if (&dialog == ui::MainWindow()) return;
    const ui::ControlState* c = dialog.FindControl(change.control);
    if (c == nullptr) return;
    if (change.kind == ui::ChangeKind::Text && c->tpl.kind == ui::ControlKind::Label) {
        const std::string text = Trim(WithoutMnemonics(c->text));
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
    } else if (change.kind == ui::ChangeKind::Progress && c->tpl.kind == ui::ControlKind::Progress) {
        ShowProgress(*c);
    }
}

void ProgressBackend::ShowProgress(const ui::ControlState& bar) {
    if (style_ == ProgressStyle::Quiet) return;
    const int lower = std::min(bar.range_lower, bar.range_upper);
    const int upper = std::max(bar.range_lower, bar.range_upper);
    const long long span = static_cast<long long>(upper) - lower;
    const long long done = std::clamp(static_cast<long long>(bar.position) - lower, 0LL, span);
    const int tenth = span > 0 ? static_cast<int>(done * 10 / span) : 0;
    if (style_ == ProgressStyle::Bar) {
        constexpr int kWidth = 30;
        const int filled = span > 0 ? static_cast<int>(done * kWidth / span) : 0;
        std::string drawn = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kWidth - filled), '.') + "]  " +
                            std::to_string(done) + " / " + std::to_string(span);
        if (drawn == last_bar_) return;
        std::fprintf(err_, "\r%s", drawn.c_str());
        if (drawn.size() < last_bar_.size()) std::fprintf(err_, "%*s", static_cast<int>(last_bar_.size() - drawn.size()), "");
        std::fflush(err_);
        last_bar_ = drawn;
        bar_on_line_ = true;
        return;
    }
    if (tenth == last_tenth_) return;
    last_tenth_ = tenth;
    if (style_ == ProgressStyle::Json) {
        JsonObject o;
        o.Add("event", "progress").Add("step", last_status_).Add("done", done).Add("of", span);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
    } else {
        std::fprintf(err_, "%lld / %lld\n", done, span);
        std::fflush(err_);
    }
}

}  // namespace mirelle::cli
