// The customize sheet: the Sound and Tooltips pages, which write their
// values straight into Customize.ini; the main window reads the file again
// when the sheet closes.
#pragma once

#include <string>

#include "app/windows/custom_prop_sound.h"
#include "app/windows/custom_prop_tool.h"
#include "ui/property_sheet.h"
#include "settings/settings.h"

namespace mirelle {

class CCustomPropMain : public ui::PropertySheet {
public:
    // `customize_path`: the Customize.ini that the pages write.
    CCustomPropMain(const std::string& caption, const std::string& customize_path);

    // Hands the settings to the pages, then runs the sheet.
    int DoModal();

    CCustomPropSound m_soundPage;
    CCustomPropTool m_toolPage;
    settings::CustomizeSettings m_settings;  // a copy of the main window's

protected:
    bool OnInitDialog() override;
    bool PreTranslateMessage(ui::InputEvent& event) override;
};

// The sheet's buttons in the user interface language.
ui::SheetButtonTexts CustomizeSheetButtons();

}  // namespace mirelle
