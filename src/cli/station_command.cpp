#include "cli/station_command.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "station/job_file.h"
#include "station/station.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

int Usage(const std::string& why) {
    std::fprintf(stderr, "mirelle-cli: station: %s\ntry mirelle-cli station --help\n", why.c_str());
    return exit_status::kUsage;
}

// The last `width` characters of a long text, with "..." in front.
std::string Tail(const std::string& text, std::size_t width) {
    if (text.size() <= width || width < 4) return text;
    return "..." + text.substr(text.size() - (width - 3));
}

std::string Cut(std::string text, std::size_t width) {
    if (text.size() > width) text.resize(width);
    return text;
}

double Yield(long long passed, long long failed) {
    return passed + failed > 0 ? 100.0 * static_cast<double>(passed) / static_cast<double>(passed + failed) : 0.0;
}

// What the lines of a run without a terminal say of a slot: its state, and
// for a verdict what it was.
std::string StateLine(const station::SlotView& s) {
    std::string line = "slot " + s.name + ": " + station::StateWord(s.state);
    const bool verdict = s.state == station::SlotState::kPassed || s.state == station::SlotState::kFailed;
    if (verdict) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, " (%.1f s)", s.last_seconds);
        line += "  " + s.last_result + (s.state == station::SlotState::kFailed && s.last_code >= 0
                                            ? " [code " + std::to_string(s.last_code) + "]"
                                            : "") +
                seconds;
    } else if (!s.step.empty()) {
        line += "  " + s.step;
    }
    return line;
}

// The operator's keys of the key detection mode: each line on standard input
// (Enter alone: every slot; a slot's name: that slot). A thread reads them,
// since nothing else here waits on standard input; it is left blocked in its
// read when the run ends.
class KeyLines {
public:
    void Start() {
        auto shared = state_;
        std::thread([shared] {
            for (std::string line; std::getline(std::cin, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                std::lock_guard lock(shared->mutex);
                shared->lines.push_back(line);
            }
        }).detach();
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(state_->mutex);
        std::vector<std::string> out;
        out.swap(state_->lines);
        return out;
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

struct Shown {
    station::SlotState state = station::SlotState::kStopped;
    std::string step;
    int percent = -2;
    std::string notice;
};

}  // namespace

bool IsStationCommand(const std::vector<std::string>& args) { return !args.empty() && args[0] == "station"; }

std::string StationUsageText() {
    return R"(usage: mirelle-cli station NAME.job [--units N] [--json] [-q] [--home DIR]

Runs a production station: every slot of the job programs board after board
(wait for a board, Full Operation, verdict, wait for the board to go) until
SIGINT or SIGTERM, or until N boards have had their verdict. The job is
checked first (mirelle-cli job check): a job whose program file or chip
definition changed is refused before anything is sent. Every unit is
recorded with the job's name and SHA-256 and the slot's name; the counts
come from the record store, so they go on after a restart.

  --units N   stop after N verdicts in all (the boards being programmed finish)
  --json      one JSON object per line on stdout: {"event":"slot",...} when a
              slot's state, step or progress changes, {"event":"verdict",...}
              for each board, {"event":"notice",...} for a slot's warning,
              and {"event":"station",...} at the end
  -q          errors only: no table, no lines, no summary
  --home DIR  the program folder (CHIPDEF.INI, control programs, Customize.ini)

On a terminal the slots are a table drawn in place (slot, port, state, step,
progress, last verdict, serial, passed and failed); otherwise one line per
state change goes to standard error. The first signal stops every slot at its
operation's next step (its record whole, its port closed); the run then
exits 0. A second signal ends it at once (exit 6). Each slot's result log is
NAME.logs/SLOT.TXT beside the job.

With key detection, a line on standard input is the operator's key: Enter
alone starts the next board on every slot that waits, a slot's name and
Enter on that slot.

e.g. mirelle-cli station line3.job
     mirelle-cli station line3.job --units 100 --json
)";
}

std::vector<std::string> StationTable(const station::Job& job, const station::StationView& view, std::size_t width) {
    std::vector<std::string> lines;
    char header[512];
    std::snprintf(header, sizeof header, "%s: %s, %s (%s)  passed %lld  failed %lld  yield %.1f%%  %.0f units/h",
                  job.name.c_str(), job.target.c_str(), fs::path(job.program_file).filename().string().c_str(),
                  job.program_sha256.substr(0, 8).c_str(), view.passed, view.failed, Yield(view.passed, view.failed),
                  view.units_per_hour);
    lines.push_back(Cut(header, width));
    std::size_t name_width = 4;
    for (const station::SlotView& s : view.slots) name_width = std::max(name_width, std::min<std::size_t>(s.name.size(), 12));
    char row[512];
    std::snprintf(row, sizeof row, "%-*s  %-24s  %-8s  %-28s  %4s  %-28s  %-10s  %6s  %6s", static_cast<int>(name_width),
                  "slot", "port", "state", "step", "%", "last verdict", "serial", "passed", "failed");
    lines.push_back(Cut(row, width));
    for (const station::SlotView& s : view.slots) {
        const std::string percent = s.percent >= 0 ? std::to_string(s.percent) + "%" : "";
        std::snprintf(row, sizeof row, "%-*s  %-24s  %-8s  %-28s  %4s  %-28s  %-10s  %6lld  %6lld",
                      static_cast<int>(name_width), Cut(s.name, 12).c_str(), Tail(s.port, 24).c_str(),
                      station::StateWord(s.state), Cut(s.step, 28).c_str(), percent.c_str(), Cut(s.last_result, 28).c_str(),
                      Cut(s.serial, 10).c_str(), s.passed, s.failed);
        lines.push_back(Cut(row, width));
    }
    return lines;
}

int RunStation(const std::vector<std::string>& args) {
    std::string path;
    std::optional<long long> units;
    bool json = false, quiet = false;
    Options chip;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(StationUsageText().c_str(), stdout);
            return exit_status::kSuccess;
        } else if (a == "--json") {
            json = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a == "--units") {
            const auto v = value();
            const auto n = v ? ParseNumber(*v) : std::nullopt;
            if (!n || *n == 0) return Usage("--units takes a number of boards, at least 1");
            units = static_cast<long long>(*n);
        } else if (a == "--home") {
            const auto v = value();
            if (!v) return Usage("option --home needs a value");
            chip.home = *v;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (path.empty()) {
            path = a;
        } else {
            return Usage("unexpected argument " + a);
        }
    }
    if (path.empty()) return Usage("which job? (mirelle-cli station NAME.job)");

    const std::string home = ProgramHome(chip);
    station::Job job;
    std::string error;
    if (!station::ReadJob(path, job, error)) {
        std::fprintf(stderr, "mirelle-cli: station: %s\n", error.c_str());
        return exit_status::kUsage;
    }
    const std::vector<std::string> problems = station::CheckJob(job, home);
    if (!problems.empty()) {
        // Nothing is sent to any board.
        for (const std::string& p : problems) std::fprintf(stderr, "mirelle-cli: station: %s\n", p.c_str());
        std::fprintf(stderr, "mirelle-cli: station: %s may not run (mirelle-cli job new writes it anew)\n", path.c_str());
        return exit_status::kUsage;
    }
    if (job.slots.empty()) return Usage(path + " has no slot");

    const bool table = !json && !quiet && sys::StandardErrorIsTerminal();
    const bool lines = !json && !quiet && !table;
    std::vector<Shown> shown(job.slots.size());
    std::size_t drawn = 0;
    long long run_passed = 0, run_failed = 0;
    bool stopping = false, by_signal = false;

    sys::InterruptGuard guard;
    station::Station st(job, home);
    if (units) st.SetUnitLimit(*units);
    st.StartAll();
    KeyLines keys;
    if (job.detection == station::Detection::kKey) keys.Start();
    const auto started = std::chrono::steady_clock::now();

    auto show = [&](bool last) {
        for (const station::Verdict& v : st.TakeVerdicts()) {
            ++(v.passed ? run_passed : run_failed);
            if (!json) continue;
            JsonObject j;
            j.Add("event", "verdict").Add("slot", job.slots[static_cast<std::size_t>(v.slot)].name);
            j.Add("passed", v.passed).Add("code", v.code).Add("text", v.text).Add("serial", v.serial);
            j.Add("seconds", v.seconds);
            std::printf("%s\n", j.Text().c_str());
        }
        const station::StationView view = st.Snapshot();
        for (std::size_t i = 0; i < view.slots.size() && i < shown.size(); ++i) {
            const station::SlotView& s = view.slots[i];
            Shown& was = shown[i];
            const bool state_changed = s.state != was.state;
            const bool changed = state_changed || s.step != was.step || s.percent != was.percent;
            if (json && changed) {
                JsonObject j;
                j.Add("event", "slot").Add("slot", s.name).Add("state", station::StateWord(s.state));
                j.Add("step", s.step).Add("percent", s.percent).Add("port", s.port).Add("device", s.device);
                std::printf("%s\n", j.Text().c_str());
            }
            if (lines && state_changed) std::fprintf(stderr, "%s\n", StateLine(s).c_str());
            // A slot's warning (a record not kept, a port that did not open) once.
            if (!s.notice.empty() && s.notice != was.notice) {
                if (json) {
                    JsonObject j;
                    j.Add("event", "notice").Add("slot", s.name).Add("text", s.notice);
                    std::printf("%s\n", j.Text().c_str());
                } else if (lines) {
                    std::fprintf(stderr, "mirelle-cli: station: slot %s: %s\n", s.name.c_str(), s.notice.c_str());
                }
            }
            was = {s.state, s.step, s.percent, s.notice};
        }
        if (table) {
            // One column short of the terminal: a row as wide as it would
            // wrap and push the redraw out of place.
            const int columns = sys::StandardErrorColumns();
            const auto width = static_cast<std::size_t>(columns > 20 ? columns - 1 : 20);
            std::vector<std::string> rows = StationTable(job, view, width);
            for (const station::SlotView& s : view.slots)
                if (!s.notice.empty()) rows.push_back(("slot " + s.name + ": " + s.notice).substr(0, width));
            if (drawn) std::fprintf(stderr, "\x1b[%zuA", drawn);
            for (const std::string& row : rows) std::fprintf(stderr, "\r\x1b[2K%s\n", row.c_str());
            // A table that shrank leaves no old lines below it.
            if (rows.size() < drawn) std::fprintf(stderr, "\x1b[J");
            drawn = rows.size();
            if (last) drawn = 0;
        }
        std::fflush(stdout);
        std::fflush(stderr);
    };

    while (!st.AllStopped()) {
        if (sys::InterruptSignal() != 0) {
            if (stopping && by_signal) {
                // A second signal: no more waiting for the slots.
                show(true);
                std::fprintf(stderr, "mirelle-cli: station: stopped at once by a second signal\n");
                std::fflush(nullptr);
                std::_Exit(exit_status::kInterrupted);
            }
            // The first: every slot ends at its operation's next step. The
            // record of the signal is cleared so that a second one is seen.
            st.StopAll();
            stopping = by_signal = true;
            sys::SetInterruptSignal(0);
        }
        for (const std::string& line : keys.Take())
            for (std::size_t i = 0; i < job.slots.size(); ++i)
                if (line.empty() || line == job.slots[i].name) st.PressKey(static_cast<int>(i));
        show(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    show(true);

    const station::StationView view = st.Snapshot();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Slots that ended by themselves (a target or clock the job names is not
    // usable) say why; the run has then not done what it was started for.
    int status = exit_status::kSuccess;
    for (const station::SlotView& s : view.slots)
        if (!by_signal && !units && !s.step.empty()) {
            std::fprintf(stderr, "mirelle-cli: station: slot %s: %s\n", s.name.c_str(), s.step.c_str());
            status = exit_status::kUsage;
        }
    if (json) {
        JsonObject j;
        j.Add("event", "station").Add("status", status).Add("units", run_passed + run_failed);
        j.Add("passed", run_passed).Add("failed", run_failed).Add("total_passed", view.passed);
        j.Add("total_failed", view.failed).Add("seconds", seconds).Add("units_per_hour", view.units_per_hour);
        std::printf("%s\n", j.Text().c_str());
    } else if (!quiet) {
        std::printf("%lld boards in %.1f s: %lld passed, %lld failed; job %s so far: %lld passed, %lld failed, yield %.1f%%\n",
                    run_passed + run_failed, seconds, run_passed, run_failed, job.name.c_str(), view.passed,
                    view.failed, Yield(view.passed, view.failed));
    }
    std::fflush(stdout);
    return status;
}

}  // namespace mirelle::cli
