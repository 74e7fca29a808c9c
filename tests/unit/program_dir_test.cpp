// The program folder of a build folder, an unpacked archive and an installed
// build, and the per-user folder filled from the installed data.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/system.h"
#include "support/program_folder.h"

namespace mirelle {
namespace {

class ProgramDirTest : public test::ProgramFolderTest {
protected:
    ProgramDirTest() : ProgramFolderTest("mirelle-progdir-") {}
};

TEST_F(ProgramDirTest, ChoosesByTheRule) {
    std::filesystem::create_directories(DirPath() / "build");
    WriteFile("build/CHIPDEF.INI", "[CPU]\n");
    std::filesystem::create_directories(DirPath() / "usr/bin");
    const std::string build = Dir() + "build/";
    const std::string usr_bin = Dir() + "usr/bin";
    struct Case {
        sys::ProgramDirSources in;
        std::string dir, seed;
    } cases[] = {
        {{"/opt/m", build, "/x", "/home/u"}, "/opt/m/", ""},
        {{"", build, "/x", "/home/u"}, build, ""},
        {{"", usr_bin, "", "/home/u"}, "/home/u/.config/mirelle/", Dir() + "usr/share/mirelle/"},
        {{"", usr_bin + "/", "/cfg/", "/home/u"}, "/cfg/mirelle/", Dir() + "usr/share/mirelle/"},
        // A relative XDG_CONFIG_HOME is ignored, as the XDG rules ask.
        {{"", usr_bin, "cfg", "/home/u/"}, "/home/u/.config/mirelle/", Dir() + "usr/share/mirelle/"},
    };
    for (const Case& c : cases) {
        const sys::ProgramDirChoice got = sys::ChooseProgramDir(c.in);
        EXPECT_EQ(got.dir, c.dir) << c.in.executable_dir << " " << c.in.xdg_config_home;
        EXPECT_EQ(got.seed_dir, c.seed) << c.in.executable_dir;
    }
}

TEST_F(ProgramDirTest, FillsWhatIsMissingAndKeepsTheUsersFiles) {
    std::filesystem::create_directories(DirPath() / "share/DownLoad");
    WriteFile("share/CHIPDEF.INI", "installed");
    WriteFile("share/DownLoad/a.bin", "A");
    std::filesystem::create_directories(DirPath() / "user");
    WriteFile("user/CHIPDEF.INI", "mine");
    ASSERT_TRUE(sys::FillMissingFiles(Dir() + "share", Dir() + "user/new/"));
    EXPECT_EQ(ReadFile("user/new/DownLoad/a.bin"), "A");
    ASSERT_TRUE(sys::FillMissingFiles(Dir() + "share/", Dir() + "user"));
    EXPECT_EQ(ReadFile("user/CHIPDEF.INI"), "mine");
    EXPECT_EQ(ReadFile("user/DownLoad/a.bin"), "A");
    // A folder that cannot be made is a failure; a missing source is not.
    WriteFile("file", "x");
    EXPECT_FALSE(sys::FillMissingFiles(Dir() + "share", Dir() + "file/sub"));
    EXPECT_TRUE(sys::FillMissingFiles(Dir() + "none", Dir() + "empty"));
    EXPECT_TRUE(sys::IsDirectory(Dir() + "empty"));
}

}  // namespace
}  // namespace mirelle
