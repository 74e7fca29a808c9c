// The simulated chip, driven through its in-process port the way the host
// drives a real chip: exact frames in, exact answers out, in virtual time.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <numeric>

#include "chipsim/chip.h"
#include "chipsim/sim_options.h"
#include "chipsim/sim_port.h"
#include "protocol/crc16.h"

namespace mirelle::chipsim {

using namespace mirelle::protocol;
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBoot = 9600;
constexpr std::uint32_t kWork = 19200;
constexpr std::uint32_t kArea0 = 0x00F80000;  // 2 KiB
constexpr std::uint32_t kArea1 = 0x00FFF000;  // 0x201 bytes: two blocks

ChipConfig TestConfig(const std::string& target = "TQ4A04") {
    ChipConfig c = ChipConfig::ForTarget(target, {{kArea0, kArea0 + 0x7FF}, {kArea1, kArea1 + 0x200}});
    c.boot_baud = kBoot;
    c.work_baud = kWork;
    c.timing.erase_ms = 1000;
    c.timing.busy_pace_ms = 100;
    c.timing.blank_check_ms = 0;
    c.timing.program_ms = 0;
    return c;
}

Bytes Le(std::uint32_t v, std::size_t width) {
    Bytes out;
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes UploadFrame(std::uint32_t address, const Bytes& program) {
    Bytes f{0x00};
    const auto len = static_cast<std::uint32_t>(program.size());
    for (int s = 24; s >= 0; s -= 8) f.push_back(static_cast<std::uint8_t>(address >> s));
    for (int s = 24; s >= 0; s -= 8) f.push_back(static_cast<std::uint8_t>(len >> s));
    f.insert(f.end(), program.begin(), program.end());
    f.push_back(static_cast<std::uint8_t>(std::accumulate(f.begin(), f.end(), 0u)));
    return f;
}

const Bytes kStartFrame{0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0};

Bytes BlockFrame(const Bytes& data) {
    Bytes f = data;
    const std::uint16_t crc = Crc16(data.data(), data.size());
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    f.push_back(static_cast<std::uint8_t>(crc));
    return f;
}

// A host on the far side of the in-process port.
class Bench {
public:
    explicit Bench(ChipConfig config) : chip(std::move(config)), line(chip, clock) {}

    void Open(std::uint32_t baud) { ASSERT_EQ(line.Open("sim", 1, baud, port), serial::PortResult::Ok); }
    void Close() { port.reset(); }

    bool Send(const Bytes& bytes) {
        std::size_t done = 0;
        return port->Write(bytes.data(), bytes.size(), done) && done == bytes.size();
    }
    Bytes Read(std::size_t n) {
        Bytes out(n);
        std::size_t done = 0;
        EXPECT_TRUE(port->Read(out.data(), n, done));
        out.resize(done);
        return out;
    }
    // Reads until a byte other than 0x00 and '0', or until `limit_ms` passed; 0 on time-out.
    std::uint8_t Status(std::uint64_t limit_ms = 5000) {
        const std::uint64_t start = clock.ElapsedMs();
        busy = 0;
        while (clock.ElapsedMs() - start <= limit_ms) {
            const Bytes b = Read(1);
            if (b.empty()) continue;
            if (b[0] == '0') {
                ++busy;
                continue;
            }
            if (b[0] != 0) return b[0];
        }
        return 0;
    }
    // The whole download; the port ends at the working rate.
    void Download(const Bytes& program = {1, 2, 3, 4, 5}) {
        Open(kBoot);
        ASSERT_TRUE(Send({0x18}));
        ASSERT_EQ(Read(1), Bytes{0x11});
        ASSERT_TRUE(Send(UploadFrame(0xFFFF8000, program)));
        if (chip.Config().upload_ack) {
            ASSERT_EQ(Read(1), Bytes{0x01});
        }
        ASSERT_TRUE(Send({0x18}));
        ASSERT_EQ(Read(1), Bytes{0x11});
        ASSERT_TRUE(Send(kStartFrame));
        ASSERT_EQ(Read(1), Bytes{0x31});
        clock.Advance(250);
        ASSERT_EQ(port->SetBaud(kWork), serial::PortResult::Ok);
    }
    std::size_t Width() const { return chip.Config().family == Family::First ? 4 : 3; }
    std::uint8_t Program(std::uint32_t address, const Bytes& data) {
        EXPECT_TRUE(Send(Cat({0x08}, Le(address, Width()))));
        const std::uint8_t ack = Status();
        if (ack != '1') return ack;
        EXPECT_TRUE(Send(BlockFrame(data)));
        return Status();
    }

    VirtualClock clock;
    Chip chip;
    SimLine line;
    std::unique_ptr<serial::Port> port;
    int busy = 0;
};

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

TEST(ChipsimCrc, KnownValues) {
    const char* text = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(text), 9), 0x31C3);
    const Bytes ff(512, 0xFF);
    EXPECT_EQ(Crc16(ff.data(), ff.size()), 0x7FA1);
}

TEST(ChipsimBoot, DownloadHandshakeAndUploadedProgram) {
    Bench b(TestConfig());
    b.Download({0xDE, 0xAD, 0xBE, 0xEF});
    EXPECT_EQ(b.chip.UploadedProgram(), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(b.chip.UploadAddress(), 0xFFFF8000u);
    EXPECT_EQ(b.chip.CurrentMode(b.clock.ElapsedMs() * 1000), Chip::Mode::ControlProgram);
    EXPECT_EQ(b.line.Rates(), (std::vector<std::uint32_t>{kBoot, kWork}));
    // The host's bytes are recorded exactly as sent.
    const Bytes written = b.line.Written();
    ASSERT_EQ(written.size(), 1u + 14u + 1u + 10u);
    EXPECT_EQ(written[0], 0x18);
    EXPECT_EQ(Bytes(written.begin() + 16, written.end()), kStartFrame);
    EXPECT_EQ(b.line.Received(), (Bytes{0x11, 0x01, 0x11, 0x31}));
}

TEST(ChipsimBoot, EmptyProgramAndBadSums) {
    Bench b(TestConfig());
    b.Open(kBoot);
    // A start before any upload, and an upload with a wrong sum, are refused.
    ASSERT_TRUE(b.Send(kStartFrame));
    EXPECT_EQ(b.Read(1), Bytes{0x3E});
    Bytes bad = UploadFrame(0x1000, {9, 9});
    bad.back() ^= 1;
    ASSERT_TRUE(b.Send(bad));
    EXPECT_EQ(b.Read(1), Bytes{0x0E});
    EXPECT_FALSE(b.chip.ProgramLoaded());
    // A program of 0 bytes: address, four zero length bytes, the sum of the address bytes.
    ASSERT_TRUE(b.Send({0x00, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0x10}));
    EXPECT_EQ(b.Read(1), Bytes{0x01});
    ASSERT_TRUE(b.Send(kStartFrame));
    EXPECT_EQ(b.Read(1), Bytes{0x31});
}

TEST(ChipsimBoot, ChipsWithoutUploadAnswerStaySilentAfterTheUpload) {
    for (const char* name : {"TQ4A01", "TQ4A02", "TQ4A03"}) {
        Bench b(TestConfig(name));
        b.Open(kBoot);
        ASSERT_TRUE(b.Send({0x18}));
        EXPECT_EQ(b.Read(1), Bytes{0x11});
        ASSERT_TRUE(b.Send(UploadFrame(0x100, {1, 2, 3})));
        EXPECT_TRUE(b.Read(1).empty()) << name;
        ASSERT_TRUE(b.Send({0x18}));
        EXPECT_EQ(b.Read(1), Bytes{0x11});
        EXPECT_TRUE(b.chip.ProgramLoaded());
    }
}

TEST(ChipsimBoot, BytesAtAWrongRateAreIgnored) {
    Bench b(TestConfig());
    b.Open(kWork);  // the boot ROM listens at the boot rate
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_TRUE(b.Read(1).empty());
    EXPECT_EQ(b.chip.BytesIgnoredAtWrongRate(), 1u);
    ASSERT_EQ(b.port->SetBaud(kBoot), serial::PortResult::Ok);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Read(1), Bytes{0x11});
    EXPECT_FALSE(b.line.Wire().front().delivered);

    // After the start answer the control program listens at the working rate only.
    Bench c(TestConfig());
    c.Download();
    ASSERT_EQ(c.port->SetBaud(kBoot), serial::PortResult::Ok);
    ASSERT_TRUE(c.Send({0x39, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(c.Status(1000), 0);
    ASSERT_EQ(c.port->SetBaud(kWork), serial::PortResult::Ok);
    ASSERT_TRUE(c.Send({0x39, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(c.Read(1), Bytes{'0'});
}

TEST(ChipsimBoot, AnswerSentAtAnotherRateArrivesAsAFramingError) {
    Bench b(TestConfig());
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    ASSERT_EQ(b.port->SetBaud(kWork), serial::PortResult::Ok);  // the host changes its rate too early
    EXPECT_TRUE(b.Read(1).empty());
    EXPECT_EQ(b.port->ClearErrors().errors, serial::kErrFrame);
    EXPECT_EQ(b.port->ClearErrors().errors, 0u);
}

TEST(ChipsimPort, TimeOutRulesInVirtualTime) {
    Bench b(TestConfig());
    b.Open(kBoot);
    // A silent read of n bytes costs 80 * n + 80 ms.
    EXPECT_TRUE(b.Read(1).empty());
    EXPECT_EQ(b.clock.ElapsedMs(), 160u);
    EXPECT_TRUE(b.Read(8).empty());
    EXPECT_EQ(b.clock.ElapsedMs(), 160u + 720u);
    // A short answer ends a long read 80 ms after its last byte.
    ASSERT_TRUE(b.Send({0x18}));
    const std::uint64_t t0 = b.clock.ElapsedMs();
    EXPECT_EQ(b.Read(64), Bytes{0x11});
    EXPECT_EQ(b.clock.ElapsedMs() - t0, 2u + 80u);  // 1.04 ms on the line at 9600, then the gap
}

TEST(ChipsimPort, QueuedBytesAndPurge) {
    Bench b(TestConfig());
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x38}, Le(kArea0, 4))));
    b.clock.Advance(450);  // four busy bytes so far
    EXPECT_EQ(b.port->ClearErrors().queued, 4u);
    b.port->Purge(serial::PurgeWhich::Receive);
    EXPECT_EQ(b.port->ClearErrors().queued, 0u);
    b.clock.Advance(600);  // five more, then the status
    EXPECT_EQ(b.port->ClearErrors().queued, 6u);
    EXPECT_EQ(b.Status(), '1');
    EXPECT_EQ(b.busy, 5);
}

TEST(ChipsimPort, OpenerIsInstalledAndRestored) {
    Bench b(TestConfig());
    serial::PortOpener slot = serial::OpenSystemPort;
    {
        ScopedPortOpener scoped(b.line, slot);
        std::unique_ptr<serial::Port> port;
        EXPECT_EQ(slot("/dev/whatever", 3, kBoot, port), serial::PortResult::Ok);
        ASSERT_TRUE(port);
        std::unique_ptr<serial::Port> second;
        EXPECT_EQ(slot("/dev/whatever", 3, kBoot, second), serial::PortResult::CannotOpen);  // exclusive
        EXPECT_EQ(b.line.Events().front().com_number, 3);
    }
    // Back to the real opener: the simulated line is not opened any more.
    std::unique_ptr<serial::Port> port;
    slot("/nonexistent/tty", 1, kBoot, port);
    EXPECT_EQ(b.line.OpenCount(), 1);
}

TEST(ChipsimPort, InjectedOpenAndRateFailures) {
    Bench b(TestConfig());
    b.line.FailOpens(serial::PortResult::CannotChangeSettings);
    std::unique_ptr<serial::Port> port;
    EXPECT_EQ(b.line.Open("sim", 1, kBoot, port), serial::PortResult::CannotChangeSettings);
    EXPECT_TRUE(port);  // handed out for the caller to close
    port.reset();
    b.line.FailSetBaud(serial::PortResult::CannotReadSettings);
    b.Open(kBoot);
    EXPECT_EQ(b.port->SetBaud(kWork), serial::PortResult::CannotReadSettings);
    EXPECT_EQ(b.line.HostBaud(), kBoot);
    EXPECT_EQ(b.port->SetBaud(kWork), serial::PortResult::Ok);
}

TEST(ChipsimPort, ClosingThePortResetsTheBoardIntoItsBootRom) {
    Bench b(TestConfig());
    b.Download();
    b.Close();
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Read(1), Bytes{0x11});
    EXPECT_EQ(b.chip.ResetCount(), 1);
}

TEST(ChipsimCommands, EraseSendsBusyBytesThenDone) {
    Bench b(TestConfig());
    b.chip.GetFlash().Store(kArea0, {0x12, 0x34});
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x38}, Le(kArea0, 4))));
    EXPECT_EQ(b.line.Written().size() - 27, 5u);
    EXPECT_EQ(b.Status(60000), '1');
    EXPECT_EQ(b.busy, 9);  // one every 100 ms of the 1000 ms erase
    EXPECT_EQ(b.chip.GetFlash().ProgrammedCount(), 0u);
    EXPECT_EQ(b.chip.EraseCount(), 1);
}

TEST(ChipsimCommands, SecondFamilyTakesThreeAddressBytes) {
    Bench b(TestConfig("TQ7C01"));
    b.Download();
    ASSERT_TRUE(b.Send({0x38, 0x00, 0x00, 0xF8}));
    EXPECT_EQ(b.Status(60000), '1');
    // The blank check sends only end + 1; the area ending there is checked from its start.
    b.chip.GetFlash().Store(kArea1 + 0x11, {0x55});
    ASSERT_TRUE(b.Send(Cat({0x48}, Le(kArea0 + 0x800, 3))));
    EXPECT_EQ(b.Status(), '1');
    ASSERT_TRUE(b.Send(Cat({0x48}, Le(kArea1 + 0x201, 3))));
    EXPECT_EQ(b.Status(), '4');
    EXPECT_EQ(b.Read(9), (Bytes{0x00, 0xFF, 0xF0, 0x10, 0xFF, 0x55, 0xFF, 0xFF, 0x00}));
    Bytes data = Pattern(512, 3);
    EXPECT_EQ(b.Program(kArea0, data), '1');
    EXPECT_EQ(b.chip.GetFlash().Read(kArea0, 512), data);

    // A first-family chip waits for the fourth address byte.
    Bench c(TestConfig());
    c.Download();
    ASSERT_TRUE(c.Send({0x38, 0x00, 0x00, 0xF8}));
    EXPECT_EQ(c.Status(2000), 0);
    ASSERT_TRUE(c.Send({0x00}));
    EXPECT_EQ(c.Status(2000), '1');
}

TEST(ChipsimCommands, CrReadAndSet) {
    ChipConfig config = TestConfig();
    config.cr = {0xFF, 0xFF, 1, 2, 3, 4, 5, 6};
    Bench b(config);
    b.Download();
    ASSERT_TRUE(b.Send({0x39, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(b.Read(10), (Bytes{'0', 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, '1'}));
    ASSERT_TRUE(b.Send({0x3A, 0xA0, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(b.Status(), '1');
    EXPECT_EQ(b.chip.Cr(), (std::array<std::uint8_t, 8>{0xFF, 0xFF, 1, 2, 0xA0, 0xA1, 0xA2, 0xA3}));
    ASSERT_TRUE(b.Send({0x39, 0x11, 0x22, 0x33, 0x45}));
    EXPECT_EQ(b.Read(1), Bytes{'4'});
}

TEST(ChipsimCommands, BlankCheckFirstFamily) {
    Bench b(TestConfig());
    b.chip.GetFlash().Store(kArea0 + 0x12, {0x12, 0x34, 0x56});
    b.Download();
    const Bytes whole = Cat(Cat({0x48}, Le(kArea0, 4)), Le(kArea0 + 0x800, 4));
    ASSERT_TRUE(b.Send(whole));
    EXPECT_EQ(b.Status(), '4');
    EXPECT_EQ(b.Read(9), (Bytes{0x00, 0xF8, 0x00, 0x10, 0xFF, 0xFF, 0x12, 0x34, 0x00}));
    // A range that ends before the data is blank.
    ASSERT_TRUE(b.Send(Cat(Cat({0x48}, Le(kArea0, 4)), Le(kArea0 + 0x12, 4))));
    EXPECT_EQ(b.Status(), '1');
}

TEST(ChipsimCommands, ProgramThenReadBack) {
    Bench b(TestConfig());
    b.Download();
    const Bytes data = Pattern(512, 1);
    EXPECT_EQ(b.Program(kArea0 + 0x200, data), '1');
    EXPECT_EQ(b.chip.GetFlash().Read(kArea0 + 0x200, 512), data);
    EXPECT_EQ(b.chip.BlocksProgrammed(), 1);

    ASSERT_TRUE(b.Send(Cat({0x28}, Le(kArea0 + 0x200, 4))));
    EXPECT_EQ(b.Status(), '1');
    Bytes frame;
    for (int i = 0; i < 8; ++i) {
        const Bytes part = b.Read(64);
        frame.insert(frame.end(), part.begin(), part.end());
    }
    const Bytes crc = b.Read(2);
    frame.insert(frame.end(), crc.begin(), crc.end());
    ASSERT_EQ(frame.size(), 514u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 512), data);
    EXPECT_EQ(Crc16(frame.data(), frame.size()), 0);
    EXPECT_EQ(b.Status(), '1');
}

TEST(ChipsimCommands, BlockReachingPastAnAreaKeepsOnlyTheAreaBytes) {
    Bench b(TestConfig());
    b.Download();
    // Area 1 is 0x201 bytes: its second block holds one flash byte.
    const Bytes data(512, 0x00);
    EXPECT_EQ(b.Program(kArea1 + 0x200, data), '1');
    EXPECT_EQ(b.chip.GetFlash().Read(kArea1 + 0x200), 0x00);
    EXPECT_EQ(b.chip.GetFlash().Read(kArea1 + 0x201), 0xFF);
    EXPECT_EQ(b.chip.GetFlash().ProgrammedCount(), 1u);
    ASSERT_TRUE(b.Send(Cat({0x28}, Le(kArea1 + 0x200, 4))));
    EXPECT_EQ(b.Status(), '1');
    const Bytes back = b.Read(4);
    EXPECT_EQ(back, (Bytes{0x00, 0xFF, 0xFF, 0xFF}));
}

TEST(ChipsimCommands, ProgrammingOnlyClearsBits) {
    Bench b(TestConfig());
    b.chip.GetFlash().Store(kArea0 + 4, {0xF0, 0x0F});
    b.Download();
    Bytes data(512, 0xFF);
    data[4] = 0x0F;  // needs bits 4..7 to become 1 again: impossible
    data[5] = 0x0F;
    EXPECT_EQ(b.Program(kArea0, data), '4');
    EXPECT_EQ(b.Read(9), (Bytes{0x00, 0xF8, 0x00, 0x04, 0x0F, 0x0F, 0x00, 0x0F, 0x00}));
    EXPECT_EQ(b.chip.GetFlash().Read(kArea0 + 4), 0x00);  // old AND new
}

TEST(ChipsimCommands, BadCrcIsAnsweredFiveAndProgramsNothing) {
    Bench b(TestConfig());
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x08}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(), '1');
    Bytes frame = BlockFrame(Pattern(512, 9));
    frame.back() ^= 0x40;
    ASSERT_TRUE(b.Send(frame));
    EXPECT_EQ(b.Status(), '5');
    EXPECT_EQ(b.chip.GetFlash().ProgrammedCount(), 0u);
}

TEST(ChipsimFlash, CountsSumsAndImages) {
    Flash flash({{0x100, 0x1FF}, {0x300, 0x2FF}});  // the second area is empty
    EXPECT_EQ(flash.Size(), 0x100u);
    EXPECT_EQ(flash.Sum16(), 0xFF00);
    flash.Store(0x100, {0x00, 0x01});
    flash.Store(0x400, {0x00});  // outside: nothing kept
    EXPECT_EQ(flash.Read(0x400), 0xFF);
    EXPECT_EQ(flash.ProgrammedCount(), 2u);
    EXPECT_EQ(flash.Sum16(), static_cast<std::uint16_t>(0xFE * 0xFF + 1));
    Flash copy({{0x100, 0x1FF}});
    ASSERT_TRUE(copy.SetImage(flash.Image()));
    EXPECT_EQ(copy.Read(0x101), 0x01);
    EXPECT_FALSE(copy.SetImage(Bytes(3)));
}

// ---- faults -----------------------------------------------------------------

TEST(ChipsimFaults, SilentChipCostsOnlyVirtualTime) {
    ChipConfig config = TestConfig();
    config.faults.silent_from = StepMatch{StepKind::Any, 1};
    Bench b(config);
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Status(1000), 0);
    EXPECT_GE(b.clock.ElapsedMs(), 1000u);
    b.Close();  // a reset does not revive it
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_TRUE(b.Read(1).empty());
}

TEST(ChipsimFaults, SilentAfterStepN) {
    ChipConfig config = TestConfig();
    config.faults.silent_from = StepMatch{StepKind::Any, 3};  // answers two steps
    Bench b(config);
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Read(1), Bytes{0x11});
    ASSERT_TRUE(b.Send(UploadFrame(0, {7})));
    EXPECT_EQ(b.Read(1), Bytes{0x01});
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_TRUE(b.Read(1).empty());
}

TEST(ChipsimFaults, WrongAcknowledge) {
    ChipConfig config = TestConfig();
    config.faults.wrong_ack_at = StepMatch{StepKind::Sync, 2};
    config.faults.wrong_ack_byte = 0x35;
    Bench b(config);
    b.Open(kBoot);
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Read(1), Bytes{0x11});
    ASSERT_TRUE(b.Send({0x18}));
    EXPECT_EQ(b.Read(1), Bytes{0x35});
}

TEST(ChipsimFaults, BusyForeverUntilReset) {
    ChipConfig config = TestConfig();
    config.faults.busy_forever_at = StepMatch{StepKind::Erase, 1};
    Bench b(config);
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x38}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(60000), 0);
    EXPECT_GE(b.busy, 590);
    EXPECT_TRUE(b.chip.Hung());
    b.Close();
    b.Download();  // the second erase is not the faulty one
    ASSERT_TRUE(b.Send(Cat({0x38}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(60000), '1');
}

TEST(ChipsimFaults, EraseStatusLeavesTheFlash) {
    for (std::uint8_t status : {std::uint8_t{'3'}, std::uint8_t{'4'}}) {
        ChipConfig config = TestConfig();
        config.faults.erase_status = status;
        Bench b(config);
        b.chip.GetFlash().Store(kArea0, {0x00});
        b.Download();
        ASSERT_TRUE(b.Send(Cat({0x38}, Le(kArea0, 4))));
        EXPECT_EQ(b.Status(60000), status);
        EXPECT_EQ(b.chip.GetFlash().Read(kArea0), 0x00);
    }
}

TEST(ChipsimFaults, CrcErrorOnBlockKForMTries) {
    ChipConfig config = TestConfig();
    config.faults.crc_error_block = BlockRef::Nth(2);
    config.faults.crc_error_tries = 3;
    Bench b(config);
    b.Download();
    const Bytes data = Pattern(512, 5);
    EXPECT_EQ(b.Program(kArea0, data), '1');
    for (int i = 0; i < 3; ++i) EXPECT_EQ(b.Program(kArea0 + 0x200, data), '5') << i;  // retries keep number 2
    EXPECT_EQ(b.chip.GetFlash().Read(kArea0 + 0x200), 0xFF);
    EXPECT_EQ(b.Program(kArea0 + 0x200, data), '1');
    EXPECT_EQ(b.chip.CountSteps(StepKind::ProgramData), 5u);
}

TEST(ChipsimFaults, VerifyFailureAtBlock) {
    ChipConfig config = TestConfig();
    config.faults.verify_fail_block = BlockRef::At(kArea0 + 0x200);
    Bench b(config);
    b.Download();
    Bytes data(512, 0xFF);
    data[0x11] = 0x34;
    EXPECT_EQ(b.Program(kArea0, data), '1');
    EXPECT_EQ(b.Program(kArea0 + 0x200, data), '4');
    // 0x34 with its lowest cleared bit (bit 0) left at 1 reads 0x35.
    EXPECT_EQ(b.Read(9), (Bytes{0x00, 0xF8, 0x02, 0x10, 0xFF, 0x34, 0xFF, 0x35, 0x00}));
    // Nothing to program in the area: the chip reports all four data bytes 0xFF.
    ChipConfig c2 = TestConfig();
    c2.faults.verify_fail_block = BlockRef::Nth(1);
    Bench c(c2);
    c.Download();
    Bytes past(512, 0xFF);
    past[3] = 0;  // only one byte of area 1's second block lies in the area
    EXPECT_EQ(c.Program(kArea1 + 0x200, past), '4');
    EXPECT_EQ(c.Read(9), (Bytes{0x00, 0xFF, 0xF2, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(ChipsimFaults, CorruptedReadOutCrcOnce) {
    ChipConfig config = TestConfig();
    config.faults.read_crc_block = BlockRef::Nth(1);
    Bench b(config);
    b.Download();
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(b.Send(Cat({0x28}, Le(kArea0, 4))));
        EXPECT_EQ(b.Status(), '1');
        Bytes frame = b.Read(514);
        ASSERT_EQ(frame.size(), 514u);
        EXPECT_EQ(Crc16(frame.data(), frame.size()) == 0, attempt == 1);
        EXPECT_EQ(b.Status(), '1');
    }
}

TEST(ChipsimFaults, RefusedCommands) {
    ChipConfig config = TestConfig();
    config.faults.refuse_program_block = BlockRef::At(kArea0);
    config.faults.refuse_read_block = BlockRef::Nth(2);
    config.faults.refuse_byte = '7';
    Bench b(config);
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x08}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(), '7');
    // The chip is back waiting for a command, not for block data.
    ASSERT_TRUE(b.Send(Cat({0x28}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(), '1');
    EXPECT_EQ(b.Read(515).size(), 515u);
    ASSERT_TRUE(b.Send(Cat({0x28}, Le(kArea0 + 0x200, 4))));
    EXPECT_EQ(b.Status(), '7');
}

TEST(ChipsimFaults, DroppedConnectionAfterNBytes) {
    ChipConfig config = TestConfig();
    config.faults.drop_after_bytes = 27 + 5 + 100;  // the download (27 bytes), a block command, 100 data bytes
    Bench b(config);
    b.Download();
    ASSERT_TRUE(b.Send(Cat({0x08}, Le(kArea0, 4))));
    EXPECT_EQ(b.Status(), '1');
    const Bytes frame = BlockFrame(Pattern(512, 0));
    std::size_t done = 0;
    EXPECT_FALSE(b.port->Write(frame.data(), frame.size(), done));
    EXPECT_EQ(done, 100u);
    std::uint8_t byte = 0;
    EXPECT_FALSE(b.port->Read(&byte, 1, done));
    b.Close();
    std::unique_ptr<serial::Port> again;
    EXPECT_EQ(b.line.Open("sim", 1, kBoot, again), serial::PortResult::CannotOpen);
}

// ---- options of mirelle-sim --------------------------------------------------

TEST(ChipsimOptions, FaultsAndAreasFromTheCommandLine) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--area", "F80000-FFFFFF", "--area", "0x1000-0x1FFF", "--family", "second",
                                 "--boot-baud", "9600", "--work-baud", "38400", "--busy-forever", "erase:2",
                                 "--wrong-ack", "3", "--ack-byte", "35", "--erase-answer", "4",
                                 "--crc-error", "@F80200", "--crc-tries", "2", "--drop-after", "1000",
                                 "--fill", "F80000:10:AA", "--silent-after", "7", "--latency-ms", "16",
                                 "--no-line-time"},
                                o, error))
        << error;
    ASSERT_EQ(o.chip.areas.size(), 2u);
    EXPECT_EQ(o.chip.areas[1].end, 0x1FFFu);
    EXPECT_EQ(o.chip.family, Family::Second);
    EXPECT_EQ(o.chip.work_baud, 38400u);
    EXPECT_EQ(o.chip.faults.busy_forever_at->kind, StepKind::Erase);
    EXPECT_EQ(o.chip.faults.busy_forever_at->nth, 2);
    EXPECT_EQ(o.chip.faults.wrong_ack_at->kind, StepKind::Any);
    EXPECT_EQ(o.chip.faults.wrong_ack_byte, 0x35);
    EXPECT_EQ(o.chip.faults.erase_status, std::uint8_t{'4'});
    EXPECT_TRUE(o.chip.faults.crc_error_block->by_address);
    EXPECT_EQ(o.chip.faults.crc_error_block->value, 0xF80200u);
    EXPECT_EQ(o.chip.faults.silent_from->nth, 8);
    ASSERT_EQ(o.preload.size(), 1u);
    EXPECT_EQ(o.preload[0].bytes, Bytes(16, 0xAA));
    EXPECT_EQ(o.latency_ms, 16u);
    EXPECT_FALSE(o.chip.timing.line_time);

    SimOptions bad;
    EXPECT_FALSE(ParseSimOptions({"--area", "1-2", "--latency-ms", "-1"}, bad, error));
    EXPECT_FALSE(ParseSimOptions({"--busy-forever", "eras:1", "--area", "1-2"}, bad, error));
    EXPECT_NE(error.find("eras"), std::string::npos);
    EXPECT_FALSE(ParseSimOptions({"--boot-baud"}, bad, error));
    EXPECT_FALSE(ParseSimOptions({}, bad, error));  // no chip at all
}

TEST(ChipsimOptions, ChipFromAChipDefinitionSection) {
    const std::string path = testing::TempDir() + "chipsim_chipdef.ini";
    {
        std::ofstream f(path, std::ios::binary);
        f << "[tq7c01]\r\nDownloadFile=c.bin\r\nLoadAddress=0x8000\r\nStartAddress=0,10000\r\n"
             "EndAddress=FFFF,1FFFF\r\nFlashSize=128\r\nClock=10MHz,20MHz\r\nBaud=9600,19200\r\n"
             "Baud2=57600,115200\r\n[TQ4A01]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\n"
             "StartAddress=F80000\r\nEndAddress=FFFFFF\r\nFlashSize=512\r\nClock=16MHz\r\nBaud=4800\r\n";
    }
    ChipConfig c;
    std::string error;
    ASSERT_TRUE(ConfigFromChipDefinition(path, "tq7c01", 1, c, error)) << error;
    EXPECT_EQ(c.target, "TQ7C01");
    EXPECT_EQ(c.family, Family::Second);
    ASSERT_EQ(c.areas.size(), 2u);
    EXPECT_EQ(c.areas[1].start, 0x10000u);
    EXPECT_EQ(c.boot_baud, 19200u);
    EXPECT_EQ(c.work_baud, 115200u);
    ASSERT_TRUE(ConfigFromChipDefinition(path, "TQ4A01", 0, c, error)) << error;
    EXPECT_FALSE(c.upload_ack);
    EXPECT_EQ(c.work_baud, 9600u);  // twice Baud without Baud2
    EXPECT_FALSE(ConfigFromChipDefinition(path, "TQ4A01", 1, c, error));
    EXPECT_FALSE(ConfigFromChipDefinition(path, "NOPE", 0, c, error));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace mirelle::chipsim
