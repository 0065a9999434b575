// The grid window: geometry round trips, what it paints to the pixel, drawing off, font and
// palette changes, the scroll bars and the focus cell.

#include "GridTestSupport.h"

#include "support/TestPalette.h"

#include "platform/ui/ImageList.h"
#include "platform/ui/QtServices.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using gridtest::TestGrid;
using tonrig::test::TestPaletteColor;

namespace {

using gridtest::Role;

class GridWindow : public gridtest::GridWindowTest { };

struct GeometryCase {
    const char* name;
    std::vector<int> widths;
    std::vector<int> heights;
    int fixedRows, fixedCols;
    int hpos, vpos;
};

TEST_F(GridWindow, CellsMapToPixelsAndBack)
{
    const std::vector<GeometryCase> cases = {
        { "no fixed lines", { 30, 40, 25 }, { 20, 15, 18 }, 0, 0, 0, 0 },
        { "fixed row and column", { 30, 40, 0, 25, 35 }, { 20, 0, 15, 18, 22 }, 1, 1, 0, 0 },
        { "two fixed of each, hidden fixed", { 30, 0, 40, 25, 35, 50 }, { 0, 20, 15, 18, 22, 30 }, 2, 2, 0, 0 },
        { "scrolled", { 30, 40, 25, 35, 50, 45, 60 }, { 20, 15, 18, 22, 30, 25, 17 }, 1, 1, 60, 30 },
        { "scrolled past a hidden line", { 30, 40, 0, 35, 50, 45, 60 }, { 20, 15, 0, 22, 30, 25, 17 }, 1, 1, 41, 16 },
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = MakeGrid(c.widths, c.heights, c.fixedRows, c.fixedCols, 120, 90);
        grid->SetScrollPos32(GRID_SB_HORZ, c.hpos);
        grid->SetScrollPos32(GRID_SB_VERT, c.vpos);
        ASSERT_EQ(grid->GetScrollPos32(GRID_SB_HORZ), c.hpos);
        ASSERT_EQ(grid->GetScrollPos32(GRID_SB_VERT), c.vpos);
        const int fixedWidth = grid->GetFixedColumnWidth();
        const int fixedHeight = grid->GetFixedRowHeight();

        for (int row = 0; row < grid->GetRowCount(); ++row)
            for (int col = 0; col < grid->GetColumnCount(); ++col) {
                WinRect rect;
                if (!grid->GetCellRect(row, col, rect))
                    continue;
                if (grid->GetColumnWidth(col) == 0 || grid->GetRowHeight(row) == 0)
                    continue;
                for (QPoint p : { QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom) }) {
                    if (p.x() >= 120 || p.y() >= 90)
                        continue;
                    EXPECT_EQ(grid->GetCellFromPt(p, TRUE), CGridCellPos(row, col)) << row << "," << col;
                    const CGridCellPos strict = grid->GetCellFromPt(p, FALSE);
                    EXPECT_EQ(strict.row, row < c.fixedRows ? -1 : row);
                    EXPECT_EQ(strict.col, col < c.fixedCols ? -1 : col);
                }
            }

        // Every pixel: the cell hit holds it, is not hidden, and the divider tests hold only
        // within the grip in the fixed column or row.
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const CGridCellPos hit = grid->GetCellFromPt(QPoint(x, y), TRUE);
                if (hit.IsValid()) {
                    EXPECT_GT(grid->GetColumnWidth(hit.col), 0);
                    EXPECT_GT(grid->GetRowHeight(hit.row), 0);
                    WinRect rect;
                    ASSERT_TRUE(grid->GetCellRect(hit, rect));
                    EXPECT_TRUE(x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom)
                        << x << "," << y;
                    QPoint origin;
                    grid->GetCellOrigin(hit, &origin);
                    const int top = y - origin.y();
                    const int bottom = origin.y() + grid->GetRowHeight(hit.row) - y;
                    const bool rowBorder = x < fixedWidth && ((top < 3 && hit.row != 0) || bottom < 3);
                    EXPECT_EQ(static_cast<bool>(grid->IsOverRowBorder(QPoint(x, y))), rowBorder) << x << "," << y;
                    const int left = x - origin.x();
                    const int right = origin.x() + grid->GetColumnWidth(hit.col) - x;
                    const bool colBorder = y < fixedHeight && ((left < 3 && hit.col != 0) || right < 3);
                    EXPECT_EQ(static_cast<bool>(grid->IsOverColumnBorder(QPoint(x, y))), colBorder) << x << "," << y;
                } else {
                    EXPECT_FALSE(grid->IsOverRowBorder(QPoint(x, y)));
                }
            }

        // Visibility at the client edges.
        const CGridCellSpan visible = grid->GetVisibleNonFixedCellRange();
        for (int col = visible.minCol; col <= visible.maxCol; ++col)
            EXPECT_TRUE(grid->IsCellVisible(visible.minRow, col));
        if (visible.maxCol + 1 < grid->GetColumnCount()) {
            EXPECT_FALSE(grid->IsCellVisible(visible.minRow, visible.maxCol + 1));
        }
        if (visible.maxRow + 1 < grid->GetRowCount()) {
            EXPECT_FALSE(grid->IsCellVisible(visible.maxRow + 1, visible.minCol));
        }
        if (visible.minCol > c.fixedCols) {
            EXPECT_FALSE(grid->IsCellVisible(visible.minRow, visible.minCol - 1)) << "scrolled out";
        }
    }
}

TEST_F(GridWindow, CellVisibleAtTheClientEdge)
{
    // Columns end exactly at the right edge, then one pixel before it.
    auto grid = MakeGrid({ 20, 50, 50, 30 }, { 20, 20 }, 1, 1, 120, 60);
    EXPECT_TRUE(grid->IsCellVisible(1, 2));
    EXPECT_FALSE(grid->IsCellVisible(1, 3)) << "its left edge is the client's right edge";
    grid->SetColumnWidth(2, 49);
    EXPECT_TRUE(grid->IsCellVisible(1, 3)) << "one pixel of it shows";
}

struct Paint3x3 {
    std::unique_ptr<TestGrid> grid;
    // Column and row boundaries: columns 40, 50, 60 wide, rows 30, 22, 24 high.
    static constexpr int kColLast[] = { 39, 89, 149 };
    static constexpr int kRowLast[] = { 29, 51, 75 };
};

TEST_F(GridWindow, PaintsLinesExactlyOnTheLastPixels)
{
    const QRgb line = qRgb(0xC0, 0xC0, 0xC0);
    const QRgb base = Role(QPalette::Base);
    for (int style = 0; style <= 3; ++style) {
        SCOPED_TRACE(testing::Message() << "line style " << style);
        auto grid = MakeGrid({ 40, 50, 60 }, { 30, 22, 24 }, 1, 1, 200, 110);
        grid->SetGridLines(style);
        const QImage image = Paint(*grid);
        const bool vertical = style == 2 || style == 3;
        const bool horizontal = style == 1 || style == 3;
        for (int y = 30; y <= 75; ++y)
            for (int x = 40; x <= 149; ++x) {
                const bool onLine = (vertical && (x == 89 || x == 149)) || (horizontal && (y == 51 || y == 75));
                ASSERT_EQ(image.pixel(x, y), onLine ? line : base) << x << "," << y;
            }
        EXPECT_EQ(image.pixel(180, 50), Role(QPalette::Dark)) << "outside right";
        EXPECT_EQ(image.pixel(60, 100), Role(QPalette::Dark)) << "outside below";

        // The fixed cells' raised look: light top and left, dark right and bottom (they are
        // drawn only with grid lines).
        const QRgb light = Role(QPalette::Light);
        const QRgb dark = Role(QPalette::Shadow);
        const QRgb face = Role(QPalette::Button);
        EXPECT_EQ(image.pixel(60, 0), style ? light : face);
        EXPECT_EQ(image.pixel(40, 10), style ? light : face);
        EXPECT_EQ(image.pixel(89, 10), style ? dark : face);
        EXPECT_EQ(image.pixel(60, 29), style ? dark : face);
        EXPECT_EQ(image.pixel(60, 10), face);
        EXPECT_EQ(image.pixel(0, 40), style ? light : face) << "fixed column";
        EXPECT_EQ(image.pixel(39, 40), style ? dark : face);
        EXPECT_EQ(image.pixel(20, 51), style ? dark : face);
    }
}

TEST_F(GridWindow, PaintsFocusSelectionOwnColoursImagesAndTheSortMark)
{
    auto grid = MakeGrid({ 40, 50, 60 }, { 30, 22, 24 }, 1, 1, 200, 110);
    ImageList images(8, 8);
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_EQ(images.Add(red, RGB(0, 0, 0)), 0);
    grid->SetImageList(&images);
    grid->SetFocusCell(1, 1);
    grid->SetItemState(2, 2, GCS_SELECTED);
    grid->GetCell(1, 2)->SetBackColour(RGB(1, 2, 3));
    grid->GetCell(2, 1)->SetImage(0);
    const int margin = static_cast<int>(grid->GetCell(2, 1)->GetMargin());

    const QImage image = Paint(*grid);
    const QRgb text = Role(QPalette::Text);
    // The focus frame just inside the cell's lines, in the text colour.
    EXPECT_EQ(image.pixel(40, 40), text);
    EXPECT_EQ(image.pixel(88, 40), text);
    EXPECT_EQ(image.pixel(60, 30), text);
    EXPECT_EQ(image.pixel(60, 50), text);
    EXPECT_EQ(image.pixel(60, 40), Role(QPalette::Base));
    // The focus cell's row and column headers sunken: dark shadow top-left, light bottom-right.
    EXPECT_EQ(image.pixel(60, 0), Role(QPalette::Shadow));
    EXPECT_EQ(image.pixel(40, 10), Role(QPalette::Shadow));
    EXPECT_EQ(image.pixel(89, 10), Role(QPalette::Midlight));
    EXPECT_EQ(image.pixel(60, 29), Role(QPalette::Midlight));
    EXPECT_EQ(image.pixel(20, 30), Role(QPalette::Shadow));
    EXPECT_EQ(image.pixel(20, 51), Role(QPalette::Midlight));
    // Other headers keep the raised look.
    EXPECT_EQ(image.pixel(120, 0), Role(QPalette::Light));
    EXPECT_EQ(image.pixel(20, 52), Role(QPalette::Light));
    // A selected cell in the highlight colour, its lines drawn over it.
    EXPECT_EQ(image.pixel(120, 60), Role(QPalette::Highlight));
    EXPECT_EQ(image.pixel(149, 60), qRgb(0xC0, 0xC0, 0xC0));
    // A colour of the cell's own is drawn though the grid does not erase.
    EXPECT_EQ(image.pixel(120, 40), qRgb(1, 2, 3));
    // The image at the text's left.
    EXPECT_EQ(image.pixel(40 + margin, 52 + margin), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(40 + margin + 7, 52 + margin + 7), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(40 + margin + 8, 52 + margin + 3), Role(QPalette::Base));

    // The sort mark in row 0 of the sort column: button shadow, pointing up, then down.
    grid->SetFocusCell(-1, -1);
    grid->m_nSortedColumn = 2;
    const auto markRows = [&](const QImage& img) {
        std::vector<int> counts;
        for (int y = 1; y < 29; ++y) {
            int n = 0;
            for (int x = 91; x < 149; ++x)
                n += img.pixel(x, y) == Role(QPalette::Dark);
            if (n)
                counts.push_back(n);
        }
        return counts;
    };
    grid->m_bSortUp = TRUE;
    const std::vector<int> up = markRows(Paint(*grid));
    ASSERT_GE(up.size(), 3u);
    EXPECT_LT(up.front(), up.back()) << "apex at the top";
    grid->m_bSortUp = FALSE;
    const std::vector<int> down = markRows(Paint(*grid));
    ASSERT_GE(down.size(), 3u);
    EXPECT_GT(down.front(), down.back()) << "apex at the bottom";
}

TEST_F(GridWindow, DrawingOffPaintsNothing)
{
    auto grid = MakeGrid({ 40, 50, 60 }, { 30, 22, 24 }, 1, 1, 200, 110);
    grid->SetRedraw(FALSE);
    EXPECT_FALSE(grid->RedrawCell(1, 1));
    QImage image(200, 110, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    {
        QPainter painter(&image);
        grid->OnDraw(&painter, WinRect { 0, 0, 200, 110 });
    }
    for (int y = 0; y < 110; y += 3)
        for (int x = 0; x < 200; x += 3)
            ASSERT_EQ(image.pixel(x, y), QColor(Qt::magenta).rgb());
    grid->SetRedraw(TRUE);
    EXPECT_TRUE(grid->RedrawCell(1, 1));
    EXPECT_FALSE(grid->RedrawCell(1, 7)) << "no such cell";
}

TEST_F(GridWindow, FontChangeReachesCellsAndNewRows)
{
    auto grid = MakeGrid({ 40, 50, 60 }, { 30, 22, 24 }, 1, 1, 200, 110);
    const QFont font("DejaVu Serif", 16);
    LogFont own;
    own.lfFaceName = "DejaVu Sans Mono";
    own.lfHeight = -10;
    grid->GetCell(2, 2)->SetFont(&own);
    grid->setFont(font);
    EXPECT_EQ(grid->GetCell(1, 1)->GetFontObject(), font);
    EXPECT_EQ(grid->GetCell(0, 1)->GetFontObject(), font);
    EXPECT_EQ(grid->GetCell(2, 2)->GetFont()->lfFaceName, "DejaVu Sans Mono") << "its own font stays";
    EXPECT_EQ(grid->OnGetFont(), font);
    ASSERT_TRUE(grid->SetRowCount(4));
    EXPECT_EQ(grid->GetRowHeight(3), QFontMetrics(font).height() * 3 / 2);
}

TEST_F(GridWindow, PaletteChangeMovesOnlyColoursStillAtTheSystemValue)
{
    auto grid = MakeGrid({ 40, 50, 60 }, { 30, 22, 24 }, 1, 1, 200, 110);
    grid->m_DefaultHeaderRowCell.SetTextColour(RGB(5, 5, 5));
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Text, QColor(10, 20, 30));
    palette.setColor(QPalette::Base, QColor(40, 50, 60));
    palette.setColor(QPalette::Dark, QColor(70, 80, 90));
    QApplication::setPalette(palette);
    QApplication::processEvents();
    EXPECT_EQ(grid->m_DefaultCell.GetTextColour(), RGB(10, 20, 30));
    EXPECT_EQ(grid->m_DefaultCell.GetBackColour(), RGB(40, 50, 60));
    EXPECT_EQ(grid->m_DefaultCornerCell.GetTextColour(), RGB(10, 20, 30));
    EXPECT_EQ(grid->m_DefaultHeaderRowCell.GetTextColour(), RGB(5, 5, 5)) << "set by the program";
    EXPECT_EQ(grid->GetOutsideBack(), RGB(70, 80, 90));
}

struct BarCase {
    const char* name;
    int rows, cols; // non-fixed rows of 20 and columns of 50, behind one fixed row and column
    int width, height; // the frame's contents
    bool horizontal, vertical;
};

TEST_F(GridWindow, ScrollBarsShowWhereCellsDoNotFit)
{
    auto probe = MakeGrid({ 50 }, { 20 }, 0, 0, 100, 100);
    const int barWidth = probe->verticalScrollBar()->sizeHint().width();
    const int barHeight = probe->horizontalScrollBar()->sizeHint().height();
    probe.reset();

    const std::vector<BarCase> cases = {
        { "everything fits", 4, 3, 4 * 50 + 50, 5 * 20, false, false },
        { "one row more than fits", 5, 3, 4 * 50 + 50, 5 * 20, false, true },
        { "one column more", 4, 4, 4 * 50 + 49, 5 * 20 + barHeight, true, false },
        { "only the horizontal bar makes the rows overflow", 4, 5, 4 * 50 + barWidth + 10, 5 * 20, true, true },
        { "no room beyond the fixed lines", 4, 3, 40, 15, false, false },
    };
    for (const BarCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> widths(static_cast<size_t>(c.cols + 1), 50);
        std::vector<int> heights(static_cast<size_t>(c.rows + 1), 20);
        auto grid = MakeGrid(widths, heights, 1, 1, c.width, c.height);
        EXPECT_EQ(grid->contentsRect().size(), QSize(c.width, c.height));
        EXPECT_EQ(grid->horizontalScrollBar()->isVisible(), c.horizontal);
        EXPECT_EQ(grid->verticalScrollBar()->isVisible(), c.vertical);
        EXPECT_EQ(grid->GetScrollBarsShown(), (c.horizontal ? 1 : 0) | (c.vertical ? 2 : 0));
        const QRect client = grid->viewport()->rect();
        EXPECT_EQ(client.width(), c.width - (c.vertical ? barWidth : 0));
        EXPECT_EQ(client.height(), c.height - (c.horizontal ? barHeight : 0));
        if (c.width <= 50)
            continue;

        const int virtualHeight = c.rows * 20;
        const int virtualWidth = c.cols * 50;
        EXPECT_EQ(grid->GetVertRange(), c.vertical ? virtualHeight - 1 : 0);
        EXPECT_EQ(grid->GetHorzRange(), c.horizontal ? virtualWidth - 1 : 0);
        const QScrollBar* v = grid->verticalScrollBar();
        const int page = client.height() - 20;
        EXPECT_EQ(v->pageStep(), c.vertical ? page : 0);
        EXPECT_EQ(v->maximum(), c.vertical ? virtualHeight - page : 0);

        // At the maximum the last row and column are whole.
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
        WinRect last;
        ASSERT_TRUE(grid->GetCellRect(c.rows, c.cols, last));
        EXPECT_LE(last.bottom, client.height() - 1);
        EXPECT_LE(last.right, client.width() - 1);
        EXPECT_TRUE(grid->IsCellVisible(c.rows, c.cols));
    }
}

TEST_F(GridWindow, FocusCellMovesOutOfTheFixedPart)
{
    TestGrid grid(6, 7, 2, 1);
    grid.SetFocusCell(3, 3);
    EXPECT_EQ(grid.GetItemState(3, 3) & GCS_FOCUSED, GCS_FOCUSED);
    EXPECT_EQ(grid.SetFocusCell(0, 5), CGridCellPos(3, 3));
    EXPECT_EQ(grid.GetFocusCell(), CGridCellPos(2, 5));
    EXPECT_EQ(grid.GetItemState(3, 3) & GCS_FOCUSED, 0u);
    EXPECT_EQ(grid.GetItemState(2, 5) & GCS_FOCUSED, GCS_FOCUSED);
    grid.SetFocusCell(-1, -1);
    EXPECT_EQ(grid.GetFocusCell(), CGridCellPos(-1, -1));
    EXPECT_EQ(grid.GetItemState(2, 5) & GCS_FOCUSED, 0u);
}

} // namespace
