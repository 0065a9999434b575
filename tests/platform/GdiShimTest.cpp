// The drawing layer: system colours from the palette, the exclusive edges of fills and lines,
// 3-D edges, the text layout rules, the image list and the colour helpers.

#include "platform/ui/GdiShim.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/QtServices.h"

#include "support/TestPalette.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using tonrig::test::ScopedTestPalette;
using tonrig::test::TestPaletteColor;

constexpr COLORREF kBlank = RGB(1, 2, 3);
constexpr COLORREF kInk = RGB(200, 10, 10);

QImage Blank(int w, int h, COLORREF colour = kBlank)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(platform::ToQColor(colour));
    return img;
}

COLORREF At(const QImage& img, int x, int y)
{
    return platform::FromQColor(img.pixelColor(x, y));
}

QImage Paint(int w, int h, const std::function<void(QPainter&)>& draw)
{
    QImage img = Blank(w, h);
    QPainter p(&img);
    draw(p);
    p.end();
    return img;
}

// The pixels of `img` that are not the blank colour, as a rectangle; empty when there are none.
WinRect Ink(const QImage& img)
{
    WinRect r { img.width(), img.height(), 0, 0 };
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (At(img, x, y) != kBlank) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
    return r.IsEmpty() ? WinRect {} : r;
}

TEST(GdiShim, SystemColoursComeFromTheirPaletteRoles)
{
    ScopedTestPalette palette;
    struct Case {
        int index;
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
    };
    const Case cases[] = {
        { COLOR_BTNFACE, QPalette::Active, QPalette::Button },
        { COLOR_3DFACE, QPalette::Active, QPalette::Button },
        { COLOR_BTNSHADOW, QPalette::Active, QPalette::Dark },
        { COLOR_3DDKSHADOW, QPalette::Active, QPalette::Shadow },
        { COLOR_BTNHIGHLIGHT, QPalette::Active, QPalette::Light },
        { COLOR_3DLIGHT, QPalette::Active, QPalette::Midlight },
        { COLOR_WINDOW, QPalette::Active, QPalette::Base },
        { COLOR_WINDOWTEXT, QPalette::Active, QPalette::Text },
        { COLOR_HIGHLIGHT, QPalette::Active, QPalette::Highlight },
        { COLOR_HIGHLIGHTTEXT, QPalette::Active, QPalette::HighlightedText },
        { COLOR_MENU, QPalette::Active, QPalette::Window },
        { COLOR_MENUTEXT, QPalette::Active, QPalette::WindowText },
        { COLOR_GRAYTEXT, QPalette::Disabled, QPalette::Text },
        { COLOR_BTNTEXT, QPalette::Active, QPalette::ButtonText },
        { COLOR_INFOBK, QPalette::Active, QPalette::ToolTipBase },
        { COLOR_INFOTEXT, QPalette::Active, QPalette::ToolTipText },
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetSysColor(c.index), platform::FromQColor(TestPaletteColor(c.group, c.role))) << c.index;
}

TEST(GdiShim, FillsFramesAndLinesStopBeforeTheirRightBottomAndEndPoint)
{
    struct Case {
        const char* name;
        std::function<void(QPainter&)> draw;
        std::vector<QPoint> inked;
        std::vector<QPoint> blank;
    };
    const std::vector<Case> cases = {
        { "fill",
            [](QPainter& p) {
                FillSolidRect(p, WinRect { 2, 3, 6, 5 }, kInk);
            },
            { { 2, 3 }, { 5, 4 } }, { { 6, 4 }, { 5, 5 }, { 1, 3 }, { 2, 2 } } },
        { "fill by extent", [](QPainter& p) { FillSolidRect(p, 2, 3, 4, 2, kInk); }, { { 2, 3 }, { 5, 4 } },
            { { 6, 3 }, { 2, 5 } } },
        { "empty fill",
            [](QPainter& p) {
                FillSolidRect(p, WinRect { 4, 4, 4, 8 }, kInk);
            },
            {}, { { 4, 4 } } },
        { "frame",
            [](QPainter& p) {
                FrameRect(p, WinRect { 1, 1, 6, 5 }, kInk);
            },
            { { 1, 1 }, { 5, 1 }, { 1, 4 }, { 5, 4 }, { 3, 4 } }, { { 2, 2 }, { 6, 1 }, { 1, 5 } } },
        { "line right", [](QPainter& p) { DrawLine(p, 1, 2, 5, 2, kInk); }, { { 1, 2 }, { 4, 2 } },
            { { 5, 2 }, { 0, 2 } } },
        { "line left", [](QPainter& p) { DrawLine(p, 5, 2, 1, 2, kInk); }, { { 5, 2 }, { 2, 2 } },
            { { 1, 2 }, { 6, 2 } } },
        { "line down", [](QPainter& p) { DrawLine(p, 3, 1, 3, 6, kInk); }, { { 3, 1 }, { 3, 5 } }, { { 3, 6 } } },
        { "diagonal", [](QPainter& p) { DrawLine(p, 0, 0, 4, 4, kInk); }, { { 0, 0 }, { 3, 3 } }, { { 4, 4 } } },
        { "a point draws nothing", [](QPainter& p) { DrawLine(p, 3, 3, 3, 3, kInk); }, {}, { { 3, 3 } } },
    };
    for (const Case& c : cases) {
        const QImage img = Paint(10, 10, c.draw);
        for (QPoint pt : c.inked)
            EXPECT_EQ(At(img, pt.x(), pt.y()), kInk) << c.name << " at " << pt.x() << "," << pt.y();
        for (QPoint pt : c.blank)
            EXPECT_EQ(At(img, pt.x(), pt.y()), kBlank) << c.name << " at " << pt.x() << "," << pt.y();
    }
}

TEST(GdiShim, EdgesDrawTheirColoursOutsideFirst)
{
    ScopedTestPalette palette;
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), hilite = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW), light = GetSysColor(COLOR_3DLIGHT);
    struct Case {
        UINT edge;
        COLORREF outerTL, outerBR, innerTL, innerBR; // kBlank: no such border
    };
    const Case cases[] = {
        { BDR_SUNKENOUTER, shadow, hilite, kBlank, kBlank },
        { BDR_SUNKENINNER, dark, light, kBlank, kBlank },
        { BDR_RAISEDINNER, hilite, shadow, kBlank, kBlank },
        { EDGE_SUNKEN, shadow, hilite, dark, light },
        { EDGE_RAISED, light, dark, hilite, shadow },
        { EDGE_ETCHED, shadow, hilite, hilite, shadow },
    };
    for (const Case& c : cases) {
        const QImage img = Paint(12, 10, [&](QPainter& p) { DrawEdge(p, WinRect { 1, 1, 11, 9 }, c.edge, BF_RECT); });
        EXPECT_EQ(At(img, 1, 1), c.outerTL) << c.edge;
        EXPECT_EQ(At(img, 5, 1), c.outerTL) << c.edge;
        EXPECT_EQ(At(img, 1, 7), c.outerTL) << c.edge;
        // The top-right and bottom-left corners and the far sides belong to the bottom-right colour.
        EXPECT_EQ(At(img, 10, 1), c.outerBR) << c.edge;
        EXPECT_EQ(At(img, 1, 8), c.outerBR) << c.edge;
        EXPECT_EQ(At(img, 10, 8), c.outerBR) << c.edge;
        EXPECT_EQ(At(img, 11, 8), kBlank) << c.edge;
        EXPECT_EQ(At(img, 2, 2), c.innerTL) << c.edge;
        EXPECT_EQ(At(img, 9, 7), c.innerBR) << c.edge;
        EXPECT_EQ(At(img, 9, 2), c.innerBR) << c.edge;
        EXPECT_EQ(At(img, 4, 4), kBlank) << c.edge;
    }

    // An etched top alone: the shadow line over the highlight line, the full width.
    const QImage etched = Paint(12, 10, [](QPainter& p) { DrawEdge(p, WinRect { 1, 4, 11, 8 }, EDGE_ETCHED, BF_TOP); });
    for (int x = 1; x < 11; ++x) {
        EXPECT_EQ(At(etched, x, 4), shadow) << x;
        EXPECT_EQ(At(etched, x, 5), hilite) << x;
    }
    EXPECT_EQ(At(etched, 11, 4), kBlank);
    EXPECT_EQ(At(etched, 1, 6), kBlank);
}

class GdiShimText : public testing::Test {
protected:
    QFont font { "DejaVu Sans", 10 };
    QFontMetrics fm { font };

    QImage Draw(const QString& text, const WinRect& rect, UINT format, QSize size = QSize(220, 80))
    {
        return Paint(size.width(), size.height(), [&](QPainter& p) {
            p.setFont(font);
            p.setPen(platform::ToQColor(kInk));
            DrawText(p, text, rect, format);
        });
    }
};

TEST_F(GdiShimText, LayoutFollowsTheSystemRules)
{
    const WinRect box { 10, 10, 200, 70 };
    const int h = fm.height();
    const int centredTop = (box.top + box.bottom - h) / 2;
    struct Case {
        const char* name;
        QString text;
        UINT format;
        QString sameAsText; // drawn at `sameAsTop` with DT_NOPREFIX, it gives the same picture
        int sameAsTop;
    };
    const std::vector<Case> cases = {
        { "vertically centred on a single line", "Menu", DT_SINGLELINE | DT_VCENTER, "Menu", centredTop },
        { "bottom on a single line", "Menu", DT_SINGLELINE | DT_BOTTOM, "Menu", box.bottom - h },
        { "no vertical centring without a single line", "Menu", DT_VCENTER, "Menu", box.top },
        { "no bottom alignment without a single line", "Menu", DT_BOTTOM, "Menu", box.top },
        { "a doubled marker is one", "R&&D", DT_SINGLELINE, "R&D", box.top },
        { "no prefix keeps the marker", "&File", DT_SINGLELINE | DT_NOPREFIX, "&File", box.top },
    };
    for (const Case& c : cases) {
        const QImage got = Draw(c.text, box, c.format);
        const QImage want = Draw(c.sameAsText, { box.left, c.sameAsTop, box.right, c.sameAsTop + h },
            DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
        EXPECT_EQ(got, want) << c.name;
    }

    // A mnemonic adds its underline below the plain text's ink.
    const WinRect plain = Ink(Draw("File", box, DT_SINGLELINE | DT_NOPREFIX));
    const WinRect marked = Ink(Draw("&File", box, DT_SINGLELINE));
    EXPECT_GE(marked.left, box.left);
    EXPECT_LE(marked.left, plain.left);
    EXPECT_EQ(marked.top, plain.top);
    EXPECT_GT(marked.bottom, plain.bottom);
}

TEST_F(GdiShimText, MeasuringBreaksWordsAndCountsMnemonicsOut)
{
    const int h = fm.height();
    const int twoWords = fm.horizontalAdvance("alpha beta");
    struct Case {
        const char* name;
        QString text;
        int width;
        UINT format;
        int wantWidth;
        int wantHeight;
    };
    const std::vector<Case> cases = {
        { "single line", "&Save As", 10, DT_SINGLELINE, fm.horizontalAdvance("Save As"), h },
        { "no prefix", "&Save As", 10, DT_SINGLELINE | DT_NOPREFIX, fm.horizontalAdvance("&Save As"), h },
        { "word break", "alpha beta gamma", twoWords + 2, DT_WORDBREAK, twoWords, 2 * h },
        { "a long word stays whole", "alphabetagamma", 5, DT_WORDBREAK, fm.horizontalAdvance("alphabetagamma"), h },
        { "line feeds without word break", "one\ntwo\r\nthree", 1000, 0, fm.horizontalAdvance("three"), 3 * h },
        { "line feeds ignored on a single line", "one two", 1000, DT_SINGLELINE, fm.horizontalAdvance("one two"), h },
        { "empty", "", 100, DT_SINGLELINE, 0, 0 },
    };
    for (const Case& c : cases) {
        const WinRect r = MeasureText(font, c.text, WinRect { 3, 4, 3 + c.width, 100 }, c.format);
        EXPECT_EQ(r.left, 3) << c.name;
        EXPECT_EQ(r.top, 4) << c.name;
        EXPECT_EQ(r.Width(), c.wantWidth) << c.name;
        EXPECT_EQ(r.Height(), c.wantHeight) << c.name;
    }
}

TEST_F(GdiShimText, EllipsisAndClipping)
{
    const QString text = "A rather long menu text";
    const int width = fm.horizontalAdvance("A rather lo...") + 1;
    const WinRect box { 10, 10, 10 + width, 40 };
    // The ellipsis keeps as much of the text as fits beside "...".
    QString want = text;
    while (fm.horizontalAdvance(want + "...") > width)
        want.chop(1);
    want += "...";
    EXPECT_EQ(Draw(text, box, DT_SINGLELINE | DT_END_ELLIPSIS), Draw(want, box, DT_SINGLELINE | DT_NOPREFIX));
    EXPECT_LE(Ink(Draw(text, box, DT_SINGLELINE | DT_END_ELLIPSIS)).right, box.right);

    // Clipped to the rectangle unless told otherwise.
    EXPECT_LE(Ink(Draw(text, box, DT_SINGLELINE)).right, box.right);
    EXPECT_GT(Ink(Draw(text, box, DT_SINGLELINE | DT_NOCLIP)).right, box.right);

    // Centred and right-aligned lines.
    const WinRect wide { 10, 10, 210, 40 };
    const int w = fm.horizontalAdvance("Menu");
    EXPECT_EQ(Draw("Menu", wide, DT_SINGLELINE | DT_CENTER),
        Draw("Menu", { (wide.left + wide.right - w) / 2, 10, 300, 40 }, DT_SINGLELINE | DT_NOCLIP));
    EXPECT_EQ(Draw("Menu", wide, DT_SINGLELINE | DT_RIGHT),
        Draw("Menu", { wide.right - w, 10, 300, 40 }, DT_SINGLELINE | DT_NOCLIP));
}

TEST(ImageListTest, AStripGivesOneMaskedImagePerWidth)
{
    const COLORREF face = RGB(192, 192, 192);
    QImage strip(48, 15, QImage::Format_RGB32);
    strip.fill(platform::ToQColor(face));
    const QColor marks[] = { Qt::red, Qt::green, Qt::blue };
    for (int i = 0; i < 3; ++i)
        strip.setPixelColor(i * 16 + 3, 4, marks[i]);

    ImageList list(16, 15);
    EXPECT_EQ(list.Add(strip, face), 0);
    ASSERT_EQ(list.GetImageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QImage img = list.Image(i);
        EXPECT_EQ(img.size(), QSize(16, 15));
        EXPECT_EQ(img.pixelColor(3, 4), marks[i]) << i;
        EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << i;
        EXPECT_EQ(qAlpha(img.pixel(15, 14)), 0) << i;
    }

    // Drawing leaves the face pixels to what lies below.
    const QImage drawn = Paint(20, 20, [&](QPainter& p) { EXPECT_TRUE(list.Draw(p, 1, 2, 2)); });
    EXPECT_EQ(drawn.pixelColor(5, 6), QColor(Qt::green));
    EXPECT_EQ(At(drawn, 2, 2), kBlank);
    EXPECT_EQ(At(drawn, 10, 10), kBlank);

    // Replace, a narrow strip, bad indices, removal.
    QImage narrow(10, 15, QImage::Format_RGB32);
    narrow.fill(Qt::yellow);
    EXPECT_TRUE(list.Replace(1, narrow, face));
    EXPECT_EQ(list.Image(1).pixelColor(9, 0), QColor(Qt::yellow));
    EXPECT_EQ(qAlpha(list.Image(1).pixel(10, 0)), 0);
    EXPECT_EQ(list.Add(narrow, face), 3);
    EXPECT_EQ(list.GetImageCount(), 4);
    EXPECT_FALSE(list.Replace(4, narrow, face));
    EXPECT_TRUE(list.Image(-1).isNull());
    const QImage untouched = Paint(20, 20, [&](QPainter& p) { EXPECT_FALSE(list.Draw(p, 7, 0, 0)); });
    EXPECT_TRUE(Ink(untouched).IsEmpty());
    EXPECT_TRUE(list.Remove(0));
    EXPECT_EQ(list.Image(0).pixelColor(9, 0), QColor(Qt::yellow));
    EXPECT_TRUE(list.Remove(-1));
    EXPECT_EQ(list.GetImageCount(), 0);

    ImageList none;
    EXPECT_EQ(none.Add(strip, face), -1);
    EXPECT_FALSE(none.Create(0, 15));
}

TEST(ColourHelpers, LightenAndDarkenTruncateAndGuardTheirFactor)
{
    struct Case {
        COLORREF got;
        COLORREF want;
    };
    const Case cases[] = {
        { LightenColor(RGB(0, 0, 0), 0.5), RGB(127, 127, 127) },
        { LightenColor(RGB(10, 20, 30), 0.0), RGB(10, 20, 30) },
        { LightenColor(RGB(10, 20, 30), 1.5), RGB(10, 20, 30) },
        { LightenColor(RGB(10, 20, 30), 1.0), RGB(255, 255, 255) },
        { LightenColor(RGB(100, 0, 255), 0.25), RGB(138, 63, 255) },
        { DarkenColor(RGB(255, 255, 255), 0.02), RGB(249, 249, 249) },
        { DarkenColor(RGB(255, 3, 128), 0.25), RGB(191, 2, 96) },
        { DarkenColor(RGB(10, 20, 30), -0.5), RGB(10, 20, 30) },
        { DarkenColor(RGB(10, 20, 30), 1.0), RGB(0, 0, 0) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want);
}

} // namespace
