#include "controls/ui/grid/GridDropTarget.h"

#include "controls/ui/grid/GridCtrl.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>

namespace {

// One registration at a time, process-wide.
bool g_registering = false;

Qt::DropAction ActionOf(int effect)
{
    switch (effect) {
    case GRID_DROPEFFECT_COPY:
        return Qt::CopyAction;
    case GRID_DROPEFFECT_MOVE:
        return Qt::MoveAction;
    default:
        return Qt::IgnoreAction;
    }
}

void Answer(QDropEvent* event, int effect)
{
    if (effect == GRID_DROPEFFECT_NONE) {
        event->ignore();
        return;
    }
    event->setDropAction(ActionOf(effect));
    event->accept();
}

} // namespace

DWORD CGridDropTarget::KeyState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ControlModifier) ? GRID_MK_CONTROL : 0;
}

BOOL CGridDropTarget::Register(CGridCtrl* grid)
{
    if (m_bRegistered || g_registering)
        return FALSE;
    g_registering = true;
    if (!grid) {
        g_registering = false;
        return FALSE;
    }
    m_pGridCtrl = grid;
    grid->viewport()->setAcceptDrops(true);
    m_bRegistered = TRUE;
    g_registering = false;
    return m_bRegistered;
}

void CGridDropTarget::Revoke()
{
    if (m_bRegistered && m_pGridCtrl)
        m_pGridCtrl->viewport()->setAcceptDrops(false);
    m_bRegistered = FALSE;
}

bool CGridDropTarget::Concerns(const QWidget* window) const
{
    return m_pGridCtrl && window && window == m_pGridCtrl->viewport();
}

int CGridDropTarget::OnDragEnter(QWidget* window, QDragEnterEvent* event)
{
    if (!Concerns(window)) {
        event->ignore();
        return GRID_DROPEFFECT_NONE;
    }
    const int effect
        = m_pGridCtrl->OnDragEnter(event->mimeData(), KeyState(event->modifiers()), event->position().toPoint());
    Answer(event, effect);
    return effect;
}

int CGridDropTarget::OnDragOver(QWidget* window, QDragMoveEvent* event)
{
    if (!Concerns(window)) {
        event->ignore();
        return GRID_DROPEFFECT_NONE;
    }
    const int effect
        = m_pGridCtrl->OnDragOver(event->mimeData(), KeyState(event->modifiers()), event->position().toPoint());
    Answer(event, effect);
    return effect;
}

void CGridDropTarget::OnDragLeave(QWidget* window)
{
    if (Concerns(window))
        m_pGridCtrl->OnDragLeave();
}

BOOL CGridDropTarget::OnDrop(QWidget* window, QDropEvent* event)
{
    if (!Concerns(window)) {
        event->ignore();
        return FALSE;
    }
    const int effect = event->dropAction() == Qt::CopyAction ? GRID_DROPEFFECT_COPY
        : event->dropAction() == Qt::MoveAction              ? GRID_DROPEFFECT_MOVE
                                                             : GRID_DROPEFFECT_NONE;
    const BOOL dropped = m_pGridCtrl->OnDrop(event->mimeData(), effect, event->position().toPoint());
    if (dropped)
        event->accept();
    else
        event->ignore();
    return dropped;
}

int CGridDropTarget::OnDragScroll(QWidget* window, Qt::KeyboardModifiers modifiers, QPoint /*point*/) const
{
    if (!Concerns(window))
        return GRID_DROPEFFECT_NONE;
    return (modifiers & Qt::ControlModifier) ? GRID_DROPEFFECT_COPY : GRID_DROPEFFECT_MOVE;
}
