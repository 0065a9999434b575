#pragma once
// Manual-reset events, optionally named: opening a name twice gives the same event while it lives.

#include "platform/Clock.h"

#include <memory>
#include <string>

namespace platform {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits on the platform clock; true when the event was set, false on time-out or stop.
    bool Wait(Duration timeout, std::stop_token stop = {});

private:
    mutable std::mutex m_mutex;
    std::condition_variable_any m_cv;
    bool m_set;
};

std::shared_ptr<ManualResetEvent> CreateNamedEvent(const std::string& name, bool initiallySet = false);

} // namespace platform
