// The History window: the last 100 unit records of this program folder (time,
// target, port, result, text) and a total line, read from the store that
// [Records] of Customize.ini names.
#pragma once

#include <string>
#include <vector>

#include "engine/unit_record.h"
#include "ui/dialog.h"

namespace mirelle {

inline constexpr int kHistoryRecords = 100;

class CHistoryDlg : public ui::Dialog {
public:
    // `program_dir` ends with a separator.
    CHistoryDlg(ui::Dialog* parent, std::string program_dir);
    static const ui::DialogTemplate& Template180();

    // The list's text (one line per record, newest first, CR LF line ends)
    // and the total line; pure, for the tests.
    static std::string ListText(const std::vector<engine::UnitRecord>& newest_last);
    static std::string TotalText(long long total, long long passed, std::size_t shown);

protected:
    bool OnInitDialog() override;

private:
    std::string m_strProgramDir;
};

}  // namespace mirelle
