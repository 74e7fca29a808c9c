#include "app/windows/history_dlg.h"

#include <cstdio>

#include "app/windows/control_ids.h"
#include "records/database.h"
#include "records/record_report.h"
#include "records/record_store.h"
#include "settings/settings.h"

namespace mirelle {

using ui::ControlKind;

namespace {

std::string Column(const std::string& s, std::size_t width) {
    std::string out = s.substr(0, width);
    return out + std::string(width + 1 - out.size(), ' ');
}

// The first line of a report with words (a detail may stand before them).
std::string Words(const std::string& text) {
    std::size_t from = text.find_first_not_of("\r\n ");
    if (from == std::string::npos) return "";
    return text.substr(from, text.find_first_of("\r\n", from) - from);
}

}  // namespace

const ui::DialogTemplate& CHistoryDlg::Template180() {
    static const ui::DialogTemplate tpl = {
        idc::kHistoryTemplate, "History", "MS Sans Serif", 10, 420, 224,
        ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kModalFrame,
        {
            {idc::kHistoryList, ControlKind::Edit, "", 7, 7, 406, 186,
             ui::kReadOnly | ui::kMultiLine | ui::kBorder | ui::kNoTabStop},
            {idc::kHistoryTotal, ControlKind::Label, "", 7, 203, 340, 9, 0},
            {ui::kIdOk, ControlKind::Button, "OK", 361, 200, 52, 15, ui::kDefaultButton | ui::kGroup},
        }};
    return tpl;
}

CHistoryDlg::CHistoryDlg(ui::Dialog* parent, std::string program_dir)
    : ui::Dialog(Template180(), parent), m_strProgramDir(std::move(program_dir)) {}

std::string CHistoryDlg::ListText(const std::vector<engine::UnitRecord>& newest_last) {
    std::string text = Column("Time (UTC)", 19) + Column("Target", 8) + Column("Port", 12) + Column("Result", 6) +
                       "Text\r\n";
    for (auto it = newest_last.rbegin(); it != newest_last.rend(); ++it) {
        const engine::UnitRecord& r = *it;
        text += Column(records::UtcText(r.start_ms).substr(0, 19), 19) + Column(r.target, 8) +
                Column(r.port.empty() ? "-" : r.port, 12) + Column(r.passed ? "OK" : "NG", 6) + Words(r.result_text) +
                "\r\n";
    }
    return text;
}

std::string CHistoryDlg::TotalText(long long total, long long passed, std::size_t shown) {
    char text[160];
    const double yield = total ? 100.0 * static_cast<double>(passed) / static_cast<double>(total) : 0.0;
    std::snprintf(text, sizeof text, "Total: %lld record%s, %lld passed, %lld failed (yield %.1f%%); the last %zu shown",
                  total, total == 1 ? "" : "s", passed, total - passed, yield, shown);
    return text;
}

bool CHistoryDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    const settings::RecordsSettings settings = settings::ReadRecordsSettings(m_strProgramDir + "Customize.ini");
    std::string error;
    std::unique_ptr<records::Database> db;
    if (!records::SqliteAvailable()) {
        SetDlgItemText(idc::kHistoryList, "This build of Mirelle keeps no records (it was built without SQLite).");
        return true;
    }
    if (!settings.enabled) error = "Records are turned off ([Records] Enabled=0 in Customize.ini).";
    else db = records::OpenStore(settings.database, m_strProgramDir, false, error);
    records::RecordFilter filter;
    filter.folder = m_strProgramDir;
    std::vector<engine::UnitRecord> last;
    long long total = 0, passed = 0;
    if (db) {
        filter.limit = kHistoryRecords;
        bool ok = records::SelectRecords(*db, filter, last, error);
        filter.limit = 0;
        ok = ok && records::CountRecords(*db, filter, total, error);
        filter.passed = true;
        ok = ok && records::CountRecords(*db, filter, passed, error);
        if (!ok) db.reset();
    }
    if (!db) {
        // A folder that has not recorded anything yet has no store either.
        SetDlgItemText(idc::kHistoryList, error.find("unable to open") != std::string::npos
                                              ? "No records yet."
                                              : "The records cannot be read: " + error);
        SetDlgItemText(idc::kHistoryTotal, "");
        return true;
    }
    SetDlgItemText(idc::kHistoryList, ListText(last));
    SetDlgItemText(idc::kHistoryTotal, TotalText(total, passed, last.size()));
    return true;
}

}  // namespace mirelle
