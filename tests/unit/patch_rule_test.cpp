// Patch rules: their syntax and the bytes each encoding writes for a value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hexfile/patch_rule.h"

namespace mirelle::hexfile {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (auto v : bytes) std::snprintf(b, sizeof b, "%02X", v), s += b;
    return s;
}

TEST(PatchRule, EncodesACounterValueInEachEncoding) {
    struct Case {
        const char* rule;
        std::uint64_t value;
        const char* bytes;  // hex; "" when the value is refused
        const char* text;   // the value's text, or a part of the refusal
    };
    const Case cases[] = {
        {"0x7F00:4:counter=1", 0x123456, "56341200", "1193046"},
        {"0x7F00:4:counter=1,order=be", 0x123456, "00123456", "1193046"},
        {"0x7F00:2:counter=0", 0xFFFF, "FFFF", "65535"},
        {"0x7F00:2:counter=0", 0x10000, "", "passed its end 65535"},
        {"0x7F00:4:counter=1,enc=bcd", 123456, "00123456", "123456"},
        {"0x7F00:4:counter=1,enc=bcd,order=le", 123456, "56341200", "123456"},
        {"0x7F00:3:counter=1,enc=bcd", 1000000, "", "passed its end 999999"},
        {"0x7F10:9:counter=1,enc=dec,prefix=SN-", 123, "534E2D303030313233", "SN-000123"},
        {"0x7F10:8:counter=1,enc=dec,prefix=SN-,digits=4", 42, "534E2D3030343200", "SN-0042"},
        {"0x7F10:6:counter=1,enc=hex,suffix=h", 0xBEEF, "304245454668", "0BEEFh"},
        {"0x7F10:4:counter=1,enc=dec,end=500", 500, "30353030", "0500"},
        {"0x7F10:4:counter=1,enc=dec,end=500", 501, "", "passed its end 500"},
        {"0x7F00:8:counter=1,order=be", 0xFFFFFFFFFFFFFFFFull, "FFFFFFFFFFFFFFFF", "18446744073709551615"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        PatchRule rule;
        std::string error;
        ASSERT_TRUE(ParsePatchRule(c.rule, rule, error)) << error;
        PatchValue v;
        const bool ok = EncodeCounter(rule, c.value, v, error);
        EXPECT_EQ(ok, *c.bytes != 0) << error;
        if (ok) {
            EXPECT_EQ(Hex(v.bytes), c.bytes);
            EXPECT_EQ(v.text, c.text);
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(PatchRule, TakesGivenValuesAsHexBytesOrText) {
    struct Case {
        const char* rule;
        const char* given;
        const char* bytes;  // "" : refused
    };
    const Case cases[] = {
        {"0x7F20:6:list=macs.txt", "00:1a:2B:3C:4D:5E\r\n", "001A2B3C4D5E"},
        {"0x7F20:6:list=macs.txt", "001A2B3C4D5E", "001A2B3C4D5E"},
        {"0x7F20:6:list=macs.txt", "00:1A:2B:3C:4D", ""},      // 5 bytes for 6
        {"0x7F20:6:list=macs.txt", "00:1A:2B:3C:4D:5G", ""},   // no hex
        {"0x7F20:6:command=./next-mac", "   ", ""},           // nothing
        {"0x7F20:6:command=./next-mac a,b,enc=text", "AB", ""},  // the command takes the rest: still bytes
        {"0x7F20:6:enc=text,command=./next-mac", "AB-7", "41422D370000"},
        {"0x7F20:3:enc=text,list=ids.txt", "ABCD", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rule) + " <- " + c.given);
        PatchRule rule;
        std::string error;
        ASSERT_TRUE(ParsePatchRule(c.rule, rule, error)) << error;
        PatchValue v;
        EXPECT_EQ(EncodeGiven(rule, c.given, v, error), *c.bytes != 0) << error;
        if (*c.bytes) {
            EXPECT_EQ(Hex(v.bytes), c.bytes);
        }
    }
}

TEST(PatchRule, RefusesRulesThatCannotWork) {
    const char* const bad[] = {
        "0x7F00:4",                                 // no source
        "0x7F00:0:counter=1",                       // no bytes
        "0x7F00:4:counter=1,list=a.txt",            // two sources
        "0x7F00:2:counter=70000",                   // start does not fit
        "0x7F00:2:counter=1,end=70000",             // end does not fit
        "0x7F00:4:counter=9,end=5",                 // end below start
        "0x7F00:4:counter=1,step=0",
        "0x7F00:4:counter=1,enc=ascii",
        "0x7F00:4:counter=1,enc=dec,prefix=SN-00",  // no room for a digit
        "0x7F00:4:counter=1,prefix=SN",             // a prefix on binary
        "0x7F00:4:list=a.txt,step=2",
        "0x7F00:4:counter=1,color=red",
        "0xFFFFFFFE:4:counter=1",                   // past 32 bits
    };
    for (const char* text : bad) {
        PatchRule rule;
        std::string error;
        EXPECT_FALSE(ParsePatchRule(text, rule, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(PatchRule, CounterValuesFollowStartAndStepUpToTheEnd) {
    PatchRule rule;
    std::string error;
    ASSERT_TRUE(ParsePatchRule("0x7F00:1:counter=250,step=2,overwrite,burn,name=sn", rule, error)) << error;
    EXPECT_TRUE(rule.overwrite && rule.burn);
    EXPECT_EQ(PatchRuleKey(rule), "name:sn");
    EXPECT_EQ(CounterValue(rule, 0), 250u);
    EXPECT_EQ(CounterValue(rule, 2), 254u);
    EXPECT_EQ(CounterValue(rule, 3), std::nullopt);  // 256 does not fit a byte
    EXPECT_EQ(CounterValue(rule, ~0ull), std::nullopt);
}

}  // namespace
}  // namespace mirelle::hexfile
