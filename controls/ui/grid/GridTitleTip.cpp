#include "controls/ui/grid/GridTitleTip.h"

#include "controls/ui/FontFromLogFont.h"
#include "platform/Clock.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr COLORREF kMarker = 0xFF000000;
constexpr std::uint32_t kNoPress = 0xFFFFFFFF;

} // namespace

CGridTitleTip::CGridTitleTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)
    , m_dwDblClickMsecs(static_cast<std::uint32_t>(QApplication::doubleClickInterval()))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

BOOL CGridTitleTip::Create(QWidget* parent)
{
    if (m_bCreated)
        return TRUE;
    m_pParentWnd = parent;
    m_bCreated = TRUE;
    return TRUE;
}

BOOL CGridTitleTip::DestroyWindow()
{
    m_bCreated = FALSE;
    hide();
    return TRUE;
}

bool CGridTitleTip::HoverContainsGlobal(QPoint global) const
{
    return isVisible() && m_rectHover.contains(mapFromGlobal(global));
}

void CGridTitleTip::Show(const WinRect& rectTitle, const QString& text, int xOffset, const WinRect* hoverRect,
    const LogFont* font, COLORREF textColour, COLORREF backColour)
{
    if (!m_bCreated)
        Create(m_pParentWnd);
    if (!m_pParentWnd || rectTitle.IsEmpty() || isVisible())
        return;
    if (QApplication::focusWidget() == nullptr)
        return;

    m_rectTitle = QRect(-xOffset - 1, -1, rectTitle.Width() + 2, rectTitle.Height() + 2);
    m_strText = QStringLiteral(" ") + text + QStringLiteral(" ");
    m_Font = font ? FontFromLogFont(*font) : m_pParentWnd->font();
    const int width = QFontMetrics(m_Font).horizontalAdvance(m_strText);

    const QPoint origin = m_pParentWnd->mapToGlobal(QPoint(rectTitle.left, rectTitle.top));
    const int displayLeft = origin.x() + xOffset;
    const int displayRight = displayLeft + width + xOffset;
    // The text fits: no tip.
    if (origin.x() + rectTitle.Width() - xOffset >= displayRight)
        return;

    const QRect display(displayLeft, origin.y(), displayRight - displayLeft, rectTitle.Height());
    // The hover rectangle, one pixel larger right and down, in the tip's coordinates once placed.
    WinRect hover = hoverRect ? *hoverRect : rectTitle;
    ++hover.right;
    ++hover.bottom;
    QRect hoverGlobal = hover.ToQRect();
    hoverGlobal.moveTopLeft(m_pParentWnd->mapToGlobal(hoverGlobal.topLeft()));
    m_rectHover = hoverGlobal.translated(-display.topLeft());

    m_Back = platform::ToQColor(backColour != kMarker ? backColour : GetSysColor(COLOR_INFOBK));
    m_Text = platform::ToQColor(textColour != kMarker ? textColour : GetSysColor(COLOR_INFOTEXT));
    setFont(m_Font);
    setGeometry(display);
    show();
    raise();
    update();
}

void CGridTitleTip::Hide()
{
    if (m_bCreated && isVisible())
        hide();
}

void CGridTitleTip::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_Back);
    painter.setFont(m_Font);
    painter.setPen(m_Text);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_strText);
    painter.setPen(platform::ToQColor(GetSysColor(COLOR_WINDOWFRAME)));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QWidget* CGridTitleTip::TargetAt(QPoint global) const
{
    QWidget* target = QApplication::widgetAt(global);
    if (!target || target == this || isAncestorOf(target))
        target = m_pParentWnd;
    return target;
}

void CGridTitleTip::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton && m_pPressTarget) {
        // A drag that began on the tip goes on in the window the press went to.
        const QPoint global = event->globalPosition().toPoint();
        QMouseEvent moved(QEvent::MouseMove, m_pPressTarget->mapFromGlobal(global), global, event->button(),
            event->buttons(), event->modifiers());
        QCoreApplication::sendEvent(m_pPressTarget, &moved);
        return;
    }
    OnMouseMove(event);
}

void CGridTitleTip::OnMouseMove(QMouseEvent* event)
{
    if (m_rectHover.contains(event->position().toPoint()))
        return;
    Hide();
    const QPoint global = event->globalPosition().toPoint();
    if (QWidget* target = TargetAt(global)) {
        QMouseEvent moved(QEvent::MouseMove, target->mapFromGlobal(global), global, Qt::NoButton, event->buttons(),
            event->modifiers());
        QCoreApplication::sendEvent(target, &moved);
    }
}

void CGridTitleTip::ForwardPress(QMouseEvent* event)
{
    bool doubleClick = false;
    if (event->button() == Qt::LeftButton) {
        const std::uint32_t tick = platform::GetClock().TickCount();
        doubleClick = m_dwLastLButtonDown != kNoPress && tick - m_dwLastLButtonDown <= m_dwDblClickMsecs;
        // A third press starts a new pair.
        m_dwLastLButtonDown = doubleClick ? kNoPress : tick;
    }
    const QPoint global = event->globalPosition().toPoint();
    Hide();
    QWidget* target = TargetAt(global);
    m_pPressTarget = target;
    if (!target)
        return;
    QMouseEvent pressed(doubleClick ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress,
        target->mapFromGlobal(global), global, event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(target, &pressed);
}

void CGridTitleTip::mousePressEvent(QMouseEvent* event)
{
    ForwardPress(event);
    event->accept();
}

void CGridTitleTip::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt's own double click on the tip: the tip's time test decides, as for any press.
    ForwardPress(event);
    event->accept();
}

void CGridTitleTip::mouseReleaseEvent(QMouseEvent* event)
{
    // The press went on to another window; so does its release.
    QPointer<QWidget> target = m_pPressTarget;
    m_pPressTarget = nullptr;
    if (target) {
        const QPoint global = event->globalPosition().toPoint();
        QMouseEvent released(QEvent::MouseButtonRelease, target->mapFromGlobal(global), global, event->button(),
            event->buttons(), event->modifiers());
        QCoreApplication::sendEvent(target, &released);
    }
    event->accept();
}

void CGridTitleTip::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (!m_rectHover.contains(mapFromGlobal(QCursor::pos())))
        Hide();
}
