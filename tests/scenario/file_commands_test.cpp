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
                  "ELF files (*.elf;*.axf;*.out)|*.elf;*.axf;*.out|Binary (*.bin)|*.bin|all files (*.*)|*.*||");
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

// A binary's start address: asked when one is chosen, kept in DATAFILE.TXT
// beside the file name, offered again after a restart, and used by the load.
TEST_F(FileCommandsTest, ABinarysStartAddressIsAskedKeptAndOfferedAgain) {
    WriteFile("boot.BIN", std::string("\x12\x34", 2));
    const std::string offset_key = "Write Offset";
    struct Step {
        const char* typed;  // into the start address box; nullptr: Cancel
        const char* offered;  // what the box showed when it opened
        const char* kept;     // DATAFILE.TXT afterwards
    } steps[] = {
        {"0x1000", "", "0x00001000"},
        {nullptr, "0x00001000", "0x00001000"},  // Cancel keeps the address
        {"bad", "0x00001000", "0x00001000"},    // refused; then Cancel
        {"8192", "0x00001000", "0x00002000"},   // decimal
    };
    for (const Step& step : steps) {
        backend.file_answers.push_back(Dir() + "boot.BIN");
        std::string offered = "<not asked>";
        std::size_t boxes = 0;
        Run([&](CWriterDlg& w) {
            backend.modal_scripts.push_back([&](ui::Dialog& d) {
                offered = d.GetDlgItemText(idc::kStartAddressEdit);
                if (!step.typed) return;
                backend.SetText(d, idc::kStartAddressEdit, step.typed);
                boxes = backend.message_boxes.size();
                backend.Click(d, ui::kIdOk);
                if (backend.message_boxes.size() != boxes) backend.Click(d, ui::kIdCancel);
            });
            backend.Click(w, idc::kOpen);
            EXPECT_EQ(w.m_strProgramFile, Dir() + "boot.BIN");
        });
        EXPECT_EQ(offered, step.offered) << (step.typed ? step.typed : "cancel");
        EXPECT_EQ(profile::GetString(Dir() + "DATAFILE.TXT", "Recent", offset_key, "?"), step.kept);
        EXPECT_EQ(RecentFile(), Dir() + "boot.BIN");
    }
    // A file of another kind asks nothing and leaves the address for the next binary.
    backend.file_answers.push_back(Dir() + "new.hex");
    Run([&](CWriterDlg& w) { backend.Click(w, idc::kOpen); });
    EXPECT_EQ(profile::GetString(Dir() + "DATAFILE.TXT", "Recent", offset_key, "?"), "0x00002000");
    EXPECT_EQ(backend.modal_runs.size(), 4u + 5u);  // each window run, each start address window
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
