#include "shell/ui/SplashDlg.h"
#include "platform/Clock.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ShellMessages.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QObject>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "support/MessageRecorder.h"

namespace {

using tonrig::test::ProcessEventsUntil;

using tonrig::test::MessageRecorder;

class SplashDlgTest : public testing::Test {
protected:
    SplashDlgTest()
        : splash(&view, owner.Handle())
    {
        InitLanguageForView();
        view.resize(900, 600);
        view.show();
    }
    ~SplashDlgTest() override { g_Language.Reset(); }

    void Tick(int n)
    {
        for (int i = 0; i < n; ++i)
            splash.OnTimer(CSplashDlg::kHideTimer);
    }
    int Notices()
    {
        QCoreApplication::processEvents();
        return owner.Count(WM_POPUP_TIMEOUT);
    }

    QWidget view;
    MessageRecorder owner;
    CSplashDlg splash;
};

TEST_F(SplashDlgTest, ShowsTitleAndTheLanguagesMessage)
{
    EXPECT_FALSE(splash.isVisible());
    g_LanguageTexts[104] = "Bitte den Chip entnehmen.";
    splash.ShowSplash(true);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.TitleText(), "USB Universal Programmer");
    EXPECT_EQ(splash.MessageText(), "Bitte den Chip entnehmen.") << "the text in force when shown";
    EXPECT_EQ(splash.geometry(), QRect(195, 140, 405, 260));
    EXPECT_EQ(splash.parentWidget(), &view);
}

TEST_F(SplashDlgTest, HidesItselfOnTheFourthTickWithOneNotice)
{
    splash.ShowSplash(true);
    Tick(3);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(Notices(), 0);
    Tick(1);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.IsTimerArmed(CSplashDlg::kHideTimer));
    EXPECT_EQ(Notices(), 1);
}

TEST_F(SplashDlgTest, ShowingAgainRestartsTheCount)
{
    splash.ShowSplash(true);
    Tick(3);
    splash.ShowSplash(true);
    Tick(3);
    EXPECT_TRUE(splash.isVisible());
    Tick(1);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(Notices(), 1);
}

TEST_F(SplashDlgTest, HidingEarlyPostsNothing)
{
    splash.ShowSplash(true);
    Tick(2);
    splash.ShowSplash(false);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.IsTimerArmed(CSplashDlg::kHideTimer));
    EXPECT_EQ(splash.m_nTick, CSplashDlg::kHiddenTick);
    EXPECT_EQ(Notices(), 0);
}

TEST_F(SplashDlgTest, MonitorThreadShowsItThroughTheGuiThread)
{
    platform::ScopedClock clock(platform::MakeScaledClock(100));
    std::thread monitor([&] { splash.ShowSplash(true); });
    monitor.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return splash.isVisible(); }));
    // On the real timer it goes again after its ticks, with one notice.
    EXPECT_TRUE(ProcessEventsUntil([&] { return !splash.isVisible() && owner.Count(WM_POPUP_TIMEOUT) == 1; }));
    EXPECT_EQ(owner.Count(WM_POPUP_TIMEOUT), 1);
}

} // namespace
