#include "buffer/SRecord.h"

#include "BufferTestUtil.h"

#include <gtest/gtest.h>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Lines;
using buffertest::Seq;

TEST(SRecordWriter, ShortAndLongForms)
{
    {
        const Bytes image = Seq(20);
        std::string out;
        WriteSRecords(out, image.data(), image.size());
        const auto lines = Lines(out);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "S1130000000102030405060708090A0B0C0D0E0F74");
        EXPECT_EQ(lines[1], "S107001010111213A2");
        EXPECT_EQ(lines[2], "S9030000FC");
        EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
    }
    {
        const Bytes image(0x10010, 0xFF);
        std::string out;
        WriteSRecords(out, image.data(), image.size());
        const auto lines = Lines(out);
        ASSERT_EQ(lines.size(), 0x1001u + 1);
        EXPECT_EQ(lines[0].substr(0, 12), "S31500000000");
        EXPECT_EQ(lines[0x1000].substr(0, 12), "S31500010000");
        EXPECT_EQ(lines.back(), "S9030000FC");
    }
    std::string out;
    const std::uint8_t data[] = { 1, 2 };
    EXPECT_TRUE(WriteSRecord(out, 2, 0x123456, data, 2));
    EXPECT_EQ(out, "S20612345601025A\r\n");
    EXPECT_FALSE(WriteSRecord(out, 4, 0, data, 2));
    EXPECT_FALSE(WriteSRecord(out, 1, 0, data, 253));
}

TEST(SRecordReader, RecordTypes)
{
    struct Case {
        const char* name;
        std::string text;
        int result;
        Bytes image;
        int skipped;
    } cases[] = {
        { "S0 header skipped, S1 data, S9 end", "S00600004844521B\nS107001010111213A2\nS9030000FC\n", 0,
            Bytes { 0x10, 0x11, 0x12, 0x13 }, 0 },
        { "S2 address", "S20612345601025A\n", 1, Bytes { 1, 2 }, 0 },
        { "S3 address", "S30700000010ABCD70\n", 1, Bytes { 0xAB, 0xCD }, 0 },
        { "S5 count ignored", "S5030001FB\nS1050000AB014E\n", 1, Bytes { 0xAB, 0x01 }, 0 },
        { "bad checksum skipped", "S1050000AB014F\nS1050002CD012A\n", 1, Bytes { 0xCD, 0x01 }, 1 },
        { "records after the end are not read", "S1050000AB014E\nS9030000FC\nS1050002CD012A\n", 0, Bytes { 0xAB, 0x01 },
            0 },
        { "junk and wrong lengths skipped", "hello\nS1060000AB014E\nS4030000FC\n\nS1050000AB014E\n", 1,
            Bytes { 0xAB, 0x01 }, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> buffer;
        CSRecordReader reader(buffer, 0xEE, 1 << 24);
        EXPECT_EQ(reader.ParseText(c.text), c.result);
        EXPECT_EQ(reader.SkippedLines(), c.skipped);
        ASSERT_GE(buffer.size(), c.image.size());
        const std::size_t at = reader.HighestDataEnd() - c.image.size();
        EXPECT_EQ(Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end()), c.image);
        if (at > 0) {
            EXPECT_EQ(buffer[0], 0xEE);
        }
    }
}

TEST(SRecordReader, RefusesAddressesBeyondTheLimit)
{
    std::vector<std::uint8_t> buffer;
    CSRecordReader reader(buffer, 0xFF, 1 << 20);
    EXPECT_EQ(reader.ParseText("S307FFFFFF00ABCD83\n"), 0);
    EXPECT_EQ(reader.StopBox().text, "Hex address beyond buffer limit");
    EXPECT_TRUE(buffer.empty());
}

TEST(SRecordReader, Sniffing)
{
    EXPECT_TRUE(LooksLikeSRecords("\r\n  \nS00600004844521B\n"));
    EXPECT_FALSE(LooksLikeSRecords(":00000001FF\nS1\n"));
    EXPECT_FALSE(LooksLikeSRecords("Some text"));
    EXPECT_FALSE(LooksLikeSRecords(""));
}

} // namespace
