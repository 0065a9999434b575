#include "controls/ui/IconButton.h"

#include "controls/ui/menu/VarnMenu.h"

#include "platform/Process.h"
#include "platform/Resources.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace {

CIconButton::MenuRunner& Runner()
{
    static CIconButton::MenuRunner runner;
    return runner;
}

std::optional<QPixmap> LoadImageResource(const char* type, int id)
{
    const std::optional<QByteArray> data = platform::LoadResource(type, id);
    if (!data)
        return std::nullopt;
    QPixmap pixmap;
    if (!pixmap.loadFromData(*data) || pixmap.isNull())
        return std::nullopt;
    return pixmap;
}

// Each pixel through `change`, except those that stand for transparency.
template <typename Change> QImage Recolour(const QImage& image, std::optional<COLORREF> transparent, Change change)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent ? qRgb(GetRValue(*transparent), GetGValue(*transparent), GetBValue(*transparent)) : 0;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            if (transparent ? (p | 0xFF000000u) == key : qAlpha(p) == 0)
                continue;
            const COLORREF c = change(RGB(static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                static_cast<std::uint8_t>(qBlue(p))));
            line[x] = qRgba(GetRValue(c), GetGValue(c), GetBValue(c), qAlpha(p));
        }
    }
    return out;
}

QPixmap WithMask(const QPixmap& pixmap, COLORREF transparent)
{
    QPixmap out = pixmap;
    out.setMask(out.createMaskFromColor(platform::ToQColor(transparent), Qt::MaskInColor));
    return out;
}

} // namespace

CIconButton::CIconButton(QWidget* parent)
    : QPushButton(parent)
{
    Init();
}

CIconButton::CIconButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    Init();
}

CIconButton::~CIconButton() = default;

void CIconButton::Init()
{
    setMouseTracking(true);
    SetDefaultColors(false);
    SetPressedStyle(0, false);
    connect(this, &QAbstractButton::clicked, this, &CIconButton::OnClicked);
}

// ---- images ---------------------------------------------------------------------------------

void CIconButton::FreeImages()
{
    m_csIcons = {};
    m_csBitmaps = {};
}

bool CIconButton::HasImages() const
{
    return !m_csIcons[0].pixmap.isNull() || !m_csIcons[1].pixmap.isNull() || !m_csBitmaps[0].pixmap.isNull()
        || !m_csBitmaps[1].pixmap.isNull();
}

int CIconButton::SetIcon(int hotId, int normalId)
{
    const std::optional<QPixmap> hot = LoadImageResource("ICON", hotId);
    if (!hot) {
        FreeImages();
        update();
        return kLoadFailed;
    }
    if (normalId == kGrayCopy || normalId == kDarkCopy) {
        const QImage copy = normalId == kGrayCopy ? MakeGrayImage(hot->toImage()) : MakeDarkImage(hot->toImage());
        return SetIcon(*hot, QPixmap::fromImage(copy));
    }
    if (normalId == kNoImage)
        return SetIcon(*hot, QPixmap());
    const std::optional<QPixmap> normal = LoadImageResource("ICON", normalId);
    if (!normal) {
        FreeImages();
        update();
        return kLoadFailed;
    }
    return SetIcon(*hot, *normal);
}

int CIconButton::SetIcon(const QPixmap& hot, const QPixmap& normal)
{
    FreeImages();
    if (hot.isNull()) {
        update();
        return kLoadFailed;
    }
    m_csIcons[0].pixmap = hot;
    m_csIcons[1].pixmap = normal;
    update();
    return kDone;
}

int CIconButton::SetBitmaps(int hotId, COLORREF hotTransparent, int normalId, COLORREF normalTransparent)
{
    const std::optional<QPixmap> hot = LoadImageResource("BITMAP", hotId);
    if (!hot) {
        FreeImages();
        update();
        return kLoadFailed;
    }
    if (normalId == kGrayCopy || normalId == kDarkCopy) {
        const QImage image = hot->toImage();
        const QImage copy
            = normalId == kGrayCopy ? MakeGrayImage(image, hotTransparent) : MakeDarkImage(image, hotTransparent);
        return SetBitmaps(*hot, hotTransparent, QPixmap::fromImage(copy), hotTransparent);
    }
    if (normalId == kNoImage)
        return SetBitmaps(*hot, hotTransparent, QPixmap(), 0);
    const std::optional<QPixmap> normal = LoadImageResource("BITMAP", normalId);
    if (!normal) {
        FreeImages();
        update();
        return kLoadFailed;
    }
    return SetBitmaps(*hot, hotTransparent, *normal, normalTransparent);
}

int CIconButton::SetBitmaps(
    const QPixmap& hot, COLORREF hotTransparent, const QPixmap& normal, COLORREF normalTransparent)
{
    FreeImages();
    if (hot.isNull()) {
        update();
        return kLoadFailed;
    }
    m_csBitmaps[0] = { WithMask(hot, hotTransparent), hotTransparent };
    if (!normal.isNull())
        m_csBitmaps[1] = { WithMask(normal, normalTransparent), normalTransparent };
    update();
    return kDone;
}

QImage CIconButton::MakeGrayImage(const QImage& image, std::optional<COLORREF> transparent)
{
    return Recolour(image, transparent, [](COLORREF c) {
        const double luminance = GetRValue(c) * 0.299 + GetGValue(c) * 0.587 + GetBValue(c) * 0.114;
        const auto grey = static_cast<std::uint8_t>(luminance);
        return RGB(grey, grey, grey);
    });
}

QImage CIconButton::MakeDarkImage(const QImage& image, std::optional<COLORREF> transparent)
{
    return Recolour(image, transparent, [](COLORREF c) { return DarkenColor(c, 0.25); });
}

CIconButton::ImageRects CIconButton::PrepareImageRect(const WinRect& item, QSize image, bool hasCaption, int align,
    bool pressed, bool checkBox, QPoint imageOrigin, QPoint pressedOffset)
{
    ImageRects out { item, item };
    WinRect& img = out.image;
    WinRect& caption = out.caption;
    const int w = image.width(), h = image.height();
    const int width = item.Width(), height = item.Height();
    switch (align) {
    case 0:
        if (hasCaption) {
            img.left += imageOrigin.x();
            caption.left += w + imageOrigin.x();
        } else {
            img.left += (width - w) / 2;
        }
        img.top += (height - h) / 2;
        break;
    case 1:
        img.left += (width - w) / 2;
        if (hasCaption) {
            img.top = imageOrigin.y();
            caption.top += h;
        } else {
            img.top += (height - h) / 2;
        }
        break;
    case 2:
        if (!hasCaption) {
            img.left += (width - w) / 2;
        } else {
            caption.right = width - w - imageOrigin.x();
            caption.left = imageOrigin.x();
            img.left = item.right - w - imageOrigin.x();
        }
        img.top += (height - h) / 2;
        break;
    default:
        break;
    }
    if (pressed && !checkBox)
        img.Offset(pressedOffset.x(), pressedOffset.y());
    img.right = img.left + w;
    img.bottom = img.top + h;
    return out;
}

COLORREF CIconButton::ShadedColor(COLORREF colour, int shade)
{
    const int channels[3] = { GetRValue(colour), GetGValue(colour), GetBValue(colour) };
    int move = shade;
    for (int c : channels)
        move = shade >= 0 ? std::min(move, 255 - c) : std::max(move, -c);
    auto at = [&](int c) { return static_cast<std::uint8_t>(c + move); };
    return RGB(at(channels[0]), at(channels[1]), at(channels[2]));
}

// ---- colours and looks ----------------------------------------------------------------------

int CIconButton::SetDefaultColors(bool repaint)
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE), text = GetSysColor(COLOR_BTNTEXT);
    m_crColors = { face, text, face, text, face, text };
    if (repaint)
        update();
    return kDone;
}

int CIconButton::SetColor(int index, COLORREF colour, bool repaint)
{
    if (index < 0 || index > 5)
        return kBadColorIndex;
    m_crColors[static_cast<size_t>(index)] = colour;
    if (repaint)
        update();
    return kDone;
}

int CIconButton::GetColor(int index, COLORREF& colour) const
{
    if (index < 0 || index > 5)
        return kBadColorIndex;
    colour = m_crColors[static_cast<size_t>(index)];
    return kDone;
}

int CIconButton::ShadeColor(int index, int shade, bool repaint)
{
    if (index < 0 || index > 5)
        return kBadColorIndex;
    if (shade < -255 || shade > 255)
        return kBadValue;
    m_crColors[static_cast<size_t>(index)] = ShadedColor(m_crColors[static_cast<size_t>(index)], shade);
    if (repaint)
        update();
    return kDone;
}

void CIconButton::SetFlat(bool flat, bool repaint)
{
    m_bIsFlat = flat;
    if (repaint)
        update();
}

void CIconButton::SetHoverBorder(bool on, bool repaint)
{
    m_bDrawBorder = on;
    if (repaint)
        update();
}

void CIconButton::SetFlatFocus(bool on, bool repaint)
{
    m_bDrawFlatFocus = on;
    if (repaint)
        update();
}

int CIconButton::SetImageAlign(int align, bool repaint)
{
    if (align < 0 || align > 3)
        return kBadAlign;
    m_byAlign = align;
    if (repaint)
        update();
    return kDone;
}

int CIconButton::SetPressedStyle(int style, bool repaint)
{
    if (style == 0)
        m_ptPressedOffset = { 1, 1 };
    else if (style == 1)
        m_ptPressedOffset = { 0, 2 };
    else
        return kBadPressedStyle;
    if (repaint)
        update();
    return kDone;
}

void CIconButton::SetCheck(int check, bool repaint)
{
    if (!m_bIsCheckBox)
        return;
    m_nCheck = (check == 1 || check == 2) ? 1 : 0;
    if (repaint)
        update();
}

// ---- the rest -------------------------------------------------------------------------------

int CIconButton::SetCursorId(int cursorId, bool repaint)
{
    unsetCursor();
    const std::optional<QPixmap> cursor = LoadImageResource("CURSOR", cursorId);
    if (!cursor)
        return kLoadFailed;
    setCursor(QCursor(*cursor));
    if (repaint)
        update();
    return kDone;
}

void CIconButton::SetToolTipText(const QString& text, bool activate)
{
    m_toolTip = text;
    m_hasToolTip = true;
    ActivateToolTip(activate);
}

void CIconButton::SetToolTipText(int textId, bool activate)
{
    const std::optional<QByteArray> text = platform::LoadResource("STRING", textId);
    if (!text || text->isEmpty())
        return;
    SetToolTipText(QString::fromUtf8(*text), activate);
}

void CIconButton::ActivateToolTip(bool on)
{
    if (!m_hasToolTip)
        return;
    m_toolTipActive = on;
    setToolTip(on ? m_toolTip : QString());
}

void CIconButton::SetTransparent(bool repaint)
{
    m_bDrawTransparent = true;
    if (repaint)
        update();
}

int CIconButton::CaptureParentBackground()
{
    return m_bDrawTransparent ? kDone : kBadValue;
}

void CIconButton::SetUrl(const QString& address)
{
    m_szURL = address.left(260);
}

int CIconButton::SetPopupMenu(int menuId, platform::WindowHandle owner, bool repaint)
{
    m_hMenu.reset();
    auto menu = std::make_unique<VarnMenu>();
    if (!menu->LoadMenuTemplate(menuId) || menu->OwnPopups().empty())
        return kLoadFailed;
    m_hMenu = std::move(menu);
    m_hParentWndMenu = std::move(owner);
    if (repaint)
        update();
    return kDone;
}

void CIconButton::SetMenuCallback(platform::WindowHandle window, UINT message, LPARAM lParam)
{
    m_callbackWindow = std::move(window);
    m_callbackMessage = message;
    m_callbackLParam = lParam;
}

void CIconButton::FitToImage()
{
    m_ptImageOrg = { 0, 0 };
    const QPixmap& hot = !m_csIcons[0].pixmap.isNull() ? m_csIcons[0].pixmap : m_csBitmaps[0].pixmap;
    if (!hot.isNull())
        resize(hot.size());
}

void CIconButton::SetMenuRunner(MenuRunner runner)
{
    Runner() = std::move(runner);
}

void CIconButton::OnClicked()
{
    setFocus(Qt::MouseFocusReason);
    if (m_bIsCheckBox) {
        m_nCheck = m_nCheck ? 0 : 1;
        update();
        return;
    }
    if (m_hMenu) {
        VarnMenu* popup = m_hMenu->OwnPopups().front().get();
        m_bMenuDisplayed = true;
        update();
        if (m_callbackWindow.IsAlive())
            m_callbackWindow.SendMessage(m_callbackMessage, reinterpret_cast<WPARAM>(popup), m_callbackLParam);
        const QPoint at = mapToGlobal(rect().bottomLeft());
        QAction* chosen = Runner() ? Runner()(*popup, at) : popup->exec(at);
        m_bMenuDisplayed = false;
        update();
        if (chosen && !chosen->menu() && !chosen->isSeparator())
            m_hParentWndMenu.PostMessage(WM_COMMAND, chosen->data().toUInt() & 0xFFFF, 0);
        return;
    }
    if (!m_szURL.isEmpty())
        platform::OpenWithDesktop(m_szURL.toStdString());
}

// ---- hover ----------------------------------------------------------------------------------

void CIconButton::Hover(QPointF position, Qt::MouseButtons buttons)
{
    if (!m_bIsFlat)
        return;
    if ((buttons & Qt::LeftButton) && !m_bMouseOnButton)
        return;
    const bool inside = rect().contains(position.toPoint());
    if (inside && (m_bAlwaysTrack || QApplication::activeWindow() != nullptr)) {
        if (!m_bMouseOnButton) {
            m_bMouseOnButton = true;
            update();
        }
    } else {
        CancelHover();
    }
}

void CIconButton::CancelHover()
{
    if (m_bIsFlat && m_bMouseOnButton) {
        m_bMouseOnButton = false;
        update();
    }
}

void CIconButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    // An enter event carries no buttons: the application knows which are held.
    Hover(event->position(), event->buttons() | QGuiApplication::mouseButtons());
}

void CIconButton::mouseMoveEvent(QMouseEvent* event)
{
    QPushButton::mouseMoveEvent(event);
    Hover(event->position(), event->buttons());
}

void CIconButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    CancelHover();
}

void CIconButton::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    CancelHover();
}

void CIconButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            CancelHover();
        break;
    default:
        break;
    }
}

bool CIconButton::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::WindowBlocked)
        CancelHover();
    const bool handled = QPushButton::event(event);
    // The system colours changed: colours back to their defaults.
    if (event->type() == QEvent::ApplicationPaletteChange)
        SetDefaultColors(true);
    return handled;
}

// ---- drawing --------------------------------------------------------------------------------

bool CIconButton::IsPressedLook() const
{
    if (m_bIsCheckBox)
        return isDown() || m_nCheck != 0;
    return isDown() || m_bMenuDisplayed;
}

const CIconButton::Image& CIconButton::ChosenImage(const std::array<Image, 2>& images) const
{
    const bool hot = m_bIsCheckBox ? false : m_bMouseOnButton;
    if (!images[1].pixmap.isNull() && !IsPressedLook() && !hot)
        return images[1];
    return images[0];
}

void CIconButton::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    WinRect item = WinRect::FromQRect(rect());
    if (!m_bDrawTransparent)
        DrawBackground(dc, item);
    DrawFrame(dc, item);
    const QString caption = text();
    WinRect captionRect = item;
    if (!m_csIcons[0].pixmap.isNull())
        DrawIconImage(dc, item, !caption.isEmpty(), captionRect);
    if (!m_csBitmaps[0].pixmap.isNull())
        DrawBitmapImage(dc, item, !caption.isEmpty(), captionRect);
    if (!caption.isEmpty())
        DrawCaption(dc, captionRect, caption);
    if (hasFocus() && (!m_bIsFlat || m_bDrawFlatFocus)) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        WinRect r = item;
        r.Deflate(3, 3);
        focus.rect = r.ToQRect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &dc, this);
    }
}

void CIconButton::DrawBackground(QPainter& dc, WinRect& rect)
{
    if (!m_bIsFlat && (hasFocus() || isDefault())) {
        FrameRect(dc, rect, RGB(0, 0, 0));
        rect.Deflate(1, 1);
    }
    COLORREF back = m_crColors[ColorNormalBack];
    if (m_bMouseOnButton || IsPressedLook())
        back = m_crColors[ColorHotBack];
    else if (hasFocus())
        back = m_crColors[ColorFocusBack];
    FillSolidRect(dc, rect, back);
}

void CIconButton::DrawFrame(QPainter& dc, const WinRect& r)
{
    const bool pressed = IsPressedLook();
    if (!pressed && !m_bIsFlat) {
        auto polyline = [&](int x0, int y0, int x1, int y1, int x2, int y2, int colour) {
            DrawLine(dc, x0, y0, x1, y1, GetSysColor(colour));
            DrawLine(dc, x1, y1, x2, y2, GetSysColor(colour));
        };
        polyline(r.left, r.bottom - 1, r.left, r.top, r.right, r.top, COLOR_BTNHIGHLIGHT);
        polyline(r.left + 1, r.bottom - 1, r.left + 1, r.top + 1, r.right, r.top + 1, COLOR_3DLIGHT);
        polyline(r.left, r.bottom - 1, r.right - 1, r.bottom - 1, r.right - 1, r.top - 1, COLOR_3DDKSHADOW);
        polyline(r.left + 1, r.bottom - 2, r.right - 2, r.bottom - 2, r.right - 2, r.top, COLOR_BTNSHADOW);
    } else if (!pressed && m_bIsFlat && m_bMouseOnButton && m_bDrawBorder) {
        DrawEdge(dc, r, BDR_RAISEDINNER, BF_RECT);
    } else if (pressed && !m_bIsFlat) {
        FrameRect(dc, r, GetSysColor(COLOR_BTNSHADOW));
    } else if (pressed && m_bIsFlat && m_bDrawBorder) {
        DrawEdge(dc, r, BDR_SUNKENOUTER, BF_RECT);
    }
}

void CIconButton::DrawIconImage(QPainter& dc, const WinRect& item, bool hasCaption, WinRect& caption)
{
    const Image& chosen = ChosenImage(m_csIcons);
    const ImageRects rects = PrepareImageRect(item, chosen.pixmap.size(), hasCaption, m_byAlign, IsPressedLook(),
        m_bIsCheckBox, m_ptImageOrg, m_ptPressedOffset);
    caption = rects.caption;
    QPixmap pixmap = chosen.pixmap;
    if (!isEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
    }
    dc.drawPixmap(rects.image.left, rects.image.top, pixmap);
}

void CIconButton::DrawBitmapImage(QPainter& dc, const WinRect& item, bool hasCaption, WinRect& caption)
{
    const Image& chosen = ChosenImage(m_csBitmaps);
    const ImageRects rects = PrepareImageRect(item, chosen.pixmap.size(), hasCaption, m_byAlign, IsPressedLook(),
        m_bIsCheckBox, m_ptImageOrg, m_ptPressedOffset);
    caption = rects.caption;
    QPixmap pixmap = chosen.pixmap;
    if (!isEnabled() && m_bShowDisabledBitmap) {
        QStyleOption option;
        option.initFrom(this);
        pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
    }
    dc.drawPixmap(rects.image.left, rects.image.top, pixmap);
}

void CIconButton::DrawCaption(QPainter& dc, WinRect caption, const QString& text)
{
    if (IsPressedLook() && !m_bIsCheckBox)
        caption.Offset(m_ptPressedOffset.x(), m_ptPressedOffset.y());
    dc.setFont(font());
    const WinRect measured = MeasureText(dc.fontMetrics(), text, caption, DT_WORDBREAK | DT_CENTER);
    WinRect centred = measured;
    centred.Offset((caption.Width() - measured.Width()) / 2, (caption.Height() - measured.Height()) / 2);
    if (isEnabled()) {
        COLORREF colour = m_crColors[ColorNormalText];
        if (m_bMouseOnButton || IsPressedLook())
            colour = m_crColors[ColorHotText];
        else if (hasFocus())
            colour = m_crColors[ColorFocusText];
        dc.setPen(platform::ToQColor(colour));
        DrawText(dc, text, centred, DT_WORDBREAK | DT_CENTER);
    } else {
        WinRect moved = centred;
        moved.Offset(1, 1);
        dc.setPen(platform::ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        DrawText(dc, text, moved, DT_WORDBREAK | DT_CENTER);
        dc.setPen(platform::ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        DrawText(dc, text, centred, DT_WORDBREAK | DT_CENTER);
    }
}
