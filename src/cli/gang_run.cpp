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
    bool got_result = false;
};

// The value of "key" in one JSON line of our own making: a string or a number.
std::string Field(const std::string& line, const std::string& key) {
    const std::string pattern = "\"" + key + "\":";
    const auto at = line.find(pattern);
    if (at == std::string::npos) return "";
    std::size_t i = at + pattern.size();
    if (i < line.size() && line[i] == '"') {
        std::string out;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char c = line[++i];
                out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            } else {
                out += line[i];
            }
        }
        return out;
    }
    const auto end = line.find_first_of(",}", i);
    return line.substr(i, end - i);
}

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
    b.started = b.child->Start(sys::ExecutablePath(), args);
}

void TakeLine(Board& b, const std::string& line) {
    const std::string event = Field(line, "event");
    if (event == "step") {
        b.step = Field(line, "text");
        b.done = b.of = 0;
    } else if (event == "progress") {
        b.done = std::atoll(Field(line, "done").c_str());
        b.of = std::atoll(Field(line, "of").c_str());
    } else if (event == "result") {
        b.got_result = true;
        b.status = std::atoi(Field(line, "status").c_str());
        b.text = Field(line, "text");
        b.seconds = std::atof(Field(line, "seconds").c_str());
        b.bytes = std::atoll(Field(line, "bytes").c_str());
    }
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
        if (line.empty() || line.front() != '{') continue;
        TakeLine(b, line);
        if (o.json) {
            // The children's events, each with its port.
            std::printf("{\"port\":%s,%s\n", JsonString(b.port).c_str(), line.c_str() + 1);
        } else if (!terminal && !o.quiet) {
            const std::string event = Field(line, "event");
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
    for (Board& b : boards) Spawn(b, o, home);

    const bool terminal = !o.json && !o.quiet && sys::StandardErrorIsTerminal();
    bool drawn = false;
    auto draw = [&] {
        if (!terminal) return;
        if (drawn) std::fprintf(stderr, "\x1b[%zuA", boards.size());
        for (const Board& b : boards) std::fprintf(stderr, "\r\x1b[2K%s\n", ProgressLine(b).c_str());
        std::fflush(stderr);
        drawn = true;
    };
    draw();
    std::vector<sys::ChildProcess*> children;
    for (Board& b : boards)
        if (b.started) children.push_back(b.child.get());
    bool forwarded = false;
    for (;;) {
        if (sys::InterruptSignal() != 0 && !forwarded) {
            for (Board& b : boards) b.child->Stop();
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
    std::size_t width = 4;
    for (const Board& b : boards) width = std::max(width, b.port.size());
    std::printf("%-*s  %-13s  %8s  %8s  %s\n", static_cast<int>(width), "port", "result", "seconds", "bytes", "text");
    for (const Board& b : boards) {
        std::string first = b.text.substr(0, b.text.find('\n'));
        std::printf("%-*s  %-13s  %8.1f  %8lld  %s\n", static_cast<int>(width), b.port.c_str(),
                    exit_status::Word(b.status), b.seconds, b.bytes, first.c_str());
    }
    std::printf("%zu boards in %.1f s, logs in %s\n", boards.size(), total, dir.c_str());
    return worst;
}

}  // namespace mirelle::cli
