// The progress window of a running command: an icon, a message, a progress
// bar whose position also stands in the caption as "n / N", and one button
// that serves as "Cancel" while the operation runs and as "Ok" when the
// result is shown. A press only sets a flag that the operation polls.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/dialog.h"

namespace mirelle {

class CProgressDlg : public ui::Dialog {
public:
    // Mode bits.
    static constexpr int kModeOk = 1;
    static constexpr int kModeCancel = 2;
    static constexpr int kModeButtonLive = 4;
    static constexpr int kModeBar = 8;
    static constexpr int kDefaultMode = 13;  // what -1 stands for

    explicit CProgressDlg(int mode = -1);
    ~CProgressDlg() override;

    // Disables the owner (the main window when null) and creates the window;
    // on failure the owner is enabled again.
    bool Create(ui::Dialog* owner);
    // Enables the owner again, then destroys the window.
    bool DestroyWindow() override;
    void RestoreOwner();

    void SetMode(int mode, bool centre = false, const std::optional<std::string>& caption = std::nullopt);
    void SetStatus(const std::string& text);
    void SetStatusIcon(int system_icon);
    void SetProgress(int lower, int upper, int step, int position);
    void SetRange(int lower, int upper);
    void SetStep(int step);
    int SetPos(int position);
    int StepIt();
    // 1 once for each press of the live button, else 0.
    int PollCancel();
    // Polls every 10 ms until the live button of `progress` is pressed. The
    // wait also ends when the window, its live button or the object itself is
    // gone (it is looked up afresh after every dispatch of events), or the
    // run was interrupted by a signal, so that nothing waits for a press that
    // cannot come.
    static void WaitForPress(const std::unique_ptr<CProgressDlg>& progress);
    // Dispatches every pending event of the thread and returns.
    void DrainMessages();

    // The window height that `mode` gives.
    int HeightForMode(int mode) const;

    ui::ProgressCtrl m_progress;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 1;
    int m_nMode;
    int m_bButtonLive = 0;
    int m_bCancel = 0;
    int m_bOwnerDisabled = 0;
    ui::Rect m_rcFull;
    ui::Rect m_rcNoButton;
    ui::Rect m_rcTextOnly;

    static const ui::DialogTemplate& Template103();

protected:
    bool OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override {}
    void OnCancel() override { m_bCancel = 1; }
    // Enter has no effect here, even on the focused button: a stray Enter
    // must not cancel a running transfer. Esc and a click still cancel.
    bool PreTranslateMessage(ui::InputEvent& event) override {
        return event.kind == ui::InputKind::KeyDown && event.key == ui::kVkReturn && !event.alt;
    }

private:
    ui::Dialog* m_pOwner = nullptr;
};

}  // namespace mirelle
