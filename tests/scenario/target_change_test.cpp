// What changing the target does to the port, the remembered selections and the
// buttons, and how the main window treats keys that no button answers.
#include "main_window_fixture.h"

#include "app/windows/control_ids.h"
#include "chipsim/chip.h"
#include "chipsim/sim_port.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace mirelle::test {

namespace {

TEST_F(MainWindowTest, TargetChangeClosesThePortAndRemembersEverySelection) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nRATE=1\r\nWrite File=" + Dir() + "prog.mot\r\n");
    chipsim::Chip chip(chipsim::ChipConfig::ForTarget("TQ4A01", {{0x80000, 0xFFFFF}}));
    chipsim::SimLine line(chip, virtual_clock);
    chipsim::ScopedPortOpener opener(line, port_opener);
    Run([&](CWriterDlg& w) {
        ASSERT_EQ(w.OpenComPort(1, 9600), 0);
        ASSERT_TRUE(line.IsOpen());
        backend.Select(w, idc::kTarget, 2);  // TQ4A03
        EXPECT_FALSE(line.IsOpen());
        EXPECT_FALSE(w.Session().PortOpen());
        EXPECT_EQ(w.FindControl(idc::kHexFile)->tooltip, Dir() + "prog.mot");
        // "TQ4A03" is not one of the chips whose Erase works before a download.
        EXPECT_FALSE(w.IsControlEnabled(idc::kErase));
        // The rate index was clamped to the new chip's single Clock entry.
        EXPECT_EQ(w.m_nRate, 0);
    });
    const std::string datafile = Dir() + "DATAFILE.TXT";
    EXPECT_EQ(profile::GetString(datafile, "Recent", "CPU", ""), "2");
    EXPECT_EQ(profile::GetString(datafile, "Recent", "CPUNAME", ""), "TQ4A03");
    EXPECT_EQ(profile::GetString(datafile, "Recent", "RATE", ""), "1");  // written before the new chip is read
    EXPECT_EQ(profile::GetString(datafile, "Recent", "Write File", ""), Dir() + "prog.mot");
    EXPECT_FALSE(line.IsOpen());
}

TEST_F(MainWindowTest, Tq4a02AllowsEraseBeforeADownload) {
    WriteFile("CHIPDEF.INI",
              "[TQ4A02]\r\nDownloadFile=a.bin\r\nLoadAddress=0x40\r\nStartAddress=0x40000\r\nEndAddress=0x7FFFF\r\n"
              "FlashSize=1\r\nClock=10MHz\r\nBaud=9600\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_TRUE(w.IsControlEnabled(idc::kErase));
        EXPECT_FALSE(w.IsControlEnabled(idc::kBlankCheck));
    });
}

TEST_F(MainWindowTest, ARateListWithoutEntriesNeverLeavesANegativeRate) {
    // Clock holds only commas: the chip qualifies, but its rate list is empty.
    WriteFile("CHIPDEF.INI",
              "[ODD]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=FF\r\n"
              "FlashSize=1\r\nClock=,,\r\nBaud=9600\r\n");
    Run([&](CWriterDlg& w) {
        EXPECT_EQ(w.GetCount(idc::kRate), 0);
        backend.Type(w, idc::kComNo, "2");  // every keystroke reads the controls back
        backend.Select(w, idc::kTarget, 0);
        EXPECT_EQ(w.m_nRate, 0);
    });
}

TEST_F(MainWindowTest, ALetterWithoutAUsableButtonIsNotTyped) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    Run([&](CWriterDlg& w) {
        backend.Select(w, idc::kTarget, 1);  // an ordinary chip: Erase is disabled
        w.SetDlgItemText(idc::kComNo, "");
        backend.Type(w, idc::kComNo, "e1x");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "1");
        EXPECT_EQ(w.m_pProgress, nullptr);
    });
    EXPECT_EQ(profile::GetString(Dir() + "Customize.ini", "Com", "ComNo", ""), "1");
}

TEST_F(MainWindowTest, FilesOfTheUserInTheCurrentFolderAreKeptAtExit) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    const std::string saved = sys::CurrentDir();
    ASSERT_TRUE(sys::SetCurrentDir(Dir()));
    for (const char* name : {"batch1.bat", "_w_o_r_k.1", "_w_o_r_k.5", "keep.txt"}) WriteFile(name, "x");
    Run([&](CWriterDlg& w) { w.EndDialog(ui::kIdOk); });
    sys::SetCurrentDir(saved);
    for (const char* name : {"batch1.bat", "_w_o_r_k.1", "_w_o_r_k.5", "keep.txt"}) EXPECT_TRUE(Exists(name)) << name;
}

}  // namespace
}  // namespace mirelle::test
