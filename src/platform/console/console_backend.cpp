#include "platform/console/console_backend.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

#include "platform/sound.h"

namespace mirelle::ui {

namespace {

// A caption or label as the user reads it: mnemonic marks removed, "&&" is "&".
std::string Readable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

const char* IconWord(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Stop: return "error";
        case MessageIcon::Exclamation: return "warning";
        case MessageIcon::Question: return "question";
        case MessageIcon::Information: return "note";
        case MessageIcon::None: break;
    }
    return "";
}

const char* AnswerWord(int answer) {
    switch (answer) {
        case kIdOk: return "OK";
        case kIdCancel: return "Cancel";
        case kIdYes: return "Yes";
        case kIdNo: return "No";
    }
    return "?";
}

}  // namespace

ConsoleBackend::ConsoleBackend()
    : ConsoleBackend(std::cerr, &std::cin, ::isatty(STDERR_FILENO) == 1, ::isatty(STDIN_FILENO) == 1) {}

ConsoleBackend::ConsoleBackend(std::ostream& err, std::istream* in, bool err_is_terminal, bool in_is_terminal)
    : err_(err), in_(in), err_terminal_(err_is_terminal), in_terminal_(in_is_terminal && in != nullptr) {}

ConsoleBackend::~ConsoleBackend() {
    EndBarLine();
    for (Dialog* d : live_) d->SetObserver(nullptr);
}

void ConsoleBackend::PlayWave(const std::string& path) { sys::PlayWaveFile(path); }
void ConsoleBackend::StopSound() { sys::StopWave(); }
void ConsoleBackend::Beep() { sys::SimpleBeep(); }

bool ConsoleBackend::CreateWindow(Dialog& dialog, Dialog*, bool) {
    live_.push_back(&dialog);
    dialog.SetObserver(this);
    return true;
}

void ConsoleBackend::DestroyWindow(Dialog& dialog) {
    std::erase(live_, &dialog);
    dialog.SetObserver(nullptr);
    EndBarLine();
    last_bar_.clear();
    last_tenth_ = -1;
    last_status_.clear();
}

void ConsoleBackend::RunModal(Dialog& dialog) {
    if (dialog.Ended()) return;
    // Nobody can work a window on the console: it ends as if cancelled.
    EndBarLine();
    err_ << "mirelle: the window \"" << Readable(dialog.GetWindowText())
         << "\" needs a display; closed without input\n";
    dialog.EndDialog(kIdCancel);
}

void ConsoleBackend::EndBarLine() {
    if (bar_on_line_) {
        err_ << '\n';
        bar_on_line_ = false;
        last_bar_.clear();
    }
    err_.flush();
}

int ConsoleBackend::DefaultAnswer(const MessageBoxRequest& request) {
    if (request.buttons != MessageButtons::YesNo) {
        last_question_.clear();
        same_question_yes_ = 0;
        return kIdOk;
    }
    if (request.text != last_question_) {
        last_question_ = request.text;
        same_question_yes_ = 0;
    }
    if (same_question_yes_ >= kDefaultYesLimit) return kIdNo;
    ++same_question_yes_;
    return kIdYes;
}

int ConsoleBackend::AskOnTerminal(const MessageBoxRequest& request, int fallback) {
    const bool yes_no = request.buttons == MessageButtons::YesNo;
    for (;;) {
        err_ << (yes_no ? "  [y]es / [n]o" : "  [o]k / [c]ancel") << " (Enter: " << AnswerWord(fallback) << ")? ";
        err_.flush();
        std::string line;
        if (!std::getline(*in_, line)) {
            err_ << '\n';
            return fallback;
        }
        line = Trim(line);
        if (line.empty()) return fallback;
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
        if (yes_no && c == 'y') return kIdYes;
        if (yes_no && c == 'n') return kIdNo;
        if (!yes_no && c == 'o') return kIdOk;
        if (!yes_no && c == 'c') return kIdCancel;
    }
}

int ConsoleBackend::MessageBox(const MessageBoxRequest& request) {
    EndBarLine();
    std::string head = request.caption.empty() ? "mirelle" : request.caption;
    const char* word = IconWord(request.icon);
    err_ << '[' << head << ']';
    if (*word) err_ << ' ' << word << ':';
    // Each line of the text on its own line, indented under the caption.
    std::string text = request.text;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        std::size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        err_ << (first ? " " : "  ") << line << '\n';
        first = false;
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    if (request.buttons == MessageButtons::Ok) {
        err_.flush();
        return kIdOk;
    }
    int fallback = DefaultAnswer(request);
    int answer = in_terminal_ ? AskOnTerminal(request, fallback) : fallback;
    if (!in_terminal_) err_ << "  -> " << AnswerWord(answer) << " (no terminal to ask)\n";
    // A typed answer starts the count of default answers afresh.
    if (in_terminal_ && answer != fallback) same_question_yes_ = 0;
    err_.flush();
    return answer;
}

std::optional<std::string> ConsoleBackend::FileDialog(const FileDialogRequest&) {
    EndBarLine();
    err_ << "mirelle: no file can be chosen without a display\n";
    return std::nullopt;
}

bool ConsoleBackend::OpenWithViewer(const std::string& path) {
    EndBarLine();
    err_ << "mirelle: open " << path << " in a browser to read it\n";
    return true;
}

void ConsoleBackend::ShowProgress(const ControlState& bar) {
    const int lower = std::min(bar.range_lower, bar.range_upper);
    const int upper = std::max(bar.range_lower, bar.range_upper);
    const long long span = static_cast<long long>(upper) - lower;
    const long long done = static_cast<long long>(bar.position) - lower;
    const std::string count = std::to_string(bar.position) + " / " + std::to_string(bar.range_upper);
    if (err_terminal_) {
        constexpr int kWidth = 30;
        int filled = span > 0 ? static_cast<int>(done * kWidth / span) : 0;
        std::string drawn = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kWidth - filled), '.') + "]  " + count;
        if (drawn == last_bar_) return;
        // A shorter line is blanked out over the old one.
        err_ << '\r' << drawn;
        if (drawn.size() < last_bar_.size()) err_ << std::string(last_bar_.size() - drawn.size(), ' ');
        err_.flush();
        last_bar_ = drawn;
        bar_on_line_ = true;
    } else {
        int tenth = span > 0 ? static_cast<int>(done * 10 / span) : 0;
        if (tenth == last_tenth_) return;
        last_tenth_ = tenth;
        err_ << count << '\n';
        err_.flush();
    }
}

void ConsoleBackend::OnDialogChanged(Dialog& dialog, const Change& change) {
    if (&dialog == MainWindow()) return;  // the main window is never shown in this mode
    const ControlState* c = dialog.FindControl(change.control);
    if (c == nullptr) return;
    if (change.kind == ChangeKind::Text && c->tpl.kind == ControlKind::Label) {
        std::string text = Trim(Readable(c->text));
        if (text.empty() || text == last_status_) return;
        last_status_ = text;
        EndBarLine();
        err_ << text << '\n';
        err_.flush();
        last_tenth_ = -1;
    } else if (change.kind == ChangeKind::Progress && c->tpl.kind == ControlKind::Progress) {
        ShowProgress(*c);
    }
}

}  // namespace mirelle::ui
