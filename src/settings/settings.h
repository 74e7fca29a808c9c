// The user's settings (Customize.ini) and the last selections (DATAFILE.TXT).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirelle::settings {

// The user's settings record, in the field order the customize sheet copies.
struct CustomizeSettings {
    std::uint32_t nComIndex = 0;  // COM port number minus 1, 8 bits
    int bSound = 0;
    std::string strErrorWave = "<none>";
    std::string strEndWave = "<none>";
    int nErrorType = 0;  // 0: play strErrorWave; other: the simple beep
    int nEndType = 0;
    int bErrorEnable = 0;
    int bEndEnable = 0;
    int bToolTips = 0;
};

// Reads Customize.ini. The COM port is read only when `read_com` is set; then
// `com_text` receives the port number in decimal. A ComNo outside 1..255
// counts as 1.
void ReadCustomizeSettings(const std::string& customize_path, bool read_com,
                           CustomizeSettings& settings, std::string& com_text);

// "Command  to  COM%d", the caption of the COMMAND box.
std::string CommandCaption(std::uint32_t com_index);

// The leading decimal number of a text (0 when it has none).
int LeadingDecimal(const std::string& text);

// The COM box's text written to Customize.ini as ComNo when it starts with a
// number from 1 to 255; returns whether it was written.
bool WriteComNumber(const std::string& customize_path, const std::string& com_text);

// The device that COMn stands for: [Ports] COMn of Customize.ini, else
// /dev/ttyS<n-1>.
std::string ComDevicePath(const std::string& customize_path, int com_number);

// Writes COMn=device into [Ports] of Customize.ini, or removes COMn from it;
// every other line stays as it is. False when the file could not be written.
bool MapComPort(const std::string& customize_path, int com_number, const std::string& device);
bool UnmapComPort(const std::string& customize_path, int com_number);

// [Records] of Customize.ini: whether each unit's operation is recorded and
// where. Database is a file path (relative paths from the program folder;
// default records.db there) or a PostgreSQL connection string
// (postgresql://... or key=value words). Station names the station in the
// records (default: the host name); Operator, when set, is recorded too.
struct RecordsSettings {
    bool enabled = true;
    std::string database;
    std::string station;
    std::string operator_name;
};
RecordsSettings ReadRecordsSettings(const std::string& customize_path);

struct RecentSelection {
    int target = 0;  // negative values read as 0
    std::string target_name;  // CPUNAME; "" when absent
    int rate = 0;
    std::string program_file;
    // "Write Offset": the start address last given for a raw binary program
    // file, as typed text ("0x08000000"); "" when none was given.
    std::string binary_start = {};
};

RecentSelection ReadRecent(const std::string& datafile_path);
// Writes the keys of [Recent]; negative indexes are written as 0. The
// target's position (CPU) is kept as it always was; its name (CPUNAME) is
// written beside it when known, since a position points at another chip as
// soon as CHIPDEF.INI gains or loses a section before it.
// A binary start address is written when given (non-empty) and otherwise
// left as the file holds it, so that it is offered again for the next binary.
void WriteRecent(const std::string& datafile_path, int target, int rate,
                 const std::string& program_file, const std::string& target_name = "",
                 const std::string& binary_start = "");

// The entry of `names` to select at start-up: the one equal to
// `recent.target_name` (ignoring case, as section names are) when it is
// listed, else `recent.target` when it is a valid position, else 0.
int RecentTargetIndex(const RecentSelection& recent, const std::vector<std::string>& names);
// True when DATAFILE.TXT names a target (CPUNAME) that `names` no longer
// holds: its position would then point at another chip.
bool RecentTargetGone(const RecentSelection& recent, const std::vector<std::string>& names);

}  // namespace mirelle::settings
