// The session's COM port: opened on the device behind a COM number (the
// [Ports] map of Customize.ini, or a device named outright) through the
// session's opener, and the byte-level operations on it.
#include <utility>

#include "engine/flash_session.h"
#include "serial/device_list.h"
#include "settings/settings.h"

namespace mirelle::engine {

namespace {
constexpr int kLowestComNumber = 1;
constexpr int kHighestComNumber = 255;

// The result code that reports a port's open or configuration result (0 for Ok).
int PortResultCode(serial::PortResult r) {
    switch (r) {
        case serial::PortResult::Ok:
            return 0;
        case serial::PortResult::CannotOpen:
            return result::kCannotOpenPort;
        case serial::PortResult::CannotReadSettings:
            return result::kCannotReadPortSettings;
        case serial::PortResult::CannotChangeSettings:
            return result::kCannotChangePortSettings;
    }
    return result::kCannotOpenPort;
}
}  // namespace

void FlashSession::UseDevice(std::string device, int com_number) {
    m_strDevice = std::move(device);
    m_nDeviceComNumber = com_number;
}

int FlashSession::OpenComPort(int port, std::uint32_t baud) {
    // Callers need not close a port they opened before.
    CloseComPort();
    m_bComOpen = 0;
    // There is no COM0 and nothing above COM255: no device to open.
    if (port < kLowestComNumber || port > kHighestComNumber) return result::kCannotOpenPort;

    const bool named = !m_strDevice.empty();
    const std::string device = named ? m_strDevice : settings::ComDevicePath(m_strModuleDir + "Customize.ini", port);
    const int com_number = named && m_nDeviceComNumber != 0 ? m_nDeviceComNumber : port;
    if (m_record) {
        // The port as it was given, and the device behind it (the record's
        // sink makes the device a stable identity).
        m_record->port = named && m_nDeviceComNumber == 0 ? device : "COM" + std::to_string(com_number);
        m_record->port_identity = device;
    }
    std::unique_ptr<serial::Port> opened;
    const serial::PortOpener& opener = m_opener ? m_opener : serial::PortOpener(serial::OpenSystemPort);
    int rc = PortResultCode(opener(device, com_number, baud, opened));
    if (rc == 0 && !opened) rc = result::kCannotOpenPort;  // an opener that succeeded without a port
    if (rc == result::kCannotOpenPort) {
        // Nothing stays open after a failed open.
        opened.reset();
        m_events.PortProblem(serial::PortProblemText(port, device));
        return rc;
    }
    // Opened; when it could not be configured (kCannotReadPortSettings,
    // kCannotChangePortSettings) the device stays open and the caller closes it.
    m_port = std::move(opened);
    if (rc != 0) return rc;

    m_nOpenPort = port;
    m_nBaud = static_cast<int>(baud);
    m_bComOpen = 1;
    return 0;
}

std::unique_ptr<serial::Port> FlashSession::TakePort() {
    m_bComOpen = 0;
    return std::move(m_port);
}

void FlashSession::CloseComPort() {
    // Releasing the port object closes the device.
    m_port.reset();
}

int FlashSession::SetComBaud(std::uint32_t baud) {
    // Without an open port there are no settings to read.
    if (!m_port) return result::kCannotReadPortSettings;
    const int rc = PortResultCode(m_port->SetBaud(baud));
    if (rc != 0) return rc;
    m_nBaud = static_cast<int>(baud);
    return 0;
}

void FlashSession::PurgeComPort(serial::PurgeWhich which) {
    if (m_port) m_port->Purge(which);
}

serial::LineStatus FlashSession::ClearComErrors() {
    if (!m_port) return {};
    return m_port->ClearErrors();
}

bool FlashSession::WriteByte(std::uint8_t byte) {
    std::size_t done = 0;
    // A byte that did not leave (no port, a failed call, or a write that
    // timed out without taking it) is a failed write: the chip never saw it.
    const bool ok = m_port && m_port->Write(&byte, 1, done) && done == 1;
    if (!ok) {
        // Kind 3: the report closes the port and asks for a new download.
        ReportResult(result::kPortWriteError, result::kKindLinkLost, result::kSoundError);
        return false;
    }
    return true;
}

std::uint8_t FlashSession::ReadByte() {
    std::uint8_t value = 0;
    std::size_t done = 0;
    if (!m_port || !m_port->Read(&value, 1, done)) {
        ReportResult(result::kPortReadError, result::kKindRedownload, result::kSoundError);
        return 0;
    }
    // A silent line is no failure; it yields 0 like a received 0x00.
    return done == 1 ? value : 0;
}

bool FlashSession::WriteBlock(const std::uint8_t* data, std::size_t count, std::size_t& written) {
    written = 0;
    if (!m_port) return false;
    return m_port->Write(data, count, written);
}

bool FlashSession::ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t& received) {
    received = 0;
    if (!m_port) return false;
    return m_port->Read(buffer, count, received);
}

}  // namespace mirelle::engine
