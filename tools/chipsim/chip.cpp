#include "chipsim/chip.h"

#include <algorithm>

#include "protocol/crc16.h"

namespace mirelle::chipsim {

namespace {
constexpr std::size_t kBlockSize = 512;
constexpr std::uint8_t kBusy = '0';
constexpr std::uint8_t kDone = '1';
constexpr std::uint8_t kFail = '4';
constexpr std::uint8_t kCrcError = '5';
constexpr std::uint8_t kBootNak = 0x0E;
constexpr std::uint8_t kStartNak = 0x3E;

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
}  // namespace

// ---- output segments --------------------------------------------------------

std::optional<std::uint64_t> Chip::Segment::NextTime() const {
    if (busy_end == kForever || busy_start + (busy_sent + 1) * pace_us < busy_end) {
        return busy_start + (busy_sent + 1) * pace_us;
    }
    if (pos < bytes.size()) return busy_end + (pos + 1) * char_us;  // fully on the line
    return std::nullopt;
}

std::uint64_t Chip::Segment::End() const {
    if (busy_end == kForever) return kForever;
    return busy_end + bytes.size() * char_us;
}

Chip::Chip(ChipConfig config)
    : config_(std::move(config)),
      boot_entry_(config_.boot_entry),
      user_program_(boot_entry_.Active()),
      flash_(config_.areas),
      cr_(config_.cr) {}

void Chip::LineCall(serial::LineStep::Kind kind, bool asserted, std::uint64_t now_us) {
    if (!boot_entry_.LineCall(kind, asserted, now_us)) return;
    Reset();
    DiscardTx(now_us);
}

std::optional<std::uint64_t> Chip::NextTxTime() const {
    for (const Segment& s : tx_) {
        if (auto t = s.NextTime()) return t;
    }
    return std::nullopt;
}

std::optional<Chip::TxByte> Chip::TakeTx(std::uint64_t now_us) {
    while (!tx_.empty()) {
        Segment& s = tx_.front();
        const auto t = s.NextTime();
        if (!t) {
            tx_.pop_front();
            continue;
        }
        if (*t > now_us) return std::nullopt;
        TxByte out{*t, kBusy, s.baud};
        if (s.busy_end == kForever || s.busy_start + (s.busy_sent + 1) * s.pace_us < s.busy_end) {
            ++s.busy_sent;
        } else {
            out.byte = s.bytes[s.pos++];
        }
        return out;
    }
    return std::nullopt;
}

std::size_t Chip::ReadyCount(std::uint64_t now_us) const {
    std::size_t count = 0;
    for (const Segment& s : tx_) {
        if (s.busy_end > s.busy_start) {
            const std::uint64_t limit = s.busy_end == kForever ? now_us : std::min(now_us, s.busy_end - 1);
            if (limit >= s.busy_start + s.pace_us) {
                const std::uint64_t due = (limit - s.busy_start) / s.pace_us;
                if (due > s.busy_sent) count += static_cast<std::size_t>(due - s.busy_sent);
            }
        }
        if (s.busy_end == kForever || s.busy_end > now_us) break;
        std::size_t due = s.bytes.size();
        if (s.char_us > 0) due = std::min<std::size_t>(due, (now_us - s.busy_end) / s.char_us);
        if (due > s.pos) count += due - s.pos;
        if (due < s.bytes.size()) break;
    }
    return count;
}

void Chip::DiscardTx(std::uint64_t now_us) {
    while (TakeTx(now_us)) {
    }
}

std::uint32_t Chip::TxBaud() const {
    return mode_ == Mode::BootRom ? config_.boot_baud : config_.work_baud;
}

void Chip::Answer(std::vector<std::uint8_t> bytes, std::uint32_t busy_ms, std::uint64_t now_us) {
    if (step_wrong_ack_ && !bytes.empty()) bytes[0] = config_.faults.wrong_ack_byte;
    Segment s;
    s.busy_start = std::max(now_us, tail_end_);
    s.pace_us = std::max<std::uint64_t>(1000, std::uint64_t{config_.timing.busy_pace_ms} * 1000);
    s.busy_end = step_busy_forever_ ? kForever : s.busy_start + std::uint64_t{busy_ms} * 1000;
    s.baud = TxBaud();
    if (config_.timing.line_time && s.baud > 0) s.char_us = (10'000'000 + s.baud - 1) / s.baud;
    s.bytes = std::move(bytes);
    if (step_busy_forever_) hung_ = true;
    if (s.bytes.empty() && !step_busy_forever_) return;
    tail_end_ = s.End();
    tx_.push_back(std::move(s));
}

// ---- state ------------------------------------------------------------------

void Chip::Reset() {
    tx_.clear();
    tail_end_ = 0;
    mode_ = Mode::BootRom;
    switch_at_.reset();
    parse_ = Parse::BootIdle;
    buf_.clear();
    need_ = 0;
    program_loaded_ = false;
    hung_ = false;
    user_program_ = false;
    ++reset_count_;
}

void Chip::HostClosed(std::uint64_t now_us) {
    if (boot_entry_.Active()) {
        // The lines fall back, the board resets and its own program runs.
        Reset();
        user_program_ = true;
    } else if (config_.reset_on_close) {
        Reset();
    } else {
        DiscardTx(now_us);
    }
}

void Chip::Settle(std::uint64_t now_us) {
    if (switch_at_ && now_us >= *switch_at_) {
        mode_ = Mode::ControlProgram;
        parse_ = Parse::CpIdle;
        switch_at_.reset();
    }
}

Chip::Mode Chip::CurrentMode(std::uint64_t now_us) const {
    if (switch_at_ && now_us >= *switch_at_) return Mode::ControlProgram;
    return mode_;
}

std::uint32_t Chip::ListeningBaud(std::uint64_t now_us) const {
    return CurrentMode(now_us) == Mode::BootRom ? config_.boot_baud : config_.work_baud;
}

std::size_t Chip::CountSteps(StepKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(steps_.begin(), steps_.end(), [kind](const StepRecord& s) { return s.kind == kind; }));
}

bool Chip::Matches(const std::optional<StepMatch>& match, StepKind kind) const {
    if (!match) return false;
    if (match->kind == StepKind::Any) return total_steps_ == match->nth;
    return match->kind == kind && step_counts_[static_cast<std::size_t>(kind)] == match->nth;
}

bool Chip::BlockMatches(const std::optional<BlockRef>& ref, std::uint32_t address, std::uint32_t nth) const {
    if (!ref) return false;
    return ref->by_address ? ref->value == address : ref->value == nth;
}

bool Chip::BeginStep(StepKind kind, std::uint32_t address, std::uint64_t now_us) {
    ++total_steps_;
    ++step_counts_[static_cast<std::size_t>(kind)];
    if (Matches(config_.faults.silent_from, kind)) silent_ = true;
    steps_.push_back({kind, now_us, address});
    step_wrong_ack_ = Matches(config_.faults.wrong_ack_at, kind);
    step_busy_forever_ = Matches(config_.faults.busy_forever_at, kind);
    return !silent_;
}

Chip::RxResult Chip::Receive(std::uint8_t byte, std::uint32_t host_baud, std::uint64_t now_us) {
    if (dropped_) return RxResult::Dropped;
    ++rx_count_;
    Settle(now_us);
    const std::uint32_t expected = ListeningBaud(now_us);
    if (expected != 0 && host_baud != expected) {
        ++wrong_rate_count_;
    } else if (!silent_ && !hung_ && !user_program_) {
        if (mode_ == Mode::BootRom) {
            BootByte(byte, now_us);
        } else {
            ControlByte(byte, now_us);
        }
    }
    const bool wrong_rate = expected != 0 && host_baud != expected;
    if (config_.faults.drop_after_bytes && rx_count_ >= *config_.faults.drop_after_bytes) {
        dropped_ = true;
        tx_.clear();
    }
    return wrong_rate ? RxResult::WrongRate : RxResult::Accepted;
}

// ---- boot ROM ---------------------------------------------------------------

void Chip::BootByte(std::uint8_t byte, std::uint64_t now_us) {
    switch (parse_) {
        case Parse::BootIdle:
            if (byte == 0x18) {
                if (BeginStep(StepKind::Sync, 0, now_us)) Answer({0x11}, 0, now_us);
            } else if (byte == 0x00 || byte == 0xC0) {
                command_ = byte;
                sum_ = byte;
                buf_.clear();
                need_ = 8;
                parse_ = Parse::BootHeader;
            }
            return;
        case Parse::BootHeader:
            buf_.push_back(byte);
            sum_ = static_cast<std::uint8_t>(sum_ + byte);
            if (buf_.size() < need_) return;
            frame_address_ = (std::uint32_t{buf_[0]} << 24) | (std::uint32_t{buf_[1]} << 16) |
                             (std::uint32_t{buf_[2]} << 8) | buf_[3];
            frame_length_ = (std::uint32_t{buf_[4]} << 24) | (std::uint32_t{buf_[5]} << 16) |
                            (std::uint32_t{buf_[6]} << 8) | buf_[7];
            buf_.clear();
            need_ = frame_length_;
            parse_ = frame_length_ == 0 ? Parse::BootSum : Parse::BootPayload;
            return;
        case Parse::BootPayload:
            // A program larger than the RAM is counted but not kept.
            if (frame_length_ <= config_.ram_size) buf_.push_back(byte);
            sum_ = static_cast<std::uint8_t>(sum_ + byte);
            if (--need_ == 0) parse_ = Parse::BootSum;
            return;
        case Parse::BootSum: {
            parse_ = Parse::BootIdle;
            const bool good = byte == sum_ && frame_length_ <= config_.ram_size;
            if (command_ == 0x00) {
                if (!BeginStep(StepKind::Upload, frame_address_, now_us)) return;
                if (good) {
                    program_ = std::move(buf_);
                    program_address_ = frame_address_;
                    program_loaded_ = true;
                } else {
                    program_loaded_ = false;
                }
                buf_.clear();
                if (config_.upload_ack) {
                    Answer({static_cast<std::uint8_t>(good ? 0x01 : kBootNak)}, 0, now_us);
                } else {
                    Answer({}, 0, now_us);
                }
            } else {
                buf_.clear();
                if (!BeginStep(StepKind::Start, frame_address_, now_us)) return;
                if (good && program_loaded_) {
                    Answer({0x31}, 0, now_us);
                    // The control program takes over once the answer has left the chip.
                    switch_at_ = tail_end_;
                } else {
                    Answer({kStartNak}, 0, now_us);
                }
            }
            return;
        }
        default:
            parse_ = Parse::BootIdle;
            return;
    }
}

// ---- control program --------------------------------------------------------

std::uint32_t Chip::ArgAddress(std::size_t at, std::size_t width) const {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v |= std::uint32_t{buf_[at + i]} << (8 * i);
    return v;
}

void Chip::ControlByte(std::uint8_t byte, std::uint64_t now_us) {
    switch (parse_) {
        case Parse::CpIdle:
            command_ = byte;
            buf_.clear();
            switch (byte) {
                case 0x38:
                case 0x08:
                case 0x28: need_ = AddressWidth(); break;
                case 0x39:
                case 0x3A: need_ = 4; break;
                case 0x48: need_ = config_.family == Family::First ? 8 : 3; break;
                default: return;  // not a command: ignored
            }
            parse_ = Parse::CpArgs;
            return;
        case Parse::CpArgs:
            buf_.push_back(byte);
            if (buf_.size() < need_) return;
            parse_ = Parse::CpIdle;
            RunCommand(now_us);
            return;
        case Parse::CpData:
            buf_.push_back(byte);
            if (buf_.size() < kBlockSize + 2) return;
            parse_ = Parse::CpIdle;
            RunBlockData(now_us);
            return;
        default:
            parse_ = Parse::CpIdle;
            return;
    }
}

void Chip::RunCommand(std::uint64_t now_us) {
    const Timing& timing = config_.timing;
    const Faults& faults = config_.faults;
    switch (command_) {
        case 0x38: {
            if (!BeginStep(StepKind::Erase, ArgAddress(0, AddressWidth()), now_us)) return;
            const std::uint8_t status = faults.erase_status.value_or(kDone);
            if (status == kDone) {
                flash_.EraseAll();
                ++erase_count_;
            }
            Answer({status}, timing.erase_ms, now_us);
            return;
        }
        case 0x39: {
            if (!BeginStep(StepKind::CrRead, 0, now_us)) return;
            if (buf_ != std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x44}) {
                Answer({kFail}, 0, now_us);
                return;
            }
            std::vector<std::uint8_t> answer{kBusy};
            answer.insert(answer.end(), cr_.begin(), cr_.end());
            answer.push_back(faults.cr_read_status.value_or(kDone));
            Answer(std::move(answer), 0, now_us);
            return;
        }
        case 0x3A:
            if (!BeginStep(StepKind::CrSet, 0, now_us)) return;
            std::copy(buf_.begin(), buf_.end(), cr_.begin() + 4);
            Answer({kDone}, 0, now_us);
            return;
        case 0x48:
            BlankCheck(now_us);
            return;
        case 0x08: {
            const std::uint32_t address = ArgAddress(0, AddressWidth());
            if (!last_program_block_ || *last_program_block_ != address) {
                ++program_block_no_;
                crc_faults_sent_ = 0;
            }
            last_program_block_ = address;
            if (!BeginStep(StepKind::ProgramCommand, address, now_us)) return;
            if (BlockMatches(faults.refuse_program_block, address, program_block_no_)) {
                Answer({faults.refuse_byte}, 0, now_us);
                return;
            }
            block_address_ = address;
            buf_.clear();
            parse_ = Parse::CpData;
            Answer({kDone}, 0, now_us);
            return;
        }
        case 0x28: {
            const std::uint32_t address = ArgAddress(0, AddressWidth());
            if (!last_read_block_ || *last_read_block_ != address) {
                ++read_block_no_;
                read_crc_faults_sent_ = 0;
            }
            last_read_block_ = address;
            if (!BeginStep(StepKind::ReadCommand, address, now_us)) return;
            if (BlockMatches(faults.refuse_read_block, address, read_block_no_)) {
                Answer({faults.refuse_byte}, 0, now_us);
                return;
            }
            std::vector<std::uint8_t> answer{kDone};
            const std::vector<std::uint8_t> data = flash_.Read(address, kBlockSize);
            answer.insert(answer.end(), data.begin(), data.end());
            std::uint16_t crc = protocol::Crc16(data.data(), data.size());
            if (BlockMatches(faults.read_crc_block, address, read_block_no_) &&
                read_crc_faults_sent_ < faults.read_crc_tries) {
                ++read_crc_faults_sent_;
                crc ^= 0x00FF;
            }
            answer.push_back(static_cast<std::uint8_t>(crc >> 8));
            answer.push_back(static_cast<std::uint8_t>(crc));
            answer.push_back(kDone);
            Answer(std::move(answer), 0, now_us);
            return;
        }
        default:
            return;
    }
}

void Chip::BlankCheck(std::uint64_t now_us) {
    // The range to look at, [first, limit), in 64 bits so an end + 1 that
    // wrapped to 0 means the top of the address space.
    std::uint64_t first = 0;
    std::uint64_t limit = 0;
    if (config_.family == Family::First) {
        first = ArgAddress(0, 4);
        limit = ArgAddress(4, 4);
        if (limit == 0) limit = std::uint64_t{1} << 32;
    } else {
        // Only end + 1 is sent: the area ending there is checked whole; failing
        // that, the area holding end from its start.
        const std::uint32_t end_plus_1 = ArgAddress(0, 3);
        bool found = false;
        for (const Area& area : config_.areas) {
            if (((std::uint64_t{area.end} + 1) & 0xFFFFFF) == end_plus_1 && area.end >= area.start) {
                first = area.start;
                limit = std::uint64_t{area.end} + 1;
                found = true;
                break;
            }
        }
        if (!found) {
            const std::uint32_t last = (end_plus_1 - 1) & 0xFFFFFF;
            for (const Area& area : config_.areas) {
                if (last >= (area.start & 0xFFFFFF) && last <= (area.end & 0xFFFFFF)) {
                    first = area.start;
                    limit = (area.start & 0xFF000000u) + std::uint64_t{last} + 1;
                    break;
                }
            }
        }
    }
    if (!BeginStep(StepKind::BlankCheck, static_cast<std::uint32_t>(first), now_us)) return;

    std::optional<std::uint32_t> dirty;
    for (const Area& area : config_.areas) {
        if (area.end < area.start) continue;
        const std::uint64_t lo = std::max<std::uint64_t>(first, area.start);
        const std::uint64_t hi = std::min<std::uint64_t>(limit, std::uint64_t{area.end} + 1);
        for (std::uint64_t a = lo; a < hi; ++a) {
            if (flash_.Read(static_cast<std::uint32_t>(a)) != 0xFF) {
                if (!dirty || a < *dirty) dirty = static_cast<std::uint32_t>(a);
                break;
            }
        }
    }
    if (!dirty) {
        Answer({kDone}, config_.timing.blank_check_ms, now_us);
        return;
    }
    const std::uint32_t word = *dirty & ~std::uint32_t{3};
    std::vector<std::uint8_t> answer{kFail};
    PutBigEndian(answer, word);
    const std::vector<std::uint8_t> data = flash_.Read(word, 4);
    answer.insert(answer.end(), data.begin(), data.end());
    answer.push_back(0x00);
    Answer(std::move(answer), config_.timing.blank_check_ms, now_us);
}

void Chip::RunBlockData(std::uint64_t now_us) {
    const std::uint32_t base = block_address_;
    const Faults& faults = config_.faults;
    if (!BeginStep(StepKind::ProgramData, base, now_us)) return;
    const bool crc_good = protocol::Crc16(buf_.data(), buf_.size()) == 0;
    if (!crc_good || (BlockMatches(faults.crc_error_block, base, program_block_no_) &&
                      crc_faults_sent_ < faults.crc_error_tries)) {
        if (crc_good) ++crc_faults_sent_;
        Answer({kCrcError}, 0, now_us);
        return;
    }
    // A weak cell: the first byte that asks for a 0 keeps one of those bits at 1.
    std::optional<std::size_t> weak;
    std::uint8_t weak_bit = 0;
    if (BlockMatches(faults.verify_fail_block, base, program_block_no_)) {
        for (std::size_t i = 0; i < kBlockSize && !weak; ++i) {
            const auto a = static_cast<std::uint32_t>(base + i);
            const std::uint8_t cleared = static_cast<std::uint8_t>(flash_.Read(a) & ~buf_[i]);
            if (flash_.Contains(a) && cleared != 0) {
                weak = i;
                weak_bit = static_cast<std::uint8_t>(cleared & -cleared);
            }
        }
    }
    if (BlockMatches(faults.verify_fail_block, base, program_block_no_) && !weak) {
        // Nothing in the area to program: the chip reports its programming
        // time-out, with all four data bytes 0xFF.
        std::vector<std::uint8_t> answer{kFail};
        PutBigEndian(answer, base);
        answer.insert(answer.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x00});
        Answer(std::move(answer), config_.timing.program_ms, now_us);
        return;
    }
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        std::uint8_t value = buf_[i];
        if (weak && *weak == i) value |= weak_bit;
        flash_.Program(static_cast<std::uint32_t>(base + i), value);
    }
    const auto expected = [&](std::uint32_t a) -> std::uint8_t {
        const std::uint64_t off = std::uint64_t{a} - base;
        return (a >= base && off < kBlockSize) ? buf_[off] : 0xFF;
    };
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        const auto a = static_cast<std::uint32_t>(base + i);
        if (!flash_.Contains(a) || flash_.Read(a) == buf_[i]) continue;
        const std::uint32_t half = a & ~std::uint32_t{1};
        std::vector<std::uint8_t> answer{kFail};
        PutBigEndian(answer, half);
        answer.push_back(expected(half));
        answer.push_back(expected(half + 1));
        answer.push_back(flash_.Read(half));
        answer.push_back(flash_.Read(half + 1));
        answer.push_back(0x00);
        Answer(std::move(answer), config_.timing.program_ms, now_us);
        return;
    }
    ++blocks_programmed_;
    Answer({kDone}, config_.timing.program_ms, now_us);
}

}  // namespace mirelle::chipsim
