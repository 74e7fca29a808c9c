#include "app/windows/start_address_dlg.h"


#include "app/windows/control_ids.h"
#include "hexfile/program_file.h"
#include "protocol/read_block.h"
#include "texts/string_table.h"

namespace mirelle {

using ui::ControlKind;

std::string StartAddressText(std::uint32_t address) { return protocol::Word0x(address); }

ui::DialogTemplate CStartAddressDlg::Template177() {
    const int S = ui::kStaticId;
    return {idc::kStartAddressTemplate, LoadString(ids::kStartAddressCaption), "MS Sans Serif", 10, 190, 64,
            ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kModalFrame,
            {
                {S, ControlKind::Label, LoadString(ids::kStartAddressLabel), 10, 10, 170, 12, 0},
                {idc::kStartAddressEdit, ControlKind::Edit, "", 10, 24, 80, 13, ui::kBorder},
                {ui::kIdOk, ControlKind::Button, "OK", 92, 43, 42, 15, ui::kDefaultButton},
                {ui::kIdCancel, ControlKind::Button, "Cancel", 138, 43, 42, 15, 0},
            }};
}

CStartAddressDlg::CStartAddressDlg(ui::Dialog* owner, std::optional<std::uint32_t> offered)
    : ui::Dialog(Template177(), owner), m_strAddress(offered ? StartAddressText(*offered) : std::string()) {}

bool CStartAddressDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    UpdateData(false);
    return true;
}

void CStartAddressDlg::DoDataExchange(ui::DataExchange& dx) {
    ui::DDX_Text(dx, idc::kStartAddressEdit, m_strAddress);
    ui::DDV_MaxChars(dx, m_strAddress, 12);
}

void CStartAddressDlg::OnOK() {
    UpdateData(true);
    // Blanks around the number are the user's, not part of it.
    std::string text = m_strAddress;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    m_nAddress = hexfile::ParseStartAddress(text);
    if (!m_nAddress) {
        ui::MessageBox(this, LoadString(ids::kStartAddressMistake), LoadString(ids::kStartAddressCaption),
                       ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
        return;
    }
    EndDialog(ui::kIdOk);
}

}  // namespace mirelle
