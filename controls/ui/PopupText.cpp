#include "controls/ui/PopupText.h"

#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>

namespace {
constexpr UINT kShowTimer = 1;
}

CPopupText::CPopupText()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)
    , platform::MessageTarget(this)
    , m_font(QApplication::font("QStatusBar"))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("CPopupText");
}

CPopupText::~CPopupText() = default;

bool CPopupText::Create(QPoint point, QWidget* parent, int align, int id)
{
    m_nAlign = align;
    if (parent)
        setParent(parent, windowFlags());
    setObjectName(QString::number(id));
    setGeometry(point.x(), point.y(), 0, 0);
    hide();
    m_created = true;
    return true;
}

void CPopupText::SetText(const QString& text)
{
    const QRect old = geometry();
    const bool right = m_nAlign & 1;
    const int anchor = right ? old.x() + old.width() : old.x();
    // One line, as it is painted.
    const WinRect measured
        = MeasureText(QFontMetrics(m_font), text, WinRect { 0, 0, 0, 0 }, DT_SINGLELINE | DT_NOPREFIX);
    const int width = measured.Width() + 2 * m_szMargins.width();
    const int height = measured.Height() + 2 * m_szMargins.height();
    const int left = right ? anchor - width : anchor;
    setGeometry(left, old.y(), width, height);
    m_text = text;
    update();
}

void CPopupText::ShowAfterDelay(int milliseconds)
{
    if (milliseconds <= 0) {
        OnTimer(kShowTimer);
        return;
    }
    SetTimer(kShowTimer, static_cast<UINT>(milliseconds), true);
}

void CPopupText::Cancel()
{
    KillTimer(kShowTimer);
    hide();
}

void CPopupText::OnTimer(UINT id)
{
    if (id != kShowTimer)
        return;
    KillTimer(kShowTimer);
    show();
    update();
}

void CPopupText::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    const WinRect all = WinRect::FromQRect(rect());
    FillSolidRect(dc, all, GetSysColor(COLOR_INFOBK));
    FrameRect(dc, all, GetSysColor(COLOR_INFOTEXT));
    dc.setFont(m_font);
    dc.setPen(platform::ToQColor(GetSysColor(COLOR_INFOTEXT)));
    DrawText(dc, m_text, all, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

CPopupText& g_PopupTip()
{
    static QPointer<CPopupText> tip;
    if (!tip) {
        tip = new CPopupText; // deleted when the application quits
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete tip.data(); });
    }
    return *tip;
}
