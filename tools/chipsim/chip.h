// The simulated target chip: boot ROM, control program and flash as a
// byte-in, byte-out state machine. It has no thread, no I/O and no clock of
// its own: every byte from the host comes with the time it arrived, and the
// chip's answers are bytes stamped with the time they leave the chip. Times
// are microseconds on whatever time line the caller uses (virtual in the
// tests, a monotonic clock in mirelle-sim); they must not go backwards.
//
// The chip answers the host's frames as follows (LE: least significant byte
// first; address fields are 4 bytes for the first family, 3 for the second):
//   boot ROM, at the boot rate
//     0x18                                        -> 0x11
//     0x00, address (4, MSB first), length (4, MSB first), program, sum
//                                                 -> 0x01 (nothing for chips
//                                                    without the upload answer);
//                                                    0x0E for a bad sum or a
//                                                    program larger than RAM
//     0xC0, 8 x 0x00, 0xC0 (same frame shape, sum of all bytes)
//                                                 -> 0x31, then the control
//                                                    program listens at the
//                                                    working rate; 0x3E when no
//                                                    program was loaded or the
//                                                    sum is wrong
//   control program, at the working rate
//     0x38 address                   -> busy '0'..., '1' (every area erased)
//     0x39 0x11 0x22 0x33 0x44       -> '0', the 8 CR bytes, '1'  ('4' for other bytes)
//     0x3A b4 b5 b6 b7               -> '1' (CR bytes 4-7 := b4..b7)
//     0x48 start(4 LE) end+1(4 LE)   first family
//     0x48 end+1(3 LE)               second family (the area ending there is checked)
//                                    -> busy..., '1' blank, or '4', the address of
//                                       the word holding the first non-blank byte
//                                       (4, MSB first), its 4 bytes, 0x00
//     0x08 address                   -> '1'; then 512 data bytes + CRC-16 (high first)
//                                    -> busy..., '1' programmed and verified;
//                                       '5' CRC error (nothing programmed);
//                                       '4', address of the failing halfword
//                                       (4, MSB first), 2 expected bytes,
//                                       2 flash bytes, 0x00
//     0x28 address                   -> '1', 512 flash bytes, their CRC-16
//                                       (high first), '1'
// Other bytes are ignored. Programming clears bits only (new = old AND data),
// so data that needs a 0 to become 1 fails its verify.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "chipsim/boot_entry_watch.h"
#include "chipsim/chip_config.h"
#include "chipsim/flash.h"

namespace mirelle::chipsim {

class Chip {
public:
    enum class Mode { BootRom, ControlProgram };
    enum class RxResult {
        Accepted,   // taken by the chip (even when it does not answer)
        WrongRate,  // the host sent at a rate the chip does not listen at: ignored
        Dropped,    // the connection is gone
    };
    struct TxByte {
        std::uint64_t time_us = 0;
        std::uint8_t byte = 0;
        std::uint32_t baud = 0;  // the rate the chip sent it at (0: any)
    };
    struct StepRecord {
        StepKind kind = StepKind::Any;
        std::uint64_t time_us = 0;
        std::uint32_t address = 0;  // load address, command address or block address
    };

    explicit Chip(ChipConfig config);

    // Host -> chip.
    RxResult Receive(std::uint8_t byte, std::uint32_t host_baud, std::uint64_t now_us);

    // Chip -> host. The time of the next byte the chip will send (none when it
    // is quiet), and that byte once its time has come.
    std::optional<std::uint64_t> NextTxTime() const;
    std::optional<TxByte> TakeTx(std::uint64_t now_us);
    // Bytes sent up to `now_us` and not yet taken; and their removal.
    std::size_t ReadyCount(std::uint64_t now_us) const;
    void DiscardTx(std::uint64_t now_us);

    // The host closed its port (DTR dropped): a reset when the configuration
    // says so, otherwise the bytes still on their way are lost.
    void HostClosed(std::uint64_t now_us);
    // Back into the boot ROM, as after a reset of the board. Flash and CR bytes stay.
    void Reset();
    // A line call of the host (DTR, RTS or break); with a boot-entry sequence
    // configured, completing it resets the board into the boot ROM.
    void LineCall(serial::LineStep::Kind kind, bool asserted, std::uint64_t now_us);
    // Whether the board runs the user's program (waiting for its boot-entry
    // sequence) and takes no notice of the boot protocol.
    bool InUserProgram() const { return user_program_; }

    // The rate the chip listens at, at `now_us` (0: any).
    std::uint32_t ListeningBaud(std::uint64_t now_us) const;
    Mode CurrentMode(std::uint64_t now_us) const;
    bool Dropped() const { return dropped_; }
    // Silent for good, or stuck busy until a reset.
    bool Silent() const { return silent_; }
    bool Hung() const { return hung_; }

    const ChipConfig& Config() const { return config_; }
    Faults& MutableFaults() { return config_.faults; }
    Flash& GetFlash() { return flash_; }
    const Flash& GetFlash() const { return flash_; }
    std::array<std::uint8_t, 8>& Cr() { return cr_; }
    const std::array<std::uint8_t, 8>& Cr() const { return cr_; }

    // The last control program the boot ROM took (with a good sum).
    const std::vector<std::uint8_t>& UploadedProgram() const { return program_; }
    std::uint32_t UploadAddress() const { return program_address_; }
    bool ProgramLoaded() const { return program_loaded_; }

    // Every step the chip answered (or would have answered), in order.
    const std::vector<StepRecord>& Steps() const { return steps_; }
    std::size_t CountSteps(StepKind kind) const;
    std::uint64_t BytesReceived() const { return rx_count_; }
    std::uint64_t BytesIgnoredAtWrongRate() const { return wrong_rate_count_; }
    int EraseCount() const { return erase_count_; }
    int BlocksProgrammed() const { return blocks_programmed_; }
    int ResetCount() const { return reset_count_; }

private:
    static constexpr std::uint64_t kForever = ~std::uint64_t{0};

    struct Segment {
        std::uint64_t busy_start = 0;
        std::uint64_t busy_end = 0;  // kForever: busy bytes without end
        std::uint64_t pace_us = 1000;
        std::uint64_t busy_sent = 0;
        std::vector<std::uint8_t> bytes;
        std::size_t pos = 0;
        std::uint64_t char_us = 0;
        std::uint32_t baud = 0;
        std::optional<std::uint64_t> NextTime() const;
        std::uint64_t End() const;
    };

    enum class Parse { BootIdle, BootHeader, BootPayload, BootSum, CpIdle, CpArgs, CpData };

    void Settle(std::uint64_t now_us);
    void BootByte(std::uint8_t byte, std::uint64_t now_us);
    void ControlByte(std::uint8_t byte, std::uint64_t now_us);
    void RunCommand(std::uint64_t now_us);
    void RunBlockData(std::uint64_t now_us);
    void BlankCheck(std::uint64_t now_us);
    std::uint32_t ArgAddress(std::size_t at, std::size_t width) const;
    std::size_t AddressWidth() const { return config_.family == Family::First ? 4 : 3; }

    bool BeginStep(StepKind kind, std::uint32_t address, std::uint64_t now_us);
    bool Matches(const std::optional<StepMatch>& match, StepKind kind) const;
    bool BlockMatches(const std::optional<BlockRef>& ref, std::uint32_t address, std::uint32_t nth) const;
    void Answer(std::vector<std::uint8_t> bytes, std::uint32_t busy_ms, std::uint64_t now_us);
    std::uint32_t TxBaud() const;

    ChipConfig config_;
    BootEntryWatch boot_entry_;
    bool user_program_ = false;
    Flash flash_;
    std::array<std::uint8_t, 8> cr_;

    Mode mode_ = Mode::BootRom;
    std::optional<std::uint64_t> switch_at_;  // when the start answer has left the chip
    Parse parse_ = Parse::BootIdle;
    std::uint8_t command_ = 0;
    std::vector<std::uint8_t> buf_;
    std::size_t need_ = 0;
    std::uint8_t sum_ = 0;
    std::uint32_t frame_address_ = 0;
    std::uint32_t frame_length_ = 0;

    std::vector<std::uint8_t> program_;
    std::uint32_t program_address_ = 0;
    bool program_loaded_ = false;

    std::deque<Segment> tx_;
    std::uint64_t tail_end_ = 0;

    // Faults and counters.
    std::array<int, 11> step_counts_{};
    int total_steps_ = 0;
    bool step_wrong_ack_ = false;
    bool step_busy_forever_ = false;
    bool silent_ = false;
    bool hung_ = false;
    bool dropped_ = false;
    std::uint64_t rx_count_ = 0;
    std::uint64_t wrong_rate_count_ = 0;
    std::uint32_t block_address_ = 0;
    std::optional<std::uint32_t> last_program_block_, last_read_block_;
    std::uint32_t program_block_no_ = 0, read_block_no_ = 0;
    int crc_faults_sent_ = 0, read_crc_faults_sent_ = 0;
    int erase_count_ = 0, blocks_programmed_ = 0, reset_count_ = 0;
    std::vector<StepRecord> steps_;
};

}  // namespace mirelle::chipsim
