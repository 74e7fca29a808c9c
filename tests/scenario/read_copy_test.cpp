// Read & Compare and Copy as a user runs them, against the in-process
// simulated chip on a virtual clock: the read commands on the wire, the
// questions, the reports with their sounds, and the files Copy leaves.
#include <gmock/gmock.h>

#include <filesystem>
#include <memory>

#include "app/windows/control_ids.h"
#include "chipsim/chip.h"
#include "chipsim/sim_port.h"
#include "main_window_fixture.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;
using chipsim::StepKind;

// Small first-family areas (three blocks; two blocks ending at E with
// E mod 4 = 1; 32 bytes high up) and a second-family chip.
std::string ChipSection(const char* name, const char* start, const char* end) {
    return std::string("[") + name + "]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=" + start +
           "\r\nEndAddress=" + end + "\r\nFlashSize=4\r\nClock=20MHz\r\nBaud=57600\r\n";
}
enum Target { kThreeBlocks = 0, kSecondFamily = 1, kOddEnd = 2, kTiny = 3 };
const char* const kNames[] = {"TQ4A30", "TQ7C01", "TQ4A31", "TQ4A32"};

enum class Command { kCompare, kCopy };

class ReadCopyTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetProgramClock(&clock);
        WriteFile("CHIPDEF.INI", ChipSection(kNames[0], "0xF8000", "0xF85FF") +
                                     ChipSection(kNames[1], "0xF8000", "0xF83FF") +
                                     ChipSection(kNames[2], "0xF8000", "0xF8201") +
                                     ChipSection(kNames[3], "0xF80000", "0xF8001F"));
        WriteFile("cp.bin", std::string(64, '\x5A'));
        // Errors beep, successes play their wave: the sound tells the event.
        WriteFile("Customize.ini",
                  "[Ports]\r\nCOM1=/dev/simulated\r\n[Sound]\r\nSound=1\r\nErrorEnable=1\r\nErrorType=1\r\n"
                  "EndEnable=1\r\nEndType=0\r\nEndPass=end.wav\r\n");
    }
    void TearDown() override {
        opener.reset();
        line.reset();
        chip.reset();
        SetProgramClock(nullptr);
        MainWindowTest::TearDown();
    }

    chipsim::Chip& UseChip(Target target, const std::function<void(chipsim::ChipConfig&)>& adjust = {}) {
        chipsim::ChipConfig config;
        std::string error;
        EXPECT_TRUE(chipsim::ConfigFromChipDefinition(Dir() + "CHIPDEF.INI", kNames[target], 0, config, error));
        if (adjust) adjust(config);
        opener.reset();
        line.reset();
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        opener = std::make_unique<chipsim::ScopedPortOpener>(*line, port_opener);
        WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=" + std::to_string(target) + "\r\nRATE=0\r\nWrite File=" + Dir() +
                                      "prog.mot\r\n");
        WriteProgram({});
        backend.sounds.clear();
        return *chip;
    }
    void WriteProgram(const std::vector<std::pair<std::uint32_t, Bytes>>& records) {
        std::string text = "S0030000FC\r\n";
        for (const auto& [address, data] : records) text += testing::SRecordOf('3', address, data) + "\r\n";
        WriteFile("prog.mot", text + "S70500000000FA\r\n");
    }

    // Downloads, then runs `command` with the wire records cleared. Results
    // are acknowledged, and so is the end of a cancelled command.
    void RunAfterDownload(Command command, const std::function<void(CWriterDlg&)>& before = {}) {
        backend.on_pump = [this] {
            ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
            if (p == nullptr || !p->IsControlEnabled(idc::kProgressButton)) return;
            const ui::ControlState* icon = p->FindControl(idc::kStatusIcon);
            if ((icon != nullptr && icon->icon != 0) || p->GetDlgItemText(idc::kProgressButton) == "OK")
                backend.Click(*p, idc::kProgressButton);
        };
        Run([&](CWriterDlg& w) {
            backend.Click(w, idc::kDownload);
            ASSERT_EQ(w.m_bDownloaded, 1);
            line->ClearRecords();
            backend.sounds.clear();
            std::filesystem::remove(Dir() + "MESSFILE.TXT");
            if (before) before(w);
            backend.Click(w, command == Command::kCompare ? idc::kCompare : idc::kCopy);
            downloaded_after = w.m_bDownloaded;
        });
    }
    // Presses Cancel once `condition` holds.
    void CancelWhen(std::function<bool()> condition) {
        backend.When(std::move(condition), [this] {
            if (ui::Dialog* p = backend.FindLive(idc::kProgressTemplate)) backend.Click(*p, idc::kProgressButton);
        });
    }

    std::vector<std::string> StatusTexts() const { return backend.TextsOf(idc::kProgressTemplate, idc::kStatusText); }
    std::vector<std::uint32_t> ReadAddresses() const {
        std::vector<std::uint32_t> out;
        for (const auto& step : chip->Steps())
            if (step.kind == StepKind::ReadCommand) out.push_back(step.address);
        return out;
    }
    std::string Log() { return std::filesystem::exists(Dir() + "MESSFILE.TXT") ? ReadFile("MESSFILE.TXT") : ""; }
    // Files of the folder whose name starts with a dot: temporary files.
    std::size_t HiddenFiles() const {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Dir()))
            n += entry.path().filename().string()[0] == '.' ? 1 : 0;
        return n;
    }

    VirtualClock clock;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    std::unique_ptr<chipsim::ScopedPortOpener> opener;
    int downloaded_after = -1;
};

const std::string kIdentical = "NG\r\nThe flash and the hex file are identical";
std::string Difference(const char* address, const char* flash, const char* hex) {
    // The reporter's CR LF line ends pass through the log's text mode: CR CR LF.
    return std::string("NG\r\nThere is a point of difference in the flash and the hex file\r\r\n ErrorAddress : ") +
           address + "\r\r\n Flash      : " + flash + "\r\r\n HexFile   : " + hex;
}

TEST_F(ReadCopyTest, ReadAndCompareFindsTheFirstDifferentWord) {
    struct Case {
        Target target;
        Bytes flash_at_f8010;
        std::vector<std::pair<std::uint32_t, Bytes>> program;
        std::string log;
        Bytes wire;  // empty: not looked at
    } cases[] = {
        // Equal everywhere, the 0xFF fill included; one read command per block.
        {kThreeBlocks, {0x12, 0x34, 0x56, 0x78}, {{0xF8010, {0x12, 0x34, 0x56, 0x78}}}, kIdentical,
         {0x28, 0x00, 0x80, 0x0F, 0x00, 0x28, 0x00, 0x82, 0x0F, 0x00, 0x28, 0x00, 0x84, 0x0F, 0x00}},
        {kSecondFamily, {0xA5}, {{0xF8010, {0xA5}}}, kIdentical, {0x28, 0x00, 0x80, 0x0F, 0x28, 0x00, 0x82, 0x0F}},
        // The word's address, both words with their first byte most significant.
        {kThreeBlocks, {0x12, 0x34, 0x56, 0x78}, {{0xF8010, {0x12, 0x34}}},
         Difference("0x000F8010", "0x12345678", "0x1234FFFF"), {}},
        // The last word of an area ending at 0xF8201 takes 0xF8202 and 0xF8203 too.
        {kOddEnd, {}, {{0xF8203, {0x00}}}, Difference("0x000F8200", "0xFFFFFFFF", "0xFFFFFF00"), {}},
        {kOddEnd, {}, {{0xF8204, {0x00}}}, kIdentical, {}},
    };
    for (const Case& c : cases) {
        UseChip(c.target).GetFlash().Store(0xF8010, c.flash_at_f8010);
        WriteProgram(c.program);
        RunAfterDownload(Command::kCompare);
        EXPECT_EQ(Log(), c.log) << c.target;
        if (!c.wire.empty()) {
            EXPECT_EQ(line->Written(), c.wire);
        }
        EXPECT_EQ(backend.sounds.back(), c.log == kIdentical ? "wave:end.wav" : "beep");
        EXPECT_EQ(downloaded_after, 1);
    }
}

TEST_F(ReadCopyTest, DamagedBlockIsOfferedAgainByItsAddress) {
    // Two damaged read-outs of the second block: Yes, then No ends as cancelled.
    UseChip(kThreeBlocks, [](chipsim::ChipConfig& c) {
        c.faults.read_crc_block = chipsim::BlockRef::At(0xF8200);
        c.faults.read_crc_tries = 2;
    });
    RunAfterDownload(Command::kCompare, [&](CWriterDlg&) {
        backend.message_boxes.clear();
        backend.answers = {ui::kIdYes, ui::kIdNo};
    });
    ASSERT_EQ(backend.message_boxes.size(), 2u);
    for (const auto& box : backend.message_boxes) {
        EXPECT_EQ(box.text, "CRC error detected in 0xF8200\nretry?");
        EXPECT_EQ(box.caption, "crc checking");
        EXPECT_EQ(box.buttons, ui::MessageButtons::YesNo);
        EXPECT_EQ(box.icon, ui::MessageIcon::Question);
        EXPECT_EQ(box.owner_template, idc::kProgressTemplate);
    }
    EXPECT_EQ(ReadAddresses(), (std::vector<std::uint32_t>{0xF8000, 0xF8200, 0xF8200}));
    EXPECT_EQ(StatusTexts().back(), "It was canceled");
    EXPECT_EQ(Log(), "");

    // One damaged read-out, answered Yes: the block is read again and all is well.
    UseChip(kThreeBlocks, [](chipsim::ChipConfig& c) { c.faults.read_crc_block = chipsim::BlockRef::At(0xF8200); });
    RunAfterDownload(Command::kCompare, [&](CWriterDlg&) {
        backend.message_boxes.clear();
        backend.answers = {ui::kIdYes};
    });
    EXPECT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(Log(), kIdentical);
}

// Failures and cancellations of both commands. Copy writes over an existing
// file, which must come through every one of them with its bytes.
TEST_F(ReadCopyTest, FailuresAndCancelsEndEachCommandAsItShould) {
    enum Fault { kSilent, kRefused, kNoisy, kNoisyAWhile, kCancelAtBlock, kCancelInWait };
    struct Case {
        Command command;
        Fault fault;
        const char* log;  // substring; "" for none written
        int downloaded_after;
        std::size_t reads;
    } cases[] = {
        {Command::kCompare, kSilent, " No.003 timeout error", 0, 1},
        {Command::kCompare, kRefused, " No.012 Read error", 0, 2},
        {Command::kCompare, kNoisy, " No.016 COM port read error", 0, 17},
        {Command::kCompare, kNoisyAWhile, "identical", 1, 4},
        {Command::kCompare, kCancelAtBlock, "", 1, 1},
        {Command::kCompare, kCancelInWait, "", 1, 2},
        {Command::kCopy, kSilent, " No.003 timeout error", 0, 1},
        {Command::kCopy, kRefused, " No.012 Read error", 0, 2},
        {Command::kCopy, kNoisy, " No.012 Read error", 0, 17},
        {Command::kCopy, kCancelAtBlock, "", 1, 1},
        {Command::kCopy, kCancelInWait, " No.012 Read error", 0, 2},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(static_cast<int>(c.command)) + "/" + std::to_string(c.fault);
        UseChip(kThreeBlocks, [&](chipsim::ChipConfig& cfg) {
            if (c.fault == kSilent) cfg.faults.silent_from = chipsim::StepMatch{StepKind::ReadCommand, 1};
            if (c.fault == kRefused) cfg.faults.refuse_read_block = chipsim::BlockRef::Nth(2);
            if (c.fault == kCancelInWait) cfg.faults.busy_forever_at = chipsim::StepMatch{StepKind::ReadCommand, 2};
        });
        std::filesystem::remove(Dir() + "MESSFILE.TXT");
        WriteFile("old.mhx", "old bytes");
        backend.file_answers = {Dir() + "old.mhx"};
        RunAfterDownload(c.command, [&](CWriterDlg&) {
            if (c.fault == kNoisy) line->FlagReadErrors(-1);
            if (c.fault == kNoisyAWhile) line->FlagReadErrors(3);
            if (c.fault == kCancelAtBlock)
                backend.PressWhenCaption(idc::kProgressTemplate, "1 / 3", idc::kProgressButton);
            if (c.fault == kCancelInWait) CancelWhen([&] { return chip->CountSteps(StepKind::ReadCommand) == 2; });
        });
        const std::string log = Log();
        if (*c.log == '\0') {
            EXPECT_EQ(log, "") << what;
            EXPECT_EQ(StatusTexts().back(), "It was canceled") << what;
        } else {
            EXPECT_THAT(log, HasSubstr(c.log)) << what;
        }
        EXPECT_EQ(downloaded_after, c.downloaded_after) << what;
        EXPECT_EQ(chip->CountSteps(StepKind::ReadCommand), c.reads) << what;
        if (c.command == Command::kCopy) {
            EXPECT_EQ(ReadFile("old.mhx"), "old bytes") << what;
            EXPECT_EQ(HiddenFiles(), 0u) << what;  // no temporary file left behind
        }
    }
}

TEST_F(ReadCopyTest, CopyWritesTheChosenFormatWhereTheUserSaid) {
    const std::string ff16(32, 'F');
    const struct {
        bool right_click;
        const char* file;
        const char* extension;
        std::string text;
    } cases[] = {
        {false, "out.mhx", "mhx",
         "S005000046575D\r\nS31500F80000" + ff16 + "02\r\nS31500F80010" + ff16 + "F2\r\nS804000000FB\r\n"},
        {true, "out.hex", "hex",
         ":0200000400F802\r\n:10000000" + ff16 + "00\r\n:10001000" + ff16 + "F0\r\n:00000001FF\r\n"},
    };
    for (const auto& c : cases) {
        UseChip(kTiny);
        backend.file_dialogs.clear();
        backend.file_answers = {Dir() + c.file};
        RunAfterDownload(Command::kCopy, [&](CWriterDlg& w) {
            if (c.right_click) backend.RightClick(w, idc::kCopy);
        });
        EXPECT_EQ(ReadFile(c.file), c.text);
        EXPECT_EQ(Log(), "NG\r\nThe Copy ending");
        EXPECT_EQ(backend.sounds.back(), "wave:end.wav");
        ASSERT_EQ(backend.file_dialogs.size(), 1u);
        const ui::FileDialogRequest& dialog = backend.file_dialogs[0];
        EXPECT_TRUE(dialog.save);
        EXPECT_EQ(dialog.default_extension, c.extension);
        EXPECT_THAT(dialog.filter, HasSubstr(std::string("|*.") + c.extension));
        EXPECT_EQ(dialog.initial_dir, Dir() + "prog.mot");
        EXPECT_TRUE(dialog.flags & ui::kOverwritePrompt);
        EXPECT_THAT(backend.TextsOf(idc::kProgressTemplate, 0), ::testing::Contains("Copy"));
    }

    // Dismissed: no window, nothing on the wire, no file.
    UseChip(kTiny);
    RunAfterDownload(Command::kCopy, [&](CWriterDlg&) { backend.texts.clear(); });
    EXPECT_TRUE(line->Written().empty());
    EXPECT_TRUE(backend.TextsOf(idc::kProgressTemplate, 0).empty());
}

}  // namespace
}  // namespace mirelle::test
