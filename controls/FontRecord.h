#pragma once
// A font as the font dialog hands it over: the logical font and the chosen colour. Held by
// value, so nothing points into a caller's record.

#include "platform/Colour.h"

#include <cstdint>
#include <string>

struct LogFont {
    std::int32_t lfHeight = 0; // < 0: character height in pixels; > 0: cell height; 0: default
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0;
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 400; // 100..900; 0 means normal
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    std::string lfFaceName; // at most 31 characters are used
};

struct ChooseFontRecord {
    LogFont logFont;
    COLORREF rgbColors = RGB(0, 0, 0);
    int iPointSize = 0; // tenths of a point, as the font dialog reports it
};
