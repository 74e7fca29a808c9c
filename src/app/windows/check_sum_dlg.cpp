// The Check SUM window and the sum it shows.
#include "app/windows/check_sum_dlg.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "texts/string_table.h"
#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "hexfile/area_sum.h"

namespace mirelle {

using ui::ControlKind;

namespace {

// The value of one hex digit as the fill box holds it (the box keeps
// capitals), or none.
std::optional<int> HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

}  // namespace

ui::DialogTemplate CCheckSumDlg::Template176() {
    const int S = ui::kStaticId;
    return {idc::kCheckSumTemplate, LoadString(ids::kCheckSumCaption), "MS Sans Serif", 10, 164, 58,
            ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kModalFrame,
            {
                {S, ControlKind::Label, LoadString(ids::kFillDataLabel), 10, 11, 50, 10, 0},
                {idc::kFillData, ControlKind::Edit, "", 64, 9, 24, 13, ui::kCentered | ui::kUpperCase | ui::kBorder},
                {idc::kCheckSumButton, ControlKind::Button, LoadString(ids::kCheckSumButton), 10, 33, 66, 15, 0},
                {idc::kCheckSumResult, ControlKind::Edit, "", 84, 34, 36, 13,
                 ui::kCentered | ui::kUpperCase | ui::kReadOnly | ui::kBorder},
                {ui::kIdOk, ControlKind::Button, "OK", 124, 9, 34, 15, ui::kDefaultButton},
            }};
}

CCheckSumDlg::CCheckSumDlg(CWriterDlg* main) : ui::Dialog(Template176(), main), m_pMain(main) {}

bool CCheckSumDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    UpdateData(false);
    return true;
}

void CCheckSumDlg::DoDataExchange(ui::DataExchange& dx) {
    ui::DDX_Text(dx, idc::kFillData, m_strFill);
    ui::DDV_MaxChars(dx, m_strFill, 2);
    ui::DDX_Text(dx, idc::kCheckSumResult, m_strSum);
    ui::DDV_MaxChars(dx, m_strSum, 4);
}

bool CCheckSumDlg::OnCommand(int id, int code) {
    if (id == idc::kCheckSumButton && code == ui::kBnClicked) {
        OnCheckSum();
        return true;
    }
    return false;
}

void CCheckSumDlg::OnCheckSum() {
    UpdateData(true);
    const std::optional<int> high = m_strFill.size() > 0 ? HexDigit(m_strFill[0]) : std::nullopt;
    const std::optional<int> low = m_strFill.size() > 1 ? HexDigit(m_strFill[1]) : std::nullopt;
    if (!high || !low) {
        m_strSum.clear();
    } else {
        const int sum = m_pMain->ImageChecksum(static_cast<std::uint8_t>(*high * 16 + *low));
        if (sum == kChecksumLoadFailed) {
            m_strSum.clear();
        } else {
            char text[8];
            std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(sum));
            m_strSum = text;
        }
    }
    UpdateData(false);
}

// --- the main window's side ---

void CWriterDlg::OnCheckSum() {
    CCheckSumDlg dlg(this);
    dlg.DoModal();
}

}  // namespace mirelle
