#include "shell/UnicodeStdioFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class UnicodeStdioFileTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string Utf16(const std::u16string& text, bool mark = true)
    {
        std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    }

    static std::vector<std::string> ReadAll(const std::string& path)
    {
        CUnicodeStdioFile file;
        EXPECT_TRUE(file.Open(path, CUnicodeStdioFile::modeRead | CUnicodeStdioFile::typeText));
        std::vector<std::string> lines;
        std::string line;
        while (file.ReadString(line))
            lines.push_back(line);
        return lines;
    }

    QTemporaryDir m_dir;
};

TEST_F(UnicodeStdioFileTest, LineEndsAreStrippedWhateverTheirKind)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(ReadAll(Write("crlf.txt", "one\r\ntwo\r\n")), (Lines{"one", "two"}));
    EXPECT_EQ(ReadAll(Write("lf.txt", "one\ntwo")), (Lines{"one", "two"}));
    EXPECT_EQ(ReadAll(Write("cr.txt", "one\rtwo\r")), (Lines{"one", "two"}));
    EXPECT_EQ(ReadAll(Write("mixed.txt", "a\r\n\nb\r\rc")), (Lines{"a", "", "b", "", "c"}));
    EXPECT_EQ(ReadAll(Write("empty.txt", "")), Lines{});
}

TEST_F(UnicodeStdioFileTest, EightBitTextDecodesAsUtf8ElseLatin1)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(ReadAll(Write("utf8.txt", "gr\xC3\xBC\xC3\x9F" "e\n")), (Lines{"grüße"}));
    EXPECT_EQ(ReadAll(Write("latin1.txt", "gr\xFC\xDF" "e\n")), (Lines{"grüße"}));
    // One bad byte makes the whole line Latin-1, never a mixture.
    EXPECT_EQ(ReadAll(Write("overlong.txt", "\xC0\xAF\n")), (Lines{"À¯"}));
}

TEST_F(UnicodeStdioFileTest, Utf16WithMarkDropsTheMarkAndLineEnds)
{
    const std::string path = Write("wide.txt", Utf16(u"LanguageName=Deutsch\r\n0001=\"Grüße\";\r\nlast"));
    CUnicodeStdioFile file;
    ASSERT_TRUE(file.Open(path, CUnicodeStdioFile::modeRead | CUnicodeStdioFile::typeText));
    EXPECT_TRUE(file.m_bUnicode);
    EXPECT_EQ(file.m_nOpenFlags & CUnicodeStdioFile::typeBinary, CUnicodeStdioFile::typeBinary);
    EXPECT_EQ(file.CountChars(), 41u);
    std::vector<std::string> lines;
    std::string line;
    while (file.ReadString(line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"LanguageName=Deutsch", "0001=\"Grüße\";", "last"}));
}

TEST_F(UnicodeStdioFileTest, WideLinesComeInPiecesOfAtMost4095Characters)
{
    const std::u16string exact(4095, u'a');
    const std::u16string longer(5000, u'b');
    const auto lines = ReadAll(Write("long.txt", Utf16(exact + u"\r\n" + longer + u"\r\n")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(4095, 'a'));
    EXPECT_EQ(lines[1], std::string(4095, 'b'));
    EXPECT_EQ(lines[2], std::string(905, 'b'));
}

TEST_F(UnicodeStdioFileTest, AConversionThatYieldsNothingIsAnEmptyLineNotThePreviousOne)
{
    // A lone NUL character converts to nothing printable; the line must not repeat "first".
    const auto lines = ReadAll(Write("nul.txt", Utf16(std::u16string(u"first\r\n") + u'\0' + u"\r\nthird")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_NE(lines[1], "first");
    EXPECT_EQ(lines[2], "third");
}

TEST_F(UnicodeStdioFileTest, EightBitLinesAreReadWhole)
{
    const std::string longLine(100000, 'x');
    const auto lines = ReadAll(Write("eight.txt", longLine + "\r\nnext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), longLine.size());
}

TEST_F(UnicodeStdioFileTest, WriterProducesUtf16WithMarkThatReadsBack)
{
    const std::string path = m_dir.path().toStdString() + "/out.txt";
    {
        CUnicodeStdioFile file;
        ASSERT_TRUE(file.Open(path, CUnicodeStdioFile::modeCreate | CUnicodeStdioFile::modeWrite |
                                        CUnicodeStdioFile::openWriteUnicode));
        file.WriteString("Grüße\r\n");
        file.WriteString("zwei\r\n");
    }
    EXPECT_TRUE(CUnicodeStdioFile::HasUnicodeMark(path));
    EXPECT_EQ(ReadAll(path), (std::vector<std::string>{"Grüße", "zwei"}));
}

TEST_F(UnicodeStdioFileTest, MissingFileAndMarkTests)
{
    CUnicodeStdioFile file;
    std::string error;
    EXPECT_FALSE(file.Open(m_dir.path().toStdString() + "/missing.txt", CUnicodeStdioFile::modeRead, &error));
    EXPECT_FALSE(error.empty());
    std::string line = "kept";
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_EQ(line, "kept");
    EXPECT_EQ(file.CountChars(), 0u);
    EXPECT_FALSE(CUnicodeStdioFile::HasUnicodeMark(Write("one.txt", "\xFF")));
    EXPECT_FALSE(CUnicodeStdioFile::HasUnicodeMark(Write("be.txt", "\xFE\xFF")));
}

TEST(UnicodeConversions, CodePagesAndBuffers)
{
    char16_t wide[8];
    int count = 8;
    EXPECT_EQ(CUnicodeStdioFile::AnsiToWide("ab\xC3\xBC", wide, count), 3);
    EXPECT_EQ(std::u16string(wide), u"abü");
    EXPECT_EQ(CUnicodeStdioFile::AnsiToWide("\xFC", wide, count, 1252), 1);
    EXPECT_EQ(std::u16string(wide), u"ü");
    EXPECT_EQ(CUnicodeStdioFile::AnsiToWide(nullptr, wide, count), 0);

    char ansi[8];
    EXPECT_EQ(CUnicodeStdioFile::WideToAnsi(u"aü€", ansi, 8, 1252), 3);
    EXPECT_STREQ(ansi, "a\xFC#");
    EXPECT_EQ(CUnicodeStdioFile::WideToAnsi(u"abcdefghij", ansi, 4), 3);
    EXPECT_STREQ(ansi, "abc");
}

} // namespace
