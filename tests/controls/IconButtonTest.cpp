// The icon button: its pure geometry and image helpers, result codes, hover by events, what it
// paints in each state, clicks, the check box, the popup menu and the address.

#include "controls/ui/IconButton.h"
#include "controls/ui/menu/VarnMenu.h"

#include "platform/Process.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include "support/TestPalette.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tonrig::test::ScopedTestPalette;

COLORREF At(const QImage& img, int x, int y)
{
    return platform::FromQColor(img.pixelColor(x, y));
}

TEST(IconButtonHelpers, ImageRectanglesByAlignmentCaptionPressAndCheckBox)
{
    const WinRect item { 0, 0, 100, 40 };
    const QSize image(16, 16);
    struct Base {
        int align;
        bool caption;
        WinRect image;
        WinRect caption_;
    };
    const Base bases[] = {
        { 0, true, { 3, 12, 19, 28 }, { 19, 0, 100, 40 } },
        { 0, false, { 42, 12, 58, 28 }, item },
        { 1, true, { 42, 3, 58, 19 }, { 0, 16, 100, 40 } },
        { 1, false, { 42, 12, 58, 28 }, item },
        { 2, true, { 81, 12, 97, 28 }, { 3, 0, 81, 40 } },
        { 2, false, { 42, 12, 58, 28 }, item },
        { 3, true, { 0, 0, 16, 16 }, item },
        { 3, false, { 0, 0, 16, 16 }, item },
    };
    for (const Base& b : bases) {
        for (bool pressed : { false, true }) {
            for (bool checkBox : { false, true }) {
                const auto got = CIconButton::PrepareImageRect(
                    item, image, b.caption, b.align, pressed, checkBox, QPoint(3, 3), QPoint(1, 2));
                WinRect want = b.image;
                if (pressed && !checkBox)
                    want.Offset(1, 2);
                EXPECT_EQ(got.image, want) << b.align << b.caption << pressed << checkBox;
                EXPECT_EQ(got.caption, b.caption_) << b.align << b.caption << pressed << checkBox;
            }
        }
    }
}

TEST(IconButtonHelpers, GreyAndDarkCopiesPixelByPixel)
{
    QImage icon(6, 1, QImage::Format_ARGB32);
    icon.setPixel(0, 0, qRgba(128, 128, 128, 255));
    icon.setPixel(1, 0, qRgba(1, 1, 1, 255));
    icon.setPixel(2, 0, qRgba(255, 255, 255, 255));
    icon.setPixel(3, 0, qRgba(255, 3, 200, 255));
    icon.setPixel(4, 0, qRgba(10, 20, 30, 0));
    icon.setPixel(5, 0, qRgba(200, 100, 50, 255));
    const QImage grey = CIconButton::MakeGrayImage(icon);
    EXPECT_EQ(grey.pixel(0, 0), qRgba(127, 127, 127, 255));
    EXPECT_EQ(grey.pixel(1, 0), qRgba(0, 0, 0, 255));
    EXPECT_EQ(grey.pixel(2, 0), qRgba(255, 255, 255, 255));
    EXPECT_EQ(grey.pixel(4, 0), qRgba(10, 20, 30, 0));
    const QImage dark = CIconButton::MakeDarkImage(icon);
    EXPECT_EQ(dark.pixel(2, 0), qRgba(191, 191, 191, 255));
    EXPECT_EQ(dark.pixel(3, 0), qRgba(191, 2, 150, 255));
    EXPECT_EQ(dark.pixel(4, 0), qRgba(10, 20, 30, 0));
    // A bitmap keeps the pixels of its transparent colour.
    const QImage keyed = CIconButton::MakeGrayImage(icon, RGB(200, 100, 50));
    EXPECT_EQ(keyed.pixel(5, 0), qRgba(200, 100, 50, 255));
    EXPECT_EQ(CIconButton::MakeDarkImage(icon, RGB(200, 100, 50)).pixel(5, 0), qRgba(200, 100, 50, 255));
    EXPECT_EQ(CIconButton::DarkenColor(RGB(255, 3, 0), 0.25), RGB(191, 2, 0));
}

TEST(IconButtonHelpers, ShadesStopAtTheFirstChannelToReachItsLimit)
{
    struct Case {
        COLORREF colour;
        int shade;
        COLORREF want;
    };
    const Case cases[] = {
        { RGB(250, 100, 10), 20, RGB(255, 105, 15) },
        { RGB(250, 100, 10), -20, RGB(240, 90, 0) },
        { RGB(100, 100, 100), 50, RGB(150, 150, 150) },
        { RGB(0, 50, 255), 10, RGB(0, 50, 255) },
        { RGB(0, 50, 255), -10, RGB(0, 50, 255) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CIconButton::ShadedColor(c.colour, c.shade), c.want) << c.shade;
}

class IconButton : public testing::Test {
protected:
    void SetUp() override
    {
        if (QApplication::style()->name().compare("fusion", Qt::CaseInsensitive) != 0)
            QApplication::setStyle(QStyleFactory::create("Fusion"));
        palette = std::make_unique<ScopedTestPalette>();
        button = std::make_unique<CIconButton>();
        button->resize(60, 30);
        QFont font("DejaVu Sans", 9);
        font.setStyleStrategy(QFont::NoAntialias);
        button->setFont(font);
    }
    void TearDown() override
    {
        button.reset();
        CIconButton::SetMenuRunner({});
        platform::SetDesktopOpener({});
        palette.reset();
    }
    void Enter(QPoint at = QPoint(10, 10))
    {
        QEnterEvent enter(at, at, button->mapToGlobal(at));
        QApplication::sendEvent(button.get(), &enter);
    }
    void Send(QEvent::Type type)
    {
        QEvent event(type);
        QApplication::sendEvent(button.get(), &event);
    }
    void Mouse(QEvent::Type type, Qt::MouseButtons held, Qt::MouseButton button_ = Qt::LeftButton)
    {
        const QPointF at(10, 10);
        QMouseEvent event(type, at, button->mapToGlobal(at), button_, held, Qt::NoModifier);
        QApplication::sendEvent(button.get(), &event);
    }
    QImage Shot() { return button->grab().toImage(); }

    std::unique_ptr<ScopedTestPalette> palette;
    std::unique_ptr<CIconButton> button;
};

TEST_F(IconButton, ResultCodes)
{
    COLORREF colour = 0;
    EXPECT_EQ(button->SetIcon(999), CIconButton::kLoadFailed);
    EXPECT_EQ(button->SetBitmaps(999, RGB(255, 255, 255)), CIconButton::kLoadFailed);
    EXPECT_EQ(button->SetColor(6, 0), CIconButton::kBadColorIndex);
    EXPECT_EQ(button->GetColor(6, colour), CIconButton::kBadColorIndex);
    EXPECT_EQ(button->ShadeColor(6, 10), CIconButton::kBadColorIndex);
    EXPECT_EQ(button->SetImageAlign(4), CIconButton::kBadAlign);
    EXPECT_EQ(button->ShadeColor(0, 256), CIconButton::kBadValue);
    EXPECT_EQ(button->ShadeColor(0, -256), CIconButton::kBadValue);
    EXPECT_EQ(button->CaptureParentBackground(), CIconButton::kBadValue);
    EXPECT_EQ(button->SetPressedStyle(2), CIconButton::kBadPressedStyle);
    EXPECT_EQ(button->SetCursorId(999), CIconButton::kLoadFailed);
    EXPECT_EQ(button->SetPopupMenu(999, {}), CIconButton::kLoadFailed);
    button->SetTransparent();
    EXPECT_EQ(button->CaptureParentBackground(), CIconButton::kDone);
    EXPECT_EQ(button->SetColor(5, RGB(1, 2, 3)), CIconButton::kDone);
    EXPECT_EQ(button->GetColor(5, colour), CIconButton::kDone);
    EXPECT_EQ(colour, RGB(1, 2, 3));

    // Defaults from the system colours; a palette change puts them back.
    EXPECT_EQ(button->GetColor(CIconButton::ColorNormalBack, colour), CIconButton::kDone);
    EXPECT_EQ(colour, GetSysColor(COLOR_BTNFACE));
    button->SetColor(CIconButton::ColorHotText, RGB(9, 9, 9));
    QPalette changed = QApplication::palette();
    changed.setColor(QPalette::Button, QColor(10, 20, 30));
    QApplication::setPalette(changed);
    QCoreApplication::processEvents();
    button->GetColor(CIconButton::ColorHotText, colour);
    EXPECT_EQ(colour, GetSysColor(COLOR_BTNTEXT));
    button->GetColor(CIconButton::ColorHotBack, colour);
    EXPECT_EQ(colour, RGB(10, 20, 30));

    // A normal icon that cannot be loaded leaves no image at all.
    EXPECT_EQ(button->SetIcon(160, 161), CIconButton::kDone);
    EXPECT_TRUE(button->HasImages());
    EXPECT_EQ(button->SetIcon(160, 999), CIconButton::kLoadFailed);
    EXPECT_FALSE(button->HasImages());
    EXPECT_EQ(button->SetBitmaps(311, RGB(255, 255, 255), CIconButton::kGrayCopy), CIconButton::kDone);
    EXPECT_TRUE(button->HasImages());
}

TEST_F(IconButton, HoverFollowsTheEvents)
{
    struct Counting : CIconButton {
        int paints = 0;
        void paintEvent(QPaintEvent* e) override
        {
            ++paints;
            CIconButton::paintEvent(e);
        }
    };
    auto counting = std::make_unique<Counting>();
    counting->resize(60, 30);
    counting->show();
    QCoreApplication::processEvents();
    button = std::move(counting);
    auto* c = static_cast<Counting*>(button.get());
    const int before = c->paints;
    Enter();
    EXPECT_TRUE(button->IsHot());
    QCoreApplication::processEvents();
    EXPECT_GT(c->paints, before);

    struct Ender {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Ender> enders = {
        { "leave", [&] { Send(QEvent::Leave); } },
        { "focus out",
            [&] {
                QFocusEvent out(QEvent::FocusOut);
                QApplication::sendEvent(button.get(), &out);
            } },
        { "deactivation", [&] { Send(QEvent::WindowDeactivate); } },
        { "a modal window", [&] { Send(QEvent::WindowBlocked); } },
        { "disabling", [&] { button->setEnabled(false); } },
    };
    for (const Ender& e : enders) {
        button->setEnabled(true);
        Enter();
        ASSERT_TRUE(button->IsHot()) << e.name;
        e.run();
        EXPECT_FALSE(button->IsHot()) << e.name;
    }
    button->setEnabled(true);

    // Outside the button: not hot.
    Enter(QPoint(70, 10));
    EXPECT_FALSE(button->IsHot());
    // The left button held while coming in.
    Mouse(QEvent::MouseMove, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(button->IsHot());
    // Not flat.
    button->SetFlat(false);
    Enter();
    EXPECT_FALSE(button->IsHot());
    // Tracking only in an active application, and none is active.
    button->SetFlat(true);
    button->SetAlwaysTrack(false);
    QApplication::setActiveWindow(nullptr);
    Enter();
    EXPECT_FALSE(button->IsHot());
}

TEST_F(IconButton, ImagesByState)
{
    const QPoint probe(22 + 5, 7 + 1); // a pixel of both icons' bolt, the image centred in 60 × 30
    const COLORREF hot = RGB(232, 120, 24), normal = RGB(84, 104, 140);
    ASSERT_EQ(button->SetIcon(160, 161), CIconButton::kDone);
    EXPECT_EQ(At(Shot(), probe.x(), probe.y()), normal);
    Enter();
    EXPECT_EQ(At(Shot(), probe.x(), probe.y()), hot);
    Send(QEvent::Leave);
    button->setDown(true);
    // Pressed: the image moves by the pressed offset.
    EXPECT_EQ(At(Shot(), probe.x() + 1, probe.y() + 1), hot);
    button->setDown(false);

    // Only a hot icon: shown in every state.
    ASSERT_EQ(button->SetIcon(160), CIconButton::kDone);
    EXPECT_EQ(At(Shot(), probe.x(), probe.y()), hot);
    Enter();
    EXPECT_EQ(At(Shot(), probe.x(), probe.y()), hot);
    Send(QEvent::Leave);

    // A bitmap white where it is transparent: the normal background shows through.
    button->SetColor(CIconButton::ColorNormalBack, RGB(1, 2, 3));
    ASSERT_EQ(button->SetBitmaps(311, RGB(255, 255, 255)), CIconButton::kDone);
    const QImage bitmap = Shot();
    EXPECT_EQ(At(bitmap, 22, 7), RGB(1, 2, 3));
    EXPECT_EQ(At(bitmap, 22 + 8, 7 + 8), RGB(40, 160, 70));

    // A checked check box is pressed, and hover never picks its hot image.
    button->SetCheckBox(true);
    ASSERT_EQ(button->SetIcon(160, 161), CIconButton::kDone);
    Enter();
    EXPECT_EQ(At(Shot(), probe.x(), probe.y()), normal);
    button->SetCheck(1);
    const QImage checked = Shot();
    EXPECT_EQ(At(checked, probe.x(), probe.y()), hot); // no pressed offset for a check box
    EXPECT_EQ(At(checked, 0, 0), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(At(checked, 59, 29), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(IconButton, FramesAndTheDisabledLook)
{
    const COLORREF hilite = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    // Flat, not hovered: no frame.
    EXPECT_EQ(At(Shot(), 0, 0), GetSysColor(COLOR_BTNFACE));
    Enter();
    QImage img = Shot();
    EXPECT_EQ(At(img, 0, 0), hilite);
    EXPECT_EQ(At(img, 59, 29), shadow);
    EXPECT_EQ(At(img, 59, 0), shadow);
    Send(QEvent::Leave);
    button->setDown(true);
    img = Shot();
    EXPECT_EQ(At(img, 0, 0), shadow);
    EXPECT_EQ(At(img, 59, 29), hilite);
    button->setDown(false);

    // Not flat: the four lines.
    button->SetFlat(false);
    img = Shot();
    EXPECT_EQ(At(img, 0, 5), hilite);
    EXPECT_EQ(At(img, 5, 0), hilite);
    EXPECT_EQ(At(img, 1, 5), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(At(img, 5, 1), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(At(img, 5, 29), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(At(img, 59, 5), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(At(img, 5, 28), shadow);
    EXPECT_EQ(At(img, 58, 5), shadow);
    button->setDown(true);
    img = Shot();
    EXPECT_EQ(At(img, 0, 5), shadow);
    EXPECT_EQ(At(img, 59, 5), shadow);
    button->setDown(false);
    button->SetFlat(true);

    // Disabled: the caption etched, the highlight copy a pixel right of and below the shadow one.
    button->setText("Go");
    button->SetIcon(160);
    const QImage enabled = Shot();
    button->setEnabled(false);
    img = Shot();
    int shadowRight = -1, hiliteRight = -1, shadowBottom = -1, hiliteBottom = -1;
    for (int y = 2; y < 28; ++y)
        for (int x = 20; x < 58; ++x) {
            if (At(img, x, y) == shadow) {
                shadowRight = std::max(shadowRight, x);
                shadowBottom = std::max(shadowBottom, y);
            }
            if (At(img, x, y) == hilite) {
                hiliteRight = std::max(hiliteRight, x);
                hiliteBottom = std::max(hiliteBottom, y);
            }
        }
    ASSERT_GT(shadowRight, 0);
    EXPECT_EQ(hiliteRight, shadowRight + 1);
    EXPECT_EQ(hiliteBottom, shadowBottom + 1);
    EXPECT_NE(img.copy(3, 7, 16, 16), enabled.copy(3, 7, 16, 16));
}

TEST_F(IconButton, ClicksCheckBoxMenuAndAddress)
{
    QSignalSpy clicked(button.get(), &QAbstractButton::clicked);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    Mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 2);

    button->SetCheck(1);
    EXPECT_EQ(button->GetCheck(), 0); // not a check box
    button->SetCheckBox(true);
    button->click();
    EXPECT_EQ(button->GetCheck(), 1);
    button->click();
    EXPECT_EQ(button->GetCheck(), 0);
    button->SetCheck(2);
    EXPECT_EQ(button->GetCheck(), 1);
    button->SetCheck(5);
    EXPECT_EQ(button->GetCheck(), 0);
    button->SetCheckBox(false);

    // The popup menu: the callback before it opens, the chosen command at the owner.
    struct Window : QObject, platform::MessageTarget {
        Window()
            : platform::MessageTarget(this)
        {
        }
        LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override
        {
            got.push_back({ msg, w, l });
            return 0;
        }
        struct Got {
            UINT msg;
            WPARAM w;
            LPARAM l;
        };
        std::vector<Got> got;
    } owner, callback;
    VarnMenu::RegisterMenuTemplate(
        7301, { { MF_POPUP | MF_END, 0, "Popup" }, { 0, 501, "First" }, { MF_END, 502, "Second" } });
    ASSERT_EQ(button->SetPopupMenu(7301, owner.Handle()), CIconButton::kDone);
    button->SetMenuCallback(callback.Handle(), WM_USER + 7, 42);
    size_t callbacksWhenShown = 0;
    QMenu* shown = nullptr;
    CIconButton::SetMenuRunner([&](QMenu& menu, QPoint at) {
        callbacksWhenShown = callback.got.size();
        shown = &menu;
        EXPECT_EQ(at, button->mapToGlobal(QPoint(0, button->height() - 1)));
        return menu.actions().at(1);
    });
    button->click();
    ASSERT_EQ(callbacksWhenShown, 1u);
    EXPECT_EQ(callback.got[0].msg, WM_USER + 7);
    EXPECT_EQ(callback.got[0].w, reinterpret_cast<WPARAM>(shown));
    EXPECT_EQ(callback.got[0].l, 42);
    QCoreApplication::processEvents();
    ASSERT_EQ(owner.got.size(), 1u);
    EXPECT_EQ(owner.got[0].msg, WM_COMMAND);
    EXPECT_EQ(owner.got[0].w, 502u);
    // Nothing chosen: nothing posted.
    CIconButton::SetMenuRunner([](QMenu&, QPoint) { return nullptr; });
    button->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.got.size(), 1u);

    // An address opens through the desktop.
    CIconButton plain;
    std::vector<std::string> opened;
    platform::SetDesktopOpener([&](const std::string& url) {
        opened.push_back(url);
        return platform::OpenResult { true, {} };
    });
    plain.SetUrl("https://example.org/tonrig");
    plain.click();
    EXPECT_EQ(opened, std::vector<std::string> { "https://example.org/tonrig" });
}

} // namespace
