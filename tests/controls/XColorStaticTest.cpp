// The colour static: fonts and colours after sequences of setters, the text flags by style, and
// what it paints.

#include "controls/ui/XColorStatic.h"

#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QStyle>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct SetterCase {
    const char* name;
    std::function<void(CXColorStatic&)> run;
    QString family; // empty: the label's starting family
    int points; // 0: the starting size; -1: a size in pixels
    bool bold;
    COLORREF text; // 0xFFFFFFFF: the palette's button text
    COLORREF background; // 0xFFFFFFFF: the palette's button face
};

constexpr COLORREF kPalette = 0xFFFFFFFF;

TEST(XColorStatic, SetterSequencesGiveTheirFontAndColours)
{
    const std::vector<SetterCase> cases = {
        { "fresh", [](CXColorStatic&) {}, {}, 0, false, kPalette, kPalette },
        { "face and size", [](CXColorStatic& s) { s.SetFont("Arial", 11); }, "DejaVu Sans", 11, false, kPalette,
            kPalette },
        { "bold keeps the face and size set before",
            [](CXColorStatic& s) {
                s.SetFont("Arial", 11);
                s.SetBold(true);
            },
            "DejaVu Sans", 11, true, kPalette, kPalette },
        { "a font set after bold stays bold",
            [](CXColorStatic& s) {
                s.SetBold(true);
                s.SetFont("Courier New", 8);
            },
            "DejaVu Sans Mono", 8, true, kPalette, kPalette },
        { "bold off again",
            [](CXColorStatic& s) {
                s.SetFont("Times New Roman", 12);
                s.SetBold(true);
                s.SetBold(false);
            },
            "DejaVu Serif", 12, false, kPalette, kPalette },
        { "no face changes only the size", [](CXColorStatic& s) { s.SetFont("", 14); }, {}, 14, false, kPalette,
            kPalette },
        { "a QFont takes the bold flag",
            [](CXColorStatic& s) {
                s.SetBold(true, false);
                QFont f("DejaVu Sans Mono");
                f.setPointSize(7);
                s.SetFont(f);
            },
            "DejaVu Sans Mono", 7, true, kPalette, kPalette },
        { "colours",
            [](CXColorStatic& s) {
                s.SetTextColor(RGB(100, 0, 150));
                s.SetBackgroundColor(RGB(200, 0, 150), false);
            },
            {}, 0, false, RGB(100, 0, 150), RGB(200, 0, 150) },
        { "colours outlive a palette change",
            [](CXColorStatic& s) {
                s.SetTextColor(0x0000FF);
                QPalette p = s.palette();
                p.setColor(QPalette::ButtonText, Qt::green);
                p.setColor(QPalette::WindowText, Qt::green);
                s.setPalette(p);
            },
            {}, 0, false, 0x0000FF, kPalette },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CXColorStatic label("text");
        const QFont start = label.font();
        const COLORREF paletteText = platform::FromQColor(label.palette().color(QPalette::ButtonText));
        const COLORREF paletteFace = platform::FromQColor(label.palette().color(QPalette::Button));
        c.run(label);
        EXPECT_EQ(label.font().family(), c.family.isEmpty() ? start.family() : c.family);
        EXPECT_EQ(label.font().pointSize(), c.points ? c.points : start.pointSize());
        EXPECT_EQ(label.font().bold(), c.bold);
        EXPECT_EQ(label.GetBold(), c.bold);
        EXPECT_EQ(label.GetTextColor(), c.text == kPalette ? paletteText : c.text);
        EXPECT_EQ(label.GetBackgroundColor(), c.background == kPalette ? paletteFace : c.background);
    }
}

TEST(XColorStatic, TextFlagsFollowTheStyle)
{
    using S = CXColorStatic;
    const struct {
        UINT style;
        int flags;
    } cases[] = {
        { S::SS_LEFT, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap },
        { S::SS_CENTER, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap },
        { S::SS_RIGHT, Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap },
        { S::SS_CENTERIMAGE, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine },
        { S::SS_CENTER | S::SS_CENTERIMAGE, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine },
        { S::SS_RIGHT | S::SS_CENTERIMAGE, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine },
        // Centre wins over right when both bits are set.
        { S::SS_CENTER | S::SS_RIGHT, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ColorStaticTextFlags(c.style), c.flags) << "style " << c.style;
}

int CountPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST(XColorStatic, AnIconHidesTheTextUntilItIsCleared)
{
    CXColorStatic label("MMMM", nullptr, CXColorStatic::SS_CENTER | CXColorStatic::SS_CENTERIMAGE);
    label.resize(120, 50);
    label.SetFont("Arial", 14);
    label.SetTextColor(RGB(0, 0, 0));
    label.SetBackgroundColor(RGB(255, 255, 255));
    QPixmap red(32, 32);
    red.fill(Qt::red);

    const QImage text = label.grab().toImage();
    EXPECT_EQ(text.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_GT(CountPixels(text, qRgb(0, 0, 0)), 20);
    EXPECT_EQ(CountPixels(text, qRgb(255, 0, 0)), 0);

    label.SetIcon(QIcon(red));
    const QImage icon = label.grab().toImage();
    EXPECT_EQ(CountPixels(icon, qRgb(0, 0, 0)), 0);
    const int extent = label.style()->pixelMetric(QStyle::PM_LargeIconSize);
    EXPECT_EQ(CountPixels(icon, qRgb(255, 0, 0)), extent * extent);
    EXPECT_EQ(icon.pixel(60, 25) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(icon.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);

    label.SetIcon(QIcon());
    EXPECT_EQ(label.grab().toImage(), text);
}

} // namespace
