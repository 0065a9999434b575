// Rows, columns and items: the device dialogs' way of building a grid, insertions and
// deletions, automatic sizing, filling the client area, the next-item scans, selection, and a
// grid in virtual mode.

#include "GridTestSupport.h"

#include "support/RecordingMessageBox.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <numeric>
#include <set>
#include <vector>

using gridtest::TestGrid;

namespace {

class GridItems : public gridtest::GridWindowTest { };

// The size a cell's text needs, from the font's own metrics.
QSize Needs(TestGrid& grid, int row, int col)
{
    const CGridCellBase* cell = grid.GetCell(row, col);
    const QFontMetrics metrics(cell->GetFontObject(), &grid);
    const int margin = static_cast<int>(cell->GetMargin());
    const int fixed = cell->IsFixed() ? 1 : 0;
    return { metrics.horizontalAdvance(cell->GetText()) + 2 * margin + 1 + fixed,
        metrics.height() + 2 * margin + 1 + fixed };
}

TEST_F(GridItems, DeviceDialogBuildSizesEveryLineToItsCells)
{
    TestGrid grid;
    ASSERT_TRUE(grid.Create(QRect(0, 0, 400, 200), nullptr, 1001));
    grid.SetEditable(TRUE);
    grid.SetDragAndDrop(TRUE);
    grid.SetToggleBitMode(TRUE);
    ASSERT_TRUE(grid.SetRowCount(4));
    ASSERT_TRUE(grid.SetColumnCount(9));
    ASSERT_TRUE(grid.SetFixedRowCount(1));
    ASSERT_TRUE(grid.SetFixedColumnCount(1));
    std::map<std::pair<int, int>, QString> texts;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 9; ++col) {
            GRID_ITEM item;
            item.row = row;
            item.col = col;
            item.mask = GI_TEXT | GI_FORMAT;
            item.nFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
            item.strText = row == 0 ? (col == 0 ? "Bits" : QString("Bit %1").arg(8 - col))
                : col == 0          ? QString("Fuse byte %1").arg(row)
                                    : QString((row + col) % 2 ? "1" : "0");
            texts[{ row, col }] = item.strText;
            ASSERT_TRUE(grid.SetItem(&item));
        }
    grid.AutoSize(0);
    grid.Refresh();

    for (int col = 0; col < 9; ++col) {
        int widest = 0;
        for (int row = 0; row < 4; ++row)
            widest = std::max(widest, Needs(grid, row, col).width());
        EXPECT_EQ(grid.GetColumnWidth(col), widest) << "column " << col;
    }
    for (int row = 0; row < 4; ++row) {
        int highest = 0;
        for (int col = 0; col < 9; ++col)
            highest = std::max(highest, Needs(grid, row, col).height());
        EXPECT_EQ(grid.GetRowHeight(row), highest) << "row " << row;
    }
    for (const auto& [pos, text] : texts)
        EXPECT_EQ(grid.GetItemText(pos.first, pos.second), text);
    EXPECT_TRUE(grid.Consistent());
}

TEST_F(GridItems, InsertionsAndDeletionsKeepCountsFocusAndSelection)
{
    struct Step {
        const char* what;
        std::function<int(TestGrid&)> run;
        int result;
        int rows, cols, fixedRows, fixedCols;
        CGridCellPos focus; // (-2, -2): not checked
    };
    const CGridCellPos any(-2, -2);
    const std::vector<Step> steps = {
        { "a column into an empty grid makes a row first", [](TestGrid& g) { return g.InsertColumn("A"); }, 0, 1, 1, 0,
            0, any },
        { "a column at the count appends", [](TestGrid& g) { return g.InsertColumn("B", DT_LEFT, 1); }, 1, 1, 2, 0, 0,
            any },
        { "a row appended", [](TestGrid& g) { return g.InsertRow("r1"); }, 1, 2, 2, 0, 0, any },
        { "a row at the count is refused", [](TestGrid& g) { return g.InsertRow("x", 2); }, -1, 2, 2, 0, 0, any },
        { "more rows and fixed lines",
            [](TestGrid& g) {
                g.SetRowCount(6);
                g.SetColumnCount(5);
                g.SetFixedRowCount(1);
                g.SetFixedColumnCount(1);
                return 0;
            },
            0, 6, 5, 1, 1, any },
        { "a column below the fixed count is refused", [](TestGrid& g) { return g.InsertColumn("x", DT_LEFT, 0); }, -1,
            6, 5, 1, 1, any },
        { "a row below the fixed count is refused", [](TestGrid& g) { return g.InsertRow("x", 0); }, -1, 6, 5, 1, 1,
            any },
        { "focus and a selection",
            [](TestGrid& g) {
                g.SetFocusCell(3, 3);
                g.SetSelectedRange(2, 2, 4, 4);
                return 0;
            },
            0, 6, 5, 1, 1, { 3, 3 } },
        { "a row inserted before the focus moves it down", [](TestGrid& g) { return g.InsertRow("new", 2); }, 2, 7, 5,
            1, 1, { 4, 3 } },
        { "a column inserted at the focus moves it right",
            [](TestGrid& g) { return g.InsertColumn("new", DT_LEFT, 3); }, 3, 7, 6, 1, 1, { 4, 4 } },
        { "a row deleted before the focus moves it up", [](TestGrid& g) { return g.DeleteRow(1); }, TRUE, 6, 6, 1, 1,
            { 3, 4 } },
        { "a column deleted before it moves it left", [](TestGrid& g) { return g.DeleteColumn(2); }, TRUE, 6, 5, 1, 1,
            { 3, 3 } },
        { "deleting the focus row clears the focus", [](TestGrid& g) { return g.DeleteRow(3); }, TRUE, 5, 5, 1, 1,
            { -1, -1 } },
        { "a fixed row deleted lowers the fixed count", [](TestGrid& g) { return g.DeleteRow(0); }, TRUE, 4, 5, 0, 1,
            any },
        { "a fixed column deleted lowers the fixed count", [](TestGrid& g) { return g.DeleteColumn(0); }, TRUE, 4, 4, 0,
            0, any },
        { "out of range", [](TestGrid& g) { return g.DeleteRow(4) || g.DeleteColumn(-1); }, FALSE, 4, 4, 0, 0, any },
        { "non-fixed rows go",
            [](TestGrid& g) {
                g.SetFixedRowCount(2);
                return g.DeleteNonFixedRows();
            },
            TRUE, 2, 4, 2, 0, any },
        { "a row into a grid without columns makes a column first",
            [](TestGrid& g) {
                g.DeleteAllItems();
                return g.InsertRow("only");
            },
            0, 1, 1, 0, 0, { -1, -1 } },
    };
    TestGrid grid;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.run(grid), s.result);
        EXPECT_EQ(grid.GetRowCount(), s.rows);
        EXPECT_EQ(grid.GetColumnCount(), s.cols);
        EXPECT_EQ(grid.GetFixedRowCount(), s.fixedRows);
        EXPECT_EQ(grid.GetFixedColumnCount(), s.fixedCols);
        if (s.focus.row != -2) {
            EXPECT_EQ(grid.GetFocusCell(), s.focus);
            if (s.focus.IsValid()) {
                EXPECT_TRUE(grid.GetItemState(s.focus.row, s.focus.col) & GCS_FOCUSED) << "the bit moved with it";
            }
        }
        ASSERT_TRUE(grid.Consistent());
        for (int row = 0; row < grid.GetRowCount(); ++row)
            for (int col = 0; col < grid.GetColumnCount(); ++col)
                EXPECT_EQ(static_cast<bool>(grid.GetItemState(row, col) & GCS_FOCUSED),
                    grid.GetFocusCell() == CGridCellPos(row, col));
    }
}

TEST_F(GridItems, InsertionHeadingsFormatsAndSizes)
{
    TestGrid grid(3, 2, 1, 1);
    const int col = grid.InsertColumn("A wide heading", DT_RIGHT);
    ASSERT_EQ(col, 2);
    EXPECT_EQ(grid.GetItemText(0, col), "A wide heading");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(grid.GetItemFormat(row, col), DT_RIGHT);
    EXPECT_EQ(grid.GetColumnWidth(col), grid.GetTextExtent(0, col, "A wide heading").width());
    const int row = grid.InsertRow("Heading\nin two lines");
    EXPECT_EQ(grid.GetRowHeight(row), grid.GetTextExtent(row, 0, "Heading\nin two lines").height());
    const int empty = grid.InsertRow("");
    EXPECT_EQ(grid.GetRowHeight(empty), grid.m_DefaultHeaderRowCell.GetHeight());
    EXPECT_TRUE(grid.GetModified());
}

CGridCtrl::CellFactory FailAfter(int cells, int& made)
{
    return [cells, &made]() -> std::unique_ptr<CGridCellBase> {
        if (++made > cells)
            throw std::bad_alloc();
        return std::make_unique<CGridCell>();
    };
}

TEST_F(GridItems, InsertionsThatRunOutOfMemoryLeaveTheGridAsItWas)
{
    tonrig::test::RecordingMessageBox boxes;
    TestGrid grid(3, 3, 1, 1);
    grid.SetItemText(1, 1, "keep");
    int made = 0;
    grid.SetDefaultCellType(FailAfter(1, made));
    EXPECT_EQ(grid.InsertColumn("x"), -1);
    EXPECT_EQ(grid.GetColumnCount(), 3);
    made = 0;
    EXPECT_EQ(grid.InsertRow("x", 1), -1);
    EXPECT_EQ(grid.GetRowCount(), 3);
    EXPECT_EQ(grid.GetItemText(1, 1), "keep");
    EXPECT_TRUE(grid.Consistent());
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Out of memory.");

    TestGrid empty;
    made = 0;
    empty.SetDefaultCellType(FailAfter(0, made));
    EXPECT_EQ(empty.InsertColumn("x"), -1);
    EXPECT_EQ(empty.GetRowCount(), 0) << "the row made first goes again";
    EXPECT_TRUE(empty.Consistent());
}

TEST_F(GridItems, AutoSizeTakesTheRowsItsFlagsName)
{
    struct Case {
        UINT flags;
        int fitStyle;
        bool fixedMeasured, othersMeasured;
    };
    const std::vector<Case> cases = {
        { 0, 3, true, true },
        { 0, 1, true, false },
        { 0, 2, false, true },
        { 1, 3, true, false },
        { 2, 3, false, true },
        { 3, 1, true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", fit style " << c.fitStyle);
        TestGrid grid(4, 4, 1, 1);
        grid.SetFitStyle(c.fitStyle);
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 4; ++col)
                grid.SetItemText(row, col, row == 0 ? QString("A long heading %1").arg(col) : QString("x%1").arg(row));
        for (int i = 0; i < 4; ++i) {
            grid.SetColumnWidth(i, 7);
            grid.SetRowHeight(i, 5);
        }
        grid.SetColumnWidth(2, 0);
        grid.SetRowHeight(2, 0);
        grid.AutoSize(c.flags);

        for (int col : { 0, 1, 3 }) {
            int widest = -1;
            for (int row : { 0, 1, 3 })
                if (row == 0 ? c.fixedMeasured : c.othersMeasured)
                    widest = std::max(widest, Needs(grid, row, col).width());
            EXPECT_EQ(grid.GetColumnWidth(col), widest) << "column " << col;
        }
        for (int row : { 0, 1, 3 }) {
            const bool measured = row == 0 ? c.fixedMeasured : c.othersMeasured;
            int highest = 5;
            if (measured) {
                highest = 0;
                for (int col : { 0, 1, 3 })
                    highest = std::max(highest, Needs(grid, row, col).height());
            }
            EXPECT_EQ(grid.GetRowHeight(row), highest) << "row " << row;
        }
        EXPECT_EQ(grid.GetColumnWidth(2), 0) << "hidden stays hidden";
        EXPECT_EQ(grid.GetRowHeight(2), 0);
    }

    // Fit style 1 without fixed rows measures nothing: the widths stay.
    TestGrid grid(3, 3);
    grid.SetFitStyle(1);
    grid.SetItemText(1, 1, "some text");
    const std::vector<int> before = { grid.GetColumnWidth(0), grid.GetColumnWidth(1), grid.GetColumnWidth(2) };
    grid.AutoSize(0);
    grid.AutoSizeColumns(0);
    EXPECT_EQ(before, std::vector<int>({ grid.GetColumnWidth(0), grid.GetColumnWidth(1), grid.GetColumnWidth(2) }));

    grid.SetColumnWidth(2, 0);
    EXPECT_FALSE(grid.AutoSizeColumn(2)) << "hidden";
    EXPECT_FALSE(grid.AutoSizeColumn(3));
    EXPECT_FALSE(grid.AutoSizeColumn(-1));
    grid.SetItemText(0, 1, "a");
    grid.SetItemText(2, 1, "b");
    EXPECT_TRUE(grid.AutoSizeColumn(1, 2));
    EXPECT_EQ(grid.GetColumnWidth(1), Needs(grid, 1, 1).width());
    grid.SetRowHeight(2, 0);
    EXPECT_FALSE(grid.AutoSizeRow(2));
    EXPECT_TRUE(grid.AutoSizeRow(1));
    EXPECT_EQ(grid.GetRowHeight(1), Needs(grid, 1, 1).height());
}

TEST_F(GridItems, ExpandingSharesTheDifference)
{
    struct Case {
        const char* name;
        std::vector<int> widths;
        int client;
        BOOL expandFixed;
        std::vector<int> expected;
        bool clamped = false;
    };
    const std::vector<Case> cases = {
        { "positive, remainder on the first columns", { 30, 40, 50 }, 200, TRUE, { 57, 67, 76 } },
        { "negative, remainder taken from the first", { 30, 40, 50 }, 100, TRUE, { 23, 33, 44 } },
        { "hidden columns keep 0", { 30, 0, 50 }, 121, TRUE, { 51, 0, 70 } },
        { "without the fixed column", { 30, 40, 50 }, 181, FALSE, { 30, 71, 80 } },
        { "a column narrower than its share stops at 1", { 2, 100, 100 }, 100, TRUE, { 1, 66, 66 }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = MakeGrid(c.widths, { 20, 20 }, 1, 1, c.client, 60);
        ASSERT_EQ(grid->viewport()->width(), c.client);
        grid->ExpandColumnsToFit(c.expandFixed);
        std::vector<int> widths;
        for (int col = 0; col < grid->GetColumnCount(); ++col)
            widths.push_back(grid->GetColumnWidth(col));
        EXPECT_EQ(widths, c.expected);
        EXPECT_EQ(grid->GetScrollBarsShown() & 1, c.clamped ? 1 : 0) << "the bar is off unless a clamp overflows";
        if (!c.clamped) {
            EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), c.client);
        }
    }

    auto rows = MakeGrid({ 30 }, { 20, 20, 20 }, 1, 1, 60, 100);
    rows->ExpandRowsToFit(TRUE);
    EXPECT_EQ(rows->GetRowHeight(0) + rows->GetRowHeight(1) + rows->GetRowHeight(2), 100);
    EXPECT_EQ(rows->GetRowHeight(0), 34);

    auto last = MakeGrid({ 30, 40, 50, 0 }, { 20 }, 1, 1, 200, 60);
    last->ExpandLastColumn();
    EXPECT_EQ(last->GetColumnWidth(2), 130) << "the last visible column takes the difference";
    auto only = MakeGrid({ 30 }, { 20 }, 1, 1, 200, 60);
    only->ExpandLastColumn();
    EXPECT_EQ(only->GetColumnWidth(0), 30) << "column 0 alone is never expanded";
}

TEST_F(GridItems, FillClientAreaMakesDefaultLinesThatFitExactly)
{
    auto grid = MakeGrid({ 50 }, { 20 }, 0, 0, 300, 200);
    grid->FillClientArea();
    EXPECT_EQ(grid->GetColumnCount(), 300 / grid->m_DefaultCell.GetWidth() + 1);
    EXPECT_EQ(grid->GetRowCount(), 200 / grid->m_DefaultCell.GetHeight() + 1);
    EXPECT_EQ(grid->GetFixedRowCount(), 1);
    EXPECT_EQ(grid->GetFixedColumnCount(), 1);
    EXPECT_EQ(grid->GetScrollBarsShown(), 0);
    EXPECT_EQ(grid->GetVirtualWidth(), grid->viewport()->width());
    EXPECT_EQ(grid->GetVirtualHeight(), grid->viewport()->height());
    EXPECT_TRUE(grid->Consistent());
}

TEST_F(GridItems, NextItemScansByDirectionAndState)
{
    TestGrid grid(6, 5, 1, 1);
    for (auto [row, col] : { std::pair { 1, 2 }, { 5, 2 }, { 3, 1 }, { 3, 4 }, { 4, 3 } })
        grid.SetItemState(row, col, grid.GetItemState(row, col) | GCS_READONLY);
    grid.SetFocusCell(2, 2);
    grid.SetItemState(4, 4, GCS_SELECTED);
    grid.SetItemState(5, 1, GCS_DROPHILITED);
    grid.SetModified(TRUE, 2, 3);

    struct Case {
        CGridCellPos start;
        UINT flags;
        CGridCellPos expected;
    };
    const std::vector<Case> cases = {
        { { 3, 2 }, 0x100 | 0x8, { 1, 2 } },
        { { 3, 2 }, 0x200 | 0x8, { 5, 2 } },
        { { 3, 2 }, 0x400 | 0x8, { 3, 1 } },
        { { 3, 2 }, 0x800 | 0x8, { 3, 4 } },
        { { 1, 2 }, 0x100 | 0x8, { -1, -1 } },
        { { 0, 2 }, 0xE00 | 0x8, { 1, 2 } },
        { { 3, 2 }, 0xE00 | 0x8, { 3, 4 } },
        { { 3, 4 }, 0xE00 | 0x8, { 4, 3 } },
        { { 0, 2 }, 0xA00 | 0x8, { 3, 4 } },
        { { 3, 3 }, 0xA00 | 0x8, { 3, 4 } },
        { { 4, 2 }, 0xA00 | 0x8, { 4, 3 } },
        { { 0, 0 }, 0xE00 | 0x1, { 2, 2 } },
        { { 0, 0 }, 0xE00 | 0x2, { 4, 4 } },
        { { 0, 0 }, 0xE00 | 0x4, { 5, 1 } },
        { { 0, 0 }, 0xE00 | 0x20, { 2, 3 } },
        { { 0, 0 }, 0x200 | 0x10, { 1, 0 } },
        { { 2, 2 }, 0x800 | 0x10, { -1, -1 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(grid.GetNextItem(c.start, c.flags), c.expected)
            << "from " << c.start.row << "," << c.start.col << " flags 0x" << std::hex << c.flags;
}

TEST_F(GridItems, SelectionSequences)
{
    using Cells = std::set<CGridCellPos>;
    const auto range = [](int r1, int c1, int r2, int c2) {
        Cells cells;
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                cells.insert({ r, c });
        return cells;
    };
    struct Case {
        const char* name;
        std::function<void(TestGrid&)> run;
        Cells expected;
    };
    const std::vector<Case> cases = {
        { "bounds inside the fixed part move to the first normal line",
            [](TestGrid& g) { g.SetSelectedRange(0, 0, 2, 2); }, range(1, 1, 2, 2) },
        { "a second range replaces the first",
            [](TestGrid& g) {
                g.SetSelectedRange(1, 1, 1, 1);
                g.SetSelectedRange(2, 2, 3, 3);
            },
            range(2, 2, 3, 3) },
        { "the previous selection comes back",
            [](TestGrid& g) {
                g.SetSelectedRange(1, 1, 1, 1);
                g.m_PrevSelection = { { 1, 1 } };
                g.SetSelectedRange(2, 2, 3, 3);
            },
            [&] {
                Cells cells = range(2, 2, 3, 3);
                cells.insert({ 1, 1 });
                return cells;
            }() },
        { "not in list mode with one row only",
            [](TestGrid& g) {
                g.SetListMode(TRUE);
                g.SetSingleRowSelection(TRUE);
                g.m_PrevSelection = { { 1, 1 } };
                g.SetSelectedRange(2, 1, 2, 4);
            },
            range(2, 1, 2, 4) },
        { "deselecting a block",
            [](TestGrid& g) {
                g.SetSelectedRange(1, 1, 3, 3);
                g.SelectCells(2, 2, 3, 3, FALSE, FALSE);
            },
            [&] {
                Cells cells = range(1, 1, 3, 3);
                for (const CGridCellPos& p : range(2, 2, 3, 3))
                    cells.erase(p);
                return cells;
            }() },
        { "columns from the anchor",
            [](TestGrid& g) {
                g.m_AnchorCell = { 1, 1 };
                g.SelectColumns({ 0, 3 });
            },
            range(1, 1, 4, 3) },
        { "one column only",
            [](TestGrid& g) {
                g.m_AnchorCell = { 1, 1 };
                g.SetSingleColSelection(TRUE);
                g.SelectColumns({ 2, 3 });
            },
            range(1, 3, 4, 3) },
        { "rows from the anchor",
            [](TestGrid& g) {
                g.m_AnchorCell = { 3, 2 };
                g.SelectRows({ 1, 0 });
            },
            range(1, 1, 3, 4) },
        { "a fixed column selects no columns",
            [](TestGrid& g) {
                g.SelectColumns({ 1, 0 });
            },
            {} },
        { "a cell range from the anchor, by mouse mode",
            [](TestGrid& g) {
                g.m_AnchorCell = { 3, 3 };
                g.m_nMouseState = GRID_MOUSE_SELECT_CELLS;
                g.OnSelecting({ 2, 1 });
            },
            range(2, 1, 3, 3) },
        { "select all covers (1, 1) to the last cell", [](TestGrid& g) { g.SelectAllCells(); }, range(1, 1, 4, 4) },
        { "select all by mouse mode",
            [](TestGrid& g) {
                g.m_nMouseState = GRID_MOUSE_SELECT_ALL;
                g.OnSelecting({ 2, 2 });
            },
            range(1, 1, 4, 4) },
        { "nothing while selection is off",
            [](TestGrid& g) {
                g.EnableSelection(FALSE);
                g.SelectAllCells();
            },
            {} },
        { "reset",
            [](TestGrid& g) {
                g.SelectAllCells();
                g.ResetSelectedRange();
            },
            {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestGrid grid(5, 5, 1, 1);
        c.run(grid);
        EXPECT_EQ(grid.SelectedBits(), c.expected);
        EXPECT_TRUE(grid.Consistent());
        const CGridCellSpan span = grid.GetSelectedCellRange();
        if (c.expected.empty()) {
            EXPECT_FALSE(span.IsValid());
            EXPECT_EQ(span, CGridCellSpan(5, 5, -1, -1));
        } else {
            EXPECT_EQ(span.TopLeft(), *c.expected.begin());
        }
    }
}

TEST_F(GridItems, ItemAccessorsAndTheirFailureResults)
{
    TestGrid grid(3, 3, 1, 1);
    EXPECT_TRUE(grid.SetItemData(1, 1, 42));
    EXPECT_EQ(grid.GetItemData(1, 1), 42);
    EXPECT_TRUE(grid.GetModified(1, 1)) << "data marks the cell modified";
    EXPECT_TRUE(grid.SetItemImage(1, 2, 3));
    EXPECT_EQ(grid.GetItemImage(1, 2), 3);
    EXPECT_TRUE(grid.GetModified(1, 2));
    EXPECT_TRUE(grid.SetItemFormat(2, 1, DT_RIGHT));
    EXPECT_TRUE(grid.SetItemBkColour(2, 1, RGB(1, 1, 1)));
    EXPECT_TRUE(grid.SetItemFgColour(2, 1, RGB(2, 2, 2)));
    LogFont font;
    font.lfFaceName = "DejaVu Serif";
    EXPECT_TRUE(grid.SetItemFont(2, 1, &font));
    EXPECT_FALSE(grid.GetModified(2, 1)) << "format, colours and font do not";
    EXPECT_EQ(grid.GetItemFormat(2, 1), DT_RIGHT);
    EXPECT_EQ(grid.GetItemBkColour(2, 1), RGB(1, 1, 1));
    EXPECT_EQ(grid.GetItemFgColour(2, 1), RGB(2, 2, 2));
    EXPECT_EQ(grid.GetItemFont(2, 1)->lfFaceName, "DejaVu Serif");

    EXPECT_EQ(grid.GetItemData(9, 9), 0);
    EXPECT_EQ(grid.GetItemImage(9, 9), -1);
    EXPECT_EQ(grid.GetItemFormat(9, 9), 0u);
    EXPECT_EQ(grid.GetItemBkColour(9, 9), 0u);
    EXPECT_EQ(grid.GetItemFgColour(9, 9), 0u);
    EXPECT_EQ(grid.GetItemFont(9, 9), grid.m_DefaultCell.GetFont());
    EXPECT_FALSE(grid.SetItemData(9, 9, 1));
    EXPECT_EQ(grid.GetTextExtent(9, 9, "x"), QSize(0, 0));
    EXPECT_FALSE(grid.IsItemEditing(1, 1));

    EXPECT_TRUE(grid.SetItemTextFmt(1, 1, "%d-%s", 3, "x"));
    EXPECT_EQ(grid.GetItemText(1, 1), "3-x");
    EXPECT_FALSE(grid.SetItemTextFmtID(1, 1, 64999, 7)) << "no such string";
    EXPECT_EQ(grid.GetItemText(1, 1), "3-x");

    EXPECT_TRUE(grid.IsCellFixed(0, 2));
    EXPECT_TRUE(grid.IsCellFixed(2, 0));
    EXPECT_FALSE(grid.IsCellFixed(1, 1));
    grid.SetListMode(TRUE);
    EXPECT_FALSE(grid.IsOneRowOnly());
    grid.SetSingleRowSelection(TRUE);
    EXPECT_TRUE(grid.IsOneRowOnly());
    EXPECT_FALSE(grid.m_bRowHeaderSelects);
    EXPECT_EQ(grid.GetSortedColumn(), -1);
}

// Serves every cell of a virtual grid and records what it was asked.
struct VirtualOwner {
    std::vector<CGridCellPos> asked;
    std::vector<CGridCellSpan> hints;
    int operator()(GridNotify& n)
    {
        if (n.code == GN_GETCELL) {
            asked.push_back({ n.row, n.col });
            n.item->strText = QString("%1,%2").arg(n.row).arg(n.col);
        } else if (n.code == GN_CACHEHINT) {
            hints.push_back(n.span);
        }
        return 0;
    }
};

TEST_F(GridItems, VirtualModeAsksTheOwnerForVisibleCellsOnly)
{
    auto grid = MakeGrid({ 50 }, { 20 }, 0, 0, 400, 200);
    VirtualOwner owner;
    grid->SetOwnerHandler([&owner](GridNotify& n) { return owner(n); });
    grid->SetVirtualMode(TRUE);
    EXPECT_FALSE(grid->IsEditable());
    EXPECT_FALSE(grid->m_bHeaderSorts);
    EXPECT_FALSE(grid->m_bRowHeaderSelects);
    EXPECT_FALSE(grid->m_bColumnHeaderSelects);
    EXPECT_EQ(grid->GetFitStyle(), 1);
    ASSERT_TRUE(grid->SetRowCount(1000000));
    ASSERT_TRUE(grid->SetColumnCount(12));
    ASSERT_TRUE(grid->SetFixedColumnCount(1));
    for (int col = 0; col < 12; ++col)
        grid->SetColumnWidth(col, 60);
    for (int row : { 0, 1, 2 })
        grid->SetRowHeight(row, 25);
    EXPECT_TRUE(grid->Consistent());
    grid->SetScrollPos32(GRID_SB_VERT, 20 * 500000);

    owner.asked.clear();
    owner.hints.clear();
    const QImage image = Paint(*grid);
    const CGridCellSpan visible = grid->GetVisibleNonFixedCellRange();
    ASSERT_EQ(owner.hints.size(), 2u);
    EXPECT_EQ(owner.hints[0], visible);
    EXPECT_EQ(owner.hints[1], CGridCellSpan(-1, -1, -1, -1));
    std::set<CGridCellPos> expected;
    for (int row = visible.minRow; row <= visible.maxRow; ++row) {
        expected.insert({ row, 0 });
        for (int col = visible.minCol; col <= visible.maxCol; ++col)
            expected.insert({ row, col });
    }
    EXPECT_GT(visible.minRow, 400000);
    EXPECT_EQ(std::set<CGridCellPos>(owner.asked.begin(), owner.asked.end()), expected);
    EXPECT_EQ(owner.asked.size(), expected.size()) << "each visible cell once";
    EXPECT_EQ(grid->GetItemText(123456, 3), "123456,3");

    // No cell objects: the per-cell setters refuse.
    GRID_ITEM item;
    item.row = 5;
    item.col = 5;
    item.mask = GI_TEXT;
    EXPECT_FALSE(grid->SetItem(&item));
    EXPECT_FALSE(grid->SetItemText(5, 5, "x"));
    EXPECT_FALSE(grid->SetItemData(5, 5, 1));
    EXPECT_FALSE(grid->SetItemImage(5, 5, 1));
    EXPECT_FALSE(grid->SetItemFormat(5, 5, 1));
    EXPECT_FALSE(grid->SetItemBkColour(5, 5, 1));
    EXPECT_FALSE(grid->SetItemFgColour(5, 5, 1));
    EXPECT_FALSE(grid->SetItemFont(5, 5, nullptr));
    EXPECT_FALSE(grid->SetCell(5, 5, std::make_unique<CGridCell>()));
    EXPECT_FALSE(grid->SetCellType(5, 5, [] { return std::make_unique<CGridCell>(); }));

    // Selection lives in the map alone.
    grid->SetSelectedRange(10, 2, 11, 3);
    EXPECT_EQ(grid->GetSelectedCount(), 4);
    EXPECT_TRUE(grid->IsCellSelected(11, 3));
    EXPECT_TRUE(grid->GetItemState(11, 3) & GCS_SELECTED);

    // Fit style 1 with no fixed rows measures nothing.
    owner.asked.clear();
    grid->AutoSize(0);
    for (int col = 0; col < 12; ++col)
        EXPECT_EQ(grid->GetColumnWidth(col), 60);
    EXPECT_TRUE(owner.asked.empty());
}

} // namespace
