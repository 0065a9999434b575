#pragma once
// Text as an editor may save it: UTF-8 or UTF-16 in either byte order, each with or without a
// byte-order mark.

#include <QByteArray>
#include <QString>

#include <string_view>

namespace tonrig::test {

enum class TextEncoding { Utf8, Utf8Marked, Utf16Le, Utf16LeMarked, Utf16Be, Utf16BeMarked };

inline constexpr TextEncoding kTextEncodings[] = { TextEncoding::Utf8, TextEncoding::Utf8Marked, TextEncoding::Utf16Le,
    TextEncoding::Utf16LeMarked, TextEncoding::Utf16Be, TextEncoding::Utf16BeMarked };

inline const char* TextEncodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Utf8Marked:
        return "UTF-8 with a mark";
    case TextEncoding::Utf16Le:
        return "UTF-16LE";
    case TextEncoding::Utf16LeMarked:
        return "UTF-16LE with a mark";
    case TextEncoding::Utf16Be:
        return "UTF-16BE";
    case TextEncoding::Utf16BeMarked:
        return "UTF-16BE with a mark";
    }
    return "";
}

// `utf8` in `encoding`.
inline QByteArray Encode(std::string_view utf8, TextEncoding encoding)
{
    const QByteArray bytes(utf8.data(), static_cast<qsizetype>(utf8.size()));
    if (encoding == TextEncoding::Utf8)
        return bytes;
    if (encoding == TextEncoding::Utf8Marked)
        return "\xEF\xBB\xBF" + bytes;
    const bool big = encoding == TextEncoding::Utf16Be || encoding == TextEncoding::Utf16BeMarked;
    QByteArray out;
    if (encoding == TextEncoding::Utf16LeMarked || encoding == TextEncoding::Utf16BeMarked)
        out = big ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (QChar c : QString::fromUtf8(bytes)) {
        const char low = static_cast<char>(c.unicode() & 0xFF);
        const char high = static_cast<char>(c.unicode() >> 8);
        out.append(big ? high : low).append(big ? low : high);
    }
    return out;
}

} // namespace tonrig::test
