// The flash image: an in-memory copy of what the target's flash is to hold,
// kept in three fixed buffers (windows) whatever the chip:
//
//   low   0x300000 bytes  addresses from the first flash area's start upward,
//                         below 0x00400000; offset = A - start
//   mid   0x200000 bytes  0x00400000 .. 0x1FFFFFFF; offset = A - 0x00400000
//   high  0x100000 bytes  0x20000000 and above;     offset = A - 0x20000000
//
// The image address rule picks the window by the address alone (high from
// 0x20000000, mid from 0x00400000, low below); offsets are unsigned 32-bit.
// The buffers are allocated once and every load fills all of them with the
// caller's fill byte. Nothing here ever touches memory outside a buffer:
// stores that would not fit are refused whole, reads past a window's end
// yield the fill byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace mirelle::hexfile {

enum class ImageWindow { kLow, kMid, kHigh };

struct ImageLocation {
    ImageWindow window;
    std::uint32_t offset;  // may lie beyond the window's size
};

// Outcome of storing one data record.
enum class StoreOutcome {
    kStored,        // every byte written (or deliberately skipped)
    kBelowStart,    // first address below the first flash area's start
    kOutsideImage,  // the record does not fit in its window
};

class FlashImage {
public:
    static constexpr std::uint32_t kLowSize = 0x300000;
    static constexpr std::uint32_t kMidSize = 0x200000;
    static constexpr std::uint32_t kHighSize = 0x100000;
    static constexpr std::uint32_t kMidBase = 0x00400000;
    static constexpr std::uint32_t kHighBase = 0x20000000;

    // Allocates the three buffers and fills them with 0xFF.
    FlashImage();
    FlashImage(const FlashImage&) = delete;
    FlashImage& operator=(const FlashImage&) = delete;

    // The image address rule. `low_start` is the start of the first flash
    // area, the base of the low window.
    static ImageLocation Locate(std::uint32_t address, std::uint32_t low_start);
    static std::uint32_t WindowSize(ImageWindow window);

    // Sets every byte of all three windows to `value`; reads past a window's
    // end return it from now on.
    void Fill(std::uint8_t value);
    std::uint8_t FillValue() const { return fill_; }

    // Stores a data record whose first byte belongs at `address`: all bytes go
    // to the window of that first address at consecutive offsets. A record
    // below `low_start` or one that would run past its window's end is refused
    // and nothing of it is written. In the low window the two bytes at offset
    // `skip_halfword` (bit 0 clear) keep their value.
    StoreOutcome Store(std::uint32_t address, std::span<const std::uint8_t> data,
                       std::uint32_t low_start, std::optional<std::uint32_t> skip_halfword);

    // Reads `out.size()` bytes of the image from `address` on: byte i comes
    // from the window of `address`, at its offset plus i. Bytes that have no
    // place in that window (past its end, or below the low window's start)
    // read as the fill value.
    void ReadBlock(std::uint32_t address, std::uint32_t low_start,
                   std::span<std::uint8_t> out) const;

    // Direct views of the windows (for tests and whole-image walks).
    std::span<const std::uint8_t> Window(ImageWindow window) const;
    std::span<std::uint8_t> Window(ImageWindow window);

private:
    std::unique_ptr<std::uint8_t[]> low_;
    std::unique_ptr<std::uint8_t[]> mid_;
    std::unique_ptr<std::uint8_t[]> high_;
    std::uint8_t fill_ = 0xFF;
};

}  // namespace mirelle::hexfile
