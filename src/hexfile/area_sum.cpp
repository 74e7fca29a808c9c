#include "hexfile/area_sum.h"

#include <algorithm>

namespace mirelle::hexfile {

namespace {

// The first address of the next window above `address`, or 2^32 past the top.
std::uint64_t NextWindowBase(std::uint64_t address) {
    if (address < FlashImage::kMidBase) return FlashImage::kMidBase;
    if (address < FlashImage::kHighBase) return FlashImage::kHighBase;
    return std::uint64_t{1} << 32;
}

}  // namespace

std::uint16_t AreaSum(const FlashImage& image, std::span<const AreaRange> areas, std::uint32_t low_start) {
    std::uint32_t sum = 0;
    for (const AreaRange& area : areas) {
        // 64-bit bounds, so an area that ends at 0xFFFFFFFF ends the loop.
        std::uint64_t address = area.start;
        const std::uint64_t end = std::uint64_t{area.end} + 1;
        while (address < end) {
            // One run of addresses that share a window and consecutive offsets.
            const std::uint64_t run_end = std::min(end, NextWindowBase(address));
            const ImageLocation at = FlashImage::Locate(static_cast<std::uint32_t>(address), low_start);
            const std::span<const std::uint8_t> window = image.Window(at.window);
            for (std::uint64_t a = address; a < run_end; ++a) {
                // Offsets wrap as 32-bit values: below the low window's start
                // they become huge and read as the fill.
                const std::uint32_t offset = at.offset + static_cast<std::uint32_t>(a - address);
                sum += offset < window.size() ? window[offset] : image.FillValue();
            }
            address = run_end;
        }
    }
    return static_cast<std::uint16_t>(sum & 0xFFFFu);
}

}  // namespace mirelle::hexfile
