// The Tooltips page of the customize sheet: the main window's tooltips on or off.
#pragma once

#include <string>

#include "ui/property_sheet.h"

namespace mirelle {

class CCustomPropTool : public ui::PropertyPage {
public:
    CCustomPropTool();
    // Template 149 in the user interface language.
    static ui::DialogTemplate Template149();

    std::string m_strCustomizePath;  // where Apply writes
    int m_bToolTips = 0;

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    bool OnApply() override;
};

}  // namespace mirelle
