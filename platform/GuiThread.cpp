#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::atomic<bool> g_shuttingDown{false};
std::mutex g_sendMutex;
std::condition_variable g_sendCv;

// The state a sent call shares between the worker and the GUI thread.
struct SentCall {
    enum State { Pending, Running, Done, Abandoned };
    std::function<void()> fn;
    State state = Pending;
};

} // namespace

bool IsGuiThread()
{
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool post(std::function<void()> fn)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return true;
    }
    return QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

SendResult send(std::function<void()> fn)
{
    if (g_shuttingDown)
        return SendResult::NotDelivered;
    auto* app = QCoreApplication::instance();
    if (!app || IsGuiThread()) {
        fn();
        return SendResult::Delivered;
    }
    auto call = std::make_shared<SentCall>();
    call->fn = std::move(fn);
    QMetaObject::invokeMethod(
        app,
        [call] {
            {
                std::lock_guard lock(g_sendMutex);
                if (call->state != SentCall::Pending)
                    return;
                call->state = SentCall::Running;
            }
            call->fn();
            {
                std::lock_guard lock(g_sendMutex);
                call->state = SentCall::Done;
            }
            g_sendCv.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(g_sendMutex);
    g_sendCv.wait(lock, [&] {
        return call->state == SentCall::Done || (call->state == SentCall::Pending && g_shuttingDown);
    });
    if (call->state == SentCall::Done)
        return SendResult::Delivered;
    call->state = SentCall::Abandoned;
    return SendResult::NotDelivered;
}

void BeginShutdown()
{
    {
        std::lock_guard lock(g_sendMutex);
        g_shuttingDown = true;
    }
    g_sendCv.notify_all();
}

bool IsShuttingDown()
{
    return g_shuttingDown;
}

void ResetShutdownForTest()
{
    std::lock_guard lock(g_sendMutex);
    g_shuttingDown = false;
}

} // namespace platform
