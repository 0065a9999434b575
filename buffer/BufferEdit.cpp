#include "buffer/BufferEdit.h"

#include "shell/HexParse.h"

#include <algorithm>
#include <cstring>

namespace buffer {

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::uint8_t Fold(std::uint8_t c)
{
    return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

bool MatchAt(const std::uint8_t* data, const std::vector<std::uint8_t>& pattern, bool matchCase)
{
    if (matchCase)
        return std::memcmp(data, pattern.data(), pattern.size()) == 0;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (Fold(data[i]) != Fold(pattern[i]))
            return false;
    return true;
}

// The first match in [from, to) of match starts, going down.
std::optional<std::size_t> SearchDown(const std::uint8_t* data, std::size_t from, std::size_t to,
    const std::vector<std::uint8_t>& pattern, bool matchCase)
{
    if (from >= to)
        return std::nullopt;
    if (matchCase) {
        // memchr on the first byte does most of the walking.
        const std::uint8_t first = pattern[0];
        for (std::size_t at = from; at < to;) {
            const void* hit = std::memchr(data + at, first, to - at);
            if (!hit)
                return std::nullopt;
            at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
            if (MatchAt(data + at, pattern, true))
                return at;
            ++at;
        }
        return std::nullopt;
    }
    for (std::size_t at = from; at < to; ++at)
        if (Fold(data[at]) == Fold(pattern[0]) && MatchAt(data + at, pattern, false))
            return at;
    return std::nullopt;
}

// The last match in [from, to) of match starts, going up.
std::optional<std::size_t> SearchUp(const std::uint8_t* data, std::size_t from, std::size_t to,
    const std::vector<std::uint8_t>& pattern, bool matchCase)
{
    for (std::size_t at = to; at > from; --at)
        if (MatchAt(data + at - 1, pattern, matchCase))
            return at - 1;
    return std::nullopt;
}

} // namespace

HexBytesResult ParseHexBytes(std::string_view text)
{
    HexBytesResult result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (Blank(text[i])) {
            ++i;
            continue;
        }
        const int hi = HexDigit(text[i]);
        if (hi < 0 || i + 1 >= text.size() || HexDigit(text[i + 1]) < 0) {
            result.errorPosition = hi < 0 ? i : i + 1;
            result.bytes.clear();
            return result;
        }
        result.bytes.push_back(static_cast<std::uint8_t>(hi << 4 | HexDigit(text[i + 1])));
        i += 2;
        if (i < text.size() && !Blank(text[i])) {
            result.errorPosition = i; // three digits in a row, or a letter after a pair
            result.bytes.clear();
            return result;
        }
    }
    result.ok = !result.bytes.empty();
    result.errorPosition = result.ok ? 0 : text.size();
    return result;
}

std::string FormatHexBytes(const std::uint8_t* data, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 3 + size / 16 * 2);
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0)
            text += i % 16 == 0 ? "\r\n" : " ";
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

std::optional<std::size_t> FindBytes(const std::uint8_t* data, std::size_t size, const std::vector<std::uint8_t>& pattern,
    std::size_t start, bool down, bool matchCase)
{
    if (!data || pattern.empty() || pattern.size() > size)
        return std::nullopt;
    const std::size_t starts = size - pattern.size() + 1; // possible match starts 0..starts-1
    start = std::min(start, starts - 1);
    if (down) {
        if (auto hit = SearchDown(data, start, starts, pattern, matchCase))
            return hit;
        return SearchDown(data, 0, start, pattern, matchCase);
    }
    if (auto hit = SearchUp(data, 0, start + 1, pattern, matchCase))
        return hit;
    return SearchUp(data, start + 1, starts, pattern, matchCase);
}

bool FillRange(std::uint8_t* data, std::size_t size, std::size_t from, std::size_t to,
    const std::vector<std::uint8_t>& pattern)
{
    if (!data || pattern.empty() || from > to || to >= size)
        return false;
    const std::size_t n = to - from + 1;
    if (pattern.size() == 1) {
        std::memset(data + from, pattern[0], n);
        return true;
    }
    // The first copy of the pattern, then doubling copies of what is already filled.
    const std::size_t first = std::min(n, pattern.size());
    std::memcpy(data + from, pattern.data(), first);
    std::size_t filled = first;
    while (filled < n) {
        const std::size_t copy = std::min(filled / pattern.size() * pattern.size(), n - filled);
        std::memcpy(data + from + filled, data + from, copy);
        filled += copy;
    }
    return true;
}

bool FillRange(std::vector<std::uint8_t>& data, std::size_t from, std::size_t to, const std::vector<std::uint8_t>& pattern)
{
    return FillRange(data.data(), data.size(), from, to, pattern);
}

} // namespace buffer
