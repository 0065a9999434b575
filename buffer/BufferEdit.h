#pragma once
// The byte work of the hex editor, its clipboard, Find and Fill: hex text to bytes and back, a
// search that wraps once, and a fill of a range with a repeated pattern. Results are values; the
// editor and the view show them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace buffer {

struct HexBytesResult {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::size_t errorPosition = 0; // of the first character that does not fit, when !ok
};

// Strict hex bytes: pairs of digits (either case), blanks (spaces, tabs, line ends) between
// bytes and around them, nothing else. An empty or blank text is not ok either.
HexBytesResult ParseHexBytes(std::string_view text);

// Upper-case pairs with single spaces, "\r\n" after every 16 bytes but the last.
std::string FormatHexBytes(const std::uint8_t* data, std::size_t size);

// The first match of `pattern` from `start` on (down) or from `start` back (up), wrapping once
// round the block to where it started. `matchCase` false compares ASCII letters alike. None
// for an empty pattern, one longer than the data, or no match.
std::optional<std::size_t> FindBytes(const std::uint8_t* data, std::size_t size, const std::vector<std::uint8_t>& pattern,
    std::size_t start, bool down, bool matchCase = true);

// Fills from..to (inclusive) with the pattern repeated from `from`, cut at `to`. False, and
// nothing changed, when from > to, to >= the size, or the pattern is empty.
bool FillRange(std::vector<std::uint8_t>& data, std::size_t from, std::size_t to, const std::vector<std::uint8_t>& pattern);
bool FillRange(std::uint8_t* data, std::size_t size, std::size_t from, std::size_t to,
    const std::vector<std::uint8_t>& pattern);

} // namespace buffer
