#include "station/slot.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <utility>

#include "engine/control_link.h"
#include "engine/events.h"
#include "engine/flash_session.h"
#include "hexfile/program_file.h"
#include "platform/child_process.h"
#include "protocol/boot_protocol.h"
#include "records/serializer.h"
#include "serial/device_list.h"
#include "station/board_detection.h"
#include "station/station_records.h"
#include "target/chip_definition.h"
#include "texts/result_codes.h"

namespace mirelle::station {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The first line of a report, without its padding and CR LF.
std::string FirstLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            if (line.find_first_not_of(' ') != std::string::npos) break;
            line.clear();
            continue;
        }
        line += c;
    }
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

// A slot's name as a file name: anything but letters, digits, '-' and '.' becomes '_'.
std::string FileNameOf(const std::string& name) {
    std::string out;
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '_';
    return out.empty() || out[0] == '.' ? "_" + out : out;
}

// The session's events, written into the slot's view: the step's text and
// its progress in per cent. Nobody is asked anything: the reset prompt is
// off, and a block with a bad CRC ends a command-line unit at once.
class SlotEvents final : public engine::Events {
public:
    SlotEvents(StationShared& shared, int index) : shared_(shared), index_(index) {}

    bool OpenProgress(int, const std::string&) override { return open_ = true; }
    void CloseProgress() override { open_ = false; }
    bool HasProgress() const override { return open_; }
    void StepBegins(const std::string& text) override { Step(text); }
    void StatusText(const std::string& text) override { Step(text); }
    void ProgressRange(int lower, int upper, int step, int position) override {
        lower_ = lower, upper_ = upper, step_ = step, position_ = position;
        Percent();
    }
    void ProgressPosition(int position) override {
        position_ = position;
        Percent();
    }
    void ProgressStep() override {
        position_ = std::min(position_ + step_, upper_);
        Percent();
    }
    void Warning(const std::string& text) override { Notice(text); }
    void RecordProblem(const std::string& text) override { Notice(text); }
    void PortProblem(const std::string& line) override { Notice(line); }

    const std::string& LastStep() const { return last_step_; }
    void Downloaded() override { control_program_ran_ = true; }
    // Whether the control program was started since the last call.
    bool ControlProgramRan() { return std::exchange(control_program_ran_, false); }

private:
    template <typename F>
    void Update(F change) {
        std::lock_guard lock(shared_.mutex);
        change(shared_.views[static_cast<std::size_t>(index_)]);
    }
    void Step(const std::string& text) {
        // "Full Operation - " + " Erasing": one space between words on a tile.
        std::string step;
        for (char c : FirstLine(text))
            if (c != ' ' || step.empty() || step.back() != ' ') step += c;
        if (step.empty()) return;
        last_step_ = step;
        Update([&](SlotView& v) {
            v.step = step;
            v.percent = -1;
        });
    }
    void Percent() {
        const int span = upper_ - lower_;
        const int percent = span > 0 ? std::clamp((position_ - lower_) * 100 / span, 0, 100) : -1;
        Update([&](SlotView& v) { v.percent = percent; });
    }
    void Notice(const std::string& text) {
        Update([&](SlotView& v) { v.notice = FirstLine(text); });
    }

    StationShared& shared_;
    const int index_;
    bool open_ = false;
    int lower_ = 0, upper_ = 0, step_ = 1, position_ = 0;
    std::string last_step_;
    bool control_program_ran_ = false;
};

}  // namespace

// The state of the slot's thread: its session, its port and its rates.
class Slot::Cycle {
public:
    explicit Cycle(Slot& slot) : slot_(slot), events_(slot.shared_, slot.index_), session_(events_) {}
    ~Cycle() {
        held_.reset();
        session_.CloseComPort();
    }

    void Run() {
        std::string why;
        if (!Prepare(why)) {
            Show(SlotState::kStopped, why);
            return;
        }
        while (!Ending()) {
            if (!WaitForBoard() || !TakeUnit()) break;
            RunBoard();
            if (Ending()) break;
            WaitForGone();
        }
    }

private:
    const JobSlot& Place() const { return slot_.job_.slots[static_cast<std::size_t>(slot_.index_)]; }
    Detection Mode() const { return slot_.job_.detection; }

    template <typename F>
    void Update(F change) {
        std::lock_guard lock(slot_.shared_.mutex);
        change(slot_.shared_.views[static_cast<std::size_t>(slot_.index_)]);
    }
    // The state and step; a slot asked to stop keeps showing it.
    void Show(SlotState state, const std::string& step) {
        Update([&](SlotView& v) {
            v.state = slot_.Stopping() && state != SlotState::kStopped ? SlotState::kStopping : state;
            v.step = step;
            v.percent = -1;
            v.device = place_.device;
        });
    }
    void Waiting(const std::string& step) { Show(SlotState::kWaiting, step); }

    // Under the shared mutex: the unit limit has been reached.
    bool LimitReachedLocked() const {
        return slot_.shared_.unit_limit > 0 && slot_.shared_.units_started >= slot_.shared_.unit_limit;
    }
    // The slot stops, or the station has taken on all the units it may.
    bool Ending() {
        std::lock_guard lock(slot_.shared_.mutex);
        return slot_.Stopping() || LimitReachedLocked();
    }
    // Counts one more unit against the station's limit; false when the limit has been reached.
    bool TakeUnit() {
        std::lock_guard lock(slot_.shared_.mutex);
        if (slot_.Stopping() || LimitReachedLocked()) return false;
        ++slot_.shared_.units_started;
        return true;
    }
    // Waits `ms`, or less when the slot is stopped, the limit is reached or
    // (with `key`) its key is pressed; false when the slot is ending.
    bool Sleep(std::chrono::milliseconds ms, bool key = false) {
        std::unique_lock lock(slot_.shared_.mutex);
        slot_.shared_.wake.wait_for(lock, ms, [&] { return slot_.Stopping() || LimitReachedLocked() || (key && slot_.key_); });
        return !slot_.Stopping() && !LimitReachedLocked();
    }
    bool SleepUntil(Clock::time_point when) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
        return Sleep(std::max(left, std::chrono::milliseconds(0)));
    }

    bool Prepare(std::string& why) {
        const Job& job = slot_.job_;
        session_.SetProgramDir(slot_.program_dir_);
        session_.m_bCommandLine = true;
        session_.m_bUseReset = false;
        std::string name;
        for (const std::string& listed : target::ListTargets(session_.m_strChipDefPath))
            if (target::SameName(listed, job.target)) name = target::ListName(listed);
        if (name.empty()) return why = "no target " + job.target + " in " + session_.m_strChipDefPath, false;
        const target::ChipDefinition def = session_.SelectTarget(name);
        if (session_.TellChipProblems()) return why = session_.m_chipCheck.refusal, false;
        const target::DownloadKeys keys = target::ReadDownloadKeys(session_.m_strChipDefPath, name);
        int clock = -1;
        for (std::size_t i = 0; i < def.clocks.size(); ++i) {
            const bool named = job.clock.empty() ? (job.baud != 0 || i == 0) : target::SameName(def.clocks[i], job.clock);
            const auto work = boot::WorkingRate(keys.baud, keys.baud2, keys.has_baud2, static_cast<int>(i));
            if (named && (job.baud == 0 || (work && *work == job.baud))) {
                clock = static_cast<int>(i);
                break;
            }
        }
        if (clock < 0 || !session_.SelectRate(clock))
            return why = "no clock " + (job.clock.empty() ? std::string("entry") : job.clock) +
                         (job.baud ? " working at " + std::to_string(job.baud) + " bit/s" : "") + " for " + name,
                   false;
        const auto boot_rate = boot::RateEntry(keys.baud, clock);
        const auto work_rate = boot::WorkingRate(keys.baud, keys.baud2, keys.has_baud2, clock);
        if (!boot_rate || !work_rate) return why = "the clock entry of " + name + " has no rates", false;
        boot_baud_ = *boot_rate;
        work_baud_ = *work_rate;
        still_ = StillThereFrame(engine::FamilyOf(name), def.start[0], def.end[0]);

        const fs::path job_dir = fs::absolute(fs::path(job.path)).parent_path();
        session_.m_strProgramFile = fs::absolute(ProgramPath(job)).lexically_normal().string();
        session_.m_programFormat = hexfile::ParseProgramFormat(job.program_format);
        session_.m_nBinaryStart = job.offset;
        session_.SetBootSequences(job.before.empty() ? std::nullopt : std::optional<std::string>(job.before),
                                  job.after.empty() ? std::nullopt : std::optional<std::string>(job.after));
        // Each slot has its own result log (the folder's MESSFILE.TXT would
        // be written by every slot at once): NAME.logs/SLOT.TXT beside the job.
        std::error_code ec;
        const fs::path logs = job_dir / (job.name + ".logs");
        fs::create_directories(logs, ec);
        session_.m_strResultLogPath =
            fs::is_directory(logs, ec) ? (logs / (FileNameOf(Place().name) + ".TXT")).string() : sys::NullDevice();
        session_.SetStopFlag(&slot_.stop_);
        session_.m_strRecordSlot = Place().name;
        sink_ = MakeSlotRecordSink(job, slot_.program_dir_);
        session_.SetRecordSink(sink_.get());
        if (!sink_)
            Update([](SlotView& v) {
                v.notice = "records are off ([Records] Enabled=0): no unit is on file, and the counts start "
                           "again at the next start";
            });
        // Serialization: the slot's own connection to the store that hands
        // out the job's values; list files lie beside the job.
        if (!job.patches.empty()) {
            std::vector<hexfile::PatchRule> rules;
            if (!records::ParsePatchRules(job.patches, rules, why)) return why = "[Patches]: " + why, false;
            serializer_ = std::make_unique<records::Serializer>(std::move(rules), job_dir.string());
            if (!serializer_->Open(JobStoreLocation(job, slot_.program_dir_), slot_.program_dir_, why))
                return why = "serialization: " + why, false;
        }
        // The download opens the port the probe holds, as it is (no close and
        // open between the probe's answer and the download's sync).
        session_.SetPortOpener([this](const std::string& device, int com_number, std::uint32_t baud,
                                      std::unique_ptr<serial::Port>& out) {
            if (!held_) return serial::OpenSystemPort(device, com_number, baud, out);
            out = std::move(held_);
            return out->SetBaud(baud);
        });

        const SlotCounts counts = ReadSlotCounts(job, Place().name, slot_.program_dir_);
        Update([&](SlotView& v) {
            v.passed = counts.passed;
            v.failed = counts.failed;
            if (!counts.error.empty()) v.notice = "the counts were not read: " + counts.error;
        });
        return true;
    }

    // Opens the slot's port at the boot rate into held_; false (shown) when
    // it is not there or does not open.
    bool OpenProbePort() {
        place_ = ResolveSlotPort(Place().port, slot_.program_dir_ + "Customize.ini");
        if (place_.device.empty()) {
            Waiting(place_.problem);
            return false;
        }
        std::unique_ptr<serial::Port> port;
        if (serial::OpenSystemPort(place_.device, place_.com_number, boot_baud_, port) != serial::PortResult::Ok ||
            !port) {
            std::string obstacle = serial::PortObstacle(place_.device);
            Waiting("port " + place_.device + (obstacle.empty() ? " cannot be opened" : obstacle));
            return false;
        }
        held_ = std::move(port);
        return true;
    }

    bool WaitForBoard() {
        switch (Mode()) {
            case Detection::kProbe:
                for (;;) {
                    if (Ending()) return false;
                    if (!held_ && !OpenProbePort()) {
                        Sleep(std::chrono::milliseconds(kPortRetryMs));
                        continue;
                    }
                    Waiting("waiting for a board");
                    const auto next = Clock::now() + std::chrono::milliseconds(kProbeIntervalMs);
                    const Answer answer = ProbeBootRom(*held_, boot_baud_);
                    if (answer == Answer::kAnswered) return true;
                    if (answer == Answer::kPortFailed) {
                        held_.reset();
                        Waiting("port " + place_.device + " failed");
                    }
                    SleepUntil(next);
                }
            case Detection::kPort:
                for (;;) {
                    if (Ending()) return false;
                    place_ = ResolveSlotPort(Place().port, slot_.program_dir_ + "Customize.ini");
                    if (PortPresent(place_)) return true;
                    Waiting("waiting for a board on port " + Place().port);
                    Sleep(std::chrono::milliseconds(kProbeIntervalMs));
                }
            case Detection::kKey:
                Update([&](SlotView& v) {
                    if (v.state != SlotState::kPassed && v.state != SlotState::kFailed) v.state = SlotState::kWaiting;
                    v.step = "press the key for the next board";
                    v.percent = -1;
                });
                while (!slot_.key_.exchange(false))
                    if (!Sleep(std::chrono::hours(1), true)) return false;
                for (;;) {
                    place_ = ResolveSlotPort(Place().port, slot_.program_dir_ + "Customize.ini");
                    if (!place_.device.empty()) return true;
                    Waiting(place_.problem);
                    if (!Sleep(std::chrono::milliseconds(kPortRetryMs))) return false;
                }
        }
        return false;
    }

    // What makes the job's program file or chip definition differ from the
    // hashes it was sealed with ("" when nothing does): checked before and
    // after every board, since the files may be changed while a station runs.
    std::string JobFilesChanged() const {
        const std::vector<std::string> problems = CheckJob(slot_.job_, slot_.program_dir_);
        return problems.empty() ? "" : problems.front();
    }

    void RunBoard() {
        const auto began = Clock::now();
        slot_.key_ = false;
        if (const std::string changed = JobFilesChanged(); !changed.empty()) {
            // Nothing is sent: the slot ends and says why.
            ended_why_ = changed;
            slot_.Stop();
            return;
        }
        Show(SlotState::kBusy, "");
        session_.UseDevice(place_.device, place_.com_number);
        // The board's values are reserved as its Full Operation starts; a
        // value that cannot be had fails the board before anything is sent.
        std::vector<hexfile::ImagePatch> patches;
        std::string serial_error;
        if (serializer_ && !serializer_->Begin(Place().name, patches, serial_error)) {
            TellVerdict(false, -1, serial_error, "", began);
            return;
        }
        session_.SetImagePatches(patches);
        events_.ControlProgramRan();  // from this board on
        const std::string serial = patches.empty() ? "" : patches.front().value;
        Update([&](SlotView& v) { v.serial = serial; });
        const engine::Result r = session_.RunFullOperation();
        bool passed = session_.FullOperationDone();
        const bool stopped = !passed && (slot_.Stopping() || session_.StopRequested());
        // The cause: the first failure, unless the unit ended in a completion.
        const int code =
            passed || result::IsCompletion(r.code) || r.first_failure_code < 0 ? r.code : r.first_failure_code;
        std::string text = FirstLine(r.message);
        if (!passed && text.empty()) text = r.file_error.empty() ? events_.LastStep() : r.file_error;
        if (stopped) text = "stopped before the end" + (text.empty() ? std::string() : ": " + text);
        else if (!passed && text.empty()) text = "the operation ended without a result";
        // A file that changed while the board was worked on may have gone
        // into it in part: the board fails, and the slot ends.
        if (const std::string changed = JobFilesChanged(); !changed.empty()) {
            passed = false;
            text = changed;
            ended_why_ = changed;
            slot_.Stop();
        }
        control_ran_ = passed || events_.ControlProgramRan();
        if (Mode() == Detection::kProbe) held_ = session_.TakePort();  // the board is watched on it
        else session_.CloseComPort();
        // Spent on PASS; on FAIL given back for the next board (or burnt).
        // A value whose reservation was lost meanwhile may be another
        // board's: the board fails.
        if (serializer_ && !serializer_->End(passed, serial_error)) {
            passed = false;
            text = "serialization: " + serial_error;
        }
        TellVerdict(passed, code, text, serial, began);
    }

    // Tells the board's verdict: the slot's view and counts, and the verdicts
    // the front ends take.
    void TellVerdict(bool passed, int code, const std::string& text, const std::string& serial, Clock::time_point began) {
        last_passed_ = passed;
        Verdict verdict;
        verdict.slot = slot_.index_;
        verdict.passed = passed;
        verdict.code = code;
        verdict.text = text;
        verdict.serial = serial;
        verdict.seconds = std::chrono::duration<double>(Clock::now() - began).count();
        std::lock_guard lock(slot_.shared_.mutex);
        SlotView& v = slot_.shared_.views[static_cast<std::size_t>(slot_.index_)];
        v.state = slot_.Stopping() ? SlotState::kStopping : passed ? SlotState::kPassed : SlotState::kFailed;
        v.step = Mode() == Detection::kKey ? "" : "waiting for the board to go";
        v.percent = -1;
        v.last_result = text;
        v.last_code = code;
        v.last_seconds = verdict.seconds;
        ++(passed ? v.passed : v.failed);
        ++slot_.shared_.verdict_count;
        slot_.shared_.verdicts.push_back(std::move(verdict));
    }

    enum class Seen { kControlProgram, kBootRom, kNothing, kPortLost };

    // One still-there round: the control program first where it ran (a
    // pass, or a failure after the download), else the boot ROM first.
    Seen StillThere() {
        // The port went with the board (an adapter on the board, a link that
        // dropped): whatever answers on it later is another board.
        if (!held_) return Seen::kPortLost;
        auto control = [&] { return ControlProgramAnswers(*held_, work_baud_, still_); };
        auto boot = [&] { return ProbeBootRom(*held_, boot_baud_, true); };
        Answer a = control_ran_ ? control() : boot();
        if (a == Answer::kAnswered) return control_ran_ ? Seen::kControlProgram : Seen::kBootRom;
        if (a == Answer::kSilent) {
            a = control_ran_ ? boot() : control();
            if (a == Answer::kAnswered) return control_ran_ ? Seen::kBootRom : Seen::kControlProgram;
        }
        if (a == Answer::kPortFailed) held_.reset();
        return Seen::kNothing;
    }

    void WaitForGone() {
        switch (Mode()) {
            case Detection::kProbe: {
                int misses = 0;
                bool control_answered = false;
                // The operation may have closed the port (a failed download
                // does): it is opened again to look for the same board; a
                // port that is not there any more took the board with it.
                if (!held_ && !OpenProbePort()) return;
                while (misses < kGoneAfterMisses && !Ending()) {
                    const auto next = Clock::now() + std::chrono::milliseconds(kProbeIntervalMs);
                    const Seen seen = StillThere();
                    if (seen == Seen::kPortLost) return;
                    // A board whose control program ran keeps running it; a
                    // boot ROM in its place is the next board, put in before
                    // the last one was seen to go. (A board whose download
                    // failed stays in its boot ROM: one put in its place
                    // quickly cannot be told from it.)
                    if (seen == Seen::kBootRom && control_ran_ && control_answered) return;
                    control_answered = control_answered || seen == Seen::kControlProgram;
                    misses = seen == Seen::kNothing ? misses + 1 : 0;
                    SleepUntil(next);
                }
                return;
            }
            case Detection::kPort:
                while (PortPresent(place_) && Sleep(std::chrono::milliseconds(kProbeIntervalMs))) {
                }
                return;
            case Detection::kKey:
                return;
        }
    }

    Slot& slot_;
    SlotEvents events_;
    engine::FlashSession session_;
    std::unique_ptr<engine::RecordSink> sink_;
    std::unique_ptr<records::Serializer> serializer_;  // none: the job has no [Patches]
    std::unique_ptr<serial::Port> held_;  // the probe's port, handed to the download and back
    PortPlace place_;
    std::uint32_t boot_baud_ = 0, work_baud_ = 0;
    StillThereRequest still_;
    bool last_passed_ = false;
    bool control_ran_ = false;  // the last board's control program was started
public:
    std::string ended_why_;  // why the slot ended by itself ("" : it was stopped)
};

Slot::Slot(const Job& job, int index, std::string program_dir, StationShared& shared)
    : job_(job), index_(index), program_dir_(std::move(program_dir)), shared_(shared) {}

Slot::~Slot() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void Slot::Start() {
    std::unique_lock lock(shared_.mutex);
    if (running_) {
        // Still ending after a Stop: it goes on instead.
        if (stop_) restart_ = true;
        return;
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();  // it has ended: running_ was cleared
    lock.lock();
    stop_ = false;
    key_ = false;
    running_ = true;
    SlotView& v = shared_.views[static_cast<std::size_t>(index_)];
    v.state = SlotState::kWaiting;
    v.step.clear();
    if (!shared_.first_start) shared_.first_start = Clock::now();
    thread_ = std::thread([this] { Run(); });
}

void Slot::Stop() {
    {
        std::lock_guard lock(shared_.mutex);
        restart_ = false;
        if (!running_) return;
        stop_ = true;
        shared_.views[static_cast<std::size_t>(index_)].state = SlotState::kStopping;
    }
    shared_.wake.notify_all();
}

void Slot::PressKey() {
    {
        std::lock_guard lock(shared_.mutex);
        // A press while a board is programmed is no request for the next one.
        if (!running_ || shared_.views[static_cast<std::size_t>(index_)].state == SlotState::kBusy) return;
        key_ = true;
    }
    shared_.wake.notify_all();
}

void Slot::Run() {
    for (;;) {
        std::string why;
        {
            Cycle cycle(*this);
            cycle.Run();
            why = cycle.ended_why_;
        }
        std::lock_guard lock(shared_.mutex);
        SlotView& v = shared_.views[static_cast<std::size_t>(index_)];
        if (restart_) {
            restart_ = false;
            stop_ = false;
            v.state = SlotState::kWaiting;
            continue;
        }
        running_ = false;
        v.state = SlotState::kStopped;
        v.percent = -1;
        // A slot that was stopped shows nothing of its waits; one that ended
        // by itself says why.
        if (!why.empty()) v.step = why;
        else if (v.step.rfind("waiting for", 0) == 0 || v.step.rfind("press the key", 0) == 0 ||
                 v.step.rfind("port ", 0) == 0)
            v.step.clear();
        shared_.wake.notify_all();
        return;
    }
}

}  // namespace mirelle::station
