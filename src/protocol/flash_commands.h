// The commands that the control program in the chip's RAM answers once the
// download has started it: the two protocol families, the bytes of every
// command frame and the status bytes it answers with (the texts the host
// builds from its answers are texts/flash_command_texts.h's). Pure: no port,
// no window, no clock.
//
// Addresses to the control program go least significant byte first; the
// first family sends 4 address bytes, the second family 3 bytes (bits 24-31
// are not sent). Which chip speaks which family is the chip traits' answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirelle::protocol {

enum class TargetFamily { First, Second };

std::size_t AddressWidth(TargetFamily family);
// Appends the address field of `family` to `frame`.
void AppendAddress(std::vector<std::uint8_t>& frame, std::uint32_t address, TargetFamily family);

// Command bytes.
inline constexpr std::uint8_t kCmdProgramBlock = 0x08;
inline constexpr std::uint8_t kCmdReadBlock = 0x28;
inline constexpr std::uint8_t kCmdErase = 0x38;
inline constexpr std::uint8_t kCmdCrRead = 0x39;
inline constexpr std::uint8_t kCmdCrSet = 0x3A;
inline constexpr std::uint8_t kCmdBlankCheck = 0x48;

// Status bytes of the control program (ASCII digits). 0x00 is what a read
// that got nothing yields; the host never waits for it.
inline constexpr std::uint8_t kStatusNothing = 0x00;
inline constexpr std::uint8_t kStatusBusy = '0';
inline constexpr std::uint8_t kStatusDone = '1';
inline constexpr std::uint8_t kStatusEraseTimeout = '3';
inline constexpr std::uint8_t kStatusFail = '4';
inline constexpr std::uint8_t kStatusCrcError = '5';

// True for the bytes after which a status wait goes on reading.
constexpr bool KeepsWaiting(std::uint8_t status) { return status == kStatusNothing || status == kStatusBusy; }

// Wait limits in whole seconds.
inline constexpr unsigned kEraseLimitSeconds = 60;
inline constexpr unsigned kCrLimitSeconds = 5;
inline constexpr unsigned kBlankCheckLimitSeconds = 10;
inline constexpr unsigned kBlockLimitSeconds = 5;

// The erase's progress bar runs 0..39 and moves about once a second.
inline constexpr int kEraseBarSteps = 39;

// Frames.
std::vector<std::uint8_t> EraseFrame(TargetFamily family, std::uint32_t start);
std::vector<std::uint8_t> CrReadFrame();
std::vector<std::uint8_t> CrSetFrame(const std::array<std::uint8_t, 4>& bytes);
// The blank check of the area [start, end] (end inclusive). The second
// family sends only end + 1.
std::vector<std::uint8_t> BlankCheckFrame(TargetFamily family, std::uint32_t start, std::uint32_t end);
// The block command before a block is programmed (0x08) or read (0x28).
std::vector<std::uint8_t> BlockCommandFrame(TargetFamily family, std::uint32_t address, bool read);

// The data frame of one programmed block: the bytes followed by their
// CRC-16, high byte first.
std::vector<std::uint8_t> BlockDataFrame(std::span<const std::uint8_t> block);

// "0x" followed by each byte as two upper-case hex digits, in the order given.
std::string HexBytes0x(std::span<const std::uint8_t> bytes);
// Each byte as two upper-case hex digits.
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace mirelle::protocol
