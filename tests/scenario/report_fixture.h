// A main window built in a temporary program folder without its start-up
// (so that command-line mode starts no Full Operation), the scripted
// backend, a virtual clock and the in-process simulated chip behind the COM
// port opener. Used by the tests of the reporter and the COM operations.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "support/port_fault.h"
#include "chipsim/sim_port.h"
#include "platform/clock.h"
#include "ui/scripted_backend.h"
#include "support/program_folder.h"

namespace mirelle::test {


// The main window with only what the reporter and the port need: the
// program folder and a target list. The rest of the start-up is not run.
class BareWriterDlg : public CWriterDlg {
public:
    BareWriterDlg(AppEnvironment env, std::string target) : CWriterDlg(std::move(env)), target_(std::move(target)) {}

protected:
    bool OnInitDialog() override {
        ui::Dialog::OnInitDialog();
        m_strModuleDir = dir_ + "/";
        ResetContent(idc::kTarget);
        AddString(idc::kTarget, target_);
        SetCurSel(idc::kTarget, 0);
        m_nTarget = 0;
        return true;
    }

public:
    std::string dir_;

private:
    std::string target_;
};

class ReportFixture : public ProgramFolderTest {
protected:
    ReportFixture() : ProgramFolderTest("mirelle-report-") {}

    void SetUp() override {
        ProgramFolderTest::SetUp();
        ui::SetActiveBackend(&backend);
        SetProgramClock(&clock);
    }
    void TearDown() override {
        if (window) window->CloseComPort();
        if (window && window->m_pProgress) window->m_pProgress->DestroyWindow();
        if (window) window->m_pProgress.reset();
        window.reset();
        ui::SetMainWindow(nullptr);
        SetProgramClock(nullptr);
        ui::SetActiveBackend(nullptr);
        ProgramFolderTest::TearDown();
    }

    // Builds the main window; any argument puts it into command-line mode.
    CWriterDlg& MakeWindow(std::vector<std::string> args = {}, const std::string& target = "TQ4A01") {
        AppEnvironment env;
        env.args = std::move(args);
        env.executable_path = "/opt/mirelle/bin/mirelle";
        env.program_dir = DirPath().string();
        env.port_opener = [this](const std::string& device, int com, std::uint32_t baud,
                                 std::unique_ptr<serial::Port>& out) { return port_opener(device, com, baud, out); };
        env.port_problem_sink = [this](const std::string& line) { port_problems.push_back(line); };
        window = std::make_unique<BareWriterDlg>(env, target);
        window->dir_ = DirPath().string();
        EXPECT_TRUE(window->Create(nullptr));
        ui::SetMainWindow(window.get());
        return *window;
    }
    // Opens the progress window of a running command.
    CProgressDlg& OpenProgress(int mode = -1) {
        window->m_pProgress = std::make_unique<CProgressDlg>(mode);
        EXPECT_TRUE(window->m_pProgress->Create(window.get()));
        return *window->m_pProgress;
    }

    ui::ScriptedBackend backend;
    VirtualClock clock;
    chipsim::Chip chip{chipsim::ChipConfig::ForTarget("TQ4A04", {{0x0, 0xFFFF}})};
    chipsim::SimLine line{chip, clock};
    serial::PortOpener port_opener;
    chipsim::ScopedPortOpener opener{line, port_opener};
    std::vector<std::string> port_problems;  // what the window was told about ports that did not open
    std::unique_ptr<BareWriterDlg> window;
};

}  // namespace mirelle::test
