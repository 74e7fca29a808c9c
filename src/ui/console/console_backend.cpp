#include "ui/console/console_backend.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "platform/sound.h"
#include "platform/terminal_bar.h"
#include "ui/property_sheet.h"

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

// The folder a save dialog starts in: the given folder, or the folder of a
// given file (Copy passes the program file), else the current folder.
std::string StartFolder(const std::string& initial) {
    std::error_code ec;
    std::filesystem::path start = initial.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(initial);
    if (!std::filesystem::is_directory(start, ec)) start = start.parent_path();
    if (start.empty() || !std::filesystem::is_directory(start, ec)) start = std::filesystem::current_path(ec);
    return start.string();
}

// The patterns of a "description|pattern|...||" filter, as "*.hex, *.*".
std::string FilterPatterns(const std::string& filter) {
    std::string out;
    std::size_t at = 0;
    for (int field = 0; at < filter.size(); ++field) {
        const std::size_t bar = filter.find('|', at);
        const std::string part = filter.substr(at, bar == std::string::npos ? std::string::npos : bar - at);
        if (field % 2 == 1 && !part.empty()) out += (out.empty() ? "" : ", ") + part;
        if (bar == std::string::npos) break;
        at = bar + 1;
    }
    return out.empty() ? "*.*" : out;
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
    EndBarLine();
    if (auto* sheet = dynamic_cast<PropertySheet*>(&dialog)) {
        RunSheet(*sheet);
        return;
    }
    // Nobody can work a window on the console: it ends as if cancelled.
    err_ << "mirelle: the window \"" << Readable(dialog.GetWindowText())
         << "\" needs a display; closed without input\n";
    dialog.EndDialog(kIdCancel);
}

void ConsoleBackend::PrintPage(const PropertySheet& sheet) {
    err_ << '[' << Readable(sheet.GetWindowText()) << ']';
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        const bool shown = i == sheet.GetActiveIndex();
        err_ << (shown ? "  <" : "  ") << Readable(sheet.GetPage(i)->Title()) << (shown ? ">" : "");
    }
    err_ << '\n';
    const PropertyPage* page = sheet.GetActivePage();
    if (page == nullptr) return;
    int n = 0;
    for (const ControlState& c : page->Controls()) {
        if (!c.visible) continue;
        const std::string text = Trim(Readable(c.text));
        std::string line;
        switch (c.tpl.kind) {
            case ControlKind::Label:
            case ControlKind::GroupBox:
                if (!text.empty()) err_ << "  " << text << '\n';
                continue;
            case ControlKind::CheckBox: line = std::string(c.check ? "[x] " : "[ ] ") + text; break;
            case ControlKind::RadioButton: line = std::string(c.check ? "(*) " : "( ) ") + text; break;
            case ControlKind::Button: line = "<" + text + ">"; break;
            case ControlKind::Edit: line = "\"" + c.text + "\""; break;
            case ControlKind::DropList:
            case ControlKind::DropDown: {
                line = "\"" + c.text + "\" of";
                for (std::size_t k = 0; k < c.items.size(); ++k) line += " " + std::to_string(k + 1) + "=" + c.items[k];
                break;
            }
            default: continue;
        }
        ++n;
        err_ << "  " << n << ") " << line << (c.enabled ? "" : "  (disabled)") << '\n';
    }
}

// The control behind number `n` of the listing, or null.
static const ControlState* NumberedControl(const PropertyPage& page, int n) {
    for (const ControlState& c : page.Controls()) {
        if (!c.visible) continue;
        switch (c.tpl.kind) {
            case ControlKind::CheckBox:
            case ControlKind::RadioButton:
            case ControlKind::Button:
            case ControlKind::Edit:
            case ControlKind::DropList:
            case ControlKind::DropDown:
                if (--n == 0) return &c;
                break;
            default: break;
        }
    }
    return nullptr;
}

void ConsoleBackend::RunSheet(PropertySheet& sheet) {
    while (!sheet.Ended()) {
        PrintPage(sheet);
        std::string line;
        if (in_terminal_) {
            err_ << "  number: press or choose, number=text: enter a text, t: next page, "
                    "o: OK, a: Apply, c: Cancel? ";
            err_.flush();
        }
        if (!in_terminal_ || !std::getline(*in_, line)) {
            err_ << "  -> Cancel (" << (in_terminal_ ? "end of input" : "no terminal to ask") << ")\n";
            err_.flush();
            sheet.Deliver(InputEvent::ClickOn(kIdCancel));
            if (!sheet.Ended()) sheet.EndDialog(kIdCancel);
            return;
        }
        line = Trim(line);
        if (line.empty()) continue;
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
        if (c == 'o' || c == 'c' || c == 'a') {
            sheet.Deliver(InputEvent::ClickOn(c == 'o' ? kIdOk : c == 'c' ? kIdCancel : PropertySheet::kIdApply));
            continue;
        }
        if (c == 't') {
            InputEvent e = InputEvent::Key(kVkTab);
            e.ctrl = true;
            sheet.Deliver(e);
            continue;
        }
        PropertyPage* page = sheet.GetActivePage();
        const std::size_t eq = line.find('=');
        const int n = std::atoi(line.substr(0, eq).c_str());
        const ControlState* control = page != nullptr ? NumberedControl(*page, n) : nullptr;
        if (control == nullptr) continue;
        const int id = control->tpl.id;
        if (eq == std::string::npos) {
            if (control->HasItems()) continue;  // a list needs its entry
            page->Deliver(InputEvent::ClickOn(id));
            continue;
        }
        const std::string value = line.substr(eq + 1);
        InputEvent focus;
        focus.kind = InputKind::FocusChanged;
        focus.control = id;
        page->Deliver(focus);
        const int entry = std::atoi(value.c_str());
        if (control->tpl.kind == ControlKind::DropList || (control->HasItems() && entry >= 1 &&
                                                            std::to_string(entry) == value)) {
            page->Deliver(InputEvent::SelectionIn(id, entry - 1));
        } else {
            page->Deliver(InputEvent::TextEditedIn(id, value));
        }
        // The focus leaves the control, as it does when the user goes on.
        for (const ControlState& other : page->Controls()) {
            if (other.tpl.id == id || !other.TakesFocus()) continue;
            focus.control = other.tpl.id;
            page->Deliver(focus);
            break;
        }
    }
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

std::optional<std::string> ConsoleBackend::FileDialog(const FileDialogRequest& request) {
    EndBarLine();
    // Only a new file can be named safely by typing; choosing a file to read
    // needs the browsing of a real dialog.
    if (!request.save || !in_terminal_) {
        err_ << "mirelle: no file can be chosen without a display\n";
        return std::nullopt;
    }
    const std::string folder = StartFolder(request.initial_dir);
    err_ << "Save as (" << FilterPatterns(request.filter) << ") in " << folder << "\n  file name (Enter: cancel)? ";
    err_.flush();
    std::string name;
    if (!std::getline(*in_, name) || (name = Trim(name)).empty()) {
        err_ << "  -> cancelled\n";
        return std::nullopt;
    }
    std::filesystem::path path(name);
    if (path.is_relative()) path = std::filesystem::path(folder) / path;
    // As the save dialog does: a name without an extension gets the default one.
    if (!request.default_extension.empty() && !path.has_extension()) path += "." + request.default_extension;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        err_ << "  -> " << path.string() << " is a folder; cancelled\n";
        return std::nullopt;
    }
    if ((request.flags & kOverwritePrompt) && std::filesystem::exists(path, ec)) {
        err_ << "  " << path.string() << " already exists. Replace it?\n";
        if (AskOnTerminal({request.owner, "", "", MessageButtons::YesNo, MessageIcon::Question}, kIdNo) != kIdYes) {
            err_ << "  -> cancelled\n";
            return std::nullopt;
        }
    }
    // "File must exist" does not apply to a file that is to be made.
    return path.string();
}

bool ConsoleBackend::OpenWithViewer(const std::string& path) {
    EndBarLine();
    err_ << "mirelle: open " << path << " in a browser to read it\n";
    return true;
}

void ConsoleBackend::ShowProgress(const ControlState& bar) {
    const sys::BarProgress progress = sys::ProgressInRange(bar.range_lower, bar.range_upper, bar.position);
    // The count shows the position and the upper end of the range as they are.
    const std::string count = sys::BarCount(bar.position, bar.range_upper);
    if (err_terminal_) {
        const std::string drawn = sys::BarLine(progress, count);
        const std::string redraw = sys::BarRedraw(last_bar_, drawn);
        if (redraw.empty()) return;
        err_ << redraw;
        err_.flush();
        last_bar_ = drawn;
        bar_on_line_ = true;
    } else {
        const int tenth = sys::BarTenth(progress);
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
        // A coloured label (a state word) in its colour on a terminal; a
        // large one in bold.
        if (err_terminal_ && (c->text_color != kNoColor || (c->tpl.style & kLargeText))) {
            if (c->tpl.style & kLargeText) err_ << "\x1b[1m";
            const Color rgb = c->text_color;
            if (rgb != kNoColor)
                err_ << "\x1b[38;2;" << ((rgb >> 16) & 0xFF) << ';' << ((rgb >> 8) & 0xFF) << ';' << (rgb & 0xFF) << 'm';
            text += "\x1b[0m";
        }
        err_ << text << '\n';
        err_.flush();
        last_tenth_ = -1;
    } else if (change.kind == ChangeKind::Progress && c->tpl.kind == ControlKind::Progress) {
        ShowProgress(*c);
    }
}

}  // namespace mirelle::ui
