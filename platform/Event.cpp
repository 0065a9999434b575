#include "platform/Event.h"

#include <map>

namespace platform {

void ManualResetEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cv.notify_all();
}

void ManualResetEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool ManualResetEvent::IsSet() const
{
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool ManualResetEvent::Wait(Duration timeout, std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    Clock& clock = GetClock();
    return clock.WaitUntil(lock, m_cv, clock.Now() + timeout, [this] { return m_set; }, stop);
}

std::shared_ptr<ManualResetEvent> CreateNamedEvent(const std::string& name, bool initiallySet)
{
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<ManualResetEvent>> events;
    std::lock_guard lock(mutex);
    if (auto existing = events[name].lock())
        return existing;
    auto event = std::make_shared<ManualResetEvent>(initiallySet);
    events[name] = event;
    return event;
}

} // namespace platform
