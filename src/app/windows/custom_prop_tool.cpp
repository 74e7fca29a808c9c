#include "app/windows/custom_prop_tool.h"

#include "texts/string_table.h"
#include "app/windows/control_ids.h"
#include "platform/profile.h"

namespace mirelle {

ui::DialogTemplate CCustomPropTool::Template149() {
    return {idc::kToolPageTemplate, LoadString(ids::kToolPageTitle), "MS Sans Serif", 10, 220, 124, 0,
            {
                {idc::kToolTipsCheck, ui::ControlKind::CheckBox, LoadString(ids::kToolTipsCheck), 10, 8, 150, 12, 0},
            }};
}

CCustomPropTool::CCustomPropTool() : ui::PropertyPage(Template149()) {}

void CCustomPropTool::DoDataExchange(ui::DataExchange& dx) { ui::DDX_Check(dx, idc::kToolTipsCheck, m_bToolTips); }

bool CCustomPropTool::OnInitDialog() {
    ui::PropertyPage::OnInitDialog();
    UpdateData(false);
    return true;
}

bool CCustomPropTool::OnCommand(int id, int code) {
    if (id != idc::kToolTipsCheck) return false;
    if (code == ui::kBnClicked) {
        UpdateData(true);
        SetModified();
    }
    return true;
}

bool CCustomPropTool::OnApply() {
    UpdateData(true);
    profile::WriteString(m_strCustomizePath, "Tool", "ToolTips", std::to_string(m_bToolTips));
    return ui::PropertyPage::OnApply();
}

}  // namespace mirelle
