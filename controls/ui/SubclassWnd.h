#pragma once
// A hook that sees the events of a widget it does not own, on QObject::installEventFilter. Qt asks
// the filter installed last first and keeps each widget's filters itself, so hooks chain as the
// design's hook map did without one. A hook's widget is held weakly: a destroyed widget leaves its
// hooks unhooked, and a destroyed hook removes its filter.

#include <QObject>
#include <QPointer>
#include <QWidget>

class CSubclassWnd : public QObject {
    Q_OBJECT
public:
    CSubclassWnd() = default;
    ~CSubclassWnd() override;

    // Hooks `window` (an item view is hooked on its viewport); null unhooks. A hook installed
    // again leaves its old widget first, so it never sees an event twice.
    virtual bool Install(QWidget* window);
    virtual bool IsHooked() const { return !m_hWnd.isNull(); }
    QWidget* HookedWindow() const { return m_hWnd; }

    // The hook's view of an event of its widget: true stops it, false (the default) passes it
    // on to the next hook and the widget.
    virtual bool WindowProc(QObject* window, QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_hWnd;
};
