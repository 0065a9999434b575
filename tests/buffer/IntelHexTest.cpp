#include "buffer/IntelHex.h"

#include "BufferTestUtil.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Lines;
using buffertest::Seq;

TEST(IntelHexWriter, ChecksumsAndSingleRecords)
{
    struct Case {
        Bytes bytes;
        std::uint8_t sum;
    } cases[] = { { {}, 0x00 }, { { 0x01 }, 0xFF }, { { 0x00, 0x00, 0x00, 0x01 }, 0xFF },
        { { 0x02, 0x00, 0x00, 0x02, 0x10, 0x00 }, 0xEC }, { { 0x02, 0x00, 0x00, 0x04, 0x00, 0x10 }, 0xEA },
        { { 0xFF, 0xFF }, 0x02 } };
    for (const auto& c : cases)
        EXPECT_EQ(IntelHexChecksum(c.bytes.data(), c.bytes.size()), c.sum);

    std::string text;
    FormatHexByte(text, 0x0A);
    FormatHexByte(text, 0xF0);
    EXPECT_EQ(text, "0AF0");

    std::string out;
    const std::uint8_t data[] = { 0x02, 0x33, 0x7A };
    EXPECT_TRUE(WriteIntelHexRecord(out, 3, 0x0030, 0, data));
    EXPECT_TRUE(WriteIntelHexRecord(out, 0, 0, 1, nullptr));
    EXPECT_EQ(out, ":0300300002337A1E\r\n:00000001FF\r\n");
    EXPECT_FALSE(WriteIntelHexRecord(out, 256, 0, 0, data));
    EXPECT_FALSE(WriteIntelHexRecord(out, -1, 0, 0, data));
    EXPECT_FALSE(WriteIntelHexRecord(out, 2, 0, 0, nullptr));
}

TEST(IntelHexWriter, SegmentFormLayout)
{
    {
        const Bytes image(0x10000, 0xFF); // all-0xFF records are written like any other
        std::string out;
        WriteIntelHex(out, image.data(), image.size());
        const auto lines = Lines(out);
        ASSERT_EQ(lines.size(), 0x1000u + 1);
        EXPECT_EQ(lines.front(), ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00");
        EXPECT_EQ(out.find(":02000002"), std::string::npos);
        EXPECT_EQ(lines.back(), ":00000001FF");
    }
    {
        const Bytes image = Seq(0x10010);
        std::string out;
        WriteIntelHex(out, image.data(), image.size());
        const auto lines = Lines(out);
        ASSERT_EQ(lines.size(), 0x1001u + 2);
        EXPECT_EQ(lines[0x1000], ":020000021000EC");
        EXPECT_EQ(lines[0x1001].substr(0, 9), ":10000000"); // the record address wraps to 0000
        EXPECT_EQ(lines[0x0FFF].substr(0, 9), ":10FFF000");
    }
    {
        const Bytes image = Seq(21);
        std::string out;
        WriteIntelHex(out, image.data(), image.size());
        const auto lines = Lines(out);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1].substr(0, 9), ":05001000"); // a short last record
    }
}

TEST(IntelHexWriter, LinearFormLayout)
{
    const Bytes image(0x100010, 0x5A);
    std::string out;
    ASSERT_EQ(WriteIntelHexLinear(out, image.data(), image.size(), 0, 16), 1);
    const auto lines = Lines(out);
    EXPECT_EQ(lines.front(), ":020000040000FA");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 3], ":020000040010EA");
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 9), ":10000000");
    EXPECT_EQ(lines.back(), ":00000001FF");
    int type04 = 0;
    for (const auto& line : lines) {
        if (line.substr(7, 2) == "04")
            ++type04;
        else if (line.substr(7, 2) == "00") {
            EXPECT_EQ(line.substr(1, 2), "10");
        }
    }
    EXPECT_EQ(type04, 17);

    // A record that would cross 64 KB is split in two.
    out.clear();
    const Bytes small = Seq(32);
    ASSERT_EQ(WriteIntelHexLinear(out, small.data(), small.size(), 0xFFF8, 16), 1);
    const auto split = Lines(out);
    ASSERT_EQ(split.size(), 6u);
    EXPECT_EQ(split[0], ":020000040000FA");
    EXPECT_EQ(split[1].substr(0, 9), ":08FFF800"); // 8 bytes up to the boundary
    EXPECT_EQ(split[2], ":020000040001F9");
    EXPECT_EQ(split[3].substr(0, 9), ":10000000");
    EXPECT_EQ(split[4].substr(0, 9), ":08001000");
    EXPECT_EQ(split[5], ":00000001FF");

    out.clear();
    EXPECT_EQ(WriteIntelHexLinear(out, small.data(), small.size(), 0, 0), 0);
    EXPECT_EQ(WriteIntelHexLinear(out, small.data(), small.size(), 0, 256), 0);
    EXPECT_EQ(WriteIntelHexLinear(out, nullptr, 16, 0, 16), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(WriteIntelHexLinear(out, small.data(), small.size(), 0, 255), 1);
}

// Each parser's reaction to one line after a good data record at 0: the main parser refuses the
// record and goes on, the PIC and data parsers stop with a box.
TEST(IntelHexReader, ReactionOfEachParserToBadLines)
{
    const std::string good = ":0400000001020304F2\n";
    const struct Case {
        const char* name;
        std::string text;
        std::optional<ProblemKind> kind; // none: the line is fine
        const char* strictBox;
    } cases[] = {
        { "good end record", ":00000001FF", {}, "" },
        { "start segment 03", ":0400000300000000F9", {}, "" },
        { "start linear 05", ":0400000508000000EF", {}, "" },
        { "the same bytes again", ":0400000001020304F2", {}, "" },
        { "blank line", "   \t", {}, "" },
        { "bad checksum", ":0400100001020304E1", ProblemKind::Checksum, "Checksum Error reading Hexfile" },
        { "not a record", "hello", ProblemKind::NotARecord, "Error reading Hexfile" },
        { "leading blank", " :0400100001020304E2", ProblemKind::NotARecord, "Error reading Hexfile" },
        { "type 06", ":0400000600000000F6", ProblemKind::UnknownType, "Invailid line in hex file." },
        { "count disagrees with length", ":0500000001020304F1", ProblemKind::Length, "Error reading Hexfile" },
        { "cut line", ":04001000010203", ProblemKind::Length, "Error reading Hexfile" },
        { "base record of one byte", ":0100000210ED", ProblemKind::Length, "Error reading Hexfile" },
        { "non-hex digit", ":04000000010203G4F2", ProblemKind::Digit, "Error reading Hexfile" },
        { "other bytes at the same address", ":0400020009090909D6", ProblemKind::Overlap, "Error reading Hexfile" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (HexParser parser : { HexParser::Main, HexParser::Mcu, HexParser::Data }) {
            std::vector<std::uint8_t> buffer;
            CIntelHexReader reader(buffer, parser, 0xFF, 1 << 20);
            const int result = reader.ParseText(good + c.text + "\n:0100200077" + "68\n");
            ASSERT_GE(buffer.size(), 4u);
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), Seq(4, 1)) << "records before it stay";
            if (!c.kind) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(reader.ProblemCount(), 0);
                continue;
            }
            ASSERT_EQ(reader.ProblemCount(), 1) << static_cast<int>(parser);
            EXPECT_EQ(reader.Problems()[0], (ReadProblem { 2, *c.kind }));
            if (parser == HexParser::Main) {
                EXPECT_EQ(result, 1);
                EXPECT_TRUE(reader.StopBox().text.empty());
                ASSERT_EQ(buffer.size(), 0x21u) << "the read goes on";
                EXPECT_EQ(buffer[0x20], 0x77);
            } else {
                EXPECT_EQ(result, 0);
                EXPECT_EQ(reader.StopBox().text, c.strictBox);
                EXPECT_EQ(buffer.size(), 4u) << "the read stops";
            }
        }
    }
}

TEST(IntelHexReader, MainParserCountsRefusedRecords)
{
    std::vector<std::uint8_t> buffer;
    CIntelHexReader reader(buffer, HexParser::Main, 0x00, 1 << 20);
    const std::string text = ":0400000001020304F2\r\n"
                             ":0400040001020304ED\r\n" // checksum off by one
                             "; a comment\r\n"
                             "\r\n"
                             ":0400080005060708DA\r\n"
                             ":00000001FF\r\n";
    EXPECT_EQ(reader.ParseText(text), 1);
    EXPECT_EQ(reader.ProblemCount(), 2);
    EXPECT_EQ(
        reader.Problems(), (std::vector<ReadProblem> { { 2, ProblemKind::Checksum }, { 3, ProblemKind::NotARecord } }));
    EXPECT_EQ(buffer.size(), 12u);
    EXPECT_EQ(buffer[4], 0x00); // the refused record's place keeps the fill byte
    EXPECT_EQ(buffer[8], 0x05);
}

TEST(IntelHexReader, AddressBasesAndHighestEnd)
{
    struct Case {
        const char* name;
        HexParser parser;
        std::string text;
        std::uint64_t highestEnd;
        std::uint64_t probe; // address holding 0xAB
    } cases[] = {
        { "segment base", HexParser::Main, ":020000021000EC\n:01000000AB54\n", 0x10001, 0x10000 },
        { "linear base", HexParser::Main, ":020000040001F9\n:01001000AB44\n", 0x10011, 0x10010 },
        { "segment after linear: the segment alone", HexParser::Main,
            ":020000040001F9\n:020000020010EC\n:01000000AB54\n", 0x101, 0x100 },
        { "linear after segment: the linear alone", HexParser::Main,
            ":020000020010EC\n:020000040001F9\n:01000000AB54\n", 0x10001, 0x10000 },
        { "MCU segment after linear", HexParser::Mcu, ":020000040001F9\n:020000020010EC\n:01000000AB54\n", 0x101,
            0x100 },
        { "data segment", HexParser::Data, ":020000020010EC\n:01000000AB54\n", 0x101, 0x100 },
        { "highest end, not the last record", HexParser::Main, ":01100000AB44\n:01000000CD32\n", 0x1001, 0x1000 },
        // A record crossing 64 KB in the segment form is placed linearly.
        { "segment record across 64 KB", HexParser::Main, ":02000002F0000C\n:02FFFF00CDAB88\n", 0x100001, 0x100000 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> buffer;
        CIntelHexReader reader(buffer, c.parser, 0x00, 1 << 24);
        EXPECT_EQ(reader.ParseText(c.text), 1);
        EXPECT_EQ(reader.ProblemCount(), 0);
        EXPECT_EQ(reader.HighestDataEnd(), c.highestEnd);
        ASSERT_GT(buffer.size(), c.probe);
        EXPECT_EQ(buffer[c.probe], 0xAB);
        if (c.parser != HexParser::Main && c.probe > 0) {
            EXPECT_EQ(buffer[0], 0xFF) << "gaps of the MCU and data parsers are 0xFF";
        }
    }
}

TEST(IntelHexReader, FullRecordsTheLimitAndTheOffset)
{
    // A full 255-byte record is a 521-character line; it is read whole.
    std::string text;
    const Bytes data = Seq(255);
    WriteIntelHexRecord(text, 255, 0, 0, data.data());
    EXPECT_EQ(text.size(), 521u + 2);
    std::vector<std::uint8_t> buffer;
    CIntelHexReader reader(buffer, HexParser::Main, 0xFF, 1 << 20);
    EXPECT_EQ(reader.ParseText(text), 1);
    EXPECT_EQ(buffer, data);

    // A record at 0xFFFF0000 is refused, not allocated: the main parser goes on, the PIC one stops.
    const std::string far = ":02000004FFFFFC\n:01000000AB54\n:020000040000FA\n:01000400CD2E\n";
    std::vector<std::uint8_t> small;
    CIntelHexReader main(small, HexParser::Main, 0xFF, 1 << 20);
    EXPECT_EQ(main.ParseText(far), 1);
    EXPECT_EQ(main.Problems(), (std::vector<ReadProblem> { { 2, ProblemKind::PastLimit } }));
    EXPECT_EQ(small.size(), 5u) << "nothing allocated for it";
    EXPECT_FALSE(main.Image().AllPastLimit()) << "the last record lies within";
    std::vector<std::uint8_t> picImage;
    CIntelHexReader pic(picImage, HexParser::Mcu, 0xFF, 1 << 20);
    EXPECT_EQ(pic.ParseText(far), 0);
    EXPECT_EQ(pic.StopBox().text, "Hex address beyond buffer limit");

    // The offset moves each record before the limit is checked; bytes moved below 0 drop out.
    const std::string high = ":020000040800F2\n:0400000001020304F2\n:00000001FF\n";
    std::vector<std::uint8_t> low;
    CIntelHexReader moved(low, HexParser::Main, 0xFF, 1 << 20, -0x08000002);
    EXPECT_EQ(moved.ParseText(high), 1);
    EXPECT_EQ(moved.ProblemCount(), 0);
    EXPECT_EQ(low, (Bytes { 3, 4 }));
    EXPECT_EQ(moved.Image().LowestAddress(), 0x08000000u);
    std::vector<std::uint8_t> none;
    CIntelHexReader unmoved(none, HexParser::Main, 0xFF, 1 << 20);
    unmoved.ParseText(high);
    EXPECT_TRUE(unmoved.Image().AllPastLimit());
}

// A text fed in two blocks, split anywhere, reads as the whole text does: the reader keeps a
// line that the block cuts for the next block, a CR LF split between blocks included.
TEST(IntelHexReader, BlocksSplitAnywhereReadAsTheWholeText)
{
    const std::string body = ":0400000001020304F2\r\n"
                             ":0400040001020304ED  \r" // a bad checksum, trailing blanks, CR alone
                             ":0400080005060708DA\n"
                             "\n"
                             ":04000C00090A0B0CC6\r\n"
                             ":040010000102"; // cut at the end
    std::vector<std::uint8_t> whole;
    CIntelHexReader reference(whole, HexParser::Main, 0x00, 1 << 20);
    reference.ParseText(body);
    ASSERT_EQ(reference.ProblemCount(), 2);
    for (std::size_t cut = 1; cut < body.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<std::uint8_t> buffer;
        CIntelHexReader reader(buffer, HexParser::Main, 0x00, 1 << 20);
        const std::size_t used = reader.Parse(TextBlock { std::string_view(body).substr(0, cut), 0, false, false });
        ASSERT_LE(used, cut);
        reader.Parse(TextBlock { std::string_view(body).substr(used), used, true, false });
        EXPECT_EQ(buffer, whole);
        EXPECT_EQ(reader.Problems(), reference.Problems());
        EXPECT_EQ(reader.LineNumber(), reference.LineNumber());
    }
}

TEST(IntelHexReader, LineEndsOfEveryKind)
{
    for (const char* eol : { "\n", "\r\n", "\r" }) {
        std::vector<std::uint8_t> buffer;
        CIntelHexReader reader(buffer, HexParser::Data, 0xFF, 1 << 20);
        const std::string text = std::string(":0400000001020304F2") + eol + ":0400040005060708DE" + eol;
        EXPECT_EQ(reader.ParseText(text), 1);
        EXPECT_EQ(buffer, Seq(8, 1));
    }
}

TEST(IntelHexReader, ReportsProgressEvery5002Lines)
{
    const Bytes image = Seq(12000 * 16);
    std::string text;
    WriteIntelHexLinear(text, image.data(), image.size(), 0, 16);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    std::vector<std::uint8_t> buffer;
    CIntelHexReader reader(buffer, HexParser::Main, 0xFF, 1 << 24);
    reader.ParseText(text, [&](std::uint64_t done, std::uint64_t total) { calls.emplace_back(done, total); });
    ASSERT_EQ(calls.size(), 2u); // 12,000 data records and 3 type-04 records: lines 5,002 and 10,004
    EXPECT_LT(calls[0].first, calls[1].first);
    EXPECT_LT(calls[1].first, text.size());
    EXPECT_EQ(calls[1].second, text.size());
    EXPECT_EQ(buffer, image);
}

} // namespace
