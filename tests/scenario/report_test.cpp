// The reporter as a user and the result log see it: the composed message,
// where it is shown, the sounds, MESSFILE.TXT byte for byte, and the
// not-downloaded state after errors that break the link.
#include "texts/result_texts.h"
#include "texts/string_table.h"
#include "report_fixture.h"
#include "platform/system.h"

namespace mirelle::test {

using namespace mirelle::settings;
namespace {

using Box = ui::ScriptedBackend::MessageBoxRecord;

class ReporterTest : public ReportFixture {
protected:
    // Opens the port on the simulated line and puts the buttons into the
    // downloaded state, as after a successful download.
    void Downloaded(CWriterDlg& w) {
        ASSERT_EQ(w.OpenComPort(3, 115200), 0);
        w.SetDownloadedButtons();
    }
    bool ResetState(const CWriterDlg& w) const {
        return w.IsControlEnabled(idc::kDownload) && w.IsControlEnabled(idc::kFullOperation) &&
               w.IsControlEnabled(idc::kErase) == (w.TargetName() == "TQ4A01" || w.TargetName() == "TQ4A02") &&
               !w.IsControlEnabled(idc::kBlankCheck) && !w.IsControlEnabled(idc::kProgram) &&
               !w.IsControlEnabled(idc::kCompare) && !w.IsControlEnabled(idc::kCopy) && w.m_bDownloaded == 0;
    }
    bool DownloadedState(const CWriterDlg& w) const {
        for (int id : {idc::kDownload, idc::kFullOperation, idc::kErase, idc::kBlankCheck, idc::kProgram,
                       idc::kCompare, idc::kCopy})
            if (!w.IsControlEnabled(id)) return false;
        return w.m_bDownloaded == 1;
    }
};

TEST_F(ReporterTest, ErrorWithoutDetailInAMessageBoxKeepsLinkAndButtons) {
    CWriterDlg& w = MakeWindow();
    Downloaded(w);
    w.ReportResult(result::kTimeout, result::kKindError, result::kSoundError);

    ASSERT_EQ(backend.message_boxes.size(), 1u);
    const Box& box = backend.message_boxes[0];
    EXPECT_EQ(box.text, "ERROR !!    \r\n No.003 timeout error");
    EXPECT_EQ(box.caption, "Flash Memory Writer");
    EXPECT_EQ(box.icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(box.buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(box.owner_template, 102);
    // Text mode: the message's CR LF is stored as CR CR LF.
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nERROR !!    \r\r\n No.003 timeout error");
    // Kind 1 leaves the link and the buttons alone.
    EXPECT_TRUE(w.Session().PortOpen());
    EXPECT_TRUE(DownloadedState(w));
}

TEST_F(ReporterTest, DetailStandsBetweenPrefixAndTextAndIsConsumed) {
    CWriterDlg& w = MakeWindow();
    w.m_strErrorDetail = "MCU : 0EH";
    w.ReportResult(result::kDownloadError, result::kKindError, result::kSoundError);
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "ERROR !!    MCU : 0EH\r\n No.001 Download error");
    EXPECT_EQ(w.m_strErrorDetail, "");

    // The next report does not carry the old detail.
    w.ReportResult(result::kDownloadError, result::kKindError, result::kSoundError);
    EXPECT_EQ(backend.message_boxes[1].text, "ERROR !!    \r\n No.001 Download error");
}

TEST_F(ReporterTest, DifferenceLinesFollowTheTextWithInformationIconAndErrorSound) {
    CWriterDlg& w = MakeWindow();
    w.m_settings.bSound = 1;
    w.m_settings.bErrorEnable = 1;
    w.m_settings.nErrorType = 1;  // the beep
    w.m_strErrAddress = "00001000";
    w.m_strErrFlash = "FF";
    w.m_strErrHexFile = "12";
    w.ReportResult(result::kDifference, result::kKindInfo, result::kSoundError);

    const std::string text =
        "There is a point of difference in the flash and the hex file\r\n ErrorAddress : 00001000"
        "\r\n Flash      : FF\r\n HexFile   : 12";
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, text);
    EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Information);
    EXPECT_EQ(backend.sounds, std::vector<std::string>{"beep"});
    EXPECT_EQ(ReadFile("MESSFILE.TXT"),
              "NG\r\nThere is a point of difference in the flash and the hex file\r\r\n ErrorAddress : 00001000"
              "\r\r\n Flash      : FF\r\r\n HexFile   : 12");
    EXPECT_EQ(w.m_strErrAddress, "");
    EXPECT_EQ(w.m_strErrFlash, "");
    EXPECT_EQ(w.m_strErrHexFile, "");
}

TEST_F(ReporterTest, OnlyTheLinesThatAreSetArePrinted) {
    CWriterDlg& w = MakeWindow();
    w.m_strErrAddress = "00F80200";
    w.m_strErrHexFile = "A5";
    w.ReportResult(result::kProgramError, result::kKindError, result::kSoundError);
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text,
              "ERROR !!    \r\n No.013 Program error\r\n ErrorAddress : 00F80200\r\n HexFile   : A5");
}

TEST_F(ReporterTest, OnlyFullOperationDoneIsLoggedAsOk) {
    CWriterDlg& w = MakeWindow();
    WriteFile("MESSFILE.TXT", "an older and much longer result that must go away\r\n");
    w.ReportResult(result::kFullOperationDone, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "OK");
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "It ended normally completely");
    EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Information);

    w.ReportResult(result::kDownloaded, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nIt transferred a control program to the microcomputer");
    w.ReportResult(result::kBlank, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nA flash is Erased ");  // its trailing blank kept
}

TEST_F(ReporterTest, LinkErrorInMessageBoxesClosesThePortOnlyAfterBothAreAcknowledged) {
    CWriterDlg& w = MakeWindow();
    Downloaded(w);
    w.SetFocus(idc::kHexFile);
    std::vector<bool> open_while_shown;
    backend.on_message_box = [&](const ui::MessageBoxRequest&) {
        open_while_shown.push_back(w.Session().PortOpen());
        return 0;
    };
    w.ReportResult(result::kEraseError, result::kKindRedownload, result::kSoundError);

    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[0].text, "ERROR !!    \r\n No.018 Erase error");
    EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(backend.message_boxes[1].text, "Please redo from download operation");
    EXPECT_EQ(backend.message_boxes[1].caption, "Flash Memory Writer");
    EXPECT_EQ(backend.message_boxes[1].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(open_while_shown, (std::vector<bool>{true, true}));
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_FALSE(line.IsOpen());
    EXPECT_TRUE(ResetState(w));
    EXPECT_EQ(w.GetFocus(), idc::kTarget);
    // The log holds the error, not the follow-up text.
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nERROR !!    \r\r\n No.018 Erase error");
}

TEST_F(ReporterTest, ResetStateAfterLinkErrorLeavesEraseOnlyForItsTargets) {
    CWriterDlg& w = MakeWindow({}, "TQ7C01");
    Downloaded(w);
    w.ReportResult(result::kReadError, result::kKindLinkLost, result::kSoundError);
    EXPECT_TRUE(ResetState(w));
    EXPECT_FALSE(w.IsControlEnabled(idc::kErase));
}

TEST_F(ReporterTest, ProgressWindowShowsTheResultUntilTheButtonIsPressed) {
    CWriterDlg& w = MakeWindow();
    w.m_settings.bSound = 1;
    w.m_settings.bEndEnable = 1;
    w.m_settings.strEndWave = "/sounds/done.wav";
    CProgressDlg& p = OpenProgress(14);  // "Cancel" while the operation runs
    p.SetPos(40);
    const std::uint64_t before = clock.ElapsedMs();
    // Pressed after a few polls, as a user would.
    int polls = 0;
    backend.When([&] { return ++polls == 5; }, [&] { backend.Click(p, idc::kProgressButton); });

    w.ReportResult(result::kProgrammed, result::kKindInfo, result::kSoundEnd);

    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_EQ(p.m_nMode, 13);
    EXPECT_EQ(p.GetDlgItemText(idc::kProgressButton), "Ok");
    EXPECT_EQ(p.GetDlgItemText(idc::kStatusText), "The Programming ended normally");
    ASSERT_NE(p.FindControl(idc::kStatusIcon), nullptr);
    EXPECT_EQ(p.FindControl(idc::kStatusIcon)->icon, ui::kIconAsterisk);
    EXPECT_EQ(p.GetPos(idc::kProgressBar), 40);  // the bar is kept
    EXPECT_EQ(backend.sounds, (std::vector<std::string>{"stop", "wave:/sounds/done.wav"}));
    // Polled every 10 ms until the press.
    EXPECT_GE(clock.ElapsedMs() - before, 30u);
    EXPECT_LE(clock.ElapsedMs() - before, 60u);
    EXPECT_TRUE(p.HasWindow());  // the command destroys it, not the reporter
}

TEST_F(ReporterTest, ProgressWindowAfterLinkErrorAsksForADownloadThenCleansUp) {
    CWriterDlg& w = MakeWindow();
    Downloaded(w);
    CProgressDlg& p = OpenProgress();
    backend.PressWhenText(idc::kProgressTemplate, idc::kStatusText, "ERROR !!    \r\n No.016 COM port read error",
                          idc::kProgressButton);
    bool open_at_second = false;
    int hand_icon_at_second = 0;
    backend.When([&] { return p.GetDlgItemText(idc::kStatusText) == "Please redo from download operation"; },
                 [&] {
                     open_at_second = w.Session().PortOpen() && !ResetState(w);
                     hand_icon_at_second = p.FindControl(idc::kStatusIcon)->icon;
                     backend.Click(p, idc::kProgressButton);
                 });

    w.ReportResult(result::kPortReadError, result::kKindRedownload, result::kSoundError);

    EXPECT_TRUE(open_at_second);
    EXPECT_EQ(hand_icon_at_second, ui::kIconHand);
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_TRUE(ResetState(w));
    EXPECT_EQ(w.GetFocus(), idc::kTarget);
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_EQ(backend.TextsOf(idc::kProgressTemplate, idc::kStatusText),
              (std::vector<std::string>{"ERROR !!    \r\n No.016 COM port read error",
                                        "Please redo from download operation"}));
}

TEST_F(ReporterTest, ClosedProgressWindowEndsTheWaitOfAnError) {
    CWriterDlg& w = MakeWindow();
    CProgressDlg& p = OpenProgress();
    // The close box of the progress window counts as a press.
    backend.When([&] { return true; }, [&] { backend.Close(p); });
    w.ReportResult(result::kNoHexFile, result::kKindError, result::kSoundError);
    EXPECT_EQ(p.GetDlgItemText(idc::kStatusText), "ERROR !!    \r\n No.101 Please set \"hex file\"");
    EXPECT_EQ(p.FindControl(idc::kStatusIcon)->icon, ui::kIconExclamation);
}

TEST_F(ReporterTest, ProgressWindowThatWasNeverMadeFallsBackToMessageBoxes) {
    CWriterDlg& w = MakeWindow();
    w.m_pProgress = std::make_unique<CProgressDlg>();  // its window failed to appear
    w.ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[1].text, "Please redo from download operation");
}

TEST_F(ReporterTest, CommandLineModeShowsNothingButLogsAndCleansUp) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot"});
    ASSERT_TRUE(w.CommandLineMode());
    w.m_settings = {0, 1, "/e.wav", "/d.wav", 0, 0, 1, 1, 0};  // every sound on
    Downloaded(w);
    CProgressDlg& p = OpenProgress();
    p.SetStatus(" Programming");
    const std::uint64_t before = clock.ElapsedMs();

    w.ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);

    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\n No.003 timeout error\r\n");
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_TRUE(backend.sounds.empty());
    EXPECT_EQ(p.GetDlgItemText(idc::kStatusText), " Programming");  // nothing shown, nothing waited for
    EXPECT_EQ(clock.ElapsedMs(), before);
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_TRUE(ResetState(w));
}

TEST_F(ReporterTest, CommandLineModeJoinsDetailAndTextWithoutSeparator) {
    CWriterDlg& w = MakeWindow({"/work/prog.mot", "com3"});
    w.m_strErrorDetail = "MCU : 0EH";
    w.m_strErrAddress = "00000010";
    w.ReportResult(result::kDownloadError, result::kKindError, result::kSoundError);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nMCU : 0EH No.001 Download error\r\n\r\r\n ErrorAddress : 00000010");
    EXPECT_TRUE(backend.message_boxes.empty());

    w.ReportResult(result::kFullOperationDone, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "OK");
}

TEST_F(ReporterTest, JapaneseSystemGetsTheJapaneseTexts) {
    sys::SetEnv("LANG", "ja_JP.UTF-8");
    CWriterDlg& w = MakeWindow();
    w.ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[0].text, "ERROR !!    \r\n No.003 タイムアウトエラー");
    EXPECT_EQ(backend.message_boxes[1].text, "ダウンロード操作から実行し直してください");
    w.ReportResult(result::kFullOperationDone, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(backend.message_boxes[2].text, "Full Operation OK!");
}

TEST_F(ReporterTest, UnwritableLogLeavesTheReportGoingOn) {
    CWriterDlg& w = MakeWindow();
    Downloaded(w);
    // A folder in the way: the log file cannot be created, not even by root.
    std::filesystem::create_directory(Dir() + "MESSFILE.TXT");
    w.ReportResult(result::kCommunicationError, result::kKindRedownload, result::kSoundError);
    EXPECT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_FALSE(w.Session().PortOpen());
    EXPECT_TRUE(ResetState(w));
}

// Which sound each setting asks for; sounds are played before the message
// is shown and never when the master switch is off.
TEST_F(ReporterTest, SoundsFollowTheSettings) {
    CWriterDlg& w = MakeWindow();
    struct Case {
        CustomizeSettings settings;
        int event;
        std::vector<std::string> expected;
    };
    const CustomizeSettings all_on{0, 1, "/e.wav", "/d.wav", 0, 0, 1, 1, 0};
    auto with = [&](auto change) {
        CustomizeSettings s = all_on;
        change(s);
        return s;
    };
    const std::vector<Case> cases = {
        {all_on, 1, {"stop", "wave:/e.wav"}},
        {all_on, 2, {"stop", "wave:/d.wav"}},
        {all_on, 0, {}},
        {all_on, 3, {}},
        {with([](CustomizeSettings& s) { s.bSound = 0; }), 1, {}},
        {with([](CustomizeSettings& s) { s.bSound = 0; }), 2, {}},
        {with([](CustomizeSettings& s) { s.bErrorEnable = 0; }), 1, {}},
        {with([](CustomizeSettings& s) { s.bErrorEnable = 0; }), 2, {"stop", "wave:/d.wav"}},
        {with([](CustomizeSettings& s) { s.bEndEnable = 0; }), 2, {}},
        {with([](CustomizeSettings& s) { s.nErrorType = 1; }), 1, {"beep"}},
        {with([](CustomizeSettings& s) { s.nEndType = 2; }), 2, {"beep"}},
        // "<none>" names no file: whatever plays is stopped, nothing starts.
        {with([](CustomizeSettings& s) { s.strErrorWave = "<none>"; }), 1, {"stop"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        backend.sounds.clear();
        w.m_settings = cases[i].settings;
        w.PlayEventSound(cases[i].event);
        EXPECT_EQ(backend.sounds, cases[i].expected) << "case " << i;
    }

    // Played before the box is shown.
    backend.sounds.clear();
    w.m_settings = all_on;
    std::size_t sounds_at_box = 0;
    backend.on_message_box = [&](const ui::MessageBoxRequest&) {
        sounds_at_box = backend.sounds.size();
        return 0;
    };
    w.ReportResult(result::kErased, result::kKindInfo, result::kSoundEnd);
    EXPECT_EQ(sounds_at_box, 2u);
}

TEST(ResultTexts, EveryCodeHasBothTextsAndLoadsByItsId) {
    std::size_t count = 0;
    const ResultText* texts = ResultTexts(count);
    ASSERT_GE(count, 26u);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_NE(std::string(texts[i].english), "") << texts[i].id;
        EXPECT_NE(std::string(texts[i].japanese), "") << texts[i].id;
        EXPECT_EQ(LoadString(texts[i].id, UiLanguage::English), texts[i].english);
        EXPECT_EQ(LoadString(texts[i].id, UiLanguage::Japanese), texts[i].japanese);
    }
    EXPECT_EQ(LoadString(ids::kCanceled, UiLanguage::English), "It was canceled");
    EXPECT_EQ(LoadString(result::kNoHexFile, UiLanguage::English), " No.101 Please set \"hex file\"");
    EXPECT_EQ(FindResultText(202), nullptr);
}

}  // namespace
}  // namespace mirelle::test
