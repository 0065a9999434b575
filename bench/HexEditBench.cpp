// The hex editor over a 16 MiB random buffer (median of 20 runs each, offscreen platform):
// - find of a 6-byte pattern that lies only at the end, as hex (exact) and as a text ignoring
//   case, beside memmem; target under 50 ms;
// - a fill of all 16 MiB beside memset;
// - a keystroke mid-buffer to its repaint beside a repaint alone; target under 16 ms;
// - attaching the block, painting at the top, middle and end, and a page down.

#include "BenchUtil.h"

#include "buffer/BufferEdit.h"
#include "buffer/ui/HexEditBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScrollBar>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kRuns = 20;

template <typename F> double Median(F&& f)
{
    std::vector<double> runs;
    for (int r = 0; r < kRuns; ++r)
        runs.push_back(bench::Seconds(f));
    return bench::Median(runs);
}

void Row(const char* what, double ours, const char* other, double theirs)
{
    std::printf("%-28s %9.3f ms | %-14s %9.3f ms | ratio %6.2f\n", what, ours * 1e3, other, theirs * 1e3,
        theirs > 0 ? ours / theirs : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    bench::PrintMachine();

    std::vector<std::uint8_t> data(16u * 1024 * 1024);
    std::mt19937 rng(1);
    // Random bytes without 'Q' (and 'q'), so that the pattern below lies only at the end.
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(rng());
        if ((byte | 0x20) == 'q')
            byte = 0;
    }
    const std::vector<std::uint8_t> pattern { 'Q', 'w', 'E', 'r', 'T', 'y' };
    std::copy(pattern.begin(), pattern.end(), data.end() - 6);
    std::printf("buffer: %zu random bytes; times are medians of %d runs; ratio: ours / theirs\n", data.size(), kRuns);

    std::size_t found = 0;
    const double hex = Median([&] { found = *buffer::FindBytes(data.data(), data.size(), pattern, 0, true, true); });
    const double text = Median([&] {
        const std::vector<std::uint8_t> lower { 'q', 'W', 'e', 'R', 't', 'Y' };
        found = *buffer::FindBytes(data.data(), data.size(), lower, 0, true, false);
    });
    const double mem = Median([&] { bench::Keep(memmem(data.data(), data.size(), pattern.data(), pattern.size())); });
    if (found != data.size() - 6)
        std::printf("MISMATCH: found at %zu\n", found);
    Row("find 6 bytes at the end (hex)", hex, "memmem", mem);
    Row("find text ignoring case", text, "memmem", mem);

    std::vector<std::uint8_t> copy = data;
    const double fill = Median([&] { buffer::FillRange(copy, 0, copy.size() - 1, { 0xA5, 0x5A }); });
    const double fillOne = Median([&] { buffer::FillRange(copy, 0, copy.size() - 1, { 0xFF }); });
    const double set = Median([&] {
        std::memset(copy.data(), 0xFF, copy.size());
        bench::Keep(copy);
    });
    Row("fill 16 MiB, 2-byte pattern", fill, "memset", set);
    Row("fill 16 MiB with FF", fillOne, "memset", set);

    CHexEditBase view;
    view.resize(700, 500);
    view.show();
    QPixmap pixmap(view.viewport()->size());
    std::vector<double> attach;
    for (int r = 0; r < kRuns; ++r) {
        attach.push_back(bench::Seconds([&] { view.SetData(data.data(), data.size()); }));
        view.SetData(nullptr, 0);
    }
    view.SetData(data.data(), data.size());
    std::printf("SetData (16 MiB)             %9.3f ms\n", bench::Median(attach) * 1e3);

    const std::size_t middle = data.size() / 2;
    view.SetCursor(middle);
    QApplication::processEvents();
    const double render = Median([&] { view.viewport()->render(&pixmap); });
    const double key = Median([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(&view, &press);
        QApplication::processEvents();
        view.viewport()->render(&pixmap);
    });
    Row("keystroke mid-buffer, repaint", key, "repaint alone", render);

    QScrollBar* bar = view.verticalScrollBar();
    const struct {
        const char* name;
        int value;
    } places[] = { { "top", 0 }, { "middle", bar->maximum() / 2 }, { "end", bar->maximum() } };
    for (const auto& place : places) {
        bar->setValue(place.value);
        const double t = Median([&] { view.viewport()->render(&pixmap); });
        std::printf("paint at the %-15s %9.3f ms (%d rows)\n", place.name, t * 1e3, view.LastPaintedRows());
    }
    bar->setValue(0);
    const double page = Median([&] {
        bar->setValue(bar->value() + bar->pageStep());
        view.viewport()->render(&pixmap);
    });
    std::printf("page down and paint          %9.3f ms\n", page * 1e3);
    return 0;
}
