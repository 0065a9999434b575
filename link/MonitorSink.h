#pragma once
// How the connection monitor reaches the main view: queued view messages, the view's splash
// window, and a box the monitor waits for. The view implements it; tests record through it.

#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

#include <functional>
#include <stop_token>
#include <string>

// Posted by the monitor: the programmer went away (wParam 1, lParam 0).
constexpr UINT WM_PROGRAMMER_CHANGED = WM_USER + 1;
// Posted by the monitor: a programmer arrived; the view identifies and sets it up.
constexpr UINT WM_USB_INIT = WM_USER + 14;

class MonitorSink {
public:
    virtual ~MonitorSink() = default;

    // Queues a message for the view; never blocks.
    virtual void PostViewMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Shows the view's splash window. Called on the monitor thread; the sink runs it on the GUI
    // thread.
    virtual void ShowSplash() = 0;
    // Shows a box and waits for its answer. Returns (0 when unanswered) once `stop` is requested
    // or shut-down has begun, so the monitor can always be joined.
    virtual int ShowBox(const std::string& text, const std::string& caption, UINT type, std::stop_token stop) = 0;
};

// A box from a worker thread through the message-box service, shown on the GUI thread; the
// worker waits for the answer until `stop` is requested or shut-down begins (then 0; a box not
// yet shown is never shown). A sink's ShowBox can forward here.
int ShowBoxFromWorker(const std::string& text, const std::string& caption, UINT type, std::stop_token stop);

// The program's sink, from the view's two calls: `post` queues a view message (a window handle's
// PostMessage), `showSplash` shows the splash on the GUI thread (it may be called from the monitor
// thread). Boxes go through ShowBoxFromWorker. Empty functions do nothing.
class CallbackMonitorSink final : public MonitorSink {
public:
    CallbackMonitorSink(std::function<void(UINT, WPARAM, LPARAM)> post, std::function<void()> showSplash)
        : m_post(std::move(post))
        , m_showSplash(std::move(showSplash))
    {
    }

    void PostViewMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (m_post)
            m_post(message, wParam, lParam);
    }
    void ShowSplash() override
    {
        if (m_showSplash)
            m_showSplash();
    }
    int ShowBox(const std::string& text, const std::string& caption, UINT type, std::stop_token stop) override
    {
        return ShowBoxFromWorker(text, caption, type, stop);
    }

private:
    std::function<void(UINT, WPARAM, LPARAM)> m_post;
    std::function<void()> m_showSplash;
};
