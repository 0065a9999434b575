// The strict HEX parser on good and bad text.

#include "transport/IntelHex.h"

#include <gtest/gtest.h>

namespace {

TEST(IntelHex, AcceptsWhatItShould)
{
    const auto r = intelhex::Parse(":0400100001020304E2\n:020000040000FA\r\n:0400000300000000F9\n:00000001FF");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.records.size(), 3u); // start-address records dropped, end record kept
    EXPECT_EQ(r.records[0].address, 0x0010);
    EXPECT_EQ(r.records[0].data, (std::vector<std::uint8_t> { 1, 2, 3, 4 }));
    EXPECT_EQ(r.records[1].type, intelhex::LinearBase);
    EXPECT_EQ(r.records[1].Base(), 0u);
    EXPECT_EQ(r.records[2].type, intelhex::End);

    const auto lower = intelhex::Parse(":0400100001020304e2\n:00000001ff\n");
    EXPECT_TRUE(lower.ok);
    EXPECT_EQ(intelhex::Parse(":020000021000EC\n:00000001FF\n").records[0].Base(), 0x10000u);
    EXPECT_EQ(intelhex::Parse(":020000040001F9\n:00000001FF\n").records[0].Base(), 0x10000u);
}

TEST(IntelHex, RejectsWhatItShouldNamingTheLine)
{
    struct Case {
        const char* name;
        const char* text;
        int line;
    };
    const Case cases[] = {
        { "bad checksum", ":0400100001020304E3\n:00000001FF\n", 1 },
        { "the end record alone", ":00000001FF\n", 0 },
        { "stray character in a record", ":04001000010G0304E2\n:00000001FF\n", 1 },
        { "count beyond the line", ":0500100001020304E1\n:00000001FF\n", 1 },
        { "count short of the line", ":030010000102030400\n", 1 },
        { "no colon", "0400100001020304E2\n", 1 },
        { "trailing blank", ":00000001FF \n", 1 },
        { "odd digits", ":00000001F\n", 1 },
        { "unknown type", ":00000006FA\n:00000001FF\n", 1 },
        { "base record of three bytes", ":03000004000000F9\n:00000001FF\n", 1 },
        { "missing end record", ":0400100001020304E2\r\n", 2 },
        { "empty text", "", 1 },
        { "too short for a record", ":00\n", 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = intelhex::Parse(c.text);
        if (c.line == 0) {
            EXPECT_TRUE(r.ok);
            continue;
        }
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.errorLine, c.line);
        EXPECT_EQ(r.error.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << r.error;
    }
}

} // namespace
