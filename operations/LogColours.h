#pragma once
// Colours of the operation lines in the message log.

#include "platform/Colour.h"

namespace log_colours {

constexpr COLORREF kNormal = RGB(0, 0, 0);
constexpr COLORREF kInfo = RGB(0, 0, 160);
constexpr COLORREF kSuccess = RGB(0, 128, 0);
constexpr COLORREF kError = RGB(200, 0, 0);

} // namespace log_colours
