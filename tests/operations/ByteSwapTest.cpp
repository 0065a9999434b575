#include "operations/ByteSwap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteSwap, SwapsCompletePairsAndLeavesAnOddLastByte)
{
    struct Case {
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
        std::size_t pairs;
    };
    const Case cases[] = {
        { {}, {}, 0 },
        { { 0xAA }, { 0xAA }, 0 },
        { { 0x12, 0x34 }, { 0x34, 0x12 }, 1 },
        { { 0x12, 0x34, 0x56 }, { 0x34, 0x12, 0x56 }, 1 },
        { { 1, 2, 3, 4, 5, 6 }, { 2, 1, 4, 3, 6, 5 }, 3 },
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.in.size());
        EXPECT_EQ(SwapBytePairs(c.in.data(), c.in.size()), c.pairs);
        EXPECT_EQ(c.in, c.out);
    }
    EXPECT_EQ(SwapBytePairs(nullptr, 4), 0u);
}

} // namespace
