// The main window. It carries the whole operation state of the program; its
// operations are defined in the folders of their subsystems (the file that
// defines each is named below), so every subsystem adds its part in its own
// files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "texts/result_codes.h"
#include "app/operations/command_line.h"
#include "app/windows/progress_dlg.h"
#include "hexfile/flash_image.h"
#include "hexfile/program_file.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "ui/dialog.h"
#include "serial/port.h"
#include "target/chip_definition.h"
#include "settings/settings.h"

namespace mirelle {

class CWriterDlg;

// Where the main window finds its program: the arguments after the
// program's name, the executable's path and the program folder. The program
// takes them from the process; tests give their own.
struct AppEnvironment {
    std::vector<std::string> args;
    std::string executable_path;  // checked against the platform's path limit
    std::string program_dir;      // the folder of the data files
    // A scripted run (mirelle-cli): when set, the command-line start runs
    // this instead of one Full Operation, between the same start and end of
    // the unattended run.
    std::function<void(CWriterDlg&)> unattended_body;
    // The result log; empty for MESSFILE.TXT in the program folder.
    std::string result_log_path;
    static AppEnvironment FromProcess(int argc, char** argv);
};

// What ImageChecksum returns when the program file could not be loaded.
inline constexpr int kChecksumLoadFailed = 0x10000;

class CWriterDlg : public ui::Dialog {
public:
    explicit CWriterDlg(AppEnvironment env);
    ~CWriterDlg() override;

    static const ui::DialogTemplate& Template102();

    // ------------------------------------------------------------------
    // Operations defined with the main window (app/windows/writer_dlg.cpp).
    // ------------------------------------------------------------------
    // The reset state of the command buttons: Download and Full Operation
    // enabled, Erase only for "TQ4A01" and "TQ4A02", the rest disabled;
    // m_bDownloaded := 0.
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
    // The operations; each is defined in the file of app/operations/ named
    // beside it, and the buttons are bound in app/windows/command_table.cpp.
    // ------------------------------------------------------------------
    // Command frame and Download (command_frame.cpp), Open and Help
    // (file_commands.cpp). RunCommand: the frame; mode 8 for Download, -1 for
    // the others. The progress window of a command is opened (false when it
    // could not be) and closed in one place each (app/windows/writer_dlg.cpp).
    bool OpenProgressWindow(int mode);
    void CloseProgressWindow();
    void RunCommand(const std::string& caption, int progressMode, bool needsProgramFile, bool closesPortFirst,
                    const std::function<void()>& body);
    bool RunDownload(bool inFullOperation);  // true on FAILURE
    void OnDownload();
    void OnOpen();
    void OnHelp();
    // Full Operation (full_operation.cpp).
    void FullOperation();
    // The unattended run around it: the log starts as a failure, signals end
    // the run in order; afterwards the process's exit status (0: the last
    // report was 306; 1 otherwise).
    void BeginUnattendedRun();
    void EndUnattendedRun();
    int UnattendedExitStatus() const { return m_nUnattendedExitStatus; }
    // Reporting (report.cpp; the result codes are named in texts/result_codes.h).
    int ReportResult(int code, int kind, int sound);
    void PlayEventSound(int event);
    void WriteResultLog(int code, const std::string& message);
    // The file WriteResultLog writes.
    std::string ResultLogPath() const;
    // Program files (program_file_load.cpp). LoadProgramFile fills
    // the image with `fill` and decodes m_strProgramFile into it: 1 when the
    // whole file was decoded, else 0 (the failure has been reported).
    int LoadProgramFile(bool inFullOperation, std::uint8_t fill);
    // After a successful load, before anything is sent for programming: true
    // when the file put at least one byte into the chip's flash areas; else
    // the failure is reported as a load failure and false returned. In
    // command-line mode data outside every area is told on standard error.
    bool LoadedFlashData();
    // Reads the image for a flash operation: out[i] is the image byte of
    // `address` + i by the image address rule (the window is chosen by
    // `address`, the low window starts at m_nStartAddr[0]); bytes that have no
    // place in that window read as the fill value of the last load. Never
    // reads outside a buffer.
    void ReadImageBlock(std::uint32_t address, std::span<std::uint8_t> out) const;
    // COM port (com_port.cpp): 0, kCannotOpenPort, kCannotReadPortSettings or
    // kCannotChangePortSettings.
    int OpenComPort(int port, std::uint32_t baud);
    void CloseComPort();  // com_handle.cpp
    int SetComBaud(std::uint32_t baud);
    void PurgeComPort(serial::PurgeWhich which);
    serial::LineStatus ClearComErrors();
    bool WriteByte(std::uint8_t byte);
    std::uint8_t ReadByte();  // 0 when nothing arrived or the read failed
    bool WriteBlock(const std::uint8_t* data, std::size_t count, std::size_t& written);
    bool ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t& received);
    // Control program download (download.cpp): '1' on success.
    int DownloadControlProgram();
    bool OpenBootPort();
    int UploadControlProgram(std::uint32_t loadAddress, std::uint32_t length, const std::uint8_t* program);
    int WaitAck(int timeoutSeconds, std::uint8_t command);
    // Erase and blank check (erase.cpp, blank_check.cpp).
    int EraseFlash(bool inFullOperation);  // 0 success, 1 failure
    int SendEraseCommand();
    int ReadCr();
    int SetCr();
    int BlankCheck(bool inFullOperation);  // 0 blank, 1 not blank or failure, 4 time-out
    int QuickBlankTest();                  // 0 blank, 1 data, 2 failure
    void OnErase();
    void OnBlankCheck();
    // Program and verify (program_verify.cpp).
    int ProgramAndVerify(bool inFullOperation);  // 0 success, 1 failure or cancelled
    int SendBlockCommand(std::uint32_t blockStart, bool read);
    void OnProgram();
    // Read and compare, copy (read_compare.cpp, copy.cpp; the block
    // read-out they share in block_receiver.cpp).
    void ReadAndCompare();
    void OnCompare();
    int CopyToFile();  // 0 done/dismissed/cancelled, 1 failure, 3 no progress window
    void OnCopy();
    // Customize sheet and Check SUM (their windows in app/windows/).
    void OnSetEnvironment();
    void OnCheckSum();
    int ImageChecksum(std::uint8_t fill);  // 0..0xFFFF, kChecksumLoadFailed when loading failed
    // Diagnostics (timing_log.cpp).
    void WriteTimingLog(unsigned operation);
    bool CrcFaultDue();

    // ------------------------------------------------------------------
    // State. Every subsystem uses these names.
    // ------------------------------------------------------------------
    ui::ControlRef m_btnCopy;  // control 1038
    std::array<std::string, 4> m_strStartAddr, m_strEndAddr, m_strSize;  // FLASH INFORMATION rows
    std::string m_strHexFileName;
    std::string m_strStepText;
    int m_nTarget = 0;
    int m_nRate = 0;
    std::string m_strComNo;
    std::string m_strDownloadPath;
    int m_nLoadAddress = 0;
    std::string m_strChipDefPath;
    std::string m_strModuleDir;  // ends with '/'
    std::string m_strProgramFile;
    std::array<std::uint32_t, target::kMaxAreas> m_nStartAddr{};
    std::array<std::uint32_t, target::kMaxAreas> m_nEndAddr{};  // inclusive
    int m_nAreaCount = 0;
    std::optional<std::uint32_t> m_nSkipHalfword;  // empty: no offset is skipped
    int m_bComOpen = 0;
    int m_bDownloaded = 0;
    int m_bShowProgress = 1;
    ui::ToolTipCtrl m_toolTip;
    std::string m_strErrorDetail;
    int m_nOpenPort = 0;
    int m_nBaud = 0;
    int m_nWorkBaud = 0;
    std::unique_ptr<CProgressDlg> m_pProgress;  // null when no command runs
    int m_hIcon = 0;
    int m_bCopyIntelHex = 0;  // Copy writes 0: S-records, 1: Intel HEX
    // The flash image: the low, mid and high buffers, allocated once with the
    // window (src/hexfile/flash_image.h holds the address rule).
    hexfile::FlashImage m_image;
    hexfile::LoadResult m_lastLoad;  // the outcome of the last LoadProgramFile
    std::array<std::uint8_t, 4> m_pStatusA{};  // the 8 bytes of the CR read
    std::array<std::uint8_t, 4> m_pStatusB{};
    LocalTime m_tStart;
    LocalTime m_tEnd;
    std::string m_strErrAddress, m_strErrFlash, m_strErrHexFile;
    int m_bCloseRequested = 0;
    // What the result log was last given (code and message; -1 before the
    // first write), and whether the last program file load failed: scripts
    // read the outcome of a command from these.
    int m_nLastLogCode = -1;
    std::string m_strLastLogMessage;
    bool m_bProgramFileFailed = false;
    settings::CustomizeSettings m_settings;

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
    // Shows a start-up failure and ends the dialog with cancel.
    void FailStart(const std::string& message);

    AppEnvironment m_env;
    CommandLine m_commandLine;
    std::string m_strRecentTargetName;  // [Recent] CPUNAME as read at start-up
    // Full Operation's outcome for the unattended run.
    bool m_bFullOperationDone = false;
    int m_nUnattendedExitStatus = 1;
    std::unique_ptr<sys::InterruptGuard> m_interruptGuard;
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
