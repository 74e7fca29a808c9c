// The serial link as the rest of the program sees it: a small interface with
// the operations that the COM port functions need. The termios port on a
// device, the Windows COM port and the in-process simulated chip implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mirelle::serial {

enum class PurgeWhich { Receive = 1, Transmit = 2, Both = 3 };

// Line-error bits, with the values that the result texts and logs have always used.
inline constexpr std::uint32_t kErrRxOver = 0x1;
inline constexpr std::uint32_t kErrOverrun = 0x2;
inline constexpr std::uint32_t kErrRxParity = 0x4;
inline constexpr std::uint32_t kErrFrame = 0x8;
inline constexpr std::uint32_t kErrBreak = 0x10;

// What opening or configuring a port came to. The application turns each
// failure into the result code it reports.
enum class PortResult { Ok, CannotOpen, CannotReadSettings, CannotChangeSettings };

struct LineStatus {
    std::uint32_t errors = 0;  // mask of the kErr* bits recorded since the last call
    std::uint32_t queued = 0;  // bytes waiting in the receive queue
};

// An open, configured port (8N1, no flow control, DTR and RTS asserted).
// Reads follow the time-out rules of the link: a read of n bytes returns when
// n bytes have arrived, when 80 ms pass between two bytes after the first one,
// or after 80 * n + 80 ms in all. Writes may take 80 * n + 80 ms.
class Port {
public:
    virtual ~Port() = default;
    // Ok, CannotReadSettings or CannotChangeSettings (the rate was refused).
    virtual PortResult SetBaud(std::uint32_t baud) = 0;
    virtual void Purge(PurgeWhich which) = 0;
    virtual LineStatus ClearErrors() = 0;
    // False when the call itself failed (for example a hang-up); `done` is
    // the number of bytes moved, which may be short after a time-out.
    virtual bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) = 0;
    virtual bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) = 0;
    // The modem control lines and the break condition, for boot-entry
    // sequences. False when the port has no such control (a pseudo-terminal,
    // a raw TCP connection) or the call failed.
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;
    virtual bool SetBreak(bool on) = 0;
};

// Opens and configures the device for COM `com_number` at `baud`.
// Returns Ok with `out` set; CannotOpen with `out` empty; or
// CannotReadSettings / CannotChangeSettings with `out` holding the open
// device, which the caller closes.
using PortOpener = std::function<PortResult(const std::string& device, int com_number, std::uint32_t baud,
                                     std::unique_ptr<Port>& out)>;

// The operating system's own port for COM `com_number`: a network port when
// `device` is "rfc2217://HOST:PORT" or "socket://HOST:PORT" (see
// network_port.h); otherwise on Linux the termios device `device` (from the
// [Ports] map) and on Windows \\.\COMn. The results are those of PortOpener.
PortResult OpenSystemPort(const std::string& device, int com_number, std::uint32_t baud,
                          std::unique_ptr<Port>& out);

}  // namespace mirelle::serial
