#include "buffer/BufferEdit.h"

#include "BufferTestUtil.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Seq;

TEST(BufferEdit, HexBytesParseStrictlyAndFormatExactly)
{
    const struct Case {
        const char* text;
        std::optional<Bytes> bytes; // none: an error
        std::size_t errorAt = 0;
    } cases[] = {
        { "E2 FB CD 00 21", Bytes { 0xE2, 0xFB, 0xCD, 0x00, 0x21 } },
        { "  e2\tfb\r\n0d ", Bytes { 0xE2, 0xFB, 0x0D } },
        { "FF", Bytes { 0xFF } },
        { "E2FB", std::nullopt, 2 }, // pairs must stand apart
        { "E2 F", std::nullopt, 4 },
        { "E2 G1", std::nullopt, 3 },
        { "0x12", std::nullopt, 1 },
        { "12,34", std::nullopt, 2 },
        { "", std::nullopt, 0 },
        { "   ", std::nullopt, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const HexBytesResult r = ParseHexBytes(c.text);
        EXPECT_EQ(r.ok, c.bytes.has_value());
        if (c.bytes)
            EXPECT_EQ(r.bytes, *c.bytes);
        else
            EXPECT_EQ(r.errorPosition, c.errorAt);
    }
    const Bytes data = Seq(17, 0xF0);
    EXPECT_EQ(FormatHexBytes(data.data(), data.size()),
        "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n00");
    const Bytes sixteen = Seq(16);
    EXPECT_EQ(FormatHexBytes(sixteen.data(), 16).find("\r\n"), std::string::npos);
    EXPECT_EQ(FormatHexBytes(nullptr, 0), "");
}

TEST(BufferEdit, FindWrapsOnceFromTheStart)
{
    //                 0    1    2    3    4    5    6    7    8    9
    const Bytes data { 'a', 'B', 'c', 0xAA, 0xAA, 0xAA, 'A', 'b', 'C', 0x01 };
    const struct Case {
        const char* name;
        Bytes pattern;
        std::size_t start;
        bool down;
        bool matchCase;
        std::optional<std::size_t> at;
    } cases[] = {
        { "hex down", { 0xAA, 0xAA }, 0, true, true, 3 },
        { "overlapping, next one", { 0xAA, 0xAA }, 4, true, true, 4 },
        { "wraps to before the start", { 0xAA, 0xAA }, 5, true, true, 3 },
        { "text matching case", { 'A', 'b', 'C' }, 0, true, true, 6 },
        { "text ignoring case", { 'A', 'b', 'C' }, 0, true, false, 0 },
        { "up from the end", { 'A', 'b', 'C' }, 9, false, false, 6 },
        { "up finds before the start", { 'a', 'B', 'c' }, 2, false, true, 0 },
        { "up finds at the start", { 0xAA }, 5, false, true, 5 },
        { "up wraps past the top", { 0x01 }, 3, false, true, 9 },
        { "the last bytes", { 'C', 0x01 }, 0, true, true, 8 },
        { "not there", { 0x02 }, 0, true, true, std::nullopt },
        { "longer than the data", Bytes(11, 0xAA), 0, true, true, std::nullopt },
        { "empty", {}, 0, true, true, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindBytes(data.data(), data.size(), c.pattern, c.start, c.down, c.matchCase), c.at);
    }
}

TEST(BufferEdit, FillRangeRepeatsThePatternAndRefusesBadRanges)
{
    const struct Case {
        const char* name;
        std::size_t from, to;
        Bytes pattern;
        std::optional<Bytes> result; // none: refused, unchanged
    } cases[] = {
        { "pattern cut at To", 1, 5, { 0xA1, 0xB2 }, Bytes { 0, 0xA1, 0xB2, 0xA1, 0xB2, 0xA1, 6, 7 } },
        { "one byte", 2, 3, { 0xFF }, Bytes { 0, 1, 0xFF, 0xFF, 4, 5, 6, 7 } },
        { "From = To", 4, 4, { 0x11, 0x22, 0x33 }, Bytes { 0, 1, 2, 3, 0x11, 5, 6, 7 } },
        { "To = the last byte", 5, 7, { 0x11, 0x22, 0x33, 0x44 }, Bytes { 0, 1, 2, 3, 4, 0x11, 0x22, 0x33 } },
        { "a long odd pattern", 0, 7, { 1, 2, 3 }, Bytes { 1, 2, 3, 1, 2, 3, 1, 2 } },
        { "To past the end", 2, 8, { 0xFF }, std::nullopt },
        { "From > To", 5, 4, { 0xFF }, std::nullopt },
        { "empty pattern", 0, 3, {}, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data = Seq(8);
        EXPECT_EQ(FillRange(data, c.from, c.to, c.pattern), c.result.has_value());
        EXPECT_EQ(data, c.result ? *c.result : Seq(8));
    }
    Bytes big(100000, 0);
    ASSERT_TRUE(FillRange(big, 3, big.size() - 1, { 9, 8, 7, 6, 5, 4, 3 }));
    for (std::size_t i = 3; i < big.size(); ++i)
        ASSERT_EQ(big[i], 9 - (i - 3) % 7) << i;
}

} // namespace
