// The unattended run in the situations of a production line that must never
// end in a false "OK" or touch what is not its own: program files with
// nothing for the chip, a target list that changed, port words out of range,
// FIFOs instead of files, and files of the user's in the current folder.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/unattended_run.h"

namespace {

namespace fs = std::filesystem;
using namespace mirelle::testing;

class UnattendedSafety : public FullOperationPty {
protected:
    // The simulated TQ4A01 holding 16 old bytes, with a summary of its flash.
    void StartOldChip(const std::string& target = "TQ4A01", int index = 0) {
        StartSim(target, index, {"--fill", "80000:10:00", "--no-line-time", "--summary", Summary().string()});
    }
    fs::path Summary() const { return home_ / "summary.txt"; }
    std::string Text(const std::string& name, const std::string& text) {
        std::ofstream(home_ / name, std::ios::binary) << text;
        return (home_ / name).string();
    }
    bool ChipUntouched() {
        StopSim();
        return Slurp(Summary()).rfind("flash: 16 bytes programmed,", 0) == 0;
    }
};

TEST_F(UnattendedSafety, AFileWithNoByteForTheFlashFailsBeforeTheChipIsTouched) {
    const struct {
        const char* name;
        std::string text;
        const char* target;
        int index;
    } cases[] = {
        {"records.mot", "S0030000FC\r\nS5030001FB\r\nS9030000FC\r\n", "TQ4A01", 0},
        {"end.hex", ":00000001FF\r\n", "TQ4A01", 0},
        {"cr_only.mot", "S0030000FC\r" + SRecordOf('3', 0x80000, {1, 2, 3}) + "\rS70500000000FA\r", "TQ4A01", 0},
        {"above.mot", Slurp(fs::path(MIRELLE_SOURCE_DIR) / "data/samples/blinky.mot"), "TQ4A02", 1},
    };
    for (const auto& c : cases) {
        fs::remove(home_ / "flash.bin");
        StartSim(c.target, c.index, {"--fill", c.index == 0 ? "80000:10:00" : "40000:10:00", "--summary", Summary().string()});
        EXPECT_EQ(RunMirelle({Text(c.name, c.text), "com1"}), 1) << c.name;
        const std::string reason = std::string("No data for the flash of ") + c.target + " in this file HexFile decoder";
        EXPECT_EQ(Log(), "NG\r\n" + reason) << c.name;
        EXPECT_NE(Errors().find(reason), std::string::npos) << c.name << Errors();  // at the terminal too
        StopSim();
        EXPECT_EQ(Slurp(Summary()).rfind("flash: 16 bytes programmed,", 0), 0u) << c.name << Slurp(Summary());
    }
}

TEST_F(UnattendedSafety, DataBeyondTheFlashIsLeftOutWithAWarning) {
    StartOldChip();
    auto data = Pattern(0xFFF00, 0x200);  // 0x100 bytes run past 0xFFFFF
    EXPECT_EQ(RunMirelle({WriteProgram(data).string(), "com1", "no_dialog"}), 0) << Errors();
    EXPECT_EQ(Log(), "OK");
    EXPECT_NE(Errors().find("256 bytes of this file lie outside the flash of TQ4A01 (first at 0x00100000)"),
              std::string::npos)
        << Errors();
}

TEST_F(UnattendedSafety, TheTargetIsRememberedByNameWhenTheListChanges) {
    // A new section before TQ7C01 moves it from position 3 to 4.
    const std::string chipdef = Slurp(home_ / "CHIPDEF.INI");
    std::ofstream(home_ / "CHIPDEF.INI", std::ios::binary)
        << "[NEW1]\r\nDownloadFile=DownLoad/tq4a01.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
           "EndAddress=0xFFFFF\r\nFlashSize=512\r\nClock=10MHz\r\nBaud=9600\r\n"
        << chipdef;
    StartSim("TQ7C01", 3);
    Text("DATAFILE.TXT", "[Recent]\r\nCPU=3\r\nCPUNAME=TQ7C01\r\nRATE=0\r\n");
    EXPECT_EQ(RunMirelle({WriteProgram(Pattern(0xF8000, 0x100)).string(), "com1", "no_dialog"}), 0) << Errors();
    EXPECT_EQ(Log(), "OK");
}

TEST_F(UnattendedSafety, PortWordsReachCom255AndOthersAreUsageErrors) {
    StartOldChip();
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    for (const char* word : {"com0", "com256", "COM300"}) {
        EXPECT_EQ(RunMirelle({program.string(), word}), 2) << word;
        EXPECT_EQ(Log(), std::string("NG\r\nUsage error: ") + word + " names no port (com1 to com255)\r\n");
    }
    EXPECT_TRUE(ChipUntouched());
    // COM70 is a port like any other.
    StartOldChip();
    Text("Customize.ini", "[Ports]\r\nCOM70=" + link_.string() + "\r\n");
    EXPECT_EQ(RunMirelle({program.string(), "no_dialog", "com70"}), 0) << Errors();
    EXPECT_EQ(Log(), "OK");
}

TEST_F(UnattendedSafety, WordsMeantAsAPortThatNameNoneAreUsageErrors) {
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    const std::vector<std::vector<std::string>> words{
        {"COM2:"}, {"com 2"}, {"com2x"}, {"/dev/ttyUSB1"}, {"no_dialog", "no_reset", "com2"}};
    for (const auto& w : words) {
        StartOldChip();
        std::vector<std::string> args{program.string()};
        args.insert(args.end(), w.begin(), w.end());
        EXPECT_EQ(RunMirelle(args), 2) << w.back();
        EXPECT_EQ(Log().rfind("NG\r\nUsage error: " + w.back() + " ", 0), 0u) << Log();
        EXPECT_TRUE(ChipUntouched()) << w.back();
    }
}

TEST_F(UnattendedSafety, AStartThatCannotBeTrustedProgramsNothing) {
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    int held = -1;
    const struct {
        const char* what;
        std::function<void()> before;
        int status;
        std::string log;
    } cases[] = {
        {"saved target gone",
         [&] { Text("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nCPUNAME=TQ4A09\r\nRATE=0\r\n"); }, 1,
         "NG\r\nthe target TQ4A09 of DATAFILE.TXT is not in CHIPDEF.INI\r\n"},
        {"port held exclusively",
         [&] {
             held = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
             ioctl(held, TIOCEXCL);
         },
         1, ""},
    };
    for (const auto& c : cases) {
        StartOldChip();
        c.before();
        EXPECT_EQ(RunMirelle({program.string(), "com1", "no_dialog"}), c.status) << c.what << Errors();
        if (held >= 0) close(held), held = -1;
        if (!c.log.empty()) {
            EXPECT_EQ(Log(), c.log) << c.what;
        }
        EXPECT_EQ(Log().rfind("NG\r\n", 0), 0u) << c.what;
        EXPECT_TRUE(ChipUntouched()) << c.what;
    }
}

TEST_F(UnattendedSafety, ARelativeProgramFolderIsTheOneBelowTheStartingFolder) {
    StartOldChip();
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    const fs::path before = fs::current_path();
    fs::current_path(home_.parent_path());
    // The program file too is named from where the run starts.
    const std::string beside = home_.filename().string() + ".mot";
    fs::copy_file(program, beside, fs::copy_options::overwrite_existing);
    const std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle", beside, "com1", "no_dialog"};
    const int status = Wait(Spawn(argv, {"MIRELLE_HOME=" + home_.filename().string(), "QT_QPA_PLATFORM=offscreen"},
                                  home_ / "mirelle.log", home_ / "mirelle.err"),
                            60);
    fs::remove(beside);
    fs::current_path(before);
    EXPECT_EQ(status, 0) << Errors();
    EXPECT_EQ(Log(), "OK");
}

TEST_F(UnattendedSafety, FifosAreRefusedAtOnceAsFilesThatDoNotOpen) {
    StartOldChip();
    const fs::path fifo = home_ / "prog.mot";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(RunMirelle({fifo.string(), "com1"}, 10), 1);
    EXPECT_EQ(Log(), "NG\r\nfile open error HexFile decoder");
    fs::remove(home_ / "DownLoad" / "tq4a01.bin");
    ASSERT_EQ(mkfifo((home_ / "DownLoad" / "tq4a01.bin").c_str(), 0600), 0);
    EXPECT_EQ(RunMirelle({WriteProgram(Pattern(0x80000, 0x100), "real.mot").string(), "com1"}, 10), 1);
    EXPECT_EQ(Log(), "NG\r\n No.007 Unable to open Download file.\r\n");
    EXPECT_NE(Errors().find("No.007 Unable to open Download file."), std::string::npos) << Errors();
    EXPECT_TRUE(ChipUntouched());
}

TEST_F(UnattendedSafety, FilesOfTheUserInTheCurrentFolderAreLeftAlone) {
    StartOldChip();
    const fs::path program = WriteProgram(Pattern(0x80000, 0x100));
    const fs::path before = fs::current_path();
    fs::current_path(home_);
    const std::vector<std::string> names{"batch1.bat", "_w_o_r_k.1", "_w_o_r_k.5"};
    for (const std::string& name : names) Text(name, "mine");
    const int status = RunMirelle({program.string(), "com1", "no_dialog"});
    fs::current_path(before);
    EXPECT_EQ(status, 0) << Errors();
    for (const std::string& name : names) EXPECT_EQ(Slurp(home_ / name), "mine") << name;
}

}  // namespace
