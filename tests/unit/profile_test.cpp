// The INI functions: lookup rules, the integer reading, and writing that keeps
// every byte it does not own.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mirelle::profile {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ProfileLookup, NamesMatchWithoutCaseAndTheFirstMatchWins) {
    const std::string text =
        "; a comment [Com]\r\n"
        "[com]\r\nComNo = 3 \r\ncomno=4\r\n"
        "[Sound]\r\nErrorPass=\"/tmp/a b.wav\"\r\nEndPass='x'\r\nOdd=\"unbalanced'\r\n"
        "[COM]\r\nComNo=9\r\nOther=1\r\n";
    EXPECT_EQ(GetStringFromText(text, "COM", "COMNO", "d"), "3");
    EXPECT_EQ(GetStringFromText(text, " Com ", "ComNo", "d"), "3");  // names are trimmed
    // A key only in a later duplicate section is not seen: the first section decides.
    EXPECT_EQ(GetStringFromText(text, "Com", "Other", "none"), "none");
    EXPECT_EQ(GetStringFromText(text, "Sound", "ErrorPass", ""), "/tmp/a b.wav");
    EXPECT_EQ(GetStringFromText(text, "Sound", "EndPass", ""), "x");
    EXPECT_EQ(GetStringFromText(text, "Sound", "Odd", ""), "\"unbalanced'");
    EXPECT_EQ(GetStringFromText(text, "Missing", "ComNo", "dflt"), "dflt");
    EXPECT_EQ(GetStringFromText(text, "Sound", "Missing", "<none>"), "<none>");
    // Comments and the key-less lines never define sections.
    EXPECT_EQ(GetSectionNamesFromText(text), (std::vector<std::string>{"com", "Sound"}));
}

TEST(ProfileLookup, ResultsAreCutToTheBufferAndLfOnlyFilesRead) {
    const std::string text = "[Recent]\nWrite File=" + std::string(300, 'p') + "\nCPU=2";
    EXPECT_EQ(GetStringFromText(text, "Recent", "Write File", "", 260).size(), 259u);
    EXPECT_EQ(GetStringFromText(text, "Recent", "Write File", "", 301).size(), 300u);
    EXPECT_EQ(GetStringFromText(text, "Recent", "CPU", ""), "2");  // last line without an end
    EXPECT_EQ(GetStringFromText(text, "Recent", "Nope", "abcdef", 4), "abc");  // defaults are cut too
}

TEST(ProfileInt, ReadsAsTheProfileIntegerRuleSays) {
    EXPECT_EQ(ParseProfileInt("12"), 12);
    EXPECT_EQ(ParseProfileInt("  -7"), -7);
    EXPECT_EQ(ParseProfileInt("+5x"), 5);
    EXPECT_EQ(ParseProfileInt("0x1000"), 0x1000);
    EXPECT_EQ(ParseProfileInt("0XfF"), 255);
    EXPECT_EQ(ParseProfileInt("abc"), 0);
    EXPECT_EQ(ParseProfileInt("12abc"), 12);
    EXPECT_EQ(ParseProfileInt("0xFFFFFFFF"), -1);  // wraps as a 32-bit register
    EXPECT_EQ(ParseProfileInt("4294967297"), 1);
}

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("mirelle-profile-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "Customize.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(ProfileFile, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
    EXPECT_EQ(GetString(path_, "Com", "ComNo", "1"), "1");
    EXPECT_EQ(GetInt(path_, "Com", "ComNo", 1), 1);
    EXPECT_TRUE(GetSectionNames(path_).empty());
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(ProfileFile, EmptyValueGivesTheIntegerDefault) {
    std::ofstream(path_) << "[Com]\nComNo=\nOther=abc\n";
    EXPECT_EQ(GetInt(path_, "Com", "ComNo", 7), 7);
    EXPECT_EQ(GetInt(path_, "Com", "Other", 7), 0);  // present but no digits: 0
}

TEST_F(ProfileFile, WritingCreatesTheFileWithCrLfLines) {
    ASSERT_TRUE(WriteString(path_, "Com", "ComNo", "12"));
    ASSERT_TRUE(WriteString(path_, "Sound", "Sound", "1"));
    EXPECT_EQ(Slurp(path_), "[Com]\r\nComNo=12\r\n[Sound]\r\nSound=1\r\n");
    EXPECT_EQ(GetInt(path_, "com", "comno", 0), 12);
}

TEST_F(ProfileFile, WritingReplacesInPlaceAppendsToTheSectionAndKeepsEverythingElse) {
    const std::string before =
        "; written by hand\n[Com]\nComNo = 3   ; old\n\n[Tool]\nToolTips=1\n[Ports]\nCOM1=/dev/ttyUSB0";
    std::ofstream(path_, std::ios::binary) << before;
    ASSERT_TRUE(WriteString(path_, "COM", "comno", "4"));
    ASSERT_TRUE(WriteString(path_, "Tool", "Extra", "x"));
    ASSERT_TRUE(WriteString(path_, "Ports", "COM2", "/dev/ttyUSB1"));
    EXPECT_EQ(Slurp(path_),
              "; written by hand\n[Com]\ncomno=4\n\n[Tool]\nToolTips=1\nExtra=x\r\n[Ports]\nCOM1=/dev/ttyUSB0\r\n"
              "COM2=/dev/ttyUSB1\r\n");
}

TEST(ProfileWrite, AnEntryAfterALastLineEndingInALoneCrStartsItsOwnLine) {
    const std::string written = WriteStringToText("[Com]\r\nOther=1\r", "Com", "ComNo", "5");
    EXPECT_EQ(written, "[Com]\r\nOther=1\r\nComNo=5\r\n");
    EXPECT_EQ(GetStringFromText(written, "Com", "ComNo", ""), "5");
}

TEST_F(ProfileFile, ALineEndInAValueCannotSplitTheEntry) {
    ASSERT_TRUE(WriteString(path_, "Recent", "Write File", "/a\nb\r\n[Evil]"));
    EXPECT_EQ(GetSectionNames(path_), (std::vector<std::string>{"Recent"}));
    EXPECT_EQ(GetString(path_, "Recent", "Write File", ""), "/a b  [Evil]");
}

TEST_F(ProfileFile, AFailedWriteReportsFailureAndLeavesNoTemporary) {
    // A folder where the file should be: it cannot be read or replaced, even by root.
    std::filesystem::create_directories(path_);
    std::ofstream(path_ + "/inside") << "x";
    EXPECT_FALSE(WriteString(path_, "Com", "ComNo", "5"));
    EXPECT_EQ(GetString(path_, "Com", "ComNo", "1"), "1");  // and reads as a missing file
    EXPECT_TRUE(std::filesystem::is_directory(path_));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(ProfileFile, WritingIntoAMissingFolderFailsWithoutCrashing) {
    EXPECT_FALSE(WriteString((dir_ / "no" / "such.ini").string(), "A", "B", "C"));
}

TEST_F(ProfileFile, KeepsTheFilePermissions) {
    std::ofstream(path_) << "[A]\n";
    std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // What the system keeps of them: 0600 on Linux, "not read-only" on Windows.
    const auto before = std::filesystem::status(path_).permissions();
    ASSERT_TRUE(WriteString(path_, "A", "B", "1"));
    EXPECT_EQ(std::filesystem::status(path_).permissions(), before);
}


// Reads from a file are answered from its parsed form; they must agree with
// the rules on the text in every case, and see every change of the file.
TEST_F(ProfileFile, CachedFileReadsAnswerAsTheTextRules) {
    const std::string text =
        "Loose=1\r\n[A]\r\nk = 1\r\nK=2\r\n[ b ]\nx='q'\n[a]\nk=3\nonly=4\n[Open\nv=5\r\n[]\r\ne=6\r\n[Tail]\rz=7";
    std::ofstream(path_, std::ios::binary) << text;
    const std::string sections[] = {"A", "a", " B ", "a", "Open", "", "Tail", "Missing", "Loose"};
    const std::string keys[] = {"k", "K", "x", "only", "v", "e", "z", "Loose", "missing"};
    for (const auto& s : sections)
        for (const auto& k : keys) {
            EXPECT_EQ(GetString(path_, s, k, "d"), GetStringFromText(text, s, k, "d")) << s << "/" << k;
            EXPECT_EQ(GetString(path_, s, k, "d", 1), "") << s << "/" << k;
        }
    EXPECT_EQ(GetSectionNames(path_), GetSectionNamesFromText(text));
}

TEST_F(ProfileFile, ReadsSeeEveryChangeOfTheFile) {
    namespace fs = std::filesystem;
    auto rewrite_in_place = [&](const std::string& t) { std::ofstream(path_, std::ios::binary | std::ios::trunc) << t; };
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 10);
    auto age = [&] { fs::last_write_time(path_, old); };  // an old stamp, so the parsed form is kept
    rewrite_in_place("[S]\r\nk=1\r\n");
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 1);
    // In place, same size, right after the read.
    rewrite_in_place("[S]\r\nk=2\r\n");
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 2);
    // Same size and the same old modification time: the change time still differs.
    age();
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 2);
    rewrite_in_place("[S]\r\nk=3\r\n");
    age();
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 3);
    // Our own write, another file renamed over it, removal.
    ASSERT_TRUE(WriteString(path_, "S", "k", "4"));
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 4);
    std::ofstream((dir_ / "other").string(), std::ios::binary) << "[S]\r\nk=5\r\n";
    fs::rename(dir_ / "other", path_);
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 5);
    fs::remove(path_);
    EXPECT_EQ(GetInt(path_, "S", "k", 0), 0);
    EXPECT_TRUE(GetSectionNames(path_).empty());
}

}  // namespace
}  // namespace mirelle::profile
