#include "controls/ui/RichEditCtrlExtend.h"
#include "controls/ui/PointsToFontHeight.h"
#include "platform/ui/QtServices.h"
#include "support/TestEnvironment.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// The format of the character at `pos`.
QTextCharFormat FormatAt(const CRichEditCtrlExtend& log, int pos)
{
    QTextCursor c(log.document());
    c.setPosition(pos);
    c.setPosition(pos + 1, QTextCursor::KeepAnchor);
    return c.charFormat();
}

COLORREF ColourAt(const CRichEditCtrlExtend& log, int pos)
{
    return platform::FromQColor(FormatAt(log, pos).foreground().color());
}

void Select(CRichEditCtrlExtend& log, int from, int to)
{
    QTextCursor c(log.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    log.setTextCursor(c);
}

class LogControl : public testing::Test {
protected:
    CRichEditCtrlExtend log;
};

TEST_F(LogControl, AppendedFragmentsTakeTheirColoursAndTheCaretEndsAtTheEnd)
{
    log.AppendText("red", kRed);
    log.AppendLine("green", kGreen);
    log.AppendText("blue", kBlue);

    EXPECT_EQ(log.GetText(), "redgreen\nblue");
    EXPECT_EQ(ColourAt(log, 0), kRed);
    EXPECT_EQ(ColourAt(log, 2), kRed);
    EXPECT_EQ(ColourAt(log, 3), kGreen);
    EXPECT_EQ(ColourAt(log, 7), kGreen);
    EXPECT_EQ(ColourAt(log, 9), kBlue);
    EXPECT_EQ(log.textCursor().position(), log.GetTextLength());
    EXPECT_FALSE(log.textCursor().hasSelection());
}

TEST_F(LogControl, CarriageReturnsBecomeLineBreaksAndAnEmptyLineIsOneBreak)
{
    log.AppendLine("", kRed);
    EXPECT_EQ(log.GetTextLength(), 1);
    log.AppendText("a\r\nb\rc\n", kRed);
    EXPECT_EQ(log.GetText(), "\na\nb\nc\n");
}

TEST_F(LogControl, AppendIsNeverBoldEvenWhereTheInsertionPointIs)
{
    log.AppendText("bold ", kRed);
    log.selectAll();
    log.ToggleBold();
    ASSERT_TRUE(log.IsBold());
    QTextCursor end(log.document());
    end.movePosition(QTextCursor::End);
    log.setTextCursor(end);
    ASSERT_TRUE(log.IsBold()); // the insertion point carries bold

    log.AppendText("plain", kBlue);
    EXPECT_GE(FormatAt(log, 0).fontWeight(), QFont::Bold);
    EXPECT_LT(FormatAt(log, 6).fontWeight(), QFont::Bold);
    EXPECT_EQ(ColourAt(log, 6), kBlue);
}

TEST_F(LogControl, UserSelectionKeepsItsColourAndStaysSelected)
{
    log.AppendLine("first line", kGreen);
    Select(log, 0, 5);
    log.ToggleBold();

    log.AppendText("more", kRed);

    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ColourAt(log, i), kGreen) << i;
        EXPECT_GE(FormatAt(log, i).fontWeight(), QFont::Bold) << i;
    }
    EXPECT_EQ(ColourAt(log, 11), kRed);
    EXPECT_EQ(log.textCursor().selectionStart(), 0);
    EXPECT_EQ(log.textCursor().selectionEnd(), 5);
}

TEST_F(LogControl, AppendsFromWorkerThreadsLandWholeAndInOrder)
{
    constexpr int kLines = 300;
    std::thread worker([this] {
        for (int i = 0; i < kLines; ++i)
            log.AppendLine("line " + std::to_string(i), i % 2 ? kRed : kBlue);
    });
    worker.join();
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return log.document()->blockCount() > kLines; }));

    const QStringList lines = log.toPlainText().split('\n');
    ASSERT_EQ(lines.size(), kLines + 1);
    for (int i = 0; i < kLines; ++i)
        EXPECT_EQ(lines[i], QString("line %1").arg(i));
    const int second = static_cast<int>(QString("line 0\n").size());
    EXPECT_EQ(ColourAt(log, 0), kBlue);
    EXPECT_EQ(ColourAt(log, second), kRed);
}

TEST_F(LogControl, AppendQueuedForAControlThatIsGoneIsDropped)
{
    auto doomed = std::make_unique<CRichEditCtrlExtend>();
    std::thread worker([&] { doomed->AppendText("late", kRed); });
    worker.join();
    doomed.reset();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    SUCCEED();
}

TEST_F(LogControl, ClearAllEmptiesTheLogAndTheNextAppendStartsAtZero)
{
    log.AppendLine("something", kRed);
    log.OnClearAll();
    EXPECT_EQ(log.GetTextLength(), 0);
    log.AppendText("again", kGreen);
    EXPECT_EQ(log.GetText(), "again");
    EXPECT_EQ(ColourAt(log, 0), kGreen);
}

TEST_F(LogControl, ContextMenuOffersCopyPasteSelectAllClearAllInOrder)
{
    auto menu = log.CreateContextMenu();
    const QList<QAction*> actions = menu->actions();
    const std::vector<std::pair<QString, UINT>> expected { { "Copy", ID_LOG_COPY }, { "", 0 },
        { "Paste", ID_LOG_PASTE }, { "", 0 }, { "Select All", ID_LOG_SELECT_ALL }, { "", 0 },
        { "Clear All", ID_LOG_CLEAR_ALL } };
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actions[i]->isSeparator(), expected[i].second == 0);
        EXPECT_EQ(actions[i]->text(), expected[i].first);
        if (expected[i].second) {
            EXPECT_EQ(actions[i]->data().toUInt(), expected[i].second);
        }
    }

    log.AppendText("abc", kRed);
    actions[4]->trigger(); // Select All
    actions[0]->trigger(); // Copy
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "abc");
    QTextCursor end(log.document());
    end.movePosition(QTextCursor::End);
    log.setTextCursor(end);
    actions[2]->trigger(); // Paste
    EXPECT_EQ(log.GetText(), "abcabc");
    actions[6]->trigger(); // Clear All
    EXPECT_EQ(log.GetTextLength(), 0);
}

TEST_F(LogControl, LineEntryHandsOverTheWholeLineOnceWithoutItsLineEnd)
{
    QSignalSpy spy(&log, &CRichEditCtrlExtend::lineEntered);
    log.m_nLineEntry = 1;
    QTest::keyClicks(&log, "READ 0 100");
    QTest::keyClick(&log, Qt::Key_Return);

    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "READ 0 100");
    EXPECT_EQ(log.GetTextLength(), 0);

    log.m_nLineEntry = 0;
    QTest::keyClicks(&log, "x");
    QTest::keyClick(&log, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(log.GetText(), "x\n");
}

// Over a selection where an effect is uniform ToggleEffect flips it; where it is mixed it sets it.
TEST_F(LogControl, ToggleEffectFlipsUniformAndSetsMixedSelections)
{
    log.AppendText("aaaa bbbb", kRed);
    Select(log, 0, 4);
    log.ToggleBold();
    Select(log, 0, 9);
    ASSERT_FALSE(log.IsBold()); // mixed

    log.ToggleBold(); // mixed: set
    EXPECT_TRUE(log.IsBold());
    log.ToggleBold(); // uniform bold: clear
    EXPECT_FALSE(log.IsBold());
    for (int i = 0; i < 9; ++i)
        EXPECT_LT(FormatAt(log, i).fontWeight(), QFont::Bold) << i;

    log.ToggleItalic();
    log.ToggleUnderline();
    EXPECT_TRUE(log.IsItalic());
    EXPECT_TRUE(log.IsUnderline());
    EXPECT_FALSE(log.IsBold());
}

TEST_F(LogControl, SelectionFormatOperationsChangeOnlyTheSelection)
{
    log.AppendText("abcdef", kRed);
    Select(log, 2, 4);
    log.SetSelectionColor(kBlue);
    log.SetFontSize(20);
    log.SetFaceName("Courier New");

    EXPECT_EQ(ColourAt(log, 1), kRed);
    EXPECT_EQ(ColourAt(log, 2), kBlue);
    EXPECT_EQ(ColourAt(log, 3), kBlue);
    EXPECT_EQ(ColourAt(log, 4), kRed);
    EXPECT_EQ(log.GetFontSize(), 20);
    EXPECT_EQ(FormatAt(log, 3).fontFamilies().toStringList().value(0), "DejaVu Sans Mono");
    EXPECT_NE(FormatAt(log, 0).fontPointSize(), 20);
}

TEST_F(LogControl, FaceAndSizeSetOnAnEmptyLogApplyToAppends)
{
    log.SetFaceName("Fixedsys");
    log.SetFontSize(14);
    log.AppendText("text", kRed);
    EXPECT_EQ(FormatAt(log, 1).fontPointSize(), 14);
    EXPECT_EQ(FormatAt(log, 1).fontFamilies().toStringList().value(0), "DejaVu Sans Mono");
}

TEST_F(LogControl, ApplyFontDoesNothingBeforeSetFontInfoAndRecoloursEverythingAfter)
{
    log.AppendText("one ", kRed);
    log.AppendText("two", kGreen);
    Select(log, 0, 3);
    log.ApplyFont();
    EXPECT_EQ(ColourAt(log, 0), kRed);
    EXPECT_EQ(log.textCursor().selectionEnd(), 3);

    ChooseFontRecord record;
    record.logFont.lfFaceName = "Times New Roman";
    record.logFont.lfHeight = -20;
    record.logFont.lfWeight = 700;
    record.rgbColors = kBlue;
    log.SetFontInfo(record);
    record.rgbColors = kGreen; // the control keeps its own copy
    log.ApplyFont();

    for (int i = 0; i < log.GetTextLength(); ++i)
        EXPECT_EQ(ColourAt(log, i), kBlue) << i;
    EXPECT_FALSE(log.textCursor().hasSelection());
    EXPECT_EQ(log.FontInfo().rgbColors, kBlue);
    EXPECT_EQ(log.font().pixelSize(), 20);
    EXPECT_EQ(log.font().family(), "DejaVu Serif");
}

TEST_F(LogControl, ParagraphAlignmentAndBullets)
{
    log.AppendText("para", kRed);
    EXPECT_TRUE(log.IsParagraphLeft());
    log.SetParagraphCenter();
    EXPECT_TRUE(log.IsParagraphCenter());
    log.SetParagraphRight();
    EXPECT_TRUE(log.IsParagraphRight());
    EXPECT_FALSE(log.IsParagraphLeft());

    EXPECT_FALSE(log.IsBullet());
    log.ToggleBullet();
    EXPECT_TRUE(log.IsBullet());
    log.ToggleBullet();
    EXPECT_FALSE(log.IsBullet());
}

TEST_F(LogControl, ColourSettersAndHelpers)
{
    log.SetBackColor(RGB(0xFF, 0xFF, 0xEB));
    log.SetTextColor(kGreen);
    EXPECT_EQ(platform::FromQColor(log.palette().color(QPalette::Base)), RGB(0xFF, 0xFF, 0xEB));
    EXPECT_EQ(platform::FromQColor(log.palette().color(QPalette::Text)), kGreen);

    EXPECT_TRUE(CRichEditCtrlExtend::CopyToClipboard("clip"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "clip");

    std::vector<std::string> fonts;
    CRichEditCtrlExtend::EnumTrueTypeFonts(fonts);
    EXPECT_NE(std::find(fonts.begin(), fonts.end(), "DejaVu Sans"), fonts.end());
}

TEST(PointsToFontHeight, IsTheNegativePixelHeightOnThePrimaryScreen)
{
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    EXPECT_EQ(PointsToFontHeight(72), -static_cast<int>(std::lround(dpi)));
    EXPECT_EQ(PointsToFontHeight(0), 0);
    EXPECT_LT(PointsToFontHeight(9), 0);
}

} // namespace
