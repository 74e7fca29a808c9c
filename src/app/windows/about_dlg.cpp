#include "app/windows/about_dlg.h"

#include "app/windows/control_ids.h"
#include "texts/version_text.h"

namespace mirelle {

using ui::ControlKind;

const ui::DialogTemplate& CAboutDlg::Template100() {
    static const ui::DialogTemplate tpl = {
        idc::kAboutTemplate, "(C)Information", "MS Sans Serif", 10, 219, 54,
        ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kModalFrame,
        {
            {ui::kStaticId, ControlKind::Icon, "128", 6, 5, 20, 20, 0},
            {ui::kStaticId, ControlKind::Label, "Mirelle", 34, 11, 110, 8, ui::kNoTabStop},
            {ui::kIdOk, ControlKind::Button, "OK", 181, 5, 32, 14, ui::kDefaultButton | ui::kGroup},
            {idc::kVersionLabel, ControlKind::Label, "ver", 149, 23, 46, 12, 0},
            {ui::kStaticId, ControlKind::Label, "Flash programmer for single-chip microcontrollers", 10, 39, 201, 8,
             ui::kCentered},
        }};
    return tpl;
}

CAboutDlg::CAboutDlg(ui::Dialog* parent) : ui::Dialog(Template100(), parent) {}

bool CAboutDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetDlgItemText(idc::kVersionLabel, ProductVersionText());
    return true;
}

}  // namespace mirelle
