// The main window's side of the settings files: Customize.ini into the
// settings record and the COMMAND caption, DATAFILE.TXT into the selections,
// and the COM box.
#include "app/windows/control_ids.h"
#include "app/windows/start_address_dlg.h"
#include "app/windows/writer_dlg.h"
#include "hexfile/program_file.h"
#include "platform/system.h"
#include "settings/settings.h"

namespace mirelle {

using namespace mirelle::settings;

using namespace idc;

void CWriterDlg::LoadSettings() {
    const std::string path = m_strModuleDir + "Customize.ini";
    // With two or more arguments the command line names the port.
    const bool read_com = m_env.args.size() < 2;
    ReadCustomizeSettings(path, read_com, m_settings, m_strComNo);
    if (!read_com && m_commandLine.com_number)
        m_settings.nComIndex = static_cast<std::uint32_t>(*m_commandLine.com_number - 1) & 0xFFu;
    SetDlgItemText(kCommandGroup, CommandCaption(m_settings.nComIndex));
}

void CWriterDlg::LoadRecent() {
    const RecentSelection recent = ReadRecent(m_strModuleDir + "DATAFILE.TXT");
    m_nTarget = recent.target;
    m_strRecentTargetName = recent.target_name;
    m_nRate = recent.rate;
    m_strProgramFile = CommandLineMode() ? m_commandLine.program_file : recent.program_file;
    m_strHexFileName = sys::FileNamePart(m_strProgramFile);
    // A binary's start address: the command line's for an unattended run,
    // else the one given last in the window.
    m_session.m_nBinaryStart =
        CommandLineMode() ? m_commandLine.binary_start : hexfile::ParseStartAddress(recent.binary_start);
}

void CWriterDlg::SaveRecent() {
    if (m_nTarget < 0) m_nTarget = 0;
    if (m_nRate < 0) m_nRate = 0;
    const std::optional<std::uint32_t> start = m_session.m_nBinaryStart;
    WriteRecent(m_strModuleDir + "DATAFILE.TXT", m_nTarget, m_nRate, m_strProgramFile, TargetName(),
                start ? StartAddressText(*start) : std::string());
    m_toolTip.UpdateTipText(m_strProgramFile, kHexFile);
}

void CWriterDlg::OnChangeComNo() {
    UpdateData(true);
    WriteComNumber(m_strModuleDir + "Customize.ini", m_strComNo);
    LoadSettings();
}

}  // namespace mirelle
