// The 16-bit byte sum of the flash image over a chip's flash areas: what the
// flash holds after programming, summed byte by byte as many programmers and
// production records show it.
#pragma once

#include <cstdint>
#include <span>

#include "hexfile/flash_image.h"

namespace mirelle::hexfile {

// One flash area: first and last address (inclusive).
struct AreaRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

// The sum of the image bytes at every address of every area, in order, each
// byte located by the image address rule (`low_start` is the start of the
// first area), modulo 0x10000. An address that has no place in its window
// counts with the image's fill value. An area whose end lies below its start
// adds nothing.
std::uint16_t AreaSum(const FlashImage& image, std::span<const AreaRange> areas, std::uint32_t low_start);

}  // namespace mirelle::hexfile
