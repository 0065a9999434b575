#include "link/BlackBox.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::array<std::uint8_t, 256> Image(std::uint8_t count, const std::string& text, std::uint8_t first = 0)
{
    std::array<std::uint8_t, 256> bytes{};
    bytes[0] = first;
    bytes[1] = count;
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 254), bytes.begin() + 2);
    return bytes;
}

struct Case {
    const char* what;
    std::array<std::uint8_t, 256> bytes;
    bool ok;
    size_t entries;
    std::uint32_t total;
    const char* rejectedAt; // "at byte N"
};

std::string TwentyFive()
{
    std::string text;
    for (int i = 0; i < 25; ++i)
        text += "D" + std::to_string(i) + "," + std::to_string(i + 1) + ",";
    return text;
}

std::array<std::uint8_t, 256> EndingAt(size_t lastIndex)
{
    // One entry whose final comma sits at `lastIndex`: "name,1," with the name filling the rest.
    const size_t nameLength = lastIndex + 1 - 2 - 3;
    return Image(1, std::string(nameLength, 'N') + ",1,");
}

TEST(BlackBox, ImagesParseOrAreRejectedWhereTheyGoWrong)
{
    std::array<std::uint8_t, 256> erased;
    erased.fill(0xFF);
    std::array<std::uint8_t, 256> pastEnd = EndingAt(255);
    pastEnd[255] = 'x'; // the final comma is gone: the count runs off the end
    const Case cases[] = {
        {"no entries", Image(0, ""), true, 0, 0, nullptr},
        {"one entry", Image(1, "27C256,12,"), true, 1, 12, nullptr},
        {"25 entries", Image(25, TwentyFive()), true, 25, 325, nullptr},
        {"never written", erased, true, 0, 0, nullptr},
        {"first byte not zero", Image(1, "A,1,", 7), false, 0, 0, "at byte 0"},
        {"count beyond the pairs", Image(3, "A,1,B,2,"), false, 0, 0, "at byte 10"},
        {"missing final comma", Image(1, "A,1"), false, 0, 0, "at byte 4"},
        {"count with a letter", Image(1, "A,1x,"), false, 0, 0, "at byte 4"},
        {"11-digit count", Image(1, "A,12345678901,"), false, 0, 0, "at byte 4"},
        {"count above 32 bits", Image(1, "A,4294967296,"), false, 0, 0, "at byte 4"},
        {"empty name", Image(1, ",5,"), false, 0, 0, "at byte 2"},
        {"control character", Image(1, "A\tB,5,"), false, 0, 0, "at byte 2"},
        {"last pair ends at byte 255", EndingAt(255), true, 1, 1, nullptr},
        {"last pair runs past byte 255", pastEnd, false, 0, 0, "at byte"},
        {"saturating total", Image(2, "A,4294967295,B,9,"), true, 2, 4294967295u, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CBlackBox box;
        box.m_Entries.push_back({"stale", "1"});
        std::string why;
        EXPECT_EQ(box.Parse(c.bytes, &why), c.ok);
        EXPECT_EQ(box.m_Entries.size(), c.entries);
        EXPECT_EQ(box.m_nTotalCount, c.total);
        EXPECT_EQ(box.m_Raw, c.bytes);
        if (c.rejectedAt)
            EXPECT_NE(why.find(c.rejectedAt), std::string::npos) << why;
        else
            EXPECT_TRUE(why.empty()) << why;
    }
}

TEST(BlackBox, EntriesKeepTheirText)
{
    CBlackBox box;
    ASSERT_TRUE(box.Parse(Image(2, "AT89C51,3,PIC16F628A,100,trailing text is ignored")));
    EXPECT_EQ(box.m_Entries, (std::vector<CHistoryEntry>{{"AT89C51", "3"}, {"PIC16F628A", "100"}}));
    EXPECT_EQ(box.m_nTotalCount, 103u);
}

TEST(BlackBox, RandomImagesParseOrRejectCleanly)
{
    std::mt19937 rng(7);
    const char alphabet[] = "AB1,,,09\t\xFF";
    int accepted = 0;
    for (int n = 0; n < 5000; ++n) {
        std::array<std::uint8_t, 256> bytes;
        const bool structured = n % 2 == 0;
        for (auto& b : bytes)
            b = structured ? static_cast<std::uint8_t>(alphabet[rng() % (sizeof(alphabet) - 1)])
                           : static_cast<std::uint8_t>(rng());
        if (structured) {
            bytes[0] = 0;
            bytes[1] = static_cast<std::uint8_t>(rng() % 6);
        }
        CBlackBox box;
        std::string why;
        const bool ok = box.Parse(bytes, &why);
        accepted += ok;
        EXPECT_EQ(ok, why.empty());
        if (!ok)
            EXPECT_TRUE(box.m_Entries.empty());
        else
            EXPECT_EQ(box.m_Entries.size(), bytes[1]);
    }
    EXPECT_GT(accepted, 0);
}

} // namespace
