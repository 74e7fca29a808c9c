#include "chipsim/line_model.h"

#include <algorithm>

namespace mirelle::chipsim {

LineDirection::Slot LineDirection::Send(std::uint64_t ready_us, std::uint32_t baud) {
    Slot slot;
    slot.start_us = std::max(ready_us, free_at_);
    slot.end_us = slot.start_us + ByteTimeUs(baud);
    free_at_ = slot.end_us;
    return slot;
}

void LatencyBuffer::Arrive(std::uint8_t byte, std::uint64_t arrived_us) { held_.push_back({byte, arrived_us}); }

std::optional<std::uint64_t> LatencyBuffer::ReleaseTime() const {
    if (held_.empty()) return std::nullopt;
    // A full packet goes as soon as its last byte is in.
    if (held_.size() >= kPacketBytes) {
        return std::min(held_.front().arrived_us + latency_us_, held_[kPacketBytes - 1].arrived_us);
    }
    return held_.front().arrived_us + latency_us_;
}

std::vector<LatencyBuffer::Released> LatencyBuffer::Release(std::uint64_t now_us) {
    std::vector<Released> out;
    for (auto at = ReleaseTime(); at && *at <= now_us; at = ReleaseTime()) {
        // One packet: what had arrived by then, at most a packet's worth.
        std::size_t n = 0;
        while (n < held_.size() && n < kPacketBytes && held_[n].arrived_us <= *at) ++n;
        for (std::size_t i = 0; i < n; ++i) out.push_back({held_[i].byte, held_[i].arrived_us, *at});
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return out;
}

}  // namespace mirelle::chipsim
