#include "shell/ui/ProgressDlg.h"
#include "platform/Clock.h"
#include "shell/ShellMessages.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "support/MessageRecorder.h"

namespace {

using tonrig::test::ProcessEventsUntil;

using tonrig::test::MessageRecorder;

class ProgressDlgTest : public testing::Test {
protected:
    ProgressDlgTest()
        : dlg(&view, owner.Handle())
    {
        view.setGeometry(100, 80, 900, 600);
        view.show();
    }

    QWidget view;
    MessageRecorder owner;
    CProgressDlg dlg;
};

TEST_F(ProgressDlgTest, PositionShowsCaptionBarAndCancel)
{
    const struct {
        std::uint32_t upper, pos;
        const char* caption;
        int bar;
        bool cancel;
    } cases[] = {
        { 1000, 250, "Reading... (25.00%)", 25, true },
        { 1000, 1000, "Reading... (100.00%)", 100, false },
        { 1000, 5000, "Reading... (100.00%)", 100, false },
        { 3, 1, "Reading... (33.33%)", 33, true },
        { 0, 0, "Reading... (0.00%)", 0, false },
        { 0, 7, "Reading... (0.00%)", 0, false },
        // Beyond about 42.9 million a 32-bit pos * 100 wraps.
        { 60000000, 50000000, "Reading... (83.33%)", 83, true },
        { 4294967295u, 4294967294u, "Reading... (100.00%)", 99, true },
    };
    dlg.SetText("Reading...");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.upper << " " << c.pos);
        dlg.SetRange(7, c.upper);
        dlg.SetPos(c.pos);
        EXPECT_EQ(dlg.CaptionText(), c.caption);
        EXPECT_EQ(dlg.BarValue(), c.bar);
        EXPECT_EQ(dlg.IsCancelEnabled(), c.cancel);
        std::uint32_t lower = 0, upper = 0;
        dlg.GetRange(lower, upper);
        EXPECT_EQ(lower, 7u);
        EXPECT_EQ(upper, c.upper);
    }
}

TEST_F(ProgressDlgTest, ShowPlacesTheWindowAndHideLocksCancelAgain)
{
    dlg.SetText("Writing...");
    dlg.SetRange(0, 10);
    dlg.SetPos(1);
    dlg.Show(true);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.CaptionText(), "Writing...") << "Show puts the plain caption up";
    EXPECT_EQ(dlg.pos(), view.mapToGlobal(QPoint(0, 0)) + QPoint(155, 150));
    EXPECT_EQ(dlg.size(), QSize(480, 140));

    dlg.m_bLockCancel = false;
    dlg.Show(false);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(dlg.m_bLockCancel);
    EXPECT_EQ(dlg.m_nTick, CProgressDlg::kHiddenTick);
    EXPECT_FALSE(dlg.IsTimerArmed(CProgressDlg::kNoticeTimer));
}

TEST_F(ProgressDlgTest, TimedProgressStepsWithAndWithoutTheLock)
{
    for (bool locked : { true, false }) {
        SCOPED_TRACE(locked ? "locked" : "unlocked");
        dlg.SetText("Erasing...");
        dlg.Start(5);
        dlg.m_bLockCancel = locked;
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.IsTimerArmed(CProgressDlg::kTimedTimer));
        EXPECT_EQ(dlg.BarValue(), 0);
        EXPECT_TRUE(dlg.IsCancelEnabled()) << "until the first tick";
        for (int tick = 1; tick <= 10; ++tick) {
            dlg.OnTimer(CProgressDlg::kTimedTimer);
            EXPECT_EQ(dlg.BarValue(), tick * 10);
            EXPECT_EQ(dlg.IsCancelEnabled(), !locked && tick < 10) << tick;
        }
        EXPECT_EQ(dlg.CaptionText(), "Erasing... (100.00%)");
        EXPECT_TRUE(dlg.IsTimerArmed(CProgressDlg::kTimedTimer));
        dlg.OnTimer(CProgressDlg::kTimedTimer);
        EXPECT_FALSE(dlg.IsTimerArmed(CProgressDlg::kTimedTimer)) << "the eleventh tick stops the timer";
        EXPECT_EQ(dlg.BarValue(), 100);
        dlg.Show(false);
    }
}

TEST_F(ProgressDlgTest, NoticeTicksNeverMoveTheTimedBar)
{
    // Both timers run when a timed task follows Show(true); each keeps its own count.
    dlg.Show(true);
    dlg.Start(3);
    int last = 0;
    for (int i = 0; i < 6; ++i) {
        dlg.OnTimer(CProgressDlg::kNoticeTimer);
        dlg.OnTimer(CProgressDlg::kNoticeTimer);
        dlg.OnTimer(CProgressDlg::kTimedTimer);
        EXPECT_GE(dlg.BarValue(), last);
        last = dlg.BarValue();
    }
    EXPECT_EQ(last, 100);
}

TEST_F(ProgressDlgTest, NoticeIsPostedOnceAfterThreeSeconds)
{
    dlg.Show(true);
    for (int i = 0; i < 5; ++i)
        dlg.OnTimer(CProgressDlg::kNoticeTimer);
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.Count(WM_POPUP_TIMEOUT), 0);
    dlg.OnTimer(CProgressDlg::kNoticeTimer);
    EXPECT_FALSE(dlg.IsTimerArmed(CProgressDlg::kNoticeTimer));
    EXPECT_TRUE(ProcessEventsUntil([&] { return owner.Count(WM_POPUP_TIMEOUT) == 1; }));
    EXPECT_TRUE(dlg.isVisible()) << "the window itself stays up";

    // Hidden before its time, it posts nothing.
    dlg.Show(true);
    dlg.OnTimer(CProgressDlg::kNoticeTimer);
    dlg.Show(false);
    EXPECT_FALSE(dlg.IsTimerArmed(CProgressDlg::kNoticeTimer));
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.Count(WM_POPUP_TIMEOUT), 1);
}

TEST_F(ProgressDlgTest, NoticeFollowsTheRealTimer)
{
    platform::ScopedClock clock(platform::MakeScaledClock(1000));
    dlg.Show(true);
    EXPECT_TRUE(ProcessEventsUntil([&] { return owner.Count(WM_POPUP_TIMEOUT) == 1; }));
}

TEST_F(ProgressDlgTest, PositionsFromAWorkerEndWithTheLastOneShown)
{
    constexpr std::uint32_t kUpper = 3000000;
    dlg.SetText("Reading...");
    dlg.SetRange(0, kUpper);
    dlg.SetPos(1);
    dlg.Show(true);
    std::atomic<bool> done { false };
    std::thread pump([&] {
        for (std::uint32_t pos = 1; pos <= kUpper - 300000; ++pos)
            dlg.SetPos(pos);
        done = true;
    });
    // The GUI thread keeps running its queue meanwhile, as it would during a read.
    ProcessEventsUntil([&] { return done.load(); }, std::chrono::seconds(60));
    pump.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return dlg.BarValue() == 90; }));
    EXPECT_EQ(dlg.CaptionText(), "Reading... (90.00%)");
    EXPECT_TRUE(dlg.IsCancelEnabled());
}

TEST_F(ProgressDlgTest, ManyWorkerPositionsShareOneQueuedUpdate)
{
    dlg.SetText("Writing...");
    dlg.SetRange(0, 100000);
    // The GUI thread is busy (it runs no events) while the pump reports 100,000 positions.
    std::thread pump([&] {
        for (std::uint32_t pos = 1; pos <= 100000; ++pos)
            dlg.SetPos(pos);
    });
    pump.join();
    EXPECT_EQ(dlg.QueuedUpdates(), 1);
    EXPECT_TRUE(ProcessEventsUntil([&] { return dlg.BarValue() == 100; }));
    EXPECT_FALSE(dlg.IsCancelEnabled());

    // Once shown, the next worker position queues a fresh update.
    std::thread([&] { dlg.SetPos(50000); }).join();
    EXPECT_EQ(dlg.QueuedUpdates(), 2);
    EXPECT_TRUE(ProcessEventsUntil([&] { return dlg.BarValue() == 50; }));
}

TEST_F(ProgressDlgTest, CancelReachesTheOwnerOnce)
{
    dlg.SetText("Writing...");
    dlg.SetRange(0, 100);
    dlg.SetPos(1);
    dlg.Show(true);
    dlg.Start(10);
    dlg.m_bLockCancel = false;
    dlg.OnTimer(CProgressDlg::kTimedTimer);

    dlg.OnCancel();
    dlg.OnCancel();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(owner.Count(WM_CANCEL_OPERATION), 1);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.IsTimerArmed(CProgressDlg::kTimedTimer));
    EXPECT_EQ(dlg.m_nTick, CProgressDlg::kHiddenTick);

    // A new showing can be cancelled again.
    dlg.Show(true);
    dlg.SetPos(2);
    dlg.OnCancel();
    EXPECT_EQ(owner.Count(WM_CANCEL_OPERATION), 2);
}

TEST_F(ProgressDlgTest, GreyCancelCannotBeBypassed)
{
    // A locked timed erase: Cancel is grey from the first tick, and Escape must not cancel it.
    dlg.Start(180);
    dlg.OnTimer(CProgressDlg::kTimedTimer);
    ASSERT_FALSE(dlg.IsCancelEnabled());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    dlg.OnCancel();
    EXPECT_EQ(owner.Count(WM_CANCEL_OPERATION), 0);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.IsTimerArmed(CProgressDlg::kTimedTimer));
}

} // namespace
