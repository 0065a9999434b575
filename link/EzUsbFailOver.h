#pragma once
// The connection monitor: one thread that probes the programmer link on a period and tells the
// view when the programmer comes or goes. It is the only link watcher; everyone else reads the
// connected flag.
//
// A std::jthread waits one period on the platform clock (interruptible) and probes, so ticks
// never pile up; it stands in for a thread with a message queue fed by a main-window timer. Such a
// thread's start-up hook, message pre-filter and idle test have no counterpart here.
//
// Each tick:
// - connected, and the probe fails: post WM_PROGRAMMER_CHANGED (1, 0), show the loss box and wait
//   for it (no probe runs meanwhile), clear the flag; the period becomes 500 ms.
// - not connected, and the probe succeeds: wait 500 ms, show the splash, post WM_USB_INIT (0, 0),
//   set the flag, wait 2000 ms, then probe every 200 ms until it succeeds (at most 50 tries and
//   10 s, so a programmer gone again is reported by the next tick); the period becomes 1000 ms.
// Periods: 1000 ms while not connected until the first loss, 500 ms after a loss, 1000 ms while
// connected. The first tick comes at once when ticking starts.

#include "link/MonitorSink.h"
#include "platform/Clock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// 1 while the programmer is connected; written only by the monitor's probe.
extern std::atomic<std::uint8_t> g_bUsbConnected;

class CEZ_USB_Fail_Over {
public:
    // True when the programmer answers; the link's presence check, which costs no I/O while the
    // device stays opened and waits out a firmware download.
    using Probe = std::function<bool()>;

    static constexpr platform::Duration kConnectedPeriod = std::chrono::milliseconds(1000);
    static constexpr platform::Duration kLostPeriod = std::chrono::milliseconds(500);
    static constexpr platform::Duration kArrivalDelay = std::chrono::milliseconds(500);
    static constexpr platform::Duration kSettleDelay = std::chrono::milliseconds(2000);
    static constexpr platform::Duration kReopenInterval = std::chrono::milliseconds(200);
    static constexpr int kReopenTries = 50;
    static constexpr platform::Duration kReopenLimit = std::chrono::seconds(10);

    static constexpr const char* kLostText
        = "USB connection lost!\r\nPlease replug the USB cable and restart software again.";
    static constexpr const char* kLostCaption = "Error";

    // `probe` empty: the program's link.
    explicit CEZ_USB_Fail_Over(MonitorSink& sink, Probe probe = {});
    ~CEZ_USB_Fail_Over();
    CEZ_USB_Fail_Over(const CEZ_USB_Fail_Over&) = delete;
    CEZ_USB_Fail_Over& operator=(const CEZ_USB_Fail_Over&) = delete;

    // Starts the thread, not yet ticking. False when it cannot start.
    bool Start();
    // Ticking on (the first tick at once). Thread priorities are left alone.
    void StartTimer();
    // Ticking paused; a tick under way finishes.
    void StopTimer();
    // Wakes every wait (a waiting box included) and joins. Never called from the monitor thread.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    static bool IsConnected() { return g_bUsbConnected.load() != 0; }

private:
    void Run(std::stop_token stop);
    // One tick; the period to restart the timer with, or zero to keep the cadence.
    platform::Duration Tick(platform::Clock& clock, std::stop_token stop);
    platform::Duration OnArrival(platform::Clock& clock, std::stop_token stop);

    MonitorSink& m_sink;
    Probe m_probe;

    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    bool m_ticking = false;
    std::uint64_t m_timerGeneration = 0; // moves on every StartTimer/StopTimer
    platform::Duration m_due { 0 };
    platform::Duration m_period = kConnectedPeriod;

    std::jthread m_thread; // last: joined before the members above go
};
