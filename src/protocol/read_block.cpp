#include "protocol/read_block.h"

#include <array>
#include <cstdio>

#include "protocol/crc16.h"
#include "protocol/flash_commands.h"

namespace mirelle::protocol {

ReadAnswer ClassifyReadAnswer(int status) {
    switch (status) {
        case kStatusDone: return ReadAnswer::kReady;
        case 3: return ReadAnswer::kTimedOut;
        case 0xFF: return ReadAnswer::kWriteFailed;
        case 0: return ReadAnswer::kCancelled;
        default: return ReadAnswer::kRefused;
    }
}

bool ReadFrameIntact(std::span<const std::uint8_t> frame, std::uint8_t fault) {
    std::array<std::uint8_t, kReadFrameBytes> bytes{};
    const std::size_t n = frame.size() < bytes.size() ? frame.size() : bytes.size();
    for (std::size_t i = 0; i < n; ++i) bytes[i] = frame[i];
    bytes[kReadFrameBytes - 2] = static_cast<std::uint8_t>(bytes[kReadFrameBytes - 2] + fault);
    return Crc16(bytes.data(), bytes.size()) == 0;
}

std::uint32_t WordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) << 24 | static_cast<std::uint32_t>(bytes[offset + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 8 | bytes[offset + 3];
}

std::optional<WordDifference> FirstDifferentWord(std::uint32_t block_address, std::uint32_t area_end,
                                                 std::span<const std::uint8_t> flash,
                                                 std::span<const std::uint8_t> image) {
    const std::uint64_t limit = static_cast<std::uint64_t>(area_end) + 1;
    const std::size_t size = flash.size() < image.size() ? flash.size() : image.size();
    for (std::size_t k = 0; k + 4 <= size && block_address + static_cast<std::uint64_t>(k) < limit; k += 4) {
        const std::uint32_t f = WordAt(flash, k);
        const std::uint32_t i = WordAt(image, k);
        if (f != i) return WordDifference{block_address + static_cast<std::uint32_t>(k), f, i};
    }
    return std::nullopt;
}

std::string Word0x(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace mirelle::protocol
