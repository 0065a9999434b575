#pragma once
// A read-only hex display of a block it does not own: 8 bytes a row, an address column titled by
// the view's offset title, the bytes in hexadecimal and as characters. It paints only the rows
// that are visible, so a 16 MB buffer scrolls as fast as a small one.
//
// The owner hands it a pointer and a length with SetData and must hand it new ones (or
// SetData(nullptr, 0)) before the block goes away. The data pump asks for the first and last
// visible offsets from its own thread to decide whether a block it stored needs a refresh.

#include <QAbstractScrollArea>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class CHexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kColumns = 8;

    explicit CHexView(QWidget* parent = nullptr);

    void SetData(const std::uint8_t* data, std::size_t size);
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

    void SetOffsetTitle(const std::string& title);
    const std::string& OffsetTitle() const { return m_offsetTitle; }

    // The first and the last byte offset on screen; both 0 for an empty block. Safe from any
    // thread.
    std::size_t FirstVisibleOffset() const { return m_firstVisible.load(); }
    std::size_t LastVisibleOffset() const { return m_lastVisible.load(); }
    bool IsOffsetVisible(std::size_t offset) const;

    // Scrolls so that the row of `offset` is the top row (as far as the scroll range allows).
    void ScrollToOffset(std::size_t offset);
    // Repaints what is visible (after the block's bytes changed in place).
    void Refresh();

    std::size_t RowCount() const { return (m_size + kColumns - 1) / kColumns; }
    int VisibleRows() const;
    // The rows painted by the last paint, for tests.
    int LastPaintedRows() const { return m_lastPaintedRows; }

    // The text of one row as painted: address, the bytes, the characters.
    std::string RowText(std::size_t row) const;
    std::string HeaderText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollRange();
    void UpdateVisibleRange();
    int LineHeight() const;

    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_offsetTitle = "OFFSET";
    std::atomic<std::size_t> m_firstVisible { 0 };
    std::atomic<std::size_t> m_lastVisible { 0 };
    int m_lastPaintedRows = 0;
};
