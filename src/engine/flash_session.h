// One chip on one port: everything a flash operation needs, owned in one
// object. The session holds the port, the flash image, the chip's definition
// and areas, the rates, the settings record and the details of the next
// report, and runs the operations: the download of the control program,
// erase, blank check, program and verify, read and compare, copy, Full
// Operation, the checksum, the timing log and the reporter. It shows nothing
// itself: it tells its Events what happens and asks them what to do.
//
// Nothing here is global, so several sessions can live in one process (one
// thread each). The names of the state and of the operations are those the
// main window has always used, so that its members forward to them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/chip_problems.h"
#include "engine/events.h"
#include "engine/unit_record.h"
#include "hexfile/flash_image.h"
#include "hexfile/patch_rule.h"
#include "hexfile/program_file.h"
#include "platform/clock.h"
#include "protocol/block_plan.h"
#include "serial/port.h"
#include "settings/settings.h"
#include "target/chip_definition.h"
#include "texts/result_codes.h"

namespace mirelle::engine {

// What Copy writes: the design's S-records or Intel HEX, or the bytes as
// they are (a raw image of the areas read, one after the other).
enum class CopyFormat { kSRecord, kIntelHex, kBinary };

// What ImageChecksum returns when the program file could not be loaded.
inline constexpr int kChecksumLoadFailed = 0x10000;

// The outcome of a command, as a front end reads it.
struct Result {
    int code = -1;  // the last result code reported; -1 when nothing was reported
    // The first report of the command that was not a completion: the cause,
    // where a failure is reported twice (a time-out, then the step that
    // waited for it). -1 when there was none.
    int first_failure_code = -1;
    int kind = result::kKindInfo;
    std::string message;  // the report's text, as the result log holds it
    bool program_file_failed = false;  // the program file did not load
    std::string file_error;            // Copy: why the output file was not written
    // The format the program file was read as ("S-record", "Intel HEX",
    // "ELF", "binary"); "" when the command read none or could not tell it.
    std::string program_format;
    // True when the command ended with one of the completion codes and
    // nothing else failed.
    bool Succeeded() const;
};

class FlashSession {
public:
    // `events` must outlive the session.
    explicit FlashSession(Events& events);
    ~FlashSession();
    FlashSession(const FlashSession&) = delete;
    FlashSession& operator=(const FlashSession&) = delete;

    Events& GetEvents() { return m_events; }

    // ------------------------------------------------------------------
    // Set-up by the front end.
    // ------------------------------------------------------------------
    // The program folder (data files, control programs, logs); a separator is added.
    void SetProgramDir(const std::string& dir);
    // The port behind COM numbers: by default the system's own port on the
    // device that the [Ports] map of Customize.ini names.
    void SetPortOpener(serial::PortOpener opener) { m_opener = std::move(opener); }
    // A device named outright (mirelle-cli -p /dev/ttyUSB0): it is opened
    // instead of the mapped device of the COM number; `com_number` (0: none)
    // is the number given with it.
    void UseDevice(std::string device, int com_number);
    // Boot-entry and exit sequences given by the front end (mirelle-cli
    // --before/--after); a given one takes the place of the chip's
    // BootEntry=/BootExit= of CHIPDEF.INI. See serial/line_sequence.h.
    void SetBootSequences(std::optional<std::string> entry, std::optional<std::string> exit) {
        m_strBootEntry = std::move(entry);
        m_strBootExit = std::move(exit);
    }
    // Runs the exit sequence on the open port, to start the user's program
    // after the last operation. True when there is none or it ran; false
    // (with the result reported) when the port refused it.
    bool RunBootExit();
    // The clock of the waits; GetClock() when not set.
    void SetClock(Clock* clock) { m_pClock = clock; }
    Clock& GetClock() const;
    // Reads the chip's definition from CHIPDEF.INI (the name as the target
    // list shows it, in capitals): load address, areas, clocks; the rate index
    // is kept within the chip's clocks.
    target::ChipDefinition SelectTarget(const std::string& name);
    // The problems of the selected chip's section, once per selection, as
    // warnings of a command-line run; true when the chip is refused (nothing
    // may be sent to it).
    bool TellChipProblems();
    // TellChipProblems, and for a refused chip its result-log entry (and a
    // notice in the window); true when the chip is refused.
    bool RefusedChip();
    // Selects entry `index` of the chip's clocks; false when there is none.
    bool SelectRate(int index);
    // The file the result log is written to.
    std::string ResultLogPath() const;
    // The outcome of the last command.
    Result LastResult() const;
    // Starts a new command's outcome.
    void ClearResult();

    // ------------------------------------------------------------------
    // Commands: each runs in its frame (program file check, progress display).
    // ------------------------------------------------------------------
    // RunCommand: the frame; mode -1 for the default layout, 8 for Download.
    void RunCommand(const std::string& caption, int progressMode, bool needsProgramFile, bool closesPortFirst,
                    const std::function<void()>& body);
    Result Download();
    Result Erase();
    Result BlankCheckCommand();
    Result Program();
    Result Compare();
    // Copy into `path`; no progress display could be opened: code -1 and a file error.
    Result Copy(const std::string& path, bool intelHex);
    // Copy in `format` of the flash within `range` only (none: every area).
    Result Copy(const std::string& path, CopyFormat format, const std::optional<protocol::AddressRange>& range);
    // The result of Full Operation (also in LastResult).
    Result RunFullOperation();

    // ------------------------------------------------------------------
    // The operations.
    // ------------------------------------------------------------------
    bool RunDownload(bool inFullOperation);  // true on FAILURE
    void FullOperation();
    // The unattended run around the operations: the log says "NG" until a
    // report says otherwise; after a signal it starts with why the run ended.
    // They also span the run's record: `exitStatus` is the status the front
    // end ends with (-1: none).
    void BeginRun();
    void EndRun(int signal, int exitStatus = -1);
    bool FullOperationDone() const { return m_bFullOperationDone; }
    // Reporting (report.cpp).
    int ReportResult(int code, int kind, int sound);
    void WriteResultLog(int code, const std::string& message);
    // Program files: LoadProgramFile fills the image with `fill` and decodes
    // m_strProgramFile into it: 1 when the whole file was decoded, else 0
    // (the failure has been reported).
    int LoadProgramFile(bool inFullOperation, std::uint8_t fill);
    // Per-unit values (serialization): every successful load of the program
    // file writes them into the image, so that programming, verifying and
    // their block CRCs use the patched image. A patch that does not lie whole
    // in one flash area, lies on the chip's skipped halfword, or covers data
    // of the program file without saying `overwrite` fails the load (reported
    // as a program file failure) before anything is sent. The open record
    // keeps the first patch's value as its serial number and every patch's
    // bytes. None: the image is the file's.
    void SetImagePatches(std::vector<hexfile::ImagePatch> patches) { m_patches = std::move(patches); }
    const std::vector<hexfile::ImagePatch>& ImagePatches() const { return m_patches; }
    // Writes the patches into the loaded image; false (reported) when one is refused.
    bool ApplyImagePatches();
    // After a successful load: true when the file put at least one byte into
    // the chip's flash areas; else the failure is reported and false returned.
    bool LoadedFlashData();
    // The image for a flash operation, by the image address rule.
    void ReadImageBlock(std::uint32_t address, std::span<std::uint8_t> out) const;
    // The bytes a program run sends: the 512-byte blocks of the areas that hold data.
    long long BytesToProgram() const;
    // COM port: 0, kCannotOpenPort, kCannotReadPortSettings or kCannotChangePortSettings.
    int OpenComPort(int port, std::uint32_t baud);
    void CloseComPort();
    bool PortOpen() const { return m_port != nullptr; }
    int SetComBaud(std::uint32_t baud);
    void PurgeComPort(serial::PurgeWhich which);
    serial::LineStatus ClearComErrors();
    bool WriteByte(std::uint8_t byte);
    std::uint8_t ReadByte();  // 0 when nothing arrived or the read failed
    bool WriteBlock(const std::uint8_t* data, std::size_t count, std::size_t& written);
    bool ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t& received);
    // True when the link is gone: the port was closed by a report, or the
    // run was interrupted by a signal or stopped through its stop flag.
    bool ControlLinkLost() const;
    // A stop of this session alone (a station's slot): while `*flag` is true
    // the operations end at their next step as they do after a signal, and
    // the record of the unit says it was stopped. nullptr: none.
    void SetStopFlag(const std::atomic<bool>* flag) { m_pStopFlag = flag; }
    // A signal arrived or the stop flag is set.
    bool StopRequested() const;
    // Hands the open port over (nullptr when none is open) and leaves the
    // session without one, as CloseComPort does: a station keeps watching
    // its board on the port the last operation ended with.
    std::unique_ptr<serial::Port> TakePort();
    // Control program download: '1' on success.
    int DownloadControlProgram();
    bool OpenBootPort();
    // The boot-entry sequence in place of the reset prompt: 1 when there is
    // none, 0 when it ran on the (then open) port, -1 when it failed (reported).
    int RunBootEntry();
    int UploadControlProgram(std::uint32_t loadAddress, std::uint32_t length, const std::uint8_t* program);
    int WaitAck(int timeoutSeconds, std::uint8_t command);
    // Erase and blank check.
    int EraseFlash(bool inFullOperation);  // 0 success, 1 failure
    int SendEraseCommand();
    int ReadCr();
    int SetCr();
    int BlankCheck(bool inFullOperation);  // 0 blank, 1 not blank or failure, 4 time-out
    int QuickBlankTest();                  // 0 blank, 1 data, 2 failure
    // Program and verify.
    int ProgramAndVerify(bool inFullOperation);  // 0 success, 1 failure or cancelled
    int SendBlockCommand(std::uint32_t blockStart, bool read);
    // Read and compare, copy.
    void ReadAndCompare();
    int CopyToFile(const std::string& path, bool intelHex);  // 0 done/cancelled, 1 failure, 3 no progress display
    int CopyToFile(const std::string& path, CopyFormat format, const std::optional<protocol::AddressRange>& range);
    // Check SUM: 0..0xFFFF, kChecksumLoadFailed when loading failed.
    int ImageChecksum(std::uint8_t fill);
    // Diagnostics.
    void WriteTimingLog(unsigned operation);
    bool CrcFaultDue();

    // ------------------------------------------------------------------
    // The unit's record (unit_record.cpp). No sink: nothing is recorded.
    // ------------------------------------------------------------------
    void SetRecordSink(RecordSink* sink) { m_pRecordSink = sink; }
    // A record spans from the outermost OpenRecord to its CloseRecord; the
    // commands inside (the download before a command-line erase) add to the
    // same record, and the last command named gives its operation. A record
    // without an operation (nothing was started) is not written.
    void OpenRecord(const char* operation);
    void CloseRecord(int exitStatus = -1);
    // A block sent or read again: after a bad CRC, or after a line error.
    void NoteRetry(bool crc);
    // The record being filled; nullptr outside a record.
    const UnitRecord* OpenRecordState() const { return m_record ? &*m_record : nullptr; }
    // The slot a gang or station gives this session's records ("" for none).
    std::string m_strRecordSlot;

    class RecordScope {
    public:
        RecordScope(FlashSession& session, const char* operation) : m_session(session) { session.OpenRecord(operation); }
        ~RecordScope() { m_session.CloseRecord(); }
        RecordScope(const RecordScope&) = delete;
        RecordScope& operator=(const RecordScope&) = delete;

    private:
        FlashSession& m_session;
    };
    // Adds the time from its making to its end to a phase of the open record.
    class PhaseTimer {
    public:
        PhaseTimer(FlashSession& session, Phase phase);
        ~PhaseTimer();
        PhaseTimer(const PhaseTimer&) = delete;
        PhaseTimer& operator=(const PhaseTimer&) = delete;

    private:
        FlashSession& m_session;
        Phase m_phase;
        std::uint32_t m_startTick;
    };

    // ------------------------------------------------------------------
    // State, by the names the main window has always used.
    // ------------------------------------------------------------------
    std::string m_strTarget;    // the target as the list shows it (capitals)
    std::string m_strRateText;  // the clock text of the selected rate
    std::vector<std::string> m_clocks;  // the chip's clock texts
    ChipCheck m_chipCheck;              // what is wrong with the chip's section, read by SelectTarget
    bool m_bChipProblemsTold = false;
    int m_nRate = 0;
    std::string m_strStepText;
    std::string m_strDownloadPath;
    int m_nLoadAddress = 0;
    std::string m_strChipDefPath;
    std::string m_strModuleDir;  // ends with '/'
    std::string m_strProgramFile;
    // The program file's format when the user named one (none: its name and
    // first bytes decide), and the address of a raw binary's first byte.
    std::optional<hexfile::ProgramFormat> m_programFormat;
    std::optional<std::uint32_t> m_nBinaryStart;
    std::array<std::uint32_t, target::kMaxAreas> m_nStartAddr{};
    std::array<std::uint32_t, target::kMaxAreas> m_nEndAddr{};  // inclusive
    int m_nAreaCount = 0;
    std::optional<std::uint32_t> m_nSkipHalfword;  // empty: no offset is skipped
    int m_bComOpen = 0;
    int m_bDownloaded = 0;
    int m_bShowProgress = 1;
    // Interactive or command-line mode; whether the reset prompt and the
    // re-download after an erase are used.
    bool m_bCommandLine = false;
    bool m_bUseReset = true;
    std::string m_strErrorDetail;
    int m_nOpenPort = 0;
    int m_nBaud = 0;
    int m_nWorkBaud = 0;
    hexfile::FlashImage m_image;
    hexfile::LoadResult m_lastLoad;  // the outcome of the last LoadProgramFile
    bool m_bProgramFileLoaded = false;  // a LoadProgramFile has run: m_lastLoad is its outcome
    std::array<std::uint8_t, 4> m_pStatusA{};  // the 8 bytes of the CR read
    std::array<std::uint8_t, 4> m_pStatusB{};
    LocalTime m_tStart;
    LocalTime m_tEnd;
    std::string m_strErrAddress, m_strErrFlash, m_strErrHexFile;
    // What the result log was last given (code and message; -1 before the
    // first write), and whether the last program file load failed.
    int m_nLastLogCode = -1;
    std::string m_strLastLogMessage;
    bool m_bProgramFileFailed = false;
    settings::CustomizeSettings m_settings;
    // Set by the unattended run's front end: where the result log goes
    // (empty: MESSFILE.TXT in the program folder).
    std::string m_strResultLogPath;

private:
    Events& m_events;
    Clock* m_pClock = nullptr;
    serial::PortOpener m_opener;
    std::string m_strDevice;  // a device named outright; empty: the [Ports] map
    int m_nDeviceComNumber = 0;
    std::optional<std::string> m_strBootEntry, m_strBootExit;
    std::unique_ptr<serial::Port> m_port;  // empty while the port is closed
    bool m_bFullOperationDone = false;
    int m_nKind = result::kKindInfo;  // the kind of the last report
    int m_nFirstFailureCode = -1;     // see Result::first_failure_code
    std::string m_strFileError;
    std::vector<hexfile::ImagePatch> m_patches;
    RecordSink* m_pRecordSink = nullptr;
    std::optional<UnitRecord> m_record;
    int m_nRecordDepth = 0;
    int m_nRecordSignal = 0;          // the signal that ended the run, for its record
    const std::atomic<bool>* m_pStopFlag = nullptr;  // see SetStopFlag
    bool StopFlagSet() const { return m_pStopFlag && m_pStopFlag->load(); }
    bool m_bRecordProblemTold = false;  // a record that could not be kept is told once
    void WriteRecord();
};

}  // namespace mirelle::engine
