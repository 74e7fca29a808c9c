// Low latency asked of a serial driver when the port opens, and the old
// flags put back when it closes.
#include <gtest/gtest.h>

#include <vector>

#include "serial/low_latency.h"

namespace mirelle::serial {
namespace {

class FakeFlags final : public SerialFlags {
public:
    bool has_flags = true, accepts = true;
    int flags = 0x0040;
    std::vector<int> sets;
    bool Get(int& out) override {
        out = flags;
        return has_flags;
    }
    bool Set(int value) override {
        sets.push_back(value);
        if (accepts) flags = value;
        return accepts;
    }
};

TEST(SerialLowLatency, AskedOnOpenAndUndoneOnCloseOnlyWhereItChangedSomething) {
    struct Case {
        const char* what;
        bool has_flags, accepts;
        int flags_before;
        bool changed;
        std::vector<int> sets;  // every Set, opening and closing
        int flags_after;
    };
    constexpr int kLow = kAsyncLowLatency;
    const Case cases[] = {
        {"a USB adapter", true, true, 0x0040, true, {0x0040 | kLow, 0x0040}, 0x0040},
        {"already low latency: left alone", true, true, 0x0040 | kLow, false, {}, 0x0040 | kLow},
        {"a pseudo-terminal has no flags", false, true, 0x0040, false, {}, 0x0040},
        {"a driver that refuses", true, false, 0x0040, false, {0x0040 | kLow}, 0x0040},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFlags device;
        device.has_flags = c.has_flags;
        device.accepts = c.accepts;
        device.flags = c.flags_before;
        LowLatencyRequest request;
        EXPECT_EQ(request.Enable(device), c.changed);
        if (c.changed) {
            EXPECT_EQ(device.flags, c.flags_before | kLow);
        }
        request.Restore(device);
        request.Restore(device);  // a second close changes nothing
        EXPECT_EQ(device.sets, c.sets);
        EXPECT_EQ(device.flags, c.flags_after);
    }
}

}  // namespace
}  // namespace mirelle::serial
