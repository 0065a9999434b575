#pragma once
// The title tip: a small frameless popup laid over a grid cell whose text is cut off, showing the
// whole text. It never takes the focus; it hides when the mouse leaves the cell, and passes the
// presses it receives on to the window beneath, so they reach the grid as if the tip were not
// there.

#include "controls/FontRecord.h"
#include "platform/Colour.h"
#include "platform/WinTypes.h"
#include "platform/ui/GdiShim.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class CGridTitleTip : public QWidget {
    Q_OBJECT
public:
    CGridTitleTip();

    // The window whose client coordinates Show takes (the grid's viewport).
    void SetParentWnd(QWidget* parent) { m_pParentWnd = parent; }
    QWidget* GetParentWnd() const { return m_pParentWnd; }
    // TRUE at once when created; otherwise takes the parent and makes the window.
    virtual BOOL Create(QWidget* parent);
    BOOL IsCreated() const { return m_bCreated; }
    BOOL DestroyWindow();

    // Shows `text` over `rectTitle` (parent client coordinates) when it does not fit there.
    // The hover rectangle (else the title rectangle) bounds the mouse moves that keep it.
    // Colours at CLR_GRID_DEFAULT keep the tip's own.
    void Show(const WinRect& rectTitle, const QString& text, int xOffset = 0, const WinRect* hoverRect = nullptr,
        const LogFont* font = nullptr, COLORREF textColour = 0xFF000000, COLORREF backColour = 0xFF000000);
    void Hide();

    // The hover rectangle in the tip's coordinates.
    QRect HoverRect() const { return m_rectHover; }
    QString ShownText() const { return m_strText; }
    QColor BackColour() const { return m_Back; }
    QColor TextColour() const { return m_Text; }
    // Whether a point in screen coordinates lies in the hover rectangle.
    bool HoverContainsGlobal(QPoint global) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    void OnMouseMove(QMouseEvent* event);

private:
    // The widget under a screen point, the parent for the tip itself or nothing.
    QWidget* TargetAt(QPoint global) const;
    void ForwardPress(QMouseEvent* event);

    QPointer<QWidget> m_pParentWnd;
    QPointer<QWidget> m_pPressTarget; // where the release of a passed-on press goes
    QRect m_rectTitle;
    QRect m_rectHover;
    std::uint32_t m_dwLastLButtonDown = 0xFFFFFFFF;
    std::uint32_t m_dwDblClickMsecs;
    BOOL m_bCreated = FALSE;
    QString m_strText;
    QFont m_Font;
    QColor m_Back;
    QColor m_Text;
};
