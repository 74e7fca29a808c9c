// The main window's side of program file loading: the step text, the load
// with the window's image, target and fill, and where each failure is
// reported (message box or result log). The loading itself is hexfile's
// LoadProgram.
#include <cstdio>
#include <optional>
#include <string>

#include "texts/program_load_texts.h"
#include "texts/string_table.h"
#include "app/operations/load_outcome.h"
#include "app/windows/writer_dlg.h"
#include "hexfile/program_file.h"
#include "ui/backend.h"

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

ImageTarget TargetOf(const CWriterDlg& dlg) {
    ImageTarget target{dlg.m_nStartAddr[0], dlg.m_nSkipHalfword};
    for (int i = 0; i < dlg.m_nAreaCount && i < static_cast<int>(dlg.m_nStartAddr.size()); ++i)
        target.areas.push_back({dlg.m_nStartAddr[i], dlg.m_nEndAddr[i]});
    return target;
}

// Shows or logs a failed load as PlanLoadReport says. The log is written
// first, so that it already tells the failure while a box waits for its OK.
void ReportLoadFailure(CWriterDlg& dlg, const texts::LoadOutcome& outcome) {
    const bool progressShown = dlg.m_pProgress != nullptr && dlg.m_bShowProgress == 1;
    const texts::LoadReport report = texts::PlanLoadReport(outcome, dlg.CommandLineMode(), progressShown);
    dlg.m_bProgramFileFailed = true;
    if (report.write_log) dlg.WriteResultLog(report.log_code, report.log_text);
    if (report.show_box) {
        ui::MessageBox(dlg.m_pProgress.get(), report.box_text, report.box_caption, ui::MessageButtons::Ok,
                       ui::MessageIcon::None);
    }
}

}  // namespace

int CWriterDlg::LoadProgramFile(bool inFullOperation, std::uint8_t fill) {
    if (m_pProgress) {
        if (m_bShowProgress == 1) m_pProgress->SetMode(0, false, std::nullopt);
        m_strStepText = StepText(ids::kStepDecoding, inFullOperation);
        if (m_bShowProgress == 1) m_pProgress->SetStatus(m_strStepText);
    }
    m_bProgramFileFailed = false;
    // Every byte the file does not set holds the fill, even after a failure.
    m_lastLoad = LoadProgram(m_strProgramFile, {.image = m_image, .target = TargetOf(*this), .fill = fill});
    if (m_lastLoad.ok()) return 1;
    ReportLoadFailure(*this, DescribeLoad(m_lastLoad));
    return 0;
}

bool CWriterDlg::LoadedFlashData() {
    if (m_lastLoad.bytes_in_flash == 0) {
        ReportLoadFailure(*this, DescribeLoad({.status = LoadStatus::kNoFlashData}, TargetName()));
        return false;
    }
    // Compilers put RAM or option data into program files: it is left out,
    // but an unattended run says so, since nobody watches its window.
    const std::string warning =
        texts::OutsideDataWarning(m_lastLoad.bytes_outside, m_lastLoad.first_outside, TargetName());
    // A scripted body (mirelle-cli) says it in its own name.
    if (!warning.empty() && CommandLineMode() && !m_env.unattended_body) std::fprintf(stderr, "mirelle: warning: %s\n", warning.c_str());
    return true;
}

void CWriterDlg::ReadImageBlock(std::uint32_t address, std::span<std::uint8_t> out) const {
    m_image.ReadBlock(address, m_nStartAddr[0], out);
}

}  // namespace mirelle
