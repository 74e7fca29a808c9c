// Start-up of the main window: settings files absent or present, the chip
// definition file and its failures, the command line.
#include "app/windows/control_ids.h"
#include "main_window_fixture.h"

namespace mirelle::test {

using namespace mirelle::hexfile;
namespace {

using ui::kIdCancel;
using ui::kIdOk;

TEST_F(MainWindowTest, FirstStartWithoutSettingsFilesUsesDefaultsAndWritesNothing) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    bool ran = false;
    int result = Run([&](CWriterDlg& w) {
        ran = true;
        EXPECT_TRUE(w.IsWindowVisible());
        EXPECT_EQ(w.m_nTarget, 0);
        EXPECT_EQ(w.GetCurSel(idc::kTarget), 0);
        EXPECT_EQ(w.GetDlgItemText(idc::kTarget), "TQ4A01");
        EXPECT_EQ(w.m_nRate, 0);
        EXPECT_EQ(w.m_strProgramFile, "");
        EXPECT_EQ(w.GetDlgItemText(idc::kHexFile), "");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "1");
        EXPECT_EQ(w.m_settings.nComIndex, 0u);
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM1");
        EXPECT_EQ(w.m_settings.bSound, 0);
        EXPECT_EQ(w.m_settings.bErrorEnable, 0);
        EXPECT_EQ(w.m_settings.bEndEnable, 0);
        EXPECT_EQ(w.m_settings.bToolTips, 0);
        EXPECT_EQ(w.m_settings.strErrorWave, "<none>");
        EXPECT_EQ(w.m_strModuleDir, Dir());
        EXPECT_EQ(w.m_strChipDefPath, Dir() + "CHIPDEF.INI");
        EXPECT_EQ(w.GetDlgItemText(idc::kVersionLabel), "V01,L08");
        EXPECT_EQ(w.m_bShowProgress, 1);
        EXPECT_EQ(w.m_pProgress, nullptr);
        EXPECT_TRUE(w.AcceptsFiles());
        // The about item was added and the window cannot be resized or maximised.
        const auto& menu = w.SystemMenu();
        ASSERT_GE(menu.size(), 2u);
        EXPECT_EQ(menu.back().command, idc::kAboutCommand);
        EXPECT_EQ(menu.back().text, "version(flash) (&A)...");
        for (const auto& item : menu) {
            EXPECT_NE(item.command, ui::kScSize);
            EXPECT_NE(item.command, ui::kScMaximize);
        }
        // The image buffers are there to be written.
        w.m_image.Window(ImageWindow::kLow).back() = 1;
        w.m_image.Window(ImageWindow::kHigh).back() = 1;
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(result, kIdCancel);  // closed through the close box
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_FALSE(Exists("Customize.ini"));
    EXPECT_FALSE(Exists("DATAFILE.TXT"));
}

TEST_F(MainWindowTest, RemembersSelectionsAndSettings) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=1\r\nRATE=0\r\nWrite File=/data/prog/app.mhx\r\n");
    WriteFile("Customize.ini", "[Com]\r\nComNo=7\r\n[Tool]\r\nToolTips=1\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.TargetName(), "TQ7C01");
        EXPECT_EQ(w.m_strProgramFile, "/data/prog/app.mhx");
        EXPECT_EQ(w.GetDlgItemText(idc::kHexFile), "app.mhx");
        EXPECT_EQ(w.FindControl(idc::kHexFile)->tooltip, "/data/prog/app.mhx");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "7");
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM7");
        // Tooltips are on: hovering shows the string table's text.
        backend.Hover(w, idc::kDownload);
        ASSERT_EQ(backend.tooltips_shown.size(), 1u);
        EXPECT_EQ(backend.tooltips_shown[0].second, "Transfers a control program to the microcomputer");
    });
}

TEST_F(MainWindowTest, TooltipsOffShowNothing) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) { backend.Hover(w, idc::kDownload); });
    EXPECT_TRUE(backend.tooltips_shown.empty());
}

TEST_F(MainWindowTest, RememberedTargetBeyondTheListSelectsTheFirst) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=3\r\nRATE=5\r\n");  // three targets: 0..2
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.m_nTarget, 0);
        EXPECT_EQ(w.TargetName(), "TQ4A01");
        // TQ4A01 has two clocks: the remembered rate 5 is limited to 1.
        EXPECT_EQ(w.m_nRate, 1);
        EXPECT_EQ(w.GetCount(idc::kRate), 2);
        EXPECT_EQ(w.GetCurSel(idc::kRate), 1);
    });
}

class RegistFailedTest : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RegistFailedTest, EndsWithCancelBeforeTheWindowIsShown) {
    if (GetParam() != nullptr) WriteFile("CHIPDEF.INI", GetParam());
    bool ran = false;
    int result = Run([&](CWriterDlg&) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(result, kIdCancel);
    EXPECT_TRUE(backend.modal_runs.empty());  // the window was never shown
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "REGIST FAILED!");
    EXPECT_EQ(backend.message_boxes[0].caption, "flash");
    EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Stop);
    EXPECT_EQ(backend.message_boxes[0].buttons, ui::MessageButtons::Ok);
}

std::string RegistFailedCaseName(const ::testing::TestParamInfo<const char*>& info) {
    static const char* const kNames[] = {"NoFile", "EmptyFile", "NoCompleteSection"};
    return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    ChipDef, RegistFailedTest,
    ::testing::Values(nullptr, "",
                      // every required key but one, in each section
                      "[A]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\n"
                      "FlashSize=1\r\nClock=1MHz\r\n"
                      "[B]\r\nDownloadFile=\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\n"
                      "FlashSize=1\r\nClock=1MHz\r\nBaud=9600\r\n"),
    RegistFailedCaseName);

TEST_F(MainWindowTest, ExecutablePathBeyondThePlatformLimit) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    AppEnvironment env = Env();
    env.executable_path = "/" + std::string(PATH_MAX, 'x');
    CWriterApp app(env);
    EXPECT_EQ(app.InitInstance(), kIdCancel);
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "PATH TOO LONG error");
    EXPECT_EQ(backend.message_boxes[0].caption, "flash");
}

TEST_F(MainWindowTest, FlashInformationOfOneArea) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.GetDlgItemText(1047), "00080000H");
        EXPECT_EQ(w.GetDlgItemText(1048), "000FFFFFH");
        EXPECT_EQ(w.GetDlgItemText(1049), "00080000H");
        for (int id : {1071, 1072, 1073, 1074, 1075, 1076, 1087, 1088, 1089}) EXPECT_EQ(w.GetDlgItemText(id), "");
        EXPECT_EQ(w.m_nAreaCount, 1);
        EXPECT_EQ(w.m_nLoadAddress, 0x1000);
        // Row 1 is limited to 9 characters by the data exchange.
        EXPECT_EQ(w.FindControl(1047)->text_limit, 9);
    });
}

TEST_F(MainWindowTest, FlashInformationShowsFourOfFiveAreas) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=1\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.m_nAreaCount, 5);
        EXPECT_EQ(w.m_nStartAddr[4], 0x4000u);
        EXPECT_EQ(w.m_nEndAddr[4], 0x7FFFu);
        const char* rows[4][3] = {{"00000000H", "00000FFFH", "00001000H"},
                                  {"00001000H", "00001FFFH", "00001000H"},
                                  {"00002000H", "00002FFFH", "00001000H"},
                                  {"00003000H", "00003FFFH", "00001000H"}};
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(w.GetDlgItemText(idc::kRowStart[r]), rows[r][0]) << r;
            EXPECT_EQ(w.GetDlgItemText(idc::kRowEnd[r]), rows[r][1]) << r;
            EXPECT_EQ(w.GetDlgItemText(idc::kRowSize[r]), rows[r][2]) << r;
        }
    });
}

// --- the command line ---

TEST_F(MainWindowTest, OneArgumentNeverShowsTheWindowNorRemembersTheFile) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nWrite File=/old/file.mhx\r\n");
    WriteFile("Customize.ini", "[Com]\r\nComNo=4\r\n");
    const std::string before = ReadFile("DATAFILE.TXT");
    bool ran = false;
    int result = Run([&](CWriterDlg&) { ran = true; }, {"/work/new.mhx"});
    EXPECT_FALSE(ran);
    EXPECT_EQ(result, kIdOk);
    EXPECT_TRUE(backend.modal_runs.empty());  // the main window was never shown
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_EQ(ReadFile("DATAFILE.TXT"), before);  // the argument is not remembered
}

// The state of an unattended start, seen from a window that ends in its
// initialisation.
struct StartState {
    int result = 0;
    bool shown = false;
    std::string program_file, hex_name, com_box, caption;
    std::uint32_t com_index = 0;
    int show_progress = -1;
    bool use_reset = false;
};

class ProbeDlg : public CWriterDlg {
public:
    using CWriterDlg::CWriterDlg;
    StartState state;

protected:
    bool OnInitDialog() override {
        bool r = CWriterDlg::OnInitDialog();
        state.program_file = m_strProgramFile;
        state.hex_name = GetDlgItemText(idc::kHexFile);
        state.com_box = GetDlgItemText(idc::kComNo);
        state.caption = GetDlgItemText(idc::kCommandGroup);
        state.com_index = m_settings.nComIndex;
        state.show_progress = m_bShowProgress;
        state.use_reset = GetCommandLine().use_reset;
        return r;
    }
};

StartState StartWith(const AppEnvironment& env) {
    ProbeDlg dlg(env);
    ui::SetMainWindow(&dlg);
    dlg.state.result = dlg.DoModal();
    dlg.state.shown = dlg.WasShown();
    ui::SetMainWindow(nullptr);
    return dlg.state;
}

TEST_F(MainWindowTest, CommandLineExamples) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("Customize.ini", "[Com]\r\nComNo=4\r\n");

    StartState one = StartWith(Env({"/work/new.mhx"}));
    EXPECT_EQ(one.result, kIdOk);
    EXPECT_FALSE(one.shown);
    EXPECT_EQ(one.program_file, "/work/new.mhx");
    EXPECT_EQ(one.hex_name, "new.mhx");
    EXPECT_EQ(one.com_index, 3u);  // COM4 from Customize.ini
    EXPECT_EQ(one.com_box, "4");
    EXPECT_EQ(one.show_progress, 1);
    EXPECT_TRUE(one.use_reset);

    StartState three = StartWith(Env({"/work/new.mhx", "com3", "no_dialog"}));
    EXPECT_FALSE(three.shown);
    EXPECT_EQ(three.com_index, 2u);
    EXPECT_EQ(three.caption, "Command  to  COM3");
    EXPECT_EQ(three.com_box, "");  // the COM box stays empty
    EXPECT_EQ(three.show_progress, 0);
    EXPECT_FALSE(three.use_reset);

    EXPECT_EQ(StartWith(Env({"f", "com5", "com3"})).com_index, 2u);
    EXPECT_EQ(StartWith(Env({"f", "fast"})).com_index, 0u);
    EXPECT_TRUE(StartWith(Env({"f", "com2", "reset", "no_reset"})).use_reset);
    EXPECT_FALSE(StartWith(Env({"f", "com2", "no_reset", "reset"})).use_reset);
    EXPECT_TRUE(backend.message_boxes.empty());
    EXPECT_TRUE(backend.modal_runs.empty());
}

}  // namespace
}  // namespace mirelle::test
