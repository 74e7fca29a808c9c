// Loading a program file through the main window: the format is taken from
// the content, the step text shows in the progress window, each failure is
// shown in a box or written to MESSFILE.TXT as the mode asks, and the image
// is read back through the window's block reader.
#include <string>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/progress_dlg.h"
#include "main_window_fixture.h"
#include "support/program_lines.h"
#include "platform/system.h"

namespace mirelle::test {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;
using mirelle::testing::IntelHexOf;
using mirelle::testing::SRecordOf;

constexpr std::uint32_t kStart = 0x80000;  // the first area of TQ4A01, selected at start

Bytes Read(const CWriterDlg& w, std::uint32_t address, std::size_t n) {
    Bytes out(n);
    w.ReadImageBlock(address, out);
    return out;
}

class ProgramFileLoadTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteFile("CHIPDEF.INI", kSampleChipDef);
    }

    // Runs `body` in the interactive main window with m_strProgramFile set
    // to `name` in the program folder.
    void Interactive(const std::string& name, const std::function<void(CWriterDlg&)>& body) {
        bool ran = false;
        Run([&](CWriterDlg& w) {
            ran = true;
            ASSERT_EQ(w.m_nStartAddr[0], kStart);
            w.m_strProgramFile = Dir() + name;
            body(w);
        });
        ASSERT_TRUE(ran);
    }

    // Opens the progress window as a command does before it loads the file.
    static void OpenProgress(CWriterDlg& w) {
        w.m_pProgress = std::make_unique<CProgressDlg>();
        ASSERT_TRUE(w.m_pProgress->Create(&w));
    }
    static void CloseProgress(CWriterDlg& w) {
        w.m_pProgress->DestroyWindow();
        w.m_pProgress.reset();
    }

    // A main window started with arguments, as the unattended run has it when
    // it comes to load the file.
    struct CommandLineWindow {
        CWriterDlg w;
        CommandLineWindow(AppEnvironment env, const std::string& dir, const std::string& file)
            : w(std::move(env)) {
            w.m_strModuleDir = dir;
            w.m_strProgramFile = dir + file;
            w.m_nStartAddr[0] = kStart;
            w.m_bShowProgress = w.GetCommandLine().show_progress ? 1 : 0;
        }
    };

    std::string Log() const { return ReadFile("MESSFILE.TXT"); }
};

TEST_F(ProgramFileLoadTest, FormatComesFromTheContentAndTheImageReadsByTheAddressRule) {
    // S-records in a .hex file, Intel HEX in a .mot file.
    WriteFile("app.hex", SRecordOf('2', kStart, {0x99}) + "\r\n" + SRecordOf('2', kStart + 0x0E, {1, 2, 3, 4, 5, 6}) +
                             "\r\n" + SRecordOf('2', kStart + FlashImage::kLowSize - 2, {7, 8}) + "\r\n");
    WriteFile("app.mot", IntelHexOf(4, 0, {0x00, 0x08}) + "\n" + IntelHexOf(0, 0x0004, {0x44, 0x55}) + "\n" +
                             IntelHexOf(4, 0, {0x00, 0x40}) + "\n" + IntelHexOf(0, 0x0000, {0x66}) + "\n" +
                             ":00000001FF\n");
    Interactive("app.hex", [&](CWriterDlg& w) {
        w.m_nSkipHalfword = 0x10;
        ASSERT_EQ(w.LoadProgramFile(false, 0x5A), 1);
        // The protected halfword keeps the fill, its neighbours are written.
        EXPECT_EQ(Read(w, kStart + 0x0E, 6), (Bytes{1, 2, 0x5A, 0x5A, 5, 6}));
        // A block running past the low window's end reads the fill there, and
        // one starting below the first area reads the fill up to it.
        EXPECT_EQ(Read(w, kStart + FlashImage::kLowSize - 2, 4), (Bytes{7, 8, 0x5A, 0x5A}));
        EXPECT_EQ(Read(w, kStart - 1, 2), (Bytes{0x5A, 0x99}));

        w.m_strProgramFile = Dir() + "app.mot";
        ASSERT_EQ(w.LoadProgramFile(false, 0x00), 1);
        EXPECT_EQ(Read(w, kStart, 1), (Bytes{0x00}));  // the first file's bytes are gone
        EXPECT_EQ(Read(w, kStart + 4, 2), (Bytes{0x44, 0x55}));
        EXPECT_EQ(Read(w, 0x00400000, 1), (Bytes{0x66}));

        // A load that fails still fills every buffer with its own fill first.
        w.m_strProgramFile = Dir() + "missing.mot";
        EXPECT_EQ(w.LoadProgramFile(false, 0xFF), 0);
        EXPECT_EQ(Read(w, kStart + 4, 1), (Bytes{0xFF}));
        EXPECT_EQ(Read(w, 0x00400000, 1), (Bytes{0xFF}));
    });
    EXPECT_EQ(backend.message_boxes.size(), 1u);  // the missing file's
    EXPECT_FALSE(Exists("MESSFILE.TXT"));
}

TEST_F(ProgramFileLoadTest, StepTextShowsInTheProgressWindow) {
    WriteFile("ok.mot", SRecordOf('2', kStart, {1}) + "\n");
    Interactive("ok.mot", [&](CWriterDlg& w) {
        OpenProgress(w);
        EXPECT_EQ(w.LoadProgramFile(false, 0xFF), 1);
        EXPECT_EQ(w.m_strStepText, " Decoding HexFile");
        EXPECT_EQ(w.m_pProgress->m_nMode, 0);  // text only
        EXPECT_EQ(w.LoadProgramFile(true, 0xFF), 1);
        EXPECT_EQ(w.m_strStepText, "Full Operation -  Decoding HexFile");
        const auto shown = backend.TextsOf(idc::kProgressTemplate, idc::kStatusText);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), "Full Operation -  Decoding HexFile");
        CloseProgress(w);

        // Without progress display the text is kept but nothing is shown.
        w.m_bShowProgress = 0;
        OpenProgress(w);
        const int mode = w.m_pProgress->m_nMode;
        const std::size_t count = backend.TextsOf(idc::kProgressTemplate, idc::kStatusText).size();
        sys::SetEnv("LANG", "ja_JP.UTF-8");
        EXPECT_EQ(w.LoadProgramFile(false, 0xFF), 1);
        EXPECT_EQ(w.m_strStepText, " HexFile デコード中");
        EXPECT_EQ(w.m_pProgress->m_nMode, mode);
        EXPECT_EQ(backend.TextsOf(idc::kProgressTemplate, idc::kStatusText).size(), count);
        CloseProgress(w);
    });
    EXPECT_TRUE(backend.message_boxes.empty());
}

struct BoxCase {
    const char* name;
    const char* content;  // nullptr: no such file
    const char* text;
    const char* caption;
    bool needs_progress;  // shown only with a visible progress window
};

const BoxCase kBoxCases[] = {
    {"open", nullptr, "file open error", "HexFile decoder", false},
    {"empty", "", "This file is NULL", "HexFile decoder", true},
    {"first_blank", "\nS1040000AA51\n", "auto-format detector error", "HexFile decoder", true},
    {"lower_s", "s1040000AA51\n", "auto-format detector error", "HexFile decoder", true},
    {"srec", "S00600004844521B\n\nS20508000000F2\nS20508000001F1 \n", "decode error in 4", "S format decoder", false},
    {"srec_low", "S1040000AA51\n", "address error in 1", "S format decoder", false},
    {"ihex", ":020000040008F2\n:0100000100FE\n", "record error in 2", "IntelHex format decoder", false},
    {"ihex_file", ":00000001FF\n", nullptr, nullptr, false},  // ends at once: success
};

TEST_F(ProgramFileLoadTest, InteractiveFailuresAreShownInBoxesAndNeverLogged) {
    for (const BoxCase& c : kBoxCases) {
        SCOPED_TRACE(c.name);
        backend.message_boxes.clear();
        if (c.content) WriteFile(c.name, c.content);
        Interactive(c.name, [&](CWriterDlg& w) {
            // 1: no progress window, 2: progress window shown, 3: progress
            // window with progress display off.
            for (int setting = 1; setting <= 3; ++setting) {
                SCOPED_TRACE(setting);
                w.m_bShowProgress = setting == 3 ? 0 : 1;
                if (setting > 1) OpenProgress(w);
                const std::size_t before = backend.message_boxes.size();
                EXPECT_EQ(w.LoadProgramFile(false, 0xFF), c.text ? 0 : 1);
                const bool expect_box = c.text && (!c.needs_progress || setting == 2);
                ASSERT_EQ(backend.message_boxes.size(), before + (expect_box ? 1 : 0));
                if (expect_box) {
                    const auto& box = backend.message_boxes.back();
                    EXPECT_EQ(box.text, c.text);
                    EXPECT_EQ(box.caption, c.caption);
                    EXPECT_EQ(box.buttons, ui::MessageButtons::Ok);
                    EXPECT_EQ(box.owner_template, setting > 1 ? idc::kProgressTemplate : 0);
                }
                if (setting > 1) CloseProgress(w);
            }
        });
        EXPECT_FALSE(Exists("MESSFILE.TXT"));
    }
}

struct LogCase {
    const char* name;
    const char* content;  // nullptr: no such file
    const char* log;      // the entry after "NG"
    bool box_with_progress;
};

const LogCase kLogCases[] = {
    {"open", nullptr, "file open error HexFile decoder", false},
    {"empty", "", "This file is NULL HexFile decoder", true},
    {"comment", ";S1040000AA51\n", "auto-format detector error HexFile decoder", true},
    {"s4", "S20508000000F2\nS4030000FC\n", "S format decoder S-format error in 2", false},
    {"ihex_low", ":0100000011EE\n", "IntelHex format decoder address error in 1", false},
    {"ihex_file", ":00000001FF\n", nullptr, false},
    {"first_empty", "\n", "auto-format detector error HexFile decoder", true},
    {"ihex_s", ":020000040008F2\nS1040000AA51\n", "IntelHex format decoder file error in 2", false},
};

TEST_F(ProgramFileLoadTest, CommandLineFailuresReplaceTheLogOfAnEarlierRun) {
    for (const bool no_dialog : {false, true}) {
        for (const LogCase& c : kLogCases) {
            SCOPED_TRACE(std::string(c.name) + (no_dialog ? " no_dialog" : ""));
            backend.message_boxes.clear();
            if (c.content) WriteFile(c.name, c.content);
            WriteFile("MESSFILE.TXT", "OK");  // what an earlier good run left
            std::vector<std::string> args = {Dir() + c.name};
            if (no_dialog) args.push_back("no_dialog");
            CommandLineWindow cl(Env(args), Dir(), c.name);
            ASSERT_TRUE(cl.w.CommandLineMode());
            OpenProgress(cl.w);
            EXPECT_EQ(cl.w.LoadProgramFile(true, 0xFF), c.log ? 0 : 1);
            EXPECT_EQ(Log(), c.log ? std::string("NG\r\n") + c.log : std::string("OK"));
            // Only the loader's own two failures with a visible progress
            // window show a box; no decoder ever waits for a click here.
            const bool expect_box = c.box_with_progress && !no_dialog;
            ASSERT_EQ(backend.message_boxes.size(), expect_box ? 1u : 0u);
            if (expect_box) {
                EXPECT_EQ(backend.message_boxes[0].owner_template, idc::kProgressTemplate);
            }
            CloseProgress(cl.w);
        }
    }
}

TEST_F(ProgramFileLoadTest, CommandLineFailureWithoutProgressWindowIsLoggedOnly) {
    WriteFile("MESSFILE.TXT", "OK");
    WriteFile("bad.mhx", ":0100000011EF\n");
    CommandLineWindow cl(Env({Dir() + "bad.mhx"}), Dir(), "bad.mhx");
    EXPECT_EQ(cl.w.LoadProgramFile(false, 0xFF), 0);
    EXPECT_EQ(Log(), "NG\r\nIntelHex format decoder decode error in 1");
    EXPECT_TRUE(backend.message_boxes.empty());
}

}  // namespace
}  // namespace mirelle::test
