#pragma once
// The program's own implementations of the injectable services: real message boxes (shown on
// the GUI thread, whichever thread asks; their text is plain, never markup) and the desktop
// opener. Tests install their own.

#include "platform/Colour.h"

#include <QColor>
#include <QFont>

#include <string>

namespace platform {

void InstallQtMessageBoxes();
void InstallQtDesktopOpener();

inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF FromQColor(const QColor& c)
{
    return RGB(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()), static_cast<std::uint8_t>(c.blue()));
}

// A font of a Windows face, substituted, at `pointSize`; DejaVu Sans when the face is missing.
QFont MakeFont(const std::string& face, int pointSize, int weight = 400);

} // namespace platform
