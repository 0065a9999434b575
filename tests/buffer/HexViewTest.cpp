#include "buffer/ui/HexView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Paints the visible part once, as a screen update would.
void Paint(CHexView& view)
{
    QPixmap pixmap(view.viewport()->size());
    view.viewport()->render(&pixmap);
}

TEST(HexView, RowsShowAddressBytesAndCharactersUnderTheOffsetTitle)
{
    const std::vector<std::uint8_t> data { 0x41, 0x42, 0x00, 0xFF, 0x7E, 0x20, 0x31, 0x0A, 0x10, 0x11, 0x12 };
    CHexView view;
    view.SetOffsetTitle("OFFSET");
    view.SetData(data.data(), data.size());
    EXPECT_EQ(view.HeaderText(), "OFFSET  00 01 02 03 04 05 06 07");
    EXPECT_EQ(view.RowCount(), 2u);
    EXPECT_EQ(view.RowText(0), "000000  41 42 00 FF 7E 20 31 0A  AB..~ 1.");
    EXPECT_EQ(view.RowText(1), "000008  10 11 12                 ...");
    EXPECT_EQ(view.RowText(2), ""); // past the end

    // A longer title widens the address column; above 16 MB addresses take 8 digits.
    view.SetOffsetTitle("ADRESSE-LANG");
    EXPECT_EQ(view.RowText(1).substr(0, 14), "      000008  ");
    std::vector<std::uint8_t> big(0x1000008, 0xAA);
    view.SetOffsetTitle("OFFSET");
    view.SetData(big.data(), big.size());
    EXPECT_EQ(view.RowText(0x200000).substr(0, 10), "01000000  ");
}

TEST(HexView, NeverOwnsTheBlockAndShowsChangesInPlace)
{
    std::vector<std::uint8_t> data(64, 0x00);
    CHexView view;
    view.SetData(data.data(), data.size());
    data[9] = 0x5A;
    view.Refresh();
    EXPECT_EQ(view.RowText(1).substr(6, 7), "  00 5A");
    EXPECT_EQ(view.Data(), data.data());

    view.SetData(nullptr, 0); // before the block goes away
    data.clear();
    data.shrink_to_fit();
    EXPECT_EQ(view.Size(), 0u);
    EXPECT_EQ(view.RowCount(), 0u);
    EXPECT_EQ(view.FirstVisibleOffset(), 0u);
    EXPECT_EQ(view.LastVisibleOffset(), 0u);
    EXPECT_FALSE(view.IsOffsetVisible(0));
    view.resize(300, 200);
    view.show();
    Paint(view); // the header alone
    EXPECT_EQ(view.LastPaintedRows(), 0);
}

TEST(HexView, VisibleRangeFollowsScrollingAndSizeAndOnlyVisibleRowsArePainted)
{
    // 16 MB: the scroll range covers every row; a paint draws one screen of them.
    std::vector<std::uint8_t> data(16u * 1024 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    CHexView view;
    view.resize(400, 300);
    view.show();
    view.SetData(data.data(), data.size());
    const int rows = view.VisibleRows();
    ASSERT_GT(rows, 3);
    EXPECT_EQ(view.FirstVisibleOffset(), 0u);
    EXPECT_EQ(view.LastVisibleOffset(), static_cast<std::size_t>(rows) * 8 - 1);
    EXPECT_EQ(static_cast<std::size_t>(view.verticalScrollBar()->maximum()), data.size() / 8 - rows);

    Paint(view);
    EXPECT_GE(view.LastPaintedRows(), rows);
    EXPECT_LE(view.LastPaintedRows(), rows + 1);

    view.ScrollToOffset(0x800000 + 5);
    EXPECT_EQ(view.FirstVisibleOffset(), 0x800000u);
    EXPECT_TRUE(view.IsOffsetVisible(0x800000 + static_cast<std::size_t>(rows) * 8 - 1));
    EXPECT_FALSE(view.IsOffsetVisible(0x800000 + static_cast<std::size_t>(rows) * 8));
    EXPECT_FALSE(view.IsOffsetVisible(0x7FFFFF));

    // The end: the last row is the last on screen, the last offset the last byte.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    EXPECT_EQ(view.LastVisibleOffset(), data.size() - 1);
    Paint(view);
    EXPECT_LE(view.LastPaintedRows(), rows);

    // A taller window shows more rows.
    view.verticalScrollBar()->setValue(0);
    view.resize(400, 600);
    QApplication::processEvents();
    EXPECT_GT(view.VisibleRows(), rows);
    EXPECT_EQ(view.LastVisibleOffset(), static_cast<std::size_t>(view.VisibleRows()) * 8 - 1);
}

TEST(HexView, ABlockShorterThanTheScreenEndsAtItsLastByte)
{
    const std::vector<std::uint8_t> data(13, 0x11);
    CHexView view;
    view.resize(400, 300);
    view.show();
    view.SetData(data.data(), data.size());
    EXPECT_EQ(view.FirstVisibleOffset(), 0u);
    EXPECT_EQ(view.LastVisibleOffset(), 12u);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    view.ScrollToOffset(1000); // beyond the end: stays at the top
    EXPECT_EQ(view.FirstVisibleOffset(), 0u);
    Paint(view);
    EXPECT_EQ(view.LastPaintedRows(), 2);
}

TEST(HexView, KeysScrollByRowAndPage)
{
    std::vector<std::uint8_t> data(4096, 0x22);
    CHexView view;
    view.resize(400, 300);
    view.show();
    view.SetData(data.data(), data.size());
    const std::size_t page = static_cast<std::size_t>(view.verticalScrollBar()->pageStep());
    QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&view, &pageDown);
    EXPECT_EQ(view.FirstVisibleOffset(), page * 8);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&view, &down);
    EXPECT_EQ(view.FirstVisibleOffset(), page * 8 + 8);
}

} // namespace
