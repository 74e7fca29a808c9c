#include "protocol/block_plan.h"

#include <algorithm>

namespace mirelle::protocol {

std::uint32_t BlockCount(std::span<const std::uint32_t> starts, std::span<const std::uint32_t> ends) {
    std::uint32_t count = 0;
    const std::size_t areas = std::min(starts.size(), ends.size());
    for (std::size_t i = 0; i < areas; ++i) {
        if (ends[i] < starts[i]) continue;
        const std::uint32_t length = ends[i] - starts[i] + 1;  // 0 for the whole address space
        count += length / kBlockSize + (length % kBlockSize != 0 ? 1 : 0);
        if (length == 0) count += 0x800000;  // 2^32 / 512
    }
    return count;
}

BlockWalk::BlockWalk(std::span<const std::uint32_t> starts, std::span<const std::uint32_t> ends)
    : starts_(starts.first(std::min(starts.size(), ends.size()))),
      ends_(ends.first(std::min(starts.size(), ends.size()))) {
    if (!Done()) address_ = starts_[0];
    SkipEmptyAreas();
}

void BlockWalk::SkipEmptyAreas() {
    while (!Done() && address_ > ends_[area_]) {
        ++area_;
        if (!Done()) address_ = starts_[area_];
    }
}

void BlockWalk::Advance() {
    if (Done()) return;
    address_ += kBlockSize;
    SkipEmptyAreas();
}

AreaPart PartWithin(std::uint32_t start, std::uint32_t end, const AddressRange& range) {
    AreaPart part;
    if (end < start || range.last < range.first || end < range.first || start > range.last) return part;
    part.first = std::max(start, range.first);
    part.last = std::min(end, range.last);
    part.first_block = start + (part.first - start) / kBlockSize * kBlockSize;
    // In 64 bits: a part may reach the top of the address space.
    const std::uint64_t span = std::uint64_t{part.last} - part.first_block + 1;
    part.blocks = static_cast<std::uint32_t>((span + kBlockSize - 1) / kBlockSize);
    return part;
}

bool BlockHasData(std::span<const std::uint8_t> block) {
    return std::any_of(block.begin(), block.end(), [](std::uint8_t b) { return b != 0xFF; });
}

}  // namespace mirelle::protocol
