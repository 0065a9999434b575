// Measuring and drawing of the owner-drawn menu: item sizes, the XP and classic looks pixel by
// pixel from their geometry, the check marks and disabled images, and the main menu on screen.

#include "VarnMenuFixture.h"

#include "controls/ui/menu/VarnMenuStyle.h"

#include <QFontMetrics>
#include <QPainter>

#include <functional>
#include <set>
#include <utility>
#include <vector>

namespace {

using tonrig::test::VarnMenuTestBase;

constexpr COLORREF kMarker = RGB(3, 141, 59);
constexpr int W = 16, H = 15, M = 4, K = W + M;

COLORREF At(const QImage& img, int x, int y)
{
    return platform::FromQColor(img.pixelColor(x, y));
}

std::set<COLORREF> ColoursIn(const QImage& img, const WinRect& r)
{
    std::set<COLORREF> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            out.insert(At(img, x, y));
    return out;
}

// Leftmost and rightmost column holding `colour` inside `r`; (-1, -1) for none.
std::pair<int, int> Columns(const QImage& img, const WinRect& r, COLORREF colour)
{
    int first = -1, last = -1;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            if (At(img, x, y) == colour) {
                if (first < 0)
                    first = x;
                last = x;
            }
    return { first, last };
}

class VarnMenuDraw : public VarnMenuTestBase {
protected:
    void SetUp() override
    {
        VarnMenuTestBase::SetUp();
        QFont font("DejaVu Sans", 9);
        font.setStyleStrategy(QFont::NoAntialias); // text pixels in their exact colour
        QApplication::setFont(font, "QMenu");
        VarnMenu::SelectDrawStyle(1);
        VarnMenu::SetPaletteDisplay(false);
        // A 16 × 15 image in one colour, its top-left pixel transparent.
        QImage image(W, H, QImage::Format_ARGB32);
        image.fill(platform::ToQColor(kImage));
        image.setPixel(0, 0, 0);
        g_VarnMenuImages.Create(W, H);
        g_VarnMenuImages.Add(image);
    }
    void TearDown() override
    {
        VarnMenu::SetPaletteDisplay(std::nullopt);
        VarnMenuTestBase::TearDown();
    }

    static VarnMenuItemRecord Record(const QString& text, bool image = false, UINT flags = MF_OWNERDRAW)
    {
        VarnMenuItemRecord r;
        r.m_pszText = text;
        r.m_nFlags = flags;
        r.m_nGlobalImage = image ? 0 : -1;
        return r;
    }

    QImage Draw(VarnMenuItemRecord& record, UINT state, WinRect rc = { 0, 0, 200, 22 }, bool radio = false)
    {
        QImage img(rc.right + 10, rc.bottom + 10, QImage::Format_RGB32);
        img.fill(platform::ToQColor(kMarker));
        QPainter p(&img);
        VarnMenuDrawRecord draw;
        draw.itemData = &record;
        draw.itemState = state;
        draw.radio = radio;
        draw.painter = &p;
        draw.rcItem = rc;
        menu.DrawItem(draw);
        p.end();
        return img;
    }

    static COLORREF Sys(int index) { return GetSysColor(index); }
    COLORREF G() const { return DarkenColor(Sys(COLOR_WINDOW), 0.02); }
    COLORREF F() const { return LightenColor(Sys(COLOR_BTNFACE), 0.25); }
    COLORREF C() const { return Sys(COLOR_HIGHLIGHT); }
    COLORREF S() const { return LightenColor(C(), 0.85); }
    COLORREF B() const { return Sys(COLOR_MENU); }

    static constexpr COLORREF kImage = RGB(250, 30, 200);
    VarnMenu menu;
};

// A text that measures exactly `width` pixels in `fm`, from blanks of two glyph widths.
QString TextOfWidth(const QFontMetrics& fm, int width)
{
    for (int wide = 0; wide < 40; ++wide)
        for (int narrow = 0; narrow < 80; ++narrow) {
            const QString s = QString(wide, 'W') + QString(narrow, 'i');
            if (fm.horizontalAdvance(s) == width)
                return s;
        }
    return {};
}

TEST_F(VarnMenuDraw, ItemsMeasureByTheirLook)
{
    const QFontMetrics fm(QApplication::font("QMenu"));
    const QString hundred = TextOfWidth(fm, 100);
    ASSERT_FALSE(hundred.isEmpty());
    const int cyMenu = fm.height() + 4;
    EXPECT_EQ(VarnMenu::MenuBarHeight(), cyMenu);
    struct Case {
        const char* name;
        int versionClass;
        int drawMode;
        QString text;
        UINT flags;
        int width;
        int height;
    };
    const QString label = "Find &Next\tF3";
    int classZero = fm.horizontalAdvance("Find Next\tF3") + 3;
    classZero += 3 * (classZero / static_cast<int>(label.size()));
    const std::vector<Case> cases = {
        { "XP, 100 pixels", 1, 1, hundred, MF_OWNERDRAW, 128, std::max(cyMenu, 19) },
        { "classic, 100 pixels", 1, 0, hundred, MF_OWNERDRAW, 133, std::max(cyMenu, 19) },
        { "XP separator", 1, 1, "", MF_OWNERDRAW | MF_SEPARATOR, 0, 3 },
        { "classic separator", 1, 0, "", MF_OWNERDRAW | MF_SEPARATOR, 0, std::max(cyMenu >> 1, 9) },
        { "class 0", 0, 1, label, MF_OWNERDRAW, W + M + classZero + 8, std::max(cyMenu, 19) },
        { "class 7, whole text", 7, 1, label, MF_OWNERDRAW, W + M + fm.horizontalAdvance(label) + 8,
            std::max(cyMenu, 19) },
    };
    for (const Case& c : cases) {
        g_nWindowsVersionClass = c.versionClass;
        VarnMenu::SelectDrawStyle(c.drawMode);
        VarnMenuItemRecord record = Record(c.text, false, c.flags);
        VarnMenuMeasureRecord measure;
        measure.itemData = &record;
        menu.MeasureItem(measure);
        EXPECT_EQ(static_cast<int>(measure.itemWidth), c.width) << c.name;
        EXPECT_EQ(static_cast<int>(measure.itemHeight), c.height) << c.name;
    }

    // On class 1 the menu font measures, whatever the application font is.
    g_nWindowsVersionClass = 1;
    VarnMenu::SelectDrawStyle(1);
    const QFont app = QApplication::font();
    QApplication::setFont(QFont("DejaVu Serif", 16));
    QApplication::setFont(QFont("DejaVu Sans", 9), "QMenu");
    VarnMenuItemRecord record = Record("&Open...");
    VarnMenuMeasureRecord measure;
    measure.itemData = &record;
    menu.MeasureItem(measure);
    EXPECT_EQ(static_cast<int>(measure.itemWidth),
        W + M + QFontMetrics(QFont("DejaVu Sans", 9)).horizontalAdvance("&Open...") + 8);
    QApplication::setFont(app);
}

TEST_F(VarnMenuDraw, XPSelectionColumnAndGrayedItems)
{
    VarnMenuItemRecord item = Record("Hello");
    // Selected: filled with S, framed in C, text in the menu text colour.
    QImage img = Draw(item, ODS_SELECTED);
    EXPECT_EQ(At(img, 0, 0), C());
    EXPECT_EQ(At(img, 199, 21), C());
    EXPECT_EQ(At(img, 1, 1), S());
    EXPECT_EQ(At(img, 150, 10), S());
    EXPECT_EQ(At(img, 200, 10), kMarker);
    EXPECT_TRUE(ColoursIn(img, { K + 8, 1, 150, 21 }).count(Sys(COLOR_MENUTEXT)));

    // Not selected: the background G and the image column in F.
    img = Draw(item, 0);
    EXPECT_EQ(At(img, 150, 10), G());
    EXPECT_EQ(At(img, 150, 0), G());
    EXPECT_EQ(At(img, K - 1, 10), F());
    EXPECT_EQ(At(img, K, 10), G());
    EXPECT_EQ(At(img, 0, 10), F());
    const auto [first, last] = Columns(img, { K, 1, 200, 21 }, Sys(COLOR_MENUTEXT));
    EXPECT_GE(first, K + 8);
    EXPECT_LE(first, K + 8 + 2);

    // Grayed under the mouse: never selected, its text lightened gray text.
    img = Draw(item, ODS_SELECTED | ODS_GRAYED);
    EXPECT_EQ(At(img, 150, 10), G());
    EXPECT_EQ(At(img, 0, 0), F());
    const std::set<COLORREF> text = ColoursIn(img, { K + 8, 1, 150, 21 });
    EXPECT_TRUE(text.count(LightenColor(Sys(COLOR_GRAYTEXT), 0.4)));
    EXPECT_FALSE(text.count(Sys(COLOR_MENUTEXT)));
    EXPECT_FALSE(text.count(S()));
}

TEST_F(VarnMenuDraw, XPImageBoxes)
{
    // Image box (1, 1, K - 2, 21); the image at Q = (2, 4), or at (1, 3) when checked.
    struct Case {
        const char* name;
        UINT state;
        COLORREF fill;
        COLORREF frame;
        QPoint image;
    };
    const std::vector<Case> cases = {
        { "normal", 0, F(), F(), { 2, 4 } },
        { "checked", ODS_CHECKED, LightenColor(C(), 0.85), C(), { 1, 3 } },
        { "selected", ODS_SELECTED, S(), S(), { 2, 4 } },
        { "selected and checked", ODS_SELECTED | ODS_CHECKED, LightenColor(C(), 0.55), C(), { 1, 3 } },
    };
    for (const Case& c : cases) {
        VarnMenuItemRecord item = Record("Open", true);
        const QImage img = Draw(item, c.state);
        EXPECT_EQ(At(img, 1, 1), c.frame) << c.name;
        EXPECT_EQ(At(img, K - 3, 20), c.frame) << c.name;
        EXPECT_EQ(At(img, K - 4, 2), c.fill) << c.name; // inside the box, above the image
        // The image's transparent pixel shows what lies below: the frame at x = 1, else the fill.
        EXPECT_EQ(At(img, c.image.x(), c.image.y()), c.image.x() == 1 ? c.frame : c.fill) << c.name;
        EXPECT_EQ(At(img, c.image.x() + 1, c.image.y()), kImage) << c.name;
        EXPECT_EQ(At(img, c.image.x() + W - 1, c.image.y() + H - 1), kImage) << c.name;
        EXPECT_NE(At(img, c.image.x() + W, c.image.y() + H), kImage) << c.name;
    }

    // Grayed: the embossed image over F, its ink in the shadow colour.
    VarnMenuItemRecord item = Record("Open", true);
    const QImage img = Draw(item, ODS_GRAYED | ODS_SELECTED);
    EXPECT_EQ(At(img, 2 + 5, 4 + 5), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(At(img, 2, 4), F()); // the transparent pixel: face, no ink
    EXPECT_EQ(At(img, 2 + W, 4 + H), Sys(COLOR_BTNHIGHLIGHT)); // the highlight copy's corner
    EXPECT_FALSE(ColoursIn(img, { 0, 0, 200, 22 }).count(kImage));
}

TEST_F(VarnMenuDraw, XPCheckMarksAndSeparators)
{
    // No image, checked: the box fills the image box; the tick or dot at its centre (5, 7) in.
    VarnMenuItemRecord item = Record("Check");
    QImage img = Draw(item, ODS_CHECKED);
    EXPECT_EQ(At(img, 1, 1), C());
    EXPECT_EQ(At(img, 2, 2), LightenColor(C(), 0.85));
    const int tx = 1 + 5, ty = 1 + 7;
    EXPECT_EQ(At(img, tx + 2, ty + 4), Sys(COLOR_MENUTEXT));
    EXPECT_EQ(At(img, tx + 2, ty + 5), Sys(COLOR_MENUTEXT));
    EXPECT_EQ(At(img, tx + 2, ty + 6), LightenColor(C(), 0.85)); // the narrow tick ends a pixel early
    img = Draw(item, ODS_CHECKED, { 0, 0, 200, 22 }, true);
    EXPECT_EQ(At(img, tx, ty + 1), Sys(COLOR_MENUTEXT));
    EXPECT_EQ(At(img, tx + 5, ty + 4), Sys(COLOR_MENUTEXT));
    EXPECT_EQ(At(img, tx, ty), LightenColor(C(), 0.85));
    EXPECT_EQ(At(img, tx + 6, ty + 1), LightenColor(C(), 0.85));
    img = Draw(item, ODS_CHECKED | ODS_SELECTED);
    EXPECT_EQ(At(img, 2, 2), LightenColor(C(), 0.55));

    // A separator: G, the column in F, the etched line from K + M at half its height.
    VarnMenuItemRecord separator = Record("", false, MF_OWNERDRAW | MF_SEPARATOR);
    img = Draw(separator, 0, { 0, 0, 200, 3 });
    EXPECT_EQ(At(img, 5, 1), F());
    EXPECT_EQ(At(img, K + M - 1, 1), G());
    EXPECT_EQ(At(img, K + M, 1), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(At(img, 199, 1), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(At(img, K + M, 2), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(img, K + M, 0), G());
}

TEST_F(VarnMenuDraw, AcceleratorsAlignRightLabelsLeft)
{
    VarnMenuItemRecord item = Record("Find &Next\t\tF3");
    const WinRect rc { 0, 0, 300, 22 };
    const QImage img = Draw(item, 0, rc);
    const auto [first, unused] = Columns(img, { K, 0, 150, 22 }, Sys(COLOR_MENUTEXT));
    EXPECT_GE(first, K + 8);
    EXPECT_LE(first, K + 8 + 2);
    const auto [accFirst, accLast] = Columns(img, { 150, 0, 300, 22 }, Sys(COLOR_MENUTEXT));
    EXPECT_GT(accFirst, 0);
    EXPECT_LE(accLast, rc.right - W - 1);
    EXPECT_GE(accLast, rc.right - W - 4);
}

TEST_F(VarnMenuDraw, ClassicLook)
{
    VarnMenu::SelectDrawStyle(0);
    // Selected with an image or a check: the highlight from left + W + 5.
    for (bool image : { true, false }) {
        VarnMenuItemRecord item = Record("Item", image);
        const QImage img = Draw(item, ODS_SELECTED | (image ? 0u : ODS_CHECKED));
        EXPECT_EQ(At(img, W + 5, 10), Sys(COLOR_HIGHLIGHT)) << image;
        EXPECT_NE(At(img, W + 4, 10), Sys(COLOR_HIGHLIGHT)) << image;
        EXPECT_TRUE(ColoursIn(img, { W + 9, 0, 150, 22 }).count(Sys(COLOR_HIGHLIGHTTEXT))) << image;
    }
    VarnMenuItemRecord plain = Record("Item");
    QImage img = Draw(plain, ODS_SELECTED);
    EXPECT_EQ(At(img, 0, 10), Sys(COLOR_HIGHLIGHT));

    // Grayed and selected: highlighted, the text in B.
    img = Draw(plain, ODS_SELECTED | ODS_GRAYED);
    std::set<COLORREF> text = ColoursIn(img, { W + 9, 0, 150, 22 });
    EXPECT_TRUE(text.count(B()));
    EXPECT_FALSE(text.count(Sys(COLOR_GRAYTEXT)));
    EXPECT_EQ(At(img, 150, 10), Sys(COLOR_HIGHLIGHT));

    // Grayed: embossed, the highlight copy one pixel right of and below the gray one.
    img = Draw(plain, ODS_GRAYED);
    const auto gray = Columns(img, { 0, 0, 200, 22 }, Sys(COLOR_GRAYTEXT));
    const auto light = Columns(img, { 0, 0, 200, 22 }, Sys(COLOR_BTNHIGHLIGHT));
    ASSERT_GE(gray.first, W + 9);
    EXPECT_EQ(light.second, gray.second + 1);
    EXPECT_EQ(At(img, 150, 10), B());

    // Button boxes on a new shell: raised when selected, sunken when checked.
    g_nWindowsVersionClass = 2;
    const int D = (22 - H - 4) / 2;
    struct Case {
        UINT state;
        COLORREF topLeft;
        COLORREF bottomRight;
    };
    const Case cases[] = {
        { ODS_SELECTED, Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW) },
        { ODS_SELECTED | ODS_CHECKED, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT) },
        { ODS_CHECKED, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT) },
        { 0, B(), B() },
    };
    for (const Case& c : cases) {
        VarnMenuItemRecord item = Record("Item", true);
        img = Draw(item, c.state);
        EXPECT_EQ(At(img, 0, D), c.topLeft) << c.state;
        EXPECT_EQ(At(img, W + 3, D + H + 3), c.bottomRight) << c.state;
        EXPECT_EQ(At(img, 3, D + 3), kImage) << c.state;
    }
    VarnMenuItemRecord item = Record("Item", true);
    img = Draw(item, ODS_CHECKED);
    EXPECT_EQ(At(img, 2, D + 2), LightenColor(B(), 0.6)); // the image's transparent pixel
}

TEST_F(VarnMenuDraw, TicksDotsAndBoxesPixelByPixel)
{
    auto inked = [](const std::function<void(QPainter&)>& draw) {
        QImage img(20, 20, QImage::Format_RGB32);
        img.fill(platform::ToQColor(kMarker));
        QPainter p(&img);
        draw(p);
        p.end();
        std::set<std::pair<int, int>> out;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                if (At(img, x, y) == RGB(0, 0, 255))
                    out.insert({ x, y });
        return out;
    };
    const int s[7] = { 2, 3, 4, 3, 2, 1, 0 };
    const int e[7] = { 5, 6, 7, 6, 5, 4, 3 };
    for (bool narrow : { false, true }) {
        std::set<std::pair<int, int>> want;
        for (int k = 0; k < 7; ++k)
            for (int y = s[k]; y < e[k] - (narrow ? 1 : 0); ++y)
                want.insert({ 3 + k, 4 + y });
        EXPECT_EQ(inked([&](QPainter& p) { VarnMenu::DrawCheckTick(p, 3, 4, RGB(0, 0, 255), narrow); }), want)
            << narrow;
    }
    std::set<std::pair<int, int>> dot;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            if (!((x == 0 || x == 5) && (y == 0 || y == 5)))
                dot.insert({ 5 + x, 6 + y });
    EXPECT_EQ(inked([](QPainter& p) { VarnMenu::DrawRadioDot(p, 5, 6, RGB(0, 0, 255)); }), dot);

    // A box narrower than 6: no x offset; its height still centres (17 / 2 - 3 = 5).
    QImage img(20, 30, QImage::Format_RGB32);
    img.fill(platform::ToQColor(kMarker));
    QPainter p(&img);
    VarnMenu::DrawCheckBoxXP(p, WinRect { 3, 3, 8, 20 }, false, Sys(COLOR_HIGHLIGHT), false);
    p.end();
    EXPECT_EQ(At(img, 3, 3), Sys(COLOR_HIGHLIGHT));
    EXPECT_EQ(At(img, 3, 3 + 5 + 2), Sys(COLOR_MENUTEXT)); // the tick's first column over the frame
    EXPECT_EQ(At(img, 4, 3 + 5 + 3), Sys(COLOR_MENUTEXT));
    EXPECT_EQ(At(img, 4, 3 + 5 + 2), LightenColor(Sys(COLOR_HIGHLIGHT), 0.85));
}

TEST_F(VarnMenuDraw, DisabledImagesPixelByPixel)
{
    const COLORREF face = Sys(COLOR_BTNFACE), shadow = Sys(COLOR_BTNSHADOW), hilite = Sys(COLOR_BTNHIGHLIGHT);
    const COLORREF replacement = RGB(9, 99, 199);
    // Shaded: black stays the shadow colour, the face becomes the replacement, white goes white.
    QImage three(3, 1, QImage::Format_RGB32);
    three.setPixel(0, 0, qRgb(0, 0, 0));
    three.setPixel(1, 0, platform::ToQColor(face).rgb());
    three.setPixel(2, 0, qRgb(90, 120, 150));
    QImage shaded = three;
    VarnMenu::ShadeImage(shaded, replacement);
    EXPECT_EQ(At(shaded, 0, 0), shadow);
    EXPECT_EQ(At(shaded, 1, 0), replacement);
    EXPECT_EQ(At(shaded, 2, 0), LightenColor(shadow, 120 / 255.0));
    shaded = three;
    VarnMenu::ShadeImage(shaded, 0);
    EXPECT_EQ(At(shaded, 1, 0), face);

    const COLORREF back = RGB(1, 200, 100);
    auto run = [&](const QImage& bitmap, bool mask) {
        QImage img(5, 5, QImage::Format_RGB32);
        img.fill(platform::ToQColor(kMarker));
        QPainter p(&img);
        if (mask)
            VarnMenu::DrawMaskEmbossedImage(p, 1, 1, bitmap, back);
        else
            VarnMenu::DrawEmbossedImage(p, 1, 1, bitmap, back);
        p.end();
        return img;
    };
    const COLORREF X = kMarker;
    // Embossed: face and highlight pixels are no ink.
    QImage two(2, 2, QImage::Format_RGB32);
    two.setPixel(0, 0, platform::ToQColor(face).rgb());
    two.setPixel(1, 0, qRgb(0, 0, 0));
    two.setPixel(0, 1, platform::ToQColor(hilite).rgb());
    two.setPixel(1, 1, qRgb(255, 0, 0));
    const COLORREF embossed[5][5] = {
        { X, X, X, X, X },
        { X, back, shadow, X, X },
        { X, back, shadow, hilite, X },
        { X, X, back, hilite, X },
        { X, X, X, X, X },
    };
    QImage img = run(two, false);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(At(img, x, y), embossed[y][x]) << "embossed " << x << "," << y;

    // Mask-embossed: ink is what lies nearer black than white.
    QImage grey(2, 2, QImage::Format_RGB32);
    grey.setPixel(0, 0, qRgb(0x40, 0x40, 0x40));
    grey.setPixel(1, 0, qRgb(0xC0, 0xC0, 0xC0));
    grey.setPixel(0, 1, qRgb(0x7F, 0x7F, 0x7F));
    grey.setPixel(1, 1, qRgb(0xFF, 0xFF, 0xFF));
    const COLORREF masked[5][5] = {
        { X, X, X, X, X },
        { X, shadow, back, X, X },
        { X, shadow, hilite, X, X },
        { X, X, hilite, X, X },
        { X, X, X, X, X },
    };
    img = run(grey, true);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(At(img, x, y), masked[y][x]) << "mask-embossed " << x << "," << y;
}

TEST_F(VarnMenuDraw, PopupsMeasureAndDrawThroughTheStyle)
{
    VarnMenu::RegisterMenuTemplate(7101,
        { { MF_POPUP | MF_END, 0, "&File" }, { 0, 1, "&Open...\tCtrl+O" }, { MF_SEPARATOR, 0, "" },
            { 0, 2, "A rather long item" }, { MF_END, 3, "E&xit" } });
    VarnMenu bar;
    ASSERT_TRUE(bar.LoadMenuTemplate(7101));
    VarnMenu* file = bar.OwnPopups()[0].get();
    EXPECT_EQ(file->style(), VarnMenuStyle::Instance());
    EXPECT_TRUE(file->style()->styleHint(QStyle::SH_Menu_AllowActiveAndDisabled));
    EXPECT_EQ(file->style()->pixelMetric(QStyle::PM_MenuHMargin), 0);
    bar.SetItemImage(std::nullopt, 1, 307);
    file->popup(QPoint(200, 200));
    int widest = 0;
    for (int i = 0; i < file->GetMenuItemCount(); ++i) {
        QAction* action = file->ActionAt(i);
        VarnMenuMeasureRecord measure;
        measure.itemData = file->RecordFor(action);
        file->MeasureItem(measure);
        EXPECT_EQ(file->actionGeometry(action).height(), static_cast<int>(measure.itemHeight)) << i;
        widest = std::max(widest, static_cast<int>(measure.itemWidth));
    }
    EXPECT_GE(file->width(), widest);
    const QImage shot = file->grab().toImage();
    const QRect open = file->actionGeometry(file->ActionAt(0));
    const QRect exit = file->actionGeometry(file->ActionAt(3));
    const std::set<COLORREF> openColumn
        = ColoursIn(shot, { open.left(), open.top(), open.left() + K, open.bottom() + 1 });
    EXPECT_TRUE(openColumn.count(Sys(COLOR_BTNTEXT))); // the image's outline
    const std::set<COLORREF> exitColumn
        = ColoursIn(shot, { exit.left(), exit.top(), exit.left() + K, exit.bottom() + 1 });
    EXPECT_EQ(exitColumn, std::set<COLORREF> { F() });
    file->hide();
}

// The system leaves an owner-drawn item room beside what it measured: the widest label of a popup
// without accelerators still ends clear of the popup's edge.
TEST_F(VarnMenuDraw, TheWidestLabelEndsClearOfThePopupsEdge)
{
    VarnMenu::RegisterMenuTemplate(7102,
        { { MF_POPUP | MF_END, 0, "&Tools" }, { 0, 1, "Voltage Diagnostic" },
            { MF_END, 2, "New device/chip support request" } });
    VarnMenu bar;
    ASSERT_TRUE(bar.LoadMenuTemplate(7102));
    VarnMenu* tools = bar.OwnPopups()[0].get();
    tools->popup(QPoint(200, 200));
    const QImage shot = tools->grab().toImage();
    const QRect item = tools->actionGeometry(tools->ActionAt(1));
    const std::set<COLORREF> edge
        = ColoursIn(shot, { item.right() - 5, item.top(), item.right() + 1, item.bottom() + 1 });
    EXPECT_EQ(edge.size(), 1u) << "the label runs into the last columns of the item";
    tools->hide();
}

} // namespace
