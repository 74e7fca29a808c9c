// The main window's COM port operations on the process-wide port g_hCom.
// The device behind COMn comes from the [Ports] map of Customize.ini; the
// port itself (termios, or the simulated chip in tests) comes from the
// active opener.
#include <utility>

#include "app/windows/writer_dlg.h"
#include "app/operations/com_handle.h"
#include "serial/device_list.h"
#include "settings/settings.h"

namespace mirelle {

using namespace mirelle::hexfile;
using namespace mirelle::settings;

namespace {
constexpr int kLowestComNumber = 1;
constexpr int kHighestComNumber = 255;
}  // namespace

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

PortProblemSink& ActivePortProblemSink() {
    static PortProblemSink sink;
    return sink;
}

int CWriterDlg::OpenComPort(int port, std::uint32_t baud) {
    // Callers need not close a port they opened before.
    CloseComPort();
    m_bComOpen = 0;
    // There is no COM0 and nothing above COM255: no device to open.
    if (port < kLowestComNumber || port > kHighestComNumber) return result::kCannotOpenPort;

    const std::string device = ComDevicePath(m_strModuleDir + "Customize.ini", port);
    std::unique_ptr<serial::Port> opened;
    int rc = PortResultCode(serial::ActivePortOpener()(device, port, baud, opened));
    if (rc == 0 && !opened) rc = result::kCannotOpenPort;  // an opener that succeeded without a port
    if (rc == result::kCannotOpenPort) {
        // Nothing stays open after a failed open.
        opened.reset();
        if (ActivePortProblemSink()) ActivePortProblemSink()(serial::PortProblemText(port, device));
        return rc;
    }
    // Opened; when it could not be configured (kCannotReadPortSettings,
    // kCannotChangePortSettings) the device stays in
    // g_hCom and the caller closes it.
    g_hCom = std::move(opened);
    if (rc != 0) return rc;

    m_nOpenPort = port;
    m_nBaud = static_cast<int>(baud);
    m_bComOpen = 1;
    return 0;
}

int CWriterDlg::SetComBaud(std::uint32_t baud) {
    // Without an open port there are no settings to read.
    if (!g_hCom) return result::kCannotReadPortSettings;
    const int rc = PortResultCode(g_hCom->SetBaud(baud));
    if (rc != 0) return rc;
    m_nBaud = static_cast<int>(baud);
    return 0;
}

void CWriterDlg::PurgeComPort(serial::PurgeWhich which) {
    if (g_hCom) g_hCom->Purge(which);
}

serial::LineStatus CWriterDlg::ClearComErrors() {
    if (!g_hCom) return {};
    return g_hCom->ClearErrors();
}

bool CWriterDlg::WriteByte(std::uint8_t byte) {
    std::size_t done = 0;
    // A byte that did not leave (no port, a failed call, or a write that
    // timed out without taking it) is a failed write: the chip never saw it.
    const bool ok = g_hCom && g_hCom->Write(&byte, 1, done) && done == 1;
    if (!ok) {
        // Kind 3: the report closes the port and asks for a new download.
        ReportResult(result::kPortWriteError, result::kKindLinkLost, result::kSoundError);
        return false;
    }
    return true;
}

std::uint8_t CWriterDlg::ReadByte() {
    std::uint8_t value = 0;
    std::size_t done = 0;
    if (!g_hCom || !g_hCom->Read(&value, 1, done)) {
        ReportResult(result::kPortReadError, result::kKindRedownload, result::kSoundError);
        return 0;
    }
    // A silent line is no failure; it yields 0 like a received 0x00.
    return done == 1 ? value : 0;
}

bool CWriterDlg::WriteBlock(const std::uint8_t* data, std::size_t count, std::size_t& written) {
    written = 0;
    if (!g_hCom) return false;
    return g_hCom->Write(data, count, written);
}

bool CWriterDlg::ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t& received) {
    received = 0;
    if (!g_hCom) return false;
    return g_hCom->Read(buffer, count, received);
}

}  // namespace mirelle
