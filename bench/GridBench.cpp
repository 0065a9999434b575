// The grid control painting a 10,000-row x 20-column grid of short texts (one fixed row and
// column) into a 1200 x 800 viewport at the top, the middle and the bottom, beside a QTableView
// over a minimal model serving the same texts in the same font and sizes. Median of 20 frames
// each. Then the same grid sorted by a column (text order, then descending), saved to a
// comma-separated file and loaded back. Offscreen platform.

#include "BenchUtil.h"

#include "controls/ui/grid/GridCtrl.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 20;

QString Text(int row, int col)
{
    return QStringLiteral("r%1 c%2").arg(row).arg(col);
}

class TextModel : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kRows - 1; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kCols - 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return Text(index.row() + 1, index.column() + 1);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return orientation == Qt::Horizontal ? Text(0, section + 1) : Text(section + 1, 0);
    }
};

double FrameMs(QWidget* viewport, QImage& image)
{
    std::vector<double> times;
    for (int i = 0; i < 20; ++i)
        times.push_back(bench::Seconds([&] {
            viewport->render(&image);
            bench::Keep(image);
        }));
    return bench::Median(times) * 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setFont(QFont("DejaVu Sans", 9));
    bench::PrintMachine();

    CGridCtrl grid(kRows, kCols, 1, 1);
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            grid.SetItemText(row, col, Text(row, col));
    const int frame = grid.frameWidth();
    grid.resize(1200 + 2 * frame, 800 + 2 * frame);
    grid.show();
    grid.UpdateScrollBars();

    TextModel model;
    QTableView view;
    view.setModel(&model);
    view.setFont(QApplication::font());
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(grid.GetRowHeight(1));
    view.verticalHeader()->setFixedWidth(grid.GetColumnWidth(0));
    view.horizontalHeader()->setFixedHeight(grid.GetRowHeight(0));
    view.horizontalHeader()->setDefaultSectionSize(grid.GetColumnWidth(1));
    view.resize(grid.size());
    view.show();

    QImage gridImage(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QImage viewImage(view.size(), QImage::Format_ARGB32_Premultiplied);
    std::printf("viewport %dx%d, rows %d of %d px, columns %d px\n", grid.viewport()->width(),
        grid.viewport()->height(), kRows, grid.GetRowHeight(1), grid.GetColumnWidth(1));
    std::printf("%-8s %12s %12s %8s\n", "where", "grid ms", "table ms", "ratio");
    const struct {
        const char* name;
        double fraction;
    } places[] = { { "top", 0.0 }, { "middle", 0.5 }, { "bottom", 1.0 } };
    for (const auto& place : places) {
        QScrollBar* gridBar = grid.verticalScrollBar();
        gridBar->setValue(static_cast<int>(gridBar->maximum() * place.fraction));
        QScrollBar* viewBar = view.verticalScrollBar();
        viewBar->setValue(static_cast<int>(viewBar->maximum() * place.fraction));
        QApplication::processEvents();
        // The table view paints its headers as widgets of their own: render the whole view.
        const double gridMs = FrameMs(grid.viewport(), gridImage);
        const double viewMs = FrameMs(&view, viewImage);
        std::printf("%-8s %12.2f %12.2f %8.2f\n", place.name, gridMs, viewMs, gridMs / viewMs);
    }

    const double sortUp = bench::Seconds([&] { grid.SortTextItems(1, TRUE); });
    const double sortDown = bench::Seconds([&] { grid.SortTextItems(1, FALSE); });
    const double sortNumbers = bench::Seconds([&] { grid.SortItemsWith(&CGridCtrl::CompareCellNumbers, 2, TRUE); });
    std::printf("sort %d rows: text %.1f ms, reversed %.1f ms, as numbers %.1f ms\n", kRows - 1, sortUp * 1e3,
        sortDown * 1e3, sortNumbers * 1e3);
    QTemporaryDir dir;
    const QString path = dir.filePath("grid.csv");
    const double save = bench::Seconds([&] { bench::Keep(grid.Save(path, ',')); });
    CGridCtrl loaded;
    const double load = bench::Seconds([&] { bench::Keep(loaded.Load(path, ',')); });
    std::printf("file of %d x %d cells: save %.1f ms, load %.1f ms (%d rows back)\n", kRows, kCols, save * 1e3,
        load * 1e3, loaded.GetRowCount());
    return 0;
}
