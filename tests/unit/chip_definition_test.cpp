// The list values of CHIPDEF.INI and how a chip section is read.
#include "target/chip_definition.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "target/list_syntax.h"

namespace mirelle {

using namespace mirelle::target;
namespace {

TEST(ListSyntax, CommaRunsAndEndCommasMakeNoEmptyEntries) {
    EXPECT_EQ(SplitList(",,0x0,,0x1000,"), (std::vector<std::string>{"0x0", "0x1000"}));
    EXPECT_EQ(SplitList(" 10MHz , 20MHz"), (std::vector<std::string>{" 10MHz ", " 20MHz"}));  // blanks kept
    EXPECT_TRUE(SplitList("").empty());
    EXPECT_TRUE(SplitList(",,,").empty());
}

TEST(ListSyntax, HexEntriesReadAsStrtolInBase16) {
    EXPECT_EQ(ParseHexEntry("80000H"), 0x80000u);
    EXPECT_EQ(ParseHexEntry("0x80000"), 0x80000u);
    EXPECT_EQ(ParseHexEntry("  0XfFfF"), 0xFFFFu);
    EXPECT_EQ(ParseHexEntry("H"), 0u);
    EXPECT_EQ(ParseHexEntry("0x"), 0u);  // a bare prefix reads the 0
    EXPECT_EQ(ParseHexEntry("-5"), 0xFFFFFFFBu);
    EXPECT_EQ(ParseHexEntry("80000000"), 0x7FFFFFFFu);
    EXPECT_EQ(ParseHexEntry("FFFFFFFFFF"), 0x7FFFFFFFu);
    EXPECT_EQ(ParseHexEntry("-FFFFFFFFF"), 0x80000000u);
    EXPECT_EQ(ParseHexList("0,,1000 ,2000H"), (std::vector<std::uint32_t>{0, 0x1000, 0x2000}));
}

TEST(ListSyntax, DecimalEntriesReadAsAtol) {
    EXPECT_EQ(ParseDecimalList("9600,19200, 38400,x,57600bps"),
              (std::vector<std::int32_t>{9600, 19200, 38400, 0, 57600}));
    EXPECT_EQ(ParseDecimalEntry("-12"), -12);
}

class ChipDefFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = testing::TempDir() + "mirelle-chipdef-" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    }
    void TearDown() override { std::filesystem::remove(path_); }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string path_;
};

constexpr const char* kComplete =
    "DownloadFile=a.bin\nLoadAddress=0x400\nFlashSize=1\n";
// The rate keys, for sections that do not give their own.
constexpr const char* kRates = "Clock=10MHz\nBaud=9600\n";

TEST_F(ChipDefFile, OnlyCompleteSectionsAreTargetsListedInCapitals) {
    Write(std::string("[tq4a03]\n") + kComplete + kRates + "StartAddress=0\nEndAddress=FF\n" +
          "[NoBaud]\nDownloadFile=a.bin\nLoadAddress=0\nStartAddress=0\nEndAddress=1\nFlashSize=1\nClock=1\n" +
          "[EmptyClock]\n" + kComplete + "StartAddress=0\nEndAddress=FF\nClock=\nBaud=1\n" +
          "[Chip2]\n" + kComplete + kRates + "StartAddress=0\nEndAddress=FF\n");
    EXPECT_EQ(ListTargets(path_), (std::vector<std::string>{"TQ4A03", "CHIP2"}));
    EXPECT_TRUE(IsTargetComplete(path_, "TQ4A03"));  // the capitalised name still finds the section
    EXPECT_FALSE(IsTargetComplete(path_, "NoBaud"));
    EXPECT_FALSE(IsTargetComplete(path_, "EmptyClock"));
    EXPECT_TRUE(ListTargets(path_ + ".missing").empty());
}

TEST_F(ChipDefFile, OneAreaFillsRowOneAndClearsTheOthers) {
    Write(std::string("[C]\n") + kComplete + "StartAddress=0x80000\nEndAddress=0xFFFFF\nClock=10MHz, 20MHz\nBaud=1\n");
    const ChipDefinition chip = ReadChipDefinition(path_, "C");
    EXPECT_EQ(chip.load_address, 0x400u);
    EXPECT_EQ(chip.area_count, 1);
    EXPECT_EQ(chip.row_start[0], "00080000H");
    EXPECT_EQ(chip.row_end[0], "000FFFFFH");
    EXPECT_EQ(chip.row_size[0], "00080000H");
    for (int row = 1; row < kInfoRows; ++row) {
        EXPECT_EQ(chip.row_start[row], "");
        EXPECT_EQ(chip.row_end[row], "");
        EXPECT_EQ(chip.row_size[row], "");
    }
    EXPECT_EQ(chip.clocks, (std::vector<std::string>{"10MHz", " 20MHz"}));
    EXPECT_FALSE(chip.skip_halfword.has_value());
}

TEST_F(ChipDefFile, FiveAreasAreAllUsedButOnlyFourShown) {
    Write(std::string("[C]\n") + kComplete +
          "StartAddress=0,1000,,2000,3000,4000\nEndAddress=FFF,1FFF,2FFF,3FFF,7FFF\n");
    const ChipDefinition chip = ReadChipDefinition(path_, "C");
    ASSERT_EQ(chip.area_count, 5);
    EXPECT_EQ(chip.start[4], 0x4000u);
    EXPECT_EQ(chip.end[4], 0x7FFFu);
    EXPECT_EQ(chip.row_start[3], "00003000H");
    EXPECT_EQ(chip.row_size[3], "00001000H");
}

TEST_F(ChipDefFile, ListsBeyondTenEntriesOrOfUnequalLengthStayInsideTheArrays) {
    std::string starts, ends;
    for (int i = 0; i < 12; ++i) {
        starts += std::to_string(i) + "000,";
        ends += std::to_string(i) + "FFF,";
    }
    Write(std::string("[Many]\n") + kComplete + "StartAddress=" + starts + "\nEndAddress=" + ends + "\n" +
          "[Uneven]\n" + kComplete + "StartAddress=0,1000,2000\nEndAddress=FFF,1FFF\n" +
          "[NoEnds]\n" + kComplete + "StartAddress=0\nEndAddress=,,\n");
    EXPECT_EQ(ReadChipDefinition(path_, "Many").area_count, kMaxAreas);
    EXPECT_EQ(ReadChipDefinition(path_, "Many").end[9], 0x9FFFu);
    // An area needs both of its ends: the longer list's extra entries are not areas.
    EXPECT_EQ(ReadChipDefinition(path_, "Uneven").area_count, 2);
    const ChipDefinition none = ReadChipDefinition(path_, "NoEnds");
    EXPECT_EQ(none.area_count, 0);
    EXPECT_EQ(none.row_start[0], "");
}

TEST_F(ChipDefFile, TinyAreasSetTheSkippedHalfword) {
    Write(std::string("[One]\n") + kComplete + "StartAddress=0,7FFF\nEndAddress=5FFF,7FFF\n" +
          "[Two]\n" + kComplete + "StartAddress=1000,3001\nEndAddress=1FFF,3002\n" +
          "[Wrap]\n" + kComplete + "StartAddress=FFFFFFFF\nEndAddress=FFFFFFFF\n" +
          "[Plain]\n" + kComplete + "StartAddress=0\nEndAddress=FF\n");
    EXPECT_EQ(ReadChipDefinition(path_, "One").skip_halfword, 0x8000u);  // 0x7FFF + 2, bit 0 cleared
    EXPECT_EQ(ReadChipDefinition(path_, "Two").skip_halfword, 0x3002u);
    // 0x7FFFFFFF (the saturated value) + 2 does not wrap; the area is simply one byte.
    EXPECT_EQ(ReadChipDefinition(path_, "Wrap").skip_halfword, 0x80000000u);
    EXPECT_FALSE(ReadChipDefinition(path_, "Plain").skip_halfword.has_value());
}

TEST_F(ChipDefFile, DownloadKeysAreReadAsLists) {
    Write(std::string("[C]\n") + kComplete + "StartAddress=0\nEndAddress=FF\nClock=8MHz,,16MHz\n" +
          "Baud=9600,19200\nBaud2=,38400\n");
    const DownloadKeys keys = ReadDownloadKeys(path_, "c");
    EXPECT_EQ(keys.download_file, "a.bin");
    EXPECT_EQ(keys.clocks, (std::vector<std::string>{"8MHz", "16MHz"}));
    EXPECT_EQ(keys.baud, (std::vector<std::int32_t>{9600, 19200}));
    EXPECT_EQ(keys.baud2, (std::vector<std::int32_t>{38400}));
}

}  // namespace
}  // namespace mirelle

namespace mirelle {
namespace {

// The chip definitions shipped with the program: every sample chip is listed,
// the incomplete one is not, and the multi-area chip spans two image windows.
TEST(ShippedChipDefinitions, ListTheSampleChips) {
    const std::string path = std::string(MIRELLE_SOURCE_DIR) + "/data/CHIPDEF.INI";
    EXPECT_EQ(ListTargets(path), (std::vector<std::string>{"TQ4A01", "TQ4A02", "TQ4A03", "TQ7C01", "TQ7C02/03",
                                                           "TQ9B10", "TQ9B20"}));
    const ChipDefinition multi = ReadChipDefinition(path, "TQ9B10");
    EXPECT_EQ(multi.area_count, 4);
    EXPECT_EQ(multi.row_start[2], "20000000H");
    EXPECT_EQ(ReadChipDefinition(path, "TQ4A01").clocks.size(), 3u);
    EXPECT_EQ(ReadDownloadKeys(path, "TQ7C02/03").baud2, (std::vector<std::int32_t>{57600, 115200}));
}

}  // namespace
}  // namespace mirelle

#include "engine/chip_problems.h"

namespace mirelle {
namespace {

TEST_F(ChipDefFile, ValuesThatReadOtherwiseThanWrittenRefuseTheChipAndOddListsAreTold) {
    const struct {
        std::string keys;
        std::vector<std::string> texts;
        bool refused;
    } cases[] = {
        {"StartAddress=0x0\nEndAddress=0xFFFF\nBaud=9600\n", {}, false},
        {"StartAddress=0x7FFFFFFF\nEndAddress=0x7FFFFFFF\nBaud=9600\n", {}, false},
        {"StartAddress=0xFFFF8000\nEndAddress=0xFFFFFFFF\nBaud=9600\n",
         {"CHIPDEF.INI [C] StartAddress entry 1 (0xFFFF8000) is 0x80000000 or more, which a CHIPDEF.INI value cannot "
          "hold (it reads as 0x7FFFFFFF); the chip is refused",
          "CHIPDEF.INI [C] EndAddress entry 1 (0xFFFFFFFF) is 0x80000000 or more, which a CHIPDEF.INI value cannot "
          "hold (it reads as 0x7FFFFFFF); the chip is refused"},
         true},
        {"StartAddress=0\nEndAddress=FF\nBaud=9600,0\n",
         {"CHIPDEF.INI [C] Baud entry 2 (0) is no rate (it must be above 0); the chip is refused"}, true},
        {"StartAddress=0,2000\nEndAddress=FF,1000,3000\nBaud=9600\n",
         {"CHIPDEF.INI [C] area 2: StartAddress 2000 lies above EndAddress 1000; the area holds nothing",
          "CHIPDEF.INI [C] StartAddress has 2 entries but EndAddress 3; only the first 2 areas are used"},
         false},
        {"StartAddress=0,1,2,3,4,5,6,7,8,9,A\nEndAddress=0,1,2,3,4,5,6,7,8,9,A\nBaud=9600\n",
         {"CHIPDEF.INI [C] StartAddress and EndAddress list 11 areas; only the first 10 are used"}, false},
    };
    for (const auto& c : cases) {
        Write(std::string("[C]\n") + kComplete + "Clock=10MHz,12MHz\n" + c.keys);
        const engine::ChipCheck check = engine::CheckChip(path_, "C");
        EXPECT_EQ(check.texts, c.texts) << c.keys;
        EXPECT_EQ(check.refusal.empty(), !c.refused) << c.keys;
    }
    // How the values read stays as it was.
    EXPECT_EQ(ReadChipDefinition(path_, "C").area_count, kMaxAreas);
}

}  // namespace
}  // namespace mirelle
