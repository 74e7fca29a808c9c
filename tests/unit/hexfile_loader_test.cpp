#include "hexfile/program_file.h"
#include "engine/load_outcome.h"
#include "support/program_lines.h"
#include "texts/program_load_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::IntelHexOf;
using testing::SRecordOf;

std::string Fixture(const char* name) { return std::string(MIRELLE_SOURCE_DIR) + "/tests/data/hexfile/" + name; }

LoadResult LoadText(FlashImage& image, const std::string& text, ImageTarget target = {},
                    std::uint8_t fill = 0xFF) {
    TextLineSource lines(text);
    return LoadProgram(lines, {image, target, fill});
}

// The words of a load, as the main window has them told.
std::string Message(const LoadResult& r) { return texts::LoadMessage(engine::DescribeLoad(r)); }
std::string Caption(const LoadResult& r) { return texts::LoadCaption(engine::DescribeLoad(r).failure); }
texts::LoadReport PlanLoadReport(const LoadResult& r, bool command_line, bool progress_shown) {
    return texts::PlanLoadReport(engine::DescribeLoad(r), command_line, progress_shown);
}

Bytes At(const FlashImage& image, ImageWindow window, std::size_t offset, std::size_t n) {
    const auto w = image.Window(window);
    return Bytes(w.begin() + offset, w.begin() + offset + n);
}

void ExpectFailure(const LoadResult& r, LoadStatus status, const std::string& message) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(Message(r), message);
}

TEST(TextLineSource, SplitsLikeTextFiles) {
    TextLineSource lines("a\r\n\nb\rc\nlast");
    std::vector<std::string> got;
    for (std::string line; lines.Next(line);) got.push_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"a", "", "b\rc", "last"}));
    TextLineSource none("");
    std::string line;
    EXPECT_FALSE(none.Next(line));
    TextLineSource one_empty("\n");
    EXPECT_TRUE(one_empty.Next(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(one_empty.Next(line));
}

TEST(ProgramLoader, FormatIsDetectedByTheFirstCharacterOnly) {
    EXPECT_EQ(DetectProgramFormat(":00000001FF"), ProgramFormat::kIntelHex);
    EXPECT_EQ(DetectProgramFormat("S"), ProgramFormat::kSRecord);
    for (const char* first : {"", " S1040000AA51", "s1040000AA51", ";S1", "\t:00"}) {
        EXPECT_EQ(DetectProgramFormat(first), std::nullopt) << first;
    }
    FlashImage image;
    ExpectFailure(LoadText(image, ""), LoadStatus::kEmptyFile, "This file is NULL");
    ExpectFailure(LoadText(image, "\nS1040000AA51\n"), LoadStatus::kUnknownFormat, "auto-format detector error");
    ExpectFailure(LoadText(image, ";S1040000AA51\n"), LoadStatus::kUnknownFormat, "auto-format detector error");
    EXPECT_TRUE(LoadText(image, "S9\n").ok());
    // The first line is decoded too, not just looked at.
    ExpectFailure(LoadText(image, "S4\n"), LoadStatus::kSRecordError, "S-format error in 1");
    ExpectFailure(LoadText(image, ":00000006FA\n"), LoadStatus::kIntelHexError, "decode error in 1");
}

TEST(ProgramLoader, AGivenFormatIsUsedInsteadOfTheFirstLine) {
    const std::string record = SRecordOf('1', 0x10, {0xAA});
    const struct {
        std::string text;
        std::optional<ProgramFormat> format;
        LoadStatus status;
        const char* message;
    } cases[] = {
        {"\n" + record + "\n", ProgramFormat::kSRecord, LoadStatus::kOk, ""},
        {"\n" + record + "\n", std::nullopt, LoadStatus::kUnknownFormat, "auto-format detector error"},
        {":00000001FF\n", ProgramFormat::kSRecord, LoadStatus::kSRecordError, "file error in 1"},
        {record + "\n", ProgramFormat::kIntelHex, LoadStatus::kIntelHexError, "file error in 1"},
        {"", ProgramFormat::kIntelHex, LoadStatus::kEmptyFile, "This file is NULL"},
    };
    for (const auto& c : cases) {
        FlashImage image;
        TextLineSource lines(c.text);
        const LoadResult r = LoadProgram(lines, {.image = image, .format = c.format});
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(Message(r), c.message) << c.text;
        EXPECT_EQ(image.Window(ImageWindow::kLow)[0x10], r.ok() ? 0xAA : 0xFF) << c.text;
    }
}

TEST(ProgramLoader, FixturesAreDecodedByContentNotByName) {
    FlashImage image;
    LoadResult r = LoadProgram(Fixture("srecords.hex"), {image, {0x1000, std::nullopt}, 0xFF});
    ASSERT_TRUE(r.ok()) << Message(r);
    // The record after S9 is loaded as well.
    EXPECT_EQ(At(image, ImageWindow::kLow, 0, 6), (Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0xFF}));
    EXPECT_EQ(At(image, ImageWindow::kMid, 0x1000, 2), (Bytes{0x20, 0x21}));
    EXPECT_EQ(At(image, ImageWindow::kHigh, 0x100, 2), (Bytes{0x30, 0xFF}));

    r = LoadProgram(Fixture("intelhex.mhx"), {image, {0, std::nullopt}, 0x00});
    ASSERT_TRUE(r.ok()) << Message(r);
    // Stored in file order: the segment-based record overwrites the first one.
    EXPECT_EQ(At(image, ImageWindow::kLow, 0x1000, 3), (Bytes{0xD0, 0xA1, 0x00}));
    EXPECT_EQ(At(image, ImageWindow::kMid, 0x10, 1), Bytes{0xB0});
    EXPECT_EQ(At(image, ImageWindow::kHigh, 0x20, 1), Bytes{0xC0});
    EXPECT_EQ(At(image, ImageWindow::kLow, 0x1100, 1), Bytes{0x00});  // the S-record load is gone

    ExpectFailure(LoadProgram(Fixture("empty.mot"), {image, {}, 0xFF}), LoadStatus::kEmptyFile,
                  "This file is NULL");
    ExpectFailure(LoadProgram(Fixture("first_line_empty.mot"), {image, {}, 0xFF}),
                  LoadStatus::kUnknownFormat, "auto-format detector error");
    r = LoadProgram(Fixture("no such file.mot"), {image, {}, 0x42});
    ExpectFailure(r, LoadStatus::kOpenError, "file open error");
    EXPECT_EQ(Caption(r), "HexFile decoder");
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x1000], 0x42);  // filled before the open
}

TEST(ProgramLoader, LineNumbersCountEmptyLines) {
    FlashImage image;
    const std::string good = SRecordOf('1', 0, {1});
    LoadResult r = LoadText(image, good + "\n\n\r\n" + good + "\n;comment\n" + good + "\n");
    ExpectFailure(r, LoadStatus::kSRecordError, "file error in 5");
    EXPECT_EQ(r.decoder_error, 1);
    EXPECT_EQ(r.line_number, 5);
    EXPECT_EQ(Caption(r), "S format decoder");

    r = LoadText(image, ":0100000001FE\n\n\nS1040000AA51\n");
    ExpectFailure(r, LoadStatus::kIntelHexError, "file error in 4");
    EXPECT_EQ(Caption(r), "IntelHex format decoder");
    r = LoadText(image, ":0100000001FE\n\n" + IntelHexOf(0x01, 0, {1}) + "\n");
    ExpectFailure(r, LoadStatus::kIntelHexError, "record error in 3");
    EXPECT_EQ(r.decoder_error, 3);
}

TEST(ProgramLoader, DecodingStopsAtTheFirstErrorKeepingEarlierRecords) {
    FlashImage image;
    const std::string text = SRecordOf('1', 0x10, {1}) + "\nS1040000aa51\n" + SRecordOf('1', 0x20, {2}) + "\n";
    ExpectFailure(LoadText(image, text), LoadStatus::kSRecordError, "decode error in 2");
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x10], 1);
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x20], 0xFF);
}

TEST(ProgramLoader, IntelHexEndsAtTheEndRecordOrTheLastLine) {
    FlashImage image;
    EXPECT_TRUE(LoadText(image, ":00000001FF\nnot a record\n:0100\n").ok());
    EXPECT_TRUE(LoadText(image, IntelHexOf(0, 0x10, {7})).ok());  // no end record, no final LF
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x10], 7);
    ExpectFailure(LoadText(image, IntelHexOf(0x06, 0, {}) + "\n"), LoadStatus::kIntelHexError,
                  "decode error in 1");
}

TEST(ProgramLoader, AddressesBelowTheStartOrOutsideTheImageAreRefused) {
    const ImageTarget target{0x00080000, std::nullopt};
    struct Case {
        std::string s_record;
        std::string intel_hex;  // with its base records
        bool ok;
    };
    const auto hex_at = [](std::uint32_t address, Bytes data) {
        return IntelHexOf(0x04, 0, {std::uint8_t(address >> 24), std::uint8_t(address >> 16)}) + "\n" +
               IntelHexOf(0x00, std::uint16_t(address), data);
    };
    const std::vector<Case> cases = {
        {SRecordOf('2', 0x07FFFF, {1}), hex_at(0x07FFFF, {1}), false},     // one below the start
        {SRecordOf('2', 0x080000, {1}), hex_at(0x080000, {1}), true},      // offset 0
        {SRecordOf('2', 0x37FFFF, {1}), hex_at(0x37FFFF, {1}), true},      // last low byte
        {SRecordOf('2', 0x37FFFF, {1, 2}), hex_at(0x37FFFF, {1, 2}), false},
        {SRecordOf('2', 0x380000, {1}), hex_at(0x380000, {1}), false},
        {SRecordOf('2', 0x5FFFFE, {1, 2}), hex_at(0x5FFFFE, {1, 2}), true},
        {SRecordOf('2', 0x5FFFFF, {1, 2}), hex_at(0x5FFFFF, {1, 2}), false},
        {SRecordOf('3', 0x1FFFFFFF, {1}), hex_at(0x1FFFFFFF, {1}), false},
        {SRecordOf('3', 0x200FFFFF, {1}), hex_at(0x200FFFFF, {1}), true},
        {SRecordOf('3', 0x200FFFFF, {1, 2}), hex_at(0x200FFFFF, {1, 2}), false},
        {SRecordOf('3', 0xFFFFFFFF, {1, 2}), hex_at(0xFFFFFFFF, {1, 2}), false},
    };
    for (const Case& c : cases) {
        FlashImage image;
        LoadResult r = LoadText(image, "S0\n" + c.s_record + "\n", target);
        EXPECT_EQ(r.ok(), c.ok) << c.s_record;
        if (!c.ok) {
            EXPECT_EQ(Message(r), "address error in 2") << c.s_record;
        }
        r = LoadText(image, c.intel_hex + "\n", target);
        EXPECT_EQ(r.ok(), c.ok) << c.intel_hex;
        if (!c.ok) {
            EXPECT_EQ(Message(r), "address error in 2") << c.intel_hex;
        }
        if (!c.ok) {
            for (const auto w : {ImageWindow::kLow, ImageWindow::kMid, ImageWindow::kHigh}) {
                const auto bytes = image.Window(w);
                EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
            }
        }
    }
}

TEST(ProgramLoader, SkipHalfwordAndFillOfEachLoad) {
    FlashImage image;
    const ImageTarget target{0x1000, 0x10};
    const std::string text = SRecordOf('1', 0x100E, {1, 2, 3, 4, 5, 6}) + "\n";
    ASSERT_TRUE(LoadText(image, text, target, 0xFF).ok());
    EXPECT_EQ(At(image, ImageWindow::kLow, 0x0E, 6), (Bytes{1, 2, 0xFF, 0xFF, 5, 6}));
    // The skip works on the low window's offset, not on the address.
    ASSERT_TRUE(LoadText(image, SRecordOf('1', 0x0010, {9, 9}) + "\n", {0, 0x10}, 0xFF).ok());
    EXPECT_EQ(At(image, ImageWindow::kLow, 0x10, 2), (Bytes{0xFF, 0xFF}));

    ASSERT_TRUE(LoadText(image, SRecordOf('3', 0x20000000, {7}) + "\n", target, 0x00).ok());
    for (const auto w : {ImageWindow::kLow, ImageWindow::kMid, ImageWindow::kHigh}) {
        const auto bytes = image.Window(w);
        const auto set = std::count_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
        EXPECT_EQ(set, w == ImageWindow::kHigh ? 1 : 0);
    }
}

TEST(ProgramLoader, ReportPlaceForEachFailure) {
    FlashImage image;
    const LoadResult open = LoadProgram(Fixture("missing.mot"), {image, {}, 0xFF});
    const LoadResult empty = LoadText(image, "");
    const LoadResult unknown = LoadText(image, "x\n");
    const LoadResult srec = LoadText(image, "S\n");
    const LoadResult ihex = LoadText(image, ":\n");

    // Interactive start.
    texts::LoadReport p = PlanLoadReport(open, false, false);
    EXPECT_TRUE(p.show_box);
    EXPECT_EQ(p.box_text, "file open error");
    EXPECT_EQ(p.box_caption, "HexFile decoder");
    EXPECT_FALSE(p.write_log);
    EXPECT_FALSE(PlanLoadReport(empty, false, false).show_box);
    p = PlanLoadReport(empty, false, true);
    EXPECT_TRUE(p.show_box);
    EXPECT_EQ(p.box_text, "This file is NULL");
    EXPECT_FALSE(p.write_log);
    EXPECT_FALSE(PlanLoadReport(unknown, false, false).show_box);
    for (const bool shown : {false, true}) {
        p = PlanLoadReport(srec, false, shown);
        EXPECT_TRUE(p.show_box);
        EXPECT_EQ(p.box_caption, "S format decoder");
        EXPECT_EQ(p.box_text, "S-format error in 1");
        p = PlanLoadReport(ihex, false, shown);
        EXPECT_TRUE(p.show_box);
        EXPECT_EQ(p.box_caption, "IntelHex format decoder");
        EXPECT_EQ(p.box_text, "decode error in 1");
        EXPECT_FALSE(p.write_log);
    }

    // Command-line mode: every failure reaches the log with code 0.
    struct Logged {
        const LoadResult& result;
        const char* text;
    };
    for (const Logged& l : {Logged{open, "file open error HexFile decoder"},
                            Logged{empty, "This file is NULL HexFile decoder"},
                            Logged{unknown, "auto-format detector error HexFile decoder"},
                            Logged{srec, "S format decoder S-format error in 1"},
                            Logged{ihex, "IntelHex format decoder decode error in 1"}}) {
        for (const bool shown : {false, true}) {
            p = PlanLoadReport(l.result, true, shown);
            EXPECT_TRUE(p.write_log) << l.text;
            EXPECT_EQ(p.log_code, 0);
            EXPECT_EQ(p.log_text, l.text);
        }
    }
    EXPECT_FALSE(PlanLoadReport(open, true, true).show_box);
    EXPECT_FALSE(PlanLoadReport(srec, true, true).show_box);
    EXPECT_FALSE(PlanLoadReport(ihex, true, true).show_box);
    EXPECT_TRUE(PlanLoadReport(empty, true, true).show_box);
    EXPECT_FALSE(PlanLoadReport(unknown, true, false).show_box);

    p = PlanLoadReport(LoadResult{}, true, true);
    EXPECT_FALSE(p.show_box);
    EXPECT_FALSE(p.write_log);
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

// Lines from memory, then a read failure instead of the end of the file.
class FailingSource final : public LineSource {
public:
    explicit FailingSource(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    bool Next(std::string& line) override {
        if (next_ == lines_.size()) return false;
        line = lines_[next_++];
        return true;
    }
    bool Failed() const override { return next_ == lines_.size(); }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

TEST(ProgramLoader, AReadThatFailsPartWayIsAFileErrorNotTheEnd) {
    FlashImage image;
    ImageTarget target;
    FailingSource srec({SRecordOf('1', 0x0000, {1, 2}), SRecordOf('1', 0x0002, {3})});
    LoadResult r = LoadProgram(srec, {image, target});
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(Message(r), "file error in 3");
    EXPECT_EQ(Caption(r), "S format decoder");

    // An Intel HEX file without its end record would otherwise load as complete.
    FailingSource hex({IntelHexOf(0x00, 0x0000, {1, 2})});
    r = LoadProgram(hex, {image, target});
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(Message(r), "file error in 2");

    FailingSource nothing({});
    EXPECT_EQ(Message(LoadProgram(nothing, {image, target})), "file open error");
}

TEST(ProgramLoader, DataBytesAreCountedByWhetherTheyLieInAFlashArea) {
    const ImageTarget target{0x1000, std::nullopt, {{0x1000, 0x1FFF}, {0x4000, 0x40FF}}};
    const std::string s_end = "S9030000FC\n";
    const struct {
        std::string text;
        std::uint64_t inside, outside;
        std::optional<std::uint32_t> first;
    } cases[] = {
        {"S0030000FC\nS5030001FB\n" + s_end, 0, 0, std::nullopt},
        {":00000001FF\n", 0, 0, std::nullopt},
        // CR-only line ends: one S0 line that swallows the data records
        {"S0030000FC\r" + SRecordOf('1', 0x1000, {1, 2}) + "\r" + s_end, 0, 0, std::nullopt},
        {SRecordOf('1', 0x5000, {1, 2, 3}) + "\n" + s_end, 0, 3, 0x5000},
        {SRecordOf('1', 0x1FFE, {1, 2, 3, 4}) + "\n" + SRecordOf('1', 0x3000, {5}) + "\n" +
             SRecordOf('1', 0x4000, {6}) + "\n",
         3, 3, 0x2000},
        {IntelHexOf(0x00, 0x40FE, {1, 2, 3}) + "\n:00000001FF\n", 2, 1, 0x4100},
    };
    for (const auto& c : cases) {
        FlashImage image;
        const LoadResult r = LoadText(image, c.text, target);
        ASSERT_TRUE(r.ok()) << c.text << Message(r);
        EXPECT_EQ(r.bytes_in_flash, c.inside) << c.text;
        EXPECT_EQ(r.bytes_outside, c.outside) << c.text;
        EXPECT_EQ(r.first_outside, c.first) << c.text;
    }
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

using hexfile::FlashImage;
using hexfile::ImageTarget;
using hexfile::LoadResult;
using testing::IntelHexOf;
using testing::SRecordOf;

// The warnings a command-line run prints for `text` loaded for `target`.
std::vector<std::string> WarningsOf(const std::string& text, const ImageTarget& target, LoadResult* out = nullptr) {
    FlashImage image;
    hexfile::TextLineSource lines(text);
    const LoadResult r = hexfile::LoadProgram(lines, {image, target});
    if (out) *out = r;
    return texts::LoadWarnings(engine::DescribeLoadWarnings(r, "TQ", target));
}

TEST(LoadWarnings, FilesTakenAsTheyAreAreToldLineByLine) {
    const ImageTarget target{0x0, std::nullopt, {{0x0, 0xFFFF, 0xFFFF}}};
    const std::string s9 = "S9030000FC\n", end = ":00000001FF\n";
    const struct {
        std::string text;
        std::vector<std::string> warnings;
    } cases[] = {
        {SRecordOf('1', 0x10, {1}) + "\n" + s9, {}},
        {SRecordOf('1', 0x10, {1, 2}) + "\n" + SRecordOf('1', 0x11, {3}) + "\n" + s9,
         {"line 2 of this file writes over data of an earlier record; the later record's bytes are used"}},
        // touching records do not overlap
        {SRecordOf('1', 0x10, {1, 2}) + "\n" + SRecordOf('1', 0x12, {3}) + "\n" + SRecordOf('1', 0x0F, {3}) + "\n" + s9,
         {}},
        {SRecordOf('1', 0x10, {1}) + "\n",
         {"this S-record file has no S7, S8 or S9 end record; it may be cut short"}},
        {IntelHexOf(0x00, 0x10, {1}) + "\n",
         {"this Intel HEX file has no end record (:00000001FF); it may be cut short"}},
        {SRecordOf('1', 0x10, {1}) + "\nS5030002FA\n" + s9,
         {"the S5 record in line 2 counts 2 data records, but 1 come before it; the file may be incomplete"}},
        {SRecordOf('1', 0x10, {1}) + "\nS5030001FB\n" + s9, {}},
        {IntelHexOf(0x00, 0x10, {1}) + "\n" + end + "\n" + IntelHexOf(0x00, 0x20, {2}) + "\n",
         {"line 4 and those after it follow the Intel HEX end record and are not read"}},
        {IntelHexOf(0x00, 0x10, {1}) + "\n" + end + "\n\n", {}},
    };
    for (const auto& c : cases) {
        LoadResult r;
        EXPECT_EQ(WarningsOf(c.text, target, &r), c.warnings) << c.text;
        EXPECT_TRUE(r.ok()) << c.text;
    }
}

TEST(LoadWarnings, BytesPastAnAreaAreToldAsSentWithItsLastBlockOrNotSent) {
    // The area 0x0-0x10F is sent as one 512-byte block, 0x000-0x1FF.
    const ImageTarget target{0x0, std::nullopt, {{0x0, 0x10F, 0x1FF}}};
    std::string text;
    for (std::uint32_t at = 0x100; at < 0x500; at += 0x80) text += SRecordOf('1', at, std::vector<std::uint8_t>(0x80, 1)) + "\n";
    LoadResult r;
    const std::vector<std::string> warnings = WarningsOf(text + "S9030000FC\n", target, &r);
    EXPECT_EQ(r.bytes_in_flash, 0x10u);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "768 bytes of this file lie outside the flash of TQ (first at 0x00000200); they are not "
                            "programmed (up to 0x000004FF; none of them is sent)",
                            "240 bytes of this file lie outside the flash of TQ (0x00000110 to 0x000001FF) but within "
                            "the last 512-byte block of an area; that block is sent whole, so they are programmed"}));
}

TEST(LoadWarnings, ARefusedRecordIsNamedByItsAddressAndWhy) {
    const ImageTarget target{0x8000, std::nullopt, {{0x8000, 0x2FFFFF, 0x2FFFFF}}};
    const struct {
        std::string text;
        std::string warning;
    } cases[] = {
        {SRecordOf('2', 0x4000, {1}) + "\n",
         "the record at 0x00004000 (line 1) is refused: it lies below the start of the first flash area of TQ "
         "(0x00008000); nothing is programmed"},
        {SRecordOf('1', 0x8000, {1}) + "\n" + SRecordOf('3', 0xFFFFFF00, {1}) + "\n",
         "the record at 0xFFFFFF00 (line 2) is refused: it lies outside what the program image holds for TQ "
         "(0x00008000-0x00307FFF, 0x00400000-0x005FFFFF, 0x20000000-0x200FFFFF); nothing is programmed"},
    };
    for (const auto& c : cases) {
        LoadResult r;
        const auto warnings = WarningsOf(c.text, target, &r);
        ASSERT_FALSE(warnings.empty()) << c.text;
        EXPECT_EQ(warnings.front(), c.warning);
        EXPECT_EQ(texts::LoadMessage(engine::DescribeLoad(r)).rfind("address error in ", 0), 0u);
    }
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

TEST(LoadWarnings, AFileLargerThanAnyFlashCouldNeedIsNotRead) {
    const std::string path = ::testing::TempDir() + "mirelle-huge.mot";
    {
        std::ofstream(path) << "S";  // one line, made huge without writing it
    }
    std::filesystem::resize_file(path, hexfile::kMaxProgramFileSize + 1);
    hexfile::FlashImage image;
    const hexfile::LoadResult r = hexfile::LoadProgram(path, {image, {}});
    std::filesystem::remove(path);
    EXPECT_EQ(r.status, hexfile::LoadStatus::kOpenError);
    EXPECT_EQ(texts::LoadWarnings(engine::DescribeLoadWarnings(r, "TQ", {})),
              std::vector<std::string>{"this file is 268435457 bytes, more than any chip's flash could need (at most "
                                       "268435456 bytes are read); it is not read"});
}

}  // namespace
}  // namespace mirelle
