#include "buffer/ui/HexView.h"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr int kMargin = 4;

// Addresses take 6 digits below 16 MB, 8 above.
int AddressDigits(std::size_t size)
{
    return size > 0x1000000 ? 8 : 6;
}

} // namespace

CHexView::CHexView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    viewport()->setFont(font);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus); // page and arrow keys scroll
    UpdateScrollRange();
}

void CHexView::SetData(const std::uint8_t* data, std::size_t size)
{
    m_data = size ? data : nullptr;
    m_size = data ? size : 0;
    UpdateScrollRange();
    UpdateVisibleRange();
    viewport()->update();
}

void CHexView::SetOffsetTitle(const std::string& title)
{
    m_offsetTitle = title;
    viewport()->update();
}

int CHexView::LineHeight() const
{
    return std::max(1, fontMetrics().height());
}

int CHexView::VisibleRows() const
{
    // The header line takes the first row of the viewport.
    return std::max(1, viewport()->height() / LineHeight() - 1);
}

bool CHexView::IsOffsetVisible(std::size_t offset) const
{
    return m_size != 0 && offset >= FirstVisibleOffset() && offset <= LastVisibleOffset();
}

void CHexView::ScrollToOffset(std::size_t offset)
{
    const std::size_t row = offset / kColumns;
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(row, verticalScrollBar()->maximum())));
    UpdateVisibleRange();
}

void CHexView::Refresh()
{
    viewport()->update();
}

void CHexView::UpdateScrollRange()
{
    const std::size_t rows = RowCount();
    const int page = VisibleRows();
    const std::size_t maximum = rows > static_cast<std::size_t>(page) ? rows - page : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::size_t>(maximum, INT32_MAX)));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = fontMetrics().horizontalAdvance(QString::fromStdString(HeaderText())) + 2 * kMargin;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CHexView::UpdateVisibleRange()
{
    if (m_size == 0) {
        m_firstVisible = 0;
        m_lastVisible = 0;
        return;
    }
    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t first = std::min(top * kColumns, m_size - 1);
    const std::size_t last = std::min((top + VisibleRows()) * kColumns, m_size) - 1;
    m_firstVisible = first;
    m_lastVisible = std::max(first, last);
}

std::string CHexView::HeaderText() const
{
    std::string title = m_offsetTitle;
    const std::size_t width = static_cast<std::size_t>(AddressDigits(m_size));
    if (title.size() < width)
        title.resize(width, ' ');
    std::string text = title + " ";
    for (int column = 0; column < kColumns; ++column) {
        text += ' ';
        text += kDigits[(column >> 4) & 0xF];
        text += kDigits[column & 0xF];
    }
    return text;
}

std::string CHexView::RowText(std::size_t row) const
{
    const std::size_t offset = row * kColumns;
    if (!m_data || offset >= m_size)
        return {};
    const int digits = AddressDigits(m_size);
    const std::size_t width = std::max<std::size_t>(static_cast<std::size_t>(digits), m_offsetTitle.size());
    std::string text(width - static_cast<std::size_t>(digits), ' ');
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += kDigits[(offset >> shift) & 0xF];
    text += ' ';
    const std::size_t count = std::min<std::size_t>(kColumns, m_size - offset);
    std::string chars;
    for (std::size_t i = 0; i < kColumns; ++i) {
        if (i < count) {
            const std::uint8_t byte = m_data[offset + i];
            text += ' ';
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0xF];
            chars += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
        } else {
            text += "   ";
        }
    }
    return text + "  " + chars;
}

void CHexView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    const int line = LineHeight();
    const int ascent = fontMetrics().ascent();
    const int x = kMargin - horizontalScrollBar()->value();

    painter.fillRect(QRect(0, 0, viewport()->width(), line), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(x, ascent, QString::fromStdString(HeaderText()));

    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const int rows = VisibleRows() + 1; // a partly visible last row
    int painted = 0;
    for (int i = 0; i < rows; ++i) {
        const std::size_t row = top + static_cast<std::size_t>(i);
        if (row >= RowCount())
            break;
        painter.drawText(x, (i + 1) * line + ascent, QString::fromLatin1(RowText(row).c_str()));
        ++painted;
    }
    m_lastPaintedRows = painted;
}

void CHexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
    UpdateVisibleRange();
}

void CHexView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    UpdateVisibleRange();
    viewport()->update();
}
