#include "platform/TextFormat.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

bool IsValidUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size())
                return false;
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// The part of a file that tells its form.
constexpr std::size_t kPrefix = 1024;

enum class Utf16 { No, LittleEndian, BigEndian };

// UTF-16 without a mark: the byte pairs of the prefix that hold one NUL hold it mostly on one
// side. Latin text gives such a pair for each character; other scripts give one for each line end
// or Latin character, and a few on the other side (U+4E00 is one); 8-bit text gives none.
Utf16 UnmarkedUtf16(std::string_view bytes)
{
    const std::size_t pairs = std::min(bytes.size(), kPrefix) / 2;
    std::size_t lowFirst = 0;
    std::size_t highFirst = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const bool first = bytes[2 * i] == '\0';
        const bool second = bytes[2 * i + 1] == '\0';
        if (second && !first)
            ++lowFirst;
        else if (first && !second)
            ++highFirst;
    }
    // Eight such pairs, or most pairs of a short file.
    const std::size_t enough = std::min<std::size_t>(8, pairs / 2 + 1);
    const auto decides = [&](std::size_t side, std::size_t other) { return side >= enough && side >= 2 * other; };
    if (decides(lowFirst, highFirst))
        return Utf16::LittleEndian;
    if (decides(highFirst, lowFirst))
        return Utf16::BigEndian;
    return Utf16::No;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
    }
    // Half a character at the end is kept as the replacement character, not dropped unseen.
    if (bytes.size() % 2 != 0)
        units.push_back(u'\uFFFD');
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
}

} // namespace

std::string DecodeEightBitText(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

std::string DecodeTextFile(std::string_view bytes)
{
    const auto starts = [bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xFF\xFE"))
        return Utf16ToUtf8(bytes.substr(2), false);
    if (starts("\xFE\xFF"))
        return Utf16ToUtf8(bytes.substr(2), true);
    if (starts("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    else if (const Utf16 form = UnmarkedUtf16(bytes); form != Utf16::No)
        return Utf16ToUtf8(bytes, form == Utf16::BigEndian);
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    // Line by line: one line in Latin-1 leaves the others UTF-8.
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 8);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = bytes.size();
        text += DecodeEightBitText(bytes.substr(start, end - start));
        if (end < bytes.size())
            text += bytes[end];
        start = end + 1;
    }
    return text;
}

bool IsMostlyNul(std::string_view text)
{
    const std::string_view prefix = text.substr(0, kPrefix);
    const auto nuls = static_cast<std::size_t>(std::count(prefix.begin(), prefix.end(), '\0'));
    return !prefix.empty() && 4 * nuls >= prefix.size();
}

std::string FormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = FormatV(format, args);
    va_end(args);
    return out;
}

} // namespace platform
