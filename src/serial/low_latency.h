// Low latency on serial adapters. A USB serial adapter holds received bytes
// until its latency timer runs out (16 ms by default on FTDI chips) unless a
// packet fills; a stop-and-wait transfer pays that on every status byte. The
// driver's ASYNC_LOW_LATENCY flag asks it to hand bytes over at once (the
// FTDI driver then uses a 1 ms timer). The port asks for it when it opens a
// device and puts the old flags back when it closes; a device that has no
// such flags (a pseudo-terminal) or refuses them is used as it is.
#pragma once

#include <optional>

namespace mirelle::serial {

// ASYNC_LOW_LATENCY of Linux's serial_struct flags (the termios port checks
// that it matches the kernel's header).
inline constexpr int kAsyncLowLatency = 1 << 13;

// The driver's serial flags of one device (TIOCGSERIAL / TIOCSSERIAL).
class SerialFlags {
public:
    virtual ~SerialFlags() = default;
    virtual bool Get(int& flags) = 0;
    virtual bool Set(int flags) = 0;
};

class LowLatencyRequest {
public:
    // Sets the low-latency flag; true when this request changed the flags.
    bool Enable(SerialFlags& device);
    // Puts back the flags Enable found, when it changed them.
    void Restore(SerialFlags& device);

private:
    std::optional<int> saved_;
};

}  // namespace mirelle::serial
