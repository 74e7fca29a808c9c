// Read & Compare and Copy of the main window, driven through the scripted
// backend, against mirelle-sim on a pseudo-terminal in real time.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/windows/control_ids.h"
#include "scenario/main_window_fixture.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

class ReadCopyPty : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Real time and the real serial port: the chip is another process.
        SetProgramClock(nullptr);
        port_opener = serial::OpenSystemPort;
        link_ = Dir() + "ttySIM";
        // 8 KiB in 16 blocks; the boot ROM at 57600 baud, the control program at 115200.
        WriteFile("CHIPDEF.INI",
                  "[TQ4A40]\r\nDownloadFile=cp.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
                  "EndAddress=0x81FFF\r\nFlashSize=8\r\nClock=20MHz\r\nBaud=57600\r\nBaud2=115200\r\n");
        WriteFile("cp.bin", std::string(256, '\x42'));
        WriteFile("Customize.ini", "[Ports]\r\nCOM1=" + link_ + "\r\n");
        WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=0\r\nRATE=0\r\nWrite File=" + Dir() + "prog.mot\r\n");
    }
    void TearDown() override {
        if (sim_ > 0) {
            kill(sim_, SIGTERM);
            waitpid(sim_, nullptr, 0);
        }
        MainWindowTest::TearDown();
    }
    void StartSim() {
        sim_ = fork();
        if (sim_ == 0) {
            const int log = open((Dir() + "sim.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, 1);
            dup2(log, 2);
            const std::string sim = std::string(MIRELLE_BIN_DIR) + "/mirelle-sim";
            execl(sim.c_str(), sim.c_str(), "--chipdef", (Dir() + "CHIPDEF.INI").c_str(), "--target", "TQ4A40",
                  "--link", link_.c_str(), "--fill", "80000:1000", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 300 && !std::filesystem::exists(link_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(link_));
    }

    std::string link_;
    pid_t sim_ = -1;
};

TEST_F(ReadCopyPty, ReadAndCompareThenCopyOfAChipHoldingData) {
    // The chip holds the low byte of each address in its first 4 KiB; the
    // program file says so for the first 64 bytes, and the rest is erased
    // in the file: the first difference is at 0x80040.
    std::string program = "S0030000FC\r\n";
    for (std::uint32_t a = 0x80000; a < 0x80040; a += 16) {
        std::vector<std::uint8_t> data;
        for (std::uint32_t k = 0; k < 16; ++k) data.push_back(static_cast<std::uint8_t>(a + k));
        program += testing::SRecordOf('3', a, data) + "\r\n";
    }
    WriteFile("prog.mot", program + "S70500000000FA\r\n");
    StartSim();
    backend.on_pump = [this] {
        ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
        const ui::ControlState* icon = p ? p->FindControl(idc::kStatusIcon) : nullptr;
        if (icon != nullptr && icon->icon != 0 && p->IsControlEnabled(idc::kProgressButton))
            backend.Click(*p, idc::kProgressButton);
    };
    backend.file_answers = {Dir() + "copy"};  // the default extension is added by the real dialogs only
    std::string compare_log;
    Run([&](CWriterDlg& w) {
        backend.Click(w, idc::kDownload);
        ASSERT_EQ(w.m_bDownloaded, 1) << ReadFile("MESSFILE.TXT");
        backend.Click(w, idc::kCompare);
        compare_log = ReadFile("MESSFILE.TXT");
        backend.Click(w, idc::kCopy);
    });
    EXPECT_EQ(compare_log,
              "NG\r\nThere is a point of difference in the flash and the hex file\r\r\n ErrorAddress : 0x00080040\r\r\n"
              " Flash      : 0x40414243\r\r\n HexFile   : 0xFFFFFFFF");
    EXPECT_EQ(ReadFile("MESSFILE.TXT"), "NG\r\nThe Copy ending");
    const std::string copy = ReadFile("copy");
    // Header, 512 data records of 16 bytes, the end record.
    EXPECT_EQ(std::count(copy.begin(), copy.end(), '\n'), 514);
    EXPECT_EQ(copy.substr(0, 16 + 48), "S005000046575D\r\nS31500080000000102030405060708090A0B0C0D0E0F6A\r\n");
}

}  // namespace
}  // namespace mirelle::test
