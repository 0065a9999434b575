#pragma once
// The hex editor of a block it does not own: 8 bytes a row, an address column titled by the
// view's offset title, the bytes in hexadecimal and as characters. It paints only the rows that
// are visible, so a 16 MB buffer scrolls and edits as fast as a small one.
//
// The owner hands it a pointer and a length with SetData and must hand it new ones (or
// SetData(nullptr, 0)) before the block goes away; a const block is shown read-only. Editing is
// overwrite only: a hex digit sets the nibble under the cursor, a character (0x20 to 0x7E) in the
// character column the byte. Before each change the editor asks its owner's gate; after one it
// emits changed(offset, count). The data pump asks for the first and last visible offsets from
// its own thread to decide whether a block it stored needs a refresh.

#include <QAbstractScrollArea>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CHexEditBase : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kColumns = 8;
    // The notification code of a change, as the owner's message map knows it.
    static constexpr int kNotifyChanged = 768;

    enum class Column { Hex, Chars };

    explicit CHexEditBase(QWidget* parent = nullptr);

    // A writable block, or a read-only one. A new block keeps the cursor inside it and drops
    // the selection; the same block again keeps both.
    void SetData(std::uint8_t* data, std::size_t size);
    void SetData(const std::uint8_t* data, std::size_t size);
    void SetData(std::nullptr_t, std::size_t) { SetData(static_cast<const std::uint8_t*>(nullptr), 0); }
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    bool ReadOnly() const { return m_writable == nullptr; }

    // Asked before every change with what is about to happen ("Typing"); false refuses it (the
    // editor beeps and changes nothing).
    using Gate = std::function<bool(const char* what)>;
    void SetGate(Gate gate) { m_gate = std::move(gate); }

    void SetOffsetTitle(const std::string& title);
    const std::string& OffsetTitle() const { return m_offsetTitle; }

    // The cursor: a byte, its column and, in the hex column, the nibble (0 high, 1 low).
    std::size_t Cursor() const { return m_cursor; }
    Column CursorColumn() const { return m_column; }
    int Nibble() const { return m_nibble; }
    void SetCursor(std::size_t offset, Column column = Column::Hex, int nibble = 0);
    // The selection, first and last byte inclusive; none when empty.
    bool HasSelection() const { return m_hasSelection; }
    std::size_t SelectionStart() const { return m_hasSelection ? std::min(m_anchor, m_cursor) : m_cursor; }
    std::size_t SelectionEnd() const { return m_hasSelection ? std::max(m_anchor, m_cursor) : m_cursor; }
    // Selects first..last (inclusive) with the cursor on `first`, and shows it.
    void Select(std::size_t first, std::size_t last);
    void ClearSelection();
    void SelectAll();

    // The first and the last byte offset on screen; both 0 for an empty block. Safe from any
    // thread.
    std::size_t FirstVisibleOffset() const { return m_firstVisible.load(); }
    std::size_t LastVisibleOffset() const { return m_lastVisible.load(); }
    bool IsOffsetVisible(std::size_t offset) const;

    // Scrolls so that the row of `offset` is the top row (as far as the scroll range allows).
    void ScrollToOffset(std::size_t offset);
    // Scrolls as little as needed to show the row of `offset`.
    void EnsureVisible(std::size_t offset);
    // Repaints what is visible (after the block's bytes changed in place).
    void Refresh();
    // Repaints the rows of count bytes from offset, when they are on screen.
    void RefreshBytes(std::size_t offset, std::size_t count);

    std::size_t RowCount() const { return (m_size + kColumns - 1) / kColumns; }
    int VisibleRows() const;
    // The rows painted by the last paint, and the rows the last update asked for, for tests.
    int LastPaintedRows() const { return m_lastPaintedRows; }
    int LastUpdatedRows() const { return m_lastUpdatedRows; }

    // The text of one row as painted: address, the bytes, the characters.
    std::string RowText(std::size_t row) const;
    std::string HeaderText() const;
    // Where a character of HeaderText/RowText lies on screen, and which byte, column and nibble
    // a point of the viewport names (for clicks).
    QRect CellRect(std::size_t row, std::size_t textColumn) const;
    bool HitTest(const QPoint& point, std::size_t& offset, Column& column, int& nibble) const;
    // The character positions in RowText of a byte's high digit and of its character.
    std::size_t HexTextColumn(std::size_t byteInRow) const;
    std::size_t CharTextColumn(std::size_t byteInRow) const;

signals:
    // Bytes offset..offset+count-1 were changed by the editor.
    void changed(std::size_t offset, std::size_t count);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void UpdateScrollRange();
    void UpdateVisibleRange();
    int LineHeight() const;
    int CellWidth() const;
    std::size_t AddressWidth() const;
    void MoveTo(std::size_t offset, bool extend);
    bool Allowed();
    void Write(std::size_t offset, std::uint8_t value);

    const std::uint8_t* m_data = nullptr;
    std::uint8_t* m_writable = nullptr;
    std::size_t m_size = 0;
    std::string m_offsetTitle = "OFFSET";
    std::atomic<std::size_t> m_firstVisible { 0 };
    std::atomic<std::size_t> m_lastVisible { 0 };
    int m_lastPaintedRows = 0;
    int m_lastUpdatedRows = 0;
    std::size_t m_cursor = 0;
    std::size_t m_anchor = 0;
    bool m_hasSelection = false;
    Column m_column = Column::Hex;
    int m_nibble = 0;
    bool m_dragging = false;
    Gate m_gate;
};
