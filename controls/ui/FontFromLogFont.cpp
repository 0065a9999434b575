#include "controls/ui/FontFromLogFont.h"

#include "platform/FontFaces.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <algorithm>

namespace {

constexpr int kFaceNameChars = 31;

} // namespace

QString FontFamilyFor(const std::string& face)
{
    QString family = QString::fromStdString(platform::SubstituteFontFace(face)).left(kFaceNameChars);
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        family = "DejaVu Sans";
    return family;
}

QFont FontFromLogFont(const LogFont& lf)
{
    QFont font(FontFamilyFor(lf.lfFaceName));
    if (lf.lfHeight != 0)
        font.setPixelSize(std::max(1, lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight));
    const int weight = lf.lfWeight == 0 ? 400 : std::clamp(lf.lfWeight, 100, 900);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    if ((lf.lfPitchAndFamily & 0x03) == 1) // fixed pitch
        font.setStyleHint(QFont::Monospace);
    return font;
}

LogFont LogFontFromFont(const QFont& font)
{
    LogFont lf;
    const QFontInfo info(font);
    lf.lfHeight = -std::max(1, info.pixelSize());
    lf.lfWeight = std::clamp(static_cast<int>(font.weight()), 100, 900);
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    if (info.fixedPitch())
        lf.lfPitchAndFamily = 1;
    lf.lfFaceName = font.family().left(kFaceNameChars).toStdString();
    return lf;
}
