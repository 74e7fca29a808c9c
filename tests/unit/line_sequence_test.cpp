// Boot-entry sequences: the text syntax (good and bad words), and what a run
// does on the simulated line: each line call at its time on the virtual clock,
// and the stop at the first call a port without line control refuses.
#include <gtest/gtest.h>

#include "chipsim/boot_entry_watch.h"
#include "chipsim/chip.h"
#include "chipsim/sim_port.h"
#include "serial/line_sequence.h"

namespace mirelle::serial {
namespace {

using Kind = LineStep::Kind;

TEST(LineSequence, GoodTextsReadAndFormatBack) {
    const struct {
        const char* text;
        LineSequence steps;
        const char* canonical;
    } rows[] = {
        {"D1 R1 W100 R0 W50 D0",
         {{Kind::Dtr, true, false, 0}, {Kind::Rts, true, false, 0}, {Kind::Wait, false, false, 100},
          {Kind::Rts, false, false, 0}, {Kind::Wait, false, false, 50}, {Kind::Dtr, false, false, 0}},
         "D1 R1 W100 R0 W50 D0"},
        {"b250", {{Kind::Break, false, false, 250}}, "B250"},
        {" !d1,,!R0\tw0 ", {{Kind::Dtr, true, true, 0}, {Kind::Rts, false, true, 0}, {Kind::Wait, false, false, 0}},
         "!D1 !R0 W0"},
        {"W60000 B1", {{Kind::Wait, false, false, 60000}, {Kind::Break, false, false, 1}}, "W60000 B1"},
        {"", {}, ""},
        {" , ", {}, ""},
    };
    for (const auto& row : rows) {
        LineSequence steps;
        std::string error;
        ASSERT_TRUE(ParseLineSequence(row.text, steps, error)) << row.text << ": " << error;
        EXPECT_EQ(steps, row.steps) << row.text;
        EXPECT_EQ(FormatLineSequence(steps), row.canonical);
    }
}

TEST(LineSequence, InvertedStepDrivesTheOppositeLevel) {
    LineSequence steps;
    std::string error;
    ASSERT_TRUE(ParseLineSequence("!D1 !D0 D1", steps, error));
    EXPECT_FALSE(steps[0].Asserts());
    EXPECT_TRUE(steps[1].Asserts());
    EXPECT_TRUE(steps[2].Asserts());
}

TEST(LineSequence, BadTextsNameTheirWord) {
    const struct {
        const char* text;
        const char* word;
    } rows[] = {
        {"D1 X1", "\"X1\""},  {"D2", "\"D2\""},       {"R", "\"R\""},          {"W", "\"W\""},
        {"B0", "\"B0\""},     {"W60001", "\"W60001\""}, {"W-5", "\"W-5\""},     {"W1x", "\"W1x\""},
        {"!W10", "\"!W10\""}, {"!", "\"!\""},         {"D1;R1", "\"D1;R1\""}, {"W4294967296", "\"W4294967296\""},
    };
    for (const auto& row : rows) {
        LineSequence steps{{Kind::Wait, false, false, 1}};
        std::string error;
        EXPECT_FALSE(ParseLineSequence(row.text, steps, error)) << row.text;
        EXPECT_NE(error.find(row.word), std::string::npos) << row.text << " -> " << error;
        EXPECT_TRUE(steps.empty()) << row.text;
    }
}

class LineSequenceRun : public ::testing::Test {
protected:
    LineSequenceRun() : chip(chipsim::ChipConfig::ForTarget("TQ4A04", {{0x80000, 0x8FFFF}})), line(chip, clock) {}
    std::unique_ptr<Port> Open() {
        std::unique_ptr<Port> port;
        EXPECT_EQ(line.Open("/dev/ttyS0", 1, 9600, port), PortResult::Ok);
        return port;
    }
    // The line calls as "kind level @ms".
    std::vector<std::string> Calls() const {
        std::vector<std::string> out;
        for (const auto& e : line.Events()) {
            const char* name = e.kind == chipsim::LineEvent::Kind::Dtr   ? "DTR"
                               : e.kind == chipsim::LineEvent::Kind::Rts ? "RTS"
                               : e.kind == chipsim::LineEvent::Kind::Break ? "BRK"
                                                                           : nullptr;
            if (name) out.push_back(std::string(name) + (e.on ? " on @" : " off @") + std::to_string(e.time_ms));
        }
        return out;
    }
    VirtualClock clock;
    chipsim::Chip chip;
    chipsim::SimLine line;
};

TEST_F(LineSequenceRun, StepsHappenAtTheirTimesOnTheClock) {
    auto port = Open();
    LineSequence steps;
    std::string error;
    ASSERT_TRUE(ParseLineSequence("D1 !R1 W100 D0 B250 W50 R1", steps, error));
    EXPECT_TRUE(RunLineSequence(*port, steps, clock));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DTR on @0", "RTS off @0", "DTR off @100", "BRK on @100",
                                                 "BRK off @350", "RTS on @400"}));
    EXPECT_EQ(clock.ElapsedMs(), 400u);
}

TEST_F(LineSequenceRun, PortWithoutLineControlStopsAtTheFirstCall) {
    line.SetLineControl(false);
    auto port = Open();
    LineSequence steps;
    std::string error;
    ASSERT_TRUE(ParseLineSequence("W20 D1 W100 R1", steps, error));
    EXPECT_FALSE(RunLineSequence(*port, steps, clock));
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(clock.ElapsedMs(), 20u);  // the waits after the refusal are not spent
}

// The board's reset circuit: the calls must come in order, each wait must
// have lasted at least half its time, and calls before the sequence do not
// matter.
TEST(BootEntryWatch, SeesTheSequenceOnlyInOrderAndInTime) {
    LineSequence seq;
    std::string error;
    ASSERT_TRUE(ParseLineSequence("D1 R1 W100 D0 B20", seq, error));
    struct Call {
        Kind kind;
        bool on;
        std::uint64_t ms;
    };
    const struct {
        const char* name;
        std::vector<Call> calls;
        bool enters;
    } rows[] = {
        {"exact", {{Kind::Dtr, 1, 0}, {Kind::Rts, 1, 0}, {Kind::Dtr, 0, 100}, {Kind::Break, 1, 100}, {Kind::Break, 0, 120}}, true},
        {"late waits", {{Kind::Dtr, 1, 0}, {Kind::Rts, 1, 5}, {Kind::Dtr, 0, 400}, {Kind::Break, 1, 400}, {Kind::Break, 0, 900}}, true},
        {"noise before", {{Kind::Rts, 0, 0}, {Kind::Dtr, 1, 0}, {Kind::Rts, 1, 0}, {Kind::Dtr, 0, 100}, {Kind::Break, 1, 100}, {Kind::Break, 0, 120}}, true},
        {"wait too short", {{Kind::Dtr, 1, 0}, {Kind::Rts, 1, 0}, {Kind::Dtr, 0, 40}, {Kind::Break, 1, 40}, {Kind::Break, 0, 60}}, false},
        {"swapped", {{Kind::Rts, 1, 0}, {Kind::Dtr, 1, 0}, {Kind::Dtr, 0, 100}, {Kind::Break, 1, 100}, {Kind::Break, 0, 120}}, false},
        {"wrong level", {{Kind::Dtr, 1, 0}, {Kind::Rts, 0, 0}, {Kind::Dtr, 0, 100}, {Kind::Break, 1, 100}, {Kind::Break, 0, 120}}, false},
        {"no break", {{Kind::Dtr, 1, 0}, {Kind::Rts, 1, 0}, {Kind::Dtr, 0, 100}}, false},
    };
    for (const auto& row : rows) {
        chipsim::BootEntryWatch watch(seq);
        bool entered = false;
        for (const Call& c : row.calls) entered = watch.LineCall(c.kind, c.on, c.ms * 1000);
        EXPECT_EQ(entered, row.enters) << row.name;
    }
}

}  // namespace
}  // namespace mirelle::serial
