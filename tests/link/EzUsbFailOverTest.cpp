// The connection monitor on the program's link and the virtual programmer. A script puts the
// cable in or pulls it by clock time, the manual clock moves only through the monitor's own waits
// and the box costs no clock time, so every run sees the same ticks at the same times.

#include "LinkFixture.h"
#include "MonitorFixture.h"

#include <thread>

using namespace std::chrono_literals;
using namespace tonrig::test;
using platform::Duration;

namespace {

// Plugs or unplugs the box by clock time before each probe of the link, and records what the
// link said; at `end` it holds the monitor until released, so the test reads a finished script.
class ScriptedProbe {
public:
    ScriptedProbe(std::shared_ptr<platform::usb::VirtualPort> port, std::function<bool(Duration)> plugged, Duration end)
        : m_port(std::move(port))
        , m_plugged(std::move(plugged))
        , m_end(end)
    {
    }

    CEZ_USB_Fail_Over::Probe Fn()
    {
        return [this] {
            const Duration now = platform::GetClock().Now();
            std::unique_lock lock(m_mutex);
            if (now >= m_end) {
                m_atEnd = true;
                m_cv.notify_all();
                m_cv.wait(lock, [&] { return m_released; });
                return CEZ_USB_Fail_Over::IsConnected(); // no change at the end
            }
            const bool in = m_plugged(now);
            if (in != m_in) {
                in ? m_port->Plug() : m_port->Unplug();
                m_in = in;
            }
            const bool open = g_ProgrammerLink.Open();
            m_calls.push_back({ now, open });
            return open;
        };
    }
    bool WaitForEnd()
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 20s, [&] { return m_atEnd; });
    }
    void Release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_cv.notify_all();
    }
    std::vector<std::pair<Duration, bool>> Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<long long> Times(Duration from, Duration to)
    {
        std::vector<long long> out;
        for (const auto& [at, ok] : Calls())
            if (at >= from && at < to)
                out.push_back(Ms(at));
        return out;
    }

private:
    std::shared_ptr<platform::usb::VirtualPort> m_port;
    std::function<bool(Duration)> m_plugged;
    bool m_in = true;
    const Duration m_end;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::pair<Duration, bool>> m_calls;
    bool m_atEnd = false;
    bool m_released = false;
};

std::vector<long long> Every(long long from, long long step, long long to)
{
    std::vector<long long> out;
    for (long long t = from; t < to; t += step)
        out.push_back(t);
    return out;
}

class MonitorTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        g_bUsbConnected = 0;
        sim::BoxConfig config;
        config.time = sim::TimeModel::Zero();
        Plug(config);
    }
    void TearDown() override
    {
        g_bUsbConnected = 0;
        LinkTest::TearDown();
    }

    // Runs the monitor over `plugged` until the clock reaches `end`.
    void RunScript(std::function<bool(Duration)> plugged, Duration end)
    {
        probe = std::make_unique<ScriptedProbe>(box->Port(), std::move(plugged), end);
        CEZ_USB_Fail_Over monitor(sink, probe->Fn());
        ASSERT_TRUE(monitor.Start());
        monitor.StartTimer();
        ASSERT_TRUE(probe->WaitForEnd());
        connectedAtEnd = CEZ_USB_Fail_Over::IsConnected();
        probe->Release();
        monitor.Stop();
    }

    RecordingSink sink;
    std::unique_ptr<ScriptedProbe> probe;
    bool connectedAtEnd = false;
};

TEST_F(MonitorTest, PluggedStartUpInitialisesOnceThenTicksEverySecond)
{
    RunScript([](Duration) { return true; }, 8s);

    // The first tick at once finds it: 500 ms later the splash and WM_USB_INIT, then 2 s to settle.
    const auto events = sink.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, SinkEvent::Splash);
    EXPECT_EQ(Ms(events[0].at), 500);
    EXPECT_EQ(events[1].kind, SinkEvent::Post);
    EXPECT_EQ(events[1].message, WM_USB_INIT);
    EXPECT_EQ(events[1].wParam, 0u);
    EXPECT_EQ(events[1].lParam, 0);
    EXPECT_EQ(probe->Times(0s, 8s), (std::vector<long long> { 0, 2500, 3500, 4500, 5500, 6500, 7500 }));
    EXPECT_TRUE(connectedAtEnd);
}

TEST_F(MonitorTest, UnpluggedStartUpPostsNothingAndProbesEverySecond)
{
    RunScript([](Duration) { return false; }, 6s);

    EXPECT_TRUE(sink.Events().empty());
    EXPECT_EQ(probe->Times(0s, 6s), Every(0, 1000, 6000));
    EXPECT_FALSE(connectedAtEnd);
}

TEST_F(MonitorTest, UnplugIsReportedOnceThenReplugInitialisesAgain)
{
    // In from the start, out from 5 s, back at 10.6 s.
    RunScript([](Duration t) { return t < 5s || t >= 10600ms; }, 17s);

    const auto lost = sink.Events(SinkEvent::Post, WM_PROGRAMMER_CHANGED);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(Ms(lost[0].at), 5500);
    EXPECT_EQ(lost[0].wParam, 1u);
    EXPECT_EQ(lost[0].lParam, 0);

    const auto boxes = sink.Events(SinkEvent::Box);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "USB connection lost!\r\nPlease replug the USB cable and restart software again.");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(boxes[0].wParam, 1u) << "the flag is cleared once the box is answered";

    // Every 500 ms while it is away: ten probes in the five seconds after the loss.
    EXPECT_EQ(probe->Times(5501ms, 10501ms), Every(6000, 500, 10501));

    // Back: one more WM_USB_INIT and splash, then the 1000 ms period.
    const auto inits = sink.Events(SinkEvent::Post, WM_USB_INIT);
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(Ms(inits[1].at), 11500);
    EXPECT_EQ(sink.Events(SinkEvent::Splash).size(), 2u);
    EXPECT_EQ(probe->Times(11000ms, 17s), (std::vector<long long> { 11000, 13500, 14500, 15500, 16500 }));
    EXPECT_TRUE(connectedAtEnd);
}

TEST_F(MonitorTest, DeviceGoneInTheReopenWindowEndsTheLoopAtItsBoundAndIsReportedOnce)
{
    // Found by the first tick, gone before the re-open loop starts.
    RunScript([](Duration t) { return t < 1s; }, 20s);

    // 50 tries 200 ms apart from 2.5 s, then the 1000 ms period: the next tick finds it gone.
    EXPECT_EQ(probe->Times(2500ms, 12301ms), Every(2500, 200, 12301));
    const auto lost = sink.Events(SinkEvent::Post, WM_PROGRAMMER_CHANGED);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(Ms(lost[0].at), 13300);
    EXPECT_EQ(sink.Events(SinkEvent::Box).size(), 1u);
    EXPECT_EQ(sink.Events(SinkEvent::Post, WM_USB_INIT).size(), 1u);
    EXPECT_EQ(probe->Times(13301ms, 20s), Every(13800, 500, 20000));
    EXPECT_FALSE(connectedAtEnd);
}

// Stops with the clock frozen: nothing but the stop can end the wait the monitor is in.
class MonitorStopTest : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        clock->SetAutoAdvance(false);
    }
    // Moves the clock in small steps until `done` holds (`step` zero: waits for it, clock frozen).
    bool AdvanceUntil(const std::function<bool()>& done, Duration step = 1ms)
    {
        const auto giveUp = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > giveUp)
                return false;
            if (step != Duration::zero())
                clock->Advance(step);
            std::this_thread::yield();
        }
        return true;
    }
    std::chrono::milliseconds JoinTime(CEZ_USB_Fail_Over& monitor)
    {
        const auto before = std::chrono::steady_clock::now();
        monitor.Stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
    }
};

TEST_F(MonitorStopTest, StopWhileTheLossBoxWaits)
{
    sink.HoldBoxes();
    std::atomic<int> probes { 0 };
    CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes <= 2; }); // arrival, re-open, then gone
    ASSERT_TRUE(monitor.Start());
    monitor.StartTimer();
    ASSERT_TRUE(AdvanceUntil([&] { return !sink.Events(SinkEvent::Box).empty(); }));
    // No probe while the box waits, however long.
    const int probed = probes.load();
    for (int i = 0; i < 200; ++i)
        clock->Advance(50ms);
    EXPECT_EQ(probes.load(), probed);
    EXPECT_TRUE(CEZ_USB_Fail_Over::IsConnected()) << "cleared once the box is answered";
    EXPECT_LT(JoinTime(monitor), 5s);
    EXPECT_FALSE(monitor.IsRunning());
    EXPECT_EQ(sink.Events(SinkEvent::Box).size(), 1u);
}

TEST_F(MonitorStopTest, StopWhileTheReopenLoopRuns)
{
    std::atomic<int> probes { 0 };
    CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes == 1; });
    ASSERT_TRUE(monitor.Start());
    monitor.StartTimer();
    // The first probe finds it; the third is inside the 200 ms re-open loop.
    ASSERT_TRUE(AdvanceUntil([&] { return probes.load() >= 3; }));
    EXPECT_LT(JoinTime(monitor), 5s);
    EXPECT_EQ(sink.Events(SinkEvent::Box).size(), 0u);
}

TEST_F(MonitorStopTest, StopDuringAPeriodAndBeforeTicking)
{
    std::atomic<int> probes { 0 };
    {
        CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes, false; });
        ASSERT_TRUE(monitor.Start());
        EXPECT_LT(JoinTime(monitor), 5s); // never ticked
    }
    CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes, false; });
    ASSERT_TRUE(monitor.Start());
    monitor.StartTimer();
    ASSERT_TRUE(AdvanceUntil([&] { return probes.load() == 1; }, Duration::zero())); // the first tick is at once
    EXPECT_LT(JoinTime(monitor), 5s);
    EXPECT_EQ(probes.load(), 1);
    EXPECT_TRUE(sink.Events().empty());
}

TEST_F(MonitorStopTest, PausedTimerNeverProbesAndRestartingTicksAtOnce)
{
    std::atomic<int> probes { 0 };
    CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes, false; });
    ASSERT_TRUE(monitor.Start());
    clock->Advance(5s);
    monitor.StartTimer();
    ASSERT_TRUE(AdvanceUntil([&] { return probes.load() == 1; }, Duration::zero()));
    monitor.StopTimer();
    clock->Advance(60s);
    monitor.StartTimer();
    ASSERT_TRUE(AdvanceUntil([&] { return probes.load() == 2; }, Duration::zero()));
    monitor.StopTimer();
    EXPECT_LT(JoinTime(monitor), 5s);
    EXPECT_EQ(probes.load(), 2);
}

} // namespace
