// The Full Operation button in the real window (Qt, offscreen) against
// mirelle-sim on a pseudo-terminal, in real time: the progress window runs
// through the steps, shows the result and goes when the user presses Ok.
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
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/windows/control_ids.h"
#include "app/windows/writer_app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window_backend.h"
#include "scenario/main_window_fixture.h"
#include "support/program_lines.h"

namespace mirelle::test {

namespace {

namespace fs = std::filesystem;

TEST(FullOperationWindow, ProgramsTheChipAndWaitsForOk) {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<ui::Backend> first = ui::CreateQtBackend(argc, argv, "gui_tests: no display");
    const fs::path dir = fs::temp_directory_path() / ("mirelle-gui-fo-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path link = dir / "ttySIM";
    std::ofstream(dir / "CHIPDEF.INI", std::ios::binary) << kSampleChipDef;
    std::ofstream(dir / "tq4a01.bin", std::ios::binary) << std::string(128, '\x42');
    std::ofstream(dir / "Customize.ini", std::ios::binary) << "[Ports]\r\nCOM1=" << link.string() << "\r\n";
    std::ofstream(dir / "DATAFILE.TXT", std::ios::binary)
        << "[Recent]\r\nCPU=0\r\nRATE=0\r\nWrite File=" << (dir / "prog.mot").string() << "\r\n";
    std::ofstream(dir / "prog.mot", std::ios::binary)
        << testing::SRecordOf('3', 0x80000, {1, 2, 3, 4, 5, 6, 7, 8}) << "\r\n";

    const pid_t sim = fork();
    if (sim == 0) {
        const std::string sim_path = std::string(MIRELLE_BIN_DIR) + "/mirelle-sim";
        execl(sim_path.c_str(), "mirelle-sim", "--chipdef", (dir / "CHIPDEF.INI").c_str(), "--target", "TQ4A01",
              "--link", link.c_str(), "--fill", "80000:20", "--summary", (dir / "summary.txt").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(link); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(link));

    ui::QtBackend backend;
    ui::SetActiveBackend(&backend);
    std::vector<std::string> statuses;
    bool acknowledged = false;
    AppEnvironment env;
    env.executable_path = dir.string() + "/mirelle";
    env.program_dir = dir.string() + "/";
    CWriterApp app(env);
    app.on_main_window = [&](CWriterDlg& dlg) {
        QTimer::singleShot(0, [&] {
            // The user watches the progress window and presses Ok on the result.
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (!dlg.m_pProgress) return;
                const std::string text = dlg.m_pProgress->GetDlgItemText(idc::kStatusText);
                if (statuses.empty() || statuses.back() != text) statuses.push_back(text);
                if (text == "It ended normally completely" && !acknowledged) {
                    acknowledged = true;
                    QWidget* top = backend.WindowOf(*dlg.m_pProgress);
                    const fs::path shots = fs::path(MIRELLE_BINARY_DIR) / "test-artifacts";
                    fs::create_directories(shots);
                    top->grab().save(QString::fromStdString((shots / "full_operation_done.png").string()));
                    QTest::mouseClick(backend.ControlOf(*dlg.m_pProgress, idc::kProgressButton), Qt::LeftButton);
                }
            });
            watch.start(5);
            QTest::mouseClick(backend.ControlOf(dlg, idc::kFullOperation), Qt::LeftButton);
            watch.stop();
            EXPECT_EQ(dlg.m_pProgress, nullptr);  // gone after the press
            EXPECT_EQ(dlg.m_bDownloaded, 1);
            EXPECT_TRUE(dlg.IsControlEnabled(idc::kCopy));
            backend.WindowOf(dlg)->close();
        });
    };
    app.InitInstance();
    ui::SetActiveBackend(nullptr);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);

    EXPECT_TRUE(acknowledged);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Full Operation -  Erasing"), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Full Operation -  Programming"), statuses.end());
    std::ifstream log(dir / "MESSFILE.TXT", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(log)), {});
    EXPECT_EQ(text, "OK");
    std::ifstream summary(dir / "summary.txt");
    std::string figures((std::istreambuf_iterator<char>(summary)), {});
    EXPECT_EQ(figures.substr(0, 26), "flash: 8 bytes programmed,");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mirelle::test
