#include "station/board_detection.h"

#include <cctype>
#include <cstdlib>

#include "platform/system.h"
#include "protocol/boot_protocol.h"
#include "serial/device_list.h"
#include "serial/network_port.h"
#include "settings/settings.h"

namespace mirelle::station {

namespace {

// The COM number of "COM3" (any case), else 0.
int ComNumber(const std::string& text) {
    if (text.size() < 4 || text.size() > 6) return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return 0;
    if (text[3] == '0') return 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str() + 3, &end, 10);
    return *end == 0 && n >= 1 && n <= serial::kHighestComNumber ? static_cast<int>(n) : 0;
}

// The COM number at the end of a Windows device name (\\.\COM3), else 0.
int TrailingComNumber(const std::string& path) {
    const std::size_t at = path.rfind("COM");
    return at == std::string::npos ? 0 : ComNumber(path.substr(at));
}

}  // namespace

PortPlace ResolveSlotPort(const std::string& identity, const std::string& customize_path) {
    PortPlace place;
    if (serial::IsNetworkPort(identity)) {
        place.device = identity;
        return place;
    }
    if (identity.rfind("usb:", 0) == 0) {
        const std::string serial_number = identity.substr(4);
        for (const serial::SerialDevice& d : serial::FindSerialDevices())
            if (!serial_number.empty() && d.serial_number == serial_number) {
                place.device = d.path;
                place.com_number = TrailingComNumber(d.path);
                return place;
            }
        place.problem = "port " + identity + " is not there (no USB adapter with that serial number)";
        return place;
    }
    if (const int n = ComNumber(identity); n != 0) {
        place.com_number = n;
        place.device = serial::SystemComDevice(n);
        // The system's own COM port is tried by opening it: not every system
        // (Wine's mapped ports among them) lists the ports it can open.
        if (!place.device.empty()) return place;
        place.device = settings::ComDevicePath(customize_path, n);
    } else {
        place.device = identity;
    }
    if (!PortPresent(place)) {
        place.problem = "port " + identity + (place.device != identity ? " (" + place.device + ")" : "") + " is not there";
        place.device.clear();
    }
    return place;
}

bool PortPresent(const PortPlace& place) {
    if (place.device.empty()) return false;
    if (serial::IsNetworkPort(place.device) || sys::FileExists(place.device)) return true;
    // Windows' COM ports are no files: the system's list says whether one is there.
    for (const serial::SerialDevice& d : serial::FindSerialDevices())
        if (d.path == place.device) return true;
    return false;
}

StillThereRequest StillThereFrame(protocol::TargetFamily family, std::uint32_t first_area_start,
                                  std::uint32_t first_area_end) {
    // The CR read is answered '0' at once; a blank check may keep the chip
    // busy a while before its first byte.
    if (family == protocol::TargetFamily::First) return {protocol::CrReadFrame(), 10, 1};
    return {protocol::BlankCheckFrame(family, first_area_start, first_area_end), 10, 3};
}

Answer ProbeBootRom(serial::Port& port, std::uint32_t boot_baud, bool any_answer) {
    if (port.SetBaud(boot_baud) != serial::PortResult::Ok) return Answer::kPortFailed;
    port.Purge(serial::PurgeWhich::Both);
    const std::uint8_t sync = boot::kSync;
    std::size_t done = 0;
    if (!port.Write(&sync, 1, done) || done != 1) return Answer::kPortFailed;
    std::uint8_t answer = 0;
    if (!port.Read(&answer, 1, done)) return Answer::kPortFailed;
    if (done != 1) return Answer::kSilent;
    return (any_answer ? answer != 0 : answer == boot::AckFor(boot::kSync)) ? Answer::kAnswered : Answer::kSilent;
}

Answer ControlProgramAnswers(serial::Port& port, std::uint32_t work_baud, const StillThereRequest& request) {
    if (work_baud == 0) return Answer::kSilent;
    if (port.SetBaud(work_baud) != serial::PortResult::Ok) return Answer::kPortFailed;
    port.Purge(serial::PurgeWhich::Both);
    std::size_t done = 0;
    if (!port.Write(request.frame.data(), request.frame.size(), done) || done != request.frame.size())
        return Answer::kPortFailed;
    std::uint8_t first = 0;
    for (int i = 0; i < request.first_byte_reads && first == 0; ++i)
        if (!port.Read(&first, 1, done)) return Answer::kPortFailed;
    if (first == 0) return Answer::kSilent;
    // The rest of the answer (a busy control program sends '0' first): read
    // until the line is quiet, so that it cannot meet the next request.
    std::vector<std::uint8_t> rest(request.answer_bytes + 8);
    port.Read(rest.data(), rest.size(), done);
    port.Purge(serial::PurgeWhich::Receive);
    return Answer::kAnswered;
}

}  // namespace mirelle::station
