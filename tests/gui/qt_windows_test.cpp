// The real windows under Qt's offscreen platform: built from their
// templates, worked with the mouse and the keyboard as a user works them.
// Every run leaves screenshots in test-artifacts/ of the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/windows/about_dlg.h"
#include "app/windows/check_sum_dlg.h"
#include "app/windows/control_ids.h"
#include "app/windows/progress_dlg.h"
#include "records/database.h"
#include "records/record_store.h"
#include "texts/version_text.h"
#include "app/windows/writer_app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window_backend.h"
#include "scenario/main_window_fixture.h"
#include "support/progress_looks.h"
#include "support/station_looks.h"

namespace mirelle::test {

using namespace mirelle::hexfile;
namespace {

namespace fs = std::filesystem;

// One application object for the whole test program.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<ui::Backend> first = ui::CreateQtBackend(argc, argv, "gui_tests: no display");
    // The offscreen platform notes every raise() it cannot do; keep the log readable.
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& msg) {
            if (msg.startsWith("This plugin does not support")) return;
            if (previous != nullptr) previous(type, context, msg);
        });
}

void SaveShot(QWidget* w, const std::string& name) {
    ASSERT_NE(w, nullptr);
    const fs::path dir = fs::path(MIRELLE_BINARY_DIR) / "test-artifacts";
    fs::create_directories(dir);
    QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / name).string()))) << name;
}

// The visible top-level window with this caption, or null.
QWidget* TopLevel(const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == caption) return w;
    return nullptr;
}

// What a window shows is whole: every widget that shows lies wholly inside
// the window or wholly below it (the progress window leaves its lower
// controls out by its height), and its text fits it in the window's font. A
// page inside a sheet is looked at the same way.
void ExpectWidgetsWhole(QWidget* top, const std::string& name) {
    for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisibleTo(top) || child->isWindow()) continue;
        const QRect r = child->geometry();
        if (r.top() >= top->height()) continue;  // left out by the window's height
        const std::string what = name + ": " + child->metaObject()->className() + " " +
                                 child->objectName().toStdString();
        EXPECT_TRUE(top->rect().contains(r)) << what << " at " << r.x() << "," << r.y() << " " << r.width() << "x"
                                             << r.height() << " in " << top->width() << "x" << top->height();
        if (child->metaObject() == &QWidget::staticMetaObject) {
            ExpectWidgetsWhole(child, name);  // a page
            continue;
        }
        const QFontMetrics fm(child->font());
        if (auto* label = qobject_cast<QLabel*>(child)) {
            QString text = label->text();
            if (text.isEmpty()) continue;
            if (label->textFormat() == Qt::RichText) text = QTextDocumentFragment::fromHtml(text).toPlainText();
            const QRect room = label->contentsRect().adjusted(label->indent() > 0 ? label->indent() : 0, 0, 0, 0);
            const QRect need = fm.boundingRect(QRect(0, 0, room.width(), 10000),
                                               label->wordWrap() ? Qt::TextWordWrap : 0, text);
            EXPECT_LE(need.width(), room.width()) << what << " \"" << text.toStdString() << "\"";
            EXPECT_LE(need.height(), room.height()) << what << " \"" << text.toStdString() << "\"";
        } else if (auto* button = qobject_cast<QPushButton*>(child)) {
            const QSize need = fm.size(Qt::TextShowMnemonic, button->text());
            EXPECT_LE(need.width() + 6, button->width()) << what << " \"" << button->text().toStdString() << "\"";
            EXPECT_LE(need.height() + 2, button->height()) << what << " \"" << button->text().toStdString() << "\"";
        } else if (qobject_cast<QCheckBox*>(child) != nullptr || qobject_cast<QRadioButton*>(child) != nullptr) {
            EXPECT_LE(child->sizeHint().width(), child->width()) << what;
        }
    }
}

class QtWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        dir_ = fs::temp_directory_path() / ("mirelle-gui-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "CHIPDEF.INI", std::ios::binary) << kSampleChipDef;
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

    std::string Dir() const { return dir_.string() + "/"; }

    // Runs the application; `script` runs inside the main window's modal
    // loop, after which the window is closed through its close box.
    void RunMain(const std::function<void(CWriterDlg&, QWidget*)>& script) {
        AppEnvironment env;
        env.executable_path = Dir() + "mirelle";
        env.program_dir = Dir();
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

    // Runs `action` on the first window with `caption` as soon as one shows.
    static void WhenShown(const QString& caption, std::function<void(QWidget*)> action, int tries = 50) {
        QTimer::singleShot(10, [caption, action, tries] {
            if (QWidget* w = TopLevel(caption)) action(w);
            else if (tries > 0) WhenShown(caption, action, tries - 1);
        });
    }

    QWidget* Control(const ui::Dialog& d, int id) { return backend_->ControlOf(d, id); }

    std::unique_ptr<ui::QtBackend> backend_;
    fs::path dir_;
};

TEST_F(QtWindowsTest, MainWindowKeepsItsDesignedLayout) {
    RunMain([&](CWriterDlg& w, QWidget* top) {
        ASSERT_NE(top, nullptr);
        EXPECT_TRUE(top->isVisible());
        EXPECT_EQ(top->windowTitle(), "Mirelle");
        const QSize base = backend_->BaseUnits(w);
        ASSERT_GT(base.width(), 3);
        ASSERT_GT(base.height(), 8);
        // x * width / 4 and y * height / 8, rounded.
        auto px = [&](int x, int y, int cx, int cy) {
            return QRect((x * base.width() + 2) / 4, (y * base.height() + 4) / 8, (cx * base.width() + 2) / 4,
                         (cy * base.height() + 4) / 8);
        };
        EXPECT_EQ(top->size(), px(0, 0, 372, 166).size());
        EXPECT_EQ(Control(w, idc::kFullOperation)->geometry(), px(72, 87, 124, 22));
        EXPECT_EQ(Control(w, idc::kHexFile)->geometry(), px(67, 31, 100, 14));
        EXPECT_EQ(Control(w, idc::kRowSize[3])->geometry(), px(313, 65, 49, 13));
        EXPECT_EQ(Control(w, idc::kPicture)->geometry(), px(209, 124, 158, 35));
        // Every addressed control of the template has its widget, in place.
        for (const ui::ControlState& c : w.Controls()) {
            if (c.tpl.id == ui::kStaticId) continue;
            QWidget* widget = Control(w, c.tpl.id);
            ASSERT_NE(widget, nullptr) << c.tpl.id;
            EXPECT_EQ(widget->geometry().topLeft(), px(c.tpl.x, c.tpl.y, 0, 0).topLeft()) << c.tpl.id;
            EXPECT_EQ(widget->isVisibleTo(top), c.visible) << c.tpl.id;
        }
        EXPECT_FALSE(Control(w, idc::kRate)->isVisibleTo(top));
        // A minimize box but no maximize box; the size is fixed.
        EXPECT_TRUE(top->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(top->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(top->minimumSize(), top->maximumSize());

        auto* targets = qobject_cast<QComboBox*>(Control(w, idc::kTarget));
        ASSERT_NE(targets, nullptr);
        QStringList names;
        for (int i = 0; i < targets->count(); ++i) names << targets->itemText(i);
        EXPECT_EQ(names, QStringList({"TQ4A01", "TQ7C01", "TQ4A03"}));
        EXPECT_EQ(targets->currentIndex(), 0);
        // Reset state: Erase for TQ4A01, the flash commands disabled.
        EXPECT_TRUE(Control(w, idc::kErase)->isEnabled());
        EXPECT_FALSE(Control(w, idc::kBlankCheck)->isEnabled());
        EXPECT_FALSE(Control(w, idc::kCopy)->isEnabled());
        EXPECT_TRUE(Control(w, idc::kDownload)->isEnabled());
        auto* picture = qobject_cast<QLabel*>(Control(w, idc::kPicture));
        ASSERT_NE(picture, nullptr);
        EXPECT_FALSE(picture->pixmap().isNull());
        EXPECT_FALSE(top->windowIcon().isNull());
        SaveShot(top, "main_window.png");

        // Choosing the second chip goes through the model: the buttons follow.
        targets->activated(1);
        EXPECT_EQ(w.m_nTarget, 1);
        EXPECT_FALSE(Control(w, idc::kErase)->isEnabled());
        w.SetDlgItemText(idc::kRowStart[0], "0x80000");
        SaveShot(top, "main_window_tq7c01.png");
    });
}

TEST_F(QtWindowsTest, VersionInfoOpensTheAboutBoxAndEnterClosesIt) {
    bool seen = false;
    RunMain([&](CWriterDlg& w, QWidget*) {
        WhenShown("(C)Information", [&](QWidget* about) {
            seen = true;
            bool version_shown = false;
            for (QLabel* l : about->findChildren<QLabel*>())
                if (l->text() == QString::fromStdString(ProductVersionText())) version_shown = true;
            EXPECT_TRUE(version_shown);
            auto* ok = about->findChild<QPushButton*>();
            ASSERT_NE(ok, nullptr);
            EXPECT_TRUE(ok->isDefault());
            SaveShot(about, "about_box.png");
            QTest::keyClick(about, Qt::Key_Return);  // the default button
        });
        QTest::mouseClick(Control(w, idc::kVersionInfo), Qt::LeftButton);
        // Back here only after the about box closed.
        EXPECT_EQ(TopLevel("(C)Information"), nullptr);
        EXPECT_FALSE(w.Ended());
    });
    EXPECT_TRUE(seen);
}

TEST_F(QtWindowsTest, DisabledButtonsAndTheDisabledWindowIgnoreClicks) {
    int about_boxes = 0;
    RunMain([&](CWriterDlg& w, QWidget* top) {
        auto close_about = [&](QWidget* about) {
            ++about_boxes;
            about->close();
        };
        w.EnableControl(idc::kVersionInfo, false);
        EXPECT_FALSE(Control(w, idc::kVersionInfo)->isEnabled());
        // A box that wrongly opens is closed (and counted) by this watch; it
        // is switched off before the box is opened on purpose, since on a
        // busy machine its timer may still be running then.
        auto watching = std::make_shared<bool>(true);
        WhenShown("(C)Information", [&, watching](QWidget* about) {
            if (*watching) close_about(about);
        }, 5);
        QTest::mouseClick(Control(w, idc::kVersionInfo), Qt::LeftButton);
        QTest::keyClick(top, Qt::Key_V);  // its letter does nothing either
        w.EnableControl(idc::kVersionInfo, true);
        // While the model window is disabled (a progress window is up), the
        // widgets look the same but take no input.
        w.EnableWindow(false);
        QTest::mouseClick(Control(w, idc::kVersionInfo), Qt::LeftButton);
        QTest::keyClick(top, Qt::Key_V);
        w.EnableWindow(true);
        QTest::qWait(80);
        EXPECT_EQ(about_boxes, 0);
        *watching = false;
        // Enabled again, the letter presses the button.
        WhenShown("(C)Information", close_about);
        QTest::keyClick(top, Qt::Key_V);
        EXPECT_EQ(about_boxes, 1);
    });
}

TEST_F(QtWindowsTest, RightClickOnCopyFlipsItsCaptionEnabledOrNot) {
    RunMain([&](CWriterDlg& w, QWidget*) {
        auto* copy = qobject_cast<QPushButton*>(Control(w, idc::kCopy));
        ASSERT_NE(copy, nullptr);
        ASSERT_FALSE(copy->isEnabled());
        QTest::mouseClick(copy, Qt::RightButton);
        EXPECT_EQ(copy->text(), "&Copy_i");
        EXPECT_EQ(w.m_bCopyIntelHex, 1);
        w.SetDownloadedButtons();
        QTest::mouseClick(copy, Qt::RightButton);
        EXPECT_EQ(copy->text(), "&Copy");
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
        // A right click elsewhere changes nothing.
        QTest::mouseClick(Control(w, idc::kErase), Qt::RightButton);
        EXPECT_EQ(w.m_bCopyIntelHex, 0);
    });
}

TEST_F(QtWindowsTest, EscAndEnterLeaveTheWindowOpenTheCloseBoxCloses) {
    bool ended_by_close = false;
    RunMain([&](CWriterDlg& w, QWidget* top) {
        QTest::keyClick(top, Qt::Key_Escape);
        QTest::keyClick(top, Qt::Key_Return);
        QTest::keyClick(Control(w, idc::kComNo), Qt::Key_Escape);
        EXPECT_FALSE(w.Ended());
        EXPECT_TRUE(top->isVisible());
        // Digits typed into the COM box are text, not commands.
        auto* com = qobject_cast<QLineEdit*>(Control(w, idc::kComNo));
        com->setFocus();
        com->clear();
        QTest::keyClicks(com, "12");
        EXPECT_EQ(w.GetDlgItemText(idc::kComNo), "12");
        EXPECT_EQ(w.GetDlgItemText(idc::kCommandGroup), "Command  to  COM12");
        top->close();
        ended_by_close = w.Ended();
    });
    EXPECT_TRUE(ended_by_close);
}

TEST_F(QtWindowsTest, TabWalksTheUsableControlsInTemplateOrderAndTheModelFollows) {
    RunMain([&](CWriterDlg& w, QWidget* top) {
        QApplication::setActiveWindow(top);
        EXPECT_EQ(w.GetFocus(), idc::kTarget);
        EXPECT_TRUE(Control(w, idc::kTarget)->hasFocus());
        std::vector<int> order;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.push_back(w.GetFocus());
        }
        // The hidden rate list and the disabled flash commands are skipped.
        EXPECT_EQ(order, (std::vector<int>{idc::kHexFile, idc::kOpen, idc::kComNo, idc::kFullOperation,
                                           idc::kDownload, idc::kErase, idc::kSetEnvironment, idc::kHelp,
                                           idc::kCheckSum, idc::kVersionInfo, idc::kTarget, idc::kHexFile}));
        // Focus given by the program reaches the widget.
        w.SetFocus(idc::kDownload);
        EXPECT_TRUE(Control(w, idc::kDownload)->hasFocus());
    });
}

TEST_F(QtWindowsTest, OpenShowsTheProgramFileChoicesInTheFilesFolder) {
    fs::create_directories(dir_ / "work");
    std::ofstream(dir_ / "work" / "old.mhx") << "S0\r\n";
    std::ofstream(dir_ / "work" / "NEW.HEX") << ":00000001FF\r\n";
    std::ofstream(dir_ / "DATAFILE.TXT") << "[Recent]\r\nWrite File=" << Dir() << "work/old.mhx\r\n";
    bool seen = false;
    RunMain([&](CWriterDlg& w, QWidget*) {
        WhenShown("Open", [&](QWidget* shown) {
            auto* dialog = qobject_cast<QFileDialog*>(shown);
            ASSERT_NE(dialog, nullptr);
            seen = true;
            // Patterns in both cases, since names here are case-sensitive.
            EXPECT_EQ(dialog->nameFilters(),
                      QStringList({"S format files (*.mhx *.MHX *.srec *.SREC *.cnv *.CNV *.ahx *.AHX)",
                                   "Intel hex files (*.hex *.HEX)", "ELF files (*.elf *.ELF *.axf *.AXF *.out *.OUT)",
                                   "Binary (*.bin *.BIN)", "all files (*)"}));
            EXPECT_EQ(dialog->directory().absolutePath().toStdString() + "/", Dir() + "work/");
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
            SaveShot(dialog, "open_dialog.png");
            dialog->selectNameFilter(dialog->nameFilters()[1]);
            // Typed as a user types it (the folder list may still be loading).
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText("NEW.HEX");
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(Control(w, idc::kOpen), Qt::LeftButton);
        EXPECT_EQ(qobject_cast<QLineEdit*>(Control(w, idc::kHexFile))->text(), "NEW.HEX");
        EXPECT_EQ(w.m_strProgramFile, Dir() + "work/NEW.HEX");
    });
    EXPECT_TRUE(seen);
}

// A binary chosen in the Open dialog asks for its start address, offering
// the one DATAFILE.TXT kept.
TEST_F(QtWindowsTest, ABinaryChosenInOpenAsksItsStartAddress) {
    std::ofstream(dir_ / "boot.bin") << std::string(16, '\x5A');
    std::ofstream(dir_ / "DATAFILE.TXT") << "[Recent]\r\nWrite File=" << Dir() << "boot.bin\r\nWrite Offset=0x00008000\r\n";
    bool asked = false;
    RunMain([&](CWriterDlg& w, QWidget*) {
        WhenShown("Open", [&](QWidget* shown) {
            auto* dialog = qobject_cast<QFileDialog*>(shown);
            ASSERT_NE(dialog, nullptr);
            dialog->selectNameFilter("Binary (*.bin *.BIN)");
            SaveShot(dialog, "open_dialog_binary.png");
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText("boot.bin");
            WhenShown("Binary File", [&](QWidget* box) {
                asked = true;
                const QList<QLineEdit*> edits = box->findChildren<QLineEdit*>();
                ASSERT_EQ(edits.size(), 1);
                EXPECT_EQ(edits[0]->text(), "0x00008000");
                SaveShot(box, "start_address_dialog.png");
                edits[0]->selectAll();
                QTest::keyClicks(edits[0], "0x9000");
                QTest::keyClick(edits[0], Qt::Key_Return);
            });
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(Control(w, idc::kOpen), Qt::LeftButton);
        EXPECT_EQ(w.m_strProgramFile, Dir() + "boot.bin");
    });
    EXPECT_TRUE(asked);
    std::ifstream in(dir_ / "DATAFILE.TXT");
    const std::string datafile((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(datafile.find("Write Offset=0x00009000"), std::string::npos) << datafile;
}

TEST_F(QtWindowsTest, SaveDialogStartsInTheGivenFilesFolderAndAddsTheExtension) {
    std::ofstream(dir_ / "prog.mhx") << "S0\r\n";
    bool seen = false;
    WhenShown("Save As", [&](QWidget* shown) {
        auto* dialog = qobject_cast<QFileDialog*>(shown);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->directory().absolutePath().toStdString() + "/", Dir());
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), "");  // the program file is not offered
        EXPECT_EQ(dialog->nameFilters(), QStringList({"Intel Hex files (*.hex *.HEX)", "all files (*)"}));
        name->setText("readout");  // a new file, although the flags ask for an existing one
        static_cast<QDialog*>(dialog)->accept();
    });
    ui::FileDialogRequest request;
    request.save = true;
    request.filter = "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||";
    request.default_extension = "hex";
    request.initial_dir = Dir() + "prog.mhx";
    request.flags = ui::kOverwritePrompt | ui::kHideReadOnly | ui::kFileMustExist | ui::kNoNetworkButton;
    EXPECT_EQ(backend_->FileDialog(request), std::optional<std::string>(Dir() + "readout.hex"));
    EXPECT_TRUE(seen);
}

TEST_F(QtWindowsTest, AFailedDownloadShowsItsResultOverTheDisabledMainWindow) {
    // No control program file: the download reports its failure at once,
    // then asks for a new download; each text waits for Ok.
    std::vector<std::string> results;
    RunMain([&](CWriterDlg& w, QWidget*) {
        // The presses stop with the command; nothing outlives this test.
        auto running = std::make_shared<bool>(true);
        std::function<void(int)> press_ok = [&, running](int tries) {
            QTimer::singleShot(20, [&, running, tries] {
                if (!*running || tries <= 0) return;
                QWidget* shown = w.m_pProgress ? backend_->WindowOf(*w.m_pProgress) : nullptr;
                auto* ok = w.m_pProgress ? qobject_cast<QPushButton*>(Control(*w.m_pProgress, idc::kProgressButton))
                                         : nullptr;
                if (shown != nullptr && ok != nullptr && ok->isEnabled() && ok->text() == "Ok") {
                    EXPECT_FALSE(w.IsWindowEnabled());
                    SaveShot(shown, "progress_download_failed_" + std::to_string(results.size() + 1) + ".png");
                    results.push_back(w.m_pProgress->GetDlgItemText(idc::kStatusText));
                    ok->click();
                }
                press_ok(tries - 1);
            });
        };
        press_ok(200);
        QTest::mouseClick(Control(w, idc::kDownload), Qt::LeftButton);
        *running = false;
        EXPECT_EQ(w.m_pProgress, nullptr);
        EXPECT_TRUE(w.IsWindowEnabled());
        EXPECT_FALSE(Control(w, idc::kBlankCheck)->isEnabled());
    });
    EXPECT_FALSE(results.empty());
}

TEST_F(QtWindowsTest, DroppedFileSetsTheHexFileBox) {
    std::ofstream(dir_ / "first.mhx") << "S0\r\n";
    std::ofstream(dir_ / "second.mhx") << "S0\r\n";
    RunMain([&](CWriterDlg& w, QWidget* top) {
        auto drop = [&](const QList<QUrl>& urls) {
            QMimeData mime;
            mime.setUrls(urls);
            // As the drag manager does: the window first accepts the drag.
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(top, &enter);
            QDropEvent ev(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(top, &ev);
        };
        drop({QUrl::fromLocalFile(QString::fromStdString(Dir()))});  // a folder
        EXPECT_EQ(qobject_cast<QLineEdit*>(Control(w, idc::kHexFile))->text(), "");
        drop({QUrl::fromLocalFile(QString::fromStdString(Dir() + "first.mhx")),
              QUrl::fromLocalFile(QString::fromStdString(Dir() + "second.mhx"))});
        EXPECT_EQ(qobject_cast<QLineEdit*>(Control(w, idc::kHexFile))->text(), "first.mhx");
        EXPECT_EQ(w.m_strProgramFile, Dir() + "first.mhx");
    });
}

TEST_F(QtWindowsTest, ToolTipsShowOnlyWhileSwitchedOn) {
    RunMain([&](CWriterDlg& w, QWidget*) {
        QWidget* download = Control(w, idc::kDownload);
        auto hover = [&] {
            QToolTip::hideText();
            QHelpEvent ev(QEvent::ToolTip, QPoint(5, 5), download->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(download, &ev);
            QApplication::processEvents();
        };
        w.m_settings.bToolTips = 0;
        hover();
        EXPECT_FALSE(QToolTip::isVisible());
        w.m_settings.bToolTips = 1;
        hover();
        EXPECT_TRUE(QToolTip::isVisible());
        EXPECT_EQ(QToolTip::text(), "Transfers a control program to the microcomputer");
        QToolTip::hideText();
    });
}

TEST_F(QtWindowsTest, ProgressWindowChangesItsHeightWithItsMode) {
    CProgressDlg progress(-1);
    ASSERT_TRUE(progress.Create(nullptr));
    QWidget* top = backend_->WindowOf(progress);
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(top->windowFlags() & Qt::WindowCloseButtonHint);  // no close box
    const QSize base = backend_->BaseUnits(progress);
    auto height_of = [&](int du) { return (du * base.height() + 4) / 8; };
    auto* button = qobject_cast<QPushButton*>(Control(progress, idc::kProgressButton));
    auto* bar = qobject_cast<QProgressBar*>(Control(progress, idc::kProgressBar));
    ASSERT_NE(button, nullptr);
    ASSERT_NE(bar, nullptr);

    progress.SetWindowText("Full Operation");
    progress.SetStatusIcon(ui::kIconAsterisk);
    progress.SetStatus("Full Operation -  Programming");
    progress.SetProgress(0, 120, 1, 0);
    for (int i = 0; i < 3; ++i) progress.StepIt();
    EXPECT_EQ(top->windowTitle(), "3 / 120");
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(top->height(), height_of(103));
    EXPECT_EQ(button->text(), "Ok");
    SaveShot(top, "progress_mode13.png");

    progress.SetMode(14);
    EXPECT_EQ(button->text(), "Cancel");
    EXPECT_TRUE(button->isEnabled());
    SaveShot(top, "progress_mode14.png");
    // A press is reported once; Enter never closes the window.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(progress.PollCancel(), 1);
    EXPECT_EQ(progress.PollCancel(), 0);
    QTest::keyClick(top, Qt::Key_Return);
    EXPECT_TRUE(progress.HasWindow());
    EXPECT_TRUE(top->isVisible());

    progress.SetMode(8);
    progress.SetStatus(" Downloading");
    progress.SetProgress(0, 7, 1, 2);
    EXPECT_EQ(top->height(), height_of(85));
    EXPECT_FALSE(button->isEnabled());
    SaveShot(top, "progress_mode8.png");

    progress.SetMode(0);
    progress.SetStatus(" Decoding HexFile");
    EXPECT_EQ(top->height(), height_of(65));
    SaveShot(top, "progress_mode0.png");

    progress.SetMode(13, false, std::string("Erase"));
    progress.SetStatusIcon(ui::kIconHand);
    progress.SetStatus(" No.101 Please set \"hex file\"");
    EXPECT_EQ(top->height(), height_of(103));
    SaveShot(top, "progress_result.png");
    progress.DestroyWindow();
    EXPECT_EQ(backend_->WindowOf(progress), nullptr);
}

TEST_F(QtWindowsTest, MessageBoxesAnswerWithTheButtonPressed) {
    WhenShown("flash", [](QWidget* box) {
        SaveShot(box, "message_box.png");
        auto* mb = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(mb, nullptr);
        EXPECT_EQ(mb->icon(), QMessageBox::Information);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(ui::MessageBox(nullptr, "Please reset the microcontroller on userboard.\nThen push OK button.", "flash",
                             ui::MessageButtons::OkCancel, ui::MessageIcon::Information),
              ui::kIdCancel);

    WhenShown("crc checking", [](QWidget* box) {
        SaveShot(box, "message_box_question.png");
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == "&No") QTest::mouseClick(b, Qt::LeftButton);
    });
    EXPECT_EQ(ui::MessageBox(nullptr, "CRC error detected in 0xF8200\nretry?", "crc checking",
                             ui::MessageButtons::YesNo, ui::MessageIcon::Question),
              ui::kIdNo);
}

// Every window of the program, in each face it shows, holds its controls
// whole (shot as test-artifacts/qt-NAME.png): the main window, the progress
// window of each command and with each kind of result, the windows that the
// main window's buttons open, the customize sheet's pages, the message boxes
// and the file dialogs.
TEST_F(QtWindowsTest, EveryWindowShowsItsControlsWhole) {
    std::ofstream(dir_ / "one.mot") << "S20508000001F1\r\nS9030000FC\r\n";
    // Files for the file dialogs' lists to show.
    std::ofstream(dir_ / "blinky.mhx") << "S20508000001F1\r\nS9030000FC\r\n";
    std::ofstream(dir_ / "readout.hex") << ":00000001FF\r\n";
    int seen = 0;
    RunMain([&](CWriterDlg& w, QWidget* main) {
        w.m_strProgramFile = Dir() + "one.mot";
        EXPECT_EQ(main->size(), backend_->ToPixels(w, w.GetWindowRect()).size());
        ExpectWidgetsWhole(main, "main");
        SaveShot(main, "qt-main.png");

        {
            CProgressDlg progress(CProgressDlg::kDefaultMode);
            ASSERT_TRUE(progress.Create(&w));
            QWidget* top = backend_->WindowOf(progress);
            for (const ProgressLook& look : kProgressLooks) {
                ShowLook(progress, look);
                const std::string name = std::string("progress-") + look.name;
                EXPECT_EQ(top->size(), backend_->ToPixels(progress, progress.GetWindowRect()).size()) << name;
                ExpectWidgetsWhole(top, name);
                SaveShot(top, "qt-" + name + ".png");
            }
            progress.DestroyWindow();
        }

        struct Modal {
            const char* name;
            int button;
            const char* caption;
        };
        const Modal modals[] = {{"checksum", idc::kCheckSum, "Check SUM"},
                                {"about", idc::kVersionInfo, "(C)Information"},
                                {"customize", idc::kSetEnvironment, "Customize setting"}};
        for (const Modal& m : modals) {
            WhenShown(m.caption, [&](QWidget* shown) {
                ++seen;
                if (m.button == idc::kCheckSum) {  // a sum in the result box
                    for (QPushButton* b : shown->findChildren<QPushButton*>())
                        if (b->text() == "Check SUM") QTest::mouseClick(b, Qt::LeftButton);
                }
                auto* tabs = shown->findChild<QTabWidget*>();
                const int pages = tabs != nullptr ? tabs->count() : 1;
                static const char* const kPageNames[] = {"-sound", "-tooltips"};
                for (int page = 0; page < pages && page < 2; ++page) {
                    if (tabs != nullptr) tabs->setCurrentIndex(page);
                    QApplication::processEvents();
                    const std::string name = std::string(m.name) + (tabs != nullptr ? kPageNames[page] : "");
                    ExpectWidgetsWhole(shown, name);
                    SaveShot(shown, "qt-" + name + ".png");
                }
                shown->close();
            });
            QTest::mouseClick(Control(w, m.button), Qt::LeftButton);
        }

        struct Box {
            const char* name;
            const char* text;
            ui::MessageButtons buttons;
            ui::MessageIcon icon;
        };
        const Box boxes[] = {
            {"question", "CRC error detected in 0xF8200\nretry?", ui::MessageButtons::YesNo, ui::MessageIcon::Question},
            {"error", " No.006 Unable to open COM port.", ui::MessageButtons::Ok, ui::MessageIcon::Exclamation},
            {"information", "Please reset the microcontroller on userboard.\nThen push OK button.",
             ui::MessageButtons::OkCancel, ui::MessageIcon::Information},
        };
        for (const Box& b : boxes) {
            WhenShown("Flash Memory Writer", [&](QWidget* box) {
                ++seen;
                ExpectWidgetsWhole(box, b.name);
                SaveShot(box, std::string("qt-message-") + b.name + ".png");
                box->findChildren<QPushButton*>().back()->click();
            });
            ui::MessageBox(&w, b.text, "Flash Memory Writer", b.buttons, b.icon);
        }

        // The file dialogs as Open and Copy ask; the toolkit lays them out.
        for (bool save : {false, true}) {
            WhenShown(save ? "Save As" : "Open", [&](QWidget* dialog) {
                ++seen;
                SaveShot(dialog, save ? "qt-save-copy-file.png" : "qt-open-program-file.png");
                static_cast<QDialog*>(dialog)->reject();
            });
            ui::FileDialogRequest request;
            request.save = save;
            request.owner = &w;
            request.filter = save ? "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||"
                                  : "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|"
                                    "Intel hex files (*.hex)|*.hex|all files (*.*)|*.*||";
            request.default_extension = save ? "hex" : "";
            request.initial_dir = Dir();
            EXPECT_EQ(backend_->FileDialog(request), std::nullopt);
        }
    });
    EXPECT_EQ(seen, 8);
}

}  // namespace
}  // namespace mirelle::test

namespace mirelle::test {
namespace {

// The History window in Qt: the listing in a fixed-width font, the total
// under it, OK as the default button.
TEST_F(QtWindowsTest, HistoryShowsTheFoldersRecordsInColumns) {
    if (!records::SqliteAvailable()) GTEST_SKIP() << "this build keeps no records";
    std::string error;
    auto db = records::OpenStore("", Dir(), true, error);
    ASSERT_TRUE(db) << error;
    const char* texts[] = {"Full Operation completed", "\r\nERROR program", "It Erased a flash"};
    for (int n = 0; n < 12; ++n) {
        engine::UnitRecord r;
        r.id = "unit" + std::to_string(n);
        r.start_ms = 1'796'835'855'000LL + n * 97'000LL;
        r.end_ms = r.start_ms + 9000;
        r.folder = Dir();
        r.target = n % 4 ? "TQ4A01" : "TQ7C01";
        r.port = n % 2 ? "COM1" : "/dev/ttyUSB0";
        r.passed = n % 5 != 2;
        r.result_text = texts[r.passed ? (n % 3 == 0 ? 2 : 0) : 1];
        ASSERT_TRUE(records::InsertRecord(*db, r, error)) << error;
    }
    db.reset();
    bool seen = false;
    RunMain([&](CWriterDlg& w, QWidget*) {
        WhenShown("History", [&](QWidget* history) {
            seen = true;
            auto* list = history->findChild<QPlainTextEdit*>();
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(list->isReadOnly());
            EXPECT_EQ(list->document()->blockCount(), 14);  // heading, 12 records, the end of the last line
            SaveShot(history, "history.png");
            QTest::keyClick(history, Qt::Key_Return);
        });
        ui::InputEvent e;
        e.kind = ui::InputKind::SysCommand;
        e.command = idc::kHistoryCommand;
        w.Deliver(e);
        EXPECT_EQ(TopLevel("History"), nullptr);
    });
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace mirelle::test

namespace mirelle::test {
namespace {

// The station window at 1, 4 and 16 slots (shot as test-artifacts/
// qt-station-N.png): every control whole and its text fitting, no two tiles
// and no two controls of a tile on each other, and each tile's state word in
// its colour as the station's view gives it.
TEST_F(QtWindowsTest, StationWindowShowsEveryTileWhole) {
    for (const auto& [slots, key] : {std::pair{1, false}, {4, false}, {16, false}, {4, true}}) {
        const std::string name = "station-" + std::to_string(slots) + (key ? "-key" : "");
        ViewedStation station;
        station.view = MixedView(slots);
        station::Job job = StationJob(slots);
        if (key) job.detection = station::Detection::kKey;
        CStationDlg window(job, station, {});
        ASSERT_TRUE(window.Create(nullptr)) << name;
        window.ShowWindow(true);
        QWidget* top = backend_->WindowOf(window);
        EXPECT_EQ(top->size(), backend_->ToPixels(window, window.GetWindowRect()).size()) << name;
        ExpectWidgetsWhole(top, name);
        // Frames may hold controls; nothing else lies on anything.
        std::vector<QWidget*> shown;
        for (QWidget* w : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->isVisibleTo(top)) shown.push_back(w);
        for (std::size_t i = 0; i < shown.size(); ++i)
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const bool frame_i = qobject_cast<QGroupBox*>(shown[i]) != nullptr;
                const bool frame_j = qobject_cast<QGroupBox*>(shown[j]) != nullptr;
                if (frame_i != frame_j) continue;
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << name << ": " << i << " and " << j << " overlap";
            }
        for (const station::SlotView& s : station.view.slots) {
            auto* state = qobject_cast<QLabel*>(backend_->ControlOf(window, idc::StationTileControl(s.index, idc::kTileState)));
            ASSERT_NE(state, nullptr);
            EXPECT_EQ(state->text().toStdString(), station::StateWord(s.state)) << name << " slot " << s.index;
            EXPECT_EQ(state->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, CStationDlg::StateColor(s.state))
                << name << " slot " << s.index;
        }
        SaveShot(top, "qt-" + name + ".png");
        window.DestroyWindow();
    }
}

}  // namespace
}  // namespace mirelle::test
