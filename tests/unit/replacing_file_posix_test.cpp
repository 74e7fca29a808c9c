// The temporary files a killed write left beside its target go with the next
// write of that target, and nothing else does.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/replacing_file.h"
#include "support/program_folder.h"

namespace mirelle {
namespace {

namespace fs = std::filesystem;

class ReplacingFilePosix : public test::ProgramFolderTest {
protected:
    ReplacingFilePosix() : ProgramFolderTest("mirelle-parts-") {}
};

TEST_F(ReplacingFilePosix, PartsOfDeadWritersOfTheTargetAreRemoved) {
    const std::string alive = std::to_string(getpid());
    const struct {
        std::string name;
        bool stays;
    } files[] = {
        {".out.mot.part999999999-0", false},  // no such process
        {".out.mot.part999999998-12", false},
        {".out.mot.part" + alive + "-7", true},  // a writer still running
        {".other.mot.part999999999-0", true},    // another target's
        {".out.mot.part999999999-0x", true},     // not of our naming
        {".out.mot.part-0", true},
        {"out.mot.part999999999-0", true},
    };
    for (const auto& f : files) WriteFile(f.name, "x");
    ReplacingFile file(Dir() + "out.mot");
    ASSERT_TRUE(file.Write("new") && file.Commit());
    for (const auto& f : files) EXPECT_EQ(fs::exists(Dir() + f.name), f.stays) << f.name;
}

}  // namespace
}  // namespace mirelle
