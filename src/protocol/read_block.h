// The read-out of a block through the control program: command 0x28 with the
// block's address; after '1' the chip sends the 512 flash bytes, their CRC-16
// (high byte first) and a status byte. These are the pure checks of what came
// back: the answer to the command, the CRC of the frame and the comparison of
// the bytes with the flash image. No port, no window, no clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mirelle::protocol {

// The data comes in 8 reads of 64 bytes, then one read of the 2 CRC bytes.
inline constexpr std::size_t kReadChunkBytes = 64;
inline constexpr std::size_t kReadChunks = 8;
inline constexpr std::size_t kReadFrameBytes = kReadChunkBytes * kReadChunks + 2;

// What the answer to a read command (the block command's result: '1', 3 for
// the host's time-out, 0xFF when the command could not be written, 0 after a
// Cancel press during the wait, any other status byte) means.
enum class ReadAnswer { kReady, kTimedOut, kWriteFailed, kCancelled, kRefused };
ReadAnswer ClassifyReadAnswer(int status);

// True when the CRC-16 over the 512 data bytes and the 2 CRC bytes is 0 once
// `fault` (the CRC test switch's 0 or 1) is added to the first CRC byte.
bool ReadFrameIntact(std::span<const std::uint8_t> frame, std::uint8_t fault);

// A 32-bit word from 4 bytes, the first byte most significant.
std::uint32_t WordAt(std::span<const std::uint8_t> bytes, std::size_t offset);

struct WordDifference {
    std::uint32_t address = 0;
    std::uint32_t flash = 0;
    std::uint32_t image = 0;
    bool operator==(const WordDifference&) const = default;
};

// The first word of the block read at `block_address` whose flash and image
// values differ. Only words whose first byte lies at or below `area_end`
// (inclusive) are compared; such a word takes its other bytes from past the
// area's end too.
std::optional<WordDifference> FirstDifferentWord(std::uint32_t block_address, std::uint32_t area_end,
                                                 std::span<const std::uint8_t> flash,
                                                 std::span<const std::uint8_t> image);

// "0x" and 8 upper-case hex digits, as the difference report shows each value.
std::string Word0x(std::uint32_t value);

}  // namespace mirelle::protocol
