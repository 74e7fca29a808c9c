// The Open and Help buttons of the main window.
#include "app/windows/control_ids.h"
#include "main_window_fixture.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace mirelle::test {

namespace {

class FileCommandsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteFile("CHIPDEF.INI", kSampleChipDef);
        std::filesystem::create_directories(Dir() + "work");
        WriteFile("work/old.mhx", "S0\r\n");
        WriteFile("new.hex", ":00000001FF\r\n");
        start_dir_ = sys::CurrentDir();
    }
    void TearDown() override {
        sys::SetCurrentDir(start_dir_);
        MainWindowTest::TearDown();
    }
    std::string RecentFile() { return profile::GetString(Dir() + "DATAFILE.TXT", "Recent", "Write File", "?"); }

    std::string start_dir_;
};

TEST_F(FileCommandsTest, OpenConfirmedSetsTheProgramFileAndReturnsToTheProgramFolder) {
    WriteFile("DATAFILE.TXT", "[Recent]\r\nWrite File=" + Dir() + "work/old.mhx\r\n");
    backend.file_answers.push_back(Dir() + "new.hex");
    Run([&](CWriterDlg& w) {
        // The dialog opens in the folder of the remembered file.
        ui::FileDialogRequest seen;
        sys::SetCurrentDir("/");
        backend.Click(w, idc::kOpen);
        ASSERT_EQ(backend.file_dialogs.size(), 1u);
        seen = backend.file_dialogs[0];
        EXPECT_FALSE(seen.save);
        EXPECT_EQ(seen.filter,
                  "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|Intel hex files (*.hex)|*.hex|"
                  "all files (*.*)|*.*||");
        EXPECT_TRUE(seen.flags & ui::kFileMustExist);
        EXPECT_TRUE(seen.flags & ui::kHideReadOnly);
        EXPECT_EQ(seen.default_extension, "");
        EXPECT_EQ(w.m_strProgramFile, Dir() + "new.hex");
        EXPECT_EQ(w.GetDlgItemText(idc::kHexFile), "new.hex");
        EXPECT_EQ(w.FindControl(idc::kHexFile)->tooltip, Dir() + "new.hex");
        EXPECT_EQ(sys::CurrentDir() + "/", Dir());
    });
    EXPECT_EQ(RecentFile(), Dir() + "new.hex");
}

// The scripted dialog cannot see the current directory, so a backend in
// front of it notes where the dialog would have opened.
class CwdNotingBackend final : public ui::Backend {
public:
    explicit CwdNotingBackend(ui::ScriptedBackend& inner) : inner_(inner) {}
    std::vector<std::string> dirs;
    bool CreateWindow(ui::Dialog& d, ui::Dialog* o, bool m) override { return inner_.CreateWindow(d, o, m); }
    void DestroyWindow(ui::Dialog& d) override { inner_.DestroyWindow(d); }
    void RunModal(ui::Dialog& d) override { inner_.RunModal(d); }
    void PumpEvents() override { inner_.PumpEvents(); }
    int MessageBox(const ui::MessageBoxRequest& r) override { return inner_.MessageBox(r); }
    std::optional<std::string> FileDialog(const ui::FileDialogRequest& r) override {
        dirs.push_back(sys::CurrentDir() + "/");
        return inner_.FileDialog(r);
    }
    void PlayWave(const std::string& p) override { inner_.PlayWave(p); }
    void StopSound() override { inner_.StopSound(); }
    void Beep() override { inner_.Beep(); }
    bool OpenWithViewer(const std::string& p) override { return inner_.OpenWithViewer(p); }

private:
    ui::ScriptedBackend& inner_;
};

TEST_F(FileCommandsTest, OpenStartsInTheProgramFilesFolderAndCancelKeepsTheFile) {
    WriteFile("DATAFILE.TXT", "[Recent]\r\nCPU=1\r\nWrite File=" + Dir() + "work/old.mhx\r\n");
    CwdNotingBackend noting(backend);
    ui::SetActiveBackend(&noting);
    Run([&](CWriterDlg& w) {
        sys::SetCurrentDir("/");
        backend.Click(w, idc::kOpen);  // no answer queued: cancelled
        EXPECT_EQ(w.m_strProgramFile, Dir() + "work/old.mhx");
        EXPECT_EQ(w.GetDlgItemText(idc::kHexFile), "old.mhx");
        EXPECT_EQ(sys::CurrentDir() + "/", Dir());
        // Without a program file the dialog opens wherever the program is.
        w.m_strProgramFile.clear();
        w.m_strHexFileName.clear();
        w.UpdateData(false);
        sys::SetCurrentDir(Dir() + "work");
        backend.Click(w, idc::kOpen);
    });
    ui::SetActiveBackend(&backend);
    ASSERT_EQ(noting.dirs.size(), 2u);
    EXPECT_EQ(Slashes(noting.dirs[0]), Slashes(Dir() + "work/"));
    EXPECT_EQ(Slashes(noting.dirs[1]), Slashes(Dir() + "work/"));
    // Cancelling still writes the selections back, target included.
    EXPECT_EQ(RecentFile(), "");
    EXPECT_EQ(profile::GetString(Dir() + "DATAFILE.TXT", "Recent", "CPU", ""), "1");
}

TEST_F(FileCommandsTest, HelpOpensTheEnglishPageWithTheViewer) {
    std::filesystem::create_directories(Dir() + "Help");
    WriteFile("Help/flashe.html", "<html></html>");
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kHelp); });
    EXPECT_EQ(backend.opened_documents, std::vector<std::string>{Dir() + "Help/flashe.html"});
    EXPECT_TRUE(backend.message_boxes.empty());
    // Without a viewer the user is told so.
    backend.open_document_result = false;
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kHelp); });
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text,
              Dir() + "Help/flashe.html cannot be opened: no viewer for web pages is set up.");
}

TEST_F(FileCommandsTest, MissingHelpPageIsReportedInTheUsersLanguage) {
    std::filesystem::create_directories(Dir() + "Help");
    WriteFile("Help/flashe.html", "<html></html>");  // the Japanese page is missing
    sys::SetEnv("LANG", "ja_JP.UTF-8");
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kHelp); });
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, Dir() + "Help/flash.html が見つかりません");
    EXPECT_EQ(backend.message_boxes[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(backend.message_boxes[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(backend.message_boxes[0].owner_template, idc::kMainTemplate);

    sys::SetEnv("LANG", "C");
    std::filesystem::remove(Dir() + "Help/flashe.html");
    std::filesystem::create_directories(Dir() + "Help/flashe.html");  // a folder is no page
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kHelp); });
    ASSERT_EQ(backend.message_boxes.size(), 2u);
    EXPECT_EQ(backend.message_boxes[1].text, Dir() + "Help/flashe.html is not found.");
    EXPECT_EQ(backend.message_boxes[1].caption, "Mirelle");
    EXPECT_TRUE(backend.opened_documents.empty());
}

}  // namespace
}  // namespace mirelle::test
