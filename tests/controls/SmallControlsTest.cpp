// The image button, the colour tab control, the popup tip and window hooks: behaviour by events
// sent at positions from the widgets' geometry, timers fired by hand.

#include "controls/ui/ColorTabCtrl.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/PopupText.h"
#include "controls/ui/SubclassWnd.h"

#include "platform/Folders.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include "support/TestPalette.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using tonrig::test::ScopedTestPalette;

COLORREF At(const QImage& img, int x, int y)
{
    return platform::FromQColor(img.pixelColor(x, y));
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void Click(QWidget* w, QPoint at)
{
    Mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// ---- image button -----------------------------------------------------------------------------

TEST(ImageButton, MouseCheckBoxAndRadioBehaviour)
{
    QWidget parent;
    CImageButton push("Push", &parent);
    push.resize(60, 24);
    QSignalSpy clicked(&push, &QAbstractButton::clicked);
    Click(&push, QPoint(30, 12));
    EXPECT_EQ(clicked.count(), 1);
    push.SetMouseEnabled(false);
    Click(&push, QPoint(30, 12));
    Mouse(&push, QEvent::MouseButtonDblClick, QPoint(30, 12), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(push.isDown());
    push.SetCheck(1);
    EXPECT_EQ(push.GetCheck(), 0); // a plain button stays unchecked

    // A check box toggles on a release inside, not after moving out and releasing outside.
    CImageButton box("Box", &parent, CImageButton::kCheckBox);
    box.resize(60, 24);
    Click(&box, QPoint(10, 10));
    EXPECT_EQ(box.GetCheck(), 1);
    Mouse(&box, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    Mouse(&box, QEvent::MouseMove, QPoint(200, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(box.isDown());
    Mouse(&box, QEvent::MouseButtonRelease, QPoint(200, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(box.GetCheck(), 1);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(&box, &space);
    EXPECT_EQ(box.GetCheck(), 0);

    // Radios: checking one unchecks the other radio image buttons, not a QRadioButton.
    CImageButton r1("1", &parent, CImageButton::kRadio), r2("2", &parent, CImageButton::kRadio),
        r3("3", &parent, CImageButton::kRadio);
    QRadioButton plain("plain", &parent);
    plain.setChecked(true);
    r1.resize(30, 20);
    r2.resize(30, 20);
    r1.SetCheck(1);
    r3.SetCheck(1);
    EXPECT_EQ(r1.GetCheck(), 0);
    EXPECT_EQ(r3.GetCheck(), 1);
    Click(&r2, QPoint(5, 5));
    EXPECT_EQ(r2.GetCheck(), 1);
    EXPECT_EQ(r3.GetCheck(), 0);
    EXPECT_EQ(r1.GetCheck(), 0);
    EXPECT_TRUE(plain.isChecked());
    EXPECT_EQ(box.GetCheck(), 0); // a check box is no radio
}

TEST(ImageButton, CaptionPlacesAndMask)
{
    const WinRect item { 0, 0, 80, 24 };
    const WinRect base { 5, 0, 75, 24 };
    WinRect moved = base;
    moved.Offset(1, 1);
    struct Case {
        const char* name;
        bool disabled, pressed, checked;
        WinRect want;
    };
    const Case cases[] = {
        { "normal", false, false, false, base },
        { "pressed", false, true, false, moved },
        { "checked", false, false, true, moved },
        { "disabled", true, false, false, base },
        { "disabled and checked", true, false, true, moved },
        { "disabled, pressed", true, true, false, base },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CImageButton::CaptionRect(item, 3, c.disabled, c.pressed, c.checked), c.want) << c.name;

    // A mask, white outside: its white pixels are left out of the button; copy mode takes its size.
    QImage mask(10, 8, QImage::Format_RGB32);
    mask.fill(Qt::white);
    for (int y = 2; y < 6; ++y)
        for (int x = 3; x < 7; ++x)
            mask.setPixel(x, y, qRgb(0, 0, 0));
    const QString dir = QString::fromStdString(GetAppDataFolder()) + "/Resources/BITMAP";
    QDir().mkpath(dir);
    ASSERT_TRUE(mask.save(dir + "/9300", "BMP"));
    CImageButton button;
    button.LoadBitmaps(0, 0, 0, 0, 0, 9300, 0x8000, 0, 0x8000);
    EXPECT_EQ(button.size(), QSize(10, 8));
    EXPECT_EQ(button.m_nStretch, 0);
    EXPECT_EQ(button.m_nMargin, 0);
    const QRegion region = button.mask();
    EXPECT_TRUE(region.contains(QPoint(3, 2)));
    EXPECT_TRUE(region.contains(QPoint(6, 5)));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(7, 5)));
    button.LoadBitmaps(0, 0, 0, 0, 0, 0, 5, 1, 4);
    EXPECT_EQ(button.m_nStretch, 2);
    EXPECT_EQ(button.m_nMargin, 4);
    QFile::remove(dir + "/9300");
}

TEST(ImageButton, PaintsTheFaceTheRaisedEdgeAndTheCaption)
{
    ScopedTestPalette palette;
    CImageButton button("WWW", nullptr);
    QFont font("DejaVu Sans", 10);
    font.setStyleStrategy(QFont::NoAntialias);
    button.setFont(font);
    button.resize(80, 24);
    EXPECT_EQ(button.SetTextColor(RGB(200, 0, 0)), GetSysColor(COLOR_BTNTEXT));
    QImage img = button.grab().toImage();
    EXPECT_EQ(At(img, 0, 0), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(At(img, 1, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(img, 79, 23), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(At(img, 78, 22), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(At(img, 4, 12), GetSysColor(COLOR_BTNFACE));
    bool caption = false;
    for (int y = 2; y < 22; ++y)
        for (int x = 2; x < 78; ++x)
            caption = caption || At(img, x, y) == RGB(200, 0, 0);
    EXPECT_TRUE(caption);
    // Disabled: highlight, then gray text up and left of it.
    button.setEnabled(false);
    img = button.grab().toImage();
    int grayRight = -1, lightRight = -1;
    for (int y = 2; y < 22; ++y)
        for (int x = 2; x < 78; ++x) {
            if (At(img, x, y) == GetSysColor(COLOR_GRAYTEXT))
                grayRight = std::max(grayRight, x);
            if (At(img, x, y) == GetSysColor(COLOR_BTNHIGHLIGHT))
                lightRight = std::max(lightRight, x);
        }
    ASSERT_GT(grayRight, 0);
    EXPECT_EQ(lightRight, grayRight + 1);
}

// ---- colour tab control -------------------------------------------------------------------------

class ColorTab : public testing::Test {
protected:
    void SetUp() override
    {
        tabs = new CColorTabCtrl(&parent);
        for (int i = 0; i < 3; ++i) {
            pages[i] = new QWidget(&parent);
            tabs->AddTab(pages[i], QString("Tab %1").arg(i));
        }
        tabs->resize(tabs->sizeHint());
        parent.show();
    }
    int Visible() const
    {
        int n = 0;
        for (QWidget* page : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            n += page != tabs && page->isVisible();
        return n;
    }
    QWidget parent;
    CColorTabCtrl* tabs = nullptr;
    QWidget* pages[3] = {};
};

TEST_F(ColorTab, DisabledTabsAreNeverSelected)
{
    EXPECT_EQ(pages[0]->pos(), QPoint(4, 28));
    EXPECT_TRUE(pages[0]->isVisible());
    EXPECT_FALSE(pages[1]->isVisible());
    tabs->EnableTab(1, false);
    Click(tabs, tabs->tabRect(1).center());
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(pages[0]->isVisible());
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(tabs, &right);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(pages[0]->isVisible());
    EXPECT_FALSE(pages[1]->isVisible());
    EXPECT_FALSE(tabs->SelectTab(1));
    EXPECT_TRUE(tabs->SelectNextTab(true));
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_FALSE(tabs->SelectNextTab(true));
    EXPECT_TRUE(tabs->SelectNextTab(false));
    EXPECT_EQ(tabs->currentIndex(), 0);
    // Disabling the current tab keeps it current.
    tabs->EnableTab(0, false);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(tabs->SelectTab(0));
    EXPECT_TRUE(tabs->SelectTabByName("Tab 2"));
    EXPECT_FALSE(tabs->SelectTabByName("Tab"));
    EXPECT_EQ(Visible(), 1);
    EXPECT_TRUE(pages[2]->isVisible());
}

TEST_F(ColorTab, PagesStayOneVisible)
{
    // A tab without a page, then one with a page: that page shows.
    tabs->DeleteAllTabs();
    EXPECT_EQ(Visible(), 0);
    tabs->AddTab("No page");
    tabs->AddTab(pages[1], "Page");
    EXPECT_TRUE(tabs->SelectTab(1));
    EXPECT_TRUE(pages[1]->isVisible());
    EXPECT_TRUE(tabs->SelectTab(0));
    EXPECT_FALSE(pages[1]->isVisible());

    tabs->DeleteAllTabs();
    for (int i = 0; i < 3; ++i)
        tabs->AddTab(pages[i], QString("Tab %1").arg(i));
    tabs->SelectTab(1);
    // Replacing the current tab's page.
    auto* replacement = new QWidget(&parent);
    replacement->show();
    EXPECT_TRUE(tabs->SetTab(1, replacement, "New"));
    EXPECT_EQ(Visible(), 1);
    EXPECT_TRUE(replacement->isVisible());
    EXPECT_FALSE(pages[1]->isVisible());
    // Deleting the current tab.
    EXPECT_TRUE(tabs->DeleteTab(1));
    EXPECT_EQ(Visible(), 1);
    EXPECT_TRUE(tabs->Page(tabs->currentIndex())->isVisible());
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->m_arrEnabled.size(), 2u);
}

TEST_F(ColorTab, TextColoursAndHover)
{
    EXPECT_EQ(tabs->TextColour(0), GetSysColor(COLOR_BTNTEXT));
    tabs->EnableTab(2, false);
    EXPECT_EQ(tabs->TextColour(2), GetSysColor(COLOR_GRAYTEXT));
    tabs->SetSelectedColor(RGB(1, 1, 1)).SetNormalColor(RGB(2, 2, 2)).SetDisabledColor(RGB(3, 3, 3));
    EXPECT_EQ(tabs->TextColour(0), RGB(1, 1, 1));
    EXPECT_EQ(tabs->TextColour(1), RGB(2, 2, 2));
    EXPECT_EQ(tabs->TextColour(2), RGB(3, 3, 3));
    // No hover colour: no hover.
    Mouse(tabs, QEvent::MouseMove, tabs->tabRect(1).center(), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(tabs->HoverItem(), -1);
    tabs->SetHoverColor(RGB(4, 4, 4));
    Mouse(tabs, QEvent::MouseMove, tabs->tabRect(1).center(), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(tabs->HoverItem(), 1);
    EXPECT_EQ(tabs->TextColour(1), RGB(4, 4, 4));
    EXPECT_EQ(tabs->TextColour(0), RGB(1, 1, 1)); // the selected colour wins
    Mouse(tabs, QEvent::MouseMove, tabs->tabRect(0).center(), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(tabs->HoverItem(), 0);
    EXPECT_EQ(tabs->TextColour(1), RGB(2, 2, 2));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(tabs, &leave);
    EXPECT_EQ(tabs->HoverItem(), -1);
}

// ---- popup tip ------------------------------------------------------------------------------------

TEST(PopupTip, SizesToItsLineAndShowsOnTime)
{
    for (int align : { 1, 0 }) {
        CPopupText tip;
        tip.Create(QPoint(300, 100), nullptr, align, 0);
        tip.SetText("short");
        const QRect first = tip.geometry();
        const QFontMetrics fm(tip.m_font);
        EXPECT_EQ(first.width(), fm.horizontalAdvance("short") + 8);
        EXPECT_EQ(first.height(), fm.height() + 8);
        tip.SetText("a rather longer text for the tip");
        const QRect second = tip.geometry();
        EXPECT_GT(second.width(), first.width());
        EXPECT_EQ(second.top(), first.top());
        if (align == 1)
            EXPECT_EQ(second.right(), first.right());
        else
            EXPECT_EQ(second.left(), first.left());
    }

    CPopupText tip;
    tip.Create(QPoint(10, 10), nullptr, 0, 0);
    tip.SetText("tip");
    tip.ShowAfterDelay(0);
    EXPECT_TRUE(tip.isVisible());
    EXPECT_FALSE(tip.IsTimerArmed(1));
    tip.Cancel();
    EXPECT_FALSE(tip.isVisible());
    tip.ShowAfterDelay(100);
    EXPECT_TRUE(tip.IsTimerArmed(1));
    EXPECT_FALSE(tip.isVisible());
    tip.Cancel();
    EXPECT_FALSE(tip.IsTimerArmed(1));
    EXPECT_FALSE(tip.isVisible());
    tip.ShowAfterDelay(100);
    tip.OnTimer(1);
    EXPECT_TRUE(tip.isVisible());
    EXPECT_FALSE(tip.IsTimerArmed(1));
    EXPECT_TRUE(tip.testAttribute(Qt::WA_ShowWithoutActivating));
}

// ---- hooks ----------------------------------------------------------------------------------------

struct Recorder : CSubclassWnd {
    Recorder(std::string name, std::vector<std::string>& log, bool stop = false)
        : name(std::move(name))
        , log(log)
        , stop(stop)
    {
    }
    bool WindowProc(QObject* window, QEvent* event) override
    {
        if (event->type() == QEvent::User)
            log.push_back(name);
        return stop && event->type() == QEvent::User ? true : CSubclassWnd::WindowProc(window, event);
    }
    std::string name;
    std::vector<std::string>& log;
    bool stop;
};

struct Target : QWidget {
    Target(std::vector<std::string>& log)
        : log(log)
    {
    }
    void customEvent(QEvent*) override { log.push_back("widget"); }
    std::vector<std::string>& log;
};

TEST(Hooks, ChainLastAddedFirstAndFollowTheirWidget)
{
    std::vector<std::string> log;
    auto widget = std::make_unique<Target>(log);
    auto first = std::make_unique<Recorder>("first", log);
    auto second = std::make_unique<Recorder>("second", log);
    auto post = [&](QWidget* w) {
        QEvent event(QEvent::User);
        QApplication::sendEvent(w, &event);
    };
    first->Install(widget.get());
    second->Install(widget.get());
    post(widget.get());
    EXPECT_EQ(log, (std::vector<std::string> { "second", "first", "widget" }));

    log.clear();
    first->Install(nullptr);
    EXPECT_FALSE(first->IsHooked());
    post(widget.get());
    EXPECT_EQ(log, (std::vector<std::string> { "second", "widget" }));

    // Installing again on the same widget: still once.
    log.clear();
    second->Install(widget.get());
    post(widget.get());
    EXPECT_EQ(log, (std::vector<std::string> { "second", "widget" }));

    // On another widget: the hook moves.
    log.clear();
    Target other(log);
    second->Install(&other);
    post(widget.get());
    post(&other);
    EXPECT_EQ(log, (std::vector<std::string> { "widget", "second", "widget" }));

    // A hook that stops an event keeps it from the widget.
    log.clear();
    Recorder stopper("stopper", log, true);
    stopper.Install(widget.get());
    post(widget.get());
    EXPECT_EQ(log, (std::vector<std::string> { "stopper" }));

    // A destroyed widget leaves its hooks unhooked; deleting them afterwards is clean.
    first->Install(widget.get());
    widget.reset();
    EXPECT_FALSE(first->IsHooked());
    EXPECT_FALSE(stopper.IsHooked());
    first.reset();
    second.reset();
}

} // namespace
