#include <gtest/gtest.h>

#include "texts/version_text.h"

namespace mirelle {
namespace {

TEST(VersionText, FromProductVersion) {
    EXPECT_EQ(FormatVersionText(1, 805, false), "V01,L08");
    EXPECT_EQ(FormatVersionText(2, 1234, true), "V02,L12 b34");
    EXPECT_EQ(FormatVersionText(0, 5, true), "V00,L00 b05");
    EXPECT_EQ(FormatVersionText(123, 12345, false), "V123,L123");
}

TEST(VersionText, ThisBuild) {
    // The build is 0.1.0.805, not a pre-release unless configured so.
    EXPECT_EQ(ProductVersionText(), MIRELLE_PRERELEASE ? "V01,L08 b05" : "V01,L08");
}

}  // namespace
}  // namespace mirelle
