#pragma once
// Colours travel as COLORREF numbers, 0x00BBGGRR, as the system's interfaces define them.

#include <cstdint>

using COLORREF = std::uint32_t;

constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr std::uint8_t GetRValue(COLORREF c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GetGValue(COLORREF c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(COLORREF c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }

// Moves each channel towards white by `factor` of its distance (truncated); a factor not above
// 0 or above 1 leaves the colour as it is.
constexpr COLORREF LightenColor(COLORREF colour, double factor)
{
    if (!(factor > 0.0 && factor <= 1.0))
        return colour;
    auto lift = [factor](std::uint8_t c) { return static_cast<std::uint8_t>(factor * (255 - c) + c); };
    return RGB(lift(GetRValue(colour)), lift(GetGValue(colour)), lift(GetBValue(colour)));
}

// Moves each channel towards black by `factor` of its value (truncated); same guard.
constexpr COLORREF DarkenColor(COLORREF colour, double factor)
{
    if (!(factor > 0.0 && factor <= 1.0))
        return colour;
    auto drop = [factor](std::uint8_t c) { return static_cast<std::uint8_t>(c - factor * c); };
    return RGB(drop(GetRValue(colour)), drop(GetGValue(colour)), drop(GetBValue(colour)));
}
