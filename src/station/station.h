// A production station: the slots of a job, each programming board after
// board on its own port. A slot is a thread with its own FlashSession, its
// own record sink and its own state; a slot's failure, hang or lost port never
// stops another. Front ends (mirelle-cli station, the station window) start
// and stop slots and read a snapshot of every slot as often as they redraw;
// nothing here shows anything or waits for a person, except the key mode,
// whose "key" is pressed through PressKey.
//
// The cycle of a slot: wait for a board, Full Operation, verdict, wait for the
// board to go, again. How a board is seen coming and going is the job's
// detection mode (station/job_file.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "station/job_file.h"

namespace mirelle::station {

// What a slot is doing now.
enum class SlotState {
    kStopped,   // not running (before Start, after Stop)
    kWaiting,   // waiting for a board (or for its key)
    kBusy,      // Full Operation on a board
    kPassed,    // the last board passed; waiting for it to go
    kFailed,    // the last board failed; waiting for it to go
    kStopping,  // asked to stop: ends at its operation's next step
};

// The state's word as tables, JSON and the tiles show it: "STOPPED",
// "WAITING", "BUSY", "PASS", "FAIL", "STOPPING".
const char* StateWord(SlotState state);

// One slot as a front end shows it.
struct SlotView {
    int index = 0;              // from 0, in the job's order
    std::string name;           // the slot's name in the job ("1", "left" ...)
    std::string port;           // the port identity the job gives
    std::string device;         // what it resolved to now ("" when not present)
    SlotState state = SlotState::kStopped;
    std::string step;           // the running step's text ("Programming ...")
    int percent = -1;           // the step's progress, -1 when it has none
    std::string last_result;    // the last verdict's report text (first line)
    int last_code = -1;         // its result code, -1 before the first board
    std::string serial;         // the value patched into the current or last unit ("" : none)
    long long passed = 0;       // counts of this job on this station and slot,
    long long failed = 0;       // from the record store (they survive a restart)
    double last_seconds = 0;    // the last unit's time from board seen to verdict
    std::string notice;         // the slot's last warning (a record not kept, a port problem); "" : none
};

// The whole station as a front end shows it.
struct StationView {
    std::vector<SlotView> slots;
    long long passed = 0, failed = 0;  // every slot's counts together
    double units_per_hour = 0;         // verdicts per hour since the first Start
    bool any_running = false;          // some slot is not kStopped
};

// A verdict, as it is told to a front end once (for sounds and JSON events).
struct Verdict {
    int slot = 0;
    bool passed = false;
    int code = -1;
    std::string text;
    std::string serial;
    double seconds = 0;
};

class Station {
public:
    // `program_dir` is the folder with CHIPDEF.INI, the control programs and
    // Customize.ini (ends with a separator). The job must have passed CheckJob.
    Station(Job job, std::string program_dir);
    ~Station();  // stops every slot and waits for its thread
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    const Job& GetJob() const;
    int SlotCount() const;

    // Start and stop one slot (from 0) or all. Stop returns at once; the slot
    // ends its operation at the next step (its record whole, its port closed)
    // and shows kStopped when it has.
    void Start(int slot);
    void Stop(int slot);
    void StartAll();
    void StopAll();
    // Stops after this many verdicts in all (0: no limit).
    void SetUnitLimit(long long units);
    // The key of a slot in the key detection mode (the tile's button, Enter).
    void PressKey(int slot);

    // A copy of every slot's state; cheap enough for every redraw.
    StationView Snapshot() const;
    // The verdicts since the last call, in order.
    std::vector<Verdict> TakeVerdicts();
    // True when every slot is stopped (after StopAll, or the unit limit).
    bool AllStopped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace mirelle::station
