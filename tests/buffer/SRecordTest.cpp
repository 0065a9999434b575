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

TEST(SRecordReader, RecordTypesAndRefusedRecords)
{
    using P = std::vector<ReadProblem>;
    struct Case {
        const char* name;
        std::string text;
        int result;
        Bytes image;
        P problems;
        int afterEnd = 0;
    } cases[] = {
        { "S0 header skipped, S1 data, S9 end", "S00600004844521B\nS107001010111213A2\nS9030000FC\n", 0,
            Bytes { 0x10, 0x11, 0x12, 0x13 }, {} },
        { "S2 address", "S20612345601025A\n", 1, Bytes { 1, 2 }, {} },
        { "S3 address", "S30700000010ABCD70\n", 1, Bytes { 0xAB, 0xCD }, {} },
        { "S5 count right", "S1050000AB014E\nS5030001FB\n", 1, Bytes { 0xAB, 0x01 }, {} },
        { "S6 count right", "S1050000AB014E\nS604000001FA\n", 1, Bytes { 0xAB, 0x01 }, {} },
        { "S5 count wrong", "S1050000AB014E\nS5030002FA\n", 1, Bytes { 0xAB, 0x01 },
            P { { 2, ProblemKind::CountMismatch } } },
        { "a damaged data record still counts", "S1050000AB014F\nS1050002CD012A\nS5030002FA\n", 1, Bytes { 0xCD, 0x01 },
            P { { 1, ProblemKind::Checksum } } },
        { "records after the end are not read", "S1050000AB014E\nS9030000FC\n\nS1050002CD012A\n", 0,
            Bytes { 0xAB, 0x01 }, {}, 4 },
        { "junk, wrong lengths, S4", "hello\nS1060000AB014E\nS4030000FC\n\nS1050000AB014E\n", 1, Bytes { 0xAB, 0x01 },
            P { { 1, ProblemKind::NotARecord }, { 2, ProblemKind::Length }, { 3, ProblemKind::UnknownType } } },
        { "cut line and bad digit", "S1050000AB\nS1050000AB0X4E\nS1050000AB014E\n", 1, Bytes { 0xAB, 0x01 },
            P { { 1, ProblemKind::Length }, { 2, ProblemKind::Digit } } },
        { "other bytes at the same address", "S1050000AB014E\nS1050000AC014D\n", 1, Bytes { 0xAB, 0x01 },
            P { { 2, ProblemKind::Overlap } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> buffer;
        CSRecordReader reader(buffer, 0xEE, 1 << 24);
        EXPECT_EQ(reader.ParseText(c.text), c.result);
        EXPECT_EQ(reader.Problems(), c.problems);
        EXPECT_EQ(reader.LineAfterEnd(), c.afterEnd);
        ASSERT_GE(buffer.size(), c.image.size());
        const std::size_t at = reader.HighestDataEnd() - c.image.size();
        EXPECT_EQ(Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end()), c.image);
        if (at > 0) {
            EXPECT_EQ(buffer[0], 0xEE);
        }
    }
}

TEST(SRecordReader, RefusesAddressesBeyondTheLimitAndTakesTheOffsetFirst)
{
    std::vector<std::uint8_t> buffer;
    CSRecordReader reader(buffer, 0xFF, 1 << 20);
    EXPECT_EQ(reader.ParseText("S307FFFFFF00ABCD83\n"), 1);
    EXPECT_EQ(reader.Problems(), (std::vector<ReadProblem> { { 1, ProblemKind::PastLimit } }));
    EXPECT_TRUE(reader.Image().AllPastLimit());
    EXPECT_TRUE(buffer.empty());

    std::vector<std::uint8_t> moved;
    CSRecordReader shifted(moved, 0xFF, 1 << 20, -0xFFFFFF00ll);
    EXPECT_EQ(shifted.ParseText("S307FFFFFF00ABCD83\n"), 1);
    EXPECT_EQ(shifted.ProblemCount(), 0);
    EXPECT_EQ(moved, (Bytes { 0xAB, 0xCD }));
}

TEST(SRecordReader, BlocksSplitAnywhereReadAsTheWholeText)
{
    const std::string body = "S00600004844521B\r\n"
                             "S1050000AB014E\r"
                             "S1050002CD012B  \n" // bad checksum, trailing blanks
                             "\r\n"
                             "S5030002FA\r\n"
                             "S9030000FC\r\n"
                             "S1050004CD0128\r\n";
    std::vector<std::uint8_t> whole;
    CSRecordReader reference(whole, 0xFF, 1 << 20);
    reference.ParseText(body);
    ASSERT_EQ(reference.ProblemCount(), 1);
    ASSERT_EQ(reference.LineAfterEnd(), 7);
    for (std::size_t cut = 1; cut < body.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<std::uint8_t> buffer;
        CSRecordReader reader(buffer, 0xFF, 1 << 20);
        const std::size_t used = reader.Parse(TextBlock { std::string_view(body).substr(0, cut), 0, false, false });
        ASSERT_LE(used, cut);
        if (!reader.Done())
            reader.Parse(TextBlock { std::string_view(body).substr(used), used, true, false });
        EXPECT_EQ(buffer, whole);
        EXPECT_EQ(reader.Problems(), reference.Problems());
        EXPECT_EQ(reader.LineAfterEnd(), 7);
    }
}

TEST(SRecordReader, Sniffing)
{
    EXPECT_TRUE(LooksLikeSRecords("\r\n  \nS00600004844521B\n"));
    EXPECT_FALSE(LooksLikeSRecords(":00000001FF\nS1\n"));
    EXPECT_FALSE(LooksLikeSRecords("Some text"));
    EXPECT_FALSE(LooksLikeSRecords(""));
}

} // namespace
