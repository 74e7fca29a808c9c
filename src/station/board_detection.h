// How a slot finds its port and sees a board come and go.
//
// The port: a slot names a stable identity (a /dev/serial/by-path or by-id
// link, "usb:SERIAL", COMn, or a network port); ResolveSlotPort finds the
// device it stands for now, which may be none (the adapter is unplugged).
//
// The probe (detection "probe"): the port stays open at the boot rate and
// every kProbeIntervalMs the boot ROM's sync byte 0x18 goes out; a board in
// boot mode answers 0x11 within one read of the port (at most 160 ms). The
// boot ROM takes a second sync as it takes the first, so the download that
// follows on the same open port starts as it always does.
//
// "Still there" after the verdict: the control program answers a harmless
// request at the working rate (the first family: the CR read 0x39 0x11 0x22
// 0x33 0x44, answered '0', 8 bytes, a status; the second family, which has
// no CR read: the blank check of the first area, answered '1' or '4' and 9
// bytes; neither changes the flash), or the boot ROM answers the sync (a
// board whose download failed, or that was reset). A board that answers
// neither, kGoneAfterMisses times in a row, is gone. A board that passed and
// whose control program has answered since, and then only the boot ROM
// answers, has been taken out and another put in (the control program runs
// until the power goes): the slot takes it as the next board.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/flash_commands.h"
#include "serial/port.h"

namespace mirelle::station {

inline constexpr int kProbeIntervalMs = 300;
inline constexpr int kGoneAfterMisses = 2;
// How often a slot tries again to open a port that is not there.
inline constexpr int kPortRetryMs = 1000;

// The device a slot's port identity stands for now.
struct PortPlace {
    std::string device;   // "" : not there now
    int com_number = 0;   // the COM number named (COMn), else 0
    std::string problem;  // why there is no device ("port usb:A1B2 is not there")
};

// `customize_path` holds the [Ports] map of COM numbers (Linux).
PortPlace ResolveSlotPort(const std::string& identity, const std::string& customize_path);

// Whether the device of a resolved port exists now (network ports always do;
// a Windows COM port when the system lists it).
bool PortPresent(const PortPlace& place);

// The harmless request of "still there" for the family, and how many bytes
// its whole answer has at most.
struct StillThereRequest {
    std::vector<std::uint8_t> frame;
    std::size_t answer_bytes = 0;
    int first_byte_reads = 1;  // reads of the port's time-out (160 ms) for the first byte
};
StillThereRequest StillThereFrame(protocol::TargetFamily family, std::uint32_t first_area_start,
                                  std::uint32_t first_area_end);

// What a request on the port came to.
enum class Answer {
    kAnswered,    // the board answered
    kSilent,      // nothing (or not the answer) came
    kPortFailed,  // the port refused the rate, the write or the read: the adapter is gone
};

// One probe on an open port: the sync at `boot_baud`; answered when 0x11
// came. With `any_answer`, any byte counts (a boot ROM that was in the
// middle of a frame when the board was reset).
Answer ProbeBootRom(serial::Port& port, std::uint32_t boot_baud, bool any_answer = false);

// The still-there request at `work_baud` (0: there is no working rate, so
// nothing is sent); what the control program answered is read and dropped.
Answer ControlProgramAnswers(serial::Port& port, std::uint32_t work_baud, const StillThereRequest& request);

}  // namespace mirelle::station
