#pragma once
// A small bordered tip that shows one line in the tooltip colours and the status-bar font, sizes
// itself to its text (keeping its right or its left edge, and its top) and can appear after a
// delay (timer 1).

#include "platform/ui/MessageTarget.h"

#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

class CPopupText : public QWidget, public platform::MessageTarget {
    Q_OBJECT
public:
    CPopupText();
    ~CPopupText() override;

    // Places the (hidden) tip at `point`, 0 × 0; bit 0 of `align` keeps the right edge on resizes.
    bool Create(QPoint point, QWidget* parent, int align, int id);
    bool IsCreated() const { return m_created; }
    // Sets the text and resizes to one measured line plus the margins.
    void SetText(const QString& text);
    QString Text() const { return m_text; }
    // 0 shows the tip at once; otherwise after `milliseconds`.
    void ShowAfterDelay(int milliseconds);
    // Stops a pending show and hides the tip.
    void Cancel();
    void OnTimer(UINT id) override;

    QSize m_szMargins { 4, 4 };
    QFont m_font;
    int m_nAlign = 0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    bool m_created = false;
};

// The program's one tip: made on first use after the application object, gone before it ends.
CPopupText& g_PopupTip();
