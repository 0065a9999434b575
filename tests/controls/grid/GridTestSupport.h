#pragma once
// What the grid's tests share: the fonts they measure with and a grid that shows its insides.

#include "controls/ui/grid/GridCtrl.h"

#include "support/TestPalette.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace gridtest {

// The application font for one test: grids made meanwhile take it.
class GridFontTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_saved = QApplication::font();
        QApplication::setFont(QFont("DejaVu Sans", 9));
    }
    void TearDown() override { QApplication::setFont(m_saved); }

private:
    QFont m_saved;
};

class TestGrid : public CGridCtrl {
public:
    using CGridCtrl::CGridCtrl;
    using CGridCtrl::m_AnchorCell;
    using CGridCtrl::m_bColumnHeaderSelects;
    using CGridCtrl::m_bEditEnabled;
    using CGridCtrl::m_bHeaderSorts;
    using CGridCtrl::m_bOwnerData;
    using CGridCtrl::m_bRowHeaderSelects;
    using CGridCtrl::m_bSortUp;
    using CGridCtrl::m_DefaultCell;
    using CGridCtrl::m_DefaultCornerCell;
    using CGridCtrl::m_DefaultHeaderColumnCell;
    using CGridCtrl::m_DefaultHeaderRowCell;
    using CGridCtrl::m_nBorderGrip;
    using CGridCtrl::m_nMouseState;
    using CGridCtrl::m_nSortedColumn;
    using CGridCtrl::m_PrevSelection;
    using CGridCtrl::m_Selection;

    // The cells whose state has the selected bit.
    std::set<CGridCellPos> SelectedBits() const
    {
        std::set<CGridCellPos> result;
        for (int row = 0; row < GetRowCount(); ++row)
            for (int col = 0; col < GetColumnCount(); ++col)
                if (const CGridCellBase* cell = GetCell(row, col); cell && (cell->GetState() & GCS_SELECTED))
                    result.insert({ row, col });
        return result;
    }

    // Counts match the arrays: one height per row, one width per column, one cell per place.
    ::testing::AssertionResult Consistent() const
    {
        if (GetFixedRowCount() > GetRowCount() || GetFixedColumnCount() > GetColumnCount())
            return ::testing::AssertionFailure() << "fixed counts beyond the totals";
        if (static_cast<int>(m_RowHeights.size()) != GetRowCount())
            return ::testing::AssertionFailure() << m_RowHeights.size() << " heights for " << GetRowCount() << " rows";
        if (static_cast<int>(m_ColumnWidths.size()) != GetColumnCount())
            return ::testing::AssertionFailure()
                << m_ColumnWidths.size() << " widths for " << GetColumnCount() << " columns";
        if (!m_bOwnerData) {
            if (static_cast<int>(m_Rows.size()) != GetRowCount())
                return ::testing::AssertionFailure() << m_Rows.size() << " row arrays for " << GetRowCount() << " rows";
            for (const auto& cells : m_Rows)
                if (static_cast<int>(cells.size()) != GetColumnCount())
                    return ::testing::AssertionFailure() << "a row of " << cells.size() << " cells";
        }
        // A virtual grid has no cells of its own: its map is its selection.
        if (!m_bOwnerData && m_Selection != SelectedBits())
            return ::testing::AssertionFailure() << "the selection differs from the selected bits";
        return ::testing::AssertionSuccess();
    }
};

// The test palette's colour of a role.
inline QRgb Role(QPalette::ColorRole role)
{
    return tonrig::test::TestPaletteColor(QPalette::Active, role).rgb();
}

// Grids in a window: the test palette, Fusion, and a viewport of a given size.
class GridWindowTest : public GridFontTest {
protected:
    void SetUp() override
    {
        GridFontTest::SetUp();
        m_palette = std::make_unique<tonrig::test::ScopedTestPalette>();
        m_style.reset(QStyleFactory::create("Fusion"));
    }
    void TearDown() override
    {
        m_palette.reset();
        GridFontTest::TearDown();
    }

    // A grid with the given sizes, its viewport `width` x `height` pixels.
    template <typename Grid = TestGrid>
    std::unique_ptr<Grid> MakeGrid(const std::vector<int>& widths, const std::vector<int>& heights, int fixedRows,
        int fixedCols, int width, int height)
    {
        auto grid = std::make_unique<Grid>(
            static_cast<int>(heights.size()), static_cast<int>(widths.size()), fixedRows, fixedCols);
        grid->setStyle(m_style.get());
        for (size_t i = 0; i < widths.size(); ++i)
            grid->SetColumnWidth(static_cast<int>(i), widths[i]);
        for (size_t i = 0; i < heights.size(); ++i)
            grid->SetRowHeight(static_cast<int>(i), heights[i]);
        const int frame = grid->frameWidth();
        grid->resize(width + 2 * frame, height + 2 * frame);
        grid->show();
        grid->UpdateScrollBars();
        return grid;
    }

    // The centre of a cell in viewport coordinates.
    static QPoint Centre(CGridCtrl& grid, int row, int col)
    {
        WinRect rect;
        grid.GetCellRect(row, col, rect);
        return rect.ToQRect().center();
    }

    // The viewport's pixels.
    static QImage Paint(TestGrid& grid)
    {
        const QImage image = grid.grab().toImage();
        return image.copy(grid.viewport()->geometry());
    }

    std::unique_ptr<tonrig::test::ScopedTestPalette> m_palette;
    std::unique_ptr<QStyle> m_style;
};

} // namespace gridtest
