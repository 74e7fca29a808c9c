// The main window as a user works it: the COM box, the lists, keys, the
// right button on Copy, closing, the about box.
#include "app/windows/control_ids.h"
#include "main_window_fixture.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace mirelle::test {

namespace {

using ui::kIdCancel;

class ComBoxTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteFile("CHIPDEF.INI", kSampleChipDef);
    }
    // ComNo of Customize.ini, "" when it is not there.
    std::string ComNo() { return profile::GetString(Dir() + "Customize.ini", "Com", "ComNo", ""); }
};

TEST_F(ComBoxTest, TypingTwelveWritesOneThenTwelve) {
    Run([&](CWriterDlg& w) {
        backend.SetText(w, idc::kComNo, "");
        EXPECT_EQ(ComNo(), "");  // clearing writes nothing
        backend.Type(w, idc::kComNo, "1");
        EXPECT_EQ(ComNo(), "1");
        backend.Type(w, idc::kComNo, "2");
        EXPECT_EQ(ComNo(), "12");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "12");
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM12");
        EXPECT_EQ(w.m_settings.nComIndex, 11u);
    });
}

TEST_F(ComBoxTest, ThreeHundredStopsAtThirty) {
    Run([&](CWriterDlg& w) {
        backend.SetText(w, idc::kComNo, "");
        std::vector<std::string> after;
        for (char c : std::string("300")) {
            backend.Type(w, idc::kComNo, std::string(1, c));
            after.push_back(ComNo());
        }
        EXPECT_EQ(after, (std::vector<std::string>{"3", "30", "30"}));
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "300");  // the box keeps what was typed
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM30");
    });
}

TEST_F(ComBoxTest, ZeroAndClearingWriteNothing) {
    WriteFile("Customize.ini", "[Com]\r\nComNo=5\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "5");
        backend.SetText(w, idc::kComNo, "");
        EXPECT_EQ(ComNo(), "5");
        backend.Type(w, idc::kComNo, "0");
        EXPECT_EQ(ComNo(), "5");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "0");
        // The caption follows the file, not the box.
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM5");
        backend.Type(w, idc::kComNo, "\b");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "");
        EXPECT_EQ(ComNo(), "5");
    });
}

TEST_F(ComBoxTest, ProgramOwnTextChangesWriteNothing) {
    Run([&](CWriterDlg& w) {
        w.m_strComNo = "42";
        w.UpdateData(false);  // towards the window: no notification
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "42");
        EXPECT_FALSE(Exists("Customize.ini"));
    });
}

TEST_F(MainWindowTest, ButtonStatesAfterStartAndTargetChanges) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    auto enabled = [](CWriterDlg& w) {
        std::string s;
        for (int id : {idc::kDownload, idc::kFullOperation, idc::kErase, idc::kBlankCheck, idc::kProgram,
                       idc::kCompare, idc::kCopy, idc::kOpen, idc::kSetEnvironment, idc::kHelp, idc::kCheckSum,
                       idc::kVersionInfo})
            s += w.IsControlEnabled(id) ? '1' : '0';
        return s;
    };
    Run([&](CWriterDlg& w) {
        // TQ4A01: Erase is usable before any download.
        EXPECT_EQ(enabled(w), "111000011111");
        EXPECT_EQ(w.m_bDownloaded, 0);
        w.SetDownloadedButtons();
        EXPECT_EQ(enabled(w), "111111111111");
        EXPECT_EQ(w.m_bDownloaded, 1);

        backend.Select(w, idc::kTarget, 1);  // TQ7C01, an ordinary chip
        EXPECT_EQ(w.m_nTarget, 1);
        EXPECT_EQ(enabled(w), "110000011111");
        EXPECT_EQ(w.m_bDownloaded, 0);
        EXPECT_EQ(w.GetDlgItemText(1047), "00000000H");
        EXPECT_EQ(w.GetCount(idc::kRate), 1);
        EXPECT_EQ(w.m_nRate, 0);
        EXPECT_EQ(profile::GetString(Dir() + "DATAFILE.TXT", "Recent", "CPU", ""), "1");

        backend.Select(w, idc::kTarget, 0);
        EXPECT_EQ(enabled(w), "111000011111");
    });
}

TEST_F(MainWindowTest, SmallLetterSectionIsListedInCapitals) {
    WriteFile("CHIPDEF.INI",
              "[tq4a01]\r\nDownloadFile=a.bin\r\nLoadAddress=0x40\r\nStartAddress=0x100\r\nEndAddress=0x1FF\r\n"
              "FlashSize=1\r\nClock=1MHz\r\nBaud=9600\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.GetLBText(idc::kTarget, 0), "TQ4A01");
        EXPECT_EQ(w.m_nLoadAddress, 0x40);
        EXPECT_EQ(w.GetDlgItemText(1048), "000001FFH");
        EXPECT_TRUE(w.IsControlEnabled(idc::kErase));  // treated as "TQ4A01"
    });
}

// Records the commands that reach the main window. The operations on the
// chip are recorded but not run: their own tests drive them.
class CommandProbe : public CWriterDlg {
public:
    using CWriterDlg::CWriterDlg;
    std::vector<std::pair<int, int>> commands;

protected:
    bool OnCommand(int id, int code) override {
        commands.emplace_back(id, code);
        for (int op : {idc::kDownload, idc::kErase, idc::kBlankCheck, idc::kProgram, idc::kCompare, idc::kCopy,
                       idc::kFullOperation})
            if (id == op) return true;
        return CWriterDlg::OnCommand(id, code);
    }
};

TEST_F(MainWindowTest, PlainLetterPressesTheButtonOfItsMnemonic) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=1\r\n");  // TQ7C01: Erase disabled
    CommandProbe w(Env());
    ui::SetMainWindow(&w);
    backend.modal_scripts.push_back([&](ui::Dialog&) {
        auto clicks = [&](int id) {
            return std::count(w.commands.begin(), w.commands.end(), std::make_pair(id, ui::kBnClicked));
        };
        backend.PressKey(w, 'E');
        EXPECT_EQ(clicks(idc::kErase), 0);  // disabled: nothing happens
        w.EnableControl(idc::kErase, true);
        backend.PressKey(w, 'E');
        EXPECT_EQ(clicks(idc::kErase), 1);
        backend.PressKey(w, 'D');
        EXPECT_EQ(clicks(idc::kDownload), 1);
        backend.PressKey(w, 'P', true);  // Alt+P works as well
        EXPECT_EQ(clicks(idc::kProgram), 0);  // still disabled
        // Digits type into the COM box; a letter there still acts as a mnemonic.
        backend.Type(w, idc::kComNo, "2");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "12");
        backend.Type(w, idc::kComNo, "h");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "12");
        EXPECT_EQ(clicks(idc::kHelp), 1);
    });
    w.DoModal();
    ui::SetMainWindow(nullptr);
}

TEST_F(MainWindowTest, RightClicksOnCopyFlipTheOutputFormat) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        ASSERT_FALSE(w.IsControlEnabled(idc::kCopy));
        EXPECT_EQ(w.GetDlgItemText(idc::kCopy), "&Copy");
        backend.RightClick(w, idc::kCopy);
        EXPECT_EQ(w.m_bCopyIntelHex, 1);
        EXPECT_EQ(w.GetDlgItemText(idc::kCopy), "&Copy_i");
        backend.RightClick(w, idc::kCopy);
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
        EXPECT_EQ(w.GetDlgItemText(idc::kCopy), "&Copy");
        // A double click arrives as a down message and a double-click message.
        backend.RightClick(w, idc::kCopy);
        backend.RightClick(w, idc::kCopy, true);
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
        // Elsewhere the right button does nothing.
        backend.RightClick(w, idc::kBlankCheck);
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
        // While the window is disabled (a command runs) it takes no input at all.
        w.EnableWindow(false);
        backend.RightClick(w, idc::kCopy);
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
        w.EnableWindow(true);
    });
}

TEST_F(MainWindowTest, EscAndEnterLeaveTheWindowOpenCloseEndsIt) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    int result = Run([&](CWriterDlg& w) {
        backend.PressKey(w, ui::kVkEscape);
        EXPECT_FALSE(w.Ended());
        backend.PressKey(w, ui::kVkReturn);
        EXPECT_FALSE(w.Ended());
        EXPECT_EQ(w.m_bCloseRequested, 0);
        backend.Close(w);
        EXPECT_TRUE(w.Ended());
        EXPECT_EQ(w.m_bCloseRequested, 1);
    });
    EXPECT_EQ(result, kIdCancel);
    EXPECT_EQ(backend.unended_runs, 0);
}

TEST_F(MainWindowTest, CloseWhileAProgressWindowExistsRemovesIt) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        w.m_pProgress = std::make_unique<CProgressDlg>();
        ASSERT_TRUE(w.m_pProgress->Create(nullptr));
        EXPECT_FALSE(w.IsWindowEnabled());
        // A disabled window's close box cannot be used; the system's Close can still come.
        EXPECT_FALSE(backend.Close(w));
        w.EnableWindow(true);
        backend.SysCommand(w, ui::kScClose);
        EXPECT_EQ(w.m_pProgress, nullptr);
        EXPECT_TRUE(w.Ended());
    });
    EXPECT_EQ(backend.FindLive(idc::kProgressTemplate), nullptr);
}

TEST_F(MainWindowTest, VersionInfoAndTheSystemMenuOpenTheAboutBox) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    std::vector<std::string> labels;
    Run([&](CWriterDlg& w) {
        auto look = [&](ui::Dialog& about) {
            EXPECT_FALSE(w.IsWindowEnabled());  // the owner is disabled meanwhile
            labels.push_back(about.GetDlgItemText(idc::kVersionLabel));
            EXPECT_EQ(about.GetWindowText(), "(C)Information");
            backend.PressKey(about, ui::kVkReturn);  // OK is the default
            EXPECT_TRUE(about.Ended());
        };
        backend.modal_scripts.push_back(look);
        backend.Click(w, idc::kVersionInfo);
        backend.modal_scripts.push_back(look);
        backend.SysCommand(w, idc::kAboutCommand);
        backend.PressKey(w, 'V');
        EXPECT_TRUE(w.IsWindowEnabled());
    });
    EXPECT_EQ(labels, (std::vector<std::string>{"V01,L08", "V01,L08"}));
    EXPECT_EQ(backend.modal_runs, (std::vector<int>{102, 100, 100, 100}));
}

TEST_F(MainWindowTest, UnboundCommandsDoNothing) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        w.SetDownloadedButtons();
        // Buttons whose commands have no handler in this build.
        for (int id : {idc::kSetEnvironment, idc::kCheckSum})
            backend.Click(w, id);
        EXPECT_FALSE(w.Ended());
        EXPECT_EQ(w.m_pProgress, nullptr);
    });
    EXPECT_TRUE(backend.message_boxes.empty());
}

TEST_F(MainWindowTest, DroppedFileBecomesTheProgramFile) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("a.mhx", "S0\r\n");
    WriteFile("b.mhx", "S0\r\n");
    Run([&](CWriterDlg& w) {
        backend.DropFiles(w, {Dir()});  // a folder is ignored
        EXPECT_EQ(w.m_strProgramFile, "");
        backend.DropFiles(w, {Dir() + "a.mhx", Dir() + "b.mhx"});
        EXPECT_EQ(w.m_strProgramFile, Dir() + "a.mhx");
        EXPECT_EQ(w.GetDlgItemText(idc::kHexFile), "a.mhx");
        EXPECT_EQ(w.FindControl(idc::kHexFile)->tooltip, Dir() + "a.mhx");
    });
    EXPECT_EQ(profile::GetString(Dir() + "DATAFILE.TXT", "Recent", "Write File", ""), Dir() + "a.mhx");
}

TEST_F(MainWindowTest, JapaneseTexts) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    sys::SetEnv("LANG", "ja_JP.UTF-8");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.FindControl(idc::kDownload)->tooltip, "マイコンに制御プログラムを転送します");
    });
    sys::SetEnv("LC_ALL", "en_US.UTF-8");  // LC_ALL comes first
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.FindControl(idc::kDownload)->tooltip, "Transfers a control program to the microcomputer");
    });
}

}  // namespace
}  // namespace mirelle::test
