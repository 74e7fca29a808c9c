// The main window. It holds a flash session, which owns the operation state
// and runs the operations, and shows what the session tells it: the progress
// window, message boxes and sounds. The window keeps the names of its
// handlers and of the state, which forward to the session.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/operations/command_line.h"
#include "app/windows/main_window_events.h"
#include "app/windows/progress_dlg.h"
#include "engine/flash_session.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "serial/port.h"
#include "ui/dialog.h"

namespace mirelle {

class CWriterDlg;

// Where the main window finds its program: the arguments after the
// program's name, the executable's path and the program folder. The program
// takes them from the process; tests give their own.
struct AppEnvironment {
    std::vector<std::string> args;
    std::string executable_path;  // checked against the platform's path limit
    std::string program_dir;      // the folder of the data files
    // The port behind COM numbers; empty for the system's own port.
    serial::PortOpener port_opener;
    // Told why a COM number's device did not open; empty: nobody is told.
    std::function<void(const std::string& line)> port_problem_sink;
    static AppEnvironment FromProcess(int argc, char** argv);
};

// What ImageChecksum returns when the program file could not be loaded.
inline constexpr int kChecksumLoadFailed = engine::kChecksumLoadFailed;

class CWriterDlg : public ui::Dialog {
public:
    explicit CWriterDlg(AppEnvironment env);
    ~CWriterDlg() override;

    static const ui::DialogTemplate& Template102();

    // ------------------------------------------------------------------
    // Operations defined with the main window (app/windows/writer_dlg.cpp).
    // ------------------------------------------------------------------
    // The reset state of the command buttons: Download and Full Operation
    // enabled, Erase only for the chips whose traits offer it, the rest
    // disabled; m_bDownloaded := 0.
    void ResetCommandButtons();
    // The downloaded state: all seven command buttons enabled; m_bDownloaded := 1.
    void SetDownloadedButtons();
    // The text of entry m_nTarget of the target list (the capitalised name).
    std::string TargetName() const;
    // Interactive or command-line mode (at least one argument).
    bool CommandLineMode() const { return m_commandLine.command_line_mode; }
    const CommandLine& GetCommandLine() const { return m_commandLine; }
    // The unattended start: "no_dialog" read into m_bShowProgress, then the
    // command of the Full Operation button, then the values taken from the
    // controls and the dialog ended with OK.
    void RunUnattendedStart();
    // Runs the handler bound to a command (see app/windows/command_table.cpp);
    // false when the command has none.
    bool DispatchCommand(int id, int code);
    // Handlers of this task: the about box (button and system menu).
    void OnVersionInfo();
    // The system menu's Station...: asks for a job file and runs its station window.
    void OnStation();

    // ------------------------------------------------------------------
    // Target and settings (app/operations/target_selection.cpp, settings_window.cpp).
    // ------------------------------------------------------------------
    // Fills the target list from CHIPDEF.INI; returns the number of entries.
    int FillTargetList();
    void LoadTargetDefinition();
    void OnSelchangeTarget();
    void OnSelchangeRate();
    void LoadSettings();
    void LoadRecent();
    void SaveRecent();
    void OnChangeComNo();

    // ------------------------------------------------------------------
    // The commands and operations. The session runs them
    // (src/engine/); the window's members forward to it, and the buttons are
    // bound in app/windows/command_table.cpp.
    // ------------------------------------------------------------------
    engine::FlashSession& Session() { return m_session; }
    // The progress window of a command is opened (false when it could not
    // be) and closed in one place each (app/windows/writer_dlg.cpp).
    bool OpenProgressWindow(int mode);
    void CloseProgressWindow();
    void RunCommand(const std::string& caption, int progressMode, bool needsProgramFile, bool closesPortFirst,
                    const std::function<void()>& body);
    bool RunDownload(bool inFullOperation);
    void OnDownload();
    void OnOpen();
    void OnHelp();
    // After a program file was chosen: a raw binary's start address, asked
    // in the start address window.
    void AskBinaryStart();
    void FullOperation();
    // The unattended run around it: the log starts as a failure, signals end
    // the run in order; afterwards the process's exit status (0: the last
    // report was 306; 1 otherwise).
    void BeginUnattendedRun();
    void EndUnattendedRun();
    int UnattendedExitStatus() const { return m_nUnattendedExitStatus; }
    int ReportResult(int code, int kind, int sound) { return m_session.ReportResult(code, kind, sound); }
    // Plays the sound of a report's event as the settings say.
    void PlayEventSound(int event);
    void WriteResultLog(int code, const std::string& message) { m_session.WriteResultLog(code, message); }
    std::string ResultLogPath() const { return m_session.ResultLogPath(); }
    int LoadProgramFile(bool inFullOperation, std::uint8_t fill) { return m_session.LoadProgramFile(inFullOperation, fill); }
    bool LoadedFlashData();
    void ReadImageBlock(std::uint32_t address, std::span<std::uint8_t> out) const {
        m_session.ReadImageBlock(address, out);
    }
    int OpenComPort(int port, std::uint32_t baud) { return m_session.OpenComPort(port, baud); }
    void CloseComPort() { m_session.CloseComPort(); }
    int SetComBaud(std::uint32_t baud) { return m_session.SetComBaud(baud); }
    void PurgeComPort(serial::PurgeWhich which) { m_session.PurgeComPort(which); }
    serial::LineStatus ClearComErrors() { return m_session.ClearComErrors(); }
    bool WriteByte(std::uint8_t byte) { return m_session.WriteByte(byte); }
    std::uint8_t ReadByte() { return m_session.ReadByte(); }
    bool WriteBlock(const std::uint8_t* data, std::size_t count, std::size_t& written) {
        return m_session.WriteBlock(data, count, written);
    }
    bool ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t& received) {
        return m_session.ReadBlock(buffer, count, received);
    }
    int DownloadControlProgram();
    bool OpenBootPort();
    int WaitAck(int timeoutSeconds, std::uint8_t command) { return m_session.WaitAck(timeoutSeconds, command); }
    int EraseFlash(bool inFullOperation);
    int ReadCr() { return m_session.ReadCr(); }
    int SetCr() { return m_session.SetCr(); }
    int BlankCheck(bool inFullOperation);
    int QuickBlankTest();
    void OnErase();
    void OnBlankCheck();
    int ProgramAndVerify(bool inFullOperation);
    void OnProgram();
    void ReadAndCompare();
    void OnCompare();
    // Asks for the output file, then copies: 0 done/dismissed/cancelled,
    // 1 failure, 3 no progress window.
    int CopyToFile();
    void OnCopy();
    // Customize sheet and Check SUM (their windows in app/windows/).
    void OnSetEnvironment();
    void OnCheckSum();
    int ImageChecksum(std::uint8_t fill);  // 0..0xFFFF, kChecksumLoadFailed when loading failed
    void WriteTimingLog(unsigned operation);
    bool CrcFaultDue() { return m_session.CrcFaultDue(); }

    // ------------------------------------------------------------------
    // State. Every subsystem uses these names; what a flash operation needs
    // lives in the session, and the window's names refer to it.
    // ------------------------------------------------------------------
private:
    MainWindowEvents m_events{*this};
    engine::FlashSession m_session{m_events};

public:
    ui::ControlRef m_btnCopy;  // control 1038
    std::array<std::string, 4> m_strStartAddr, m_strEndAddr, m_strSize;  // FLASH INFORMATION rows
    std::string m_strHexFileName;
    std::string& m_strStepText = m_session.m_strStepText;
    int m_nTarget = 0;
    int& m_nRate = m_session.m_nRate;
    std::string m_strComNo;
    std::string& m_strDownloadPath = m_session.m_strDownloadPath;
    int& m_nLoadAddress = m_session.m_nLoadAddress;
    std::string& m_strChipDefPath = m_session.m_strChipDefPath;
    std::string& m_strModuleDir = m_session.m_strModuleDir;  // ends with '/'
    std::string& m_strProgramFile = m_session.m_strProgramFile;
    std::array<std::uint32_t, target::kMaxAreas>& m_nStartAddr = m_session.m_nStartAddr;
    std::array<std::uint32_t, target::kMaxAreas>& m_nEndAddr = m_session.m_nEndAddr;  // inclusive
    int& m_nAreaCount = m_session.m_nAreaCount;
    std::optional<std::uint32_t>& m_nSkipHalfword = m_session.m_nSkipHalfword;
    int& m_bComOpen = m_session.m_bComOpen;
    int& m_bDownloaded = m_session.m_bDownloaded;
    int& m_bShowProgress = m_session.m_bShowProgress;
    ui::ToolTipCtrl m_toolTip;
    std::string& m_strErrorDetail = m_session.m_strErrorDetail;
    int& m_nOpenPort = m_session.m_nOpenPort;
    int& m_nBaud = m_session.m_nBaud;
    int& m_nWorkBaud = m_session.m_nWorkBaud;
    std::unique_ptr<CProgressDlg> m_pProgress;  // null when no command runs
    int m_hIcon = 0;
    int m_bCopyIntelHex = 0;  // Copy writes 0: S-records, 1: Intel HEX
    // The flash image (src/hexfile/flash_image.h holds the address rule).
    hexfile::FlashImage& m_image = m_session.m_image;
    hexfile::LoadResult& m_lastLoad = m_session.m_lastLoad;  // the outcome of the last LoadProgramFile
    std::array<std::uint8_t, 4>& m_pStatusA = m_session.m_pStatusA;  // the 8 bytes of the CR read
    std::array<std::uint8_t, 4>& m_pStatusB = m_session.m_pStatusB;
    LocalTime& m_tStart = m_session.m_tStart;
    LocalTime& m_tEnd = m_session.m_tEnd;
    std::string& m_strErrAddress = m_session.m_strErrAddress;
    std::string& m_strErrFlash = m_session.m_strErrFlash;
    std::string& m_strErrHexFile = m_session.m_strErrHexFile;
    int m_bCloseRequested = 0;
    // What the result log was last given (code and message; -1 before the
    // first write), and whether the last program file load failed.
    int& m_nLastLogCode = m_session.m_nLastLogCode;
    std::string& m_strLastLogMessage = m_session.m_strLastLogMessage;
    bool& m_bProgramFileFailed = m_session.m_bProgramFileFailed;
    settings::CustomizeSettings& m_settings = m_session.m_settings;

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool PreTranslateMessage(ui::InputEvent& event) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;
    bool OnCommand(int id, int code) override;
    void OnSysCommand(int command) override;
    void OnDropFiles(const std::vector<std::string>& files) override;

private:
    friend class MainWindowEvents;
    // Shows a start-up failure and ends the start with `message` in the result log; kIdCancel makes the
    // unattended run's exit status 2 (it could not start), kIdOk 1 (it failed).
    void FailStart(const std::string& message, int endCode = ui::kIdCancel);
    // The target and clock texts of the lists, for the session's next command.
    void SyncSession();

    AppEnvironment m_env;
    CommandLine m_commandLine;
    std::string m_strRecentTargetName;  // [Recent] CPUNAME as read at start-up
    int m_nUnattendedExitStatus = 1;
    std::unique_ptr<sys::InterruptGuard> m_interruptGuard;
    // Where the session's unit records go (none when they are off).
    std::unique_ptr<engine::RecordSink> m_recordSink;
};

// A main-window command: id, notification code and the member that handles it.
struct CommandBinding {
    int id;
    int code;
    void (CWriterDlg::*handler)();
};
// The bindings of the main window, in app/windows/command_table.cpp.
const std::vector<CommandBinding>& MainWindowCommands();

}  // namespace mirelle
