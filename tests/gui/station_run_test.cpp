// The station window in Qt (offscreen) with a job of two slots, each against
// its own mirelle-sim on a pseudo-terminal, in real time: Start all, then
// both tiles show PASS and the counts 1 and 0, read from the window's own
// texts; closing the window stops the slots and the run returns 0.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/windows/control_ids.h"
#include "app/windows/station_dlg.h"
#include "scenario/main_window_fixture.h"
#include "station/job_file.h"
#include "station/station.h"
#include "support/program_lines.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window_backend.h"

namespace mirelle::test {

namespace {

namespace fs = std::filesystem;

TEST(StationWindowRun, TwoSlotsPassAgainstTheSimulator) {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<ui::Backend> first = ui::CreateQtBackend(argc, argv, "gui_tests: no display");
    const fs::path dir = fs::temp_directory_path() / ("mirelle-gui-station-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "CHIPDEF.INI", std::ios::binary) << kSampleChipDef;
    std::ofstream(dir / "tq4a01.bin", std::ios::binary) << std::string(128, '\x42');
    std::ofstream(dir / "prog.mot", std::ios::binary)
        << testing::SRecordOf('3', 0x80000, {1, 2, 3, 4, 5, 6, 7, 8}) << "\r\n";

    pid_t sims[2] = {};
    station::Job job;
    job.path = (dir / "two.job").string();
    job.name = "two";
    job.target = "TQ4A01";
    job.program_file = "prog.mot";
    for (int i = 0; i < 2; ++i) {
        const fs::path link = dir / ("ttySIM" + std::to_string(i + 1));
        sims[i] = fork();
        if (sims[i] == 0) {
            // The simulator's device name and summary are not this test's output.
            if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr)
                _exit(126);
            const std::string sim_path = std::string(MIRELLE_BIN_DIR) + "/mirelle-sim";
            execl(sim_path.c_str(), "mirelle-sim", "--chipdef", (dir / "CHIPDEF.INI").c_str(), "--target", "TQ4A01",
                  "--link", link.c_str(), "--fill", "80000:20", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int w = 0; w < 200 && !fs::exists(link); ++w) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(link));
        job.slots.push_back({std::to_string(i + 1), link.string()});
    }
    std::string error;
    ASSERT_TRUE(station::SealJob(job, dir.string() + "/", error)) << error;
    ASSERT_TRUE(station::WriteJob(job, (dir / "two.job").string(), error)) << error;

    station::Job read;
    ASSERT_TRUE(station::ReadJob((dir / "two.job").string(), read, error)) << error;
    ASSERT_EQ(station::CheckJob(read, dir.string() + "/"), std::vector<std::string>{});
    ui::QtBackend backend;
    ui::SetActiveBackend(&backend);
    std::string seen[2];
    bool passed = false;
    {
        station::Station station(read, dir.string() + "/");
        StationOf control(station);
        CStationDlg window(read, control, {});
        QTimer watch;
        bool started = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!window.HasWindow()) return;
            if (!started) {
                started = true;
                QTest::mouseClick(backend.ControlOf(window, idc::kStationStartAll), Qt::LeftButton);
                return;
            }
            bool both = true;
            for (int slot = 0; slot < 2; ++slot) {
                auto label = [&](idc::StationTilePart part) {
                    return qobject_cast<QLabel*>(backend.ControlOf(window, idc::StationTileControl(slot, part)))
                        ->text()
                        .toStdString();
                };
                seen[slot] = label(idc::kTileState) + " / " + label(idc::kTileCounts);
                both = both && seen[slot] == "PASS / Passed: 1    Failed: 0";
            }
            if (both && !passed) {
                passed = true;
                const fs::path shots = fs::path(MIRELLE_BINARY_DIR) / "test-artifacts";
                fs::create_directories(shots);
                backend.WindowOf(window)->grab().save(QString::fromStdString((shots / "qt-station-run.png").string()));
                backend.WindowOf(window)->close();  // stops the slots; the run ends when they have
            }
        });
        watch.start(50);
        // Gives up after two minutes, as the close box would.
        QTimer::singleShot(120000, [&] {
            if (window.HasWindow()) backend.WindowOf(window)->close();
        });
        EXPECT_TRUE(window.Run(nullptr));
        watch.stop();
    }
    EXPECT_TRUE(passed) << "the tiles show " << seen[0] << " and " << seen[1];
    ui::SetActiveBackend(nullptr);
    for (pid_t sim : sims) {
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mirelle::test
