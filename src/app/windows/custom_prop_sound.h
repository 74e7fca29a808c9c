// The Sound page of the customize sheet: which sound the result reporter
// plays when an operation fails (event ERROR) or ends (event END), a wave
// file or the beep, and whether sounds play at all.
#pragma once

#include <string>

#include "ui/property_sheet.h"

namespace mirelle {

class CCustomPropSound : public ui::PropertyPage {
public:
    static constexpr int kEventError = 0;
    static constexpr int kEventEnd = 1;
    static constexpr int kTypeWave = 0;
    static constexpr int kTypeBeep = 1;

    CCustomPropSound();
    // Template 147 in the user interface language.
    static ui::DialogTemplate Template147();

    // Customize.ini, where Apply writes.
    std::string m_strCustomizePath;

    ui::ControlRef m_cbEvent;  // 0 ERROR, 1 END
    int m_bSound = 0;
    int m_nSoundType = -1;  // 0 Wave, 1 Beep
    std::string m_strWave;  // the wave combo's text
    std::string m_strErrorWave, m_strEndWave;
    int m_nErrorType = 0, m_nEndType = 0;
    int m_bErrorEnable = 0, m_bEndEnable = 0;
    int m_nEventAtFocus = kEventError;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnCommand(int id, int code) override;
    bool OnApply() override;

private:
    void SetEnableStates();
    int SelectedEvent() const;
    // The wave and its enable flag of one event.
    void SetEventWave(int event, const std::string& wave, int enable);
    void OnSoundCheck();
    void OnSoundType();
    void OnSelchangeEvent();
    void OnOpen();
    void OnKillfocusWave();
    void OnSelchangeWave();
    void OnPlay();
};

// Whether a text typed into the wave combo names a wave file: "<none>", or at
// least one character of name before ".wav" (any letter case) that is not a
// folder separator ('\\', and '/' on this platform).
bool IsWaveEntry(const std::string& text);

}  // namespace mirelle
