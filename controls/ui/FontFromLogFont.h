#pragma once
// Logical fonts (the font dialog's record, the cells' fonts) as Qt fonts and back.

#include "controls/FontRecord.h"

#include <QFont>

#include <string>

// The family for a face: substituted, DejaVu Sans when Linux has none of that name.
QString FontFamilyFor(const std::string& face);

// A Qt font from a logical font (face substituted when Linux lacks it).
QFont FontFromLogFont(const LogFont& logFont);

// The logical font of a Qt font: its family, its pixel height (negative: character height) and
// its weight and effects.
LogFont LogFontFromFont(const QFont& font);
