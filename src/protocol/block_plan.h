// The block plan of the programming and read-out transfers: each flash area
// is walked in 512-byte blocks from its start; the last block of an area may
// reach past the area's end and is still moved whole. Blocks whose bytes are
// all 0xFF are not programmed, but the progress bar counts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirelle::protocol {

inline constexpr std::uint32_t kBlockSize = 512;

// The number of blocks over the areas [starts[i], ends[i]] (ends inclusive):
// the sum of ceil((end - start + 1) / 512) in unsigned 32-bit arithmetic. An
// area whose end lies below its start holds no block.
std::uint32_t BlockCount(std::span<const std::uint32_t> starts, std::span<const std::uint32_t> ends);

// Walks the block start addresses of all areas in order. The walk keeps its
// position in 64 bits, so an area that reaches the top of the address space
// ends instead of wrapping around to address 0.
class BlockWalk {
public:
    BlockWalk(std::span<const std::uint32_t> starts, std::span<const std::uint32_t> ends);
    bool Done() const { return area_ >= starts_.size(); }
    std::uint32_t Address() const { return static_cast<std::uint32_t>(address_); }
    std::size_t Area() const { return area_; }
    void Advance();

private:
    void SkipEmptyAreas();
    std::span<const std::uint32_t> starts_, ends_;
    std::size_t area_ = 0;
    std::uint64_t address_ = 0;
};

// True when any byte of the block differs from 0xFF.
bool BlockHasData(std::span<const std::uint8_t> block);

}  // namespace mirelle::protocol
