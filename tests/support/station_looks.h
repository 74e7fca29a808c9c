// A job of N slots and a station in mixed states, for the station window's
// tests of each backend: what the tiles show comes from a StationView that
// the test sets, and the presses of the window's buttons are written down.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/windows/station_dlg.h"

namespace mirelle::test {

// A job as `job new` writes one, with `slots` slots on COM3, COM4 ... (every
// fifth on a long by-path name, as a Linux station names its sockets).
inline station::Job StationJob(int slots) {
    station::Job job;
    job.name = "line-a-blinky-production";
    job.target = "TQ4A01";
    job.program_file = "firmware/blinky-release-2026-12.mot";
    job.program_sha256 = "3f2a9b1c" + std::string(56, '0');
    for (int i = 0; i < slots; ++i) {
        std::string port = "COM" + std::to_string(i + 3);
        if (i % 5 == 4) port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2." + std::to_string(i) + ":1.0-port0";
        job.slots.push_back({std::to_string(i + 1), port});
    }
    return job;
}

// Every state a tile shows, in turn, with the texts of a line at work.
inline station::StationView MixedView(int slots) {
    using station::SlotState;
    static const SlotState kStates[] = {SlotState::kPassed, SlotState::kBusy,    SlotState::kFailed,
                                        SlotState::kWaiting, SlotState::kStopped, SlotState::kStopping};
    station::StationView view;
    for (int i = 0; i < slots; ++i) {
        station::SlotView s;
        s.index = i;
        s.name = std::to_string(i + 1);
        s.port = "COM" + std::to_string(i + 3);
        s.state = kStates[i % 6];
        s.passed = 1200 + i;
        s.failed = i % 3;
        s.serial = "SN-2026-" + std::to_string(100000 + i);
        if (s.state == SlotState::kBusy) {
            s.step = "Full Operation -  Programming";
            s.percent = 40 + i;
        }
        s.last_code = i == 3 ? -1 : 0;
        s.last_result = s.state == SlotState::kFailed ? "No.011 Communication error (block 0x80200 timed out)"
                                                      : "It ended normally completely";
        view.passed += s.passed;
        view.failed += s.failed;
        view.any_running = view.any_running || s.state != SlotState::kStopped;
        view.slots.push_back(s);
    }
    view.units_per_hour = 412;
    return view;
}

// The station behind the window in a test: it shows `view`, hands out
// `verdicts` once, and notes every press ("start 2", "stop all" ...).
class ViewedStation final : public StationControl {
public:
    station::StationView view;
    std::vector<station::Verdict> verdicts;
    std::vector<std::string> presses;

    station::StationView Snapshot() const override { return view; }
    std::vector<station::Verdict> TakeVerdicts() override { return std::exchange(verdicts, {}); }
    void Start(int slot) override { presses.push_back("start " + std::to_string(slot)); }
    void Stop(int slot) override { presses.push_back("stop " + std::to_string(slot)); }
    void StartAll() override { presses.push_back("start all"); }
    void PressKey(int slot) override { presses.push_back("key " + std::to_string(slot)); }
    void StopAll() override {
        presses.push_back("stop all");
        for (station::SlotView& s : view.slots) s.state = station::SlotState::kStopped;
    }
    bool AllStopped() const override {
        for (const station::SlotView& s : view.slots)
            if (s.state != station::SlotState::kStopped) return false;
        return true;
    }
};

}  // namespace mirelle::test
