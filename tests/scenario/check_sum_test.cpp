// Check SUM as a user works it: the main window's button, a fill typed into
// the window, the sum shown, for chips and program files whose sums are known.
#include <string>
#include <vector>

#include "app/windows/check_sum_dlg.h"
#include "app/windows/control_ids.h"
#include "main_window_fixture.h"
#include "support/program_lines.h"

namespace mirelle::test {
namespace {

using mirelle::testing::SRecordOf;

// SUM256: one area of 0x100 bytes; SUM64K: one of 0x10000 bytes; HALF: an
// area of two bytes, so the halfword after it keeps the fill.
constexpr const char* kChipDef =
    "[SUM256]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0x1000\r\nEndAddress=0x10FF\r\n"
    "FlashSize=1\r\nClock=8MHz\r\nBaud=9600\r\n"
    "[SUM64K]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0x0\r\nEndAddress=0xFFFF\r\n"
    "FlashSize=64\r\nClock=8MHz\r\nBaud=9600\r\n"
    "[HALF]\r\nDownloadFile=a.bin\r\nLoadAddress=0\r\nStartAddress=0x0,0x10\r\nEndAddress=0xFF,0x11\r\n"
    "FlashSize=1\r\nClock=8MHz\r\nBaud=9600\r\n";
enum Chip { kSum256, kSum64K, kHalf };

class CheckSumTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteFile("CHIPDEF.INI", kChipDef);
    }

    // Opens Check SUM on `chip` with `file` (in the program folder) and runs
    // `user` in it; returns the result text as the window last showed it.
    std::string InWindow(Chip chip, const std::string& file, const std::function<void(CCheckSumDlg&)>& user) {
        std::string shown = "<not run>";
        Run([&](CWriterDlg& w) {
            backend.Select(w, idc::kTarget, chip);
            w.m_strProgramFile = Dir() + file;
            backend.modal_scripts.push_back([&](ui::Dialog& d) {
                auto& dlg = static_cast<CCheckSumDlg&>(d);
                user(dlg);
                shown = dlg.GetDlgItemText(idc::kCheckSumResult);
                backend.Click(dlg, ui::kIdOk);
            });
            backend.Click(w, idc::kCheckSum);
        });
        return shown;
    }
    // The sum for a fill typed key by key after clearing the box.
    std::string SumFor(Chip chip, const std::string& file, const std::string& typed) {
        return InWindow(chip, file, [&](CCheckSumDlg& d) {
            backend.SetText(d, idc::kFillData, "");
            backend.Type(d, idc::kFillData, typed);
            backend.Click(d, idc::kCheckSumButton);
        });
    }
};

TEST_F(CheckSumTest, SumsOfKnownImages) {
    // Sets 0x20 bytes of 0x01 inside SUM256's area and two bytes outside it,
    // every byte of HALF's areas to 0, the skipped halfword at 0x12 included.
    WriteFile("part.mot", SRecordOf('1', 0x1000, std::vector<std::uint8_t>(0x20, 0x01)) + "\n" +
                              SRecordOf('1', 0x2000, {0x55, 0x55}) + "\n");
    WriteFile("outside.mot", SRecordOf('2', 0x20000, {0x12, 0x34}) + "\n");  // in the image, in no area
    WriteFile("zero.mot", SRecordOf('1', 0x0000, std::vector<std::uint8_t>(0x80, 0x00)) + "\n" +
                              SRecordOf('1', 0x0080, std::vector<std::uint8_t>(0x80, 0x00)) + "\n");
    struct Case {
        Chip chip;
        const char* file;
        const char* fill;
        const char* sum;
    };
    const Case cases[] = {
        {kSum256, "outside.mot", "FF", "FF00"},  // 0x100 x 0xFF; the file's bytes lie outside
        {kSum256, "outside.mot", "00", "0000"},
        {kSum256, "outside.mot", "ff", "FF00"},  // the box takes capitals
        {kSum64K, "outside.mot", "FF", "0000"},  // 0x10000 x 0xFF modulo 0x10000
        {kSum256, "outside.mot", "F", ""},
        {kSum256, "outside.mot", "G0", ""},
        {kSum256, "part.mot", "FF", "DF40"},  // 0x20 x 1 + 0xE0 x 0xFF
        {kSum256, "part.mot", "10", "0E20"},  // differs by 0xE0 x (0xFF - 0x10)
        {kHalf, "zero.mot", "FF", "01FE"},   // the halfword at 0x12 keeps the fill
        {kHalf, "zero.mot", "00", "0000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SumFor(c.chip, c.file, c.fill), c.sum) << c.file << " fill " << c.fill;
    }
    EXPECT_TRUE(backend.message_boxes.empty());
}

TEST_F(CheckSumTest, EachOpeningStartsAtFfWithNoResult) {
    WriteFile("outside.mot", SRecordOf('1', 0x2000, {0x12}) + "\n");
    for (int run = 0; run < 2; ++run) {
        InWindow(kSum256, "outside.mot", [&](CCheckSumDlg& d) {
            EXPECT_EQ(d.GetDlgItemText(idc::kFillData), "FF");
            EXPECT_EQ(d.GetDlgItemText(idc::kCheckSumResult), "");
            EXPECT_EQ(d.FindControl(idc::kFillData)->text_limit, 2);
            EXPECT_EQ(d.FindControl(idc::kCheckSumResult)->text_limit, 4);
            backend.SetText(d, idc::kFillData, "00");
            backend.Click(d, idc::kCheckSumButton);
        });
    }
}

TEST_F(CheckSumTest, AFileThatCannotBeLoadedGivesNoResultAndAnOwnerlessBox) {
    WriteFile("empty.mot", "");
    EXPECT_EQ(SumFor(kSum256, "missing.mot", "FF"), "");
    ASSERT_EQ(backend.message_boxes.size(), 1u);
    EXPECT_EQ(backend.message_boxes[0].text, "file open error");
    EXPECT_EQ(backend.message_boxes[0].caption, "HexFile decoder");
    EXPECT_EQ(backend.message_boxes[0].owner_template, 0);
    // No progress window: the empty file's message is not shown.
    EXPECT_EQ(SumFor(kSum256, "empty.mot", "FF"), "");
    EXPECT_EQ(backend.message_boxes.size(), 1u);
}

}  // namespace
}  // namespace mirelle::test
