// Text files with CR LF line ends, and the file-system helpers.
#include "platform/textfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file.h"
#include "platform/system.h"

namespace mirelle {
namespace {

std::filesystem::path U8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string TempPath(const std::string& name) { return testing::TempDir() + "mirelle-text-" + name; }

TEST(TextFile, LinesEndAtLfWithOrWithoutCrAndLongLinesStayWhole) {
    const std::string path = TempPath("read.txt");
    const std::string long_line(100000, 'S');
    std::ofstream(path, std::ios::binary) << "S0\r\n\nS1 x\n" << long_line << "\r\nlast\r";
    {
        LineReader reader(path);
        ASSERT_TRUE(reader.IsOpen());
        std::vector<std::string> lines;
        std::vector<int> numbers;
        for (std::string line; reader.Next(line);) {
            lines.push_back(line);
            numbers.push_back(reader.LineNumber());
        }
        // Only CR LF ends a line with a CR: the lone CR at the very end stays.
        EXPECT_EQ(lines, (std::vector<std::string>{"S0", "", "S1 x", long_line, "last\r"}));
        EXPECT_FALSE(reader.Failed());
        EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5}));
    }  // closed: Windows removes no open file
    std::filesystem::remove(path);
    EXPECT_FALSE(LineReader(path).IsOpen());
    EXPECT_FALSE(LineReader(testing::TempDir()).IsOpen());  // a folder is no file
}

TEST(TextFile, WritingStoresEveryLfAsCrLf) {
    const std::string path = TempPath("write.txt");
    ASSERT_TRUE(WriteTextFile(path, "OK\nline\r\n"));
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        EXPECT_EQ(s.str(), "OK\r\nline\r\r\n");
    }
    std::filesystem::remove(path);
    EXPECT_FALSE(WriteTextFile(testing::TempDir() + "no/such/folder/x.txt", "x"));
}

// Whole files come back byte for byte, across the reader's chunk size too;
// what is no regular file reads as nothing.
TEST(TextFile, WholeFilesReadByteForByte) {
    const std::string path = TempPath("whole.bin");
    const std::string bytes = std::string("a\0\r\n\xff", 5);
    for (const std::string& content : {std::string(), bytes, std::string(65536, 'x'), std::string(65536, 'x') + bytes}) {
        std::ofstream(path, std::ios::binary) << content;
        std::string read = "stale";
        EXPECT_TRUE(sys::ReadWholeFile(path, read)) << content.size();
        EXPECT_EQ(read, content) << content.size();
    }
    std::filesystem::remove(path);
    for (const std::string& none : {path, testing::TempDir()}) {
        std::string read = "stale";
        EXPECT_FALSE(sys::ReadWholeFile(none, read)) << none;
        EXPECT_EQ(read, "") << none;
    }
}

TEST(SystemHelpers, PathPartsAndTheProgramFolder) {
    EXPECT_EQ(sys::FileNamePart("/a/b/prog.mot"), "prog.mot");
    EXPECT_EQ(sys::FileNamePart("C:\\work\\prog.hex"), "prog.hex");
    EXPECT_EQ(sys::FileNamePart("prog.hex"), "prog.hex");
    EXPECT_EQ(sys::DirectoryPart("/a/b/prog.mot"), "/a/b/");
    EXPECT_EQ(sys::DirectoryPart("prog.mot"), "");

    const std::string saved = sys::GetEnv("MIRELLE_HOME");
    const auto is_separator = [](char c) { return c == '/' || c == '\\'; };
    // A folder named without a final separator gets one (the platform's own).
    sys::SetEnv("MIRELLE_HOME", "/opt/mirelle");
    const std::string named = sys::ProgramDir();
    EXPECT_EQ(named.substr(0, 12), "/opt/mirelle");
    EXPECT_EQ(named.size(), 13u);
    EXPECT_TRUE(is_separator(named.back()));
    sys::SetEnv("MIRELLE_HOME", "/opt/mirelle/");
    EXPECT_EQ(sys::ProgramDir(), "/opt/mirelle/");
    sys::UnsetEnv("MIRELLE_HOME");
    EXPECT_EQ(sys::GetEnv("MIRELLE_HOME"), "");
    if (!saved.empty()) sys::SetEnv("MIRELLE_HOME", saved);
    const std::string dir = sys::DirectoryPart(sys::ExecutablePath());
    EXPECT_TRUE(is_separator(dir.back()));

    std::string shortened;
    EXPECT_TRUE(sys::ShortPathName(dir, shortened));
    EXPECT_TRUE(sys::IsDirectory(shortened));
    EXPECT_FALSE(sys::ShortPathName(dir + "does-not-exist", shortened));
    EXPECT_TRUE(sys::IsDirectory(dir));
    EXPECT_FALSE(sys::IsDirectory(sys::ExecutablePath()));
}

// Names outside ASCII and long names: the program's texts are UTF-8, and so
// are the names it hands to the system (as wide strings on Windows). The short
// form of a name (8.3 on Windows) reaches the same file.
TEST(SystemHelpers, NamesOutsideAsciiAndTheirShortFormsReachTheSameFile) {
    const std::string dir = testing::TempDir() + "mirelle-\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 folder";  // "テスト"
    std::filesystem::remove_all(U8Path(dir));
    std::filesystem::create_directories(U8Path(dir));
    ASSERT_TRUE(sys::IsDirectory(dir));
    const std::string path = dir + "/a long program file name \xC3\xA9.mot";
    ASSERT_TRUE(WriteTextFile(path, "S0\nS9\n"));
    EXPECT_TRUE(sys::FileExists(path));
    EXPECT_TRUE(sys::IsRegularFile(path));
    EXPECT_TRUE(std::filesystem::exists(U8Path(path)));  // the name the user sees

    std::string shortened;
    ASSERT_TRUE(sys::ShortPathName(path, shortened));
    {
        std::vector<std::string> lines;
        LineReader reader(shortened);
        for (std::string line; reader.Next(line);) lines.push_back(line);
        EXPECT_EQ(lines, (std::vector<std::string>{"S0", "S9"}));
    }

    ASSERT_TRUE(sys::ReplaceFileContents(path, "replaced"));
    std::string whole;
    EXPECT_TRUE(sys::ReadWholeFile(path, whole));
    EXPECT_EQ(whole, "replaced");
    {
        LineReader again(path);
        std::string line;
        EXPECT_TRUE(again.Next(line));
        EXPECT_EQ(line, "replaced");
    }
    EXPECT_TRUE(sys::RemoveFile(path));
    EXPECT_FALSE(sys::FileExists(path));
    std::filesystem::remove_all(U8Path(dir));
}

}  // namespace
}  // namespace mirelle
