// One slot of a station: a thread with its own FlashSession, events, record
// sink and port, going round its cycle (wait for a board, Full Operation,
// verdict, wait for the board to go) until it is stopped or the station's
// unit limit is reached. What it does is seen only through the shared views
// (under the shared mutex); it never waits for anything but its port, its
// key and its stop.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "station/job_file.h"
#include "station/station.h"

namespace mirelle::station {

// What the slots of a station share, under `mutex`.
struct StationShared {
    std::mutex mutex;
    std::condition_variable wake;  // a stop or a key press
    std::vector<SlotView> views;
    std::vector<Verdict> verdicts;  // not yet taken
    long long unit_limit = 0;       // 0: none
    long long units_started = 0;    // boards taken on since the limit was set
    long long verdict_count = 0;    // since the first Start
    std::optional<std::chrono::steady_clock::time_point> first_start;
};

class Slot {
public:
    Slot(const Job& job, int index, std::string program_dir, StationShared& shared);
    ~Slot();  // stops the slot and waits for its thread
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    void Start();
    void Stop();  // returns at once
    void PressKey();

private:
    class Cycle;  // the thread's own state (slot.cpp)
    void Run();
    bool Stopping() const { return stop_.load(); }

    const Job& job_;
    const int index_;
    const std::string program_dir_;
    StationShared& shared_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> key_{false};
    bool running_ = false;          // the thread has not ended yet (under shared_.mutex)
    bool restart_ = false;          // Start while it was ending: go on instead (under shared_.mutex)
    std::thread thread_;
};

}  // namespace mirelle::station
