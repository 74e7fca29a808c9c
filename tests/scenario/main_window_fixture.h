// A temporary program folder, the scripted backend, and the main window run
// in it as the program runs it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/windows/writer_app.h"
#include "app/windows/writer_dlg.h"
#include "support/port_fault.h"
#include "platform/clock.h"
#include "serial/port.h"
#include "ui/scripted_backend.h"
#include "support/program_folder.h"

namespace mirelle::test {


// Two ordinary chips, the special "TQ4A01" and one written in small letters.
inline const char* const kSampleChipDef =
    "[TQ4A01]\r\nDownloadFile=tq4a01.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x80000\r\n"
    "EndAddress=0xFFFFF\r\nFlashSize=512\r\nClock=10MHz,20MHz\r\nBaud=9600,19200\r\n"
    "[TQ7C01]\r\nDownloadFile=tq7c01.bin\r\nLoadAddress=0x400\r\nStartAddress=0x0,0x1000,0x2000,0x3000,0x4000\r\n"
    "EndAddress=0xFFF,0x1FFF,0x2FFF,0x3FFF,0x7FFF\r\nFlashSize=32\r\nClock=16MHz\r\nBaud=38400\r\n"
    "[NOCLOCK]\r\nDownloadFile=x.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\nFlashSize=1\r\n"
    "[tq4a03]\r\nDownloadFile=tq4a03.bin\r\nLoadAddress=0x2000\r\nStartAddress=0x10000\r\n"
    "EndAddress=0x1FFFF\r\nFlashSize=64\r\nClock=8MHz\r\nBaud=4800\r\n";
// Targets as listed: TQ4A01, TQ7C01, TQ4A03 (NOCLOCK has no Clock and Baud).

class MainWindowTest : public ProgramFolderTest {
protected:
    MainWindowTest() : ProgramFolderTest("mirelle-ui-") {}

    void SetUp() override {
        ProgramFolderTest::SetUp();
        ui::SetActiveBackend(&backend);
        // No scenario ever waits in real time or reaches a real serial device:
        // tests that talk to a chip install the simulated line over this.
        SetProgramClock(&virtual_clock);
    }
    void TearDown() override {
        SetProgramClock(nullptr);
        ui::SetActiveBackend(nullptr);
        ProgramFolderTest::TearDown();
    }
    AppEnvironment Env(std::vector<std::string> args = {}) const {
        AppEnvironment env;
        env.args = std::move(args);
        env.executable_path = "/opt/mirelle/bin/mirelle";
        env.program_dir = Dir();
        env.port_opener = [this](const std::string& device, int com, std::uint32_t baud,
                                 std::unique_ptr<serial::Port>& out) { return port_opener(device, com, baud, out); };
        return env;
    }

    // Runs the application; `script` runs while the main window is up.
    int Run(const std::function<void(CWriterDlg&)>& script, std::vector<std::string> args = {}) {
        CWriterApp app(Env(std::move(args)));
        backend.modal_scripts.push_back([script](ui::Dialog& d) { script(static_cast<CWriterDlg&>(d)); });
        return app.InitInstance();
    }

    ui::ScriptedBackend backend;
    VirtualClock virtual_clock;
    // The port behind the main window's COM numbers. No scenario reaches a
    // real serial device: tests that talk to a chip put the simulated line here.
    serial::PortOpener port_opener = [](const std::string&, int, std::uint32_t, std::unique_ptr<serial::Port>&) {
        return serial::PortResult::CannotOpen;
    };
};

}  // namespace mirelle::test
