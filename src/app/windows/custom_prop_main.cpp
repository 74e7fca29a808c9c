#include "app/windows/custom_prop_main.h"

#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"

namespace mirelle {

ui::SheetButtonTexts CustomizeSheetButtons() {
    return {LoadString(ids::kSheetOk), LoadString(ids::kSheetCancel), LoadString(ids::kSheetApply),
            LoadString(ids::kSheetHelp)};
}

CCustomPropMain::CCustomPropMain(const std::string& caption, const std::string& customize_path)
    : ui::PropertySheet(caption, nullptr, CustomizeSheetButtons()) {
    m_soundPage.m_strCustomizePath = customize_path;
    m_toolPage.m_strCustomizePath = customize_path;
    AddPage(&m_soundPage);
    AddPage(&m_toolPage);
}

int CCustomPropMain::DoModal() {
    m_soundPage.m_bSound = m_settings.bSound;
    m_soundPage.m_strErrorWave = m_settings.strErrorWave;
    m_soundPage.m_strEndWave = m_settings.strEndWave;
    m_soundPage.m_nErrorType = m_settings.nErrorType;
    m_soundPage.m_nEndType = m_settings.nEndType;
    m_soundPage.m_bErrorEnable = m_settings.bErrorEnable;
    m_soundPage.m_bEndEnable = m_settings.bEndEnable;
    m_toolPage.m_bToolTips = m_settings.bToolTips;
    return ui::PropertySheet::DoModal();
}

bool CCustomPropMain::OnInitDialog() {
    const bool result = ui::PropertySheet::OnInitDialog();
    // Neither page offers help.
    EnableControl(kIdHelp, false);
    return result;
}

bool CCustomPropMain::PreTranslateMessage(ui::InputEvent& event) {
    EnableControl(kIdHelp, false);
    return ui::PropertySheet::PreTranslateMessage(event);
}

// --- the main window's side ---

void CWriterDlg::OnSetEnvironment() {
    CCustomPropMain sheet(LoadString(ids::kCustomizeCaption), m_strModuleDir + "Customize.ini");
    sheet.m_settings = m_settings;
    sheet.DoModal();
    // However the sheet was closed: the new sounds and tooltips take effect now.
    LoadSettings();
}

}  // namespace mirelle
