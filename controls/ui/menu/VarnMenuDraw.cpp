// Measuring and drawing of VarnMenu items: the XP look (flat, light selection, image column) and
// the classic look (raised and sunken image buttons, the system highlight).

#include "controls/ui/menu/VarnMenu.h"

#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

constexpr int kMargin = 4; // M

std::optional<bool>& PaletteDisplayOverride()
{
    static std::optional<bool> palette;
    return palette;
}

QFont MenuFont()
{
    return QApplication::font("QMenu");
}

QRgb ToRgb(COLORREF c)
{
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

void SetPixel(QPainter& dc, int x, int y, COLORREF colour)
{
    FillSolidRect(dc, WinRect { x, y, x + 1, y + 1 }, colour);
}

// The 1-pixel button frames of the classic look.
void FrameRaised(QPainter& dc, const WinRect& box)
{
    Draw3dRect(dc, box, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
}

void FrameSunken(QPainter& dc, const WinRect& box)
{
    Draw3dRect(dc, box, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
}

// Ink of the two embossing methods: true where the bitmap has ink.
template <typename IsInk> void Emboss(QPainter& dc, int x, int y, const QImage& bitmap, IsInk isInk)
{
    const QImage src = bitmap.convertToFormat(QImage::Format_RGB32);
    const COLORREF hilite = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    for (int py = 0; py < src.height(); ++py)
        for (int px = 0; px < src.width(); ++px)
            if (isInk(src.pixel(px, py)))
                SetPixel(dc, x + px + 1, y + py + 1, hilite);
    for (int py = 0; py < src.height(); ++py)
        for (int px = 0; px < src.width(); ++px)
            if (isInk(src.pixel(px, py)))
                SetPixel(dc, x + px, y + py, shadow);
}

} // namespace

// ---- measuring ------------------------------------------------------------------------------

int VarnMenu::MenuBarHeight()
{
    return QFontMetrics(MenuFont()).height() + 4;
}

bool VarnMenu::IsPaletteDisplay()
{
    if (PaletteDisplayOverride())
        return *PaletteDisplayOverride();
    return QPixmap::defaultDepth() <= 8;
}

void VarnMenu::SetPaletteDisplay(std::optional<bool> palette)
{
    PaletteDisplayOverride() = palette;
}

void VarnMenu::MeasureItem(VarnMenuMeasureRecord& measure)
{
    const VarnMenuItemRecord* record = measure.itemData;
    if (!record)
        return;
    const int W = g_nVarnMenuImageWidth, H = g_nVarnMenuImageHeight;
    const bool xp = IsXPStyle();
    if (record->m_nFlags & MF_SEPARATOR) {
        measure.itemWidth = 0;
        measure.itemHeight = xp ? 3 : static_cast<UINT>(std::max(MenuBarHeight() >> 1, (H + kMargin) / 2));
        return;
    }
    // Always the menu font: items are drawn in it too.
    const QFont font = MenuFont();
    const QFontMetrics fm(font);
    const QString& text = record->m_pszText;
    int textWidth = 0;
    if (g_nWindowsVersionClass == 0) {
        const WinRect r = MeasureText(fm, text, WinRect { 0, 0, 0, 0 }, DT_SINGLELINE | DT_VCENTER);
        textWidth = r.Width() + 3;
        if (!text.isEmpty())
            textWidth += 3 * (textWidth / static_cast<int>(text.size()));
    } else {
        textWidth = fm.horizontalAdvance(text);
    }
    const int width = xp ? W + kMargin + textWidth + 8 : 2 * W + textWidth + 1;
    measure.itemWidth = static_cast<UINT>(width);
    measure.itemHeight = static_cast<UINT>(std::max(MenuBarHeight(), H + kMargin));
}

// ---- drawing --------------------------------------------------------------------------------

void VarnMenu::DrawItem(VarnMenuDrawRecord& draw)
{
    if (!draw.painter || !draw.itemData)
        return;
    draw.painter->setFont(MenuFont());
    if (IsPaletteDisplay() || ActiveDrawMode() != 1)
        DrawItemClassic(draw);
    else
        DrawItemXPStyle(draw);
}

VarnMenu::ItemImage VarnMenu::ResolveImage(const VarnMenuItemRecord& record)
{
    ItemImage image;
    if (record.m_nImageResource >= 0) {
        image.list = record.m_pImages.get();
        image.index = record.m_nImageIndex;
        image.resource = record.m_nImageResource;
    } else if (record.m_nGlobalImage >= 0) {
        image.list = &g_VarnMenuImages;
        image.index = record.m_nGlobalImage;
        image.resource = 0;
    }
    return image;
}

void VarnMenu::DrawItemText(QPainter& dc, const QString& text, const WinRect& item, int left, COLORREF colour)
{
    if (text.isEmpty())
        return;
    WinRect r { left, item.top - 1, item.right, item.bottom - 1 };
    QString label = text;
    QString accelerator;
    const qsizetype lastTab = text.lastIndexOf(u'\t');
    if (lastTab >= 0) {
        accelerator = text.mid(lastTab + 1);
        label = text.left(text.indexOf(u'\t'));
        r.right -= g_nVarnMenuImageWidth;
    }
    dc.setPen(platform::ToQColor(colour));
    DrawText(dc, label, r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    if (!accelerator.isEmpty())
        DrawText(dc, accelerator, r, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
}

void VarnMenu::DrawDisabledImage(QPainter& dc, const ItemImage& image, int x, int y, COLORREF background) const
{
    if (!image.list)
        return;
    const QImage bitmap = RenderImageToBitmap(image.list, image.index);
    if (m_bDynamicDisabledImages)
        DrawMaskEmbossedImage(dc, x, y, bitmap, background);
    else if (g_bVarnMenuPlainBitmaps)
        DrawShadedImage(dc, x, y, bitmap, background);
    else
        DrawEmbossedImage(dc, x, y, bitmap, background);
}

void VarnMenu::DrawItemXPStyle(VarnMenuDrawRecord& draw)
{
    QPainter& dc = *draw.painter;
    const VarnMenuItemRecord& record = *draw.itemData;
    const WinRect rc = draw.rcItem;
    const int W = g_nVarnMenuImageWidth, H = g_nVarnMenuImageHeight;
    const bool themed = IsThemedXP();
    const COLORREF G = DarkenColor(GetSysColor(COLOR_WINDOW), 0.02);
    COLORREF F = GetSysColor(COLOR_BTNFACE);
    if (!themed)
        F = LightenColor(F, 0.25);
    const COLORREF C = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF S = LightenColor(C, themed ? 0.7 : 0.85);
    const int K = W + kMargin;
    const WinRect column { rc.left, rc.top, rc.left + K, rc.bottom };

    const bool grayed = draw.itemState & ODS_GRAYED;
    const bool checked = draw.itemState & ODS_CHECKED;
    const bool selected = (draw.itemState & ODS_SELECTED) && !grayed; // never selected when grayed

    if (record.m_nFlags & MF_SEPARATOR) {
        FillSolidRect(dc, rc, G);
        FillSolidRect(dc, column, F);
        FrameRect(dc, column, F);
        const int y = rc.top + rc.Height() / 2;
        DrawEdge(dc, WinRect { rc.left + K + kMargin, y, rc.right, rc.bottom }, EDGE_ETCHED, BF_TOP);
        return;
    }

    const ItemImage image = ResolveImage(record);
    const bool hasImage = image.resource >= 0;
    const bool checkImage
        = checked && !hasImage && ((selected && m_nSelectedCheckBitmap > 0) || m_nUnselectedCheckBitmap > 0);

    if (selected) {
        FillSolidRect(dc, rc, S);
        FrameRect(dc, rc, C);
    } else {
        FillSolidRect(dc, rc, G);
        FillSolidRect(dc, column, F);
        FrameRect(dc, rc, G);
        FrameRect(dc, column, F);
    }

    const int DY = std::max(0, static_cast<int>((rc.Height() - H) / 2.0 + 0.5));
    const int DX = std::max(0, static_cast<int>((K - W) / 2.0 + 0.5));
    const WinRect imageBox { rc.left + 1, rc.top + 1, rc.left + K - 2, rc.bottom - 1 };
    const int qx = rc.left + DX, qy = rc.top + DY;

    if (checkImage) {
        if (m_pCheckImages) {
            FillSolidRect(dc, imageBox, F);
            m_pCheckImages->Draw(dc, selected ? 1 : 0, qx, qy);
        }
    } else if (hasImage) {
        if (grayed) {
            DrawDisabledImage(dc, image, qx, qy, F);
        } else if (selected) {
            if (checked) {
                FillSolidRect(dc, imageBox, LightenColor(C, 0.55));
                FrameRect(dc, imageBox, C);
                if (image.list)
                    image.list->Draw(dc, image.index, qx - 1, qy - 1);
            } else {
                FillSolidRect(dc, imageBox, S);
                if (image.list)
                    image.list->Draw(dc, image.index, qx, qy);
            }
        } else if (checked) {
            FillSolidRect(dc, imageBox, LightenColor(C, 0.85));
            FrameRect(dc, imageBox, C);
            if (image.list)
                image.list->Draw(dc, image.index, qx - 1, qy - 1);
        } else {
            FillSolidRect(dc, imageBox, F);
            FrameRect(dc, imageBox, F);
            if (image.list)
                image.list->Draw(dc, image.index, qx, qy);
        }
    } else if (checked) {
        DrawCheckBoxXP(dc, imageBox, draw.radio, C, selected);
    }

    COLORREF text = GetSysColor(COLOR_MENUTEXT);
    if (grayed)
        text = themed ? GetSysColor(COLOR_GRAYTEXT) : LightenColor(GetSysColor(COLOR_GRAYTEXT), 0.4);
    DrawItemText(dc, record.m_pszText, rc, rc.left + K + 8, text);
}

void VarnMenu::DrawItemClassic(VarnMenuDrawRecord& draw)
{
    QPainter& dc = *draw.painter;
    const VarnMenuItemRecord& record = *draw.itemData;
    const WinRect rc = draw.rcItem;
    const int W = g_nVarnMenuImageWidth, H = g_nVarnMenuImageHeight;
    const COLORREF B = GetSysColor(IsThemedXP() ? COLOR_BTNFACE : COLOR_MENU);

    if (record.m_nFlags & MF_SEPARATOR) {
        FillSolidRect(dc, rc, B);
        WinRect line = rc;
        line.top += rc.Height() / 2;
        DrawEdge(dc, line, EDGE_ETCHED, BF_TOP);
        return;
    }

    const bool grayed = draw.itemState & ODS_GRAYED;
    const bool checked = draw.itemState & ODS_CHECKED;
    const bool selected = draw.itemState & ODS_SELECTED; // a grayed item keeps it
    const ItemImage image = ResolveImage(record);
    const bool hasImage = image.resource >= 0;
    const bool checkImage
        = checked && !hasImage && ((selected && m_nSelectedCheckBitmap > 0) || m_nUnselectedCheckBitmap > 0);

    COLORREF textColour = GetSysColor(COLOR_MENUTEXT);
    if (selected) {
        WinRect highlight = rc;
        if (checkImage || hasImage || checked)
            highlight.left = rc.left + W + 5;
        FillSolidRect(dc, highlight, GetSysColor(COLOR_HIGHLIGHT));
        textColour = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else {
        FillSolidRect(dc, rc, B);
        FrameRect(dc, rc, B);
    }

    const int D = std::max(0, (rc.Height() - H - 4) / 2);
    const WinRect imageBox { rc.left + 1, rc.top + D + 1, rc.left + W + 3, rc.top + D + H + 3 };
    const WinRect buttonBox { rc.left, rc.top + D, rc.left + W + 4, rc.top + D + H + 4 };
    const int px = rc.left + 2, py = rc.top + D + 2;

    if (checkImage || hasImage) {
        FrameRect(dc, imageBox, B);
        if (checkImage) {
            if (m_pCheckImages) {
                FillSolidRect(dc, imageBox, B);
                FrameRect(dc, buttonBox, B);
                m_pCheckImages->Draw(dc, selected ? 1 : 0, px, py);
            }
        } else if (grayed) {
            FrameRect(dc, buttonBox, B);
            DrawDisabledImage(dc, image, px, py, B);
        } else if (selected) {
            FillSolidRect(dc, imageBox, B);
            if (IsNewShell()) {
                if (checked)
                    FrameSunken(dc, buttonBox);
                else
                    FrameRaised(dc, buttonBox);
            }
            if (image.list)
                image.list->Draw(dc, image.index, px, py);
        } else {
            if (checked) {
                FillSolidRect(dc, imageBox, LightenColor(B, 0.6));
                if (IsNewShell())
                    FrameSunken(dc, buttonBox);
            } else {
                FillSolidRect(dc, imageBox, B);
                FrameRect(dc, buttonBox, B);
            }
            if (image.list)
                image.list->Draw(dc, image.index, px, py);
        }
    } else if (checked) {
        const WinRect box { rc.left + 1, rc.top + D + 2, rc.left + W + 1, rc.top + D + H + 2 };
        DrawCheckBoxClassic(dc, box, selected, draw.radio);
    }

    const int left = rc.left + W + 9;
    if (!grayed) {
        DrawItemText(dc, record.m_pszText, rc, left, textColour);
    } else if (selected) {
        DrawItemText(dc, record.m_pszText, rc, left, B);
    } else {
        WinRect moved = rc;
        moved.Offset(1, 1);
        DrawItemText(dc, record.m_pszText, moved, left + 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawItemText(dc, record.m_pszText, rc, left, GetSysColor(COLOR_GRAYTEXT));
    }
}

// ---- helpers --------------------------------------------------------------------------------

void VarnMenu::DrawCheckBoxClassic(QPainter& dc, const WinRect& box, bool selected, bool radio)
{
    COLORREF colour = GetSysColor(IsThemedXP() ? COLOR_BTNFACE : COLOR_MENU);
    if (!selected)
        colour = LightenColor(colour, 0.6);
    FillSolidRect(dc, box, colour);
    if (IsNewShell())
        DrawEdge(dc, box, BDR_SUNKENOUTER, BF_RECT);
    if (radio)
        DrawRadioDot(dc, box.left + 5, box.top + 4, GetSysColor(COLOR_MENUTEXT));
    else
        DrawCheckTick(dc, box.left + 4, box.top + 4, GetSysColor(COLOR_MENUTEXT), false);
}

void VarnMenu::DrawCheckBoxXP(QPainter& dc, const WinRect& box, bool radio, COLORREF colour, bool selected)
{
    const int dx = box.Width() < 6 ? 0 : box.Width() / 2 - 3;
    const int dy = box.Height() < 6 ? 0 : box.Height() / 2 - 3;
    FillSolidRect(dc, box, LightenColor(colour, selected ? 0.55 : 0.85));
    FrameRect(dc, box, colour);
    if (radio)
        DrawRadioDot(dc, box.left + dx, box.top + dy, GetSysColor(COLOR_MENUTEXT));
    else
        DrawCheckTick(dc, box.left + dx, box.top + dy, GetSysColor(COLOR_MENUTEXT), true);
}

void VarnMenu::DrawCheckTick(QPainter& dc, int x, int y, COLORREF colour, bool narrow)
{
    static constexpr int s[7] = { 2, 3, 4, 3, 2, 1, 0 };
    static constexpr int e[7] = { 5, 6, 7, 6, 5, 4, 3 };
    for (int k = 0; k < 7; ++k)
        DrawLine(dc, x + k, y + s[k], x + k, y + e[k] - (narrow ? 1 : 0), colour);
}

void VarnMenu::DrawRadioDot(QPainter& dc, int x, int y, COLORREF colour)
{
    // The 6 × 6 ellipse: its four corner pixels stay out.
    FillSolidRect(dc, WinRect { x + 1, y, x + 5, y + 6 }, colour);
    FillSolidRect(dc, WinRect { x, y + 1, x + 6, y + 5 }, colour);
}

QImage VarnMenu::RenderImageToBitmap(const ImageList* images, int index)
{
    QImage bitmap(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight, QImage::Format_RGB32);
    bitmap.fill(platform::ToQColor(GetSysColor(COLOR_BTNFACE)));
    if (images) {
        QPainter p(&bitmap);
        images->Draw(p, index, 0, 0);
    }
    return bitmap;
}

void VarnMenu::ShadeImage(QImage& bitmap, COLORREF replacement)
{
    bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb reference = ToRgb(GetSysColor(COLOR_BTNFACE));
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    for (int x = 0; x < bitmap.width(); ++x) {
        for (int y = 0; y < bitmap.height(); ++y) {
            const QRgb p = bitmap.pixel(x, y) | 0xFF000000u;
            if (p != reference) {
                const int mean = (qRed(p) + qGreen(p) + qBlue(p)) / 3;
                bitmap.setPixel(x, y, ToRgb(LightenColor(shadow, mean / 255.0)));
            } else if (replacement != 0) {
                bitmap.setPixel(x, y, ToRgb(replacement));
            }
        }
    }
}

void VarnMenu::DrawShadedImage(QPainter& dc, int x, int y, QImage bitmap, COLORREF background)
{
    ShadeImage(bitmap, background);
    dc.drawImage(x, y, bitmap);
}

void VarnMenu::DrawEmbossedImage(QPainter& dc, int x, int y, const QImage& bitmap, COLORREF background)
{
    const QRgb face = ToRgb(GetSysColor(COLOR_BTNFACE)), hilite = ToRgb(GetSysColor(COLOR_BTNHIGHLIGHT));
    // The background under both copies: the image's place and that place moved by (1, 1).
    const int w = bitmap.width(), h = bitmap.height();
    FillSolidRect(dc, WinRect { x, y, x + w, y + h }, background);
    FillSolidRect(dc, WinRect { x + 1, y + 1, x + w + 1, y + h + 1 }, background);
    Emboss(dc, x, y, bitmap, [&](QRgb p) {
        p |= 0xFF000000u;
        return p != face && p != hilite;
    });
}

void VarnMenu::DrawMaskEmbossedImage(QPainter& dc, int x, int y, const QImage& bitmap, COLORREF background)
{
    FillSolidRect(dc, WinRect { x, y, x + bitmap.width(), y + bitmap.height() }, background);
    Emboss(dc, x, y, bitmap, [](QRgb p) {
        const int r = qRed(p), g = qGreen(p), b = qBlue(p);
        const int toBlack = r * r + g * g + b * b;
        const int toWhite = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
        return toBlack < toWhite;
    });
}
