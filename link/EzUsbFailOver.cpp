#include "link/EzUsbFailOver.h"

#include "link/ProgrammerLink.h"
#include "platform/Trace.h"

#include <system_error>

std::atomic<std::uint8_t> g_bUsbConnected { 0 };

using platform::Duration;

namespace {

CEZ_USB_Fail_Over::Probe DefaultProbe()
{
    return [] { return g_ProgrammerLink.Open(); };
}

} // namespace

CEZ_USB_Fail_Over::CEZ_USB_Fail_Over(MonitorSink& sink, Probe probe)
    : m_sink(sink)
    , m_probe(probe ? std::move(probe) : DefaultProbe())
{
}

CEZ_USB_Fail_Over::~CEZ_USB_Fail_Over()
{
    Stop();
}

bool CEZ_USB_Fail_Over::Start()
{
    if (m_thread.joinable())
        return true;
    try {
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error& e) {
        Trace("The connection monitor cannot start: %s\n", e.what());
        return false;
    }
    return true;
}

void CEZ_USB_Fail_Over::StartTimer()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_ticking)
            return;
        m_ticking = true;
        ++m_timerGeneration;
        m_due = platform::GetClock().Now();
    }
    m_cv.notify_all();
}

void CEZ_USB_Fail_Over::StopTimer()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_ticking)
            return;
        m_ticking = false;
        ++m_timerGeneration;
    }
    m_cv.notify_all();
}

void CEZ_USB_Fail_Over::Stop()
{
    if (!m_thread.joinable())
        return;
    m_thread.request_stop();
    m_cv.notify_all();
    m_thread.join();
}

void CEZ_USB_Fail_Over::Run(std::stop_token stop)
{
    // The clock in force when the thread starts; tests install theirs before.
    const auto clock = platform::CurrentClock();
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        if (!m_ticking) {
            clock->WaitUntil(
                lock, m_cv, Duration::max(), [&] { return m_ticking; }, stop);
            continue;
        }
        const std::uint64_t generation = m_timerGeneration;
        if (clock->WaitUntil(
                lock, m_cv, m_due, [&] { return m_timerGeneration != generation; }, stop))
            continue; // the timer was stopped or restarted meanwhile
        if (stop.stop_requested())
            break;

        lock.unlock();
        const Duration restart = Tick(*clock, stop);
        lock.lock();

        if (restart != Duration::zero())
            m_period = restart;
        if (m_timerGeneration != generation)
            continue; // StopTimer or StartTimer during the tick has the last word
        const Duration now = clock->Now();
        m_due = restart != Duration::zero() ? now + restart : std::max(m_due + m_period, now);
    }
}

Duration CEZ_USB_Fail_Over::Tick(platform::Clock& clock, std::stop_token stop)
{
    if (IsConnected()) {
        if (m_probe())
            return Duration::zero();
        Trace("USB connection lost\n");
        m_sink.PostViewMessage(WM_PROGRAMMER_CHANGED, 1, 0);
        m_sink.ShowBox(kLostText, kLostCaption, MB_OK, stop);
        g_bUsbConnected = 0;
        return kLostPeriod;
    }
    if (!m_probe())
        return Duration::zero();
    return OnArrival(clock, stop);
}

Duration CEZ_USB_Fail_Over::OnArrival(platform::Clock& clock, std::stop_token stop)
{
    Trace("Programmer arrived\n");
    if (!clock.SleepFor(kArrivalDelay, stop))
        return kConnectedPeriod;
    m_sink.ShowSplash();
    m_sink.PostViewMessage(WM_USB_INIT, 0, 0);
    g_bUsbConnected = 1;
    if (!clock.SleepFor(kSettleDelay, stop))
        return kConnectedPeriod;

    // The view's initialisation may switch the firmware: the device leaves the bus and returns.
    const Duration limit = clock.Now() + kReopenLimit;
    for (int tries = 0;; ++tries) {
        if (m_probe())
            return kConnectedPeriod;
        if (tries + 1 >= kReopenTries || clock.Now() >= limit)
            break;
        if (!clock.SleepFor(kReopenInterval, stop))
            return kConnectedPeriod;
    }
    Trace("The programmer did not come back within %lld ms of its arrival\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(kReopenLimit).count()));
    return kConnectedPeriod;
}
