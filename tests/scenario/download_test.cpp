// The Download command against the in-process chip on a virtual clock: the
// bytes on the wire, the reset prompt, the line rates, the progress steps,
// every failure with its report, and the buttons afterwards.
#include <memory>

#include "app/windows/control_ids.h"
#include "chipsim/sim_port.h"
#include "main_window_fixture.h"
#include "platform/clock.h"
#include "engine/crt_random.h"

namespace mirelle::test {

namespace {

using chipsim::WireByte;
using Bytes = std::vector<std::uint8_t>;

// A general chip, one with Baud2, the boot ROMs without the upload answer,
// and one of the second family.
const char* const kDownloadChipDef =
    "[TQ4A04]\r\nDownloadFile=ctl04.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\nEndAddress=0xFFFFF\r\n"
    "FlashSize=512\r\nClock=10MHz,20MHz\r\nBaud=9600,19200\r\n"
    "[TQ4A05]\r\nDownloadFile=ctl05.bin\r\nLoadAddress=0x12345678\r\nStartAddress=0x0\r\nEndAddress=0xFFFF\r\n"
    "FlashSize=64\r\nClock=8MHz,16MHz\r\nBaud=4800,9600\r\nBaud2=38400,57600\r\n"
    "[TQ4A01]\r\nDownloadFile=ctl01.bin\r\nLoadAddress=0x40\r\nStartAddress=0x100\r\nEndAddress=0x1FF\r\n"
    "FlashSize=1\r\nClock=10MHz\r\nBaud=9600\r\n"
    "[TQ4A03]\r\nDownloadFile=ctl03.bin\r\nLoadAddress=0x80\r\nStartAddress=0x100\r\nEndAddress=0x1FF\r\n"
    "FlashSize=1\r\nClock=10MHz\r\nBaud=9600\r\n"
    "[TQ7C01]\r\nDownloadFile=ctl7c.bin\r\nLoadAddress=0x400\r\nStartAddress=0x0\r\nEndAddress=0x7FFF\r\n"
    "FlashSize=32\r\nClock=16MHz,20MHz\r\nBaud=38400\r\n";
enum TargetIndex { kTQ4A04, kTQ4A05, kTQ4A01, kTQ4A03, kTQ7C01 };

const Bytes kProgram = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const char* const kPrompt = "Please reset the microcontroller on userboard.\nThen push OK button.";
const int kCommandButtons[] = {idc::kDownload, idc::kFullOperation, idc::kErase,  idc::kBlankCheck,
                               idc::kProgram,  idc::kCompare,       idc::kCopy};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
const Bytes kStartFrame = {0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0};

class DownloadTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetProgramClock(&clock);
        WriteFile("CHIPDEF.INI", kDownloadChipDef);
        WriteFile("ctl04.bin", std::string(kProgram.begin(), kProgram.end()));
        // Press the progress window's button whenever a result waits there.
        backend.on_pump = [this] {
            ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
            if (p && p->IsControlEnabled(idc::kProgressButton) && p->GetDlgItemText(idc::kProgressButton) == "Ok")
                backend.Click(*p, idc::kProgressButton);
        };
    }
    void TearDown() override {
        SetProgramClock(nullptr);
        MainWindowTest::TearDown();
    }

    // The chip on the line; `boot` and `work` are the rates it talks at.
    chipsim::Chip& MakeChip(const std::string& target, std::uint32_t boot, std::uint32_t work) {
        auto config = chipsim::ChipConfig::ForTarget(target, {{0x80000, 0xFFFFF}});
        config.boot_baud = boot;
        config.work_baud = work;
        // The old line's opener goes first, so that the opener it saved is put back.
        opener.reset();
        line.reset();
        chip = std::make_unique<chipsim::Chip>(config);
        line = std::make_unique<chipsim::SimLine>(*chip, clock);
        opener = std::make_unique<chipsim::ScopedPortOpener>(*line, port_opener);
        return *chip;
    }

    // Selects the target and rate, presses Download, then runs `after`.
    void PressDownload(int target, int rate, const std::function<void(CWriterDlg&)>& after) {
        WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=" + std::to_string(target) + "\r\nRATE=" + std::to_string(rate) +
                                      "\r\n");
        Run([&](CWriterDlg& w) {
            ASSERT_TRUE(backend.Click(w, idc::kDownload));
            after(w);
        });
    }

    // The status texts and captions the progress window showed.
    std::vector<std::string> Statuses() const { return backend.TextsOf(idc::kProgressTemplate, idc::kStatusText); }
    std::vector<std::string> Captions() const { return backend.TextsOf(idc::kProgressTemplate, 0); }
    std::string LastStatus() const {
        auto s = Statuses();
        return s.empty() ? "" : s.back();
    }
    int Prompts() const {
        int n = 0;
        for (const auto& m : backend.message_boxes) n += m.text == kPrompt;
        return n;
    }
    static void ExpectResetState(CWriterDlg& w, bool eraseEnabled) {
        EXPECT_EQ(w.m_bDownloaded, 0);
        EXPECT_TRUE(w.IsControlEnabled(idc::kDownload));
        EXPECT_TRUE(w.IsControlEnabled(idc::kFullOperation));
        EXPECT_EQ(w.IsControlEnabled(idc::kErase), eraseEnabled);
        for (int id : {idc::kBlankCheck, idc::kProgram, idc::kCompare, idc::kCopy}) EXPECT_FALSE(w.IsControlEnabled(id));
    }

    VirtualClock clock;
    std::unique_ptr<chipsim::Chip> chip;
    std::unique_ptr<chipsim::SimLine> line;
    std::unique_ptr<chipsim::ScopedPortOpener> opener;
};

TEST_F(DownloadTest, SuccessSendsTheFramesSwitchesTheRateAndEnablesEveryCommand) {
    MakeChip("TQ4A04", 9600, 19200);
    PressDownload(kTQ4A04, 0, [&](CWriterDlg& w) {
        for (int id : kCommandButtons) EXPECT_TRUE(w.IsControlEnabled(id)) << id;
        EXPECT_EQ(w.m_bDownloaded, 1);
        EXPECT_EQ(w.m_pProgress, nullptr);
        EXPECT_TRUE(w.IsWindowEnabled());
        EXPECT_EQ(w.m_nBaud, 19200);
        EXPECT_EQ(w.m_nWorkBaud, 19200);
        EXPECT_EQ(w.m_bComOpen, 1);
        EXPECT_EQ(w.m_strDownloadPath, "ctl04.bin");
        EXPECT_TRUE(line->IsOpen());  // left open for the flash commands
        EXPECT_TRUE(chip->ProgramLoaded());
        EXPECT_EQ(chip->UploadedProgram(), kProgram);
        EXPECT_EQ(chip->UploadAddress(), 0x1000u);
        EXPECT_EQ(chip->CurrentMode(clock.ElapsedMs() * 1000), chipsim::Chip::Mode::ControlProgram);
    });
    // Sum of 00 00 10 00, 00 00 00 06 and the program bytes.
    const auto sum = static_cast<std::uint8_t>(0x10 + 0x06 + 0x11 + 0x22 + 0x33 + 0x44 + 0x55 + 0x66);
    EXPECT_EQ(line->Written(), Concat({{0x18, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x06},
                                       kProgram,
                                       {sum, 0x18},
                                       kStartFrame}));
    EXPECT_EQ(line->Received(), (Bytes{0x11, 0x01, 0x11, 0x31}));
    EXPECT_EQ(line->Rates(), (std::vector<std::uint32_t>{9600, 19200}));

    // The prompt came once, from the progress window.
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    const auto& box = backend.message_boxes[0];
    EXPECT_EQ(box.text, kPrompt);
    EXPECT_EQ(box.caption, "flash");
    EXPECT_EQ(box.buttons, ui::MessageButtons::OkCancel);
    EXPECT_EQ(box.icon, ui::MessageIcon::Information);
    EXPECT_EQ(box.owner_template, idc::kProgressTemplate);

    // The progress window: the caption, seven steps, the step text, the result.
    std::vector<std::string> captions = Captions(), steps;
    ASSERT_GE(captions.size(), 2u);
    EXPECT_EQ(captions[1], "Download");
    for (const std::string& c : captions)
        if (c != "0 / 7" && c.find(" / ") != std::string::npos) steps.push_back(c);
    EXPECT_EQ(steps, (std::vector<std::string>{"1 / 7", "2 / 7", "3 / 7", "4 / 7", "5 / 7", "6 / 7", "7 / 7"}));
    ASSERT_FALSE(Statuses().empty());
    EXPECT_EQ(Statuses().front(), " Downloading");
    EXPECT_EQ(LastStatus(), "It transferred a control program to the microcomputer");
}

TEST_F(DownloadTest, PausesBeforeTheHandshakeAndAroundTheRateSwitch) {
    MakeChip("TQ4A04", 9600, 19200);
    std::uint64_t endOfCommand = 0;
    PressDownload(kTQ4A04, 0, [&](CWriterDlg&) { endOfCommand = clock.ElapsedMs(); });
    const auto& wire = line->Wire();
    ASSERT_FALSE(wire.empty());
    // The prompt takes no time here, so the first byte leaves after 2500 ms.
    EXPECT_EQ(wire.front().time_ms, 2500u);
    EXPECT_EQ(wire.front().baud, 9600u);
    std::uint64_t startAck = 0;
    for (const WireByte& b : wire)
        if (b.direction == WireByte::Direction::ChipToHost && b.byte == 0x31) startAck = b.time_ms;
    std::uint64_t rateSwitch = 0;
    for (const auto& e : line->Events())
        if (e.kind == chipsim::LineEvent::Kind::SetBaud) rateSwitch = e.time_ms;
    ASSERT_GT(startAck, 0u);
    EXPECT_GE(rateSwitch, startAck + 250);
    EXPECT_LT(rateSwitch, startAck + 250 + 200);  // the read that saw the answer, then 250 ms
    // 250 ms after the switch the download ends; the result wait follows.
    EXPECT_GE(endOfCommand, rateSwitch + 250);
}

TEST_F(DownloadTest, EmptyControlProgramIsSentAsAHeaderAndTheAddressSum) {
    MakeChip("TQ4A05", 4800, 38400);
    WriteFile("ctl05.bin", "");
    PressDownload(kTQ4A05, 0, [](CWriterDlg& w) { EXPECT_EQ(w.m_bDownloaded, 1); });
    const auto sum = static_cast<std::uint8_t>(0x12 + 0x34 + 0x56 + 0x78);
    EXPECT_EQ(line->Written(),
              Concat({{0x18, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00, sum, 0x18}, kStartFrame}));
    EXPECT_TRUE(chip->UploadedProgram().empty());
}

TEST_F(DownloadTest, FileNamedAfterTheRateWinsAndBaud2IsTakenAsItStands) {
    MakeChip("TQ4A05", 9600, 57600);
    WriteFile("ctl05.bin", "plain");
    WriteFile("ctl05.bin-16MHz", "by rate");
    PressDownload(kTQ4A05, 1, [](CWriterDlg& w) {
        EXPECT_EQ(w.m_strDownloadPath, "ctl05.bin-16MHz");
        EXPECT_EQ(w.m_nWorkBaud, 57600);
    });
    EXPECT_EQ(chip->UploadedProgram(), (Bytes{'b', 'y', ' ', 'r', 'a', 't', 'e'}));
    EXPECT_EQ(line->Rates(), (std::vector<std::uint32_t>{9600, 57600}));
}

TEST_F(DownloadTest, TQ4A01HasNoPromptAndSynchronisesRightAfterTheUpload) {
    MakeChip("TQ4A01", 9600, 19200);
    WriteFile("ctl01.bin", std::string("\x01\x02", 2));
    PressDownload(kTQ4A01, 0, [](CWriterDlg& w) { EXPECT_EQ(w.m_bDownloaded, 1); });
    EXPECT_EQ(Prompts(), 0);
    const auto& wire = line->Wire();
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire.front().time_ms, 2500u);
    // Host bytes 0x18, 0x00 + 8 header bytes, 2 program bytes, the sum, then
    // the second 0x18 at the same moment, with no answer in between.
    std::vector<const WireByte*> host;
    std::size_t chipBytesBeforeSecondSync = 0;
    for (const WireByte& b : wire) {
        if (b.direction == WireByte::Direction::HostToChip) host.push_back(&b);
        else if (host.size() < 14) ++chipBytesBeforeSecondSync;
    }
    ASSERT_GE(host.size(), 14u);
    EXPECT_EQ(host[12]->byte, 0x45);  // 0x40 + 2 + 1 + 2
    EXPECT_EQ(host[13]->byte, 0x18);
    EXPECT_EQ(host[13]->time_ms, host[12]->time_ms);
    EXPECT_EQ(chipBytesBeforeSecondSync, 1u);  // only the first 0x11
}

TEST_F(DownloadTest, TQ4A03PromptsButAwaitsNoUploadAnswer) {
    MakeChip("TQ4A03", 9600, 19200);
    WriteFile("ctl03.bin", "x");
    PressDownload(kTQ4A03, 0, [](CWriterDlg& w) { EXPECT_EQ(w.m_bDownloaded, 1); });
    EXPECT_EQ(Prompts(), 1);
    EXPECT_EQ(line->Received(), (Bytes{0x11, 0x11, 0x31}));
}

TEST_F(DownloadTest, CancelInThePromptEndsSilentlyWithThePortClosed) {
    MakeChip("TQ4A04", 9600, 19200);
    backend.answers.push_back(ui::kIdCancel);
    PressDownload(kTQ4A04, 0, [](CWriterDlg& w) {
        ExpectResetState(w, false);
        EXPECT_EQ(w.GetFocus(), idc::kTarget);
    });
    EXPECT_EQ(line->OpenCount(), 0);
    EXPECT_TRUE(line->Written().empty());
    EXPECT_EQ(backend.message_boxes.size(), 1u);  // the prompt only
    EXPECT_EQ(LastStatus(), " Downloading");     // no report reached the window
    EXPECT_FALSE(Exists("MESSFILE.TXT"));
}

TEST_F(DownloadTest, WrongAnswerToTheSyncIsADownloadErrorWithTheByte) {
    MakeChip("TQ4A04", 9600, 19200);
    chip->MutableFaults().wrong_ack_at = chipsim::StepMatch{chipsim::StepKind::Sync, 1};
    chip->MutableFaults().wrong_ack_byte = 0x35;
    PressDownload(kTQ4A04, 0, [](CWriterDlg& w) {
        ExpectResetState(w, false);
        EXPECT_EQ(w.GetFocus(), idc::kTarget);
        EXPECT_TRUE(w.m_strErrorDetail.empty());  // consumed by the report
    });
    EXPECT_EQ(LastStatus(), "ERROR !!    MCU : 35H\r\n No.001 Download error");
    EXPECT_EQ(line->Written(), (Bytes{0x18}));
    EXPECT_FALSE(line->IsOpen());  // closed by the download step after a kind-1 error
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nERROR !!    MCU : 35H\r\r\n No.001 Download error");
}

TEST_F(DownloadTest, SilentChipTimesOutAfterOneSecond) {
    MakeChip("TQ4A04", 9600, 19200);
    chip->MutableFaults().silent_from = chipsim::StepMatch{chipsim::StepKind::Any, 1};
    std::uint64_t end = 0;
    PressDownload(kTQ4A04, 0, [&](CWriterDlg& w) {
        end = clock.ElapsedMs();
        ExpectResetState(w, false);
    });
    EXPECT_EQ(LastStatus(), "ERROR !!    \r\n No.003 timeout error");
    EXPECT_EQ(line->Written(), (Bytes{0x18}));
    EXPECT_FALSE(line->IsOpen());
    // The wait gives up at the first read that ends past 1000 ms.
    EXPECT_GT(end, 2500u + 1000u);
}

TEST_F(DownloadTest, ALinkLostDuringTheHandshakeIsReportedOnceHoweverLongTheUserTakes) {
    MakeChip("TQ4A04", 9600, 19200);
    chip->MutableFaults().drop_after_bytes = 1;  // gone right after the 0x18
    // The user takes ten seconds to acknowledge each message.
    auto press = backend.on_pump;
    backend.on_pump = [this, press] {
        ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
        if (p && p->GetDlgItemText(idc::kProgressButton) == "Ok") clock.Advance(10000);
        press();
    };
    PressDownload(kTQ4A04, 0, [](CWriterDlg& w) { ExpectResetState(w, false); });
    for (const std::string& status : Statuses()) EXPECT_EQ(status.find("timeout"), std::string::npos) << status;
    EXPECT_EQ(ReadFile("MESSFILE.TXT").find("timeout"), std::string::npos);
    EXPECT_FALSE(line->IsOpen());
}

TEST_F(DownloadTest, MissingControlProgramFileIsReportedBeforeAnyPrompt) {
    MakeChip("TQ4A04", 9600, 19200);
    WriteFile("CHIPDEF.INI", std::string(kDownloadChipDef) + "[TQ4A06]\r\nDownloadFile=none.bin\r\nLoadAddress=0\r\n"
                                                             "StartAddress=0\r\nEndAddress=0xFF\r\nFlashSize=1\r\n"
                                                             "Clock=1MHz\r\nBaud=9600\r\n");
    PressDownload(5, 0, [](CWriterDlg& w) {
        EXPECT_EQ(w.TargetName(), "TQ4A06");
        EXPECT_EQ(w.m_strDownloadPath, "none.bin");
        ExpectResetState(w, false);
    });
    EXPECT_EQ(Prompts(), 0);
    EXPECT_EQ(line->OpenCount(), 0);
    auto s = Statuses();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[s.size() - 2], "ERROR !!    \r\n No.007 Unable to open Download file.");
    EXPECT_EQ(s.back(), "Please redo from download operation");
}

TEST_F(DownloadTest, ControlProgramThatIsAFolderDoesNotOpen) {
    MakeChip("TQ4A04", 9600, 19200);
    std::filesystem::create_directory(Dir() + "ctl04.bin-10MHz");  // a folder named after the rate
    std::filesystem::remove(Dir() + "ctl04.bin");
    std::filesystem::create_directory(Dir() + "ctl04.bin");
    PressDownload(kTQ4A04, 0, [](CWriterDlg& w) { ExpectResetState(w, false); });
    auto s = Statuses();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[s.size() - 2], "ERROR !!    \r\n No.007 Unable to open Download file.");
    EXPECT_EQ(line->OpenCount(), 0);
}

TEST_F(DownloadTest, PortThatDoesNotOpenOrConfigureIsReportedWithItsCode) {
    for (int code : {206, 211}) {
        SCOPED_TRACE(code);
        backend.texts.clear();
        MakeChip("TQ4A04", 9600, 19200);
        line->FailOpens(PortFault(code));
        PressDownload(kTQ4A04, 0, [](CWriterDlg& w) {
            ExpectResetState(w, false);
            EXPECT_EQ(w.m_bComOpen, 0);
        });
        auto s = Statuses();
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s[s.size() - 2], code == 206 ? "ERROR !!    \r\n No.006 Unable to open COM port."
                                               : "ERROR !!    \r\n No.010 Unable to change COM port setting.");
        EXPECT_FALSE(line->IsOpen());
        EXPECT_TRUE(line->Written().empty());
    }
}

TEST_F(DownloadTest, RateSwitchFailuresCloseThePort) {
    for (int code : {210, 211}) {
        SCOPED_TRACE(code);
        backend.texts.clear();
        MakeChip("TQ4A04", 9600, 19200);
        line->FailSetBaud(PortFault(code));
        PressDownload(kTQ4A04, 0, [&](CWriterDlg& w) {
            ExpectResetState(w, false);
            EXPECT_EQ(chip->UploadedProgram(), kProgram);
        });
        auto s = Statuses();
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s[s.size() - 2], code == 210 ? "ERROR !!    \r\n No.009 Unable to gain COM port info."
                                               : "ERROR !!    \r\n No.010 Unable to change COM port setting.");
        EXPECT_FALSE(line->IsOpen());
    }
}

TEST_F(DownloadTest, RateWithoutABaudEntryIsReportedBeforeAnythingIsSent) {
    MakeChip("TQ4A04", 9600, 19200);
    // Two clock choices, one boot rate: the second choice has none.
    WriteFile("CHIPDEF.INI", "[TQ4A04]\r\nDownloadFile=ctl04.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\n"
                             "FlashSize=1\r\nClock=10MHz,20MHz\r\nBaud=9600\r\n"
                             "[TQ4A07]\r\nDownloadFile=ctl04.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\n"
                             "FlashSize=1\r\nClock=10MHz,20MHz\r\nBaud=9600,19200\r\nBaud2=,,\r\n");
    for (int target : {0, 1}) {
        SCOPED_TRACE(target);
        backend.texts.clear();
        backend.message_boxes.clear();
        PressDownload(target, target == 0 ? 1 : 0, [](CWriterDlg& w) { ExpectResetState(w, false); });
        auto s = Statuses();
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s[s.size() - 2], "ERROR !!    \r\n No.010 Unable to change COM port setting.");
        EXPECT_EQ(Prompts(), 0);
        EXPECT_EQ(line->OpenCount(), 0);
    }
}

TEST_F(DownloadTest, ASecondDownloadStartsAgainFromThePrompt) {
    MakeChip("TQ4A04", 9600, 19200);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nRATE=0\r\n");
    Run([&](CWriterDlg& w) {
        ASSERT_TRUE(backend.Click(w, idc::kDownload));
        ASSERT_EQ(w.m_bDownloaded, 1);
        // The chip is reset when the port closes, as the board's DTR line does.
        ASSERT_TRUE(backend.Click(w, idc::kDownload));
        EXPECT_EQ(w.m_bDownloaded, 1);
    });
    EXPECT_EQ(Prompts(), 2);
    EXPECT_EQ(line->OpenCount(), 2);
    EXPECT_EQ(line->Rates(), (std::vector<std::uint32_t>{9600, 19200, 9600, 19200}));
}

TEST_F(DownloadTest, TimingLogIsWrittenOnlyToAnExistingFileAndOnlyAfterSuccess) {
    const std::string before =
        "[20251231 - TQ4A04]\r\nDOWNLOAD=9.999\r\n[20260101 - TQ4A04]\r\nDOWNLOAD=0.001\r\nERACE=1.000\r\n";
    MakeChip("TQ4A04", 9600, 19200);
    PressDownload(kTQ4A04, 0, [](CWriterDlg&) {});
    EXPECT_FALSE(Exists("TIMETEST.TXT"));  // never created

    WriteFile("TIMETEST.TXT", before);
    MakeChip("TQ4A04", 9600, 19200);
    chip->MutableFaults().silent_from = chipsim::StepMatch{chipsim::StepKind::Any, 1};
    PressDownload(kTQ4A04, 0, [](CWriterDlg&) {});
    EXPECT_EQ(ReadFile("TIMETEST.TXT"), before);

    MakeChip("TQ4A04", 9600, 19200);
    PressDownload(kTQ4A04, 0, [](CWriterDlg&) {});
    const std::string after = ReadFile("TIMETEST.TXT");
    EXPECT_EQ(after.rfind("[20251231 - TQ4A04]\r\nDOWNLOAD=9.999\r\n[20260101 - TQ4A04]\r\nDOWNLOAD=", 0), 0u) << after;
    EXPECT_NE(after.find("\r\nERACE=1.000\r\n"), std::string::npos) << after;
    EXPECT_EQ(after.find("DOWNLOAD=0.001"), std::string::npos) << after;
    // The virtual clock starts on 2026-01-01; the download takes 3 s and some.
    EXPECT_NE(after.find("[20260101 - TQ4A04]\r\nDOWNLOAD=3."), std::string::npos) << after;
}

TEST_F(DownloadTest, CrcFaultsFollowTheSequenceOnlyWhileTheSwitchFileExists) {
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\n");
    Run([&](CWriterDlg& w) {
        crt::SeedRandom(1);
        for (int i = 0; i < 300; ++i) ASSERT_FALSE(w.CrcFaultDue());
        EXPECT_EQ(crt::Rand(), 41);  // nothing was drawn without the file
        WriteFile("CRCTEST.TXT", "");
        crt::SeedRandom(1);
        std::vector<int> due;
        for (int i = 0; i < 1280; ++i)
            if (w.CrcFaultDue()) due.push_back(i);
        ASSERT_FALSE(due.empty());
        EXPECT_EQ(due.front(), 113);  // the 114th draw, 19072, is the first with seven low zero bits
        EXPECT_NEAR(static_cast<double>(due.size()), 10.0, 6.0);
    });
    crt::SeedRandom(1);
}

TEST_F(DownloadTest, CommandLineDecidesThePromptAndNoDialogLeavesItToTheMainWindow) {
    WriteFile("prog.mot", "S2080800001122334445\r\nS804000000FB\r\n");
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nRATE=0\r\n");
    struct Case {
        std::vector<std::string> args;
        int prompts;
        int owner;
    } cases[] = {
        {{}, 1, idc::kProgressTemplate},
        {{"com3"}, 0, 0},
        {{"com3", "reset"}, 1, idc::kProgressTemplate},
        {{"COM3", "no_reset", "reset"}, 0, 0},
        {{"reset", "no_reset"}, 1, idc::kProgressTemplate},
        {{"com3", "no_dialog", "reset"}, 1, idc::kMainTemplate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        backend.message_boxes.clear();
        MakeChip("TQ4A04", 9600, 19200);
        // The chip stays silent: the run ends at the first acknowledge.
        chip->MutableFaults().silent_from = chipsim::StepMatch{chipsim::StepKind::Any, 1};
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), Dir() + "prog.mot");
        CWriterApp app(Env(args));
        app.InitInstance();
        EXPECT_EQ(Prompts(), c.prompts);
        if (c.prompts == 1 && !backend.message_boxes.empty()) {
            EXPECT_EQ(backend.message_boxes.back().owner_template, c.owner);
        }
        EXPECT_EQ(line->Written(), (Bytes{0x18}));  // the download went on to the handshake
        EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.003 timeout error\r\n");
    }
}

}  // namespace
}  // namespace mirelle::test
