#include "platform/GuiThread.h"
#include "platform/ui/MessageTarget.h"

#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr UINT WM_TEST = WM_USER + 7;

class Window : public QWidget, public MessageTarget {
public:
    Window() : MessageTarget(this) {}
    void OnTimer(UINT id) override { timers.push_back(id); }
    LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override
    {
        EXPECT_TRUE(IsGuiThread());
        messages.push_back({msg, w, l});
        return static_cast<LRESULT>(w + l);
    }
    struct Message {
        UINT msg;
        WPARAM w;
        LPARAM l;
    };
    std::vector<UINT> timers;
    std::vector<Message> messages;
};

TEST(MessageTarget, TimersFireByIdAndReArmingReplaces)
{
    Window w;
    w.SetTimer(101, 5);
    w.SetTimer(102, 1, true);
    EXPECT_TRUE(ProcessEventsUntil([&] { return std::count(w.timers.begin(), w.timers.end(), 101u) >= 3; }));
    EXPECT_EQ(std::count(w.timers.begin(), w.timers.end(), 102u), 1);
    EXPECT_FALSE(w.IsTimerArmed(102));
    w.SetTimer(101, 100000); // re-armed far away: no more 101 ticks
    w.timers.clear();
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_TRUE(w.timers.empty());
    EXPECT_TRUE(w.IsTimerArmed(101));
    w.KillTimer(101);
    EXPECT_FALSE(w.IsTimerArmed(101));
}

TEST(MessageTarget, PostedMessagesArriveInOrderLater)
{
    Window w;
    EXPECT_TRUE(w.PostMessage(WM_TEST, 1, 2));
    EXPECT_TRUE(w.PostMessage(WM_TEST + 1, 3, 4));
    EXPECT_TRUE(w.messages.empty());
    ASSERT_TRUE(ProcessEventsUntil([&] { return w.messages.size() == 2; }));
    EXPECT_EQ(w.messages[0].msg, WM_TEST);
    EXPECT_EQ(w.messages[1].l, 4);
}

TEST(MessageTarget, SendFromTheGuiThreadIsADirectCall)
{
    Window w;
    EXPECT_EQ(w.SendMessage(WM_TEST, 5, 6), 11);
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST(MessageTarget, SendFromAWorkerBlocksUntilTheGuiThreadHandledIt)
{
    Window w;
    std::atomic<LRESULT> result{-1};
    std::atomic<bool> done{false};
    WindowHandle handle = w.Handle();
    std::thread worker([&] {
        result = handle.SendMessage(WM_TEST, 20, 22);
        done = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(w.messages.size(), 1u);
}

TEST(MessageTarget, MessagesToADestroyedWindowAreDropped)
{
    WindowHandle handle;
    {
        Window w;
        handle = w.Handle();
        EXPECT_TRUE(handle.PostMessage(WM_TEST)); // queued, then the window goes
    }
    EXPECT_FALSE(handle.IsAlive());
    EXPECT_FALSE(handle.PostMessage(WM_TEST));
    EXPECT_EQ(handle.SendMessage(WM_TEST, 1, 1), 0);
    std::thread worker([&] { EXPECT_EQ(handle.SendMessage(WM_TEST, 1, 1), 0); });
    worker.join();
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(20)); // the queued post finds nothing
}

TEST(GuiThread, ShutDownReleasesABlockedSend)
{
    std::atomic<bool> ran{false};
    SendResult result = SendResult::Delivered;
    std::thread worker([&] { result = send([&] { ran = true; }); });
    // The GUI thread does not run its queue; shut-down must still release the worker.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    BeginShutdown();
    worker.join();
    EXPECT_EQ(result, SendResult::NotDelivered);
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_FALSE(ran); // the abandoned call never runs
    EXPECT_EQ(send([] {}), SendResult::NotDelivered);
    ResetShutdownForTest();
    EXPECT_EQ(send([] {}), SendResult::Delivered);
}

TEST(GuiThread, PostFromManyWorkersKeepsEachWorkersOrder)
{
    std::vector<std::pair<int, int>> seen;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([t, &seen] {
            for (int i = 0; i < 100; ++i)
                post([t, i, &seen] { seen.emplace_back(t, i); });
        });
    for (auto& w : workers)
        w.join();
    ASSERT_TRUE(ProcessEventsUntil([&] { return seen.size() == 400; }));
    std::vector<int> last(4, -1);
    for (auto [t, i] : seen) {
        EXPECT_EQ(i, last[t] + 1);
        last[t] = i;
    }
}

} // namespace
