#include "link/MonitorSink.h"

#include "platform/GuiThread.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

struct PendingBox {
    enum State { Pending, Showing, Answered, Abandoned };
    std::mutex mutex;
    std::condition_variable_any cv;
    State state = Pending;
    int answer = 0;
};

} // namespace

int ShowBoxFromWorker(const std::string& text, const std::string& caption, UINT type, std::stop_token stop)
{
    if (platform::IsShuttingDown() || stop.stop_requested())
        return 0;
    if (platform::IsGuiThread())
        return MessageBox(text, caption, type);

    auto box = std::make_shared<PendingBox>();
    platform::post([box, text, caption, type] {
        {
            std::lock_guard lock(box->mutex);
            if (box->state != PendingBox::Pending)
                return;
            box->state = PendingBox::Showing;
        }
        const int answer = MessageBox(text, caption, type);
        {
            std::lock_guard lock(box->mutex);
            box->answer = answer;
            box->state = PendingBox::Answered;
        }
        box->cv.notify_all();
    });

    // Shut-down has no wake-up of its own: it is looked at between short waits.
    std::unique_lock lock(box->mutex);
    while (box->state != PendingBox::Answered) {
        if (stop.stop_requested() || platform::IsShuttingDown()) {
            if (box->state == PendingBox::Pending)
                box->state = PendingBox::Abandoned;
            return 0;
        }
        box->cv.wait_for(lock, stop, std::chrono::milliseconds(50), [&] { return box->state == PendingBox::Answered; });
    }
    return box->answer;
}
