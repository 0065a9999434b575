#include "shell/LanguageLoader.h"

#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "shell/Language.h"
#include "shell/RegistryKey.h"
#include "shell/UnicodeStdioFile.h"

#include <QString>
#include <QStringDecoder>

#include <cstdio>

namespace {

constexpr std::u32string_view kNameKey = U"LanguageName=";
constexpr std::u32string_view kNameKeySpaced = U"LanguageName = ";

bool IsBlank(char32_t c)
{
    return c == U' ' || c == U'\t' || c == U'\n' || c == U'\v' || c == U'\f' || c == U'\r';
}

std::u32string_view TrimLeft(std::u32string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::u32string_view Trim(std::u32string_view s)
{
    s = TrimLeft(s);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

void ReplaceAll(std::u32string& s, std::u32string_view from, std::u32string_view to)
{
    for (size_t at = s.find(from); at != std::u32string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// Lines are counted in characters (code points), never in bytes. Both conversions keep a
// leading U+FEFF (Qt's defaults drop it): only the file's own first bytes may be a mark, and the
// parser removes that one itself.
std::u32string ToChars(std::string_view utf8)
{
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return text.toStdU32String();
}

std::string ToUtf8(std::u32string_view chars)
{
    QString text;
    text.reserve(static_cast<qsizetype>(chars.size()));
    for (char32_t c : chars) {
        const char32_t cp = (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ? char32_t(0xFFFD) : c;
        if (QChar::requiresSurrogates(cp)) {
            text += QChar(QChar::highSurrogate(cp));
            text += QChar(QChar::lowSurrogate(cp));
        } else {
            text += QChar(static_cast<char16_t>(cp));
        }
    }
    return text.toStdString();
}

size_t CharCount(const std::string& utf8)
{
    return ToChars(utf8).size();
}

// Loads run on the GUI thread only, as the sink is set.
CLanguageLoader::LogSink g_sink;

void LanguageLog(const std::string& text)
{
    if (g_sink)
        g_sink(text);
    else
        TraceText(text + "\n");
}

} // namespace

void CLanguageLoader::SetLogSink(LogSink sink)
{
    g_sink = std::move(sink);
}

void CLanguageFileParser::AddLine(std::string_view bytes)
{
    ++m_lines;
    if (m_faultLine == 0 && bytes.find('\0') != std::string_view::npos) {
        m_faultLine = m_lines;
        m_fault = "the line holds a NUL byte";
    }
    std::u32string line = ToChars(bytes);
    if (m_firstLine && !line.empty() && line.front() == U'\uFEFF')
        line.erase(0, 1);
    m_firstLine = false;

    // Only a text line that ends in its closing characters is whole.
    m_lastLineComplete = true;
    if (!line.empty() && (line.front() == U';' || line.front() == U'/'))
        return;
    const std::u32string_view trimmed = Trim(line);
    m_lastLineComplete = trimmed.empty() || trimmed.ends_with(U"\";");
    if (trimmed.size() < 5)
        return;

    std::u32string named(TrimLeft(line));
    ReplaceAll(named, kNameKeySpaced, kNameKey);
    if (named.starts_with(kNameKey)) {
        m_lastLineComplete = true;
        m_hasName = true;
        m_name = ToUtf8(std::u32string_view(named).substr(kNameKey.size()));
        return;
    }

    if (trimmed.find(U"=\"") != 4)
        return;
    ++m_textLines;
    if (static_cast<int>(m_texts.size()) >= kLanguageTextCount)
        return;
    std::u32string text;
    if (trimmed.size() >= 8)
        text = trimmed.substr(6, trimmed.size() - 8);
    ReplaceAll(text, U"\\r\\n", U"\r\n");
    m_texts.push_back(ToUtf8(text));
}

void CLanguageFileParser::EndFile(bool lastLineEnded)
{
    if (m_faultLine == 0 && !lastLineEnded && !m_lastLineComplete) {
        m_faultLine = m_lines;
        m_fault = "the last line is cut short";
    }
}

bool CLanguageLoader::ParseFile(const std::string& path, CLanguageFileParser& parser)
{
    // Only 8-bit files come here (UTF-16 ones are refused first), and the 8-bit reader returns
    // every line whole, whatever its length: a split line would shift every later text.
    CUnicodeStdioFile file;
    if (!file.Open(path, CUnicodeStdioFile::modeRead | CUnicodeStdioFile::typeText) || file.m_bUnicode)
        return false;
    std::string line;
    while (file.ReadString(line))
        parser.AddLine(line);
    file.Close();
    // The reader drops line ends; the file's last byte tells whether its last line had one.
    bool ended = true;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fseek(f, -1, SEEK_END) == 0) {
            const int last = std::fgetc(f);
            ended = last == '\n' || last == '\r';
        }
        std::fclose(f);
    }
    parser.EndFile(ended);
    return true;
}

int CLanguageLoader::IsUnicodeFile(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    unsigned char bytes[80];
    const size_t n = std::fread(bytes, 1, sizeof bytes, f);
    const bool unreadable = std::ferror(f) != 0; // a folder opens but cannot be read
    std::fclose(f);
    if (unreadable)
        return 0;

    if (n >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return 2;
    // Without a mark: 8-bit text holds no NUL byte, while UTF-16 text of mostly Latin letters
    // has its NULs all on one side of each character.
    size_t nulEven = 0, nulOdd = 0;
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] == 0)
            ++(i % 2 ? nulOdd : nulEven);
    }
    if ((nulEven > 0) != (nulOdd > 0))
        return 2;
    return 1;
}

std::string CLanguageLoader::GetLanguageName(const std::string& path)
{
    const int kind = IsUnicodeFile(path);
    if (kind == 0) {
        MessageBox(platform::Format("%s Language file open error.", path.c_str()));
        return {};
    }
    CLanguageFileParser parser;
    if (kind == 2 || !ParseFile(path, parser))
        return {};
    return parser.Name();
}

bool CLanguageLoader::LoadLanguageFile(const std::string& path)
{
    const int kind = IsUnicodeFile(path);
    CLanguageFileParser parser;
    if (kind == 0 || (kind == 1 && !ParseFile(path, parser))) {
        MessageBox(platform::Format("%s Language file open error.", path.c_str()));
        return false;
    }
    if (kind == 2) {
        MessageBox(path + "\r\nUnicode Language file can not read! Please save as ASCII fomat.");
        return false;
    }
    if (parser.Name().empty()) {
        MessageBox("Language file open error! Default lanuage used.");
        return false;
    }

    LoadBuiltInTexts();
    const auto& texts = parser.Texts();
    for (size_t i = 0; i < texts.size(); ++i)
        g_LanguageTexts[i] = texts[i];
    if (parser.FaultLine() > 0)
        LanguageLog(
            platform::Format("#WARNING# %s, line %d: %s", path.c_str(), parser.FaultLine(), parser.Fault().c_str()));
    return true;
}

void CLanguageLoader::LoadSavedLanguage()
{
    std::string path;
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (!key.Open(HKEY_CURRENT_USER, kSettingsKey))
            return;
        const bool found = key.ReadString(kSettingsValue, path);
        key.Close();
        if (!found)
            return;
    }
    if (CharCount(path) > 3)
        LoadLanguageFile(path);
}

std::string CLanguageLoader::LanguageFolder()
{
    return GetAppDataFolder() + "/Languages/";
}

void CLanguageLoader::SaveLanguageSetting(const std::string& path)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Exists(HKEY_CURRENT_USER, kSettingsKey))
        key.Create(HKEY_CURRENT_USER, kSettingsKey);
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey))
        key.WriteString(kSettingsValue, path);
    key.Close();
}

std::string CLanguageLoader::FormatLanguageFile(const std::string& name, const std::vector<std::string>& texts)
{
    std::string out;
    out += "; Tonrig language file. Translate the text between the double quotes of each line.\n";
    out += "; Keep every line and its place: texts are numbered by their order, not by their keys.\n";
    out += "; \\r\\n in a text stands for a line break.\n";
    out += "LanguageName=" + name + "\n";
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string text = texts[i];
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 4))
            text.replace(at, 2, "\\r\\n");
        out += platform::Format("%04zu=\"", i) + text + "\";\n";
    }
    return out;
}

void CLanguageLoader::LoadBuiltInTexts()
{
    g_Language.Reset();
    g_Language.SetTexts(g_LanguageDefaults.data(), kLanguageTextCount);
}

void InitLanguageForView()
{
    CLanguageLoader::LoadBuiltInTexts();
    CLanguageLoader::LoadSavedLanguage();
}
