#include "controls/ui/ImageButton.h"

#include "platform/Resources.h"
#include "platform/ui/QtServices.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

QPixmap LoadBitmap(int id)
{
    if (id == 0)
        return {};
    const std::optional<QByteArray> data = platform::LoadResource("BITMAP", id);
    QPixmap pixmap;
    if (data)
        pixmap.loadFromData(*data);
    return pixmap;
}

} // namespace

CImageButton::CImageButton(QWidget* parent, int kind)
    : QAbstractButton(parent)
    , platform::MessageTarget(this)
    , m_nKind(kind == kCheckBox || kind == kRadio ? kind : kPush)
    , m_crText(GetSysColor(COLOR_BTNTEXT))
{
}

CImageButton::CImageButton(const QString& caption, QWidget* parent, int kind)
    : CImageButton(parent, kind)
{
    setText(caption);
}

COLORREF CImageButton::SetTextColor(COLORREF colour)
{
    const COLORREF previous = m_crText;
    m_crText = colour;
    return previous;
}

void CImageButton::LoadBitmaps(
    int normalId, int downId, int hoverId, int disabledId, int focusId, int maskId, int stretch, int border, int margin)
{
    m_bmpNormal = LoadBitmap(normalId);
    m_bmpDown = LoadBitmap(downId);
    m_bmpHover = LoadBitmap(hoverId);
    m_bmpFocus = LoadBitmap(focusId);
    m_bmpDisabled = LoadBitmap(disabledId != 0 ? disabledId : normalId);
    m_bmpMask = QBitmap();
    m_nStretch = (stretch & 0x8000) ? 0 : stretch > 1 ? 2 : stretch;
    m_bBorder = border;
    m_nMargin = (margin & 0x8000) ? 0 : margin;
    clearMask();
    if (maskId != 0) {
        const QPixmap mask = LoadBitmap(maskId);
        if (!mask.isNull()) {
            // White is outside.
            m_bmpMask = mask.createMaskFromColor(Qt::white, Qt::MaskInColor);
            setMask(m_bmpMask);
            if (m_nStretch == 0)
                resize(mask.size());
        }
    }
    update();
}

void CImageButton::SetCheck(int check)
{
    const bool was = m_bChecked;
    m_bChecked = m_nKind != kPush && check != 0;
    if (m_nKind == kRadio && m_bChecked && !was && parentWidget()) {
        for (CImageButton* other : parentWidget()->findChildren<CImageButton*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->m_nKind == kRadio)
                other->SendMessage(WM_REDRAW_REQUEST, 0, 0);
    }
    update();
}

void CImageButton::OnRedrawRequest()
{
    if (m_bChecked) {
        m_bChecked = false;
        update();
    }
}

LRESULT CImageButton::OnMessage(UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_REDRAW_REQUEST)
        OnRedrawRequest();
    return 0;
}

WinRect CImageButton::CaptionRect(const WinRect& item, int margin, bool disabled, bool pressed, bool checked)
{
    WinRect r { item.left + margin + 2, item.top, item.right - (margin + 2), item.bottom };
    if (disabled ? checked : (pressed || checked))
        r.Offset(1, 1);
    return r;
}

void CImageButton::DrawBitmap(QPainter& dc, const QPixmap& bitmap) const
{
    const QRect all = rect();
    if (m_nStretch == 2) {
        dc.drawTiledPixmap(all, bitmap); // the mask does not apply to tiles
        return;
    }
    QPixmap shown = bitmap;
    if (!m_bmpMask.isNull() && m_bmpMask.size() == bitmap.size())
        shown.setMask(m_bmpMask);
    if (m_nStretch == 1)
        dc.drawPixmap(all, shown);
    else
        dc.drawPixmap(0, 0, shown, 0, 0, all.width(), all.height());
}

void CImageButton::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    dc.setFont(font());
    const WinRect item = WinRect::FromQRect(rect());
    const bool disabled = !isEnabled();
    const bool pressed = isDown();
    const QString caption = text();
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (disabled) {
        if (!m_bmpDisabled.isNull())
            DrawBitmap(dc, m_bmpDisabled);
        else
            FillSolidRect(dc, item, GetSysColor(COLOR_BTNFACE));
        if (m_bBorder)
            DrawEdge(dc, item, EDGE_RAISED, BF_RECT);
        WinRect r = CaptionRect(item, m_nMargin, true, pressed, m_bChecked);
        dc.setPen(platform::ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        DrawText(dc, caption, r, format);
        r.Offset(-1, -1);
        dc.setPen(platform::ToQColor(GetSysColor(COLOR_GRAYTEXT)));
        DrawText(dc, caption, r, format);
        return;
    }
    if (pressed || m_bChecked) {
        if (!m_bmpDown.isNull())
            DrawBitmap(dc, m_bmpDown);
        else
            FillSolidRect(dc, item, GetSysColor(COLOR_BTNFACE));
        if (m_bBorder)
            DrawEdge(dc, item, EDGE_SUNKEN, BF_RECT);
    } else {
        if (m_bmpNormal.isNull())
            FillSolidRect(dc, item, GetSysColor(COLOR_BTNFACE));
        else if (m_bHover && !m_bmpHover.isNull())
            DrawBitmap(dc, m_bmpHover);
        else if (hasFocus() && !m_bmpFocus.isNull())
            DrawBitmap(dc, m_bmpFocus);
        else
            DrawBitmap(dc, m_bmpNormal);
        if (m_bBorder)
            DrawEdge(dc, item, EDGE_RAISED, BF_RECT);
    }
    if (hasFocus() && m_nMargin > 0) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        WinRect r = item;
        r.Deflate(m_nMargin, m_nMargin);
        focus.rect = r.ToQRect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &dc, this);
    }
    dc.setPen(platform::ToQColor(m_crText));
    DrawText(dc, caption, CaptionRect(item, m_nMargin, false, pressed, m_bChecked), format);
}

void CImageButton::CheckStep()
{
    if (m_nKind == kCheckBox)
        SetCheck(m_bChecked ? 0 : 1);
    else if (m_nKind == kRadio)
        SetCheck(1);
}

void CImageButton::mousePressEvent(QMouseEvent* event)
{
    if (!m_bMouseEnabled || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_bHover = false;
    QAbstractButton::mousePressEvent(event);
    m_bPressing = true;
}

void CImageButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void CImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_bMouseEnabled || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (m_bPressing && rect().contains(event->position().toPoint()))
        CheckStep();
    m_bPressing = false;
    QAbstractButton::mouseReleaseEvent(event);
}

void CImageButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bPressing && !m_bHover && rect().contains(event->position().toPoint())) {
        m_bHover = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CImageButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        CheckStep();
    QAbstractButton::keyPressEvent(event);
}

void CImageButton::focusOutEvent(QFocusEvent* event)
{
    m_bPressing = false;
    QAbstractButton::focusOutEvent(event);
}

void CImageButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    if (!m_bPressing && !m_bHover) {
        m_bHover = true;
        update();
    }
}

void CImageButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    m_bHover = false;
    update();
}
