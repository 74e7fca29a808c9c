#include "app/windows/custom_prop_sound.h"

#include <cctype>

#include "texts/string_table.h"
#include "app/windows/control_ids.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace mirelle {

using ui::ControlKind;
using namespace idc;

namespace {

constexpr const char* kNone = "<none>";

// The short form of a wave path for Customize.ini, or "<none>" when there is
// none (the text is "<none>" or the file does not exist).
std::string ShortWavePath(const std::string& path) {
    std::string shortened;
    if (path.empty() || path == kNone || !sys::ShortPathName(path, shortened)) return kNone;
    return shortened;
}

}  // namespace

bool IsWaveEntry(const std::string& text) {
    if (text == kNone) return true;
    if (text.size() < 5) return false;
    std::string ext = text.substr(text.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const char before = text[text.size() - 5];
    return ext == ".wav" && before != '\\' && before != '/';
}

ui::DialogTemplate CCustomPropSound::Template147() {
    return {kSoundPageTemplate, LoadString(ids::kSoundPageTitle), "MS Sans Serif", 10, 220, 124, 0,
            {
                {kEnableSound, ControlKind::CheckBox, LoadString(ids::kEnableSoundCheck), 10, 8, 150, 12, 0},
                {kEventLabel, ControlKind::Label, LoadString(ids::kEventLabel), 10, 28, 40, 12, 0},
                {kEventCombo, ControlKind::DropList, "", 52, 27, 66, 50, 0, {"ERROR", "END"}},
                {kSoundTypeGroup, ControlKind::GroupBox, LoadString(ids::kSoundTypeGroup), 126, 20, 86, 44, 0},
                {kWaveRadio, ControlKind::RadioButton, LoadString(ids::kWaveRadio), 136, 32, 70, 11, ui::kGroup},
                {kBeepRadio, ControlKind::RadioButton, LoadString(ids::kBeepRadio), 136, 47, 70, 11, 0},
                {kWaveFileLabel, ControlKind::Label, LoadString(ids::kWaveFileLabel), 10, 68, 120, 10, 0},
                {kWaveCombo, ControlKind::DropDown, "", 10, 80, 202, 60, 0, {kNone}},
                {kWaveOpen, ControlKind::Button, LoadString(ids::kWaveOpenButton), 10, 101, 56, 15, 0},
                {kWavePlay, ControlKind::Button, LoadString(ids::kWavePlayButton), 83, 101, 56, 15, 0},
                {kWaveStop, ControlKind::Button, LoadString(ids::kWaveStopButton), 156, 101, 56, 15, 0},
            }};
}

CCustomPropSound::CCustomPropSound() : ui::PropertyPage(Template147()) {}

void CCustomPropSound::DoDataExchange(ui::DataExchange& dx) {
    ui::DDX_Control(dx, kEventCombo, m_cbEvent);
    ui::DDX_Check(dx, kEnableSound, m_bSound);
    ui::DDX_Radio(dx, kWaveRadio, m_nSoundType);
    ui::DDX_Text(dx, kWaveCombo, m_strWave);
}

int CCustomPropSound::SelectedEvent() const { return GetCurSel(kEventCombo) == kEventEnd ? kEventEnd : kEventError; }

bool CCustomPropSound::OnInitDialog() {
    ui::PropertyPage::OnInitDialog();
    m_cbEvent.Bind(this, kEventCombo);
    SetCurSel(kEventCombo, kEventError);
    m_nSoundType = m_nErrorType;
    m_strWave = m_strErrorWave;
    SetEnableStates();
    UpdateData(false);
    return true;
}

void CCustomPropSound::SetEnableStates() {
    const bool sound = m_bSound == 1;
    for (int id : {kEventLabel, kSoundTypeGroup, kWaveRadio, kBeepRadio, kEventCombo}) EnableControl(id, sound);
    const bool wave = sound && m_nSoundType == kTypeWave;
    for (int id : {kWaveFileLabel, kWaveCombo, kWaveOpen, kWavePlay, kWaveStop}) EnableControl(id, wave);
}

void CCustomPropSound::SetEventWave(int event, const std::string& wave, int enable) {
    if (event == kEventError) {
        m_strErrorWave = wave;
        m_bErrorEnable = enable;
    } else {
        m_strEndWave = wave;
        m_bEndEnable = enable;
    }
}

bool CCustomPropSound::OnCommand(int id, int code) {
    switch (id) {
        case kEnableSound:
            if (code == ui::kBnClicked) OnSoundCheck();
            return true;
        case kWaveRadio:
        case kBeepRadio:
            if (code == ui::kBnClicked) OnSoundType();
            return true;
        case kEventCombo:
            if (code == ui::kCbnSelChange) OnSelchangeEvent();
            return true;
        case kWaveCombo:
            if (code == ui::kCbnSetFocus) m_nEventAtFocus = SelectedEvent();
            else if (code == ui::kCbnKillFocus) OnKillfocusWave();
            else if (code == ui::kCbnSelChange) OnSelchangeWave();
            return true;
        case kWaveOpen:
            if (code == ui::kBnClicked) OnOpen();
            return true;
        case kWavePlay:
            if (code == ui::kBnClicked) OnPlay();
            return true;
        case kWaveStop:
            if (code == ui::kBnClicked) ui::ActiveBackend().StopSound();
            return true;
        default:
            return false;
    }
}

void CCustomPropSound::OnSoundCheck() {
    UpdateData(true);
    SetEnableStates();
    SetModified();
}

void CCustomPropSound::OnSoundType() {
    UpdateData(true);
    SetEnableStates();
    const int valid = (m_nSoundType == kTypeWave && m_strWave == kNone) ? 0 : 1;
    if (SelectedEvent() == kEventError) {
        m_nErrorType = m_nSoundType;
        m_bErrorEnable = valid;
    } else {
        m_nEndType = m_nSoundType;
        m_bEndEnable = valid;
    }
    SetModified();
}

void CCustomPropSound::OnSelchangeEvent() {
    UpdateData(true);
    if (SelectedEvent() == kEventError) {
        m_strWave = m_strErrorWave;
        m_nSoundType = m_nErrorType;
    } else {
        m_strWave = m_strEndWave;
        m_nSoundType = m_nEndType;
    }
    SetEnableStates();
    UpdateData(false);
}

void CCustomPropSound::OnOpen() {
    ui::FileDialogRequest request;
    request.save = false;
    request.owner = Sheet() != nullptr ? static_cast<ui::Dialog*>(Sheet()) : this;
    request.filter = "Sound (*.wav)|*.wav||";
    request.default_extension = "wav";
    request.initial_name = "*.wav";
    request.flags = ui::kFileMustExist | ui::kHideReadOnly;
    const std::optional<std::string> chosen = ui::ActiveBackend().FileDialog(request);
    if (!chosen) return;
    m_strWave = *chosen;
    SetEventWave(SelectedEvent(), m_strWave, 1);
    UpdateData(false);
    SetModified();
}

void CCustomPropSound::OnKillfocusWave() {
    const std::string previous = m_strWave;
    UpdateData(true);
    if (!IsWaveEntry(m_strWave)) {
        // The sheet is the owner, so neither it nor its pages take input meanwhile.
        ui::MessageBox(Sheet() != nullptr ? static_cast<ui::Dialog*>(Sheet()) : this,
                       LoadString(ids::kWaveEntryMistake), "falsh", ui::MessageButtons::Ok,
                       ui::MessageIcon::Exclamation);
        m_strWave = previous;
        UpdateData(false);
        return;
    }
    SetEventWave(m_nEventAtFocus, m_strWave, m_strWave == kNone ? 0 : 1);
    SetModified();
}

void CCustomPropSound::OnSelchangeWave() {
    UpdateData(true);
    SetEventWave(SelectedEvent(), m_strWave, m_strWave == kNone ? 0 : 1);
    SetModified();
}

void CCustomPropSound::OnPlay() {
    ui::Backend& backend = ui::ActiveBackend();
    backend.StopSound();
    backend.PlayWave(m_strWave);
}

bool CCustomPropSound::OnApply() {
    UpdateData(true);
    const std::string& path = m_strCustomizePath;
    profile::WriteString(path, "Sound", "Sound", std::to_string(m_bSound));
    profile::WriteString(path, "Sound", "ErrorEnable", std::to_string(m_bErrorEnable));
    profile::WriteString(path, "Sound", "ErrorType", std::to_string(m_nErrorType));
    m_strErrorWave = ShortWavePath(m_strErrorWave);
    profile::WriteString(path, "Sound", "ErrorPass", m_strErrorWave);
    profile::WriteString(path, "Sound", "EndEnable", std::to_string(m_bEndEnable));
    profile::WriteString(path, "Sound", "EndType", std::to_string(m_nEndType));
    m_strEndWave = ShortWavePath(m_strEndWave);
    profile::WriteString(path, "Sound", "EndPass", m_strEndWave);
    return ui::PropertyPage::OnApply();
}

}  // namespace mirelle
