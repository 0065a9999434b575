// The mouse: selecting by press and drag, the focus cell's click that edits, dragging selected
// cells out, sizing rows and columns at their dividers, right clicks, the wheel, header clicks,
// title tips on hover and the auto-scroll timer.

#include "GridTestSupport.h"

#include "controls/ui/grid/GridInPlaceEdit.h"

#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

class MouseGrid : public TestGrid {
public:
    using TestGrid::m_bColumnCanVanish;
    using TestGrid::m_bRowMode;
    using TestGrid::m_bShowTips;
    using TestGrid::m_bZeroWidthPick;
    using TestGrid::m_nTrackPos;
    using TestGrid::m_nWheelLines;
    using TestGrid::m_Tip;
    using TestGrid::TestGrid;

    struct Notice {
        int code;
        CGridCellPos cell;
        friend bool operator==(const Notice&, const Notice&) = default;
    };
    std::vector<Notice> notices;
    int drags = 0;
    struct Sort {
        int col;
        BOOL ascending;
        friend bool operator==(const Sort&, const Sort&) = default;
    };
    std::vector<Sort> sorts;

    void Listen()
    {
        SetOwnerHandler([this](GridNotify& n) {
            if (n.code != GN_BEGINEDIT && n.code != GN_ENDEDIT)
                notices.push_back({ n.code, { n.row, n.col } });
            return 0;
        });
    }
    std::vector<int> Codes() const
    {
        std::vector<int> codes;
        for (const Notice& n : notices)
            codes.push_back(n.code);
        return codes;
    }
    Qt::DropAction RunDrag(QMimeData* data) override
    {
        std::unique_ptr<QMimeData> owned(data);
        ++drags;
        return Qt::IgnoreAction;
    }
    BOOL SortItems(int col, BOOL ascending, qintptr) override
    {
        sorts.push_back({ col, ascending });
        m_nSortedColumn = col;
        m_bSortUp = ascending;
        return TRUE;
    }
};

class GridMouse : public gridtest::GridWindowTest {
protected:
    // Columns 30 | 60 60 60 60, rows 20 | 20 x 6, one fixed row and column, a 300 x 120 viewport
    // (rows 1 to 4 and a part of 5 show); texts "rNcM".
    std::unique_ptr<MouseGrid> Grid()
    {
        auto grid = MakeGrid<MouseGrid>({ 30, 60, 60, 60, 60 }, std::vector<int>(7, 20), 1, 1, 300, 120);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                grid->SetItemText(row, col, QString("r%1c%2").arg(row).arg(col));
        grid->SetModified(FALSE);
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
        grid->Listen();
        return grid;
    }
    static QPoint At(MouseGrid& grid, int row, int col, QPoint offset = QPoint(10, 10))
    {
        WinRect rect;
        grid.GetCellRect(row, col, rect);
        return QPoint(rect.left, rect.top) + offset;
    }
    static void Send(MouseGrid& grid, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
        Qt::KeyboardModifiers mods = {})
    {
        QWidget* viewport = grid.viewport();
        QMouseEvent event(type, at, viewport->mapToGlobal(at), button, buttons, mods);
        QApplication::sendEvent(viewport, &event);
    }
    static void Press(MouseGrid& g, QPoint at, Qt::KeyboardModifiers mods = {})
    {
        Send(g, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, mods);
    }
    static void Drag(MouseGrid& g, QPoint at, Qt::KeyboardModifiers mods = {})
    {
        Send(g, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, mods);
    }
    static void Hover(MouseGrid& g, QPoint at) { Send(g, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); }
    static void Release(MouseGrid& g, QPoint at, Qt::KeyboardModifiers mods = {})
    {
        Send(g, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, mods);
    }
    static void Click(MouseGrid& g, QPoint at, Qt::KeyboardModifiers mods = {})
    {
        Press(g, at, mods);
        Release(g, at, mods);
    }
    // Press, release, double click, release: what Qt delivers for a double click.
    static void DoubleClick(MouseGrid& g, QPoint at)
    {
        Press(g, at);
        Release(g, at);
        Send(g, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        Release(g, at);
    }
    static CGridInPlaceEdit* Editor(MouseGrid& g)
    {
        for (CGridInPlaceEdit* e : g.viewport()->findChildren<CGridInPlaceEdit*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
};

TEST_F(GridMouse, AClickOnTheFocusCellEditsOnRelease)
{
    for (int jitter : { 0, 1 }) {
        SCOPED_TRACE(jitter);
        auto grid = Grid();
        Click(*grid, At(*grid, 2, 2));
        EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(2, 2));
        EXPECT_EQ(Editor(*grid), nullptr) << "the first click only focuses";
        Press(*grid, At(*grid, 2, 2));
        EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_PREPARE_EDIT);
        EXPECT_EQ(Editor(*grid), nullptr) << "not on press";
        Drag(*grid, At(*grid, 2, 2) + QPoint(jitter, 0));
        Release(*grid, At(*grid, 2, 2) + QPoint(jitter, 0));
        CGridInPlaceEdit* edit = Editor(*grid);
        ASSERT_NE(edit, nullptr);
        EXPECT_FALSE(edit->ExitsOnArrows()) << "a mouse start";
        EXPECT_EQ(edit->cursorPosition(), edit->text().size());
    }
    // Toggle-bit mode with drag and drop on: one flip per click.
    auto grid = Grid();
    grid->SetToggleBitMode();
    grid->SetDragAndDrop();
    grid->SetItemText(2, 2, "1");
    QSignalSpy toggled(grid.get(), &CGridCtrl::bitsToggled);
    Click(*grid, At(*grid, 2, 2));
    EXPECT_EQ(toggled.count(), 0);
    Press(*grid, At(*grid, 2, 2));
    Drag(*grid, At(*grid, 2, 2) + QPoint(1, 1));
    Release(*grid, At(*grid, 2, 2) + QPoint(1, 1));
    EXPECT_EQ(toggled.count(), 1);
    EXPECT_EQ(grid->GetItemText(2, 2), "0");
    EXPECT_EQ(grid->drags, 0);
}

TEST_F(GridMouse, DraggingSelects)
{
    auto grid = Grid();
    Press(*grid, At(*grid, 1, 1));
    Drag(*grid, At(*grid, 2, 2));
    Drag(*grid, At(*grid, 3, 3));
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(3, 3));
    Release(*grid, At(*grid, 3, 3));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 1, 3, 3));
    EXPECT_EQ(grid->GetSelectedCount(), 9);
    ASSERT_GE(grid->notices.size(), 3u);
    EXPECT_EQ(grid->notices.front(), (MouseGrid::Notice { GN_SELCHANGING, { 1, 1 } }));
    EXPECT_EQ(grid->Codes(), (std::vector<int> { GN_SELCHANGING, GN_SELCHANGED, GN_CLICK }));
    EXPECT_EQ(grid->notices[1].cell, CGridCellPos(3, 3));

    // Ctrl adds to what was selected; Shift extends from the selection start.
    Click(*grid, At(*grid, 5, 4), Qt::ControlModifier);
    EXPECT_EQ(grid->GetSelectedCount(), 10);
    Click(*grid, At(*grid, 4, 1));
    Click(*grid, At(*grid, 5, 2), Qt::ShiftModifier);
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(4, 1, 5, 2));
    EXPECT_EQ(grid->GetSelectedCount(), 4);

    // Shift without a selection start extends from the focus cell.
    grid = Grid();
    grid->SetFocusCell(2, 2);
    grid->m_AnchorCell = CGridCellPos();
    Click(*grid, At(*grid, 3, 3), Qt::ShiftModifier);
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(2, 2, 3, 3));

    // List mode selects whole rows.
    grid = Grid();
    grid->SetListMode();
    Press(*grid, At(*grid, 1, 2));
    Drag(*grid, At(*grid, 2, 3));
    Release(*grid, At(*grid, 2, 3));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 1, 2, 4));
}

TEST_F(GridMouse, PressOnASelectedCellWithDragAndDrop)
{
    auto grid = Grid();
    grid->SetDragAndDrop();
    grid->SelectCells(2, 2, 3, 3);
    grid->SetFocusCell(3, 3);
    Press(*grid, At(*grid, 2, 2));
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_PREPARE_DRAG);
    Release(*grid, At(*grid, 2, 2));
    EXPECT_EQ(grid->Codes(), (std::vector<int> { GN_CLICK, GN_SELCHANGING, GN_SELCHANGED }));
    EXPECT_EQ(grid->GetSelectedCount(), 0);
    EXPECT_FALSE(grid->GetFocusCell().IsValid());
    EXPECT_EQ(grid->drags, 0);

    grid->SelectCells(2, 2, 3, 3);
    Press(*grid, At(*grid, 2, 2));
    Drag(*grid, At(*grid, 2, 2) + QPoint(1, 0));
    EXPECT_EQ(grid->drags, 0) << "within the drag distance";
    Drag(*grid, At(*grid, 2, 2) + QPoint(QApplication::startDragDistance() + 1, 0));
    EXPECT_EQ(grid->drags, 1);
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_NOTHING);
}

TEST_F(GridMouse, DividersSizeTheirLines)
{
    auto grid = Grid();
    // Column 2 spans x 90..149 (its right line at 149); column 1's divider is at x 89.
    const QPoint divider(89, 10);
    Hover(*grid, divider);
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_OVER_COLUMN_DIVIDER);
    EXPECT_EQ(grid->viewport()->cursor().shape(), Qt::SizeHorCursor);
    Hover(*grid, QPoint(10, 39));
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_OVER_ROW_DIVIDER);
    EXPECT_EQ(grid->viewport()->cursor().shape(), Qt::SizeVerCursor);
    Hover(*grid, At(*grid, 2, 2));
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_NOTHING);

    // Dragging column 1's divider to x 120 makes it 90 wide, its left edge at 30.
    Hover(*grid, divider);
    Press(*grid, divider);
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_SIZING_COLUMN);
    Drag(*grid, QPoint(120, 10));
    EXPECT_EQ(grid->m_nTrackPos, 120);
    Release(*grid, QPoint(120, 10));
    EXPECT_EQ(grid->GetColumnWidth(1), 90);
    EXPECT_EQ(grid->m_nTrackPos, -1) << "the band is gone";
    EXPECT_TRUE(grid->notices.empty()) << "sizing selects nothing";

    // The band stays within the client width less the fixed columns from the left edge.
    Hover(*grid, QPoint(119, 10));
    Press(*grid, QPoint(119, 10));
    Drag(*grid, QPoint(299, 10));
    EXPECT_LE(grid->m_nTrackPos, 30 + 300 - 30 + 1);
    Drag(*grid, QPoint(5, 10));
    EXPECT_EQ(grid->m_nTrackPos, 31) << "one pixel right of the left edge";
    Release(*grid, QPoint(5, 10));
    EXPECT_EQ(grid->GetColumnWidth(1), 1) << "the band's least";

    // Without vanishing, too, a drag onto the left edge leaves one pixel.
    grid->SetColumnWidth(1, 60);
    grid->m_bColumnCanVanish = FALSE;
    Hover(*grid, divider);
    Press(*grid, divider);
    Release(*grid, QPoint(31, 10));
    EXPECT_EQ(grid->GetColumnWidth(1), 1);

    // A hidden column right of the fixed one: with zero-width picks on, the divider at its
    // place picks it; off, the press sizes the visible one to its left.
    grid = Grid();
    grid->SetColumnWidth(2, 0);
    const QPoint atHidden(91, 10); // near column 3's left edge (x 90)
    Hover(*grid, atHidden);
    Press(*grid, atHidden);
    Release(*grid, QPoint(110, 10));
    EXPECT_EQ(grid->GetColumnWidth(2), 20);
    EXPECT_EQ(grid->GetColumnWidth(1), 60);
    grid->SetColumnWidth(2, 0);
    grid->m_bZeroWidthPick = FALSE;
    Hover(*grid, atHidden);
    Press(*grid, atHidden);
    Release(*grid, QPoint(110, 10));
    EXPECT_EQ(grid->GetColumnWidth(2), 0);
    EXPECT_EQ(grid->GetColumnWidth(1), 80);

    // The last column, hidden, is picked at the right edge of the visible cells.
    grid = Grid();
    grid->SetColumnWidth(4, 0);
    const QPoint edge(209, 10); // column 3 ends at 209
    Hover(*grid, edge);
    Press(*grid, edge);
    Release(*grid, QPoint(240, 10));
    EXPECT_EQ(grid->GetColumnWidth(4), 30);
    EXPECT_EQ(grid->GetColumnWidth(3), 60);

    // A double click on a divider sizes the column left of it to its widest text.
    grid = Grid();
    grid->SetItemText(3, 1, "a much longer text than the others");
    const int widest = grid->GetCell(3, 1)->GetCellExtent().width();
    DoubleClick(*grid, divider);
    EXPECT_EQ(grid->GetColumnWidth(1), widest);
    EXPECT_EQ(grid->GetColumnWidth(2), 60);
}

TEST_F(GridMouse, RowDividersAndTheInvertedBand)
{
    auto grid = Grid();
    // Row 1 spans y 20..39; its divider is at y 39.
    const QPoint divider(10, 39);
    const QImage before = grid->viewport()->grab().toImage();
    Hover(*grid, divider);
    Press(*grid, divider);
    EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_SIZING_ROW);
    Drag(*grid, QPoint(10, 70));
    EXPECT_EQ(grid->m_nTrackPos, 70);
    // The band is two inverted pixel rows across the whole client width, drawn by the paint.
    const QImage during = grid->viewport()->grab().toImage();
    for (const QPoint at : { QPoint(5, 69), QPoint(150, 70), QPoint(grid->viewport()->width() - 1, 69) })
        EXPECT_EQ(during.pixel(at) & 0xFFFFFF, ~before.pixel(at) & 0xFFFFFF) << at.x() << "," << at.y();
    for (const QPoint at : { QPoint(150, 68), QPoint(150, 71) })
        EXPECT_EQ(during.pixel(at), before.pixel(at)) << at.x() << "," << at.y();
    Release(*grid, QPoint(10, 70));
    EXPECT_EQ(grid->GetRowHeight(1), 50) << "the distance from the row's top edge";
    EXPECT_EQ(grid->GetColumnWidth(1), 60);
    EXPECT_EQ(grid->m_nTrackPos, -1);

    // Losing the focus mid-press stops the auto-scroll timer.
    Press(*grid, At(*grid, 2, 2));
    ASSERT_TRUE(grid->IsTimerArmed(GRID_SCROLL_TIMER));
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(grid.get(), &out);
    EXPECT_FALSE(grid->IsTimerArmed(GRID_SCROLL_TIMER));
    Release(*grid, At(*grid, 2, 2));
}

TEST_F(GridMouse, RightClicksAndReleases)
{
    auto grid = Grid();
    QSignalSpy released(grid.get(), &CGridCtrl::cellReleased);
    grid->setObjectName("77");
    const auto Right = [&](QPoint at) {
        Send(*grid, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
        Send(*grid, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
    };
    grid->SetColumnWidth(4, 20);
    Right(QPoint(290, 50));
    ASSERT_EQ(grid->notices.size(), 1u);
    EXPECT_EQ(grid->notices[0], (MouseGrid::Notice { GN_RCLICK, { -1, -1 } }));
    Right(At(*grid, 0, 3));
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(1, 3));
    EXPECT_EQ(grid->notices.back(), (MouseGrid::Notice { GN_RCLICK, { 1, 3 } }));
    Right(At(*grid, 4, 0));
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(4, 1));
    QCoreApplication::processEvents();
    EXPECT_EQ(released.count(), 0) << "right releases are no left releases";

    // Every left release after a press on a cell, once, through the queue.
    Click(*grid, At(*grid, 2, 2));
    EXPECT_EQ(released.count(), 0) << "queued";
    QCoreApplication::processEvents();
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.at(0).at(0).toInt(), 77);
    Click(*grid, At(*grid, 0, 2));
    Click(*grid, QPoint(290, 50));
    QCoreApplication::processEvents();
    EXPECT_EQ(released.count(), 2) << "a press outside the cells reports nothing";
}

TEST_F(GridMouse, Wheel)
{
    const auto Wheel = [](MouseGrid& g, int delta) {
        QWheelEvent event(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(g.viewport(), &event);
    };
    auto grid = MakeGrid<MouseGrid>({ 30, 60 }, std::vector<int>(40, 20), 1, 1, 100, 100);
    grid->m_nWheelLines = 3;
    grid->SetScrollPos32(GRID_SB_VERT, 200);
    Wheel(*grid, 120);
    EXPECT_EQ(grid->GetScrollPos32(GRID_SB_VERT), 140) << "three lines up";
    for (int i = 0; i < 8; ++i)
        Wheel(*grid, -15);
    EXPECT_EQ(grid->GetScrollPos32(GRID_SB_VERT), 200) << "eight small deltas make a notch";
    grid->m_nWheelLines = -1;
    Wheel(*grid, -120);
    auto twin = MakeGrid<MouseGrid>({ 30, 60 }, std::vector<int>(40, 20), 1, 1, 100, 100);
    twin->SetScrollPos32(GRID_SB_VERT, 200);
    twin->OnVScroll(GRID_SB_PAGEDOWN);
    EXPECT_GT(twin->GetScrollPos32(GRID_SB_VERT), 260);
    EXPECT_EQ(grid->GetScrollPos32(GRID_SB_VERT), twin->GetScrollPos32(GRID_SB_VERT)) << "a page per notch";
}

TEST_F(GridMouse, HeaderClicks)
{
    auto grid = Grid();
    Click(*grid, At(*grid, 0, 0));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 1, 6, 4));
    Click(*grid, At(*grid, 0, 2));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 2, 6, 2));
    Click(*grid, At(*grid, 3, 0));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(3, 1, 3, 4));
    EXPECT_TRUE(grid->sorts.empty());

    grid->ResetSelectedRange();
    grid->SetFixedRowSelection(FALSE);
    grid->SetFixedColumnSelection(FALSE);
    Click(*grid, At(*grid, 0, 2));
    Click(*grid, At(*grid, 3, 0));
    EXPECT_EQ(grid->GetSelectedCount(), 0);

    grid->SetHeaderSort();
    EXPECT_TRUE(grid->GetHeaderSort());
    Click(*grid, At(*grid, 0, 2));
    Click(*grid, At(*grid, 0, 2));
    Click(*grid, At(*grid, 0, 3));
    EXPECT_EQ(grid->sorts, (std::vector<MouseGrid::Sort> { { 2, TRUE }, { 2, FALSE }, { 3, TRUE } }));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is released";
}

TEST_F(GridMouse, TipsOnHoverAndTheScrollTimer)
{
    auto grid = Grid();
    grid->SetItemText(2, 2, "a text far too long for its cell");
    Hover(*grid, At(*grid, 2, 2));
    EXPECT_TRUE(grid->m_Tip.isVisible());
    Hover(*grid, At(*grid, 2, 3));
    EXPECT_FALSE(grid->m_Tip.isVisible()) << "the next cell fits";
    grid->SetItemText(2, 3, "another text far too long for its cell");
    Hover(*grid, At(*grid, 2, 3, QPoint(12, 10)));
    EXPECT_TRUE(grid->m_Tip.isVisible());
    EXPECT_EQ(grid->m_Tip.ShownText(), " another text far too long for its cell ");
    QCursor::setPos(grid->viewport()->mapToGlobal(QPoint(5, 200)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(grid->viewport(), &leave);
    EXPECT_FALSE(grid->m_Tip.isVisible()) << "leaving the grid";

    grid->m_bShowTips = FALSE;
    Hover(*grid, At(*grid, 2, 2));
    EXPECT_FALSE(grid->m_Tip.isVisible());
    grid->m_bShowTips = TRUE;
    grid->SetFocusCell(2, 2);
    grid->BeginCellEdit(2, 2, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    Hover(*grid, At(*grid, 2, 2));
    EXPECT_FALSE(grid->m_Tip.isVisible()) << "an edited cell";

    // A press and a drag below the client area run the auto-scroll timer until the release.
    grid = Grid();
    Press(*grid, At(*grid, 2, 2));
    EXPECT_TRUE(grid->IsTimerArmed(GRID_SCROLL_TIMER));
    Drag(*grid, QPoint(100, 200));
    for (int tick = 0; tick < 5; ++tick)
        grid->OnTimer(GRID_SCROLL_TIMER);
    EXPECT_GT(grid->GetScrollPos32(GRID_SB_VERT), 0);
    EXPECT_EQ(grid->GetFocusCell().row, 6);
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(2, 2, 6, 2)) << "the selection follows";
    Release(*grid, QPoint(100, 200));
    EXPECT_FALSE(grid->IsTimerArmed(GRID_SCROLL_TIMER));
}

} // namespace
