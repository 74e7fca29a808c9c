#include "serial/win32_port.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/wide_text.h"
#include "serial/network_port.h"
#include "serial/timeouts.h"

namespace mirelle::serial {
namespace {

// As on Linux: a driver may round the rate to what its divider can make;
// anything further off than a UART tolerates means the rate was refused.
constexpr std::uint64_t kRateTolerancePercent = 3;

// The driver's line-error bits have the values of the kErr* bits.
static_assert(CE_RXOVER == kErrRxOver && CE_OVERRUN == kErrOverrun && CE_RXPARITY == kErrRxParity &&
              CE_FRAME == kErrFrame && CE_BREAK == kErrBreak);

// Whole-block reads and writes never ask the driver for more than this at
// once, so the byte counts fit the API's DWORD.
constexpr std::size_t kMaxChunk = 1u << 30;

class Win32Port final : public Port {
public:
    explicit Win32Port(HANDLE handle) : handle_(handle) {}
    ~Win32Port() override { ::CloseHandle(handle_); }
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

    PortResult Configure(std::uint32_t baud) {
        // The time-outs: the driver applies the rules of the link itself.
        COMMTIMEOUTS t{};
        if (!::GetCommTimeouts(handle_, &t)) return PortResult::CannotReadSettings;
        t.ReadIntervalTimeout = static_cast<DWORD>(kReadIntervalMs);
        t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(kTotalPerByteMs);
        t.ReadTotalTimeoutConstant = static_cast<DWORD>(kTotalConstantMs);
        t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(kTotalPerByteMs);
        t.WriteTotalTimeoutConstant = static_cast<DWORD>(kTotalConstantMs);
        if (!::SetCommTimeouts(handle_, &t)) return PortResult::CannotChangeSettings;

        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return PortResult::CannotReadSettings;
        if (baud == 0) return PortResult::CannotChangeSettings;
        dcb.BaudRate = baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = TRUE;  // no effect without parity
        // No flow control of any kind: 0x11 and 0x13 are data on this link,
        // and the modem status lines do not hold anything back.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        // Every byte arrives as it was sent (0x00 included), and a line error
        // does not stall later reads: the program asks for errors itself.
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!::SetCommState(handle_, &dcb)) return PortResult::CannotChangeSettings;
        return CheckRate(baud);
    }

    PortResult SetBaud(std::uint32_t baud) override {
        if (baud == 0) return PortResult::CannotChangeSettings;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return PortResult::CannotReadSettings;
        dcb.BaudRate = baud;
        if (!::SetCommState(handle_, &dcb)) return PortResult::CannotChangeSettings;
        return CheckRate(baud);
    }

    void Purge(PurgeWhich which) override {
        DWORD flags = 0;
        if (which == PurgeWhich::Receive || which == PurgeWhich::Both) flags |= PURGE_RXCLEAR | PURGE_RXABORT;
        if (which == PurgeWhich::Transmit || which == PurgeWhich::Both) flags |= PURGE_TXCLEAR | PURGE_TXABORT;
        ::PurgeComm(handle_, flags);
    }

    LineStatus ClearErrors() override {
        DWORD errors = 0;
        COMSTAT stat{};
        LineStatus status;
        if (!::ClearCommError(handle_, &errors, &stat)) return status;
        status.errors = errors & (kErrRxOver | kErrOverrun | kErrRxParity | kErrFrame | kErrBreak);
        status.queued = stat.cbInQue;
        return status;
    }

    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        while (done < n) {
            const DWORD ask = static_cast<DWORD>(std::min(n - done, kMaxChunk));
            DWORD moved = 0;
            if (!::WriteFile(handle_, data + done, ask, &moved, nullptr)) return false;
            done += moved;
            if (moved < ask) return true;  // the write time-out ran out: a short count
        }
        return true;
    }

    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        while (done < n) {
            const DWORD ask = static_cast<DWORD>(std::min(n - done, kMaxChunk));
            DWORD got = 0;
            if (!::ReadFile(handle_, data + done, ask, &got, nullptr)) return false;
            done += got;
            if (got < ask) return true;  // a time-out ended the read
        }
        return true;
    }

    bool SetDtr(bool on) override { return ::EscapeCommFunction(handle_, on ? SETDTR : CLRDTR) != 0; }
    bool SetRts(bool on) override { return ::EscapeCommFunction(handle_, on ? SETRTS : CLRRTS) != 0; }
    bool SetBreak(bool on) override { return (on ? ::SetCommBreak(handle_) : ::ClearCommBreak(handle_)) != 0; }

private:
    // The rate the driver reports back must be the one asked for, within
    // what a UART tolerates.
    PortResult CheckRate(std::uint32_t baud) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return PortResult::CannotReadSettings;
        const std::uint64_t actual = dcb.BaudRate;
        const std::uint64_t diff = actual > baud ? actual - baud : baud - actual;
        if (diff * 100 > static_cast<std::uint64_t>(baud) * kRateTolerancePercent) return PortResult::CannotChangeSettings;
        return PortResult::Ok;
    }

    HANDLE handle_;
};

}  // namespace

std::string Win32ComDeviceName(int com_number) { return "\\\\.\\COM" + std::to_string(com_number); }

PortResult OpenWin32Port(int com_number, std::uint32_t baud, std::unique_ptr<Port>& out) {
    out.reset();
    // Exclusive: no sharing, and COM ports cannot be opened twice anyway.
    const HANDLE h = ::CreateFileW(sys::Widen(Win32ComDeviceName(com_number)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return PortResult::CannotOpen;
    auto port = std::make_unique<Win32Port>(h);
    const PortResult rc = port->Configure(baud);
    out = std::move(port);
    return rc;
}

// COMn is the device \\.\COMn here, unless it names a network port.
PortResult OpenSystemPort(const std::string& device, int com_number, std::uint32_t baud, std::unique_ptr<Port>& out) {
    if (IsNetworkPort(device)) return OpenNetworkPort(device, baud, out);
    return OpenWin32Port(com_number, baud, out);
}

}  // namespace mirelle::serial
