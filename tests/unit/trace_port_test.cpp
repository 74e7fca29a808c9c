// The trace of a port: every byte with its time and direction, and what the
// traced port passes on unchanged.
#include <gtest/gtest.h>

#include <deque>

#include "serial/trace_port.h"

namespace mirelle::serial {
namespace {

TEST(TraceLines, TimeDirectionAndBytes) {
    const std::uint8_t handshake[] = {0x18};
    EXPECT_EQ(TraceLines(2511687, '>', handshake), "    2.511687 > 18\n");
    EXPECT_EQ(TraceLines(12, '<', {}), "    0.000012 < (nothing)\n");
    std::vector<std::uint8_t> block(33, 0xAB);
    const std::string lines = TraceLines(1000000, '<', block);
    // 32 bytes a line; the next line is indented under the bytes.
    EXPECT_EQ(lines.substr(0, 15), "    1.000000 < ");
    EXPECT_EQ(lines.substr(lines.find('\n') + 1), std::string(14, ' ') + " AB\n");
    EXPECT_EQ(TraceNote(5, "rate 19200"), "    0.000005 * rate 19200\n");
}

// A port that answers what it is given to read, and keeps what is written.
class FakePort final : public Port {
public:
    std::deque<std::uint8_t> answer;
    std::vector<std::uint8_t> written;
    PortResult SetBaud(std::uint32_t) override { return PortResult::Ok; }
    void Purge(PurgeWhich) override {}
    LineStatus ClearErrors() override { return {}; }
    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        written.insert(written.end(), data, data + n);
        done = n;
        return true;
    }
    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        for (done = 0; done < n && !answer.empty(); ++done) data[done] = answer.front(), answer.pop_front();
        return true;
    }
    bool dtr = false;
    bool SetDtr(bool on) override { return dtr = on, true; }
    bool SetRts(bool) override { return false; }  // a port without line control
    bool SetBreak(bool) override { return true; }
};

TEST(TracingPort, PassesBytesOnAndWritesThemDown) {
    auto fake = std::make_unique<FakePort>();
    FakePort& inner = *fake;
    inner.answer = {0x11};
    std::string trace;
    std::uint64_t now = 0;
    TracingPort port(std::move(fake), [&](const std::string& lines) { trace += lines; }, [&] { return now += 100; });
    const std::uint8_t sync = 0x18;
    std::size_t done = 0;
    ASSERT_TRUE(port.Write(&sync, 1, done));
    std::uint8_t got[2] = {};
    ASSERT_TRUE(port.Read(got, 2, done));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(got[0], 0x11);
    EXPECT_EQ(inner.written, std::vector<std::uint8_t>{0x18});
    port.SetBaud(19200);
    EXPECT_TRUE(port.SetDtr(true));
    EXPECT_TRUE(inner.dtr);
    EXPECT_FALSE(port.SetRts(true));
    EXPECT_EQ(trace, "    0.000100 > 18\n    0.000200 < 11\n    0.000300 * rate 19200\n    0.000400 * DTR on\n"
                     "    0.000500 * RTS on refused\n");
}

}  // namespace
}  // namespace mirelle::serial
