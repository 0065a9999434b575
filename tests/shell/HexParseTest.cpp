#include "shell/HexParse.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* text;
    std::int32_t parseHex;
    std::int32_t parseHexString;
    std::int32_t parseDeviceId;
};

// One row per text: what each of the three parsers makes of it.
const Case kCases[] = {
    {"", 0, 0, 0},
    {"0x", 0, 0, 0},
    {"0X7fff", 0x7FFF, 0x07FFF, 0x007FFF},
    {"ff", 0xFF, 0xFF, 0xFF},
    {" 12", 0, 0x012, 0x000012},
    {"1f z", 0x1F, 0x1F00, 0x001F00},
    {"123456789", 0x23456789, 0x23456789, 0x123456},
    {"FFFFFFFF", -1, -1, 0xFFFFFF},
    {"1G", 0x1, 0x10, 0x000010},
    {"0x10", 0x10, 0x10, 0x000010},
    {"c8", 0xC8, 0xC8, 0xC8},
    {"1234567", 0x1234567, 0x1234567, 0x123456},
    {"ABCDEF12", static_cast<std::int32_t>(0xABCDEF12), static_cast<std::int32_t>(0xABCDEF12), 0xABCDEF},
    {"0x0x12", 0, 0x12, 0x000012},
    {"-1", 0, 0x01, 0x000001},
    {"1E9005", 0x1E9005, 0x1E9005, 0x1E9005},
    {"XXXXX", 0, 0, 0},
};

TEST(HexParse, Table)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        EXPECT_EQ(ParseHex(c.text), c.parseHex);
        EXPECT_EQ(ParseHexString(c.text), c.parseHexString);
        EXPECT_EQ(ParseDeviceId(c.text), c.parseDeviceId);
    }
}

TEST(HexParse, StopsAtTheEndOfAViewWithoutATerminator)
{
    const std::string text = "12345";
    EXPECT_EQ(ParseHex(std::string_view(text).substr(0, 2)), 0x12);
    EXPECT_EQ(ParseDeviceId(std::string_view(text).substr(0, 2)), 0x12);
}

} // namespace
