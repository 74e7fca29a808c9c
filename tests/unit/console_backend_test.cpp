// The console backend: what an unattended run shows on standard error, and
// how it answers questions with and without a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "ui/backend_choice.h"
#include "ui/console/console_backend.h"
#include "ui/dialog.h"
#include "ui/property_sheet.h"

namespace mirelle::ui {
namespace {

const DialogTemplate& ProgressLike() {
    static const DialogTemplate tpl = {
        900, "", "MS Sans Serif", 10, 200, 100, kPopup | kCaption,
        {{1105, ControlKind::Label, "information", 48, 20, 162, 42, 0},
         {1103, ControlKind::Progress, "", 5, 65, 205, 10, 0},
         {2, ControlKind::Button, "cancel", 82, 85, 50, 14, kDefaultButton}}};
    return tpl;
}

class ConsoleBackendTest : public ::testing::Test {
protected:
    void Use(ConsoleBackend& b) { SetActiveBackend(&b); }
    void TearDown() override { SetActiveBackend(nullptr); }
    int Ask(ConsoleBackend& b, const std::string& text, MessageButtons buttons) {
        return b.MessageBox({nullptr, text, "crc checking", buttons, MessageIcon::Question});
    }
    std::ostringstream err;
};

TEST_F(ConsoleBackendTest, TerminalShowsStatusLinesAndOneRedrawnBar) {
    ConsoleBackend b(err, nullptr, true, false);
    Use(b);
    Dialog d(ProgressLike());
    ASSERT_TRUE(d.Create(nullptr));
    d.SetDlgItemText(1105, " Reading && Comparing");
    d.SetRange32(1103, 0, 4);
    d.SetPos(1103, 0);
    d.SetPos(1103, 2);
    d.SetPos(1103, 2);  // unchanged: not drawn again
    d.SetPos(1103, 4);
    d.SetDlgItemText(1105, "It ended normally completely");
    d.DestroyWindow();
    const std::string bar0 = "[..............................]  0 / 4";
    const std::string bar2 = "[###############...............]  2 / 4";
    const std::string bar4 = "[##############################]  4 / 4";
    EXPECT_EQ(err.str(), "Reading & Comparing\n\r" + bar0 + "\r" + bar2 + "\r" + bar4 +
                             "\nIt ended normally completely\n");
}

// A coloured, large label (a station tile's state word) in its colour and
// bold on a terminal; plain text without one.
TEST_F(ConsoleBackendTest, AColouredLabelIsColouredOnATerminalOnly) {
    for (bool terminal : {true, false}) {
        std::ostringstream out;
        ConsoleBackend b(out, nullptr, terminal, false);
        Use(b);
        Dialog d(DialogTemplate{901, "", "", 10, 100, 40, kPopup, {{7, ControlKind::Label, "", 4, 4, 90, 20, kLargeText}}});
        ASSERT_TRUE(d.Create(nullptr));
        d.SetTextColor(7, 0x1B8A2E);
        d.SetDlgItemText(7, "PASS");
        d.DestroyWindow();
        EXPECT_EQ(out.str(), terminal ? "\x1b[1m\x1b[38;2;27;138;46mPASS\x1b[0m\n" : "PASS\n") << terminal;
    }
}

TEST_F(ConsoleBackendTest, WithoutTerminalProgressIsAPlainLinePerTenth) {
    ConsoleBackend b(err, nullptr, false, false);
    Use(b);
    Dialog d(ProgressLike());
    ASSERT_TRUE(d.Create(nullptr));
    d.SetRange32(1103, 0, 100);
    for (int i = 0; i <= 100; ++i) d.SetPos(1103, i);
    std::string out = err.str();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11);
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_NE(out.find("0 / 100\n10 / 100\n"), std::string::npos);
    EXPECT_NE(out.find("100 / 100\n"), std::string::npos);
}

TEST_F(ConsoleBackendTest, MessageBoxesArePrintedWithTheirCaption) {
    ConsoleBackend b(err, nullptr, false, false);
    EXPECT_EQ(b.MessageBox({nullptr, "Please reset the microcontroller on userboard.\nThen push OK button.", "flash",
                            MessageButtons::OkCancel, MessageIcon::Information}),
              kIdOk);
    EXPECT_EQ(err.str(),
              "[flash] note: Please reset the microcontroller on userboard.\n  Then push OK button.\n"
              "  -> OK (no terminal to ask)\n");
}

TEST_F(ConsoleBackendTest, WithoutTerminalTheSameRetryQuestionGetsYesThreeTimesThenNo) {
    ConsoleBackend b(err, nullptr, false, false);
    const std::string a = "CRC error detected in 0xF8200\nretry?";
    const std::string c = "CRC error detected in 0xF8400\nretry?";
    std::vector<int> answers;
    for (int i = 0; i < 4; ++i) answers.push_back(Ask(b, a, MessageButtons::YesNo));
    EXPECT_EQ(answers, (std::vector<int>{kIdYes, kIdYes, kIdYes, kIdNo}));
    EXPECT_EQ(Ask(b, a, MessageButtons::YesNo), kIdNo);  // stays No for that block
    // Another block starts afresh.
    EXPECT_EQ(Ask(b, c, MessageButtons::YesNo), kIdYes);
    EXPECT_EQ(Ask(b, a, MessageButtons::YesNo), kIdYes);
}

TEST_F(ConsoleBackendTest, OnATerminalTheUserAnswers) {
    std::istringstream in("maybe\nn\n\nc\n");
    ConsoleBackend b(err, &in, true, true);
    EXPECT_EQ(Ask(b, "retry?", MessageButtons::YesNo), kIdNo);   // "maybe" is asked again
    EXPECT_EQ(Ask(b, "retry?", MessageButtons::YesNo), kIdYes);  // empty line: the default
    EXPECT_EQ(Ask(b, "Then push OK button.", MessageButtons::OkCancel), kIdCancel);
    EXPECT_EQ(Ask(b, "Then push OK button.", MessageButtons::OkCancel), kIdOk);  // end of input
    EXPECT_NE(err.str().find("[y]es / [n]o (Enter: Yes)? "), std::string::npos);
}

TEST_F(ConsoleBackendTest, ModalWindowsEndCancelledFileDialogsAreCancelled) {
    ConsoleBackend b(err, nullptr, false, false);
    Use(b);
    Dialog d(ProgressLike());
    EXPECT_EQ(d.DoModal(), kIdCancel);
    EXPECT_FALSE(b.FileDialog({}).has_value());
}

// A save dialog asks for a name on a terminal; without one nothing is chosen.
TEST_F(ConsoleBackendTest, SaveDialogTakesATypedNameOnlyOnATerminal) {
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "taken.mhx") << "old";
    FileDialogRequest save;
    save.save = true;
    save.default_extension = "mhx";
    save.initial_dir = dir + "prog.mot";  // a file's path: its folder is meant
    save.flags = kOverwritePrompt | kFileMustExist;
    struct Case {
        std::string typed;
        bool terminal;
        std::optional<std::string> chosen;
    } cases[] = {
        {"out\n", true, dir + "out.mhx"},        // relative, default extension added
        {dir + "x.hex\n", true, dir + "x.hex"},  // an absolute name; "must exist" does not apply
        {"taken\nn\n", true, std::nullopt},     // not replaced
        {"taken\ny\n", true, dir + "taken.mhx"},
        {"\n", true, std::nullopt},
        {"out\n", false, std::nullopt},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.typed);
        ConsoleBackend b(err, &in, false, c.terminal);
        std::optional<std::string> chosen = b.FileDialog(save);
        if (chosen) chosen = std::filesystem::path(*chosen).lexically_normal().string();
        EXPECT_EQ(chosen, c.chosen) << c.typed;
    }
    std::istringstream in("out\n");
    EXPECT_FALSE(ConsoleBackend(err, &in, false, true).FileDialog({}).has_value());  // open dialogs are refused
    std::filesystem::remove(dir + "taken.mhx");
}

BackendEnvironment Env(bool args, std::string display = "", std::string ui = "") {
    BackendEnvironment e;
    e.has_arguments = args;
    e.qt_built = true;
    e.display = std::move(display);
    e.mirelle_ui = std::move(ui);
    return e;
}

TEST(BackendChoiceTest, InteractiveNeedsADisplayUnattendedFallsBackToTheConsole) {
    EXPECT_EQ(ChooseBackend(Env(false, ":0")).kind, BackendKind::Qt);
    BackendChoice none = ChooseBackend(Env(false));
    EXPECT_EQ(none.kind, BackendKind::None);
    EXPECT_EQ(none.error, "mirelle: cannot open a display (DISPLAY and WAYLAND_DISPLAY are not set)");
    EXPECT_EQ(ChooseBackend(Env(true, ":0")).kind, BackendKind::Qt);
    EXPECT_EQ(ChooseBackend(Env(true)).kind, BackendKind::Console);
    BackendEnvironment wayland = Env(true);
    wayland.wayland_display = "wayland-0";
    EXPECT_EQ(ChooseBackend(wayland).kind, BackendKind::Qt);
    BackendEnvironment offscreen = Env(false);
    offscreen.qpa_platform = "offscreen";
    EXPECT_EQ(ChooseBackend(offscreen).kind, BackendKind::Qt);
}

TEST(BackendChoiceTest, MirelleUiOverridesAndABuildWithoutQtUsesTheConsole) {
    EXPECT_EQ(ChooseBackend(Env(false, ":0", "console")).kind, BackendKind::Console);
    EXPECT_EQ(ChooseBackend(Env(true, "", "qt")).kind, BackendKind::None);  // still no display
    EXPECT_EQ(ChooseBackend(Env(true, ":0", "qt")).kind, BackendKind::Qt);
    BackendChoice odd = ChooseBackend(Env(true, "", "gtk"));
    EXPECT_EQ(odd.kind, BackendKind::Console);
    EXPECT_FALSE(odd.warning.empty());
    BackendEnvironment no_qt = Env(true, ":0");
    no_qt.qt_built = false;
    EXPECT_EQ(ChooseBackend(no_qt).kind, BackendKind::Console);
    no_qt.has_arguments = false;
    EXPECT_EQ(ChooseBackend(no_qt).kind, BackendKind::None);
}

TEST(BackendChoiceTest, TheSystemsOwnWindowsNeedNoDisplayAndNoDialogRunsOnTheConsole) {
    struct Case {
        bool args, no_dialog;
        const char* ui;
        BackendKind kind;
    };
    const Case cases[] = {
        {false, false, "", BackendKind::Native},       {true, false, "", BackendKind::Native},
        {true, true, "", BackendKind::Console},        {false, false, "console", BackendKind::Console},
        {true, false, "console", BackendKind::Console}, {false, false, "qt", BackendKind::Native},
    };
    for (const Case& c : cases) {
        BackendEnvironment env = Env(c.args, "", c.ui);
        env.qt_built = false;
        env.native_built = true;
        env.no_dialog = c.no_dialog;
        const BackendChoice choice = ChooseBackend(env);
        EXPECT_EQ(choice.kind, c.kind) << c.args << c.no_dialog << c.ui;
        EXPECT_EQ(choice.warning.empty(), std::string(c.ui) != "qt") << c.ui;
    }
}

// A sheet of one page with a check box that marks it modified.
class TickPage : public PropertyPage {
public:
    TickPage()
        : PropertyPage({901, "Page", "MS Sans Serif", 10, 100, 40, 0,
                        {{kStaticId, ControlKind::Label, "Say:", 5, 5, 40, 10, 0},
                         {10, ControlKind::CheckBox, "&Tick", 5, 20, 60, 10, 0},
                         {11, ControlKind::DropDown, "", 5, 32, 60, 30, 0, {"<none>"}}}}) {}
    bool applied = false;

protected:
    bool OnCommand(int id, int code) override {
        if (id == 10 && code == kBnClicked) SetModified();
        return false;
    }
    bool OnApply() override {
        applied = true;
        return PropertyPage::OnApply();
    }
};

TEST_F(ConsoleBackendTest, SheetsArePrintedAndWorkedFromATerminalOnly) {
    struct Case {
        bool terminal;
        const char* input;
        int result;
        bool applied;
    };
    const Case cases[] = {
        {false, "1\no\n", kIdCancel, false},  // nobody to ask: cancelled
        {true, "1\n2=x.wav\no\n", kIdOk, true},
        {true, "1\n", kIdCancel, false},  // the input ends: cancelled
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        std::istringstream in(c.input);
        ConsoleBackend b(out, &in, false, c.terminal);
        Use(b);
        TickPage page;
        PropertySheet sheet("Settings");
        sheet.AddPage(&page);
        EXPECT_EQ(sheet.DoModal(), c.result) << c.input;
        EXPECT_EQ(page.applied, c.applied) << c.input;
        EXPECT_NE(out.str().find("[Settings]  <Page>\n  Say:\n  1) [ ] Tick\n  2) \"\" of 1=<none>\n"),
                  std::string::npos)
            << out.str();
        if (c.applied) {
            EXPECT_NE(out.str().find("1) [x] Tick\n  2) \"x.wav\""), std::string::npos) << out.str();
        }
    }
}

}  // namespace
}  // namespace mirelle::ui
