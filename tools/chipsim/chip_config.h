// What a simulated chip is: its protocol family, flash areas, line rates,
// CR bytes, how long its operations take, and which faults it shows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/line_sequence.h"

namespace mirelle::chipsim {

// The first family takes 4 address bytes, the second ("TQ7C01", "TQ7C02/03")
// 3 address bytes; both least significant byte first.
enum class Family { First, Second };

// The family of a target name, compared exactly as the host compares it.
Family FamilyOfTarget(const std::string& target);
// False for "TQ4A01", "TQ4A02" and "TQ4A03", whose host sends the second
// synchronisation right after the upload: their boot ROM answers nothing to it.
bool TargetAcknowledgesUpload(const std::string& target);

// One flash area; `end` is inclusive. An area whose end lies below its start
// holds no byte.
struct Area {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

// The exchanges that the chip answers, one per complete frame from the host.
enum class StepKind {
    Any,             // matches every step (in a StepMatch)
    Sync,            // 0x18 to the boot ROM
    Upload,          // 0x00 frame with the control program
    Start,           // 0xC0 frame
    Erase,           // 0x38 + address
    CrRead,          // 0x39 0x11 0x22 0x33 0x44
    CrSet,           // 0x3A + 4 bytes
    BlankCheck,      // 0x48 + addresses
    ProgramCommand,  // 0x08 + address
    ProgramData,     // 512 data bytes + CRC after an accepted 0x08
    ReadCommand,     // 0x28 + address (the answer carries the block)
};
const char* StepKindName(StepKind kind);

// The nth step of a kind (counted from 1 since the chip was made, across
// resets), or the nth step of any kind.
struct StepMatch {
    StepKind kind = StepKind::Any;
    int nth = 1;
};

// A block of the program or read transfers: the nth distinct block (counted
// from 1; a block sent again right after itself, as in a retry, keeps its
// number) or the block at an address.
struct BlockRef {
    bool by_address = false;
    std::uint32_t value = 1;
    static BlockRef Nth(std::uint32_t n) { return {false, n}; }
    static BlockRef At(std::uint32_t address) { return {true, address}; }
};

// Faults on request. Each one is aimed at a step or a block.
struct Faults {
    // No answer to this step, nor to anything after it (the chip is dead until
    // it is made anew; a reset does not revive it). {Any, 1}: no answer at all;
    // "silent after N steps" is {Any, N + 1}.
    std::optional<StepMatch> silent_from;
    // The first answer byte of this step (after any busy bytes) is replaced.
    std::optional<StepMatch> wrong_ack_at;
    std::uint8_t wrong_ack_byte = 0x35;
    // This step is answered with busy bytes ('0') that never end; a reset ends them.
    std::optional<StepMatch> busy_forever_at;
    // The final erase status instead of '1' (for example '3' or '4'); the
    // flash is then left as it was.
    std::optional<std::uint8_t> erase_status;
    // The final status of the CR read instead of '1' (the host takes the CR
    // bytes whatever it is).
    std::optional<std::uint8_t> cr_read_status;
    // The data of this block is answered '5' (CRC error) for `crc_error_tries`
    // transfers, then accepted.
    std::optional<BlockRef> crc_error_block;
    int crc_error_tries = 1;
    // One bit of this block's first byte that should be programmed to 0 stays 1,
    // so its verify fails with '4' and the detail bytes.
    std::optional<BlockRef> verify_fail_block;
    // The CRC sent with this block's read-out is wrong for `read_crc_tries` reads.
    std::optional<BlockRef> read_crc_block;
    int read_crc_tries = 1;
    // The program or read command for this block is answered `refuse_byte`
    // instead of '1'.
    std::optional<BlockRef> refuse_program_block;
    std::optional<BlockRef> refuse_read_block;
    std::uint8_t refuse_byte = '4';
    // After this many bytes from the host have reached the chip the connection
    // is gone for good: nothing more is received or sent.
    std::optional<std::uint64_t> drop_after_bytes;
};

// How long the chip's operations take. While an operation works the chip
// sends a busy byte '0' every `busy_pace_ms`.
struct Timing {
    std::uint32_t erase_ms = 1500;
    std::uint32_t blank_check_ms = 100;  // per blank-check command
    std::uint32_t program_ms = 10;       // per block, after its data arrived
    std::uint32_t busy_pace_ms = 50;
    // Space the chip's bytes by their time on the line (10 bits per byte at the
    // current rate), so a 512-byte block takes as long as on a real link.
    bool line_time = true;
};

inline constexpr std::array<std::uint8_t, 8> kDefaultCr = {0x01, 0x00, 0x00, 0x00,
                                                           0x5A, 0xA5, 0x00, 0x00};

struct ChipConfig {
    std::string target;  // informative; the family and the upload answer below decide
    Family family = Family::First;
    bool upload_ack = true;
    std::vector<Area> areas;
    // Rates the chip talks at: the boot ROM at `boot_baud`, the control program
    // at `work_baud`. Bytes the host sends at another rate are ignored, bytes
    // the chip sends arrive only at a host listening at the same rate. 0: any rate.
    std::uint32_t boot_baud = 0;
    std::uint32_t work_baud = 0;
    std::array<std::uint8_t, 8> cr = kDefaultCr;
    Timing timing;
    Faults faults;
    // The host closing the port drops DTR, which resets the board into its
    // boot ROM (flash and CR bytes are kept).
    bool reset_on_close = true;
    // The board's reset wiring: with a sequence, the board runs the user's
    // program (and ignores the boot protocol) until the host goes through
    // this sequence on DTR, RTS and break; closing the port then leaves it in
    // the user's program again. Empty: the board is always in reach of the
    // boot ROM, as before.
    serial::LineSequence boot_entry;
    // Largest control program the boot ROM takes; a longer upload is refused.
    std::uint32_t ram_size = 0x100000;

    // Family and upload answer from the target name.
    static ChipConfig ForTarget(const std::string& target, std::vector<Area> areas);
};

// The chip of a CHIPDEF.INI section: areas from StartAddress/EndAddress, the
// rates of Clock entry `clock_index` (Baud, and Baud2 or twice Baud), family
// and upload answer from the name (in capitals, as the host's target list
// shows it). Returns false with `error` set when the section defines no area
// or the rate entry is missing.
bool ConfigFromChipDefinition(const std::string& chipdef_path, const std::string& target,
                              int clock_index, ChipConfig& out, std::string& error);

}  // namespace mirelle::chipsim
