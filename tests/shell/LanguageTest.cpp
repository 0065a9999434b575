#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/RegistryKey.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using tonrig::test::RecordingMessageBox;

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A table in a known state that no load produces: defaults, text 0 marked.
void FillMarkedTable()
{
    InitLanguageForView();
    g_LanguageTexts[0] = "Marker";
}

std::string NumberedLines(int n, const std::string& prefix)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += "0000=\"" + prefix + std::to_string(i) + "\";\r\n";
    return out;
}

std::string Utf16Le(const std::string& ascii, bool mark)
{
    std::string out = mark ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class LanguageFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { g_Language.Reset(); }

    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    QTemporaryDir m_dir;
};

TEST(LanguageTableTest, GetTextAndSetTextsKeepTheirBounds)
{
    RecordingMessageBox boxes;
    g_Language.Reset();
    EXPECT_EQ(g_Language.GetText(0), "") << "nothing is readable before the table is filled";

    std::vector<std::string> tooMany(214, "x");
    g_Language.SetTexts(tooMany.data(), 214);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Language Update Failed. #1");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");
    EXPECT_EQ(g_Language.Count(), 0);
    EXPECT_TRUE(g_LanguageTexts.empty());

    g_Language.SetTexts(g_LanguageDefaults.data(), kLanguageTextCount);
    EXPECT_EQ(g_Language.Count(), 213);
    EXPECT_EQ(g_Language.GetText(0), "File");
    EXPECT_EQ(g_Language.GetText(212), "Data size exceed size of device, data file has been truncated.");
    EXPECT_EQ(g_Language.GetText(213), "");
    EXPECT_EQ(g_Language.GetText(-1), "");

    // Later growth of the array does not move the count.
    g_LanguageTexts.push_back("beyond");
    EXPECT_EQ(g_Language.GetText(213), "");
    g_Language.Reset();
}

TEST(LanguageTableTest, BuiltInTextsKeepTheirNumbers)
{
    // Language files key on order: a text out of place would shift every translation.
    const std::map<int, std::string> samples = {
        { 18, "Read" },
        { 49, "Did not get response from programmer.\r\nDemo only." },
        { 104, "Initializing, please remove the chip from ZIF socket.....\r\nReconnect programmer if needed." },
        { 149, "(Absolate Byte Address)" },
        { 177, "OFFSET" },
        { 197, "Ignore loaded file path." },
        { 204, "Checking and updating firmware..." },
        { 206, "Warranty Register" },
    };
    for (const auto& [n, text] : samples)
        EXPECT_EQ(g_LanguageDefaults[n], text) << n;
    for (int n = 0; n < kLanguageTextCount; ++n) {
        const bool unused = (n >= 198 && n <= 203) || n == 205;
        EXPECT_EQ(g_LanguageDefaults[n].empty(), unused) << n;
    }
}

struct FileCase {
    const char* name;
    std::string bytes; // file contents; empty name below means "no such file"
    bool exists;
    bool loaded;
    std::string box; // start of the expected box, empty for none
    std::map<int, std::string> texts; // texts that differ from English after a load
};

std::vector<FileCase> FileCases()
{
    std::string longText(5000, 'w');
    return {
        { "comments, short lines and keys ignored",
            "LanguageName=Deutsch\n; 0000=\"comment\";\n/ "
            "0000=\"comment\";\nab\n\n0005=\"Datei\";\n0001=\"Bearbeiten\";\n"
            "0100=\"Ansicht\";\n",
            true, true, "", { { 0, "Datei" }, { 1, "Bearbeiten" }, { 2, "Ansicht" } } },
        { "name line with blanks and spaced equals", "  LanguageName = Deutsch\r\n0000=\"Datei\";\r\n", true, true, "",
            { { 0, "Datei" } } },
        { "commented name line names nothing", ";  LanguageName = Deutsch\r\n0000=\"Datei\";\r\n", true, false,
            "Language file open error! Default lanuage used.", {} },
        { "no name line", "0000=\"Datei\";\r\n", true, false, "Language file open error! Default lanuage used.", {} },
        { "empty name", "LanguageName=\r\n0000=\"Datei\";\r\n", true, false,
            "Language file open error! Default lanuage used.", {} },
        { "closing characters", "LanguageName=X\n0000=\"Read\";\n0001=\"Read\"\n", true, true, "",
            { { 0, "Read" }, { 1, "Rea" } } },
        { "line-break escape", "LanguageName=X\n0000=\"one\\r\\ntwo\";\n", true, true, "", { { 0, "one\r\ntwo" } } },
        { "short and empty texts", "LanguageName=X\n0000=\"\";\n0001=\"\"\n0002=\"x\";\n", true, true, "",
            { { 0, "" }, { 1, "" }, { 2, "x" } } },
        { "equals-quote elsewhere than 4 is no text line",
            "LanguageName=X\n000=\"a\";\n00000=\"b\";\n0000 =\"c\";\n0000=\"d\";\n", true, true, "", { { 0, "d" } } },
        { "blanks around a text line", "LanguageName=X\n \t 0000=\" padded \";  \n", true, true, "",
            { { 0, " padded " } } },
        { "CR-only line ends", "LanguageName=X\r0000=\"A\";\r0001=\"B\";\r", true, true, "",
            { { 0, "A" }, { 1, "B" } } },
        { "UTF-8 mark skipped", "\xEF\xBB\xBFLanguageName=X\n0000=\"A\";\n", true, true, "", { { 0, "A" } } },
        { "key of four non-ASCII characters", "LanguageName=X\n\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F=\"\xC3\x84\";\n", true,
            true, "", { { 0, "\xC3\x84" } } },
        { "Latin-1 bytes",
            "LanguageName=Fran\xE7"
            "ais\n0000=\"Fichier \xE9t\xE9\";\n",
            true, true, "", { { 0, "Fichier \xC3\xA9t\xC3\xA9" } } },
        { "over-long line read whole", "LanguageName=X\n0000=\"A\";\n0001=\"" + longText + "\";\n0002=\"C\";\n", true,
            true, "", { { 0, "A" }, { 1, longText }, { 2, "C" } } },
        { "UTF-16 with mark refused", Utf16Le("LanguageName=X\r\n0000=\"A\";\r\n", true), true, false,
            "Unicode Language file can not read!", {} },
        { "UTF-16 without mark refused", Utf16Le("LanguageName=X\r\n0000=\"A\";\r\n", false), true, false,
            "Unicode Language file can not read!", {} },
        { "missing file", "", false, false, "Language file open error.", {} },
    };
}

TEST_F(LanguageFileTest, LoadsTheCasesOfTheTable)
{
    for (const FileCase& c : FileCases()) {
        SCOPED_TRACE(c.name);
        const std::string path
            = c.exists ? Write("case.dic.txt", c.bytes) : m_dir.filePath("none.dic.txt").toStdString();
        FillMarkedTable();
        RecordingMessageBox boxes;
        EXPECT_EQ(CLanguageLoader::LoadLanguageFile(path), c.loaded);
        if (c.box.empty()) {
            EXPECT_EQ(boxes.Count(), 0u);
        } else {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_NE(boxes.Boxes()[0].text.find(c.box), std::string::npos) << boxes.Boxes()[0].text;
            EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");
        }
        EXPECT_EQ(g_Language.Count(), 213);
        ASSERT_EQ(g_LanguageTexts.size(), 213u);
        if (!c.loaded) {
            EXPECT_EQ(g_Language.GetText(0), "Marker") << "a failed load leaves the table as it was";
            continue;
        }
        for (int n = 0; n < kLanguageTextCount; ++n) {
            auto it = c.texts.find(n);
            EXPECT_EQ(g_Language.GetText(n), it != c.texts.end() ? it->second : g_LanguageDefaults[n]) << n;
        }
    }
}

TEST_F(LanguageFileTest, FileLengthDecidesHowManyTextsChange)
{
    RecordingMessageBox boxes;
    for (int lines : { 5, 250 }) {
        SCOPED_TRACE(lines);
        FillMarkedTable();
        ASSERT_TRUE(
            CLanguageLoader::LoadLanguageFile(Write("n.dic.txt", "LanguageName=N\r\n" + NumberedLines(lines, "t"))));
        EXPECT_EQ(g_Language.Count(), 213);
        EXPECT_EQ(g_LanguageTexts.size(), 213u) << "texts past 213 are dropped";
        for (int n = 0; n < kLanguageTextCount; ++n)
            EXPECT_EQ(g_Language.GetText(n), n < lines ? "t" + std::to_string(n) : g_LanguageDefaults[n]) << n;
        EXPECT_EQ(g_Language.GetText(213), "");
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LanguageFileTest, LanguageNameFollowsTheNameLineRules)
{
    const struct {
        const char* bytes;
        const char* name;
    } cases[] = {
        { "LanguageName=First\nLanguageName=Second\n", "Second" },
        { "LanguageName=Deutsch  \n", "Deutsch  " },
        { "\t LanguageName = Deutsch\n", "Deutsch" },
        { ";LanguageName=Deutsch\n", "" },
        { "LanguageName:Deutsch\n0000=\"A\";\n", "" },
        { "", "" },
    };
    RecordingMessageBox boxes;
    for (const auto& c : cases)
        EXPECT_EQ(CLanguageLoader::GetLanguageName(Write("name.dic.txt", c.bytes)), c.name) << c.bytes;
    EXPECT_EQ(boxes.Count(), 0u);

    EXPECT_EQ(CLanguageLoader::GetLanguageName(m_dir.filePath("none").toStdString()), "");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("Language file open error."), std::string::npos);
}

TEST_F(LanguageFileTest, UnicodeTestLooksAtTheFirstBytes)
{
    const struct {
        std::string bytes;
        int kind;
    } cases[] = {
        { std::string("\xFF\xFE", 2) + "x", 2 },
        { std::string("\xFE\xFF\0L", 4), 2 },
        { std::string("L\0a\0n\0", 6), 2 },
        { std::string("\0L\0a\0n", 6), 2 },
        { "LanguageName=English\r\n", 1 },
        { "\xEF\xBB\xBFLanguageName=English\r\n", 1 },
        { "", 1 },
        { std::string("A\0\0B", 4), 1 },
        // Only the first 80 bytes count.
        { std::string(80, 'a') + std::string("\0b\0", 3), 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLanguageLoader::IsUnicodeFile(Write("u.txt", c.bytes)), c.kind) << testing::PrintToString(c.bytes);
    EXPECT_EQ(CLanguageLoader::IsUnicodeFile(m_dir.filePath("none").toStdString()), 0);
    EXPECT_EQ(CLanguageLoader::IsUnicodeFile(m_dir.path().toStdString()), 0) << "a folder is no file";
}

TEST_F(LanguageFileTest, WrittenTextsReadBackEqual)
{
    // U+FEFF is a character like any other inside a text; only the file's first bytes may be a
    // byte-order mark.
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        std::vector<std::string> texts;
        bool fileMark;
    } cases[] = {
        { "text starting with U+FEFF", { bom + "x", "Edit" }, false },
        { "text starting with two of them", { bom + bom + "x" }, false },
        { "U+FEFF in the middle and at the end", { "a" + bom + "b", "c" + bom }, false },
        { "a text that is only U+FEFF", { bom, "", bom + "\r\n" + bom }, false },
        { "file mark before the first line", { bom + "x", "Datei" }, true },
    };
    RecordingMessageBox boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path
            = Write("rt.dic.txt", (c.fileMark ? bom : "") + CLanguageLoader::FormatLanguageFile("X", c.texts));
        CLanguageFileParser parser;
        ASSERT_TRUE(CLanguageLoader::ParseFile(path, parser));
        EXPECT_EQ(parser.Name(), "X");
        EXPECT_EQ(parser.Texts(), c.texts);

        FillMarkedTable();
        ASSERT_TRUE(CLanguageLoader::LoadLanguageFile(path));
        for (size_t n = 0; n < c.texts.size(); ++n)
            EXPECT_EQ(g_Language.GetText(static_cast<int>(n)), c.texts[n]) << n;
    }
    EXPECT_EQ(boxes.Count(), 0u);

    // A mark that opens the file is no text, even before a text line.
    CLanguageFileParser first;
    first.AddLine(bom + "0000=\"A\";");
    first.AddLine(bom + "0001=\"B\";");
    EXPECT_EQ(first.Texts(), (std::vector<std::string> { "A" })) << "a mark on a later line is part of that line";
}

// A file that loads with a fault logs one warning naming it and the line; a whole file, with or
// without its last line end, logs nothing.
TEST_F(LanguageFileTest, AFaultyFileLoadsWithOneWarningNamingItsLine)
{
    std::vector<std::string> logged;
    CLanguageLoader::SetLogSink([&](const std::string& text) { logged.push_back(text); });
    // Past the first 80 bytes, where a NUL byte would make the file look like UTF-16.
    const std::string head = "LanguageName=X\n; " + std::string(80, '-') + "\n0000=\"A\";\n";
    const std::string nul(1, '\0');
    const struct {
        const char* name;
        std::string bytes;
        const char* fault; // empty: no warning
    } cases[] = {
        { "a whole file", head + "0001=\"B\";\n", "" },
        { "a whole last line without its line end", head + "0001=\"B\";", "" },
        { "a comment last", head + "; the end", "" },
        { "blanks last", head + "0001=\"B\";\n  ", "" },
        { "a last line cut in its text", head + "0001=\"Bea", "line 4: the last line is cut short" },
        { "a last line cut in its key", head + "00", "line 4: the last line is cut short" },
        { "a NUL byte", head + "0001=\"B" + nul + "\";\n0002=\"C\";\n", "line 4: the line holds a NUL byte" },
        { "NUL bytes and a cut last line, the first named",
            head + "0001=\"B" + nul + "\";\n0002=\"" + nul + "\";\n0003=\"C", "line 4: the line holds a NUL byte" },
    };
    RecordingMessageBox boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        logged.clear();
        FillMarkedTable();
        const std::string path = Write("fault.dic.txt", c.bytes);
        ASSERT_TRUE(CLanguageLoader::LoadLanguageFile(path));
        EXPECT_EQ(g_Language.GetText(0), "A") << "the file is loaded";
        if (std::string(c.fault).empty())
            EXPECT_TRUE(logged.empty()) << testing::PrintToString(logged);
        else
            EXPECT_EQ(logged, (std::vector<std::string> { "#WARNING# " + path + ", " + c.fault }));
    }
    EXPECT_EQ(boxes.Count(), 0u);
    CLanguageLoader::SetLogSink({});
}

TEST_F(LanguageFileTest, StoredChoiceIsLoadedAtTheViewsStart)
{
    tonrig::test::ScopedSettingsFile settings;
    RecordingMessageBox boxes;

    InitLanguageForView();
    EXPECT_EQ(g_Language.GetText(0), "File") << "no stored choice keeps English";

    const std::string path = Write("Deutsch.dic.txt", "LanguageName=Deutsch\n0000=\"Datei\";\n");
    CLanguageLoader::SaveLanguageSetting(path);
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings"));
    std::string stored;
    ASSERT_TRUE(key.ReadString("LanguageFile", stored));
    EXPECT_EQ(stored, path);
    key.Close();

    // Twice, as a second view start would: the table is rebuilt, never appended to.
    for (int i = 0; i < 2; ++i) {
        InitLanguageForView();
        EXPECT_EQ(g_Language.GetText(0), "Datei");
        EXPECT_EQ(g_Language.GetText(1), "Edit");
        EXPECT_EQ(g_LanguageTexts.size(), 213u);
    }
    EXPECT_EQ(boxes.Count(), 0u);

    // A value of 3 characters or fewer is no choice, without a word.
    CLanguageLoader::SaveLanguageSetting("a.t");
    InitLanguageForView();
    EXPECT_EQ(g_Language.GetText(0), "File");
    EXPECT_EQ(boxes.Count(), 0u);

    // A stored file that has gone is reported, and English stays.
    CLanguageLoader::SaveLanguageSetting(m_dir.filePath("gone.dic.txt").toStdString());
    InitLanguageForView();
    EXPECT_EQ(g_Language.GetText(0), "File");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("gone.dic.txt Language file open error."), std::string::npos);
}

TEST_F(LanguageFileTest, ShippedEnglishFileReproducesTheBuiltInTable)
{
    const std::string path = TONRIG_SHIPPED_LANGUAGE_FILE;
    const std::vector<std::string> defaults(g_LanguageDefaults.begin(), g_LanguageDefaults.end());
    EXPECT_EQ(ReadWhole(path), CLanguageLoader::FormatLanguageFile("English", defaults))
        << "regenerate the file from the built-in table";

    RecordingMessageBox boxes;
    g_Language.Reset();
    g_Language.SetTexts(std::vector<std::string>(213, "not English").data(), 213);
    ASSERT_TRUE(CLanguageLoader::LoadLanguageFile(path));
    EXPECT_EQ(CLanguageLoader::GetLanguageName(path), "English");
    ASSERT_EQ(g_LanguageTexts.size(), 213u);
    for (int n = 0; n < kLanguageTextCount; ++n)
        EXPECT_EQ(g_Language.GetText(n), g_LanguageDefaults[n]) << n;
    CLanguageFileParser parser;
    ASSERT_TRUE(CLanguageLoader::ParseFile(path, parser));
    EXPECT_EQ(parser.TextLineCount(), 213) << "every number has its line, the empty ones too";
    EXPECT_EQ(boxes.Count(), 0u);
}

} // namespace
