// What one unit's operation leaves on record: the session fills it while a
// command runs (phase times, bytes, retries, the result as the reporter
// composed it) and hands it to a RecordSink when the command ends. Where the
// record goes (a database, nowhere) is the sink's business; the session only
// tells its events, once, when a sink could not keep one.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace mirelle::engine {

// The phases whose time a record keeps, in the order they run.
enum Phase { kPhaseDownload, kPhaseQuickBlank, kPhaseErase, kPhaseBlankCheck, kPhaseProgramVerify, kPhaseRead, kPhaseCount };

// The column name of a phase's time ("download_ms" ...).
const char* PhaseColumn(int phase);

struct UnitRecord {
    std::string id;               // unique; made by the sink when empty
    std::int64_t start_ms = 0;    // UTC, milliseconds since 1970
    std::int64_t end_ms = 0;
    std::string folder;           // the program folder the run used
    std::string station;          // host name or the configured name
    std::string slot;             // a gang's or station's slot; "" for a single run
    std::string port;             // the port as given (COM3, /dev/ttyUSB0)
    std::string port_identity;    // by-path/by-id link and USB serial number, when known
    std::string operation;        // download, erase, blank-check, program, full-operation, verify, read
    std::string target;
    std::string clock;
    long long rate = 0;           // the working rate after the download
    std::string program_file;
    long long program_size = -1;  // -1: no program file, or it could not be read
    std::string program_sha256;
    std::string job_name;         // filled by a production station's job
    std::string job_sha256;
    std::string serial_number;    // filled by serialization: the first patch's value
    // Every patch written into the unit's image: "0x00007F00:00123456",
    // space-separated; "" without serialization.
    std::string patches;
    std::array<long long, kPhaseCount> phase_ms{-1, -1, -1, -1, -1, -1};  // -1: the phase did not run
    long long bytes_programmed = 0;
    int crc_retries = 0;          // blocks that came or went with a bad CRC
    int line_retries = 0;         // blocks read again after a line error
    int result_code = -1;         // -1: nothing was reported
    int result_kind = 0;
    std::string result_text;      // the report as the result log holds it
    bool passed = false;
    int exit_status = -1;         // -1: a window command, which has none
    std::string version;
    std::string operator_name;
};

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // Keeps the record (filling what only the sink knows: id, station,
    // version, file hash). Returns "" when the record is kept, else one line
    // that says why not. Never throws.
    virtual std::string Write(UnitRecord& record) = 0;
};

}  // namespace mirelle::engine
