#include "controls/ui/StaticLink.h"

#include "platform/Process.h"
#include "platform/Trace.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace {

CStaticLink::BeepHook& Beep()
{
    static CStaticLink::BeepHook hook;
    return hook;
}

// Shows the wait cursor for the lifetime of the guard, however the scope is left.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

CStaticLink::CStaticLink(QWidget* parent)
    : CStaticLink(QString(), parent)
{
}

CStaticLink::CStaticLink(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setToolTip(QString::fromStdString(m_link));
}

void CStaticLink::SetBeepHook(BeepHook hook)
{
    Beep() = std::move(hook);
}

void CStaticLink::SetLink(const std::string& target)
{
    m_link = target;
    setToolTip(QString::fromStdString(target));
}

bool CStaticLink::IsTextLink() const
{
    return pixmap().isNull() && picture().isNull() && movie() == nullptr;
}

bool CStaticLink::Open()
{
    const std::string target = m_link.empty() ? text().toStdString() : m_link;
    platform::OpenResult result;
    {
        WaitCursor wait;
        result = platform::OpenWithDesktop(target);
    }
    if (result.ok) {
        m_bVisited = true;
        update();
        return true;
    }
    Trace("link %s not opened: %s\n", target.c_str(), result.reason.c_str());
    if (Beep())
        Beep()();
    else
        QApplication::beep();
    return false;
}

void CStaticLink::paintEvent(QPaintEvent* event)
{
    if (!IsTextLink()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QFont underlined = font();
    underlined.setUnderline(true);
    painter.setFont(underlined);
    painter.setPen(platform::ToQColor(CurrentColor()));
    int flags = int(alignment());
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    style()->drawItemText(&painter, contentsRect().adjusted(margin(), margin(), -margin(), -margin()), flags, palette(),
        isEnabled(), text(), QPalette::NoRole);
}

void CStaticLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bPressed = true;
    QLabel::mousePressEvent(event);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_bPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_bPressed = false;
    if (click)
        Open();
    else
        QLabel::mouseReleaseEvent(event);
}
