// The hyperlink label: what a click opens, the colours before and after, the beep on failure,
// picture labels and the tooltip.

#include "controls/ui/StaticLink.h"

#include "platform/Process.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class StaticLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        platform::SetDesktopOpener([this](const std::string& target) {
            opened.push_back(target);
            const QCursor* cursor = QApplication::overrideCursor();
            waitCursor.push_back(cursor && cursor->shape() == Qt::WaitCursor);
            return platform::OpenResult { answer, answer ? "" : "refused" };
        });
        CStaticLink::SetBeepHook([this] { ++beeps; });
    }
    void TearDown() override
    {
        platform::SetDesktopOpener({});
        CStaticLink::SetBeepHook({});
    }
    static void Click(CStaticLink& link)
    {
        link.resize(120, 24);
        QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
    }

    std::vector<std::string> opened;
    std::vector<bool> waitCursor;
    bool answer = true;
    int beeps = 0;
};

TEST_F(StaticLinkTest, ATargetNeverSetOpensTheHomePageNotTheCaption)
{
    CStaticLink link("Visit us");
    EXPECT_EQ(link.toolTip().toStdString(), kTonrigHomePage);
    Click(link);
    EXPECT_EQ(opened, std::vector<std::string> { kTonrigHomePage });
}

TEST_F(StaticLinkTest, AnEmptyTargetOpensTheCaption)
{
    CStaticLink link("https://example.org/caption");
    link.SetLink("");
    Click(link);
    EXPECT_EQ(opened, std::vector<std::string> { "https://example.org/caption" });
}

TEST_F(StaticLinkTest, TheTooltipIsTheTarget)
{
    CStaticLink link("Write to us");
    link.SetLink("mailto:support@example.org");
    EXPECT_EQ(link.toolTip(), "mailto:support@example.org");
    EXPECT_EQ(link.GetLink(), "mailto:support@example.org");
}

TEST_F(StaticLinkTest, ASuccessfulOpenTurnsVisitedAndStaysSoOnASecondClick)
{
    CStaticLink link("Download");
    link.SetLink("https://example.org/download");
    EXPECT_EQ(link.CurrentColor(), 0xFF0000u);
    EXPECT_TRUE(link.font().underline() == false); // the widget's own font is left alone
    Click(link);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.CurrentColor(), 0x800080u);
    Click(link);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(waitCursor, (std::vector<bool> { true, true }));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StaticLinkTest, AFailedOpenBeepsOnceAndStaysUnvisited)
{
    answer = false;
    CStaticLink link("Download");
    Click(link);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(waitCursor, std::vector<bool> { true });
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(link.CurrentColor(), 0xFF0000u);
}

TEST_F(StaticLinkTest, AReleaseOutsideOrWithAnotherButtonOpensNothing)
{
    CStaticLink link("Download");
    link.resize(120, 24);
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(300, 5));
    QTest::mouseClick(&link, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(opened.empty());
}

int CountColour(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST_F(StaticLinkTest, TextIsDrawnInTheLinkColours)
{
    CStaticLink link("MMMMMM");
    link.resize(120, 24);
    const QRgb blue = qRgb(0, 0, 255), purple = qRgb(128, 0, 128);
    QImage before = link.grab().toImage();
    EXPECT_GT(CountColour(before, blue), 10);
    EXPECT_EQ(CountColour(before, purple), 0);
    Click(link);
    QImage after = link.grab().toImage();
    EXPECT_EQ(CountColour(after, blue), 0);
    EXPECT_GT(CountColour(after, purple), 10);
}

TEST_F(StaticLinkTest, APictureLabelKeepsItsLookAndStillOpens)
{
    CStaticLink link;
    QPixmap green(16, 16);
    green.fill(Qt::green);
    link.setPixmap(green);
    link.SetLink("https://example.org/logo");
    EXPECT_FALSE(link.IsTextLink());
    link.resize(16, 16);
    const QImage image = link.grab().toImage();
    EXPECT_EQ(image.pixel(8, 8) & 0xFFFFFF, 0x00FF00u);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(opened, std::vector<std::string> { "https://example.org/logo" });
    EXPECT_TRUE(link.IsVisited());
}

} // namespace
