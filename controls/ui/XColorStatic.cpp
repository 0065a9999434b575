#include "controls/ui/XColorStatic.h"

#include "controls/ui/RichEditCtrlExtend.h"
#include "platform/ui/QtServices.h"

#include <QPainter>
#include <QStyle>

int ColorStaticTextFlags(UINT style)
{
    int flags = 0;
    if (style & CXColorStatic::SS_CENTER)
        flags |= Qt::AlignHCenter;
    else if (style & CXColorStatic::SS_RIGHT)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (style & CXColorStatic::SS_CENTERIMAGE)
        flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    else
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    return flags;
}

CXColorStatic::CXColorStatic(QWidget* parent, UINT style)
    : CXColorStatic(QString(), parent, style)
{
}

CXColorStatic::CXColorStatic(const QString& text, QWidget* parent, UINT style)
    : QLabel(text, parent)
    , m_rgbText(platform::FromQColor(palette().color(QPalette::ButtonText)))
    , m_rgbBackground(platform::FromQColor(palette().color(QPalette::Button)))
    , m_nStyle(style)
{
    // QLabel's own layout logic (size hints) follows the same alignment and wrapping.
    setAlignment(Qt::Alignment(ColorStaticTextFlags(style) & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)));
    setWordWrap(!(style & SS_CENTERIMAGE));
}

void CXColorStatic::Redraw(bool redraw)
{
    if (redraw)
        update();
}

void CXColorStatic::SetFont(const QFont& font, bool redraw)
{
    QFont f = font;
    f.setWeight(m_bBold ? QFont::Bold : QFont::Normal);
    QLabel::setFont(f);
    Redraw(redraw);
}

void CXColorStatic::SetFont(const LogFont& logFont, bool redraw)
{
    SetFont(FontFromLogFont(logFont), redraw);
}

void CXColorStatic::SetFont(const std::string& faceName, int pointSize, bool redraw)
{
    QFont f = faceName.empty() ? font() : platform::MakeFont(faceName, pointSize);
    if (pointSize > 0)
        f.setPointSize(pointSize);
    SetFont(f, redraw);
}

void CXColorStatic::SetTextColor(COLORREF colour, bool redraw)
{
    m_rgbText = colour;
    Redraw(redraw);
}

void CXColorStatic::SetBold(bool bold, bool redraw)
{
    m_bBold = bold;
    SetFont(font(), redraw);
}

void CXColorStatic::SetBackgroundColor(COLORREF colour, bool redraw)
{
    m_rgbBackground = colour;
    Redraw(redraw);
}

void CXColorStatic::SetIcon(const QIcon& icon, bool redraw)
{
    m_hIcon = icon;
    Redraw(redraw);
}

void CXColorStatic::SetMargins(int x, int y, bool redraw)
{
    m_nXMargin = x;
    m_nYMargin = y;
    Redraw(redraw);
}

void CXColorStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect client = rect();
    painter.fillRect(client, platform::ToQColor(m_rgbBackground));
    if (!m_hIcon.isNull()) {
        const int extent = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
        QRect box(0, 0, extent, extent);
        box.moveCenter(client.center());
        m_hIcon.paint(&painter, box);
        return;
    }
    painter.setFont(font());
    painter.setPen(platform::ToQColor(m_rgbText));
    painter.drawText(client.translated(m_nXMargin, m_nYMargin), ColorStaticTextFlags(m_nStyle), text());
}
