#pragma once
// A button that paints itself from up to five state bitmaps (normal, pressed, disabled, hover,
// focus), with an optional mask that makes the bitmaps transparent and cuts the widget to its
// shape, a caption in a colour of its own, and check-box and radio behaviour of its own making.
// The main view uses one without bitmaps or mouse as a coloured caption (field 131).

#include "platform/Colour.h"
#include "platform/WinTypes.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/MessageTarget.h"

#include <QAbstractButton>
#include <QBitmap>
#include <QPixmap>

class CImageButton : public QAbstractButton, public platform::MessageTarget {
    Q_OBJECT
public:
    static constexpr int kPush = 0;
    static constexpr int kCheckBox = 2;
    static constexpr int kRadio = 4;
    static constexpr UINT WM_REDRAW_REQUEST = WM_USER + 256;

    explicit CImageButton(QWidget* parent = nullptr, int kind = kPush);
    CImageButton(const QString& caption, QWidget* parent, int kind = kPush);

    // Returns the previous caption colour; no redraw.
    COLORREF SetTextColor(COLORREF colour);
    COLORREF TextColor() const { return m_crText; }
    // Bitmap resources by number, 0 for none.
    void LoadBitmaps(int normalId, int downId = 0, int hoverId = 0, int disabledId = 0, int focusId = 0, int maskId = 0,
        int stretch = 1, int border = 1, int margin = 0);
    void SetToolTipText(const QString& text) { setToolTip(text); }
    void SetMouseEnabled(bool on) { m_bMouseEnabled = on; }
    bool IsMouseEnabled() const { return m_bMouseEnabled; }
    int Kind() const { return m_nKind; }

    // BM_SETCHECK and BM_GETCHECK: a plain button stays unchecked; a radio that becomes checked
    // unchecks the other radio image buttons of its parent.
    void SetCheck(int check);
    int GetCheck() const { return m_bChecked ? 1 : 0; }
    void OnRedrawRequest();
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Where the caption goes: inside the margins, moved by (1, 1) when pressed or checked. A
    // disabled caption is drawn there in COLOR_BTNHIGHLIGHT, then a pixel up and left of it.
    static WinRect CaptionRect(const WinRect& item, int margin, bool disabled, bool pressed, bool checked);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

public:
    bool m_bMouseEnabled = true;
    bool m_bChecked = false;
    int m_nKind = kPush;
    bool m_bHover = false;
    bool m_bPressing = false;
    QPixmap m_bmpNormal, m_bmpDown, m_bmpDisabled, m_bmpHover, m_bmpFocus;
    QBitmap m_bmpMask;
    int m_nMargin = 0;
    COLORREF m_crText = 0;
    int m_bBorder = 1;
    int m_nStretch = 1;

private:
    void CheckStep();
    void DrawBitmap(QPainter& dc, const QPixmap& bitmap) const;
};
