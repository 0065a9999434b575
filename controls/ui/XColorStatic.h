#pragma once
// A static label that paints itself: its own text and background colours, its own font (face,
// points, bold) and optionally an icon drawn in place of the text. The colours live in members,
// not in the palette, so a palette change from outside leaves them alone.

#include "controls/FontRecord.h"
#include "platform/Colour.h"
#include "platform/WinTypes.h"

#include <QFont>
#include <QIcon>
#include <QLabel>

#include <string>

// The Qt alignment and text flags for a static of `style`: left, centred (SS_CENTER) or right
// (SS_RIGHT); one vertically centred line with SS_CENTERIMAGE, else word-wrapped from the top.
int ColorStaticTextFlags(UINT style);

class CXColorStatic : public QLabel {
    Q_OBJECT
public:
    static constexpr UINT SS_LEFT = 0x0;
    static constexpr UINT SS_CENTER = 0x1;
    static constexpr UINT SS_RIGHT = 0x2;
    static constexpr UINT SS_CENTERIMAGE = 0x200;

    explicit CXColorStatic(QWidget* parent = nullptr, UINT style = SS_LEFT);
    CXColorStatic(const QString& text, QWidget* parent = nullptr, UINT style = SS_LEFT);

    // The font as given, its weight replaced by the bold flag.
    void SetFont(const QFont& font, bool redraw = true);
    void SetFont(const LogFont& logFont, bool redraw = true);
    // `faceName` (substituted where Linux lacks it) at `pointSize`; an empty face keeps the
    // current family and changes only the size.
    void SetFont(const std::string& faceName, int pointSize, bool redraw = true);
    void SetTextColor(COLORREF colour, bool redraw = true);
    // Changes only the weight of the current font.
    void SetBold(bool bold, bool redraw = true);
    void SetBackgroundColor(COLORREF colour, bool redraw = true);
    // A null icon shows the text again.
    void SetIcon(const QIcon& icon, bool redraw = true);
    void SetMargins(int x, int y, bool redraw = true);

    COLORREF GetTextColor() const { return m_rgbText; }
    COLORREF GetBackgroundColor() const { return m_rgbBackground; }
    bool GetBold() const { return m_bBold; }
    const QIcon& GetIcon() const { return m_hIcon; }
    UINT Style() const { return m_nStyle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Redraw(bool redraw);

    COLORREF m_rgbText;
    COLORREF m_rgbBackground;
    bool m_bBold = false;
    int m_nXMargin = 0;
    int m_nYMargin = 0;
    QIcon m_hIcon;
    UINT m_nStyle;
};
