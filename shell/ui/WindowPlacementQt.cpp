#include "shell/ui/WindowPlacementQt.h"

#include <QWidget>

WindowPlacement GetWindowPlacement(const QWidget& window)
{
    WindowPlacement p;
    const QRect r = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    p.showCmd = window.isMinimized() ? 2 : window.isMaximized() ? 3 : 1;
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    return p;
}

void SetWindowPlacement(QWidget& window, const WindowPlacement& p)
{
    if (p.right > p.left && p.bottom > p.top)
        window.setGeometry(p.left, p.top, p.right - p.left, p.bottom - p.top);
    if (p.showCmd == 3)
        window.setWindowState(Qt::WindowMaximized);
    else if (p.showCmd == 2)
        window.setWindowState(Qt::WindowMinimized);
    else
        window.setWindowState(Qt::WindowNoState);
}
