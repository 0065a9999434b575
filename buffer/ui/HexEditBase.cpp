#include "buffer/ui/HexEditBase.h"

#include "platform/ui/QtServices.h"
#include "shell/HexParse.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
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

CHexEditBase::CHexEditBase(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    // The face is proportional: every character gets a cell as wide as the widest hex digit.
    QFont font = platform::MakeFont("Times New Roman", 12, 700);
    font.setPixelSize(22);
    font.setItalic(true);
    setFont(font);
    viewport()->setFont(font);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    UpdateScrollRange();
}

void CHexEditBase::SetData(std::uint8_t* data, std::size_t size)
{
    SetData(static_cast<const std::uint8_t*>(data), size);
    m_writable = m_data ? data : nullptr;
}

void CHexEditBase::SetData(const std::uint8_t* data, std::size_t size)
{
    if (data && size && data == m_data && size == m_size) {
        m_writable = nullptr; // the same block again: cursor and selection stay
        viewport()->update();
        return;
    }
    m_data = size ? data : nullptr;
    m_writable = nullptr;
    m_size = data ? size : 0;
    m_cursor = m_size ? std::min(m_cursor, m_size - 1) : 0;
    m_anchor = m_cursor;
    m_hasSelection = false;
    m_dragging = false;
    UpdateScrollRange();
    UpdateVisibleRange();
    viewport()->update();
}

void CHexEditBase::SetOffsetTitle(const std::string& title)
{
    m_offsetTitle = title;
    UpdateScrollRange();
    viewport()->update();
}

int CHexEditBase::LineHeight() const
{
    return std::max(1, fontMetrics().height());
}

int CHexEditBase::CellWidth() const
{
    int width = 1;
    for (const char c : std::string_view(kDigits))
        width = std::max(width, fontMetrics().horizontalAdvance(QChar(c)));
    return width;
}

std::size_t CHexEditBase::AddressWidth() const
{
    return std::max<std::size_t>(static_cast<std::size_t>(AddressDigits(m_size)), m_offsetTitle.size());
}

std::size_t CHexEditBase::HexTextColumn(std::size_t byteInRow) const
{
    return AddressWidth() + 2 + 3 * byteInRow;
}

std::size_t CHexEditBase::CharTextColumn(std::size_t byteInRow) const
{
    return AddressWidth() + 1 + 3 * kColumns + 2 + byteInRow;
}

int CHexEditBase::VisibleRows() const
{
    // The header line takes the first row of the viewport.
    return std::max(1, viewport()->height() / LineHeight() - 1);
}

bool CHexEditBase::IsOffsetVisible(std::size_t offset) const
{
    return m_size != 0 && offset >= FirstVisibleOffset() && offset <= LastVisibleOffset();
}

void CHexEditBase::ScrollToOffset(std::size_t offset)
{
    const std::size_t row = offset / kColumns;
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(row, verticalScrollBar()->maximum())));
    UpdateVisibleRange();
}

void CHexEditBase::EnsureVisible(std::size_t offset)
{
    const std::size_t row = offset / kColumns;
    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t rows = static_cast<std::size_t>(VisibleRows());
    if (row < top)
        verticalScrollBar()->setValue(static_cast<int>(row));
    else if (row >= top + rows)
        verticalScrollBar()->setValue(static_cast<int>(row - rows + 1));
    UpdateVisibleRange();
}

void CHexEditBase::Refresh()
{
    viewport()->update();
}

void CHexEditBase::RefreshBytes(std::size_t offset, std::size_t count)
{
    if (m_size == 0 || count == 0)
        return;
    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t bottom = top + static_cast<std::size_t>(VisibleRows()); // a partly visible row too
    const std::size_t first = std::max(offset / kColumns, top);
    const std::size_t last = std::min((offset + count - 1) / kColumns, bottom);
    if (first > last)
        return;
    const int line = LineHeight();
    m_lastUpdatedRows = static_cast<int>(last - first + 1);
    viewport()->update(QRect(
        0, static_cast<int>(first - top + 1) * line, viewport()->width(), static_cast<int>(last - first + 1) * line));
}

void CHexEditBase::UpdateScrollRange()
{
    const std::size_t rows = RowCount();
    const int page = VisibleRows();
    const std::size_t maximum = rows > static_cast<std::size_t>(page) ? rows - page : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::size_t>(maximum, INT32_MAX)));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = static_cast<int>(CharTextColumn(kColumns)) * CellWidth() + 2 * kMargin;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CHexEditBase::UpdateVisibleRange()
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

std::string CHexEditBase::HeaderText() const
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

std::string CHexEditBase::RowText(std::size_t row) const
{
    const std::size_t offset = row * kColumns;
    if (!m_data || offset >= m_size)
        return {};
    const int digits = AddressDigits(m_size);
    std::string text(AddressWidth() - static_cast<std::size_t>(digits), ' ');
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

QRect CHexEditBase::CellRect(std::size_t row, std::size_t textColumn) const
{
    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const int line = LineHeight();
    const int cell = CellWidth();
    const int x = kMargin - horizontalScrollBar()->value() + static_cast<int>(textColumn) * cell;
    const int y = (static_cast<int>(row) - static_cast<int>(top) + 1) * line;
    return QRect(x, y, cell, line);
}

bool CHexEditBase::HitTest(const QPoint& point, std::size_t& offset, Column& column, int& nibble) const
{
    if (m_size == 0)
        return false;
    const int line = LineHeight();
    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const int rowOnScreen = std::max(0, point.y() / line - 1);
    const std::size_t row = std::min(top + static_cast<std::size_t>(rowOnScreen), RowCount() - 1);
    const int x = point.x() + horizontalScrollBar()->value() - kMargin;
    const std::size_t textColumn = x < 0 ? 0 : static_cast<std::size_t>(x / CellWidth());
    const std::size_t hexStart = AddressWidth() + 1;
    const std::size_t charStart = CharTextColumn(0);
    std::size_t byte = 0;
    column = Column::Hex;
    nibble = 0;
    if (textColumn + 1 >= charStart) {
        column = Column::Chars;
        byte = textColumn >= charStart ? std::min<std::size_t>(textColumn - charStart, kColumns - 1) : 0;
    } else if (textColumn >= hexStart) {
        const std::size_t within = textColumn - hexStart;
        byte = std::min<std::size_t>(within / 3, kColumns - 1);
        nibble = within / 3 < kColumns && within % 3 == 2 ? 1 : 0;
    }
    offset = std::min(row * kColumns + byte, m_size - 1);
    if (offset != row * kColumns + byte)
        nibble = 0;
    return true;
}

void CHexEditBase::SetCursor(std::size_t offset, Column column, int nibble)
{
    if (m_size == 0)
        return;
    const std::size_t old = m_cursor;
    m_cursor = std::min(offset, m_size - 1);
    m_anchor = m_cursor;
    m_column = column;
    m_nibble = column == Column::Hex ? (nibble ? 1 : 0) : 0;
    if (m_hasSelection) {
        m_hasSelection = false;
        viewport()->update();
    }
    EnsureVisible(m_cursor);
    RefreshBytes(old, 1);
    RefreshBytes(m_cursor, 1);
}

void CHexEditBase::Select(std::size_t first, std::size_t last)
{
    if (m_size == 0)
        return;
    last = std::min(last, m_size - 1);
    first = std::min(first, last);
    m_anchor = last;
    m_cursor = first;
    m_nibble = 0;
    m_hasSelection = true;
    EnsureVisible(m_cursor);
    viewport()->update();
}

void CHexEditBase::ClearSelection()
{
    if (!m_hasSelection)
        return;
    m_hasSelection = false;
    m_anchor = m_cursor;
    viewport()->update();
}

void CHexEditBase::SelectAll()
{
    if (m_size == 0)
        return;
    m_anchor = 0;
    m_cursor = m_size - 1;
    m_hasSelection = true;
    EnsureVisible(m_cursor);
    viewport()->update();
}

void CHexEditBase::MoveTo(std::size_t offset, bool extend)
{
    if (m_size == 0)
        return;
    offset = std::min(offset, m_size - 1);
    const bool hadSelection = m_hasSelection;
    const std::size_t old = m_cursor;
    if (extend) {
        if (!m_hasSelection)
            m_anchor = m_cursor;
        m_hasSelection = true;
    } else {
        m_hasSelection = false;
        m_anchor = offset;
    }
    m_cursor = offset;
    m_nibble = 0;
    EnsureVisible(m_cursor);
    if (hadSelection || m_hasSelection) {
        viewport()->update();
    } else {
        RefreshBytes(old, 1);
        RefreshBytes(m_cursor, 1);
    }
}

bool CHexEditBase::Allowed()
{
    if (!m_writable || m_size == 0 || (m_gate && !m_gate("Typing"))) {
        QApplication::beep();
        return false;
    }
    return true;
}

void CHexEditBase::Write(std::size_t offset, std::uint8_t value)
{
    m_writable[offset] = value;
    RefreshBytes(offset, 1);
    emit changed(offset, 1);
}

bool CHexEditBase::focusNextPrevChild(bool /*next*/)
{
    return false; // Tab switches between the columns
}

void CHexEditBase::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const std::size_t rowStart = m_cursor / kColumns * kColumns;
    const std::size_t page = static_cast<std::size_t>(VisibleRows()) * kColumns;
    switch (event->key()) {
    case Qt::Key_Left:
        MoveTo(m_cursor > 0 ? m_cursor - 1 : 0, shift);
        return;
    case Qt::Key_Right:
        MoveTo(m_cursor + 1, shift);
        return;
    case Qt::Key_Up:
        MoveTo(m_cursor >= kColumns ? m_cursor - kColumns : m_cursor, shift);
        return;
    case Qt::Key_Down:
        MoveTo(m_cursor + kColumns < m_size ? m_cursor + kColumns : m_cursor, shift);
        return;
    case Qt::Key_Home:
        MoveTo(control ? 0 : rowStart, shift);
        return;
    case Qt::Key_End:
        MoveTo(control ? (m_size ? m_size - 1 : 0) : rowStart + kColumns - 1, shift);
        return;
    case Qt::Key_PageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - verticalScrollBar()->pageStep());
        MoveTo(m_cursor >= page ? m_cursor - page : m_cursor % kColumns, shift);
        return;
    case Qt::Key_PageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + verticalScrollBar()->pageStep());
        MoveTo(m_cursor + page < m_size ? m_cursor + page : m_cursor, shift);
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        m_column = m_column == Column::Hex ? Column::Chars : Column::Hex;
        m_nibble = 0;
        viewport()->update();
        return;
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        return; // overwrite only: no byte comes or goes
    default:
        break;
    }
    if (control && event->key() == Qt::Key_A) {
        SelectAll();
        return;
    }
    const QString text = event->text();
    if (text.size() != 1 || control) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const QChar c = text.front();
    const int digit = HexDigit(c.toLatin1());
    const bool isChar = c.unicode() >= 0x20 && c.unicode() <= 0x7E;
    if ((m_column == Column::Hex && digit < 0) || (m_column == Column::Chars && !isChar)) {
        QApplication::beep();
        return;
    }
    if (!Allowed())
        return;
    if (m_hasSelection) {
        m_cursor = SelectionStart();
        m_anchor = m_cursor;
        m_nibble = 0;
        m_hasSelection = false;
        viewport()->update();
    }
    const std::size_t at = m_cursor;
    if (m_column == Column::Hex) {
        const std::uint8_t old = m_writable[at];
        Write(at, static_cast<std::uint8_t>(m_nibble == 0 ? (digit << 4 | (old & 0x0F)) : ((old & 0xF0) | digit)));
        if (m_nibble == 0) {
            m_nibble = 1;
            return;
        }
        m_nibble = 0;
    } else {
        Write(at, static_cast<std::uint8_t>(c.unicode()));
    }
    if (at + 1 < m_size) {
        m_cursor = at + 1;
        m_anchor = m_cursor;
        EnsureVisible(m_cursor);
        RefreshBytes(m_cursor, 1);
    }
}

void CHexEditBase::mousePressEvent(QMouseEvent* event)
{
    std::size_t offset = 0;
    Column column = Column::Hex;
    int nibble = 0;
    if (event->button() != Qt::LeftButton || !HitTest(event->position().toPoint(), offset, column, nibble)) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        MoveTo(offset, true);
        m_column = column;
        return;
    }
    SetCursor(offset, column, nibble);
    m_dragging = true;
}

void CHexEditBase::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    QPoint point = event->position().toPoint();
    // Past the top or the bottom the view scrolls a row at a time.
    const int line = LineHeight();
    if (point.y() < line) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
        point.setY(line);
    } else if (point.y() >= viewport()->height()) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
        point.setY(viewport()->height() - 1);
    }
    std::size_t offset = 0;
    Column column = Column::Hex;
    int nibble = 0;
    if (!HitTest(point, offset, column, nibble) || offset == m_cursor)
        return;
    m_cursor = offset;
    m_nibble = 0;
    m_hasSelection = m_cursor != m_anchor;
    viewport()->update();
}

void CHexEditBase::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CHexEditBase::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const int line = LineHeight();
    const int cell = CellWidth();
    const int x0 = kMargin - horizontalScrollBar()->value();
    const QRect area = event->rect();
    const QColor text = palette().color(QPalette::Text);
    const QColor selected = palette().color(QPalette::Highlight);
    const QColor selectedText = palette().color(QPalette::HighlightedText);

    auto drawCells = [&](const std::string& row, int y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            if (row[i] != ' ')
                painter.drawText(QRect(x0 + static_cast<int>(i) * cell, y, cell, line), Qt::AlignCenter,
                    QString(QChar::fromLatin1(row[i])));
    };

    if (area.top() < line) {
        painter.fillRect(QRect(0, 0, viewport()->width(), line), palette().color(QPalette::AlternateBase));
        painter.setPen(text);
        drawCells(HeaderText(), 0);
    }

    const std::size_t top = static_cast<std::size_t>(verticalScrollBar()->value());
    const int rows = VisibleRows() + 1; // a partly visible last row
    const std::size_t selFirst = SelectionStart(), selLast = SelectionEnd();
    int painted = 0;
    for (int i = 0; i < rows; ++i) {
        const std::size_t row = top + static_cast<std::size_t>(i);
        if (row >= RowCount())
            break;
        const int y = (i + 1) * line;
        if (y + line <= area.top() || y >= area.bottom() + 1)
            continue;
        const std::string rowText = RowText(row);
        // The selection and the cursor behind the text, in both columns.
        for (std::size_t b = 0; b < kColumns; ++b) {
            const std::size_t offset = row * kColumns + b;
            if (offset >= m_size)
                break;
            const bool inSelection = m_hasSelection && offset >= selFirst && offset <= selLast;
            if (inSelection) {
                painter.fillRect(QRect(x0 + static_cast<int>(HexTextColumn(b)) * cell, y, 2 * cell, line), selected);
                painter.fillRect(QRect(x0 + static_cast<int>(CharTextColumn(b)) * cell, y, cell, line), selected);
            }
            if (offset == m_cursor) {
                const std::size_t at = m_column == Column::Hex ? HexTextColumn(b) + static_cast<std::size_t>(m_nibble)
                                                               : CharTextColumn(b);
                painter.fillRect(QRect(x0 + static_cast<int>(at) * cell, y + line - 3, cell, 3), text);
            }
        }
        painter.setPen(text);
        drawCells(rowText, y);
        if (m_hasSelection && selFirst <= row * kColumns + kColumns - 1 && selLast >= row * kColumns) {
            painter.setPen(selectedText);
            for (std::size_t b = 0; b < kColumns; ++b) {
                const std::size_t offset = row * kColumns + b;
                if (offset >= m_size || offset < selFirst || offset > selLast)
                    continue;
                for (std::size_t c : { HexTextColumn(b), HexTextColumn(b) + 1, CharTextColumn(b) })
                    painter.drawText(QRect(x0 + static_cast<int>(c) * cell, y, cell, line), Qt::AlignCenter,
                        QString(QChar::fromLatin1(rowText[c])));
            }
        }
        ++painted;
    }
    m_lastPaintedRows = painted;
}

void CHexEditBase::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
    UpdateVisibleRange();
}

void CHexEditBase::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    UpdateVisibleRange();
    viewport()->update();
}
