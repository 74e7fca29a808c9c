#include "chipsim/boot_entry_watch.h"

namespace mirelle::chipsim {

using serial::LineStep;

BootEntryWatch::BootEntryWatch(serial::LineSequence sequence) {
    std::uint64_t wait_us = 0;
    for (const LineStep& s : sequence) {
        switch (s.kind) {
            case LineStep::Kind::Dtr:
            case LineStep::Kind::Rts:
                expected_.push_back({s.kind, s.Asserts(), wait_us});
                wait_us = 0;
                break;
            case LineStep::Kind::Break:
                expected_.push_back({s.kind, true, wait_us});
                expected_.push_back({s.kind, false, std::uint64_t{s.ms} * 1000});
                wait_us = 0;
                break;
            case LineStep::Kind::Wait:
                wait_us += std::uint64_t{s.ms} * 1000;
                break;
        }
    }
}

bool BootEntryWatch::LineCall(LineStep::Kind kind, bool asserted, std::uint64_t now_us) {
    if (expected_.empty()) return false;
    seen_.push_back({kind, asserted, now_us});
    if (seen_.size() > expected_.size()) seen_.erase(seen_.begin());
    if (seen_.size() < expected_.size()) return false;
    for (std::size_t i = 0; i < expected_.size(); ++i) {
        if (seen_[i].kind != expected_[i].kind || seen_[i].asserted != expected_[i].asserted) return false;
        if (i > 0 && seen_[i].us - seen_[i - 1].us < expected_[i].us / 2) return false;
    }
    seen_.clear();  // the next entry needs the whole sequence again
    return true;
}

}  // namespace mirelle::chipsim
