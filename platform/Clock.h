#pragma once
// One clock for every sleep, tick count and timed wait in the system, so that tests can replace
// time: the real clock, a manual clock that only moves when told (or when a blocked wait needs
// it to), and a scaled clock on which one virtual second passes in a few real milliseconds.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

namespace platform {

using Duration = std::chrono::nanoseconds;
using namespace std::chrono_literals;

class Clock {
public:
    virtual ~Clock() = default;

    // Time since the clock's epoch.
    virtual Duration Now() = 0;

    // Waits on `cv` (with `lock` held on entry and exit) until `pred` holds, the clock reaches
    // `deadline`, or a stop is requested. Returns pred() as it stands at the end.
    virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                           Duration deadline, const std::function<bool()>& pred,
                           std::stop_token stop = {}) = 0;

    // Runs `fn` once the clock reaches `at`, on a thread of the clock's own (the manual clock
    // runs it inside the call that moves time past `at`).
    virtual void Schedule(Duration at, std::function<void()> fn) = 0;

    // Real milliseconds per clock millisecond, for window timers that must follow the clock.
    virtual double TimerScale() const { return 1.0; }

    // Sleeps for `d` of clock time. False when a stop request cut it short.
    bool SleepFor(Duration d, std::stop_token stop = {});
    // Milliseconds since the epoch, wrapping like the platform's tick count.
    std::uint32_t TickCount() { return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Now()).count()); }
};

class RealClock;
class ScaledClock;

// A clock that moves only when told. A wait that would block moves it forward by itself
// (auto-advance, the default) to the earlier of its deadline and the next scheduled event, so a
// 20-second time-out costs no real time.
class ManualClock final : public Clock {
public:
    Duration Now() override;
    bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv, Duration deadline,
                   const std::function<bool()>& pred, std::stop_token stop = {}) override;
    void Schedule(Duration at, std::function<void()> fn) override;

    // Moves time forward, running every event that falls due on the way, in time order.
    void Advance(Duration d);
    void AdvanceTo(Duration t);
    void SetAutoAdvance(bool on) { m_autoAdvance = on; }

private:
    struct Event {
        Duration at;
        std::uint64_t seq;
        std::function<void()> fn;
    };
    bool NextEventTime(Duration& at);

    std::mutex m_mutex;
    Duration m_now{0};
    std::uint64_t m_seq = 0;
    std::vector<Event> m_events;
    std::recursive_mutex m_advanceMutex;
    bool m_autoAdvance = true;
};

// The clock in force. Tests install theirs before they start threads and restore the real one
// afterwards (ScopedClock).
Clock& GetClock();
std::shared_ptr<Clock> CurrentClock();
void SetClock(std::shared_ptr<Clock> clock);
std::shared_ptr<Clock> MakeRealClock();
// `speedup` clock seconds pass per real second (1000: one clock second per real millisecond).
std::shared_ptr<Clock> MakeScaledClock(double speedup);

class ScopedClock {
public:
    explicit ScopedClock(std::shared_ptr<Clock> clock) : m_previous(CurrentClock()) { SetClock(std::move(clock)); }
    ~ScopedClock() { SetClock(m_previous); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    std::shared_ptr<Clock> m_previous;
};

// High-resolution counter on the current clock: ticks and ticks per second.
std::int64_t QueryCounter();
std::int64_t CounterFrequency();

inline void Sleep(std::uint32_t ms) { GetClock().SleepFor(std::chrono::milliseconds(ms)); }

} // namespace platform
