#include "serial/low_latency.h"

namespace mirelle::serial {

bool LowLatencyRequest::Enable(SerialFlags& device) {
    saved_.reset();
    int flags = 0;
    if (!device.Get(flags) || (flags & kAsyncLowLatency) != 0) return false;
    if (!device.Set(flags | kAsyncLowLatency)) return false;
    saved_ = flags;
    return true;
}

void LowLatencyRequest::Restore(SerialFlags& device) {
    if (!saved_) return;
    device.Set(*saved_);
    saved_.reset();
}

}  // namespace mirelle::serial
