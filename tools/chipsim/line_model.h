// Time on the serial line between the host and the chip, as plain arithmetic
// on microsecond times, so mirelle-sim and the tests share one model.
//
// A byte takes 10 bit times on the line (start bit, 8 data bits, stop bit)
// at the rate it is sent at, and follows the byte before it in the same
// direction: it reaches the far end when its last bit has arrived.
//
// A USB serial adapter does not hand each received byte to the host at once:
// it gathers them and sends a packet when its latency timer runs out (N ms
// after the first byte it holds) or when the packet is full (62 data bytes
// for FTDI chips). LatencyBuffer models that for the chip's answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace mirelle::chipsim {

// 10 bit times at `baud`, rounded up to whole microseconds; 0 at rate 0.
constexpr std::uint64_t ByteTimeUs(std::uint32_t baud) {
    return baud == 0 ? 0 : (10'000'000 + std::uint64_t{baud} - 1) / baud;
}

// One direction of the line.
class LineDirection {
public:
    struct Slot {
        std::uint64_t start_us = 0;  // the start bit leaves
        std::uint64_t end_us = 0;    // the stop bit has arrived at the far end
    };
    // A byte handed to the sender at `ready_us`, sent at `baud`.
    Slot Send(std::uint64_t ready_us, std::uint32_t baud);
    // When the last byte sent has left the line.
    std::uint64_t FreeAt() const { return free_at_; }
    void Reset() { free_at_ = 0; }

private:
    std::uint64_t free_at_ = 0;
};

class LatencyBuffer {
public:
    static constexpr std::size_t kPacketBytes = 62;

    struct Released {
        std::uint8_t byte = 0;
        std::uint64_t arrived_us = 0;   // off the line, into the adapter
        std::uint64_t released_us = 0;  // handed to the host
    };

    // `latency_ms` 0: every byte goes to the host as it arrives.
    explicit LatencyBuffer(std::uint32_t latency_ms = 0) : latency_us_(std::uint64_t{latency_ms} * 1000) {}

    // A byte off the line at `arrived_us` (not earlier than the byte before).
    void Arrive(std::uint8_t byte, std::uint64_t arrived_us);
    // When the next packet goes to the host; none while nothing is held.
    std::optional<std::uint64_t> ReleaseTime() const;
    // The bytes handed to the host by `now_us`, in order.
    std::vector<Released> Release(std::uint64_t now_us);
    void Clear() { held_.clear(); }

private:
    struct HeldByte {
        std::uint8_t byte;
        std::uint64_t arrived_us;
    };
    std::uint64_t latency_us_;
    std::deque<HeldByte> held_;
};

}  // namespace mirelle::chipsim
