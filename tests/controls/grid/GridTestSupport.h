#pragma once
// What the grid's tests share: the fonts they measure with and a grid that shows its insides.

#include "controls/ui/grid/GridCtrl.h"

#include <QApplication>
#include <QFont>

#include <gtest/gtest.h>

#include <set>

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
    using CGridCtrl::m_bOwnerData;
    using CGridCtrl::m_bSortUp;
    using CGridCtrl::m_DefaultCell;
    using CGridCtrl::m_DefaultCornerCell;
    using CGridCtrl::m_DefaultHeaderColumnCell;
    using CGridCtrl::m_DefaultHeaderRowCell;
    using CGridCtrl::m_nBorderGrip;
    using CGridCtrl::m_nMouseState;
    using CGridCtrl::m_nSortedColumn;
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
        if (m_Selection != SelectedBits())
            return ::testing::AssertionFailure() << "the selection differs from the selected bits";
        return ::testing::AssertionSuccess();
    }
};

} // namespace gridtest
