#include "app/windows/station_dlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/windows/control_ids.h"
#include "app/windows/result_sound.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "texts/result_codes.h"

namespace mirelle {

using ui::ControlKind;
using namespace idc;

namespace {

// The grid and its measures in dialog units. A window of up to 4 slots uses
// the dialog font of the other windows; more slots a smaller one, so that 16
// tiles still fit a 1024x768 screen.
constexpr int kMargin = 6;
constexpr int kGap = 4;
constexpr int kHeaderHeight = 40;  // three lines of text beside Start all / Stop all
constexpr int kTileWidth = 150;
constexpr int kTileHeight = 92;
constexpr int kMinWidth = 320;
constexpr int kButtonWidth = 44;
constexpr int kAllButtonWidth = 52;
// What one character may take, in dialog units, when a text is cut to fit:
// the dialog unit is a quarter of the average character, and capitals and
// digits are wider than that average (4.5 units: a ninth more).
constexpr int kCharRoom = 5;  // when counting what a fixed text takes
int CharsIn(int room) { return room * 2 / 9; }

struct Grid {
    int columns = 1, rows = 1;
    int tile_width = kTileWidth;
    int width = kMinWidth, height = 0;
    int font_size = 10;
};

Grid GridFor(int slots) {
    Grid g;
    const int n = std::max(1, slots);
    g.columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    g.rows = (n + g.columns - 1) / g.columns;
    g.width = std::max(kMinWidth, 2 * kMargin + g.columns * kTileWidth + (g.columns - 1) * kGap);
    // The tiles share the width the header needs (one slot: one wide tile).
    g.tile_width = (g.width - 2 * kMargin - (g.columns - 1) * kGap) / g.columns;
    g.height = kHeaderHeight + g.rows * kTileHeight + (g.rows - 1) * kGap + kMargin;
    g.font_size = n <= 4 ? 10 : 8;
    return g;
}

int Tile(int slot, StationTilePart part) { return StationTileControl(slot, part); }

// A text shown as it is: a label would take a single '&' for a mnemonic mark.
std::string Literal(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

std::string StatePart(const char* label, long long value) { return std::string(label) + std::to_string(value); }

}  // namespace

ui::DialogTemplate CStationDlg::TemplateFor(int slots, bool key) {
    const Grid g = GridFor(slots);
    ui::DialogTemplate tpl;
    tpl.id = kStationTemplate;
    tpl.caption = "Station";
    tpl.font = "MS Sans Serif";
    tpl.font_size = g.font_size;
    tpl.cx = g.width;
    tpl.cy = g.height;
    tpl.style = ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kMinimizeBox;
    const int text_width = g.width - 2 * kMargin - kAllButtonWidth - kMargin;
    const int all_x = g.width - kMargin - kAllButtonWidth;
    tpl.controls = {
        {kStationJob, ControlKind::Label, "", kMargin, 6, text_width, 10, 0},
        {kStationProgram, ControlKind::Label, "", kMargin, 16, text_width, 10, 0},
        {kStationTotals, ControlKind::Label, "", kMargin, 26, text_width, 10, 0},
        {kStationStartAll, ControlKind::Button, "Start &all", all_x, 5, kAllButtonWidth, 14, ui::kGroup},
        {kStationStopAll, ControlKind::Button, "St&op all", all_x, 22, kAllButtonWidth, 14, 0},
    };
    for (int slot = 0; slot < std::max(1, slots); ++slot) {
        const int x = kMargin + (slot % g.columns) * (g.tile_width + kGap);
        const int y = kHeaderHeight + (slot / g.columns) * (kTileHeight + kGap);
        const int w = g.tile_width;
        const int inner = w - 12;
        const int button_x = x + w - 6 - kButtonWidth;
        const std::vector<ui::ControlTemplate> tile = {
            {Tile(slot, kTileFrame), ControlKind::GroupBox, "", x, y, w, kTileHeight, 0},
            {Tile(slot, kTileState), ControlKind::Label, "", x + 6, y + 12, inner - kButtonWidth - 4, 20,
             ui::kLargeText},
            {Tile(slot, kTileStart), ControlKind::Button, "Start", button_x, y + 11, kButtonWidth, 12, 0},
            {Tile(slot, kTileStop), ControlKind::Button, "Stop", button_x, y + 25, kButtonWidth, 12, 0},
            {Tile(slot, kTileStep), ControlKind::Label, "", x + 6, y + 40, key ? inner - kButtonWidth - 4 : inner, 9, 0},
            {Tile(slot, kTileBar), ControlKind::Progress, "", x + 6, y + 50, inner, 7, 0},
            {Tile(slot, kTileResult), ControlKind::Label, "", x + 6, y + 59, inner, 9, 0},
            {Tile(slot, kTileSerial), ControlKind::Label, "", x + 6, y + 69, inner, 9, 0},
            {Tile(slot, kTileCounts), ControlKind::Label, "", x + 6, y + 79, inner, 9, 0},
        };
        tpl.controls.insert(tpl.controls.end(), tile.begin(), tile.end());
        if (key) tpl.controls.push_back({Tile(slot, kTileKey), ControlKind::Button, "Go", button_x, y + 38, kButtonWidth, 11, 0});
    }
    return tpl;
}

ui::Color CStationDlg::StateColor(station::SlotState state) {
    switch (state) {
        case station::SlotState::kPassed: return 0x1B8A2E;   // green
        case station::SlotState::kFailed: return 0xC62828;   // red
        case station::SlotState::kBusy: return 0xC77800;     // amber, dark enough to read on grey
        case station::SlotState::kWaiting: return 0x1565C0;  // blue
        case station::SlotState::kStopped:
        case station::SlotState::kStopping: break;
    }
    return 0x707070;  // grey
}

std::string CStationDlg::Fit(const std::string& text, int room, bool keep_end) {
    const std::size_t most = static_cast<std::size_t>(std::max(4, CharsIn(room)));
    if (text.size() <= most) return text;
    const std::size_t keep = most - 3;
    // Cut between characters, never inside a UTF-8 sequence.
    auto continuation = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    if (keep_end) {
        std::size_t from = text.size() - keep;
        while (from < text.size() && continuation(from)) ++from;
        return "..." + text.substr(from);
    }
    std::size_t to = keep;
    while (to > 0 && continuation(to)) --to;
    return text.substr(0, to) + "...";
}

CStationDlg::CStationDlg(const station::Job& job, StationControl& control, settings::CustomizeSettings sounds,
                         ui::Dialog* parent)
    : ui::Dialog(TemplateFor(static_cast<int>(job.slots.size()), job.detection == station::Detection::kKey), parent),
      m_job(job),
      m_control(control),
      m_sounds(std::move(sounds)) {}

bool CStationDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText("Station - " + m_job.name);
    // The screen's measures are in the dialog units of the other windows'
    // font; a window in the smaller font of many slots cannot be centred in
    // them, so it stands near the screen's corner, where all of it shows.
    if (Template().font_size != GridFor(1).font_size) {
        const ui::Rect screen = ui::ActiveBackend().ScreenRect();
        const int left = screen.left + 2, top = screen.top + 2;
        MoveWindow({left, top, left + Template().cx, top + Template().cy});
    }
    const int text_width = ControlRect(kStationJob).Width();
    // The header: what the job fixes. Names that do not fit are cut, the
    // target and the hash never.
    const std::string target = "    Target: " + m_job.target;
    const int name_room = text_width - static_cast<int>(std::string("Job: ").size() + target.size()) * kCharRoom;
    SetDlgItemText(kStationJob, "Job: " + Literal(Fit(m_job.name, name_room)) + Literal(target));
    std::string file = m_job.program_file;
    const std::size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos) file = file.substr(slash + 1);
    const std::string hash = "    SHA-256: " + m_job.program_sha256.substr(0, 8);
    const int file_room = text_width - static_cast<int>(std::string("Program: ").size() + hash.size()) * kCharRoom;
    SetDlgItemText(kStationProgram, "Program: " + Literal(Fit(file, file_room)) + hash);
    for (int slot = 0; slot < static_cast<int>(m_job.slots.size()); ++slot) {
        const station::JobSlot& s = m_job.slots[static_cast<std::size_t>(slot)];
        // The frame's caption: the slot's name and its port (a long device
        // path keeps its end, which tells the socket).
        const int room = ControlRect(Tile(slot, kTileFrame)).Width() - 30;
        const std::string name = Fit(s.name, room / 2) + "  ";
        SetDlgItemText(Tile(slot, kTileFrame),
                       Literal(name + Fit(s.port, room - static_cast<int>(name.size()) * kCharRoom, true)));
        SetRange32(Tile(slot, kTileBar), 0, 100);
    }
    ShowView(m_control.Snapshot());
    return true;
}

void CStationDlg::ShowView(const station::StationView& view) {
    auto set_text = [this](int id, const std::string& text) {
        if (GetDlgItemText(id) != text) SetDlgItemText(id, text);
    };
    bool any_stopped = false;
    bool any_stoppable = false;
    const int tiles = static_cast<int>(m_job.slots.size());
    for (const station::SlotView& s : view.slots) {
        if (s.index < 0 || s.index >= tiles) continue;
        const int slot = s.index;
        const int inner = ControlRect(Tile(slot, kTileResult)).Width();
        const int step_room = ControlRect(Tile(slot, kTileStep)).Width();
        set_text(Tile(slot, kTileState), station::StateWord(s.state));
        SetTextColor(Tile(slot, kTileState), StateColor(s.state));
        // Every board runs Full Operation: the tile shows the step within it
        // ("Programming 45%"), which a narrow tile would otherwise cut off.
        std::string step = s.step;
        if (const auto dash = step.find(" - "); dash != std::string::npos) {
            step.erase(0, dash + 3);
            step.erase(0, step.find_first_not_of(' '));
        }
        if (s.percent >= 0 && !step.empty()) step += "  " + std::to_string(s.percent) + "%";
        set_text(Tile(slot, kTileStep), Fit(step, step_room));
        const int position = std::clamp(s.percent, 0, 100);
        if (GetPos(Tile(slot, kTileBar)) != position) SetPos(Tile(slot, kTileBar), position);
        set_text(Tile(slot, kTileResult), Literal(Fit(s.last_code < 0 ? "No board yet" : s.last_result, inner)));
        set_text(Tile(slot, kTileSerial),
                 Literal(Fit("Serial: " + (s.serial.empty() ? std::string("-") : s.serial), inner)));
        set_text(Tile(slot, kTileCounts), StatePart("Passed: ", s.passed) + StatePart("    Failed: ", s.failed));
        const bool stopped = s.state == station::SlotState::kStopped;
        const bool stoppable = !stopped && s.state != station::SlotState::kStopping;
        EnableControl(Tile(slot, kTileStart), stopped && !m_bClosing);
        EnableControl(Tile(slot, kTileStop), stoppable);
        // In key detection a slot waits for its key after a verdict too (it
        // shows PASS or FAIL until the next board): the key is live then.
        EnableControl(Tile(slot, kTileKey), s.state == station::SlotState::kWaiting ||
                                                 s.state == station::SlotState::kPassed ||
                                                 s.state == station::SlotState::kFailed);
        any_stopped = any_stopped || stopped;
        any_stoppable = any_stoppable || stoppable;
    }
    const long long units = view.passed + view.failed;
    char totals[160];
    if (units > 0) {
        std::snprintf(totals, sizeof totals, "Passed: %lld    Failed: %lld    Yield: %.1f%%    Units per hour: %.0f",
                      view.passed, view.failed, 100.0 * static_cast<double>(view.passed) / static_cast<double>(units),
                      view.units_per_hour);
    } else {
        std::snprintf(totals, sizeof totals, "Passed: 0    Failed: 0    Yield: -    Units per hour: -");
    }
    set_text(kStationTotals, totals);
    EnableControl(kStationStartAll, any_stopped && !m_bClosing);
    EnableControl(kStationStopAll, any_stoppable);
}

void CStationDlg::Refresh() {
    ShowView(m_control.Snapshot());
    PlayVerdictSounds(m_control.TakeVerdicts());
}

void CStationDlg::PlayVerdictSounds(const std::vector<station::Verdict>& verdicts) {
    if (verdicts.empty()) return;
    // One sound for the verdicts of one redraw; a fail is never drowned by a
    // pass that came with it.
    const bool any_failed =
        std::any_of(verdicts.begin(), verdicts.end(), [](const station::Verdict& v) { return !v.passed; });
    PlayResultSound(m_sounds, any_failed ? result::kSoundError : result::kSoundEnd);
}

bool CStationDlg::OnCommand(int id, int code) {
    if (code != ui::kBnClicked) return false;
    if (id == kStationStartAll) {
        m_control.StartAll();
    } else if (id == kStationStopAll) {
        m_control.StopAll();
    } else if (id >= kStationTileBase && id < kStationTileBase + static_cast<int>(m_job.slots.size()) * kStationTileStride) {
        const int slot = (id - kStationTileBase) / kStationTileStride;
        const int part = (id - kStationTileBase) % kStationTileStride;
        if (part == kTileStart) m_control.Start(slot);
        else if (part == kTileStop) m_control.Stop(slot);
        else if (part == kTileKey) m_control.PressKey(slot);
        else return false;
    } else {
        return false;
    }
    ShowView(m_control.Snapshot());  // the press shows at once
    return true;
}

void CStationDlg::OnClose() {
    // The window goes once every slot has ended its operation and closed its port.
    m_bClosing = true;
    m_control.StopAll();
    ShowView(m_control.Snapshot());
}

bool CStationDlg::Run(ui::Dialog* owner) {
    const bool disable_owner = owner != nullptr && owner->HasWindow() && owner->IsWindowEnabled();
    if (disable_owner) owner->EnableWindow(false);
    if (!Create(owner)) {
        if (disable_owner) owner->EnableWindow(true);
        return false;
    }
    ShowWindow(true);
    Clock& clock = ProgramClock();
    std::uint32_t last = clock.TickMs();
    Refresh();
    while (HasWindow()) {
        ui::PumpEvents();
        if (!HasWindow()) break;
        if (!m_bClosing && sys::InterruptSignal() != 0) OnClose();
        if (m_bClosing && m_control.AllStopped()) break;
        if (clock.TickMs() - last >= kRefreshMs) {
            Refresh();
            last = clock.TickMs();
        }
        clock.SleepMs(kPumpMs);
    }
    if (HasWindow()) {
        Refresh();
        DestroyWindow();
    }
    if (disable_owner && owner->HasWindow()) owner->EnableWindow(true);
    return true;
}

}  // namespace mirelle
