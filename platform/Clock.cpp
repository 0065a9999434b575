#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace platform {

bool Clock::SleepFor(Duration d, std::stop_token stop)
{
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    const Duration deadline = Now() + d;
    WaitUntil(lock, cv, deadline, [] { return false; }, stop);
    return !stop.stop_requested();
}

namespace {

// The real clock and the scaled one: steady time times a speed-up, with one timer thread for
// scheduled events, started on first use.
class SteadyClock final : public Clock {
public:
    explicit SteadyClock(double speedup) : m_speedup(speedup), m_epoch(std::chrono::steady_clock::now()) {}
    ~SteadyClock() override
    {
        if (m_timer.joinable()) {
            m_timer.request_stop();
            m_cv.notify_all();
            m_timer.join();
        }
    }

    Duration Now() override
    {
        const auto real = std::chrono::steady_clock::now() - m_epoch;
        return Duration(static_cast<Duration::rep>(static_cast<double>(real.count()) * m_speedup));
    }

    bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv, Duration deadline,
                   const std::function<bool()>& pred, std::stop_token stop) override
    {
        return cv.wait_until(lock, stop, ToReal(deadline), pred);
    }

    void Schedule(Duration at, std::function<void()> fn) override
    {
        std::lock_guard lock(m_mutex);
        m_events.emplace(at, std::move(fn));
        if (!m_timer.joinable())
            m_timer = std::jthread([this](std::stop_token st) { Run(st); });
        m_cv.notify_all();
    }

    double TimerScale() const override { return 1.0 / m_speedup; }

private:
    std::chrono::steady_clock::time_point ToReal(Duration t) const
    {
        const double real = static_cast<double>(t.count()) / m_speedup;
        if (real > 1e17)
            return std::chrono::steady_clock::time_point::max();
        return m_epoch + std::chrono::nanoseconds(static_cast<std::int64_t>(real));
    }

    void Run(std::stop_token st)
    {
        std::unique_lock lock(m_mutex);
        while (!st.stop_requested()) {
            if (m_events.empty()) {
                m_cv.wait(lock, st, [&] { return !m_events.empty(); });
                continue;
            }
            auto first = m_events.begin();
            if (Now() < first->first) {
                m_cv.wait_until(lock, st, ToReal(first->first), [] { return false; });
                continue;
            }
            auto fn = std::move(first->second);
            m_events.erase(first);
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    const double m_speedup;
    const std::chrono::steady_clock::time_point m_epoch;
    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    std::multimap<Duration, std::function<void()>> m_events;
    std::jthread m_timer;
};

std::mutex g_clockMutex;
std::shared_ptr<Clock> g_clock;

} // namespace

Duration ManualClock::Now()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void ManualClock::Schedule(Duration at, std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back({at, m_seq++, std::move(fn)});
}

bool ManualClock::NextEventTime(Duration& at)
{
    std::lock_guard lock(m_mutex);
    if (m_events.empty())
        return false;
    at = std::min_element(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) {
             return a.at < b.at || (a.at == b.at && a.seq < b.seq);
         })->at;
    return true;
}

void ManualClock::Advance(Duration d)
{
    AdvanceTo(Now() + d);
}

void ManualClock::AdvanceTo(Duration t)
{
    // Serialises advancing threads; an event may itself wait on the clock, hence recursive.
    std::lock_guard advance(m_advanceMutex);
    for (;;) {
        Event due;
        {
            std::lock_guard lock(m_mutex);
            auto it = std::min_element(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) {
                return a.at < b.at || (a.at == b.at && a.seq < b.seq);
            });
            if (it == m_events.end() || it->at > t) {
                m_now = std::max(m_now, t);
                return;
            }
            due = std::move(*it);
            m_events.erase(it);
            m_now = std::max(m_now, due.at);
        }
        due.fn();
    }
}

bool ManualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv, Duration deadline,
                            const std::function<bool()>& pred, std::stop_token stop)
{
    for (;;) {
        if (pred())
            return true;
        if (stop.stop_requested() || Now() >= deadline)
            return pred();
        Duration next = deadline;
        Duration event;
        if (NextEventTime(event) && event < next)
            next = event;
        // A wait without a deadline and nothing scheduled cannot be ended by moving time: only
        // another thread can end it.
        if (m_autoAdvance && next != Duration::max()) {
            lock.unlock();
            AdvanceTo(next);
            lock.lock();
        } else {
            // Someone else moves time: look again every real millisecond.
            cv.wait_for(lock, stop, std::chrono::milliseconds(1), [] { return false; });
        }
    }
}

Clock& GetClock()
{
    std::lock_guard lock(g_clockMutex);
    if (!g_clock)
        g_clock = MakeRealClock();
    return *g_clock;
}

std::shared_ptr<Clock> CurrentClock()
{
    std::lock_guard lock(g_clockMutex);
    if (!g_clock)
        g_clock = MakeRealClock();
    return g_clock;
}

void SetClock(std::shared_ptr<Clock> clock)
{
    std::lock_guard lock(g_clockMutex);
    g_clock = clock ? std::move(clock) : MakeRealClock();
}

std::shared_ptr<Clock> MakeRealClock()
{
    return std::make_shared<SteadyClock>(1.0);
}

std::shared_ptr<Clock> MakeScaledClock(double speedup)
{
    return std::make_shared<SteadyClock>(speedup > 0 ? speedup : 1.0);
}

std::int64_t QueryCounter()
{
    return GetClock().Now().count();
}

std::int64_t CounterFrequency()
{
    return 1'000'000'000;
}

} // namespace platform
