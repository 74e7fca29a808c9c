// The in-process serial line to the simulated chip: a serial::Port whose far
// end is a Chip, on a VirtualClock shared with the program under test.
//
//   mirelle::VirtualClock clock;
//   mirelle::chipsim::Chip chip(mirelle::chipsim::ChipConfig::ForTarget("TQ4A04", {{0xF80000, 0xFFFFFF}}));
//   mirelle::chipsim::SimLine line(chip, clock);
//   mirelle::chipsim::ScopedPortOpener opener(line, slot);   // the opener `slot` now opens `line`
//   ... run the program; then look at line.Written(), line.Received(), line.Rates(), chip.GetFlash() ...
//
// Reads keep the link's time-out rules in virtual time: a read of n bytes
// returns when n bytes have come, when 80 ms pass after a byte without the
// next one, or after 80 * n + 80 ms in all; waiting moves the clock, so a
// silent line costs its time-outs in virtual time only. Writes take no time.
// Bytes are exchanged only when both ends are at the same rate: the chip
// ignores bytes sent at another rate than it listens at, and bytes the chip
// sends at another rate than the host's reach the host as nothing but a
// framing error (kErrFrame in ClearErrors).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chipsim/chip.h"
#include "platform/clock.h"
#include "serial/port.h"

namespace mirelle::chipsim {

struct WireByte {
    enum class Direction { HostToChip, ChipToHost };
    Direction direction = Direction::HostToChip;
    std::uint64_t time_ms = 0;
    std::uint8_t byte = 0;
    // HostToChip: the host's rate; ChipToHost: the rate the chip sent at (0: any).
    std::uint32_t baud = 0;
    // False when the other end did not get the byte (wrong rate, or the
    // connection was gone).
    bool delivered = true;
};

struct LineEvent {
    enum class Kind { Open, OpenFailed, SetBaud, Purge, Close, Dtr, Rts, Break };
    Kind kind = Kind::Open;
    std::uint64_t time_ms = 0;
    std::uint32_t baud = 0;  // Open, OpenFailed, SetBaud: the rate asked for
    serial::PortResult code = serial::PortResult::Ok;  // the result given to the host
    std::string device;      // Open, OpenFailed
    int com_number = 0;      // Open, OpenFailed
    bool on = false;         // Dtr, Rts, Break: the line asserted
};

class SimPort;

class SimLine {
public:
    // Both must outlive the line and every port opened on it.
    SimLine(Chip& chip, VirtualClock& clock);
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // A PortOpener that opens this line whatever device it is given.
    serial::PortOpener Opener();
    // Opens the line at `baud`. CannotOpen when it is already open (the device
    // is exclusive) or the connection has dropped; an injected failure below otherwise.
    serial::PortResult Open(const std::string& device, int com_number, std::uint32_t baud, std::unique_ptr<serial::Port>& out);

    // The next `times` opens answer `code` (CannotOpen: nothing opened; the
    // two configuration failures: the port is handed out and the caller
    // closes it). Likewise SetBaud.
    void FailOpens(serial::PortResult code, int times = 1);
    void FailSetBaud(serial::PortResult code, int times = 1);

    // The next `reads` reads that bring bytes flag a framing error, as on a
    // noisy line (the bytes themselves arrive intact); -1: every read.
    void FlagReadErrors(int reads) { noisy_reads_ = reads; }

    // Whether the port has modem lines and a break (a pseudo-terminal has
    // none): without, every line call fails.
    void SetLineControl(bool present) { line_control_ = present; }

    bool IsOpen() const { return port_ != nullptr; }
    std::uint32_t HostBaud() const { return host_baud_; }
    Chip& GetChip() { return chip_; }
    VirtualClock& GetClock() { return clock_; }

    // Everything that crossed the line, in time order.
    const std::vector<WireByte>& Wire() const { return wire_; }
    // Every byte the host wrote (delivered or not), and every byte it received.
    std::vector<std::uint8_t> Written() const;
    std::vector<std::uint8_t> Received() const;
    const std::vector<LineEvent>& Events() const { return events_; }
    // The rate of every successful open and rate change, in order.
    std::vector<std::uint32_t> Rates() const;
    int OpenCount() const;
    void ClearRecords();

private:
    friend class SimPort;
    std::uint64_t NowUs() const { return clock_.ElapsedMs() * 1000; }
    void Record(WireByte::Direction d, std::uint8_t byte, std::uint32_t baud, bool delivered);
    void Event(LineEvent::Kind kind, std::uint32_t baud, serial::PortResult code, const std::string& device = {}, int com = 0);
    void PortGone(SimPort* port);

    Chip& chip_;
    VirtualClock& clock_;
    SimPort* port_ = nullptr;
    std::uint32_t host_baud_ = 0;
    std::uint32_t line_errors_ = 0;
    int noisy_reads_ = 0;
    bool line_control_ = true;
    serial::PortResult fail_open_code_ = serial::PortResult::Ok;
    int fail_open_times_ = 0;
    serial::PortResult fail_baud_code_ = serial::PortResult::Ok;
    int fail_baud_times_ = 0;
    std::vector<WireByte> wire_;
    std::vector<LineEvent> events_;
};

// Puts a line's opener into `slot` (the opener a front end or a test hands
// to its flash session) and the previous opener back when it goes out of
// scope. `slot` must outlive it.
class ScopedPortOpener {
public:
    ScopedPortOpener(SimLine& line, serial::PortOpener& slot) : slot_(slot), saved_(slot) { slot = line.Opener(); }
    ~ScopedPortOpener() { slot_ = std::move(saved_); }
    ScopedPortOpener(const ScopedPortOpener&) = delete;
    ScopedPortOpener& operator=(const ScopedPortOpener&) = delete;

private:
    serial::PortOpener& slot_;
    serial::PortOpener saved_;
};

}  // namespace mirelle::chipsim
