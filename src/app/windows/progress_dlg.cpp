#include "app/windows/progress_dlg.h"

#include <cstdio>

#include "app/windows/control_ids.h"
#include "platform/clock.h"
#include "platform/interrupt.h"

namespace mirelle {

using ui::ControlKind;

const ui::DialogTemplate& CProgressDlg::Template103() {
    static const ui::DialogTemplate tpl = {
        idc::kProgressTemplate, "", "MS Sans Serif", 10, 215, 103,
        ui::kPopup | ui::kCaption | ui::kModalFrame,
        {
            {idc::kStatusIcon, ControlKind::Icon, "", 18, 16, 20, 20, 0},
            {idc::kStatusText, ControlKind::Label, "information", 48, 20, 162, 42, 0},
            {idc::kProgressBar, ControlKind::Progress, "", 5, 65, 205, 10, ui::kBorder},
            {idc::kProgressButton, ControlKind::Button, "cancel", 82, 85, 50, 14, ui::kDefaultButton},
        }};
    return tpl;
}

CProgressDlg::CProgressDlg(int mode) : ui::Dialog(Template103()), m_nMode(mode) {}

CProgressDlg::~CProgressDlg() {
    if (HasWindow()) DestroyWindow();
}

bool CProgressDlg::Create(ui::Dialog* owner) {
    m_pOwner = owner != nullptr ? owner : ui::MainWindow();
    if (m_pOwner != nullptr && !m_pOwner->HasWindow()) m_pOwner = nullptr;
    if (m_pOwner != nullptr && m_pOwner->IsWindowEnabled()) {
        m_pOwner->EnableWindow(false);
        m_bOwnerDisabled = 1;
    }
    if (!ui::Dialog::Create(m_pOwner)) {
        RestoreOwner();
        return false;
    }
    return true;
}

void CProgressDlg::RestoreOwner() {
    if (m_bOwnerDisabled && m_pOwner != nullptr && m_pOwner->HasWindow()) m_pOwner->EnableWindow(true);
    m_bOwnerDisabled = 0;
}

bool CProgressDlg::DestroyWindow() {
    RestoreOwner();
    return ui::Dialog::DestroyWindow();
}

void CProgressDlg::DoDataExchange(ui::DataExchange& dx) { ui::DDX_Control(dx, idc::kProgressBar, m_progress); }

bool CProgressDlg::OnInitDialog() {
    UpdateData(false);
    m_progress.SetRange32(m_nLower, m_nUpper);
    m_progress.SetStep(m_nStep);
    m_progress.SetPos(m_nLower);
    m_rcFull = GetWindowRect();
    m_rcNoButton = m_rcFull;
    m_rcNoButton.bottom = ControlScreenRect(idc::kProgressButton).top;
    m_rcTextOnly = m_rcFull;
    m_rcTextOnly.bottom = ControlScreenRect(idc::kProgressBar).top;
    SetMode(m_nMode, true);
    return true;
}

int CProgressDlg::HeightForMode(int mode) const {
    if (mode == 0) return m_rcTextOnly.Height();
    if (mode == 8) return m_rcNoButton.Height();
    return m_rcFull.Height();
}

void CProgressDlg::SetMode(int mode, bool centre, const std::optional<std::string>& caption) {
    if (mode == -1) mode = kDefaultMode;
    m_nMode = mode;
    if (caption) SetWindowText(*caption);
    std::string text;
    if (mode & kModeOk) text = "Ok";
    else if (mode & kModeCancel) text = "Cancel";
    SetDlgItemText(idc::kProgressButton, text);
    if (mode & kModeButtonLive) {
        EnableControl(idc::kProgressButton, true);
        SetFocus(idc::kProgressButton);
        m_bButtonLive = 1;
    } else {
        EnableControl(idc::kProgressButton, false);
        m_bButtonLive = 0;
    }
    m_progress.EnableWindow((mode & kModeBar) != 0);
    // Centred by the height it has now, then resized keeping its position.
    if (centre) CenterWindow();
    ui::Rect r = GetWindowRect();
    r.bottom = r.top + HeightForMode(mode);
    MoveWindow(r);
    ShowWindow(true);
    BringToTop();
}

void CProgressDlg::SetStatus(const std::string& text) {
    EnableControl(idc::kStatusText, true);
    SetDlgItemText(idc::kStatusText, text);
}

void CProgressDlg::SetStatusIcon(int system_icon) { SetControlIcon(idc::kStatusIcon, system_icon); }

void CProgressDlg::SetProgress(int lower, int upper, int step, int position) {
    SetRange(lower, upper);
    SetStep(step);
    SetPos(position);
}

void CProgressDlg::SetRange(int lower, int upper) {
    m_nLower = lower;
    m_nUpper = upper;
    m_progress.SetRange32(lower, upper);
}

void CProgressDlg::SetStep(int step) {
    m_nStep = step;
    m_progress.SetStep(step);
}

int CProgressDlg::SetPos(int position) {
    DrainMessages();
    char caption[40];
    std::snprintf(caption, sizeof caption, "%d / %d", position, m_nUpper);
    SetWindowText(caption);
    return m_progress.SetPos(position);
}

int CProgressDlg::StepIt() {
    DrainMessages();
    char caption[40];
    std::snprintf(caption, sizeof caption, "%d / %d", m_progress.GetPos() + 1, m_nUpper);
    SetWindowText(caption);
    return m_progress.StepIt();
}

int CProgressDlg::PollCancel() {
    if (!m_bButtonLive) return 0;
    DrainMessages();
    int pressed = m_bCancel;
    m_bCancel = 0;
    return pressed;
}

void CProgressDlg::WaitForPress(const std::unique_ptr<CProgressDlg>& progress) {
    constexpr std::uint32_t kPollIntervalMs = 10;
    while (progress && progress->HasWindow() && progress->m_bButtonLive && sys::InterruptSignal() == 0) {
        if (progress->PollCancel() != 0) return;
        ProgramClock().SleepMs(kPollIntervalMs);
    }
}

void CProgressDlg::DrainMessages() { ui::PumpEvents(); }

}  // namespace mirelle
