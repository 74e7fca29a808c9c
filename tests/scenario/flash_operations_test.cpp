// Erase, blank check, program and verify and Full Operation as a user runs
// them, against the in-process simulated chip on a virtual clock: the bytes
// on the wire, the progress window, the reports and the result log.
#include <gmock/gmock.h>

#include <csignal>
#include <memory>

#include "app/windows/control_ids.h"
#include "chipsim/chip.h"
#include "chipsim/sim_port.h"
#include "main_window_fixture.h"
#include "platform/interrupt.h"
#include "support/program_lines.h"

namespace mirelle::test {

using namespace mirelle::hexfile;
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Bytes = std::vector<std::uint8_t>;
using chipsim::StepKind;

// First-family chips with one 512 KiB area high up (only erased here: the
// image has no window there) and low, the second family, and a chip with two
// small areas (the first of 0x201 bytes).
const char* const kOpsChipDef =
    "[TQ4A04]\r\nDownloadFile=cp4a04.bin\r\nLoadAddress=0x1000\r\nStartAddress=0xF80000\r\n"
    "EndAddress=0xFFFFFF\r\nFlashSize=512\r\nClock=20MHz\r\nBaud=57600\r\n"
    "[TQ7C01]\r\nDownloadFile=cp7c01.bin\r\nLoadAddress=0x400\r\nStartAddress=0x0\r\n"
    "EndAddress=0x0FFFFF\r\nFlashSize=1024\r\nClock=16MHz\r\nBaud=38400\r\n"
    "[TQ4A20]\r\nDownloadFile=cp4a04.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x1000,0x4000\r\n"
    "EndAddress=0x1200,0x4FFF\r\nFlashSize=4\r\nClock=20MHz\r\nBaud=57600\r\n"
    "[TQ4A08]\r\nDownloadFile=cp4a04.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
    "EndAddress=0xFFFFF\r\nFlashSize=512\r\nClock=20MHz\r\nBaud=57600\r\n";
enum TargetIndex { kTq4a04 = 0, kTq7c01 = 1, kTq4a20 = 2, kTq4a08 = 3 };

class FlashOperationsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetProgramClock(&clock);
        WriteFile("CHIPDEF.INI", kOpsChipDef);
        WriteFile("cp4a04.bin", std::string(300, '\x5A'));
        WriteFile("cp7c01.bin", std::string(200, '\x3C'));
        WriteFile("Customize.ini", "[Ports]\r\nCOM1=/dev/simulated\r\n");
    }
    void TearDown() override {
        sys::SetInterruptSignal(0);
        opener.reset();
        line.reset();
        chip.reset();
        SetProgramClock(nullptr);
        MainWindowTest::TearDown();
    }

    // The chip of a target of kOpsChipDef, selected as the remembered target.
    chipsim::Chip& UseChip(TargetIndex target, const std::function<void(chipsim::ChipConfig&)>& adjust = {}) {
        static const char* const kNames[] = {"TQ4A04", "TQ7C01", "TQ4A20", "TQ4A08"};
        chipsim::ChipConfig config;
        std::string error;
        EXPECT_TRUE(chipsim::ConfigFromChipDefinition(Dir() + "CHIPDEF.INI", kNames[target], 0, config, error))
            << error;
        if (adjust) adjust(config);
        // The previous line's opener goes first, so it puts the real one back.
        opener.reset();
        line.reset();
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        opener = std::make_unique<chipsim::ScopedPortOpener>(*line, port_opener);
        WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=" + std::to_string(target) + "\r\nRATE=0\r\nWrite File=" +
                                      Dir() + "prog.mot\r\n");
        return *chip;
    }

    // A program file of S3 records; each entry is an address and its bytes.
    void WriteProgram(const std::vector<std::pair<std::uint32_t, Bytes>>& records) {
        std::string text = "S0030000FC\r\n";
        for (const auto& [address, data] : records) {
            for (std::size_t at = 0; at < data.size(); at += 32) {
                Bytes part(data.begin() + at, data.begin() + std::min(data.size(), at + 32));
                text += testing::SRecordOf('3', address + static_cast<std::uint32_t>(at), part) + "\r\n";
            }
        }
        text += "S70500000000FA\r\n";
        WriteFile("prog.mot", text);
    }

    // The user presses the progress window's button whenever it shows a
    // result (the reporter has set its icon) and waits for the press.
    void AutoAcknowledge() {
        backend.on_pump = [this] {
            ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
            if (p == nullptr) return;
            const ui::ControlState* icon = p->FindControl(idc::kStatusIcon);
            if (icon != nullptr && icon->icon != 0 && p->IsControlEnabled(idc::kProgressButton))
                backend.Click(*p, idc::kProgressButton);
        };
    }

    // The unattended run with `args` after the program file; its exit status.
    int RunUnattended(std::vector<std::string> args) {
        args.insert(args.begin(), Dir() + "prog.mot");
        CWriterApp app(Env(std::move(args)));
        app.InitInstance();
        return app.ExitStatus();
    }

    std::vector<std::string> StatusTexts() const { return backend.TextsOf(idc::kProgressTemplate, idc::kStatusText); }
    std::vector<std::string> Captions() const { return backend.TextsOf(idc::kProgressTemplate, 0); }
    // The addresses of the chip's steps of one kind, in order.
    std::vector<std::uint32_t> StepAddresses(StepKind kind) const {
        std::vector<std::uint32_t> out;
        for (const auto& step : chip->Steps())
            if (step.kind == kind) out.push_back(step.address);
        return out;
    }
    std::size_t Steps(StepKind kind) const { return chip->CountSteps(kind); }

    VirtualClock clock;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    std::unique_ptr<chipsim::ScopedPortOpener> opener;
};

// ---- erase ------------------------------------------------------------------

TEST_F(FlashOperationsTest, EraseOfTheFirstFamilyReadsAndSetsTheCrAroundTheEraseCommand) {
    UseChip(kTq4a04).GetFlash().Store(0xF80000, {0x12, 0x34});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        ASSERT_EQ(w.m_bDownloaded, 1);
        line->ClearRecords();
        backend.Click(w, idc::kErase);
    });
    // CR read, erase at 0x00F80000 (4 address bytes, LE), CR set of bytes 4-7.
    const Bytes expected = {0x39, 0x11, 0x22, 0x33, 0x44, 0x38, 0x00, 0x00, 0xF8, 0x00, 0x3A, 0x5A, 0xA5, 0x00, 0x00};
    EXPECT_EQ(line->Written(), expected);
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 0u);
    EXPECT_EQ(StatusTexts().back(), "It Erased a flash");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nIt Erased a flash");
}

TEST_F(FlashOperationsTest, EraseThatStaysBusyTimesOutAfterSixtySecondsWithTheBarShortOfItsEnd) {
    UseChip(kTq4a04, [](chipsim::ChipConfig& c) { c.faults.busy_forever_at = chipsim::StepMatch{StepKind::Erase, 1}; });
    AutoAcknowledge();
    std::uint64_t erase_ms = 0;
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        const std::uint64_t t0 = clock.ElapsedMs();
        backend.When([&] { return StatusTexts().size() > 0 && StatusTexts().back().find("timeout") != std::string::npos; },
                     [&] { erase_ms = clock.ElapsedMs() - t0; });
        backend.Click(w, idc::kErase);
        EXPECT_EQ(w.m_bDownloaded, 0);  // kind 3: download again
    });
    EXPECT_GT(erase_ms, 60000u);
    EXPECT_LT(erase_ms, 62500u);
    const auto captions = Captions();
    EXPECT_THAT(captions, ::testing::Contains("38 / 39"));
    EXPECT_THAT(captions, Not(::testing::Contains("39 / 39")));
    EXPECT_THAT(ReadFile("MESSFILE.TXT"), HasSubstr(" No.003 timeout error"));
}

TEST_F(FlashOperationsTest, EraseAnswersAreReportedByKind) {
    struct Case {
        std::uint8_t answer;
        const char* text;
        const char* detail;
    } cases[] = {{'4', " No.018 Erase error", "ERASE ERROR MCU : 34H"},
                 {'3', " No.003 timeout error", nullptr},
                 {'9', " No.011 Communication error", "ERASE ERROR MCU : 39H"}};
    for (const Case& c : cases) {
        UseChip(kTq7c01, [&](chipsim::ChipConfig& cfg) { cfg.faults.erase_status = c.answer; });
        AutoAcknowledge();
        Run([&](CWriterDlg& w) {
            backend.Click(w, idc::kDownload);
            backend.Click(w, idc::kErase);
        });
        const std::string log = ReadFile("MESSFILE.TXT");
        EXPECT_THAT(log, HasSubstr(c.text)) << c.answer;
        if (c.detail) {
            EXPECT_THAT(log, HasSubstr(c.detail)) << c.answer;
        }
    }
}

TEST_F(FlashOperationsTest, SecondFamilySendsThreeAddressBytesAndNoCrCommands) {
    UseChip(kTq7c01);
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        line->ClearRecords();
        backend.Click(w, idc::kErase);
        backend.Click(w, idc::kBlankCheck);
    });
    EXPECT_EQ(line->Written(), (Bytes{0x38, 0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x10}));
    EXPECT_EQ(StatusTexts().back(), "A flash is Erased ");
}

TEST_F(FlashOperationsTest, CrReadCountsWhateverItsFinalByteIs) {
    UseChip(kTq4a04, [](chipsim::ChipConfig& c) { c.faults.cr_read_status = '7'; });
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        backend.Click(w, idc::kErase);
        EXPECT_EQ(w.m_pStatusB, (std::array<std::uint8_t, 4>{0x5A, 0xA5, 0x00, 0x00}));
    });
    EXPECT_EQ(Steps(StepKind::Erase), 1u);
    EXPECT_EQ(StatusTexts().back(), "It Erased a flash");
}

TEST_F(FlashOperationsTest, AnUnconfiguredChipIsDownloadedAgainBeforeItsCrSetOnlyWhenResetIsAllowed) {
    struct Case {
        std::vector<std::string> args;
        std::size_t uploads;
    } cases[] = {{{}, 2}, {{"com1", "reset"}, 2}, {{"com1"}, 1}, {{"no_reset", "reset"}, 1}};
    for (const Case& c : cases) {
        UseChip(kTq4a08, [](chipsim::ChipConfig& cfg) { cfg.cr = {0xFF, 0xFF, 0, 0, 1, 2, 3, 4}; });
        chip->GetFlash().Store(0x80000, {0x00});
        WriteProgram({{0x80000, Bytes{1, 2, 3, 4}}});
        EXPECT_EQ(RunUnattended(c.args), 0) << ::testing::PrintToString(c.args);
        EXPECT_EQ(Steps(StepKind::Upload), c.uploads) << ::testing::PrintToString(c.args);
        EXPECT_EQ(Steps(StepKind::CrSet), 1u);
        EXPECT_EQ(ReadFile("MESSFILE.TXT"), "OK");
    }
}

TEST_F(FlashOperationsTest, ALinkThatDropsDuringTheEraseEndsTheWaitAtOnce) {
    UseChip(kTq4a04);
    AutoAcknowledge();
    std::uint64_t t0 = 0;
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        // The chip hangs up once the erase command is in: every read fails.
        chip->MutableFaults().drop_after_bytes = chip->BytesReceived() + 10;
        t0 = clock.ElapsedMs();
        backend.Click(w, idc::kErase);
    });
    EXPECT_LT(clock.ElapsedMs() - t0, 5000u);
    // The read failure first, then the erase that it broke; no flood of reports.
    const auto texts = StatusTexts();
    const auto reads = std::count_if(texts.begin(), texts.end(),
                                     [](const std::string& t) { return t.find("No.016") != std::string::npos; });
    EXPECT_EQ(reads, 1);
    EXPECT_THAT(ReadFile("MESSFILE.TXT"), HasSubstr(" No.011 Communication error"));
}

// ---- blank check ------------------------------------------------------------

TEST_F(FlashOperationsTest, BlankCheckReportsTheFirstWordThatHoldsData) {
    UseChip(kTq4a08).GetFlash().Store(0x0F8010, {0x12, 0x34, 0x56, 0x78});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        line->ClearRecords();
        backend.Click(w, idc::kBlankCheck);
        EXPECT_EQ(w.m_bDownloaded, 1);  // kind 0: the link stays
    });
    EXPECT_EQ(line->Written(), (Bytes{0x48, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(ReadFile("MESSFILE.TXT"),
              "NG\r\nA flash isn't erased\r\r\n ErrorAddress : 0x000F8010\r\r\n Flash      : 0x12345678");
}

TEST_F(FlashOperationsTest, BlankCheckWithoutAreasSendsNothingAndPasses) {
    UseChip(kTq4a08);
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        line->ClearRecords();
        w.m_nAreaCount = 0;
        backend.Click(w, idc::kBlankCheck);
    });
    EXPECT_TRUE(line->Written().empty());
    EXPECT_EQ(StatusTexts().back(), "A flash is Erased ");
}

// ---- program and verify -------------------------------------------------------

TEST_F(FlashOperationsTest, OnlyBlocksWithDataAreSentButTheBarCountsEveryBlock) {
    UseChip(kTq4a08);
    WriteProgram({{0x080400 + 7, Bytes{0xA5}}});  // the third block of 1024
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        line->ClearRecords();
        backend.Click(w, idc::kProgram);
    });
    EXPECT_EQ(Steps(StepKind::ProgramCommand), 1u);
    EXPECT_EQ(StepAddresses(StepKind::ProgramCommand), (std::vector<std::uint32_t>{0x080400}));
    const Bytes w = line->Written();
    ASSERT_GE(w.size(), 5u);
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 5), (Bytes{0x08, 0x00, 0x04, 0x08, 0x00}));
    EXPECT_EQ(chip->GetFlash().Read(0x080407), 0xA5);
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 1u);
    EXPECT_THAT(Captions(), ::testing::Contains("1024 / 1024"));
    EXPECT_EQ(StatusTexts().back(), "The Programming ended normally");
}

TEST_F(FlashOperationsTest, TheLastBlockOfAnAreaGoesWholeWithBytesBeyondTheAreaEnd) {
    UseChip(kTq4a20);
    // 0x1000..0x1200 is 0x201 bytes: two blocks; the second holds one byte
    // of the area and 511 bytes past its end.
    WriteProgram({{0x1200, Bytes{0x11}}, {0x1300, Bytes{0x22}}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        line->ClearRecords();
        backend.Click(w, idc::kProgram);
    });
    ASSERT_EQ(Steps(StepKind::ProgramData), 1u);
    const Bytes w = line->Written();
    ASSERT_EQ(w.size(), 5u + 514u);
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 5), (Bytes{0x08, 0x00, 0x12, 0x00, 0x00}));
    EXPECT_EQ(w[5], 0x11);
    EXPECT_EQ(w[5 + 0x100], 0x22);
    EXPECT_THAT(Captions(), ::testing::Contains("10 / 10"));  // 2 + 8 blocks
}

TEST_F(FlashOperationsTest, ACrcErrorAnsweredYesSendsTheBlockAgain) {
    UseChip(kTq4a08, [](chipsim::ChipConfig& c) {
        c.faults.crc_error_block = chipsim::BlockRef::Nth(1);
        c.faults.crc_error_tries = 3;
    });
    WriteProgram({{0x080200, Bytes(600, 0x42)}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        backend.Click(w, idc::kProgram);
    });
    ASSERT_EQ(backend.message_boxes.size(), 4u);  // the reset prompt, then three questions
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(backend.message_boxes[i].text, "CRC error detected in 0x80200\nretry?");
        EXPECT_EQ(backend.message_boxes[i].caption, "crc checking");
        EXPECT_EQ(backend.message_boxes[i].buttons, ui::MessageButtons::YesNo);
        EXPECT_EQ(backend.message_boxes[i].owner_template, idc::kProgressTemplate);
    }
    EXPECT_EQ(Steps(StepKind::ProgramData), 4u + 1u);
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 600u);
    EXPECT_EQ(StatusTexts().back(), "The Programming ended normally");
}

TEST_F(FlashOperationsTest, ACrcErrorAnsweredNoEndsAsCancelledAfterTheOkPress) {
    UseChip(kTq4a08, [](chipsim::ChipConfig& c) { c.faults.crc_error_block = chipsim::BlockRef::Nth(1); });
    WriteProgram({{0x080000, Bytes{1}}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        backend.answers = {ui::kIdNo};
        backend.PressWhenText(idc::kProgressTemplate, idc::kStatusText, "It was canceled", idc::kProgressButton);
        backend.Click(w, idc::kProgram);
        EXPECT_EQ(w.m_bDownloaded, 1);  // nothing was reported
    });
    EXPECT_EQ(backend.TextsOf(idc::kProgressTemplate, idc::kProgressButton).back(), "OK");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nIt transferred a control program to the microcomputer");
}

TEST_F(FlashOperationsTest, CancelWhileWaitingForABlockEndsAtTheNextPoll) {
    UseChip(kTq4a08, [](chipsim::ChipConfig& c) { c.timing.program_ms = 400; });
    WriteProgram({{0x080000, Bytes(2048, 0x00)}});
    AutoAcknowledge();
    bool pressed_in_wait = false;
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        // Cancel while the chip is programming the second block.
        backend.When([&] { return Steps(StepKind::ProgramData) == 2; },
                     [&] {
                         pressed_in_wait = true;
                         backend.Click(*backend.FindLive(idc::kProgressTemplate), idc::kProgressButton);
                     });
        backend.PressWhenText(idc::kProgressTemplate, idc::kStatusText, "It was canceled", idc::kProgressButton);
        backend.Click(w, idc::kProgram);
    });
    EXPECT_TRUE(pressed_in_wait);
    EXPECT_EQ(Steps(StepKind::ProgramCommand), 2u);  // no block after the press
    EXPECT_EQ(backend.TextsOf(idc::kProgressTemplate, idc::kProgressButton).back(), "OK");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nIt transferred a control program to the microcomputer");
}

TEST_F(FlashOperationsTest, AFailedVerifyReportsAddressAndBothValues) {
    UseChip(kTq4a08, [](chipsim::ChipConfig& c) { c.faults.verify_fail_block = chipsim::BlockRef::Nth(1); });
    WriteProgram({{0x080010, Bytes{0x12, 0x34}}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        backend.Click(w, idc::kProgram);
    });
    const std::string log = ReadFile("MESSFILE.TXT");
    EXPECT_THAT(log, HasSubstr(" No.013 Program error"));
    EXPECT_THAT(log, HasSubstr(" ErrorAddress : 0x00080010"));
    EXPECT_THAT(log, HasSubstr(" HexFile   : 1234"));
    EXPECT_THAT(log, HasSubstr(" Flash      : "));
    EXPECT_THAT(log, Not(HasSubstr("Timing Limit Over")));
}

TEST_F(FlashOperationsTest, AFailedBlockWithErasedValuesOnBothSidesIsATimingLimit) {
    // The block asks for nothing the flash does not hold already: the chip
    // answers '4' with 0xFF for both values.
    UseChip(kTq4a08, [](chipsim::ChipConfig& c) { c.faults.verify_fail_block = chipsim::BlockRef::Nth(1); });
    chip->GetFlash().Store(0x080000, {0x00});
    WriteProgram({{0x080000, Bytes{0x00}}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        backend.Click(w, idc::kProgram);
    });
    const std::string log = ReadFile("MESSFILE.TXT");
    EXPECT_THAT(log, HasSubstr("Timing Limit Over"));
    EXPECT_THAT(log, HasSubstr(" ErrorAddress : 0x00080000"));
    EXPECT_THAT(log, Not(HasSubstr("HexFile")));
    EXPECT_THAT(log, Not(HasSubstr("Flash      :")));
}

// ---- Full Operation -------------------------------------------------------------

TEST_F(FlashOperationsTest, FullOperationOnABlankConfiguredChipGoesStraightToProgramming) {
    UseChip(kTq4a08);
    WriteProgram({{0x080000, Bytes(1000, 0x5A)}});
    AutoAcknowledge();
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kFullOperation); });
    EXPECT_EQ(Steps(StepKind::Erase), 0u);
    EXPECT_EQ(Steps(StepKind::BlankCheck), 1u);  // the quick test only
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 1000u);
    EXPECT_EQ(StatusTexts().back(), "It ended normally completely");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "OK");
    EXPECT_THAT(Captions(), ::testing::Contains("Full Operation"));
}

TEST_F(FlashOperationsTest, FullOperationErasesAnUnconfiguredBlankChipAndAChipWithData) {
    for (bool unconfigured : {true, false}) {
        UseChip(kTq4a08, [&](chipsim::ChipConfig& c) {
            if (unconfigured) c.cr[0] = c.cr[1] = 0xFF;
        });
        if (!unconfigured) chip->GetFlash().Store(0xFFFF0, {0x00, 0x01});
        WriteProgram({{0x080000, Bytes{1, 2, 3}}});
        backend.texts.clear();
        AutoAcknowledge();
        Run([&](CWriterDlg& w) { backend.Click(w, idc::kFullOperation); });
        EXPECT_EQ(Steps(StepKind::Erase), 1u);
        EXPECT_EQ(Steps(StepKind::BlankCheck), 2u);  // the quick test and the check after the erase
        EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 3u);
        // The step texts carry the prefix; the only report is the final one.
        const auto texts = StatusTexts();
        EXPECT_THAT(texts, ::testing::Contains("Full Operation -  Erasing"));
        EXPECT_THAT(texts, ::testing::Contains("Full Operation -  Blank Checking"));
        EXPECT_THAT(texts, ::testing::Contains("Full Operation -  Programming"));
        EXPECT_THAT(texts, Not(::testing::Contains("It Erased a flash")));
        EXPECT_THAT(texts, Not(::testing::Contains("A flash is Erased ")));
        EXPECT_EQ(texts.back(), "It ended normally completely");
    }
}

TEST_F(FlashOperationsTest, AFileWithNothingForTheFlashFailsItsLoadBeforeThePortIsOpened) {
    // TQ4A08's flash is 0x80000..0xFFFFF: nothing of this file lies in it.
    UseChip(kTq4a08).GetFlash().Store(0x80000, {0x00});
    WriteProgram({{0x200000, Bytes(16, 0x11)}});
    const std::string box = "No data for the flash of TQ4A08 in this file";
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kFullOperation); });
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, box);
    EXPECT_EQ(backend.message_boxes[0].caption, "HexFile decoder");
    EXPECT_EQ(RunUnattended({"com1", "no_dialog"}), 1);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n" + box + " HexFile decoder");
    EXPECT_EQ(line->OpenCount(), 0);
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 1u);  // the old byte is still there
}

TEST_F(FlashOperationsTest, AnUnexpectedAnswerToTheQuickBlankTestIsACommunicationError) {
    auto wrong_answer = [](chipsim::ChipConfig& c) {
        c.faults.wrong_ack_at = chipsim::StepMatch{StepKind::BlankCheck, 1};
        c.faults.wrong_ack_byte = 0x5A;
    };
    UseChip(kTq4a08, wrong_answer);
    WriteProgram({{0x080000, Bytes{1, 2, 3}}});
    EXPECT_EQ(RunUnattended({"com1", "no_dialog"}), 1);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nMCU : 5AH No.011 Communication error\r\n");
    EXPECT_EQ(Steps(StepKind::Erase), 0u);

    UseChip(kTq4a08, wrong_answer);
    AutoAcknowledge();
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kFullOperation); });
    EXPECT_THAT(StatusTexts(), ::testing::Contains(HasSubstr("MCU : 5AH\r\n No.011 Communication error")));
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 0u);
}

TEST_F(FlashOperationsTest, UnattendedRunWithoutDialogProgramsAndExitsWithZero) {
    UseChip(kTq7c01).GetFlash().Store(0x100, {0x00});
    WriteProgram({{0x0, Bytes(3000, 0x77)}});
    EXPECT_EQ(RunUnattended({"com1", "no_dialog"}), 0);
    EXPECT_TRUE(backend.TextsOf(idc::kProgressTemplate, 0).empty());  // no progress window at any step
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "OK");
    EXPECT_EQ(chip->GetFlash().ProgrammedCount(), 3000u);
}

TEST_F(FlashOperationsTest, AnUnattendedRunThatEndsWithoutAReportLeavesNoGoodLog) {
    UseChip(kTq4a08);
    WriteProgram({{0x080000, Bytes{1}}});
    WriteFile("MESSFILE.TXT", "OK");
    backend.answers = {ui::kIdCancel};  // the reset prompt
    EXPECT_EQ(RunUnattended({}), 1);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n");
    // A CRC error has nobody to answer it in a command-line run, with or
    // without the progress window: it stops at once, asks nothing, and says why.
    for (std::vector<std::string> args : {std::vector<std::string>{"com1", "no_dialog"}, std::vector<std::string>{}}) {
        UseChip(kTq4a08, [](chipsim::ChipConfig& c) { c.faults.crc_error_block = chipsim::BlockRef::Nth(1); });
        const std::size_t boxes = backend.message_boxes.size();
        EXPECT_EQ(RunUnattended(args), 1);
        EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nCRC error detected in 0x80000\r\n");
        EXPECT_EQ(Steps(StepKind::ProgramData), 1u);
        for (std::size_t i = boxes; i < backend.message_boxes.size(); ++i)
            EXPECT_EQ(backend.message_boxes[i].caption.find("crc"), std::string::npos);
    }
}

TEST_F(FlashOperationsTest, AnUnattendedRunThatCannotStartSaysSoInItsLogAndExitsWithTwo) {
    WriteFile("CHIPDEF.INI", "[EMPTY]\r\nDownloadFile=x.bin\r\n");  // no complete section
    WriteFile("MESSFILE.TXT", "OK");
    EXPECT_EQ(RunUnattended({"com1"}), 2);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nREGIST FAILED!\r\n");
}

TEST_F(FlashOperationsTest, AMissingProgramFileIsReportedAndExitsWithOne) {
    UseChip(kTq4a08);
    EXPECT_EQ(RunUnattended({"com1"}), 1);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.101 Please set \"hex file\"\r\n");
    EXPECT_EQ(line->OpenCount(), 0);
}

TEST_F(FlashOperationsTest, ASignalDuringTheUnattendedRunEndsItWithThePortClosed) {
    UseChip(kTq4a08);
    WriteProgram({{0x080000, Bytes(8192, 0x00)}});
    backend.When([&] { return Steps(StepKind::ProgramData) == 3; }, [] { sys::SetInterruptSignal(SIGTERM); });
    EXPECT_EQ(RunUnattended({"com1"}), 1);
    EXPECT_LE(Steps(StepKind::ProgramCommand), 4u);
    EXPECT_FALSE(line->IsOpen());
    const std::string log = ReadFile("MESSFILE.TXT");
    // The cause comes first, before whatever the cut-short step reported.
    EXPECT_EQ(log.substr(0, 40), "NG\r\nInterrupted by signal 15 (SIGTERM)\r\n");
}

}  // namespace
}  // namespace mirelle::test
