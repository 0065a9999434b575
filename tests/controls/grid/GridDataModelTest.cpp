// The grid's data model: construction, the default cells and their fallbacks, items, counts,
// the selection map and the owner's notifications.

#include "GridTestSupport.h"

#include "support/RecordingMessageBox.h"

#include "controls/ui/FontFromLogFont.h"
#include "platform/ui/ImageList.h"

#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

class GridModel : public gridtest::GridFontTest { };

// Which default cell serves (row, col) of a 5 x 4 grid with one fixed row and column.
TEST_F(GridModel, ConstructionGivesEachRegionItsBitsAndDefaultCell)
{
    TestGrid empty;
    EXPECT_EQ(empty.GetRowCount(), 0);
    EXPECT_EQ(empty.GetColumnCount(), 0);
    EXPECT_EQ(empty.GetCell(0, 0), nullptr);
    EXPECT_EQ(empty.GetItemText(0, 0), QString());
    EXPECT_TRUE(empty.Consistent());

    TestGrid grid(5, 4, 1, 1);
    ASSERT_TRUE(grid.Consistent());
    struct Region {
        int row, col;
        UINT bits;
        const CGridDefaultCell* def;
    };
    const std::vector<Region> regions = {
        { 0, 0, 0x70, &grid.m_DefaultCornerCell },
        { 0, 3, 0x30, &grid.m_DefaultHeaderRowCell },
        { 4, 0, 0x50, &grid.m_DefaultHeaderColumnCell },
        { 2, 2, 0x00, &grid.m_DefaultCell },
    };
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 4; ++col) {
            const UINT expected = (row == 0 ? 0x30u : 0u) | (col == 0 ? 0x50u : 0u);
            EXPECT_EQ(grid.GetItemState(row, col), expected) << row << "," << col;
        }
    for (const Region& r : regions) {
        const CGridCellBase* cell = grid.GetCell(r.row, r.col);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->GetState(), r.bits);
        EXPECT_EQ(cell->GetDefaultCell(), r.def);
        EXPECT_EQ(grid.DefaultCellFor(cell->IsFixedRow(), cell->IsFixedColumn()), r.def);
        EXPECT_EQ(cell->GetFormat(), 0x8824u) << "new cells take their default cell's format";
    }
    EXPECT_EQ(grid.m_DefaultCornerCell.GetBackColour(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(grid.m_DefaultHeaderRowCell.GetBackColour(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(grid.m_DefaultCell.GetBackColour(), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(grid.m_DefaultCell.GetTextColour(), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(grid.m_DefaultCell.GetState(), 0x08u) << "a default cell reads as read-only";
    EXPECT_EQ(grid.GetOutsideBack(), GetSysColor(COLOR_BTNSHADOW));
}

TEST_F(GridModel, CellsFallBackToTheirRegionsDefaultCell)
{
    TestGrid grid(3, 3, 1, 1);
    grid.m_DefaultCornerCell.SetFormat(DT_CENTER);
    grid.m_DefaultHeaderRowCell.SetFormat(DT_RIGHT);
    grid.m_DefaultHeaderColumnCell.SetFormat(DT_BOTTOM | DT_SINGLELINE);
    grid.m_DefaultCell.SetFormat(DT_WORDBREAK);
    grid.m_DefaultCornerCell.SetMargin(11);
    grid.m_DefaultHeaderRowCell.SetMargin(12);
    grid.m_DefaultHeaderColumnCell.SetMargin(13);
    grid.m_DefaultCell.SetMargin(14);
    const QFont fonts[] = { QFont("DejaVu Serif", 12), QFont("DejaVu Sans Mono", 8), QFont("DejaVu Sans", 14),
        QFont("DejaVu Serif", 7) };
    CGridDefaultCell* defs[] = { &grid.m_DefaultCornerCell, &grid.m_DefaultHeaderRowCell,
        &grid.m_DefaultHeaderColumnCell, &grid.m_DefaultCell };
    for (int i = 0; i < 4; ++i)
        defs[i]->SetFontObject(fonts[i]);

    struct Case {
        int row, col;
        const CGridDefaultCell* def;
    };
    const Case cases[] = { { 0, 0, defs[0] }, { 0, 2, defs[1] }, { 2, 0, defs[2] }, { 2, 2, defs[3] } };
    LogFont own;
    own.lfFaceName = "Courier New";
    own.lfHeight = -17;
    for (const Case& c : cases) {
        CGridCellBase* cell = grid.GetCell(c.row, c.col);
        SCOPED_TRACE(testing::Message() << c.row << "," << c.col);
        cell->SetFormat(GRID_DEFAULT_UINT);
        cell->SetMargin(GRID_DEFAULT_UINT);
        cell->SetFont(nullptr);
        EXPECT_EQ(cell->GetFormat(), c.def->GetFormat());
        EXPECT_EQ(cell->GetMargin(), c.def->GetMargin());
        EXPECT_TRUE(cell->HasDefaultFont());
        EXPECT_EQ(cell->GetFont(), c.def->GetFont());
        EXPECT_EQ(cell->GetFontObject(), c.def->GetFontObject());

        cell->SetFormat(DT_LEFT);
        cell->SetMargin(1);
        cell->SetFont(&own);
        EXPECT_EQ(cell->GetFormat(), DT_LEFT);
        EXPECT_EQ(cell->GetMargin(), 1u);
        EXPECT_FALSE(cell->HasDefaultFont());
        EXPECT_EQ(cell->GetFont()->lfFaceName, "Courier New");
        EXPECT_EQ(cell->GetFontObject(), FontFromLogFont(own));

        // Colours come back as stored, the marker included.
        EXPECT_EQ(cell->GetTextColour(), CLR_GRID_DEFAULT);
        cell->SetBackColour(RGB(1, 2, 3));
        EXPECT_EQ(cell->GetBackColour(), RGB(1, 2, 3));
    }

    CGridCell loose;
    EXPECT_EQ(loose.GetFormat(), 0u) << "no grid, no default cell";
    EXPECT_EQ(loose.GetDefaultCell(), nullptr);
}

TEST_F(GridModel, DefaultCellsIgnoreDataAndState)
{
    CGridDefaultCell def;
    def.SetData(42);
    def.SetState(GCS_SELECTED);
    EXPECT_EQ(def.GetData(), 0);
    EXPECT_EQ(def.GetState(), GCS_READONLY);
    EXPECT_EQ(def.GetFormat(), 0x8824u);
    EXPECT_EQ(def.GetTextColour(), CLR_GRID_DEFAULT);
    EXPECT_EQ(def.GetBackColour(), CLR_GRID_DEFAULT);
    EXPECT_EQ(def.GetFontObject(), QApplication::font());
    def.SetStyle(0x1234);
    EXPECT_EQ(def.GetStyle(), 0x1234u);
    def.SetWidth(77);
    def.SetHeight(33);
    EXPECT_EQ(def.GetWidth(), 77);
    EXPECT_EQ(def.GetHeight(), 33);
}

struct MaskCase {
    UINT mask;
    std::function<bool(const CGridCellBase&)> changed;
};

TEST_F(GridModel, SetItemChangesOnlyTheMaskedField)
{
    GRID_ITEM item;
    item.row = 1;
    item.col = 1;
    item.strText = "abc";
    item.iImage = 3;
    item.lParam = 99;
    item.nState = GCS_READONLY;
    item.crBkClr = RGB(9, 8, 7);
    item.crFgClr = RGB(1, 2, 3);
    item.nFormat = DT_CENTER;
    item.lfFont.lfFaceName = "DejaVu Serif";
    item.nMargin = 17;

    const std::vector<MaskCase> cases = {
        { GI_TEXT, [](const CGridCellBase& c) { return c.GetText() == "abc"; } },
        { GI_IMAGE, [](const CGridCellBase& c) { return c.GetImage() == 3; } },
        { GI_DATA, [](const CGridCellBase& c) { return c.GetData() == 99; } },
        { GI_STATE, [](const CGridCellBase& c) { return c.GetState() == GCS_READONLY; } },
        { GI_BKCOLOUR, [](const CGridCellBase& c) { return c.GetBackColour() == RGB(9, 8, 7); } },
        { GI_FGCOLOUR, [](const CGridCellBase& c) { return c.GetTextColour() == RGB(1, 2, 3); } },
        { GI_FORMAT, [](const CGridCellBase& c) { return c.GetFormat() == DT_CENTER; } },
        { GI_FONT,
            [](const CGridCellBase& c) { return !c.HasDefaultFont() && c.GetFont()->lfFaceName == "DejaVu Serif"; } },
        { GI_MARGIN, [](const CGridCellBase& c) { return c.GetMargin() == 17u; } },
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mask " << c.mask);
        TestGrid grid(3, 3, 1, 1);
        item.mask = c.mask;
        ASSERT_TRUE(grid.SetItem(&item));
        const CGridCellBase& cell = *grid.GetCell(1, 1);
        for (const MaskCase& other : cases)
            EXPECT_EQ(other.changed(cell), other.mask == c.mask) << "field of mask " << other.mask;
        if (c.mask != GI_STATE) {
            EXPECT_EQ(cell.GetState(), GCS_MODIFIED) << "marked modified, nothing else";
        }
        EXPECT_TRUE(grid.GetModified());
        EXPECT_TRUE(grid.Consistent());
    }

    // The state comes after the modified mark and the text: it has the last word.
    TestGrid grid(3, 3, 1, 1);
    item.mask = GI_TEXT | GI_STATE;
    item.nState = GCS_SELECTED;
    ASSERT_TRUE(grid.SetItem(&item));
    EXPECT_EQ(grid.GetItemText(1, 1), "abc");
    EXPECT_EQ(grid.GetItemState(1, 1), GCS_SELECTED);
    EXPECT_TRUE(grid.Consistent()) << "the state went through the selection map";

    GRID_ITEM back;
    back.row = 1;
    back.col = 1;
    back.mask = GI_TEXT | GI_STATE | GI_FORMAT | GI_MARGIN;
    ASSERT_TRUE(grid.GetItem(&back));
    EXPECT_EQ(back.strText, "abc");
    EXPECT_EQ(back.nState, GCS_SELECTED);
    EXPECT_EQ(back.nFormat, 0x8824u);
    EXPECT_EQ(back.nMargin, grid.m_DefaultCell.GetMargin());

    item.row = 7;
    EXPECT_FALSE(grid.SetItem(&item));
    EXPECT_FALSE(grid.SetItem(nullptr));
    back.row = 7;
    EXPECT_FALSE(grid.GetItem(&back));
}

// A factory that fails at its n-th cell.
CGridCtrl::CellFactory FailingFactory(int failAt, int& made)
{
    return [failAt, &made]() -> std::unique_ptr<CGridCellBase> {
        if (++made == failAt)
            throw std::bad_alloc();
        return std::make_unique<CGridCell>();
    };
}

TEST_F(GridModel, CountSequencesKeepTheGridConsistent)
{
    struct Step {
        const char* what;
        std::function<BOOL(TestGrid&)> run;
        BOOL result;
        int rows, cols, fixedRows, fixedCols;
    };
    const std::vector<Step> steps = {
        { "rows", [](TestGrid& g) { return g.SetRowCount(4); }, TRUE, 4, 0, 0, 0 },
        { "columns", [](TestGrid& g) { return g.SetColumnCount(3); }, TRUE, 4, 3, 0, 0 },
        { "fixed rows", [](TestGrid& g) { return g.SetFixedRowCount(2); }, TRUE, 4, 3, 2, 0 },
        { "fixed columns beyond the count grow it", [](TestGrid& g) { return g.SetFixedColumnCount(5); }, TRUE, 4, 5, 2,
            5 },
        { "fixed columns down", [](TestGrid& g) { return g.SetFixedColumnCount(1); }, TRUE, 4, 5, 2, 1 },
        { "fixed rows down", [](TestGrid& g) { return g.SetFixedRowCount(1); }, TRUE, 4, 5, 1, 1 },
        { "more rows", [](TestGrid& g) { return g.SetRowCount(6); }, TRUE, 6, 5, 1, 1 },
        { "negative rows", [](TestGrid& g) { return g.SetRowCount(-1); }, FALSE, 6, 5, 1, 1 },
        { "negative columns", [](TestGrid& g) { return g.SetColumnCount(-3); }, FALSE, 6, 5, 1, 1 },
        { "negative fixed rows", [](TestGrid& g) { return g.SetFixedRowCount(-1); }, FALSE, 6, 5, 1, 1 },
        { "negative fixed columns", [](TestGrid& g) { return g.SetFixedColumnCount(-1); }, FALSE, 6, 5, 1, 1 },
        { "rows below the fixed count cut it", [](TestGrid& g) { return g.SetRowCount(0); }, TRUE, 0, 5, 0, 1 },
        { "rows again", [](TestGrid& g) { return g.SetRowCount(3); }, TRUE, 3, 5, 0, 1 },
        { "columns below the fixed count cut it", [](TestGrid& g) { return g.SetColumnCount(0); }, TRUE, 3, 0, 0, 0 },
        { "everything gone", [](TestGrid& g) { return g.DeleteAllItems(); }, TRUE, 0, 0, 0, 0 },
    };
    TestGrid grid;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.run(grid), s.result);
        EXPECT_EQ(grid.GetRowCount(), s.rows);
        EXPECT_EQ(grid.GetColumnCount(), s.cols);
        EXPECT_EQ(grid.GetFixedRowCount(), s.fixedRows);
        EXPECT_EQ(grid.GetFixedColumnCount(), s.fixedCols);
        ASSERT_TRUE(grid.Consistent());
        for (int row = 0; row < grid.GetRowCount(); ++row)
            for (int col = 0; col < grid.GetColumnCount(); ++col) {
                const UINT expected = (row < s.fixedRows ? 0x30u : 0u) | (col < s.fixedCols ? 0x50u : 0u);
                EXPECT_EQ(grid.GetItemState(row, col) & 0x70u, expected) << row << "," << col;
            }
    }
}

TEST_F(GridModel, FixedCountsResetColoursFocusAndSizes)
{
    TestGrid grid(4, 4);
    grid.GetCell(1, 1)->SetBackColour(RGB(1, 1, 1));
    grid.GetCell(1, 2)->SetTextColour(RGB(2, 2, 2));
    grid.GetCell(2, 2)->SetBackColour(RGB(3, 3, 3));
    grid.SetFocusCell(2, 2);
    grid.SetItemState(3, 3, GCS_SELECTED);
    ASSERT_EQ(grid.GetFocusCell(), CGridCellPos(2, 2));

    ASSERT_TRUE(grid.SetFixedRowCount(2));
    EXPECT_EQ(grid.GetFocusCell(), CGridCellPos(-1, -1)) << "the focus goes with any fixed count change";
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_EQ(grid.GetCell(1, 1)->GetBackColour(), CLR_GRID_DEFAULT) << "became fixed";
    EXPECT_EQ(grid.GetCell(1, 2)->GetTextColour(), CLR_GRID_DEFAULT);
    EXPECT_EQ(grid.GetCell(2, 2)->GetBackColour(), RGB(3, 3, 3)) << "stays normal";

    ASSERT_TRUE(grid.SetFixedColumnCount(1));
    grid.GetCell(1, 0)->SetBackColour(RGB(4, 4, 4));
    grid.GetCell(1, 1)->SetBackColour(RGB(5, 5, 5));
    ASSERT_TRUE(grid.SetFixedRowCount(1));
    EXPECT_EQ(grid.GetItemState(1, 0), 0x50u) << "still in the fixed column";
    EXPECT_EQ(grid.GetCell(1, 0)->GetBackColour(), RGB(4, 4, 4)) << "the fixed column keeps its colour";
    EXPECT_EQ(grid.GetItemState(1, 1), 0u);
    EXPECT_EQ(grid.GetCell(1, 1)->GetBackColour(), CLR_GRID_DEFAULT) << "stopped being fixed";

    // New lines take their sizes from the default cells.
    grid.m_DefaultCell.SetHeight(21);
    grid.m_DefaultHeaderColumnCell.SetWidth(55);
    ASSERT_TRUE(grid.SetRowCount(5));
    ASSERT_TRUE(grid.SetColumnCount(5));
    EXPECT_EQ(grid.GetRowHeight(4), 21);
    EXPECT_EQ(grid.GetColumnWidth(4), 55);
    EXPECT_EQ(grid.GetRowHeight(5), -1);
    EXPECT_EQ(grid.GetColumnWidth(-1), -1);
    EXPECT_TRUE(grid.Consistent());
}

TEST_F(GridModel, AllocationFailuresLeaveCountsMatchingTheArrays)
{
    tonrig::test::RecordingMessageBox boxes;
    for (int failAt : { 1, 2, 5, 7 }) {
        SCOPED_TRACE(testing::Message() << "failing at cell " << failAt);
        {
            TestGrid grid(0, 3);
            int made = 0;
            grid.SetDefaultCellType(FailingFactory(failAt, made));
            EXPECT_FALSE(grid.SetRowCount(4));
            EXPECT_EQ(grid.GetRowCount(), (failAt - 1) / 3) << "complete rows stay";
            EXPECT_TRUE(grid.Consistent());
            for (int row = 0; row < grid.GetRowCount(); ++row)
                for (int col = 0; col < 3; ++col)
                    EXPECT_NE(grid.GetCell(row, col), nullptr);
        }
        {
            TestGrid grid(3, 1);
            grid.SetItemState(2, 0, GCS_SELECTED);
            int made = 0;
            grid.SetDefaultCellType(FailingFactory(failAt, made));
            boxes.Clear();
            EXPECT_FALSE(grid.SetColumnCount(4));
            EXPECT_EQ(grid.GetColumnCount(), 1) << "no column half made";
            EXPECT_TRUE(grid.Consistent());
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, "Out of memory.");
        }
        {
            TestGrid grid(1, 2);
            int made = 0;
            grid.SetDefaultCellType(FailingFactory(failAt, made));
            EXPECT_FALSE(grid.SetFixedRowCount(5));
            EXPECT_EQ(grid.GetFixedRowCount(), 0);
            EXPECT_TRUE(grid.Consistent());
        }
    }
    TestGrid grid;
    EXPECT_FALSE(grid.SetRowCount(-5));
    EXPECT_EQ(grid.GetRowCount(), 0);
}

TEST_F(GridModel, SelectionMapEqualsTheSelectedBits)
{
    TestGrid grid(131074, 1);
    const int rows[] = { 1, 65537, 131073 };
    for (int row : rows)
        ASSERT_TRUE(grid.SetItemState(row, 0, GCS_SELECTED | GCS_READONLY));
    EXPECT_EQ(grid.GetSelectedCount(), 3) << "rows 65,536 apart are different cells";
    EXPECT_TRUE(grid.Consistent());

    grid.SetItemState(65537, 0, GCS_READONLY);
    EXPECT_EQ(grid.GetSelectedCount(), 2);
    EXPECT_TRUE(grid.IsCellSelected(1, 0));
    EXPECT_FALSE(grid.IsCellSelected(65537, 0));
    EXPECT_TRUE(grid.IsCellSelected(131073, 0));
    EXPECT_TRUE(grid.Consistent());

    grid.DeleteCell(1, 0);
    EXPECT_EQ(grid.GetSelectedCount(), 1);
    EXPECT_TRUE(grid.Consistent());

    grid.SetItemState(65537, 0, GCS_SELECTED);
    ASSERT_TRUE(grid.SetRowCount(70000));
    EXPECT_EQ(grid.GetSelectedCount(), 1) << "the removed row left the selection";
    EXPECT_TRUE(grid.IsCellSelected(65537, 0));
    EXPECT_TRUE(grid.Consistent());

    ASSERT_TRUE(grid.SetColumnCount(3));
    grid.SetItemState(2, 2, GCS_SELECTED);
    ASSERT_TRUE(grid.SetColumnCount(2));
    EXPECT_EQ(grid.GetSelectedCount(), 1);
    EXPECT_TRUE(grid.Consistent());

    EXPECT_FALSE(grid.SetItemState(70000, 0, GCS_SELECTED));
    EXPECT_EQ(grid.GetSelectedCount(), 1);
}

TEST_F(GridModel, DefaultCellSizesFollowTheirFont)
{
    for (const QFont& font : { QFont("DejaVu Sans", 9), QFont("DejaVu Serif", 15, QFont::Bold) }) {
        SCOPED_TRACE(font.toString().toStdString());
        CGridDefaultCell def;
        const LogFont lf = LogFontFromFont(font);
        def.SetFont(&lf);
        const QFontMetrics metrics(FontFromLogFont(lf));
        EXPECT_EQ(def.GetFontObject(), FontFromLogFont(lf));
        EXPECT_EQ(def.GetMargin(), static_cast<UINT>(metrics.horizontalAdvance(' ')));
        EXPECT_EQ(def.GetWidth(), metrics.horizontalAdvance(" XXXXXXXXXXXX "));
        EXPECT_EQ(def.GetHeight(), metrics.height() * 3 / 2);
        def.SetFont(nullptr);
        EXPECT_EQ(def.GetFontObject(), FontFromLogFont(lf)) << "null does nothing";
    }
}

TEST_F(GridModel, ExtentsMeasureTextLinesAndFixedCells)
{
    TestGrid grid(2, 2, 1, 0);
    CGridCellBase* cell = grid.GetCell(1, 1);
    const QFontMetrics metrics(cell->GetFontObject(), &grid);
    const int margin = static_cast<int>(cell->GetMargin());
    const QSize defaultSize(grid.m_DefaultCell.GetWidth(), grid.m_DefaultCell.GetHeight());

    EXPECT_EQ(cell->GetTextExtent(""), defaultSize);
    EXPECT_EQ(cell->GetCellExtent(), defaultSize + QSize(1, 1)) << "an empty cell needs the default size";

    const QSize oneLine(metrics.horizontalAdvance("Hello") + 2 * margin, metrics.height() + 2 * margin);
    EXPECT_EQ(cell->GetTextExtent("Hello"), oneLine);
    cell->SetText("Hello");
    EXPECT_EQ(cell->GetCellExtent(), oneLine + QSize(1, 1));

    cell->SetFormat(DT_WORDBREAK);
    const QString lines = "a\nwider line\nmid";
    const QSize broken = cell->GetTextExtent(lines);
    EXPECT_EQ(broken.width(), metrics.horizontalAdvance("wider line") + 2 * margin);
    EXPECT_EQ(broken.height(), 3 * metrics.height() + 2 * margin);
    cell->SetFormat(DT_WORDBREAK | DT_SINGLELINE);
    EXPECT_EQ(cell->GetTextExtent(lines).height(), metrics.height() + 2 * margin) << "single line wins";

    CGridCellBase* fixed = grid.GetCell(0, 1);
    fixed->SetText("Hello");
    EXPECT_EQ(fixed->GetCellExtent(), fixed->GetTextExtent("Hello") + QSize(2, 2));

    // An image adds its width (and the margin beside a text wider than two margins) and needs
    // its height plus two margins; the text rectangle starts past it.
    ImageList images(16, 40);
    QImage strip(16, 40, QImage::Format_RGB32);
    strip.fill(Qt::red);
    ASSERT_EQ(images.Add(strip, RGB(0, 0, 0)), 0);
    grid.SetImageList(&images);
    cell->SetFormat(DT_SINGLELINE);
    cell->SetImage(0);
    EXPECT_EQ(cell->GetCellExtent(), QSize(oneLine.width() + 16 + margin + 1, 40 + 2 * margin + 1));
    WinRect rect { 10, 0, 100, 20 };
    cell->GetTextRect(rect);
    EXPECT_EQ(rect.left, 10 + margin + 16 + 1);
    cell->SetImage(1);
    EXPECT_EQ(cell->GetCellExtent(), oneLine + QSize(1, 1)) << "an image the list lacks counts for nothing";
}

TEST_F(GridModel, NotificationsReachTheOwnerHandler)
{
    TestGrid grid(3, 3, 1, 1);
    grid.Create(QRect(0, 0, 100, 100), nullptr, 1234);
    EXPECT_EQ(grid.NotifyOwner(1, 2, GN_CLICK), 0) << "no handler, no answer";

    std::vector<GridNotify> seen;
    grid.SetOwnerHandler([&](GridNotify& n) {
        seen.push_back(n);
        return 7;
    });
    EXPECT_EQ(grid.NotifyOwner(1, 2, GN_CLICK), 7);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].grid, &grid);
    EXPECT_EQ(seen[0].controlId, 1234);
    EXPECT_EQ(seen[0].code, GN_CLICK);
    EXPECT_EQ(seen[0].row, 1);
    EXPECT_EQ(seen[0].col, 2);
}

TEST_F(GridModel, ModifiedMarksAndTheSortColumn)
{
    TestGrid grid(3, 3, 1, 1);
    grid.SetItemText(1, 1, "a");
    grid.SetItemText(2, 2, "b");
    EXPECT_TRUE(grid.GetModified(1, 1));
    EXPECT_TRUE(grid.GetModified());
    grid.SetModified(FALSE, -1, -1);
    EXPECT_FALSE(grid.GetModified());
    EXPECT_FALSE(grid.GetModified(1, 1));
    EXPECT_FALSE(grid.GetModified(2, 2));

    grid.m_nSortedColumn = 2;
    grid.SetModified(TRUE, 1, 1);
    EXPECT_EQ(grid.m_nSortedColumn, 2);
    grid.SetModified(TRUE, 1, 2);
    EXPECT_EQ(grid.m_nSortedColumn, -1) << "a change in the sort column forgets the sort";
}

// A cell class of the owner's: the type changes, the contents stay.
class MarkedCell : public CGridCell { };

TEST_F(GridModel, SetCellTypeKeepsTextStateAndPosition)
{
    TestGrid grid(3, 3, 1, 1);
    grid.SetItemText(2, 2, "keep");
    grid.SetItemState(2, 2, GCS_SELECTED | GCS_READONLY);
    const UINT state = grid.GetItemState(2, 2);
    ASSERT_TRUE(grid.SetCellType(2, 2, [] { return std::make_unique<MarkedCell>(); }));
    const CGridCellBase* cell = grid.GetCell(2, 2);
    EXPECT_NE(dynamic_cast<const MarkedCell*>(cell), nullptr);
    EXPECT_EQ(cell->GetText(), "keep");
    EXPECT_EQ(cell->GetState(), state);
    EXPECT_EQ(cell->GetGrid(), &grid);
    EXPECT_TRUE(grid.Consistent());
    EXPECT_FALSE(grid.SetCellType(2, 2, [] { return std::unique_ptr<CGridCellBase>(); }));
    EXPECT_FALSE(grid.SetCellType(5, 5, [] { return std::make_unique<MarkedCell>(); }));
    EXPECT_FALSE(grid.SetDefaultCellType({}));
}

TEST_F(GridModel, SwitchesAndSmallAccessors)
{
    TestGrid grid(3, 3, 1, 1);
    grid.SetToggleBitMode(0x100);
    EXPECT_FALSE(grid.GetToggleBitMode()) << "only the low byte counts";
    grid.SetToggleBitMode(0x101);
    EXPECT_TRUE(grid.GetToggleBitMode());
    grid.SetEditable(FALSE);
    EXPECT_FALSE(grid.CanEditCell(1, 1));
    grid.SetEditable(TRUE);
    EXPECT_TRUE(grid.CanEditCell(1, 1));
    grid.SetItemState(1, 1, GCS_READONLY);
    EXPECT_FALSE(grid.CanEditCell(1, 1));

    int h, f, l, r, t, b, g;
    grid.GetPrintMarginInfo(h, f, l, r, t, b, g);
    EXPECT_EQ(std::vector<int>({ h, f, l, r, t, b, g }), std::vector<int>({ 2, 2, 4, 4, 1, 1, 1 }));
    grid.SetPrintMarginInfo(-1, 5, -1, -1, 0, -1, 9);
    grid.GetPrintMarginInfo(h, f, l, r, t, b, g);
    EXPECT_EQ(std::vector<int>({ h, f, l, r, t, b, g }), std::vector<int>({ 2, 5, 4, 4, 0, 1, 9 }));
    EXPECT_EQ(CGridCtrl::QueryWheelLines(), QApplication::wheelScrollLines());

    QWidget parent;
    ASSERT_TRUE(grid.Create(QRect(5, 6, 200, 100), &parent, 77));
    EXPECT_EQ(parent.findChild<QWidget*>(QString::number(77)), &grid);
    EXPECT_EQ(grid.geometry(), QRect(5, 6, 200, 100));
    EXPECT_EQ(grid.GetRowHeight(2), grid.m_DefaultCell.GetHeight());
    EXPECT_EQ(grid.GetColumnWidth(2), grid.m_DefaultCell.GetWidth());
    EXPECT_TRUE(grid.OnSelectionChanged(3));
    grid.setParent(nullptr);
}

TEST(GridCellPositions, ValidityContainmentAndIntersection)
{
    EXPECT_FALSE(CGridCellPos().IsValid());
    EXPECT_TRUE(CGridCellPos(0, 0).IsValid());
    EXPECT_FALSE(CGridCellPos(0, -1).IsValid());
    const CGridCellSpan span(1, 1, 3, 4);
    EXPECT_TRUE(span.IsValid());
    EXPECT_FALSE(CGridCellSpan(2, 1, 1, 4).IsValid());
    EXPECT_FALSE(CGridCellSpan().IsValid());
    EXPECT_TRUE(span.Contains(3, 4));
    EXPECT_FALSE(span.Contains(0, 4));
    EXPECT_EQ(span.Intersect(CGridCellSpan(2, 0, 9, 2)), CGridCellSpan(2, 1, 3, 2));
    EXPECT_FALSE(span.Intersect(CGridCellSpan(5, 5, 6, 6)).IsValid());
}

} // namespace
