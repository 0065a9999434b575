#pragma once
// What the system's windows rely on beyond a QWidget: timers by numeric id and numbered messages
// (WM_USER+n with wParam and lParam), posted (queued) or sent (blocking, also from a worker
// thread). A window class derives from its Qt widget and from MessageTarget, passing itself.
//
//   class CTonrigView : public QWidget, public platform::MessageTarget {
//       CTonrigView() : platform::MessageTarget(this) {}
//       void OnTimer(UINT id) override;
//       LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override;
//   };
//
// Others reach a window through its WindowHandle, which outlives the window: a message to a
// window that is gone is dropped, and a send returns 0.

#include "platform/WinTypes.h"

#include <QPointer>

#include <map>
#include <memory>
#include <mutex>

class QObject;
class QTimer;

namespace platform {

class MessageTarget;

class WindowHandle {
public:
    WindowHandle() = default;
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool IsAlive() const;

    // The window a handle points at; null once the window is gone.
    struct Slot {
        std::mutex mutex;
        MessageTarget* target = nullptr;
    };

private:
    friend class MessageTarget;
    explicit WindowHandle(std::shared_ptr<Slot> slot) : m_slot(std::move(slot)) {}
    std::shared_ptr<Slot> m_slot;
};

class MessageTarget {
public:
    explicit MessageTarget(QObject* self);
    virtual ~MessageTarget();
    MessageTarget(const MessageTarget&) = delete;
    MessageTarget& operator=(const MessageTarget&) = delete;

    // Arms timer `id` to fire every `ms` milliseconds of the platform clock (re-arming an id
    // replaces it). A single-shot timer fires once and is then disarmed.
    void SetTimer(UINT id, UINT ms, bool singleShot = false);
    void KillTimer(UINT id);
    bool IsTimerArmed(UINT id) const;
    virtual void OnTimer(UINT /*id*/) {}

    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return Handle().PostMessage(msg, wParam, lParam); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return Handle().SendMessage(msg, wParam, lParam); }
    virtual LRESULT OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return 0; }

    WindowHandle Handle() const { return WindowHandle(m_slot); }

private:
    QObject* m_self;
    std::shared_ptr<WindowHandle::Slot> m_slot;
    std::map<UINT, QPointer<QTimer>> m_timers;
};

} // namespace platform
