#include "buffer/ui/HexEditBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <vector>

namespace {

// Paints the visible part once, as a screen update would.
void Paint(CHexEditBase& view)
{
    QPixmap pixmap(view.viewport()->size());
    view.viewport()->render(&pixmap);
}

TEST(HexEdit, RowsShowAddressBytesAndCharactersUnderTheOffsetTitle)
{
    const std::vector<std::uint8_t> data { 0x41, 0x42, 0x00, 0xFF, 0x7E, 0x20, 0x31, 0x0A, 0x10, 0x11, 0x12 };
    CHexEditBase view;
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

TEST(HexEdit, NeverOwnsTheBlockAndShowsChangesInPlace)
{
    std::vector<std::uint8_t> data(64, 0x00);
    CHexEditBase view;
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

TEST(HexEdit, VisibleRangeFollowsScrollingAndSizeAndOnlyVisibleRowsArePainted)
{
    // 16 MB: the scroll range covers every row; a paint draws one screen of them.
    std::vector<std::uint8_t> data(16u * 1024 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    CHexEditBase view;
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

TEST(HexEdit, ABlockShorterThanTheScreenEndsAtItsLastByte)
{
    const std::vector<std::uint8_t> data(13, 0x11);
    CHexEditBase view;
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

TEST(HexEdit, KeysScrollByRowAndPage)
{
    std::vector<std::uint8_t> data(4096, 0x22);
    CHexEditBase view;
    view.resize(400, 300);
    view.show();
    view.SetData(data.data(), data.size());
    const std::size_t page = static_cast<std::size_t>(view.verticalScrollBar()->pageStep());
    QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&view, &pageDown);
    EXPECT_EQ(view.FirstVisibleOffset(), page * 8);
    EXPECT_EQ(view.Cursor(), page * 8);
    // The cursor moves a row; the view scrolls only when the cursor would leave it.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&view, &down);
    EXPECT_EQ(view.Cursor(), page * 8 + 8);
    EXPECT_EQ(view.FirstVisibleOffset(), page * 8);
    for (std::size_t i = 0; i < page; ++i)
        QApplication::sendEvent(&view, &down);
    EXPECT_EQ(view.FirstVisibleOffset(), page * 8 + 16);
}

void Key(CHexEditBase& view, int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&view, &press);
}

void Type(CHexEditBase& view, const std::string& text)
{
    for (char c : text)
        Key(view, c >= 'a' && c <= 'z' ? c - 'a' + Qt::Key_A : c, QString(QChar::fromLatin1(c)));
}

void Click(CHexEditBase& view, const QPoint& at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent press(
        QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, modifiers);
    QApplication::sendEvent(view.viewport(), &release);
}

TEST(HexEdit, EditsByKeyAndClick)
{
    using Column = CHexEditBase::Column;
    struct Case {
        const char* name;
        std::function<void(CHexEditBase&)> act;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes; // changed bytes of 00 01 02 ... 0F
        std::size_t cursor;
        Column column = Column::Hex;
        int nibble = 0;
        std::optional<std::pair<std::size_t, std::size_t>> selection = {};
    };
    const Case cases[] = {
        { "both nibbles", [](CHexEditBase& v) { Type(v, "aB"); }, { { 0, 0xAB } }, 1 },
        { "the high nibble only",
            [](CHexEditBase& v) {
                v.SetCursor(2);
                Type(v, "7");
            },
            { { 2, 0x72 } }, 2, Column::Hex, 1 },
        { "characters after Tab",
            [](CHexEditBase& v) {
                Key(v, Qt::Key_Tab);
                Type(v, "Hi");
            },
            { { 0, 'H' }, { 1, 'i' } }, 2, Column::Chars },
        { "Tab twice is back in hex",
            [](CHexEditBase& v) {
                Key(v, Qt::Key_Tab);
                Key(v, Qt::Key_Tab);
                Type(v, "1");
            },
            { { 0, 0x10 } }, 0, Column::Hex, 1 },
        { "typing over a selection edits its start",
            [](CHexEditBase& v) {
                v.Select(4, 7);
                Type(v, "ff");
            },
            { { 4, 0xFF } }, 5 },
        { "the last byte keeps the cursor",
            [](CHexEditBase& v) {
                v.SetCursor(15);
                Type(v, "12");
            },
            { { 15, 0x12 } }, 15 },
        { "the last character keeps the cursor",
            [](CHexEditBase& v) {
                v.SetCursor(15, Column::Chars);
                Type(v, "xy");
            },
            { { 15, 'y' } }, 15, Column::Chars },
        { "a non-hex key",
            [](CHexEditBase& v) {
                v.SetCursor(3);
                Type(v, "g");
            },
            {}, 3 },
        { "a control character in the character column",
            [](CHexEditBase& v) {
                v.SetCursor(3, Column::Chars);
                Key(v, Qt::Key_Escape, "\x1b");
            },
            {}, 3, Column::Chars },
        { "Delete, Backspace and Insert change no byte",
            [](CHexEditBase& v) {
                v.SetCursor(6);
                Key(v, Qt::Key_Delete);
                Key(v, Qt::Key_Backspace);
                Key(v, Qt::Key_Insert);
            },
            {}, 6 },
        { "a click on a low nibble",
            [](CHexEditBase& v) {
                Click(v, v.CellRect(1, v.HexTextColumn(2) + 1).center());
                Type(v, "5");
            },
            { { 10, 0x05 } }, 11 },
        { "a click in the character column",
            [](CHexEditBase& v) {
                Click(v, v.CellRect(0, v.CharTextColumn(6)).center());
                Type(v, "Z");
            },
            { { 6, 'Z' } }, 7, Column::Chars },
        { "Shift+click extends",
            [](CHexEditBase& v) {
                v.SetCursor(3);
                Click(v, v.CellRect(1, v.HexTextColumn(1)).center(), Qt::ShiftModifier);
            },
            {}, 9, Column::Hex, 0, std::pair<std::size_t, std::size_t> { 3, 9 } },
        { "Shift+Right extends",
            [](CHexEditBase& v) {
                v.SetCursor(3);
                Key(v, Qt::Key_Right, {}, Qt::ShiftModifier);
                Key(v, Qt::Key_Right, {}, Qt::ShiftModifier);
            },
            {}, 5, Column::Hex, 0, std::pair<std::size_t, std::size_t> { 3, 5 } },
        { "Home, End, Ctrl+End",
            [](CHexEditBase& v) {
                v.SetCursor(10);
                Key(v, Qt::Key_Home);
                EXPECT_EQ(v.Cursor(), 8u);
                Key(v, Qt::Key_End);
                EXPECT_EQ(v.Cursor(), 15u);
                Key(v, Qt::Key_Home, {}, Qt::ControlModifier);
                EXPECT_EQ(v.Cursor(), 0u);
                Key(v, Qt::Key_End, {}, Qt::ControlModifier);
            },
            {}, 15 },
        { "Ctrl+A", [](CHexEditBase& v) { Key(v, Qt::Key_A, "a", Qt::ControlModifier); }, {}, 15, Column::Hex, 0,
            std::pair<std::size_t, std::size_t> { 0, 15 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> data(16);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i);
        CHexEditBase view;
        view.resize(700, 300);
        view.show();
        view.SetData(data.data(), data.size());
        std::vector<std::pair<std::size_t, std::size_t>> changes;
        QObject::connect(&view, &CHexEditBase::changed,
            [&](std::size_t offset, std::size_t count) { changes.emplace_back(offset, count); });
        c.act(view);
        std::vector<std::uint8_t> want(16);
        for (std::size_t i = 0; i < want.size(); ++i)
            want[i] = static_cast<std::uint8_t>(i);
        for (const auto& [at, value] : c.bytes)
            want[at] = value;
        EXPECT_EQ(data, want);
        EXPECT_EQ(view.Cursor(), c.cursor);
        EXPECT_EQ(view.CursorColumn(), c.column);
        EXPECT_EQ(view.Nibble(), c.nibble);
        EXPECT_EQ(view.HasSelection(), c.selection.has_value());
        if (c.selection) {
            EXPECT_EQ(view.SelectionStart(), c.selection->first);
            EXPECT_EQ(view.SelectionEnd(), c.selection->second);
        }
        EXPECT_EQ(changes.empty(), c.bytes.empty()) << "a change is announced, no change is not";
    }
}

TEST(HexEdit, DragSelectsAndScrollsAtTheEdge)
{
    std::vector<std::uint8_t> data(4096, 0x33);
    CHexEditBase view;
    view.resize(700, 300);
    view.show();
    view.SetData(data.data(), data.size());
    auto send = [&](QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    };
    send(QEvent::MouseButtonPress, view.CellRect(0, view.HexTextColumn(1)).center(), Qt::LeftButton);
    send(QEvent::MouseMove, view.CellRect(1, view.HexTextColumn(2)).center(), Qt::LeftButton);
    EXPECT_TRUE(view.HasSelection());
    EXPECT_EQ(view.SelectionStart(), 1u);
    EXPECT_EQ(view.SelectionEnd(), 10u);
    // Below the last row the view scrolls a row and the selection follows.
    send(QEvent::MouseMove, QPoint(view.CellRect(0, view.HexTextColumn(0)).center().x(), view.viewport()->height() + 5),
        Qt::LeftButton);
    EXPECT_EQ(view.FirstVisibleOffset(), 8u);
    EXPECT_GT(view.SelectionEnd(), 10u);
    send(QEvent::MouseButtonRelease, QPoint(10, 40), Qt::NoButton);
    EXPECT_EQ(view.SelectionStart(), 1u);
}

TEST(HexEdit, TheGateAndReadOnlyBlocksRefuseEveryKey)
{
    std::vector<std::uint8_t> data(16, 0x11);
    CHexEditBase view;
    view.resize(700, 300);
    view.show();
    view.SetData(data.data(), data.size());
    bool open = false;
    int asked = 0;
    view.SetGate([&](const char*) {
        ++asked;
        return open;
    });
    Type(view, "ab");
    EXPECT_EQ(data, std::vector<std::uint8_t>(16, 0x11));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(view.Cursor(), 0u);
    open = true;
    Type(view, "ab");
    EXPECT_EQ(data[0], 0xAB);

    const std::vector<std::uint8_t> fixed(16, 0x22);
    view.SetData(fixed.data(), fixed.size());
    EXPECT_TRUE(view.ReadOnly());
    Type(view, "ab");
    EXPECT_EQ(fixed, std::vector<std::uint8_t>(16, 0x22));
}

TEST(HexEdit, AKeyMidwayThrough16MiBRepaintsOnlyItsRow)
{
    std::vector<std::uint8_t> data(16u << 20, 0x00);
    CHexEditBase view;
    view.resize(700, 500);
    view.show();
    view.SetData(data.data(), data.size());
    const std::size_t middle = data.size() / 2 + 3;
    view.SetCursor(middle);
    QApplication::processEvents();
    Type(view, "c");
    EXPECT_EQ(view.LastUpdatedRows(), 1);
    QApplication::processEvents();
    EXPECT_LE(view.LastPaintedRows(), 1);
    EXPECT_EQ(data[middle], 0xC0);
    EXPECT_TRUE(view.IsOffsetVisible(middle));
}

} // namespace
