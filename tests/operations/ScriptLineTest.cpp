// The script reader and parser as pure functions: every keyword and its prefix forms, argument
// forms, values and refusals; line ends, long lines and the byte-order mark.

#include "operations/script/ScriptLine.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ReadLines {
    std::vector<std::string> lines;
    std::vector<int> numbers;
    std::vector<bool> tooLong;
};

ReadLines ReadAll(const std::string& bytes, std::size_t length = kScriptLineLimit, bool bom = true)
{
    std::istringstream in(bytes);
    ScriptStream stream(in);
    if (bom)
        stream.SkipByteOrderMark();
    ReadLines out;
    for (;;) {
        std::vector<char> buffer(length, 0);
        const ScriptLineRead read = ReadScriptLine(stream, buffer.data(), length);
        if (read.count == 0)
            break;
        out.lines.emplace_back(buffer.data(), read.count);
        out.numbers.push_back(read.line);
        out.tooLong.push_back(read.tooLong);
    }
    return out;
}

TEST(ScriptLineRead, LineEndsEmptyLinesAndNumbers)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
        std::vector<int> numbers;
    };
    const Case cases[] = {
        { "CR", "LOG a\rLOG b\r", { "LOG a", "LOG b" }, { 1, 2 } },
        { "LF", "LOG a\nLOG b\n", { "LOG a", "LOG b" }, { 1, 2 } },
        { "CR LF", "LOG a\r\nLOG b\r\n", { "LOG a", "LOG b" }, { 1, 2 } },
        { "0xFF ends a line but no editor line", "LOG a\xFFLOG b\nLOG c", { "LOG a", "LOG b", "LOG c" }, { 1, 1, 2 } },
        { "leading empty lines", "\r\n\n\r\r\nLOG a\n", { "LOG a" }, { 5 } },
        { "empty lines between", "LOG a\r\n\r\n\nLOG b", { "LOG a", "LOG b" }, { 1, 4 } },
        { "no final line end", "LOG a\nLOG b", { "LOG a", "LOG b" }, { 1, 2 } },
        { "byte-order mark", "\xEF\xBB\xBFLOG a\n", { "LOG a" }, { 1 } },
        { "nothing", "", {}, {} },
        { "only line ends", "\r\n\r\n\xFF", {}, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadLines got = ReadAll(c.bytes);
        EXPECT_EQ(got.lines, c.lines);
        EXPECT_EQ(got.numbers, c.numbers);
    }
}

TEST(ScriptLineRead, AByteOrderMarkOnlyAtTheStartAndOnlyWhole)
{
    // Two bytes of a mark are text.
    EXPECT_EQ(ReadAll("\xEF\xBBX\n").lines, std::vector<std::string>({ "\xEF\xBBX" }));
    EXPECT_EQ(ReadAll("LOG \xEF\xBB\xBF\n").lines, std::vector<std::string>({ "LOG \xEF\xBB\xBF" }));
}

TEST(ScriptLineRead, TooLongWhenTheLimitIsFullAndTheLineGoesOn)
{
    const std::string exact(1024, 'A');
    for (const std::string& end : { std::string("\n"), std::string("\r\n"), std::string("\xFF") }) {
        const ReadLines got = ReadAll(exact + end + "LOG b");
        ASSERT_EQ(got.lines.size(), 2u);
        EXPECT_EQ(got.lines[0], exact);
        EXPECT_FALSE(got.tooLong[0]);
    }
    const ReadLines atEnd = ReadAll(exact);
    ASSERT_EQ(atEnd.lines.size(), 1u);
    EXPECT_FALSE(atEnd.tooLong[0]) << "the end of the file ends the line";

    const ReadLines longer = ReadAll(std::string(1024, 'A') + "B\n");
    ASSERT_GE(longer.lines.size(), 1u);
    EXPECT_EQ(longer.lines[0].size(), 1024u);
    EXPECT_TRUE(longer.tooLong[0]);
}

TEST(ScriptLineDecode, Utf8StaysLatin1IsConverted)
{
    EXPECT_EQ(DecodeScriptText("LOG gr\xC3\xBC\xC3\x9F"), "LOG gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(DecodeScriptText("LOG gr\xFC\xDF"), "LOG gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(DecodeScriptText("LOG \xC3"), "LOG \xC3\x83") << "a cut sequence is Latin-1";
    EXPECT_EQ(DecodeScriptText("\xE0\x80\x80"), "\xC3\xA0\xC2\x80\xC2\x80") << "an overlong form is Latin-1";
}

TEST(ScriptLineParse, KeywordsAndPrefixFormsInTableOrder)
{
    struct Case {
        const char* text;
        ScriptCommand command;
    };
    const Case cases[] = {
        { "DEVICE SST27SF512", ScriptCommand::Device },
        { "READ", ScriptCommand::Read },
        { "READCODE", ScriptCommand::Read },
        { "read", ScriptCommand::Read },
        { "WRITE", ScriptCommand::Write },
        { "WRITECODE", ScriptCommand::Write },
        { "VERIFY", ScriptCommand::Verify },
        { "VERIFYCODE", ScriptCommand::Verify },
        { "ERASE", ScriptCommand::Erase },
        { "BLANKCHECK", ScriptCommand::BlankCheck },
        { "MESSAGE hi", ScriptCommand::Message },
        { "WAIT 1", ScriptCommand::Wait },
        { "OFFSET FILE 10", ScriptCommand::OffsetFile },
        { "OFFSET DEVICE 10", ScriptCommand::OffsetDevice },
        { "BYTESWAP", ScriptCommand::ByteSwap },
        { "STOP", ScriptCommand::Stop },
        { "FILL AA", ScriptCommand::Fill },
        { "SPEED +1", ScriptCommand::Speed },
        { "LOAD a.bin", ScriptCommand::Load },
        { "Load a.bin", ScriptCommand::Load },
        { "SAVE a.bin", ScriptCommand::Save },
        { "UNCHECKBOX READ", ScriptCommand::UncheckBox },
        { "CHECKBOX READ", ScriptCommand::CheckBox },
        { "COLOR LOG BKG ffffff", ScriptCommand::Color },
        { "SCRIPT b.zvs", ScriptCommand::Script },
        { "EXIT APP", ScriptCommand::ExitApp },
        { "LOG hello", ScriptCommand::Log },
        { "CLS", ScriptCommand::Cls },
        { "GOTO END", ScriptCommand::Goto },
        { "LABEL END", ScriptCommand::Label },
        { "HELP", ScriptCommand::Help },
        { "?", ScriptCommand::Help },
        { "  ?  ", ScriptCommand::Help },
        { "DEVICE", ScriptCommand::Unknown }, // no blank after the keyword
        { "LOAD", ScriptCommand::Unknown },
        { "LOAD   ", ScriptCommand::Unknown }, // trimmed first
        { "FROB", ScriptCommand::Unknown },
        { "EXIT", ScriptCommand::Unknown },
        { "x", ScriptCommand::Ignored },
        { "", ScriptCommand::Ignored },
        { "   ", ScriptCommand::Ignored },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseScriptLine(c.text).command, c.command);
    }
}

TEST(ScriptLineParse, EchoAndArgumentComeFromTheTrimmedText)
{
    struct Case {
        const char* text;
        const char* echo;
        const char* argument;
    };
    const Case cases[] = {
        { "  LOAD a.bin  ", "LOAD a.bin", "a.bin" },
        { "\tSave  Out Dir/x.bin", "Save  Out Dir/x.bin", "Out Dir/x.bin" },
        { "LOG hello", "", "hello" },
        { "  log  two  blanks ", "", " two  blanks" },
        { "MESSAGE Insert the Chip", "MESSAGE Insert the Chip", "Insert the Chip" },
        { "device  sst27sf512 ", "device  sst27sf512", "SST27SF512" },
        { "GOTO end ", "GOTO end", "end" },
        { "SCRIPT  b.zvs", "SCRIPT  b.zvs", "b.zvs" },
        { "FROB x", "FROB x", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScriptParse p = ParseScriptLine(c.text);
        EXPECT_EQ(p.echo, c.echo);
        EXPECT_EQ(p.argument, c.argument);
    }
}

TEST(ScriptLineParse, FillValuesAndRefusals)
{
    struct Case {
        const char* text;
        std::string error;
        int byte;
        std::uint32_t from;
        std::optional<std::uint32_t> to;
    };
    const Case cases[] = {
        { "FILL AA", "", 0xAA, 0, std::nullopt },
        { "FILL a", "", 0x0A, 0, std::nullopt },
        { "FILL 00 10 1F", "", 0x00, 0x10, 0x1F },
        { "FILL 5a 100", "", 0x5A, 0x100, std::nullopt },
        { "FILL 00   FFFFFF   ffffff", "", 0x00, 0xFFFFFF, 0xFFFFFF },
        { "FILL 00 1000000", "Bad value: 1000000", 0, 0, std::nullopt },
        { "FILL 00 10 1000000", "Bad value: 1000000", 0, 0, std::nullopt },
        { "FILL 00 1G", "Bad value: 1G", 0, 0, std::nullopt },
        { "FILL XY", "Bad value: XY", 0, 0, std::nullopt },
        { "FILL ABC", "Bad value: ABC", 0, 0, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScriptParse p = ParseScriptLine(c.text);
        EXPECT_EQ(p.error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(p.fillByte, c.byte);
        EXPECT_EQ(p.fillFrom, c.from);
        EXPECT_EQ(p.fillTo, c.to);
    }
}

TEST(ScriptLineParse, ColourTargetsValuesAndRefusals)
{
    struct Case {
        const char* text;
        ColorTarget target;
        COLORREF colour;
        std::string error;
    };
    const Case cases[] = {
        { "COLOR LOG BKG ff0080", ColorTarget::LogBack, RGB(0xFF, 0x00, 0x80), "" },
        { "COLOR log font 00ff00", ColorTarget::LogText, RGB(0, 0xFF, 0), "" },
        { "COLOR COMMAND BKG 12", ColorTarget::CommandBack, RGB(0, 0, 0x12), "" },
        { "COLOR COMMAND FONT  abcdef", ColorTarget::CommandText, RGB(0xAB, 0xCD, 0xEF), "" },
        { "COLOR 0000ff", ColorTarget::LogBack, RGB(0, 0, 0xFF), "" }, // no target: the log's background
        { "COLOR LOG BKG 1000000", ColorTarget::LogBack, 0, "Bad value: 1000000" },
        { "COLOR LOG BKG red", ColorTarget::LogBack, 0, "Bad value: RED" },
        { "COLOR LOG BKG", ColorTarget::LogBack, 0, "Bad value: LOG BKG" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScriptParse p = ParseScriptLine(c.text);
        EXPECT_EQ(p.error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(p.colorTarget, c.target);
        EXPECT_EQ(p.color, c.colour);
    }
}

TEST(ScriptLineParse, SpeedWaitAndOptions)
{
    const std::pair<const char*, int> speeds[] = { { "SPEED -2", 1 }, { "SPEED -1", 2 }, { "SPEED 0", 3 },
        { "SPEED +1", 4 }, { "SPEED +2", 5 }, { "SPEED 9", 5 }, { "SPEED  -1 ", 2 } };
    for (const auto& [text, level] : speeds)
        EXPECT_EQ(ParseScriptLine(text).speedLevel, level) << text;

    const std::pair<const char*, std::uint32_t> waits[]
        = { { "WAIT 5", 5000 }, { "WAIT 0.25", 250 }, { "WAIT 1.5s", 1500 }, { "WAIT -3", 0 }, { "WAIT soon", 0 },
              { "WAIT .5", 500 }, { "WAIT 86400", 86400000 }, { "WAIT 999999", 86400000 }, { "WAIT 1e9", 1000 } };
    for (const auto& [text, ms] : waits)
        EXPECT_EQ(ParseScriptLine(text).waitMs, ms) << text;

    const std::pair<const char*, HeaderOption> options[] = { { "CHECKBOX id", HeaderOption::IdCheck },
        { "CHECKBOX READ", HeaderOption::Read }, { "CHECKBOX write", HeaderOption::Write },
        { "CHECKBOX BLANKCHECK", HeaderOption::BlankCheck }, { "CHECKBOX ERASE", HeaderOption::Erase },
        { "UNCHECKBOX VERIFY", HeaderOption::Verify }, { "CHECKBOX double write", HeaderOption::DoubleWrite },
        { "UNCHECKBOX TEMP UNPROTECT", HeaderOption::TempUnprotect } };
    for (const auto& [text, option] : options) {
        const ScriptParse p = ParseScriptLine(text);
        ASSERT_TRUE(p.option.has_value()) << text;
        EXPECT_EQ(*p.option, option) << text;
        EXPECT_TRUE(p.note.empty());
    }
    // The help's own spelling names no option: noted, the line done.
    const ScriptParse unknown = ParseScriptLine("CHECKBOX temp protect");
    EXPECT_FALSE(unknown.option.has_value());
    EXPECT_EQ(unknown.note, "Unknown option.");
    EXPECT_TRUE(unknown.error.empty());
}

TEST(ScriptLineParse, HelpHasItsThirtyFiveLines)
{
    const std::vector<std::string>& help = ScriptHelpLines();
    ASSERT_EQ(help.size(), 35u);
    EXPECT_EQ(help.front(), "=============================");
    EXPECT_EQ(help[7], "CHECKBOX id/read/write/erase/blankcheck/double write/temp protect  (check the checkbox)");
    EXPECT_EQ(help[29], "SAVE <d:\\data\\myData.bin>");
    EXPECT_EQ(help.back(), "================");
}

} // namespace
