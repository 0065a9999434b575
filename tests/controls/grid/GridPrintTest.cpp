// Printing: the pagination of rows and columns over pages, and the pages a print produces.

#include "GridTestSupport.h"

#include <QFile>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextItem>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

using Bands = std::vector<std::pair<int, int>>;

TEST(GridPagination, BandsOfRowsAndColumns)
{
    struct Case {
        const char* name;
        std::vector<int> heights;
        int usableHeight;
        std::vector<int> widths;
        int usableWidth;
        bool columnPaging;
        Bands rows;
        Bands columns;
    };
    const std::vector<Case> cases = {
        // One fixed row and column in each case (index 0).
        { "three pages down by two across", { 20, 10, 10, 10, 10, 10, 10 }, 20, { 30, 50, 50, 50 }, 100, true,
            { { 1, 2 }, { 3, 4 }, { 5, 6 } }, { { 1, 2 }, { 3, 3 } } },
        { "column paging off: every page has all columns", { 20, 10, 10, 10 }, 20, { 30, 500, 500 }, 100, false,
            { { 1, 2 }, { 3, 3 } }, { { 1, 2 } } },
        { "a usable height of 0: headings only", { 20, 10, 10 }, 0, { 30, 50 }, 100, false, {}, { { 1, 1 } } },
        { "a row taller than a page has a page of its own", { 20, 10, 50, 10 }, 20, { 30, 50 }, 100, false,
            { { 1, 1 }, { 2, 2 }, { 3, 3 } }, { { 1, 1 } } },
        { "a first row taller than a page leaves no blank page", { 20, 50, 10 }, 20, { 30, 50 }, 100, false,
            { { 1, 1 }, { 2, 2 } }, { { 1, 1 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GridPagination p = PaginateGrid(c.heights, 1, c.usableHeight, c.widths, 1, c.usableWidth, c.columnPaging);
        EXPECT_EQ(p.rowBands, c.rows);
        EXPECT_EQ(p.columnBands, c.columns);
    }
    // Page n of 3 down by 2 across: row band ceil(n / 2), column band 2 for even n.
    const GridPagination p = PaginateGrid({ 20, 10, 10, 10, 10, 10, 10 }, 1, 20, { 30, 50, 50, 50 }, 1, 100, true);
    ASSERT_EQ(p.PageCount(), 6);
    for (int page = 1; page <= 6; ++page) {
        EXPECT_EQ(p.RowBand(page), (page + 1) / 2) << page;
        EXPECT_EQ(p.ColumnBand(page), page % 2 == 0 ? 2 : 1) << page;
    }
    EXPECT_EQ(PaginateGrid({ 20, 10 }, 1, 0, { 30, 50 }, 1, 0, true).PageCount(), 1);
}

class RecordingPrintGrid : public TestGrid {
public:
    using TestGrid::m_bPrintMode;
    using TestGrid::TestGrid;

    struct PageRecord {
        int titles = 0;
        std::vector<int> labelRows;
        std::vector<int> headingRows;
        std::vector<int> cellRows;
        std::pair<int, int> columns { -1, -1 };
        QString number;
    };
    std::vector<PageRecord> pages;

    void OnPrint(QPainter* painter, QPrinter* printer, int page) override
    {
        pages.emplace_back();
        TestGrid::OnPrint(painter, printer, page);
    }
    void PrintTitle(QPainter* painter, QPrinter* printer) override
    {
        ++pages.back().titles;
        TestGrid::PrintTitle(painter, printer);
    }
    void PrintLabelColumns(QPainter* painter, QPrinter* printer, int y) override
    {
        m_where = &PageRecord::labelRows;
        TestGrid::PrintLabelColumns(painter, printer, y);
        m_where = &PageRecord::cellRows;
    }
    void PrintHeadingRows(QPainter* painter, QPrinter* printer, int y) override
    {
        m_where = &PageRecord::headingRows;
        TestGrid::PrintHeadingRows(painter, printer, y);
        m_where = &PageRecord::cellRows;
    }
    void PrintRowStrip(QPainter* painter, int row, int firstCol, int lastCol, int x, int y) override
    {
        auto& rows = pages.back().*m_where;
        if (rows.empty() || rows.back() != row)
            rows.push_back(row);
        if (m_where == &PageRecord::cellRows)
            pages.back().columns = { firstCol, lastCol };
        TestGrid::PrintRowStrip(painter, row, firstCol, lastCol, x, y);
    }
    void PrintPageNumber(QPainter* painter, QPrinter* printer, int page) override
    {
        pages.back().number = PageNumberText(page);
        TestGrid::PrintPageNumber(painter, printer, page);
    }

private:
    std::vector<int> PageRecord::*m_where = &PageRecord::cellRows;
};

int PdfPages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pdf = file.readAll();
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s])"));
    int count = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next())
        ++count;
    return count;
}

TEST(GridPrint, PagesToAPdf)
{
    QTemporaryDir dir;
    for (bool columnPaging : { false, true }) {
        SCOPED_TRACE(columnPaging ? "column paging" : "all columns across");
        // 200 rows of 20 pixels and 12 columns of 150 behind one fixed row and column.
        RecordingPrintGrid grid(201, 13, 1, 1);
        for (int row = 0; row < 201; ++row)
            for (int col = 0; col < 13; ++col)
                grid.SetItemText(row, col, QString("%1.%2").arg(row).arg(col));
        for (int col = 0; col < 13; ++col)
            grid.SetColumnWidth(col, 150);
        for (int row = 0; row < 201; ++row)
            grid.SetRowHeight(row, 20);
        grid.m_bPrintMode = columnPaging;

        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString path = dir.filePath(columnPaging ? "across.pdf" : "down.pdf");
        printer.setOutputFileName(path);
        ASSERT_TRUE(grid.Print(&printer));

        const GridPagination& pagination = grid.GetPagination();
        const int count = pagination.PageCount();
        EXPECT_GT(pagination.PagesDown(), 1);
        EXPECT_EQ(pagination.PagesAcross() > 1, columnPaging);
        EXPECT_EQ(PdfPages(path), count);
        ASSERT_EQ(static_cast<int>(grid.pages.size()), count);

        std::vector<int> printed;
        for (int page = 1; page <= count; ++page) {
            SCOPED_TRACE(page);
            const RecordingPrintGrid::PageRecord& record = grid.pages[static_cast<size_t>(page - 1)];
            const auto rows = pagination.rowBands[static_cast<size_t>(pagination.RowBand(page) - 1)];
            const auto columns = pagination.columnBands[static_cast<size_t>(pagination.ColumnBand(page) - 1)];
            EXPECT_EQ(record.titles, 1);
            EXPECT_EQ(record.headingRows, std::vector<int> { 0 });
            ASSERT_FALSE(record.cellRows.empty());
            EXPECT_EQ(record.cellRows.front(), rows.first);
            EXPECT_EQ(record.cellRows.back(), rows.second);
            EXPECT_EQ(record.labelRows, record.cellRows);
            EXPECT_EQ(record.columns, columns);
            EXPECT_EQ(record.number, QString("Page %1 of %2").arg(page).arg(count));
            if (pagination.ColumnBand(page) == 1)
                printed.insert(printed.end(), record.cellRows.begin(), record.cellRows.end());
        }
        std::vector<int> all;
        for (int row = 1; row < 201; ++row)
            all.push_back(row);
        EXPECT_EQ(printed, all) << "every row once, in order";
    }
}

TEST(GridPrint, ATallRowPrintsOnItsOwnPageAndNoRoomPrintsHeadings)
{
    QTemporaryDir dir;
    RecordingPrintGrid grid(4, 2, 1, 1);
    grid.SetRowHeight(2, 100000);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("tall.pdf"));
    ASSERT_TRUE(grid.Print(&printer));
    ASSERT_EQ(grid.pages.size(), 3u);
    EXPECT_EQ(grid.pages[1].cellRows, std::vector<int> { 2 });
    EXPECT_EQ(PdfPages(dir.filePath("tall.pdf")), 3);

    // Margins that leave no room: one page, headings only.
    RecordingPrintGrid crowded(100, 2, 1, 1);
    crowded.SetPrintMarginInfo(400, 400, -1, -1, -1, -1, -1);
    printer.setOutputFileName(dir.filePath("crowded.pdf"));
    ASSERT_TRUE(crowded.Print(&printer));
    ASSERT_EQ(crowded.pages.size(), 1u);
    EXPECT_TRUE(crowded.pages[0].cellRows.empty());
    EXPECT_EQ(crowded.pages[0].headingRows, std::vector<int> { 0 });
    EXPECT_EQ(PdfPages(dir.filePath("crowded.pdf")), 1);
}

TEST(GridPrint, CellShading)
{
    const QRgb white = qRgb(255, 255, 255);
    struct Case {
        const char* name;
        bool fixed;
        COLORREF back;
        bool shading;
        bool backgroundPrinted;
    };
    const std::vector<Case> cases = {
        { "a normal cell at the default prints no background", false, CLR_GRID_DEFAULT, true, false },
        { "a normal cell of the default colour prints none", false, 0x00FFFFFE, true, false },
        { "a normal cell of its own colour prints it", false, RGB(0, 0, 200), true, true },
        { "a fixed cell prints the default cell's", true, CLR_GRID_DEFAULT, true, true },
        { "without shading nothing", true, RGB(0, 0, 200), false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestGrid grid(3, 3, 1, 1);
        grid.m_DefaultCell.SetBackColour(0x00FFFFFE);
        grid.m_DefaultHeaderRowCell.SetBackColour(RGB(200, 0, 0));
        grid.m_DefaultCornerCell.SetBackColour(RGB(200, 0, 0));
        grid.m_DefaultHeaderColumnCell.SetBackColour(RGB(200, 0, 0));
        grid.SetPrintShading(c.shading);
        const int row = c.fixed ? 0 : 1;
        grid.SetItemText(row, 1, "");
        grid.SetItemBkColour(row, 1, c.back);
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(white);
        QPainter painter(&image);
        ASSERT_TRUE(grid.GetCell(row, 1)->PrintCell(&painter, row, 1, WinRect { 0, 0, 39, 19 }));
        painter.end();
        EXPECT_EQ(image.pixel(20, 10) != white, c.backgroundPrinted);
    }
}

// A printer whose pages go nowhere: its engine records the pen of every text drawn.
class PenRecorder : public QPaintEngine {
public:
    std::vector<QColor> textPens;
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    void drawRects(const QRectF*, int) override { }
    void drawTextItem(const QPointF&, const QTextItem&) override { textPens.push_back(painter()->pen().color()); }
    Type type() const override { return User; }
};

class RecordingPrinter : public QPrinter {
public:
    mutable PenRecorder engine;
    QPaintEngine* paintEngine() const override { return &engine; }
};

TEST(GridPrint, AGreyScalePrinterWeighsTheTextPerChannel)
{
    struct Case {
        const char* name;
        QPrinter::ColorMode mode;
        COLORREF back;
        QColor expected;
    };
    // Text RGB(200, 100, 50): weighed, 200 x 0.30, 100 x 0.59, 50 x 0.11.
    const std::vector<Case> cases = {
        { "colour: the text as it is", QPrinter::Color, CLR_GRID_DEFAULT, QColor(200, 100, 50) },
        { "grey scale without a background: weighed", QPrinter::GrayScale, CLR_GRID_DEFAULT, QColor(60, 59, 5) },
        { "grey scale on a background of its own: as it is", QPrinter::GrayScale, RGB(0, 0, 200),
            QColor(200, 100, 50) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestGrid grid(3, 3, 1, 1);
        grid.SetItemText(1, 1, "text");
        grid.SetItemFgColour(1, 1, RGB(200, 100, 50));
        grid.SetItemBkColour(1, 1, c.back);
        RecordingPrinter printer;
        printer.setColorMode(c.mode);
        QPainter painter;
        ASSERT_TRUE(painter.begin(&printer));
        ASSERT_TRUE(grid.GetCell(1, 1)->PrintCell(&painter, 1, 1, WinRect { 0, 0, 59, 19 }));
        painter.end();
        ASSERT_FALSE(printer.engine.textPens.empty());
        EXPECT_EQ(printer.engine.textPens.back(), c.expected);
    }
}

} // namespace
