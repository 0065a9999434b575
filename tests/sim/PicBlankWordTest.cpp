// A PIC's program words sent as all ones are skipped, never programmed: a file's blank words pass
// over what the chip holds there (the OSCCAL calibration), while any other word still programs.

#include "tests/sim/ChipFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace tonrig::test;
using Bytes = std::vector<std::uint8_t>;

class PicBlankWord : public ChipFixture { };

TEST_F(PicBlankWord, AllOnesWordsAreSkippedOthersProgram)
{
    Start();
    Insert(chips::Pic12F675()); // OSCCAL 34 80 at word 0x3FF (bytes 0x7FE, 0x7FF)
    // The last packet of a file: two words of code, then the blank OSCCAL word.
    EXPECT_EQ(WriteBlock(7, 0x7FA, { 0x28, 0x05, 0x00, 0x08, 0xFF, 0xFF }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x7FA, 6), (Bytes { 0x28, 0x05, 0x00, 0x08, 0x34, 0x80 }));
    // A blank word as a read gives it (3F FF) is skipped too.
    EXPECT_EQ(WriteBlock(7, 0x7FE, { 0x3F, 0xFF }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x7FE, 2), (Bytes { 0x34, 0x80 }));
    // A word with a bit cleared is programmed and checked: 34 80 cannot become 3F 7F.
    EXPECT_EQ(WriteBlock(7, 0x7FE, { 0x3F, 0x7F }), (Bytes { 1, 0, 0, 0x07, 0xFE, 0x34, 0x3F }));
    // Half a word in a packet is no whole blank word: programmed as sent.
    EXPECT_EQ(WriteBlock(7, 0x7FB, { 0xFF }), (Bytes { 1, 0, 0, 0x07, 0xFB, 0x05, 0xFF }));
}

} // namespace
