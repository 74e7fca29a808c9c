// The main window's side of the chip definitions: the target list, the
// selected chip read into the window state, and the target and rate changes.

#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "target/chip_definition.h"

namespace mirelle {

using namespace mirelle::target;

using namespace idc;

int CWriterDlg::FillTargetList() {
    ResetContent(kTarget);
    for (const std::string& name : ListTargets(m_strChipDefPath)) AddString(kTarget, name);
    return GetCount(kTarget);
}

void CWriterDlg::LoadTargetDefinition() {
    const ChipDefinition def = m_session.SelectTarget(TargetName());
    // A chip whose definition is wrong says so when it is chosen; an
    // unattended run tells it on standard error instead.
    if (!CommandLineMode() && !m_session.m_chipCheck.texts.empty()) {
        std::string text;
        for (const std::string& line : m_session.m_chipCheck.texts) text += line + "\n";
        ui::MessageBox(this, text, "CHIPDEF.INI", ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
    }
    m_strStartAddr = def.row_start;
    m_strEndAddr = def.row_end;
    m_strSize = def.row_size;

    // The session has kept the rate index within the chip's clocks already.
    ResetContent(kRate);
    for (const std::string& clock : def.clocks) AddString(kRate, clock);
    SyncSession();
}

void CWriterDlg::OnSelchangeTarget() {
    UpdateData(true);
    CloseComPort();  // a port opened for the previous chip is not reused
    SaveRecent();
    LoadTargetDefinition();
    ResetCommandButtons();
    UpdateData(false);
}

void CWriterDlg::OnSelchangeRate() {
    UpdateData(true);
    CloseComPort();
    SaveRecent();
    ResetCommandButtons();
}

}  // namespace mirelle
