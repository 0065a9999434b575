#include "platform/ui/MessageTarget.h"

#include "platform/Clock.h"
#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// Runs the handler on the GUI thread when the window still lives.
LRESULT Dispatch(const std::shared_ptr<WindowHandle::Slot>& slot, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MessageTarget* target;
    {
        std::lock_guard lock(slot->mutex);
        target = slot->target;
    }
    return target ? target->OnMessage(msg, wParam, lParam) : 0;
}

} // namespace

bool WindowHandle::IsAlive() const
{
    if (!m_slot)
        return false;
    std::lock_guard lock(m_slot->mutex);
    return m_slot->target != nullptr;
}

bool WindowHandle::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    if (!IsAlive())
        return false;
    auto slot = m_slot;
    return post([slot, msg, wParam, lParam] { Dispatch(slot, msg, wParam, lParam); });
}

LRESULT WindowHandle::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    if (!IsAlive())
        return 0;
    LRESULT result = 0;
    auto slot = m_slot;
    if (send([&] { result = Dispatch(slot, msg, wParam, lParam); }) == SendResult::NotDelivered)
        return 0;
    return result;
}

MessageTarget::MessageTarget(QObject* self) : m_self(self), m_slot(std::make_shared<WindowHandle::Slot>())
{
    m_slot->target = this;
}

MessageTarget::~MessageTarget()
{
    {
        std::lock_guard lock(m_slot->mutex);
        m_slot->target = nullptr;
    }
    for (auto& [id, timer] : m_timers)
        delete timer.data();
}

void MessageTarget::SetTimer(UINT id, UINT ms, bool singleShot)
{
    QPointer<QTimer>& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(m_self);
        QObject::connect(timer, &QTimer::timeout, m_self, [this, id] {
            auto it = m_timers.find(id);
            if (it != m_timers.end() && it->second && it->second->isSingleShot())
                it->second->stop();
            OnTimer(id);
        });
    }
    const double scaled = std::max(1.0, std::round(ms * GetClock().TimerScale()));
    timer->setSingleShot(singleShot);
    timer->start(static_cast<int>(std::min(scaled, 2147483647.0)));
}

void MessageTarget::KillTimer(UINT id)
{
    auto it = m_timers.find(id);
    if (it != m_timers.end() && it->second)
        it->second->stop();
}

bool MessageTarget::IsTimerArmed(UINT id) const
{
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second && it->second->isActive();
}

} // namespace platform
