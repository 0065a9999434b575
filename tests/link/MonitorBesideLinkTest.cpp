// The monitor probing beside a link in use, on a scaled clock: the probe never disturbs a stream
// of replies, waits a firmware switch out instead of reporting it as a loss, and still sees a
// cable pulled in the middle of an operation.

#include "LinkFixture.h"
#include "MonitorFixture.h"

#include <condition_variable>

using namespace std::chrono_literals;
using namespace tonrig::test;

namespace {

class MonitorBesideLinkTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        g_bUsbConnected = 0;
    }
    void TearDown() override
    {
        g_bUsbConnected = 0;
        LinkTest::TearDown();
    }

    // The link's presence check, counted.
    CEZ_USB_Fail_Over::Probe CountedProbe()
    {
        return [this] {
            const bool open = g_ProgrammerLink.Open();
            {
                std::lock_guard lock(m_mutex);
                ++m_probes;
            }
            m_cv.notify_all();
            return open;
        };
    }
    int Probes()
    {
        std::lock_guard lock(m_mutex);
        return m_probes;
    }
    // Waits (real time) until the monitor has probed `n` times more.
    bool WaitForProbes(int n)
    {
        std::unique_lock lock(m_mutex);
        const int target = m_probes + n;
        return m_cv.wait_for(lock, 20s, [&] { return m_probes >= target; });
    }
    // Starts the monitor on a programmer running our firmware and waits until it is connected.
    void StartConnected(CEZ_USB_Fail_Over& monitor)
    {
        Plug();
        ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(355).outcome, FirmwareLoadResult::Loaded);
        ASSERT_TRUE(monitor.Start());
        monitor.StartTimer();
        ASSERT_TRUE(sink.WaitFor([](const auto& events) { return !events.empty(); }));
        ASSERT_TRUE(WaitForProbes(3));
        ASSERT_TRUE(CEZ_USB_Fail_Over::IsConnected());
    }
    // One block of the box's test stream and its closing [0]; false when a byte is wrong or lost.
    bool ReadBlock(std::uint32_t size, std::uint8_t k)
    {
        const std::uint8_t packet[]
            = { P_TEST, 0, static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                  static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size), k };
        std::vector<std::uint8_t> block(size);
        const int n = g_ProgrammerLink.Exchange(packet, sizeof packet, block.data(), static_cast<int>(size));
        if (n != static_cast<int>(size))
            return false;
        for (std::uint32_t i = 0; i < size; ++i)
            if (block[i] != static_cast<std::uint8_t>(k + i))
                return false;
        std::uint8_t done[64] = { 0xEE };
        return g_ProgrammerLink.ReadData(done, sizeof done) == 1 && done[0] == 0;
    }

    // Slow enough that the link's re-enumeration waits (10 s of clock) outlast a busy machine.
    platform::ScopedClock scaled { platform::MakeScaledClock(100.0) };
    RecordingSink sink;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_probes = 0;
};

TEST_F(MonitorBesideLinkTest, AStreamOfBlocksLosesNothingWhileTheProbeTicks)
{
    CEZ_USB_Fail_Over monitor(sink, CountedProbe());
    StartConnected(monitor);

    // Blocks until the probe has ticked twenty times beside them.
    const int target = Probes() + 20;
    int blocks = 0;
    while (Probes() < target && blocks < 200000) {
        const auto size = static_cast<std::uint32_t>(512 + (blocks * 997) % 8192);
        ASSERT_TRUE(ReadBlock(size, static_cast<std::uint8_t>(blocks))) << "block " << blocks;
        ++blocks;
    }
    EXPECT_GE(Probes(), target);
    monitor.Stop();
    EXPECT_TRUE(sink.Events(SinkEvent::Post, WM_PROGRAMMER_CHANGED).empty());
    EXPECT_TRUE(sink.Events(SinkEvent::Box).empty());
    EXPECT_EQ(sink.Events(SinkEvent::Post, WM_USB_INIT).size(), 1u);
}

TEST_F(MonitorBesideLinkTest, AFirmwareSwitchWithASlowReenumerationIsNoLoss)
{
    platform::ScopedClock slower { platform::MakeScaledClock(50.0) };
    CEZ_USB_Fail_Over monitor(sink, CountedProbe());
    StartConnected(monitor);

    box->AddFault(sim::Fault::OnA0Address(box->CpucsAddress(), sim::FaultAction::ReenumerationSlow).Delay(1500ms));
    const auto before = platform::GetClock().Now();
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(239).outcome, FirmwareLoadResult::Loaded);
    EXPECT_GE(platform::GetClock().Now() - before, 1500ms);
    EXPECT_EQ(box->RunningImage(), std::optional<int>(239));

    ASSERT_TRUE(WaitForProbes(3));
    monitor.Stop();
    EXPECT_TRUE(sink.Events(SinkEvent::Post, WM_PROGRAMMER_CHANGED).empty());
    EXPECT_TRUE(sink.Events(SinkEvent::Box).empty());
    EXPECT_TRUE(CEZ_USB_Fail_Over::IsConnected());
}

TEST_F(MonitorBesideLinkTest, ACablePulledMidOperationIsReportedOnce)
{
    CEZ_USB_Fail_Over monitor(sink, CountedProbe());
    StartConnected(monitor);

    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(ReadBlock(4096, static_cast<std::uint8_t>(i)));
    box->Port()->Unplug();
    EXPECT_FALSE(ReadBlock(4096, 0));
    ASSERT_TRUE(sink.WaitFor([](const auto& events) {
        return std::any_of(events.begin(), events.end(), [](const SinkEvent& e) { return e.kind == SinkEvent::Box; });
    }));
    ASSERT_TRUE(WaitForProbes(10));
    monitor.Stop();
    const auto lost = sink.Events(SinkEvent::Post, WM_PROGRAMMER_CHANGED);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].wParam, 1u);
    EXPECT_EQ(sink.Events(SinkEvent::Box).size(), 1u);
    EXPECT_FALSE(CEZ_USB_Fail_Over::IsConnected());
}

} // namespace
