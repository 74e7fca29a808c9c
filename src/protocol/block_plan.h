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

// A part of the address space, both ends inclusive.
struct AddressRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0xFFFFFFFF;
};

// What a read of `range` takes of the area [start, end]: the bytes
// first..last that lie in both, and the blocks that hold them, on the area's
// own 512-byte grid (the first block may begin before `first`). `blocks` is 0
// when the two do not meet.
struct AreaPart {
    std::uint32_t first = 0, last = 0;
    std::uint32_t first_block = 0;
    std::uint32_t blocks = 0;
    std::uint64_t Bytes() const { return blocks == 0 ? 0 : std::uint64_t{last} - first + 1; }
};
AreaPart PartWithin(std::uint32_t start, std::uint32_t end, const AddressRange& range);

// True when any byte of the block differs from 0xFF.
bool BlockHasData(std::span<const std::uint8_t> block);

}  // namespace mirelle::protocol
