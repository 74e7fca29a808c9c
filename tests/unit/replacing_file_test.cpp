// A file that replaces its target only when complete: an existing file keeps
// its bytes until the commit, and nothing is left behind either way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/replacing_file.h"
#include "support/program_folder.h"

namespace mirelle {
namespace {

namespace fs = std::filesystem;

class ReplacingFileTest : public test::ProgramFolderTest {
protected:
    ReplacingFileTest() : ProgramFolderTest("mirelle-replace-") {}
    std::string Read(const std::string& name) {
        std::ifstream f(Dir() + name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::size_t Entries() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(Dir()), {})); }
};

TEST_F(ReplacingFileTest, ExistingFileKeepsItsBytesUntilTheCommit) {
    WriteFile("out.mhx", "old bytes");
    for (bool commit : {false, true}) {
        {
            ReplacingFile file(Dir() + "out.mhx");
            ASSERT_TRUE(file.IsOpen());
            ASSERT_TRUE(file.Write("new\r\nbytes\r\n"));
            EXPECT_EQ(Read("out.mhx"), "old bytes");
            EXPECT_EQ(Entries(), 2u);  // the target and the temporary file beside it
            if (commit) {
                EXPECT_TRUE(file.Commit());
            }
        }
        EXPECT_EQ(Read("out.mhx"), commit ? "new\r\nbytes\r\n" : "old bytes");
        EXPECT_EQ(Entries(), 1u);
    }
}

TEST_F(ReplacingFileTest, FoldersAndMissingFoldersAreRefused) {
    fs::create_directory(Dir() + "sub.hex");
    for (const std::string& target : {Dir() + "sub.hex", Dir() + "missing/out.hex"}) {
        ReplacingFile file(target);
        EXPECT_FALSE(file.IsOpen()) << target;
        EXPECT_EQ(file.LastError(), ReplacingFile::Error::kOpen);
        EXPECT_FALSE(file.Write("x"));
    }
}

}  // namespace
}  // namespace mirelle
