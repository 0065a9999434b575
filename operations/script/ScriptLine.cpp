#include "operations/script/ScriptLine.h"

#include "platform/Colour.h"
#include "shell/HexParse.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsLineEnd(int c)
{
    return c == '\r' || c == '\n' || c == 0xFF;
}

bool StartsWith(std::string_view text, std::string_view head)
{
    return text.size() >= head.size() && text.substr(0, head.size()) == head;
}

// 1 to `digits` hex digits; nothing else.
std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t digits)
{
    if (text.empty() || text.size() > digits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        const std::size_t start = at;
        while (at < text.size() && !IsBlank(text[at]))
            ++at;
        if (at > start)
            words.push_back(text.substr(start, at - start));
    }
    return words;
}

std::string BadValue(std::string_view value)
{
    return "Bad value: " + std::string(value);
}

// Seconds as a decimal, fractions allowed: the leading number of the text; 0 when there is none
// or it is negative, at most a day.
std::uint32_t WaitMilliseconds(std::string_view text)
{
    const std::string word(Trim(text));
    std::string number;
    std::size_t at = 0;
    if (at < word.size() && (word[at] == '+' || word[at] == '-'))
        number += word[at++];
    bool point = false;
    bool digits = false;
    for (; at < word.size(); ++at) {
        const char c = word[at];
        if (c >= '0' && c <= '9') {
            number += c;
            digits = true;
        } else if (c == '.' && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits || number[0] == '-')
        return 0;
    // Plain digits and one point: the integer and fraction parts are read without the locale.
    double seconds = 0;
    double scale = 1;
    bool fraction = false;
    for (char c : number) {
        if (c == '+')
            continue;
        if (c == '.') {
            fraction = true;
            continue;
        }
        if (fraction) {
            scale /= 10;
            seconds += (c - '0') * scale;
        } else {
            seconds = seconds * 10 + (c - '0');
        }
        if (seconds > 86400)
            return 86400u * 1000u;
    }
    return static_cast<std::uint32_t>(std::lround(seconds * 1000));
}

struct Keyword {
    const char* text;
    ScriptCommand command;
};

constexpr std::array<Keyword, 27> kKeywords { {
    { "DEVICE ", ScriptCommand::Device },
    { "READ", ScriptCommand::Read },
    { "WRITE", ScriptCommand::Write },
    { "VERIFY", ScriptCommand::Verify },
    { "ERASE", ScriptCommand::Erase },
    { "BLANKCHECK", ScriptCommand::BlankCheck },
    { "MESSAGE ", ScriptCommand::Message },
    { "WAIT ", ScriptCommand::Wait },
    { "OFFSET FILE ", ScriptCommand::OffsetFile },
    { "OFFSET DEVICE ", ScriptCommand::OffsetDevice },
    { "BYTESWAP", ScriptCommand::ByteSwap },
    { "STOP", ScriptCommand::Stop },
    { "FILL ", ScriptCommand::Fill },
    { "SPEED ", ScriptCommand::Speed },
    { "LOAD ", ScriptCommand::Load },
    { "SAVE ", ScriptCommand::Save },
    { "UNCHECKBOX ", ScriptCommand::UncheckBox },
    { "CHECKBOX ", ScriptCommand::CheckBox },
    { "COLOR ", ScriptCommand::Color },
    { "SCRIPT ", ScriptCommand::Script },
    { "EXIT APP", ScriptCommand::ExitApp },
    { "LOG ", ScriptCommand::Log },
    { "CLS", ScriptCommand::Cls },
    { "GOTO ", ScriptCommand::Goto },
    { "LABEL", ScriptCommand::Label },
    { "HELP", ScriptCommand::Help },
    { "?", ScriptCommand::Help },
} };

struct OptionName {
    const char* text;
    HeaderOption option;
};

constexpr std::array<OptionName, 8> kOptionNames { {
    { "ID", HeaderOption::IdCheck },
    { "READ", HeaderOption::Read },
    { "WRITE", HeaderOption::Write },
    { "BLANKCHECK", HeaderOption::BlankCheck },
    { "ERASE", HeaderOption::Erase },
    { "VERIFY", HeaderOption::Verify },
    { "DOUBLE WRITE", HeaderOption::DoubleWrite },
    { "TEMP UNPROTECT", HeaderOption::TempUnprotect },
} };

void ParseFill(ScriptParse& p)
{
    const std::vector<std::string_view> words = Words(p.argument);
    if (words.empty()) {
        p.error = BadValue("");
        return;
    }
    const std::optional<std::uint32_t> data = ParseHex(words[0], 2);
    if (!data) {
        p.error = BadValue(words[0]);
        return;
    }
    p.fillByte = static_cast<std::uint8_t>(*data);
    if (words.size() > 1) {
        const std::optional<std::uint32_t> from = ParseHex(words[1], 6);
        if (!from) {
            p.error = BadValue(words[1]);
            return;
        }
        p.fillFrom = *from;
    }
    if (words.size() > 2) {
        const std::optional<std::uint32_t> to = ParseHex(words[2], 6);
        if (!to) {
            p.error = BadValue(words[2]);
            return;
        }
        p.fillTo = *to;
    }
}

void ParseColor(ScriptParse& p)
{
    struct Target {
        const char* text;
        ColorTarget target;
    };
    static constexpr Target kTargets[] = { { "LOG BKG ", ColorTarget::LogBack }, { "LOG FONT ", ColorTarget::LogText },
        { "COMMAND BKG ", ColorTarget::CommandBack }, { "COMMAND FONT ", ColorTarget::CommandText } };
    const std::string upper = UpperAscii(p.argument);
    std::string_view colour = upper;
    p.colorTarget = ColorTarget::LogBack;
    for (const Target& t : kTargets) {
        if (StartsWith(upper, t.text)) {
            p.colorTarget = t.target;
            colour.remove_prefix(std::string_view(t.text).size());
            break;
        }
    }
    const std::string text = Trim(colour);
    const std::optional<std::uint32_t> rgb = ParseHex(text, 6);
    if (!rgb) {
        p.error = BadValue(text);
        return;
    }
    p.color = RGB(
        static_cast<std::uint8_t>(*rgb >> 16), static_cast<std::uint8_t>(*rgb >> 8), static_cast<std::uint8_t>(*rgb));
}

void ParseOption(ScriptParse& p)
{
    const std::string upper = UpperAscii(TrimLeft(p.argument));
    for (const OptionName& name : kOptionNames) {
        if (StartsWith(upper, name.text)) {
            p.option = name.option;
            return;
        }
    }
    p.note = "Unknown option.";
}

int SpeedLevel(std::string_view argument)
{
    const std::string text = Trim(argument);
    if (text == "-2")
        return 1;
    if (text == "-1")
        return 2;
    if (text == "0")
        return 3;
    if (text == "+1")
        return 4;
    return 5;
}

} // namespace

bool ScriptStream::SkipByteOrderMark()
{
    if (m_in.peek() != 0xEF)
        return false;
    char bytes[3] {};
    m_in.read(bytes, 3);
    if (m_in.gcount() == 3 && static_cast<unsigned char>(bytes[1]) == 0xBB
        && static_cast<unsigned char>(bytes[2]) == 0xBF)
        return true;
    // Not a mark: start again from the first byte.
    m_in.clear();
    m_in.seekg(0);
    return false;
}

int ScriptStream::Get()
{
    const int c = m_in.get();
    if (c == std::char_traits<char>::eof())
        return -1;
    const int byte = c & 0xFF;
    if (byte == '\n' && m_afterCr) {
        // The LF of a CR LF: the CR ended the line already.
        m_afterCr = false;
        m_lastLine = m_line - 1;
        return byte;
    }
    m_lastLine = m_line;
    m_afterCr = byte == '\r';
    if (byte == '\r' || byte == '\n')
        ++m_line;
    return byte;
}

int ScriptStream::Peek()
{
    const int c = m_in.peek();
    return c == std::char_traits<char>::eof() ? -1 : (c & 0xFF);
}

ScriptLineRead ReadScriptLine(ScriptStream& stream, char* line, std::size_t length)
{
    ScriptLineRead read;
    while (read.count < length) {
        const int c = stream.Get();
        if (c < 0)
            return read;
        if (IsLineEnd(c)) {
            if (read.count > 0)
                return read;
            continue;
        }
        if (read.count == 0)
            read.line = stream.LineOfLast();
        line[read.count++] = static_cast<char>(c);
    }
    const int next = stream.Peek();
    read.tooLong = next >= 0 && !IsLineEnd(next);
    return read;
}

std::string DecodeScriptText(std::string_view bytes)
{
    // Valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) stays as it is.
    std::size_t i = 0;
    bool valid = true;
    while (i < bytes.size() && valid) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3;
            cp = b & 0x07;
        } else {
            valid = false;
            break;
        }
        if (i + n >= bytes.size()) {
            valid = false;
            break;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = cp << 6 | (c & 0x3F);
        }
        if (!valid)
            break;
        if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            valid = false;
        i += n + 1;
    }
    if (valid)
        return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | b >> 6);
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

std::string TrimLeft(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return std::string(text.substr(start));
}

std::string Trim(std::string_view text)
{
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && IsBlank(text[start]))
        ++start;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(start, end - start));
}

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

ScriptParse ParseScriptLine(std::string_view text)
{
    ScriptParse p;
    const std::string trimmed = Trim(text);
    if (trimmed.size() < 2 && trimmed != "?")
        return p;
    const std::string key = UpperAscii(trimmed);
    if (!StartsWith(key, "LOG "))
        p.echo = trimmed;
    p.command = ScriptCommand::Unknown;
    for (const Keyword& k : kKeywords) {
        if (StartsWith(key, k.text)) {
            p.command = k.command;
            p.keyword = k.text;
            break;
        }
    }
    if (p.command == ScriptCommand::Unknown)
        return p;
    p.argument = trimmed.substr(p.keyword.size());
    switch (p.command) {
    case ScriptCommand::Device:
        p.argument = TrimLeft(key.substr(p.keyword.size()));
        break;
    case ScriptCommand::OffsetFile:
    case ScriptCommand::OffsetDevice:
    case ScriptCommand::Load:
    case ScriptCommand::Save:
    case ScriptCommand::Script:
    case ScriptCommand::Goto:
        p.argument = Trim(p.argument);
        break;
    case ScriptCommand::Wait:
        p.waitMs = WaitMilliseconds(p.argument);
        break;
    case ScriptCommand::Fill:
        ParseFill(p);
        break;
    case ScriptCommand::Speed:
        p.speedLevel = SpeedLevel(p.argument);
        break;
    case ScriptCommand::CheckBox:
    case ScriptCommand::UncheckBox:
        ParseOption(p);
        break;
    case ScriptCommand::Color:
        ParseColor(p);
        break;
    default:
        break;
    }
    return p;
}

const std::vector<std::string>& ScriptHelpLines()
{
    static const std::vector<std::string> lines {
        "=============================",
        "ZelvoScript Command Example:",
        "Capital words are key words",
        "------------------------------",
        "?  this help message",
        "BLANKCHECK",
        "BYTESWAP",
        "CHECKBOX id/read/write/erase/blankcheck/double write/temp protect  (check the checkbox)",
        "CLS (clear main message log screen)",
        "COLOR LOG BKG ffffff  (where ffffff is the RGB color digit) ",
        "COLOR COMMAND BKG ffffff  (where ffffff is the RGB color digit) ",
        "DEVICE SST27SF512",
        "ERASE",
        "EXIT APP  (exit the software)",
        "FILL <data>",
        "FILL <data> <fromAddress(hex)>",
        "FILL <data> <fromAddress(hex>) <toAddress(hex)>",
        "GOTO <label>",
        "HELP  (this help message)",
        "LABEL <for GOTO script use only>",
        "LOAD <myData.bin>",
        "LOG <this is a message log only.>",
        "MESSAGE <my message prompt>",
        "OFFSET FILE <offset value>",
        "OFFSET DEVICE <offset value>",
        "READ",
        "SCRIPT <myScript.zvs>",
        "SPEED <speed>(eg. +2)",
        "STOP (stop the script)",
        "SAVE <d:\\data\\myData.bin>",
        "UNCHECKBOX <id/read/write/erase/blankcheck/double write/temp protect>  (uncheck the checkbox)",
        "VERIFY",
        "WAIT <seconds>  (wait seconds)",
        "WRITE",
        "================",
    };
    return lines;
}

std::string FileOpenErrorText(const std::string& path)
{
    return "file open error: " + path;
}
