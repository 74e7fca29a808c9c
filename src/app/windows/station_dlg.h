// The station window: the slots of a job at a glance, for an operator at a
// production line. A header names the job, its target, its program file and
// the first 8 hex digits of the file's SHA-256, with the totals (passed,
// failed, yield, units per hour) and Start all / Stop all. Below it one tile
// per slot, in a grid (1, 2x1, 2x2, 3x2, 3x3, 4x3, 4x4 ...): the slot's name
// and port, its state as a large word in colour (PASS green, FAIL red, BUSY
// amber, WAITING blue, STOPPED grey), the running step and its bar, the last
// verdict's text and serial number, the slot's counts and its Start / Stop
// (and Go, the slot's key, when the job's boards are told by a key).
// Nothing here changes the target, the file or a port: the job fixes them.
//
// The window keeps no timer. Its loop (Run) dispatches the pending events,
// redraws from a snapshot of the station a few times a second and sleeps a
// little in between, as the progress window stays alive during an operation.
// A verdict plays the customize sheet's sound: END for a pass, ERROR for a
// fail.
#pragma once

#include <string>
#include <vector>

#include "settings/settings.h"
#include "station/job_file.h"
#include "station/station.h"
#include "ui/dialog.h"

namespace mirelle {

// What the window drives: a station's slots (a station::Station in the
// program; the tests put views of their own behind it).
class StationControl {
public:
    virtual ~StationControl() = default;
    virtual station::StationView Snapshot() const = 0;
    virtual std::vector<station::Verdict> TakeVerdicts() = 0;
    virtual void Start(int slot) = 0;
    virtual void Stop(int slot) = 0;
    virtual void StartAll() = 0;
    virtual void PressKey(int slot) = 0;
    virtual void StopAll() = 0;
    virtual bool AllStopped() const = 0;
};

// A station::Station behind the window.
class StationOf final : public StationControl {
public:
    explicit StationOf(station::Station& station) : station_(station) {}
    station::StationView Snapshot() const override { return station_.Snapshot(); }
    std::vector<station::Verdict> TakeVerdicts() override { return station_.TakeVerdicts(); }
    void Start(int slot) override { station_.Start(slot); }
    void Stop(int slot) override { station_.Stop(slot); }
    void StartAll() override { station_.StartAll(); }
    void StopAll() override { station_.StopAll(); }
    void PressKey(int slot) override { station_.PressKey(slot); }
    bool AllStopped() const override { return station_.AllStopped(); }

private:
    station::Station& station_;
};

class CStationDlg : public ui::Dialog {
public:
    // How often the window redraws from the station, and how long its loop
    // sleeps between two dispatches of events.
    static constexpr std::uint32_t kRefreshMs = 200;
    static constexpr std::uint32_t kPumpMs = 20;

    // `job` gives the header and the slots' names and ports; `sounds` the
    // sounds of a verdict (Customize.ini of the program folder).
    CStationDlg(const station::Job& job, StationControl& control, settings::CustomizeSettings sounds,
                ui::Dialog* parent = nullptr);

    // The window's template for a job of `slots` slots; `key`: each tile has
    // the slot's key (Go), for a job whose boards are told by a key press.
    static ui::DialogTemplate TemplateFor(int slots, bool key = false);
    // The state word's colour (0xRRGGBB).
    static ui::Color StateColor(station::SlotState state);
    // `text` cut to at most `room` dialog units of width, with "..." where it
    // was cut: at its end, or at its start when `keep_end` (a port's path
    // tells its socket at the end).
    static std::string Fit(const std::string& text, int room, bool keep_end = false);

    // Shows the window over `owner` (disabled meanwhile) and runs it until it
    // is closed (close box, or an interrupting signal) and every slot has
    // stopped. False when the window could not be made.
    bool Run(ui::Dialog* owner);
    // Redraws every text, colour, bar and button from a snapshot and plays
    // the sound of the verdicts since the last redraw.
    void Refresh();
    // Shows `view` (what Refresh does with the snapshot).
    void ShowView(const station::StationView& view);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    void OnOK() override {}      // Enter presses no button of the window
    void OnCancel() override {}  // nor does Esc close it with slots running
    void OnClose() override;

private:
    void PlayVerdictSounds(const std::vector<station::Verdict>& verdicts);

    station::Job m_job;
    StationControl& m_control;
    settings::CustomizeSettings m_sounds;
    bool m_bClosing = false;
};

// Opens the station window of the job file `job_path` over `owner` (null:
// none) and runs it until it is closed. A job that cannot be read, or whose
// CheckJob finds problems, is refused with a message box naming each one and
// nothing is started. `program_dir` holds CHIPDEF.INI, the control programs
// and Customize.ini (ends with a separator). Returns 0 after the slots
// stopped, 2 when the job was refused, 1 when no window could be made.
int RunStationWindow(const std::string& job_path, const std::string& program_dir, ui::Dialog* owner);

}  // namespace mirelle
