#include "hexfile/flash_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mirelle::hexfile {

FlashImage::FlashImage()
    : low_(std::make_unique_for_overwrite<std::uint8_t[]>(kLowSize)),
      mid_(std::make_unique_for_overwrite<std::uint8_t[]>(kMidSize)),
      high_(std::make_unique_for_overwrite<std::uint8_t[]>(kHighSize)) {
    Fill(0xFF);
}

ImageLocation FlashImage::Locate(std::uint32_t address, std::uint32_t low_start) {
    if (address >= kHighBase) return {ImageWindow::kHigh, address - kHighBase};
    if (address >= kMidBase) return {ImageWindow::kMid, address - kMidBase};
    return {ImageWindow::kLow, address - low_start};
}

std::uint32_t FlashImage::WindowSize(ImageWindow window) {
    switch (window) {
        case ImageWindow::kLow: return kLowSize;
        case ImageWindow::kMid: return kMidSize;
        case ImageWindow::kHigh: return kHighSize;
    }
    return 0;
}

void FlashImage::Fill(std::uint8_t value) {
    fill_ = value;
    std::memset(low_.get(), value, kLowSize);
    std::memset(mid_.get(), value, kMidSize);
    std::memset(high_.get(), value, kHighSize);
}

std::span<const std::uint8_t> FlashImage::Window(ImageWindow window) const {
    switch (window) {
        case ImageWindow::kLow: return {low_.get(), kLowSize};
        case ImageWindow::kMid: return {mid_.get(), kMidSize};
        case ImageWindow::kHigh: return {high_.get(), kHighSize};
    }
    return {};
}

std::span<std::uint8_t> FlashImage::Window(ImageWindow window) {
    const auto view = std::as_const(*this).Window(window);
    return {const_cast<std::uint8_t*>(view.data()), view.size()};
}

StoreOutcome FlashImage::Store(std::uint32_t address, std::span<const std::uint8_t> data,
                               std::uint32_t low_start,
                               std::optional<std::uint32_t> skip_halfword) {
    if (address < low_start) return StoreOutcome::kBelowStart;
    const ImageLocation at = Locate(address, low_start);
    const std::uint64_t size = WindowSize(at.window);
    if (std::uint64_t{at.offset} + data.size() > size) return StoreOutcome::kOutsideImage;
    if (data.empty()) return StoreOutcome::kStored;

    std::uint8_t* window = Window(at.window).data();
    const std::uint64_t first = at.offset;
    const std::uint64_t end = first + data.size();
    // The protected halfword: offsets whose value with bit 0 cleared equals
    // the skip value (so an odd skip value protects nothing).
    const bool skipping = at.window == ImageWindow::kLow && skip_halfword &&
                          (*skip_halfword & 1) == 0 && *skip_halfword < end &&
                          std::uint64_t{*skip_halfword} + 2 > first;
    if (!skipping) {
        std::memcpy(window + first, data.data(), data.size());
        return StoreOutcome::kStored;
    }
    const std::uint64_t skip = *skip_halfword;
    if (skip > first) std::memcpy(window + first, data.data(), skip - first);
    if (skip + 2 < end) {
        const std::uint64_t from = std::max(first, skip + 2);
        std::memcpy(window + from, data.data() + (from - first), end - from);
    }
    return StoreOutcome::kStored;
}

void FlashImage::ReadBlock(std::uint32_t address, std::uint32_t low_start,
                           std::span<std::uint8_t> out) const {
    const ImageLocation at = Locate(address, low_start);
    const std::span<const std::uint8_t> window = Window(at.window);
    // Offsets are 32-bit and wrap: a block that starts below the low window's
    // start reaches offset 0 exactly at the start address.
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t offset = at.offset + static_cast<std::uint32_t>(i);
        out[i] = offset < window.size() ? window[offset] : fill_;
    }
}

}  // namespace mirelle::hexfile
