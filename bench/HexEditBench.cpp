// The hex view over a 16 MB buffer: time to attach the block, to paint one screen at the top,
// the middle and the end, and to scroll a page (median of 20 runs each). Offscreen platform.

#include "BenchUtil.h"

#include "buffer/ui/HexEditBase.h"

#include <QApplication>
#include <QPixmap>
#include <QScrollBar>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    bench::PrintMachine();

    std::vector<std::uint8_t> data(16u * 1024 * 1024);
    std::mt19937 rng(1);
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>(rng());

    CHexEditBase view;
    view.resize(700, 500);
    view.show();
    QPixmap pixmap(view.viewport()->size());

    std::vector<double> attach;
    for (int r = 0; r < 20; ++r) {
        attach.push_back(bench::Seconds([&] { view.SetData(data.data(), data.size()); }));
        view.SetData(nullptr, 0);
    }
    view.SetData(data.data(), data.size());
    std::printf("SetData (16 MB)      %8.1f us\n", bench::Median(attach) * 1e6);

    QScrollBar* bar = view.verticalScrollBar();
    const struct {
        const char* name;
        int value;
    } places[] = { { "top", 0 }, { "middle", bar->maximum() / 2 }, { "end", bar->maximum() } };
    for (const auto& place : places) {
        bar->setValue(place.value);
        std::vector<double> runs;
        for (int r = 0; r < 20; ++r)
            runs.push_back(bench::Seconds([&] { view.viewport()->render(&pixmap); }));
        std::printf(
            "paint at the %-7s %8.1f us (%d rows)\n", place.name, bench::Median(runs) * 1e6, view.LastPaintedRows());
    }

    std::vector<double> pages;
    bar->setValue(0);
    for (int r = 0; r < 20; ++r)
        pages.push_back(bench::Seconds([&] {
            bar->setValue(bar->value() + bar->pageStep());
            view.viewport()->render(&pixmap);
        }));
    std::printf("page down and paint  %8.1f us\n", bench::Median(pages) * 1e6);
    return 0;
}
