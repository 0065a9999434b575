#include "controls/ui/menu/VarnMenuStyle.h"

#include "controls/ui/menu/VarnMenu.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionMenuItem>

VarnMenuStyle::VarnMenuStyle()
    : QProxyStyle(static_cast<QStyle*>(nullptr))
{
}

VarnMenuStyle* VarnMenuStyle::Instance()
{
    static QPointer<VarnMenuStyle> instance;
    if (!instance) {
        instance = new VarnMenuStyle; // owned by the application object
        instance->setParent(QCoreApplication::instance());
    }
    return instance;
}

namespace {

// The room a menu leaves an owner-drawn item beside the width it measured: a check mark's width
// less one, so the widest label does not run into the popup's edge.
constexpr int kCheckMarkRoom = 12;

// The menu and the record of the item it is measuring or drawing; null when not ours.
VarnMenuItemRecord* RecordOf(const QWidget* widget, VarnMenu*& menu)
{
    menu = qobject_cast<VarnMenu*>(const_cast<QWidget*>(widget));
    if (!menu || !menu->StyledAction())
        return nullptr;
    return menu->RecordFor(menu->StyledAction());
}

} // namespace

QSize VarnMenuStyle::sizeFromContents(
    ContentsType type, const QStyleOption* option, const QSize& size, const QWidget* widget) const
{
    if (type == CT_MenuItem) {
        VarnMenu* menu = nullptr;
        if (VarnMenuItemRecord* record = RecordOf(widget, menu)) {
            VarnMenuMeasureRecord measure;
            measure.itemData = record;
            menu->MeasureItem(measure);
            // QMenu drops an item whose size is empty; it widens every item to the popup anyway.
            const int width = static_cast<int>(measure.itemWidth);
            return QSize(width > 0 ? width + kCheckMarkRoom : 1, static_cast<int>(measure.itemHeight));
        }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

void VarnMenuStyle::drawControl(
    ControlElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    if (element == CE_MenuItem) {
        VarnMenu* menu = nullptr;
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (VarnMenuItemRecord* record = item ? RecordOf(widget, menu) : nullptr) {
            VarnMenuDrawRecord draw;
            draw.itemData = record;
            if (item->state & State_Selected)
                draw.itemState |= ODS_SELECTED;
            if (!(item->state & State_Enabled))
                draw.itemState |= ODS_GRAYED;
            if (item->checked)
                draw.itemState |= ODS_CHECKED;
            draw.radio = item->checkType == QStyleOptionMenuItem::Exclusive;
            draw.painter = painter;
            draw.rcItem = WinRect::FromQRect(item->rect);
            painter->save();
            menu->DrawItem(draw);
            painter->restore();
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

int VarnMenuStyle::styleHint(
    StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const
{
    // The classic look shows a grayed item under the mouse selected.
    if (hint == SH_Menu_AllowActiveAndDisabled)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

int VarnMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_MenuHMargin || metric == PM_MenuVMargin)
        return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
