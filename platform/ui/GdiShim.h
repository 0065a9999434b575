#pragma once
// The small drawing layer the owner-drawn controls are written against: system colours by their
// numbers, rectangles with the exclusive right and bottom edges of the system's drawing calls,
// solid fills, frames, lines that leave out their end point, 3-D edges and text laid out by the
// system's text-drawing rules. Everything stays in these terms until the QPainter call itself.

#include "platform/Colour.h"
#include "platform/WinTypes.h"

#include <QRect>
#include <QString>

class QFont;
class QFontMetrics;
class QPainter;

// System colour numbers.
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;

// Text layout flags, with the system's values.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// 3-D edges: which lines, and how they look.
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr UINT BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;

constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;

// A rectangle whose right and bottom edges lie just outside it: a fill covers the columns
// left..right-1 and the rows top..bottom-1.
struct WinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    void Offset(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    // Grows every side by (dx, dy); negative values shrink.
    void Inflate(int dx, int dy)
    {
        left -= dx;
        right += dx;
        top -= dy;
        bottom += dy;
    }
    void Deflate(int dx, int dy) { Inflate(-dx, -dy); }
    friend bool operator==(const WinRect&, const WinRect&) = default;

    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
    static WinRect FromQRect(const QRect& r)
    {
        return { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
    }
};

// The application palette's colour for a system colour number; black for a number it lacks.
COLORREF GetSysColor(int index);

void FillSolidRect(QPainter& painter, const WinRect& rect, COLORREF colour);
void FillSolidRect(QPainter& painter, int x, int y, int cx, int cy, COLORREF colour);
// A one-pixel frame just inside the rectangle.
void FrameRect(QPainter& painter, const WinRect& rect, COLORREF colour);
// A one-pixel line from (x1, y1) towards (x2, y2), the end point left out.
void DrawLine(QPainter& painter, int x1, int y1, int x2, int y2, COLORREF colour);
// Top and left lines in one colour, bottom and right ones in the other; the top-right and
// bottom-left corners belong to the bottom-right colour.
void Draw3dRect(QPainter& painter, const WinRect& rect, COLORREF topLeft, COLORREF bottomRight);
// The edges named by `flags`, outer edge first, the inner one a pixel further in.
void DrawEdge(QPainter& painter, const WinRect& rect, UINT edge, UINT flags);

// Draws `text` in the painter's font and pen colour. DT_VCENTER and DT_BOTTOM act only with
// DT_SINGLELINE; without DT_NOPREFIX "&" marks the next character as the mnemonic and "&&" is
// "&"; the output is clipped to the rectangle unless DT_NOCLIP. Returns the text's height. With
// DT_CALCRECT it draws nothing.
int DrawText(QPainter& painter, const QString& text, const WinRect& rect, UINT format);
// The measuring twin (DT_CALCRECT): the rectangle keeps its left and top, and its right and
// bottom move to enclose the laid-out text. A word-broken text wraps at the given width.
WinRect MeasureText(const QFontMetrics& metrics, const QString& text, const WinRect& rect, UINT format);
WinRect MeasureText(const QFont& font, const QString& text, const WinRect& rect, UINT format);

// What a mnemonic-marked text shows: "&&" as "&", other markers dropped.
QString StripMnemonics(const QString& text);
