// Gang programming: one child process of this program per port, so that a
// board that hangs cannot stall the others. Each child runs `program` on its
// port with --json and its own result log; the parent reads their events,
// shows one line per port, and ends with a summary table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_run.h"
#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "cli/port_names.h"
#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/system.h"
#include "platform/terminal.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

struct Board {
    std::string port;
    std::string log;
    std::unique_ptr<sys::ChildProcess> child = std::make_unique<sys::ChildProcess>();
    bool started = false;
    std::string pending;  // a partial line of its output
    std::string step;
    long long done = 0, of = 0;
    int status = -1;
    std::string text;
    double seconds = 0;
    long long bytes = 0;
    std::string serial;  // the value patched into the board (serialization)
    bool got_result = false;
    bool killed = false;  // ended by a signal that the gang did not send
};

std::string DefaultLogDir(const std::string& home) {
    const LocalTime t = RealClock().Now();
    char name[48];
    std::snprintf(name, sizeof name, "gang-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return home + name;
}

std::string ProgressLine(const Board& b) {
    char count[64] = "";
    if (b.of > 0) std::snprintf(count, sizeof count, "  %3lld%%", b.done * 100 / b.of);
    if (b.got_result) return b.port + "  " + exit_status::Word(b.status);
    return b.port + "  " + b.step + count;
}

void Spawn(Board& b, const Options& o, const std::string& home) {
    std::vector<std::string> args{"program", o.file, "--home", home, "--port", b.port, "--log", b.log, "--json"};
    if (o.target) args.insert(args.end(), {"--target", *o.target});
    if (o.clock) args.insert(args.end(), {"--clock", *o.clock});
    if (o.baud) args.insert(args.end(), {"--baud", std::to_string(*o.baud)});
    if (!o.file_format.empty()) args.insert(args.end(), {"--format", o.file_format});
    if (o.offset) args.insert(args.end(), {"--offset", std::to_string(*o.offset)});
    if (o.before) args.insert(args.end(), {"--before", *o.before});
    if (o.after) args.insert(args.end(), {"--after", *o.after});
    // Each child reserves its own board's values in the shared store.
    for (const std::string& patch : o.patches) args.insert(args.end(), {"--patch", patch});
    b.started = b.child->Start(sys::ExecutablePath(), args);
}

// The text of a field, or "" when the event has none of that type.
std::string TextOf(const nlohmann::json& event, const char* key) {
    const auto it = event.find(key);
    return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

template <typename Number>
Number NumberOf(const nlohmann::json& event, const char* key) {
    const auto it = event.find(key);
    return it != event.end() && it->is_number() ? it->get<Number>() : Number{};
}

// Takes one event of a child; false when the line is no JSON object.
bool TakeLine(Board& b, const std::string& line, std::string& event_name) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) return false;
    event_name = TextOf(event, "event");
    if (event_name == "step") {
        b.step = TextOf(event, "text");
        b.done = b.of = 0;
    } else if (event_name == "progress") {
        b.done = NumberOf<long long>(event, "done");
        b.of = NumberOf<long long>(event, "of");
    } else if (event_name == "result") {
        b.got_result = true;
        b.status = NumberOf<int>(event, "status");
        b.text = TextOf(event, "text");
        b.seconds = NumberOf<double>(event, "seconds");
        b.bytes = NumberOf<long long>(event, "bytes");
        b.serial = TextOf(event, "serial");
    }
    return true;
}

// Splits what a child wrote into lines and takes each one.
void TakeOutput(Board& b, const Options& o, bool terminal) {
    b.pending += b.child->TakeOutput();
    std::size_t nl = 0;
    while ((nl = b.pending.find('\n')) != std::string::npos) {
        std::string line = b.pending.substr(0, nl);
        b.pending.erase(0, nl + 1);
        // A child on Windows may end its lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Only the children's own events: one JSON object on a line.
        std::string event;
        if (line.size() < 2 || line.front() != '{' || !TakeLine(b, line, event)) continue;
        if (o.json) {
            // The children's events, each with its port.
            std::printf("{\"port\":%s,%s\n", JsonString(b.port).c_str(), line.c_str() + 1);
        } else if (!terminal && !o.quiet) {
            if (event == "step") std::fprintf(stderr, "%s: %s\n", b.port.c_str(), b.step.c_str());
            if (event == "progress") std::fprintf(stderr, "%s: %lld / %lld\n", b.port.c_str(), b.done, b.of);
        }
    }
    std::fflush(stdout);
}

}  // namespace

int RunGang(const Options& o, const std::string& home) {
    if (o.reset_prompt) {
        std::fprintf(stderr, "mirelle-cli: a gang run cannot ask for resets; reset the boards into boot mode first\n");
        return exit_status::kUsage;
    }
    const std::string dir = o.log_dir ? *o.log_dir : DefaultLogDir(home);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir)) {
        std::fprintf(stderr, "mirelle-cli: cannot make the log folder %s\n", dir.c_str());
        return exit_status::kUsage;
    }
    std::vector<Board> boards;
    for (const std::string& port : o.ports) {
        Board b;
        b.port = port;
        b.log = (fs::path(dir) / GangLogName(port)).string();
        boards.push_back(std::move(b));
    }
    for (std::size_t a = 0; a < boards.size(); ++a)
        for (std::size_t c = a + 1; c < boards.size(); ++c)
            if (boards[a].log == boards[c].log) {
                std::fprintf(stderr, "mirelle-cli: ports %s and %s would share the log %s\n", boards[a].port.c_str(),
                             boards[c].port.c_str(), boards[a].log.c_str());
                return exit_status::kUsage;
            }

    sys::InterruptGuard guard;
    const auto started = std::chrono::steady_clock::now();
    // Each child records its unit with its slot (the port's place, from 1).
    for (std::size_t i = 0; i < boards.size(); ++i) {
        sys::SetEnv("MIRELLE_SLOT", std::to_string(i + 1));
        Spawn(boards[i], o, home);
    }
    sys::UnsetEnv("MIRELLE_SLOT");

    const bool terminal = !o.json && !o.quiet && sys::StandardErrorIsTerminal();
    bool drawn = false;
    auto draw = [&] {
        if (!terminal) return;
        if (drawn) std::fprintf(stderr, "\x1b[%zuA", boards.size());
        // Each line one column short of the terminal, so that none wraps.
        const auto width = static_cast<std::size_t>(std::max(20, sys::StandardErrorColumns() - 1));
        for (const Board& b : boards) std::fprintf(stderr, "\r\x1b[2K%s\n", ProgressLine(b).substr(0, width).c_str());
        std::fflush(stderr);
        drawn = true;
    };
    draw();
    std::vector<sys::ChildProcess*> children;
    for (Board& b : boards)
        if (b.started) children.push_back(b.child.get());
    bool forwarded = false;
    for (;;) {
        if (const int signal = sys::InterruptSignal(); signal != 0 && !forwarded) {
            for (Board& b : boards) b.child->Stop(signal);
            forwarded = true;
        }
        const bool open = sys::ReadChildren(children, 200);
        for (Board& b : boards) TakeOutput(b, o, terminal);
        if (!open) break;
        draw();
    }
    int worst = exit_status::kSuccess;
    for (Board& b : boards) {
        const sys::ChildExit e = b.child->Wait();
        if (!b.got_result) {
            b.status = e.signalled ? exit_status::kInterrupted : e.code;
            if (!e.started || b.status == 127) b.status = exit_status::kUsage;
            b.text = "the run ended without a result";
            // Ended from outside, not by the stop this run forwarded: its
            // flash may be half done, and its time is the gang's so far.
            if (e.signalled && !forwarded) {
                b.killed = true;
                b.text = "killed" + (e.signal != 0 ? " by signal " + std::to_string(e.signal) + " (" + sys::SignalName(e.signal) + ")" : std::string());
                b.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            }
        }
        worst = std::max(worst, b.status);
    }
    draw();
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o.json) {
        JsonObject j;
        j.Add("event", "gang").Add("status", worst).Add("result", exit_status::Word(worst)).Add("seconds", total);
        j.Add("log_dir", dir);
        std::printf("%s\n", j.Text().c_str());
        return worst;
    }
    std::size_t width = 4, serial_width = 0;
    for (const Board& b : boards) width = std::max(width, b.port.size());
    // A serialized run shows each board's value.
    for (const Board& b : boards)
        if (!b.serial.empty()) serial_width = std::max<std::size_t>({serial_width, 6, b.serial.size()});
    auto serial = [&](const std::string& text) {
        return serial_width == 0 ? std::string() : text + std::string(serial_width - text.size() + 2, ' ');
    };
    std::printf("%-*s  %-13s  %8s  %8s  %s%s\n", static_cast<int>(width), "port", "result", "seconds", "bytes",
                serial("serial").c_str(), "text");
    for (const Board& b : boards) {
        std::string first = b.text.substr(0, b.text.find('\n'));
        std::printf("%-*s  %-13s  %8.1f  %8lld  %s%s\n", static_cast<int>(width), b.port.c_str(),
                    b.killed ? "killed" : exit_status::Word(b.status), b.seconds, b.bytes, serial(b.serial).c_str(),
                    first.c_str());
    }
    std::printf("%zu boards in %.1f s, logs in %s\n", boards.size(), total, dir.c_str());
    return worst;
}

}  // namespace mirelle::cli
