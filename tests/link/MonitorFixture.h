#pragma once
// What the connection monitor tests share: a sink that records what the view would see, with the
// clock time of each event, and can hold its boxes until released or stopped.

#include "link/EzUsbFailOver.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

struct SinkEvent {
    enum Kind { Post, Splash, Box };
    Kind kind = Post;
    platform::Duration at { 0 };
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string text;
    std::string caption;
    UINT type = 0;
};

class RecordingSink final : public MonitorSink {
public:
    void PostViewMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        SinkEvent e = Event(SinkEvent::Post);
        e.message = message;
        e.wParam = wParam;
        e.lParam = lParam;
        Record(e);
    }
    void ShowSplash() override { Record(Event(SinkEvent::Splash)); }
    int ShowBox(const std::string& text, const std::string& caption, UINT type, std::stop_token stop) override
    {
        SinkEvent e = Event(SinkEvent::Box);
        e.text = text;
        e.caption = caption;
        e.type = type;
        e.wParam = g_bUsbConnected.load(); // the flag as the box goes up
        Record(e);
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, stop, [&] { return !m_holdBoxes; });
        return stop.stop_requested() ? 0 : IDOK;
    }

    // Boxes wait until ReleaseBoxes() or a stop.
    void HoldBoxes()
    {
        std::lock_guard lock(m_mutex);
        m_holdBoxes = true;
    }
    void ReleaseBoxes()
    {
        {
            std::lock_guard lock(m_mutex);
            m_holdBoxes = false;
        }
        m_cv.notify_all();
    }

    std::vector<SinkEvent> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<SinkEvent> Events(SinkEvent::Kind kind, UINT message = 0) const
    {
        std::vector<SinkEvent> out;
        for (const auto& e : Events())
            if (e.kind == kind && (kind != SinkEvent::Post || e.message == message))
                out.push_back(e);
        return out;
    }
    // Waits (real time) until `done` holds for the events.
    bool WaitFor(const std::function<bool(const std::vector<SinkEvent>&)>& done,
        std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return done(m_events); });
    }

private:
    static SinkEvent Event(SinkEvent::Kind kind)
    {
        SinkEvent e;
        e.kind = kind;
        e.at = platform::GetClock().Now();
        return e;
    }
    void Record(const SinkEvent& e)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(e);
        }
        m_cv.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable_any m_cv;
    std::vector<SinkEvent> m_events;
    bool m_holdBoxes = false;
};

inline long long Ms(platform::Duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace tonrig::test
