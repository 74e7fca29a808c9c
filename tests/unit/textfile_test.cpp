// Text files with CR LF line ends, and the file-system helpers.
#include "platform/textfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/system.h"

namespace mirelle {
namespace {

std::string TempPath(const std::string& name) { return testing::TempDir() + "mirelle-text-" + name; }

TEST(TextFile, LinesEndAtLfWithOrWithoutCrAndLongLinesStayWhole) {
    const std::string path = TempPath("read.txt");
    const std::string long_line(100000, 'S');
    std::ofstream(path, std::ios::binary) << "S0\r\n\nS1 x\n" << long_line << "\r\nlast\r";
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
    std::filesystem::remove(path);
    EXPECT_FALSE(LineReader(path).IsOpen());
    EXPECT_FALSE(LineReader(testing::TempDir()).IsOpen());  // a folder is no file
}

TEST(TextFile, WritingStoresEveryLfAsCrLf) {
    const std::string path = TempPath("write.txt");
    ASSERT_TRUE(WriteTextFile(path, "OK\nline\r\n"));
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "OK\r\nline\r\r\n");
    std::filesystem::remove(path);
    EXPECT_FALSE(WriteTextFile(testing::TempDir() + "no/such/folder/x.txt", "x"));
}

TEST(SystemHelpers, PathPartsAndTheProgramFolder) {
    EXPECT_EQ(sys::FileNamePart("/a/b/prog.mot"), "prog.mot");
    EXPECT_EQ(sys::FileNamePart("C:\\work\\prog.hex"), "prog.hex");
    EXPECT_EQ(sys::FileNamePart("prog.hex"), "prog.hex");
    EXPECT_EQ(sys::DirectoryPart("/a/b/prog.mot"), "/a/b/");
    EXPECT_EQ(sys::DirectoryPart("prog.mot"), "");

    const char* old = std::getenv("MIRELLE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("MIRELLE_HOME", "/opt/mirelle", 1);
    EXPECT_EQ(sys::ProgramDir(), "/opt/mirelle/");
    if (old) ::setenv("MIRELLE_HOME", saved.c_str(), 1);
    else ::unsetenv("MIRELLE_HOME");
    const std::string dir = sys::DirectoryPart(sys::ExecutablePath());
    EXPECT_EQ(dir.back(), '/');

    std::string shortened;
    EXPECT_TRUE(sys::ShortPathName(dir, shortened));
    EXPECT_EQ(shortened, dir);
    EXPECT_FALSE(sys::ShortPathName(dir + "does-not-exist", shortened));
    EXPECT_TRUE(sys::IsDirectory(dir));
    EXPECT_FALSE(sys::IsDirectory(sys::ExecutablePath()));
}

}  // namespace
}  // namespace mirelle
