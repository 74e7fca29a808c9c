// The boot ROM's side of the download, as pure pieces: the frames the host
// sends, the acknowledge it waits for, and
// the choice of the control program file and of the line rates. Which chips
// skip the reset prompt or the upload acknowledge: target/chip_traits.h.
//
// Frames (numbers most significant byte first):
//   synchronise  0x18                                          -> 0x11
//   upload       0x00, address (4), length (4), program, sum   -> 0x01
//   start        0xC0, eight bytes 0x00, sum (= 0xC0)          -> 0x31
// The sum is the low 8 bits of the sum of all the frame's bytes before it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mirelle::boot {

inline constexpr std::uint8_t kSync = 0x18;
inline constexpr std::uint8_t kUpload = 0x00;
inline constexpr std::uint8_t kStart = 0xC0;

// The acknowledge of a boot command: (command AND 0xF0) OR 0x01.
constexpr std::uint8_t AckFor(std::uint8_t command) {
    return static_cast<std::uint8_t>((command & 0xF0) | 0x01);
}

// The eight bytes after the upload command: address, then length.
std::array<std::uint8_t, 8> UploadHeader(std::uint32_t address, std::uint32_t length);

// Adds bytes to a running 8-bit sum.
std::uint8_t AddToSum(std::uint8_t sum, const std::uint8_t* data, std::size_t count);

// The ten bytes of the start frame.
std::array<std::uint8_t, 10> StartFrame();


// The control program file: "<file>-<rate>" when such a file exists, else
// the plain file name. The rate text is cut to 15 characters, as the list
// text has always been fetched.
std::string ControlProgramFile(const std::string& download_file, const std::string& rate_text,
                               const std::function<bool(const std::string&)>& exists);

// Entry `index` of a rate list; nothing when the list has no such entry or
// the entry is no usable rate (0 or less).
std::optional<std::uint32_t> RateEntry(const std::vector<std::int32_t>& rates, int index);

// The working rate: entry `index` of Baud2 when the chip has a Baud2 text
// (even one without entries), else twice entry `index` of Baud.
std::optional<std::uint32_t> WorkingRate(const std::vector<std::int32_t>& baud, const std::vector<std::int32_t>& baud2,
                                         bool has_baud2, int index);

}  // namespace mirelle::boot
