// The customize sheet as a user works it from the main window's Set
// Environment button: what it shows, what it writes to Customize.ini, and
// that the main window takes the new settings at once however it closes.
#include <filesystem>
#include <string>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/custom_prop_main.h"
#include "main_window_fixture.h"

namespace mirelle::test {
namespace {

using ui::PropertySheet;
using namespace idc;

constexpr const char* kInitialIni = "[Com]\r\nComNo=1\r\n[Tool]\r\nToolTips=0\r\n";

class CustomizeSheetTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteFile("CHIPDEF.INI", kSampleChipDef);
        WriteFile("Customize.ini", kInitialIni);
    }

    // Opens the sheet from the main window and runs `user` in it; `after`
    // sees the main window once the sheet has closed.
    void InSheet(const std::function<void(CCustomPropMain&)>& user,
                 const std::function<void(CWriterDlg&)>& after = nullptr) {
        bool ran = false;
        Run([&](CWriterDlg& w) {
            backend.modal_scripts.push_back([&](ui::Dialog& d) {
                ran = true;
                user(static_cast<CCustomPropMain&>(d));
            });
            backend.PressKey(w, 'S', true);  // Alt+S: Set Environment
            if (after) after(w);
        });
        ASSERT_TRUE(ran);
    }
    // Gives the wave combo the focus, replaces its text, and moves on.
    void EnterWave(CCustomPropSound& page, const std::string& text) {
        ui::InputEvent focus;
        focus.kind = ui::InputKind::FocusChanged;
        focus.control = kWaveCombo;
        page.Deliver(focus);
        backend.SetText(page, kWaveCombo, text);
        focus.control = kEventCombo;
        page.Deliver(focus);
    }
    // The key lines of one section of Customize.ini, in file order.
    std::vector<std::string> Section(const std::string& name) const {
        std::vector<std::string> out;
        std::istringstream in(ReadFile("Customize.ini"));
        std::string line;
        bool inside = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line[0] == '[') inside = line == "[" + name + "]";
            else if (inside && !line.empty()) out.push_back(line);
        }
        return out;
    }
};

TEST_F(CustomizeSheetTest, ShowsSoundAndTooltipsWithHelpKeptDisabled) {
    InSheet([&](CCustomPropMain& sheet) {
        EXPECT_EQ(sheet.GetWindowText(), "Customize setting");
        EXPECT_EQ(sheet.FindControl(PropertySheet::kIdTabs)->items, (std::vector<std::string>{"Sound", "Tooltips"}));
        EXPECT_EQ(sheet.GetActivePage(), &sheet.m_soundPage);
        EXPECT_FALSE(sheet.IsControlEnabled(PropertySheet::kIdHelp));
        sheet.EnableControl(PropertySheet::kIdHelp, true);  // whatever enables it,
        backend.Click(sheet.m_soundPage, kEnableSound);      // the next input disables it again
        EXPECT_FALSE(sheet.IsControlEnabled(PropertySheet::kIdHelp));
        EXPECT_TRUE(sheet.IsControlEnabled(PropertySheet::kIdApply));
        backend.PressKey(sheet, ui::kVkEscape);
    });
}

TEST_F(CustomizeSheetTest, CancelWritesNothingButTheSettingsAreReadAgain) {
    InSheet(
        [&](CCustomPropMain& sheet) {
            backend.Click(sheet.m_soundPage, kEnableSound);
            // Meanwhile someone else switches the tooltips on in the file.
            WriteFile("Customize.ini", "[Com]\r\nComNo=1\r\n[Tool]\r\nToolTips=1\r\n");
            backend.Click(sheet, ui::kIdCancel);
        },
        [&](CWriterDlg& w) {
            EXPECT_EQ(ReadFile("Customize.ini"), "[Com]\r\nComNo=1\r\n[Tool]\r\nToolTips=1\r\n");
            EXPECT_EQ(w.m_settings.bToolTips, 1);
        });
}

TEST_F(CustomizeSheetTest, OkWritesTheSoundKeysInOrderAndLeavesAnUnopenedPage) {
    InSheet(
        [&](CCustomPropMain& sheet) {
            CCustomPropSound& page = sheet.m_soundPage;
            backend.Click(page, kEnableSound);
            backend.Select(page, kEventCombo, 1);  // END
            backend.Click(page, kBeepRadio);
            backend.Click(sheet, ui::kIdOk);
        },
        [&](CWriterDlg& w) {
            EXPECT_EQ(Section("Sound"), (std::vector<std::string>{"Sound=1", "ErrorEnable=0", "ErrorType=0",
                                                                  "ErrorPass=<none>", "EndEnable=1", "EndType=1",
                                                                  "EndPass=<none>"}));
            EXPECT_EQ(Section("Tool"), (std::vector<std::string>{"ToolTips=0"}));
            EXPECT_EQ(w.m_settings.bSound, 1);
            EXPECT_EQ(w.m_settings.nEndType, 1);
        });
}

TEST_F(CustomizeSheetTest, EnableStatesFollowSoundAndType) {
    const std::vector<int> always = {kEventLabel, kSoundTypeGroup, kWaveRadio, kBeepRadio, kEventCombo};
    const std::vector<int> wave = {kWaveFileLabel, kWaveCombo, kWaveOpen, kWavePlay, kWaveStop};
    InSheet([&](CCustomPropMain& sheet) {
        CCustomPropSound& page = sheet.m_soundPage;
        struct Step {
            const char* what;
            int click;
            bool sound_controls, wave_controls;
        };
        const Step steps[] = {
            {"sound off", 0, false, false},
            {"sound on, wave", kEnableSound, true, true},
            {"beep", kBeepRadio, true, false},
            {"wave again", kWaveRadio, true, true},
            {"sound off again", kEnableSound, false, false},
        };
        for (const Step& s : steps) {
            if (s.click != 0) backend.Click(page, s.click);
            EXPECT_TRUE(page.IsControlEnabled(kEnableSound)) << s.what;
            for (int id : always) EXPECT_EQ(page.IsControlEnabled(id), s.sound_controls) << s.what << " " << id;
            for (int id : wave) EXPECT_EQ(page.IsControlEnabled(id), s.wave_controls) << s.what << " " << id;
        }
    });
}

TEST_F(CustomizeSheetTest, WaveTextsAreCheckedWhenTheComboLosesTheFocus) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"C:\\x.WAV", true}, {"<none>", true},        {".wav", false},
        {"C:\\snd\\.wav", false}, {"/snd/.wav", false}, {"C:\\x.mp3", false},
    };
    InSheet([&](CCustomPropMain& sheet) {
        CCustomPropSound& page = sheet.m_soundPage;
        backend.Click(page, kEnableSound);
        EnterWave(page, "/snd/a.wav");
        for (const Case& c : cases) {
            const std::size_t boxes = backend.message_boxes.size();
            const std::string before = page.m_strWave;
            EnterWave(page, c.text);
            if (c.accepted) {
                EXPECT_EQ(backend.message_boxes.size(), boxes) << c.text;
                EXPECT_EQ(page.m_strErrorWave, c.text);
                EXPECT_EQ(page.m_bErrorEnable, std::string(c.text) == "<none>" ? 0 : 1) << c.text;
            } else {
                ASSERT_EQ(backend.message_boxes.size(), boxes + 1) << c.text;
                const auto& box = backend.message_boxes.back();
                EXPECT_EQ(box.text, "The entry file has a mistake\nIt returns to the original file");
                EXPECT_EQ(box.caption, "falsh");
                EXPECT_EQ(box.icon, ui::MessageIcon::Exclamation);
                EXPECT_EQ(page.GetDlgItemText(kWaveCombo), before) << c.text;
                EXPECT_EQ(page.m_strErrorWave, before) << c.text;
            }
        }
        backend.Click(sheet, ui::kIdCancel);
    });
}

TEST_F(CustomizeSheetTest, TypeChoiceSetsTheEnableFlagByTheWaveText) {
    InSheet(
        [&](CCustomPropMain& sheet) {
            CCustomPropSound& page = sheet.m_soundPage;
            backend.Click(page, kEnableSound);
            backend.Select(page, kEventCombo, 1);
            backend.Click(page, kBeepRadio);  // Beep with "<none>": a sound is set
            EXPECT_EQ(page.m_bEndEnable, 1);
            backend.Click(page, kWaveRadio);  // Wave with "<none>": none is
            EXPECT_EQ(page.m_bEndEnable, 0);
            backend.Click(page, kBeepRadio);
            backend.PressKey(page, ui::kVkReturn);  // OK
        },
        [&](CWriterDlg& w) { EXPECT_EQ(w.m_settings.bEndEnable, 1); });
}

TEST_F(CustomizeSheetTest, AChosenWaveIsWrittenWhileItExistsAndPlayedOnRequest) {
    const std::string kept = Dir() + "ding.wav";
    const std::string gone = Dir() + "gone.wav";
    WriteFile("ding.wav", "RIFF");
    WriteFile("gone.wav", "RIFF");
    InSheet(
        [&](CCustomPropMain& sheet) {
            CCustomPropSound& page = sheet.m_soundPage;
            backend.Click(page, kEnableSound);
            backend.file_answers = {kept, gone};
            backend.Click(page, kWaveOpen);  // ERROR
            backend.Click(page, kWavePlay);
            backend.Click(page, kWaveStop);
            backend.Select(page, kEventCombo, 1);
            backend.Click(page, kWaveOpen);  // END
            ASSERT_EQ(backend.file_dialogs.size(), 2u);
            EXPECT_EQ(backend.file_dialogs[0].filter, "Sound (*.wav)|*.wav||");
            EXPECT_EQ(backend.file_dialogs[0].default_extension, "wav");
            EXPECT_EQ(backend.file_dialogs[0].initial_name, "*.wav");
            EXPECT_TRUE(backend.file_dialogs[0].flags & ui::kFileMustExist);
            std::filesystem::remove(gone);
            backend.Click(sheet, ui::kIdOk);
        },
        [&](CWriterDlg& w) {
            EXPECT_EQ(backend.sounds, (std::vector<std::string>{"stop", "wave:" + kept, "stop"}));
            EXPECT_EQ(w.m_settings.strErrorWave, kept);
            EXPECT_EQ(w.m_settings.bErrorEnable, 1);
            EXPECT_EQ(w.m_settings.strEndWave, "<none>");
            EXPECT_EQ(w.m_settings.bEndEnable, 1);  // the flag is written as it was
        });
}

TEST_F(CustomizeSheetTest, TooltipsTickedShowOnTheMainWindowAtOnce) {
    InSheet(
        [&](CCustomPropMain& sheet) {
            ui::InputEvent next = ui::InputEvent::Key(ui::kVkTab);
            next.ctrl = true;
            sheet.m_soundPage.Deliver(next);
            ASSERT_EQ(sheet.GetActivePage(), &sheet.m_toolPage);
            backend.Click(sheet.m_toolPage, kToolTipsCheck);
            backend.Click(sheet, ui::kIdOk);
        },
        [&](CWriterDlg& w) {
            EXPECT_EQ(Section("Tool"), (std::vector<std::string>{"ToolTips=1"}));
            EXPECT_TRUE(Section("Sound").empty()) << "the Sound page was shown but not changed";
            backend.Hover(w, kDownload);
            ASSERT_EQ(backend.tooltips_shown.size(), 1u);
            EXPECT_EQ(backend.tooltips_shown[0].second, "Transfers a control program to the microcomputer");
        });
}

}  // namespace
}  // namespace mirelle::test
