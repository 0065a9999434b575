// A box from a worker: shown on the GUI thread, answered back, and never left waiting once a stop
// or shut-down comes.

#include "link/MonitorSink.h"
#include "link/EzUsbFailOver.h"
#include "platform/GuiThread.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

using namespace tonrig::test;

namespace {

TEST(ShowBoxFromWorker, ShowsOnTheGuiThreadAndReturnsTheAnswer)
{
    RecordingMessageBox boxes;
    boxes.QueueAnswer(IDCANCEL);
    std::atomic<int> answer { -1 };
    std::jthread worker([&](std::stop_token stop) { answer = ShowBoxFromWorker("Lost", "Error", MB_OKCANCEL, stop); });
    ASSERT_TRUE(ProcessEventsUntil([&] { return answer.load() != -1; }));
    EXPECT_EQ(answer.load(), IDCANCEL);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Lost");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
}

TEST(ShowBoxFromWorker, AStopOrShutDownEndsTheWaitAndABoxNotYetShownNeverShows)
{
    RecordingMessageBox boxes;
    std::atomic<int> answer { -1 };
    std::jthread worker([&](std::stop_token stop) { answer = ShowBoxFromWorker("Lost", "Error", MB_OK, stop); });
    // The GUI thread is busy (this test does not run its queue): only the stop can end the wait.
    worker.request_stop();
    worker.join();
    EXPECT_EQ(answer.load(), 0);
    // Calls queued for the GUI thread run in order: once this one has run, the box had its turn.
    std::atomic<bool> flushed { false };
    platform::post([&] { flushed = true; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return flushed.load(); }));
    EXPECT_EQ(boxes.Count(), 0u);

    platform::BeginShutdown();
    std::jthread late([&](std::stop_token stop) { answer = ShowBoxFromWorker("Lost", "Error", MB_OK, stop); });
    late.join();
    platform::ResetShutdownForTest();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(CallbackMonitorSink, CarriesArrivalAndLossToTheViewAndTheLossBoxToTheGuiThread)
{
    platform::ScopedClock clock(std::make_shared<platform::ManualClock>());
    RecordingMessageBox boxes;
    std::mutex mutex;
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> posted;
    std::atomic<int> splashes { 0 };
    CallbackMonitorSink sink(
        [&](UINT message, WPARAM wParam, LPARAM lParam) {
            std::lock_guard lock(mutex);
            posted.emplace_back(message, wParam, lParam);
        },
        [&] { ++splashes; });
    std::atomic<int> probes { 0 };
    g_bUsbConnected = 0;
    CEZ_USB_Fail_Over monitor(sink, [&] { return ++probes <= 2; }); // arrival, re-open, then gone
    ASSERT_TRUE(monitor.Start());
    monitor.StartTimer();
    ASSERT_TRUE(ProcessEventsUntil([&] { return boxes.Count() == 1 && probes.load() > 6; }));
    monitor.Stop();
    g_bUsbConnected = 0;

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, CEZ_USB_Fail_Over::kLostText);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_EQ(splashes.load(), 1);
    std::lock_guard lock(mutex);
    EXPECT_EQ(posted,
        (std::vector<std::tuple<UINT, WPARAM, LPARAM>> { { WM_USB_INIT, 0, 0 }, { WM_PROGRAMMER_CHANGED, 1, 0 } }));
}

} // namespace
