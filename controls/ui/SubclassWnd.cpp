#include "controls/ui/SubclassWnd.h"

#include <QEvent>

CSubclassWnd::~CSubclassWnd()
{
    Install(nullptr);
}

bool CSubclassWnd::Install(QWidget* window)
{
    if (m_hWnd == window && window)
        return true;
    if (m_hWnd)
        m_hWnd->removeEventFilter(this);
    m_hWnd = window;
    if (window)
        window->installEventFilter(this);
    return true;
}

bool CSubclassWnd::WindowProc(QObject*, QEvent*)
{
    return false;
}

bool CSubclassWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_hWnd)
        return QObject::eventFilter(watched, event);
    return WindowProc(watched, event);
}
