#include "app/windows/writer_dlg.h"

#include <climits>
#include <cstdio>
#include <new>

#include "app/windows/about_dlg.h"
#include "app/windows/control_ids.h"
#include "app/windows/history_dlg.h"
#include "app/windows/station_dlg.h"
#include "texts/string_table.h"
#include "texts/version_text.h"
#include "platform/file.h"
#include "platform/system.h"
#include "records/record_sink.h"
#include "target/chip_traits.h"

namespace mirelle {


using namespace idc;

AppEnvironment AppEnvironment::FromProcess(int argc, char** argv) {
    AppEnvironment env;
    // The words after the program's name, as UTF-8 on every platform.
    const std::vector<std::string> words = sys::ProgramArguments(argc, argv);
    if (!words.empty()) env.args.assign(words.begin() + 1, words.end());
    env.executable_path = sys::ExecutablePath();
    env.program_dir = sys::ProgramDir();
    return env;
}

CWriterDlg::CWriterDlg(AppEnvironment env)
    : ui::Dialog(Template102()), m_env(std::move(env)), m_commandLine(ParseCommandLine(m_env.args)) {
    m_hIcon = kAppIcon;
    if (m_env.port_opener) m_session.SetPortOpener(m_env.port_opener);
    m_session.m_bCommandLine = m_commandLine.command_line_mode;
    m_session.m_bUseReset = m_commandLine.use_reset;
}

CWriterDlg::~CWriterDlg() {
    CloseProgressWindow();
    if (ui::MainWindow() == this) ui::SetMainWindow(nullptr);
}

void CWriterDlg::DoDataExchange(ui::DataExchange& dx) {
    ui::DDX_Control(dx, kCopy, m_btnCopy);
    ui::DDX_Text(dx, kRowStart[0], m_strStartAddr[0]);
    ui::DDV_MaxChars(dx, m_strStartAddr[0], 9);
    ui::DDX_Text(dx, kRowEnd[0], m_strEndAddr[0]);
    ui::DDV_MaxChars(dx, m_strEndAddr[0], 9);
    ui::DDX_Text(dx, kRowSize[0], m_strSize[0]);
    ui::DDV_MaxChars(dx, m_strSize[0], 9);
    ui::DDX_Text(dx, kHexFile, m_strHexFileName);
    ui::DDX_CBIndex(dx, kTarget, m_nTarget);
    ui::DDX_CBIndex(dx, kRate, m_nRate);
    ui::DDX_Text(dx, kComNo, m_strComNo);
    for (int r = 1; r < 4; ++r) {
        ui::DDX_Text(dx, kRowStart[r], m_strStartAddr[r]);
        ui::DDX_Text(dx, kRowEnd[r], m_strEndAddr[r]);
        ui::DDX_Text(dx, kRowSize[r], m_strSize[r]);
    }
}

void CWriterDlg::FailStart(const std::string& message, int endCode) {
    // An unattended run that cannot start must not leave an earlier run's
    // "OK" in the result log.
    if (CommandLineMode() && !m_strModuleDir.empty()) WriteResultLog(0, message + "\n");
    ui::MessageBox(this, message, "flash", ui::MessageButtons::Ok, ui::MessageIcon::Stop);
    EndDialog(endCode);
}

bool CWriterDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();

    // The about item of the system menu; the window cannot be resized.
    std::string about = LoadString(ids::kAboutMenuItem);
    // Before it, the History of this folder's unit records.
    AppendSystemMenu(0, "");
    AppendSystemMenu(kHistoryCommand, "History (&H)...");
    AppendSystemMenu(kStationCommand, "Station (&S)...");
    if (!about.empty()) AppendSystemMenu(kAboutCommand, about);
    RemoveSystemMenu(ui::kScSize);
    RemoveSystemMenu(ui::kScMaximize);
    SetIcon(m_hIcon);

    // The program folder. The executable's path must fit the platform's limit.
    if (m_env.executable_path.size() >= static_cast<std::size_t>(PATH_MAX)) {
        FailStart("PATH TOO LONG error");
        return true;
    }
    std::string dir = m_env.program_dir;
    // The program folder ends with a separator; Windows' may be a backslash.
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
    if (!sys::ShortPathName(dir, m_strModuleDir)) m_strModuleDir = dir;
    if (m_strModuleDir.empty() || (m_strModuleDir.back() != '/' && m_strModuleDir.back() != '\\'))
        m_strModuleDir += '/';
    if (!m_commandLine.port_word_error.empty()) {
        FailStart("Usage error: " + m_commandLine.port_word_error);
        return true;
    }
    if (!m_commandLine.offset_error.empty()) {
        FailStart("Usage error: " + m_commandLine.offset_error);
        return true;
    }

    LoadRecent();
    m_recordSink = records::AttachRecords(m_session, m_strModuleDir);

    m_strChipDefPath = m_strModuleDir + "CHIPDEF.INI";
    if (!sys::OpenFile(m_strChipDefPath, "rb")) {
        FailStart("REGIST FAILED!");
        return true;
    }
    int count = 0;
    try {
        count = FillTargetList();
    } catch (const std::bad_alloc&) {
        FailStart("MEMORY NOT ENOUGH error");
        return true;
    }
    if (count == 0) {
        FailStart("REGIST FAILED!");
        return true;
    }
    // The remembered chip by its name when it is still listed; its position
    // only when the name is missing or gone.
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(GetLBText(kTarget, i));
    settings::RecentSelection recent;
    recent.target = m_nTarget;
    recent.target_name = m_strRecentTargetName;
    // An unattended run must not program another chip than the one it was
    // set up for; the window falls back to the remembered position.
    if (CommandLineMode() && settings::RecentTargetGone(recent, names)) {
        FailStart("the target " + m_strRecentTargetName + " of DATAFILE.TXT is not in CHIPDEF.INI", ui::kIdOk);
        return true;
    }
    m_nTarget = settings::RecentTargetIndex(recent, names);

    LoadTargetDefinition();
    SetCurSel(kTarget, m_nTarget);
    LoadSettings();
    ResetCommandButtons();
    UpdateData(false);

    DragAcceptFiles(true);
    CenterWindow();

    m_toolTip.Create(this);
    m_toolTip.Activate(true);
    static const struct {
        int control;
        int string;
    } kTips[] = {{kTarget, ids::kTipTarget},        {kRate, ids::kTipRate},
                 {kFullOperation, ids::kTipFullOperation}, {kCompare, ids::kTipCompare},
                 {kCopy, ids::kTipCopy},            {kSetEnvironment, ids::kTipSetEnvironment},
                 {kOpen, ids::kTipOpen},            {kHexFile, ids::kTipHexFile},
                 {kDownload, ids::kTipDownload},    {kErase, ids::kTipErase},
                 {kBlankCheck, ids::kTipBlankCheck}, {kProgram, ids::kTipProgram},
                 {kRowStart[0], ids::kTipStartAddr}, {kRowEnd[0], ids::kTipEndAddr},
                 {kRowSize[0], ids::kTipSize}};
    for (const auto& tip : kTips) m_toolTip.AddTool(tip.control, LoadString(tip.string));
    m_toolTip.UpdateTipText(m_strProgramFile, kHexFile);

    m_bCopyIntelHex = 0;
    // The build always carries its product version.
    SetDlgItemText(kVersionLabel, ProductVersionText());

    if (CommandLineMode()) RunUnattendedStart();
    return true;
}

void CWriterDlg::RunUnattendedStart() {
    m_bShowProgress = m_commandLine.show_progress ? 1 : 0;
    BeginUnattendedRun();
    DispatchCommand(kFullOperation, ui::kBnClicked);
    EndUnattendedRun();
    UpdateData(true);
    EndDialog(ui::kIdOk);
}

std::string CWriterDlg::TargetName() const { return GetLBText(kTarget, m_nTarget); }

void CWriterDlg::SyncSession() {
    m_session.m_strTarget = TargetName();
    m_session.m_strRateText = GetLBText(kRate, m_nRate);
}

void CWriterDlg::ResetCommandButtons() {
    EnableControl(kDownload, true);
    EnableControl(kFullOperation, true);
    EnableControl(kErase, target::TraitsOf(TargetName()).offers_erase);
    EnableControl(kBlankCheck, false);
    EnableControl(kProgram, false);
    EnableControl(kCompare, false);
    EnableControl(kCopy, false);
    m_bDownloaded = 0;
}

void CWriterDlg::SetDownloadedButtons() {
    for (int id : {kDownload, kFullOperation, kErase, kBlankCheck, kProgram, kCompare, kCopy})
        EnableControl(id, true);
    m_bDownloaded = 1;
}

bool CWriterDlg::PreTranslateMessage(ui::InputEvent& event) {
    if (m_settings.bToolTips) m_toolTip.RelayEvent(event);
    // A plain letter acts as Alt plus that letter: its button is pressed.
    if (event.kind == ui::InputKind::KeyDown && !event.alt && event.key >= 'A' && event.key <= 'Z')
        event.alt = true;
    // The right button on Copy, enabled or not, switches the output format.
    if (event.kind == ui::InputKind::RightButtonDown || event.kind == ui::InputKind::RightButtonDoubleClick) {
        ui::Rect window = GetWindowRect();
        if (m_btnCopy.GetWindowRect().Contains(event.point.x + window.left, event.point.y + window.top)) {
            m_bCopyIntelHex = 1 - m_bCopyIntelHex;
            m_btnCopy.SetWindowText(m_bCopyIntelHex ? "&Copy_i" : "&Copy");
        }
    }
    return false;
}

bool CWriterDlg::OpenProgressWindow(int mode) {
    CloseProgressWindow();
    try {
        m_pProgress = std::make_unique<CProgressDlg>(mode);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // No owner: the progress window takes the main window and disables it.
    if (!m_pProgress->Create(nullptr)) {
        m_pProgress.reset();
        return false;
    }
    return true;
}

void CWriterDlg::CloseProgressWindow() {
    if (!m_pProgress) return;
    m_pProgress->DestroyWindow();
    m_pProgress.reset();
}

void CWriterDlg::OnOK() {}

void CWriterDlg::OnCancel() {
    if (m_bCloseRequested) EndDialog(ui::kIdCancel);
}

void CWriterDlg::OnClose() {
    m_bCloseRequested = 1;
    CloseProgressWindow();
    ui::Dialog::OnClose();
}

void CWriterDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == kAboutCommand) {
        OnVersionInfo();
        return;
    }
    if ((command & 0xFFF0) == kHistoryCommand) {
        CHistoryDlg history(this, m_strModuleDir);
        history.DoModal();
        return;
    }
    if ((command & 0xFFF0) == kStationCommand) {
        OnStation();
        return;
    }
    ui::Dialog::OnSysCommand(command);
}

void CWriterDlg::OnStation() {
    ui::FileDialogRequest request;
    request.owner = this;
    request.filter = "Station jobs (*.job)|*.job||";
    request.default_extension = "job";
    request.initial_dir = m_strModuleDir;
    request.flags = ui::kFileMustExist | ui::kHideReadOnly;
    const std::optional<std::string> job = ui::ActiveBackend().FileDialog(request);
    if (!job) return;
    // A slot may use the port this window holds open.
    CloseComPort();
    RunStationWindow(*job, m_strModuleDir, this);
}

void CWriterDlg::OnVersionInfo() {
    CAboutDlg about(this);
    about.DoModal();
}

bool CWriterDlg::OnCommand(int id, int code) { return DispatchCommand(id, code); }

bool CWriterDlg::DispatchCommand(int id, int code) {
    for (const CommandBinding& b : MainWindowCommands()) {
        if (b.id == id && b.code == code) {
            (this->*b.handler)();
            return true;
        }
    }
    return false;
}

void CWriterDlg::OnDropFiles(const std::vector<std::string>& files) {
    // The first file counts; a folder, or a path that cannot be read, is ignored.
    const std::string& path = files.front();
    if (!sys::FileExists(path) || sys::IsDirectory(path)) return;
    m_strProgramFile = path;
    m_strHexFileName = sys::FileNamePart(path);
    UpdateData(false);
    AskBinaryStart();
    SaveRecent();
}

}  // namespace mirelle
