#pragma once
// The grid's drop site: registered on the grid's viewport, it hands the drag events that concern
// that viewport to the grid's own drag operations and refuses every other widget's.

#include "platform/WinTypes.h"

#include <QPoint>
#include <Qt>

class CGridCtrl;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QWidget;

// The drop effects.
constexpr int GRID_DROPEFFECT_NONE = 0;
constexpr int GRID_DROPEFFECT_COPY = 1;
constexpr int GRID_DROPEFFECT_MOVE = 2;
// The Ctrl bit of a key state.
constexpr DWORD GRID_MK_CONTROL = 0x0008;

class CGridDropTarget {
public:
    // FALSE when already registered, while another registration runs, or without a grid.
    BOOL Register(CGridCtrl* grid);
    void Revoke();
    BOOL IsRegistered() const { return m_bRegistered; }

    // Each answers the event (drop action and accept, or ignore) and returns the effect.
    int OnDragEnter(QWidget* window, QDragEnterEvent* event);
    int OnDragOver(QWidget* window, QDragMoveEvent* event);
    void OnDragLeave(QWidget* window);
    BOOL OnDrop(QWidget* window, QDropEvent* event);
    // Qt has no drag-scroll callback; kept for callers that ask.
    int OnDragScroll(QWidget* window, Qt::KeyboardModifiers modifiers, QPoint point) const;

    // The key state of a Qt modifier set.
    static DWORD KeyState(Qt::KeyboardModifiers modifiers);

private:
    bool Concerns(const QWidget* window) const;

    CGridCtrl* m_pGridCtrl = nullptr;
    BOOL m_bRegistered = FALSE;
};
