#pragma once
// Colours of the operation lines in the message log.

#include "operations/CompletionReport.h"
#include "platform/Colour.h"

namespace log_colours {

constexpr COLORREF kNormal = RGB(0, 0, 0);
constexpr COLORREF kInfo = RGB(0, 0, 160);
constexpr COLORREF kSuccess = RGB(0, 128, 0);
constexpr COLORREF kError = RGB(200, 0, 0);

// The colour a report line of `tone` is logged in.
constexpr COLORREF OfTone(LineTone tone)
{
    switch (tone) {
    case LineTone::Info:
        return kInfo;
    case LineTone::Success:
        return kSuccess;
    case LineTone::Error:
        return kError;
    case LineTone::Normal:
        break;
    }
    return kNormal;
}

} // namespace log_colours
