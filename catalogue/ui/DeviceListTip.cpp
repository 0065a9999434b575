#include "catalogue/ui/DeviceListTip.h"

#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceRecord.h"
#include "controls/ui/PopupText.h"
#include "shell/Language.h"

#include <QFontMetrics>
#include <QMouseEvent>

namespace {
constexpr int kTipDelayMs = 100;
}

CDeviceListTip::CDeviceListTip()
    : m_lookup([](const std::string& name) -> const CDeviceRecord* { return g_DeviceLibrary.FindDevice(name); })
{
}

CDeviceListTip::~CDeviceListTip()
{
    if (m_nPrevItem != -1)
        g_PopupTip().Cancel();
    Install(nullptr);
}

void CDeviceListTip::Init(QAbstractItemView* view)
{
    m_view = view;
    if (!view)
        return;
    view->viewport()->setMouseTracking(true);
    Install(view->viewport());
    m_nListId = view->objectName().toInt();
    CPopupText& tip = g_PopupTip();
    if (!tip.IsCreated())
        tip.Create(QPoint(0, 0), nullptr, 0, 0);
}

CDeviceListTip::ItemInfo CDeviceListTip::OnGetItemInfo(int x, int y) const
{
    ItemInfo info;
    if (!m_view)
        return info;
    const QModelIndex index = m_view->indexAt(QPoint(x, y));
    if (!index.isValid())
        return info;
    info.index = index.row();
    info.text = index.data(Qt::DisplayRole).toString();
    const CDeviceRecord* record = m_lookup ? m_lookup(info.text.toStdString()) : nullptr;
    // A name without a record has no notes.
    if (record && record->m_strAdapter != "-1") {
        info.hasNotes = true;
        info.text += " <" + QString::fromStdString(g_Language.GetText(37)) + ": "
            + QString::fromStdString(record->m_strAdapter) + ">";
    }
    if (record && record->m_strPlatform != "-1") {
        info.hasNotes = true;
        info.text += " <" + QString::fromStdString(g_Language.GetText(167)) + ": "
            + QString::fromStdString(record->m_strPlatform) + " >";
    }
    info.text = info.text.trimmed();
    const WinRect item = WinRect::FromQRect(m_view->visualRect(index));
    info.rect = MeasureText(QFontMetrics(m_view->font()), info.text, item, DT_NOPREFIX);
    return info;
}

bool CDeviceListTip::IsRectCompletelyVisible(const WinRect& rect) const
{
    return m_view && rect.Width() < m_view->viewport()->width();
}

void CDeviceListTip::OnMouseMove(int x, int y)
{
    const ItemInfo info = OnGetItemInfo(x, y);
    if (info.index == -1 || info.index != m_nPrevItem) {
        CPopupText& tip = g_PopupTip();
        tip.Cancel();
        if (info.index != -1 && (info.hasNotes || !IsRectCompletelyVisible(info.rect))) {
            const QPoint topLeft = m_view->viewport()->mapToGlobal(QPoint(info.rect.left, info.rect.top));
            tip.SetText(info.text);
            // The tip keeps its own size: the list's font is not its font.
            tip.move(topLeft.x() + 30, topLeft.y() - 15);
            if (info.rect.Height() < 40)
                tip.ShowAfterDelay(kTipDelayMs);
        }
    }
    m_nPrevItem = info.index;
}

void CDeviceListTip::LeaveItems()
{
    if (m_nPrevItem != -1)
        g_PopupTip().Cancel();
    m_nPrevItem = -1;
}

bool CDeviceListTip::WindowProc(QObject* window, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        OnMouseMove(at.x(), at.y());
    } else if (event->type() == QEvent::Leave) {
        // Leaving the list stands for the capture the system's list would have let go.
        LeaveItems();
    }
    return CSubclassWnd::WindowProc(window, event);
}
