// Check SUM and the customize sheet as real windows under Qt's offscreen
// platform: built from their templates, worked with the keyboard and the
// mouse. Screenshots go to test-artifacts/ of the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/windows/control_ids.h"
#include "app/windows/writer_app.h"
#include "app/windows/writer_dlg.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window_backend.h"
#include "ui/property_sheet.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

namespace fs = std::filesystem;

QWidget* TopLevel(const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == caption) return w;
    return nullptr;
}

// Runs `action` on the window with `caption` as soon as it shows.
void WhenShown(const QString& caption, std::function<void(QWidget*)> action, int tries = 50) {
    QTimer::singleShot(10, [caption, action, tries] {
        if (QWidget* w = TopLevel(caption)) action(w);
        else if (tries > 0) WhenShown(caption, action, tries - 1);
    });
}

void SaveShot(QWidget* w, const std::string& name) {
    const fs::path dir = fs::path(MIRELLE_BINARY_DIR) / "test-artifacts";
    fs::create_directories(dir);
    QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / name).string()))) << name;
}

class CustomizeWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        static std::unique_ptr<ui::Backend> app = ui::CreateQtBackend(argc, argv, "gui_tests: no display");
        dir_ = fs::temp_directory_path() / ("mirelle-gui-custom-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "CHIPDEF.INI", std::ios::binary)
            << "[SUM256]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0x1000\r\nEndAddress=0x10FF\r\n"
               "FlashSize=1\r\nClock=8MHz\r\nBaud=9600\r\n";
        std::ofstream(dir_ / "one.mot", std::ios::binary) << mirelle::testing::SRecordOf('1', 0x1000, {0x01}) << "\n";
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANG", "C", 1);
        backend_ = std::make_unique<ui::QtBackend>();
        ui::SetActiveBackend(backend_.get());
    }
    void TearDown() override {
        ui::SetActiveBackend(nullptr);
        backend_.reset();
        QApplication::processEvents();
        fs::remove_all(dir_);
    }
    void RunMain(const std::function<void(CWriterDlg&, QWidget*)>& script) {
        AppEnvironment env;
        env.executable_path = dir_.string() + "/mirelle";
        env.program_dir = dir_.string() + "/";
        CWriterApp app(env);
        bool ran = false;
        app.on_main_window = [&](CWriterDlg& dlg) {
            QTimer::singleShot(0, [&] {
                QWidget* top = backend_->WindowOf(dlg);
                script(dlg, top);
                ran = true;
                if (!dlg.Ended() && top != nullptr) top->close();
            });
        };
        app.InitInstance();
        EXPECT_TRUE(ran);
    }

    std::unique_ptr<ui::QtBackend> backend_;
    fs::path dir_;
};

TEST_F(CustomizeWindowsTest, CheckSumBuildsFromItsTemplateAndAnswersKeys) {
    bool seen = false;
    RunMain([&](CWriterDlg& w, QWidget*) {
        w.m_strProgramFile = dir_.string() + "/one.mot";
        WhenShown("Check SUM", [&](QWidget* box) {
            seen = true;
            const QList<QLineEdit*> edits = box->findChildren<QLineEdit*>();
            ASSERT_EQ(edits.size(), 2);
            QLineEdit* fill = edits[0];
            QLineEdit* sum = edits[1];
            EXPECT_EQ(fill->text(), "FF");
            EXPECT_EQ(fill->maxLength(), 2);
            EXPECT_TRUE(sum->isReadOnly());
            fill->setFocus();
            fill->selectAll();
            QTest::keyClicks(fill, "fe");  // shown and used in capitals
            EXPECT_EQ(fill->text(), "FE");
            QPushButton* button = nullptr;
            for (QPushButton* b : box->findChildren<QPushButton*>())
                if (b->text() == "Check SUM") button = b;
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_EQ(sum->text(), "FD03");  // 0xFF bytes of 0xFE and one of 0x01
            SaveShot(box, "check_sum.png");
            QTest::keyClick(fill, Qt::Key_Escape);
            if (TopLevel("Check SUM") != nullptr) box->close();  // never leave the test waiting
        });
        QTest::mouseClick(backend_->ControlOf(w, idc::kCheckSum), Qt::LeftButton);
        EXPECT_EQ(TopLevel("Check SUM"), nullptr);
    });
    EXPECT_TRUE(seen);
}

// The check box of the sheet's pages with this text, or null.
QCheckBox* CheckBox(QWidget* sheet, const QString& text) {
    for (QCheckBox* c : sheet->findChildren<QCheckBox*>())
        if (c->text() == text) return c;
    return nullptr;
}

void WorkSheet(QWidget* sheet) {
    auto* tabs = sheet->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Sound");
    EXPECT_EQ(tabs->tabText(1), "Tooltips");
    QPushButton* help = nullptr;
    for (QPushButton* b : sheet->findChildren<QPushButton*>())
        if (b->text() == "Help") help = b;
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(help->isEnabled());
    QCheckBox* sound = CheckBox(sheet, "&Enable sound");
    ASSERT_NE(sound, nullptr);
    EXPECT_TRUE(sound->isVisibleTo(sheet));
    EXPECT_EQ(CheckBox(sheet, "&Tooltips"), nullptr) << "a page is made when first shown";
    // The page lies inside the tab widget's frame, below the tabs.
    EXPECT_TRUE(tabs->geometry().contains(sound->parentWidget()->geometry()));
    EXPECT_GE(sound->parentWidget()->y(), tabs->y() + tabs->tabBar()->height());
    QTest::keyClick(sound, Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(sound->isChecked());
    SaveShot(sheet, "customize_sound.png");
    // A wave name typed into the combo is checked when the focus leaves it.
    QComboBox* wave = nullptr;
    for (QComboBox* c : sheet->findChildren<QComboBox*>())
        if (c->isEditable()) wave = c;
    ASSERT_TRUE(wave != nullptr && wave->isEditable());
    QTest::mouseClick(wave->lineEdit(), Qt::LeftButton);
    wave->lineEdit()->selectAll();
    QTest::keyClicks(wave->lineEdit(), "/snd/.wav");
    QString refused;
    WhenShown("falsh", [&](QWidget* box) {
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) refused = label->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(sound, Qt::LeftButton);  // the focus leaves the combo
    QTest::qWait(100);
    EXPECT_EQ(refused, "The entry file has a mistake\nIt returns to the original file");
    EXPECT_EQ(wave->currentText(), "<none>");
    QTest::mouseClick(sound, Qt::LeftButton);  // sound back on
    QTest::keyClick(sound, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 1);
    QCheckBox* tips = CheckBox(sheet, "&Tooltips");
    ASSERT_NE(tips, nullptr);
    EXPECT_FALSE(sound->isVisibleTo(sheet));
    EXPECT_TRUE(tips->isVisibleTo(sheet));
    SaveShot(sheet, "customize_tooltips.png");
    QTest::keyClick(tips, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(CustomizeWindowsTest, SheetShowsItsPagesInTheTabsAndSwitchesWithCtrlTab) {
    bool seen = false;
    RunMain([&](CWriterDlg& w, QWidget* top) {
        WhenShown("Customize setting", [&](QWidget* sheet) {
            seen = true;
            WorkSheet(sheet);
            QTest::keyClick(sheet, Qt::Key_Escape);  // Cancel
            if (TopLevel("Customize setting") != nullptr) sheet->close();  // never leave the test waiting
        });
        QTest::keyClick(top, Qt::Key_S, Qt::AltModifier);
        EXPECT_EQ(TopLevel("Customize setting"), nullptr);
        EXPECT_EQ(w.m_settings.bSound, 0) << "cancelled";
    });
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace mirelle::test
