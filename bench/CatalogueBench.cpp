// The device catalogue: loading a generated device list of 10,000 lines, importing its chip-ID
// signatures, 10,000 lookups by name, and the selection dialog over those records, each beside
// its floor measured in the same run (median of 5 runs).

#include "BenchUtil.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceIdDecoder.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceSelectModel.h"
#include "catalogue/DeviceSelection.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QStringListModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A seeded list: unique names, every class, about 60 makers, 0-20 optional keys in random order.
std::string MakeList(std::vector<std::string>& names)
{
    std::mt19937 rng(1210);
    std::vector<int> classes;
    for (int i = 0; i < kNoDeviceClass; ++i) {
        if (!g_DeviceClassTable[static_cast<std::size_t>(i)].m_strName.empty())
            classes.push_back(i);
    }
    const std::vector<std::string> optional { "Speed=\"3\"", "Package=\"DIP32\"", "FuseLabel=\"A B C D\"",
        "Buffer1Title=\"Code\"", "Adapter=\"PLCC32 adapter\"", "Message=\"Mind the notch\"", "DEVICE_INDEX=\"1\"",
        "CodeSize=\"65536\"", "EepromSize=\"256\"", "DIP=\"100000000000\"", "PAGE_WRITE_SIZE=\"40\"",
        "DATA_PAGE_WRITE_SIZE=\"10\"", "SKIP_WRITE_BLANK=\"1\"", "PRG_MODE=\"1\"", "CFGByteLabel=\"FOSC0 FOSC1 WDTE\"",
        "VCC=\"5V\"", "VPP=\"12V\"", "WVCC=\"5V\"", "EVCC=\"5V\"", "BVCC=\"5V\"", "RVPP=\"5V\"", "PINGROUP=\"X\"",
        "PIN_GND=\"16\"", "ZIF48CFG1=\"1\"", "VccAdjQ8U=\"4\"", "PINVCC=\"ZIF32_PIN32\"", "PINVPP=\"ZIF32_PIN1\"" };
    std::string text = "; generated device list\r\n";
    for (int n = 0; n < 10000; ++n) {
        const int cls = classes[static_cast<std::size_t>(n) % classes.size()];
        names.push_back("DEVICE" + std::to_string(n) + "-" + std::to_string(rng() % 1000));
        std::vector<std::string> keys = optional;
        std::shuffle(keys.begin(), keys.end(), rng);
        keys.resize(rng() % 21);
        keys.push_back("Category=\"FLASH\"");
        keys.push_back("MFG=\"MAKER" + std::to_string(rng() % 60) + "\"");
        std::shuffle(keys.begin(), keys.end(), rng);
        std::string line = "Name=\"" + names.back() + "\" ID=\"BFB5\" Class=\""
            + g_DeviceClassTable[static_cast<std::size_t>(cls)].m_strName + "\"";
        for (const std::string& k : keys)
            line += " " + k;
        text += line + "\r\n";
    }
    return text;
}

// The selection dialog over the loaded records: its lists opened beside a QStringListModel of the
// sorted names, the dialog opened offscreen beside that model in a bare QListView, and one search
// keystroke beside a bare case-insensitive substring scan of the names.
QStringList SortedNames()
{
    QStringList names;
    for (const auto& record : g_DeviceRecords)
        names.push_back(QString::fromStdString(record->m_strName));
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    return names;
}

template <typename F> double MedianMs(F&& f)
{
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r)
        runs.push_back(bench::Seconds(f) * 1e3);
    return bench::Median(runs);
}

void Report(const char* what, double ms, const char* floorWhat, double floorMs, double aimMs)
{
    char aim[32] = "";
    if (aimMs > 0)
        std::snprintf(aim, sizeof aim, "(aim < %.0f ms)", aimMs);
    std::printf("%-26s %8.2f ms %-15s floor: %-38s %8.2f ms  ratio %.1f\n", what, ms, aim, floorWhat, floorMs,
        floorMs > 0 ? ms / floorMs : 0.0);
}

void RunSelection()
{
    // Opening the lists.
    const double openMs = MedianMs([] {
        CDeviceSelectModel model(DeviceSelectEntriesFromRecords());
        model.Open("");
        bench::Keep(model);
    });
    const double listModelMs = MedianMs([] {
        QStringListModel model(SortedNames());
        bench::Keep(model);
    });
    Report("selection lists opened", openMs, "QStringListModel of the sorted names", listModelMs, 100);

    // Opening the dialog offscreen, until it is painted.
    const double dialogMs = MedianMs([] {
        CDeviceSelectDlg dlg;
        dlg.OnInitDialog();
        dlg.show();
        QCoreApplication::processEvents();
        dlg.reject();
    });
    const double bareViewMs = MedianMs([] {
        QStringListModel model(SortedNames());
        QListView view;
        view.setUniformItemSizes(true);
        view.setModel(&model);
        view.show();
        QCoreApplication::processEvents();
    });
    Report("selection dialog opened", dialogMs, "the same model in a bare QListView", bareViewMs, 0);

    // One keystroke each way: "12" becomes "123", then "12" again.
    CDeviceSelectModel model(DeviceSelectEntriesFromRecords());
    model.Open("");
    model.SetSearch("12");
    const double keyMs = MedianMs([&] {
        model.SetSearch("123");
        model.SetSearch("12");
    }) / 2;
    const QStringList names = SortedNames();
    const double scanMs = MedianMs([&] {
        int hits = 0;
        for (const char* text : { "123", "12" })
            for (const QString& name : names)
                hits += name.contains(QLatin1String(text), Qt::CaseInsensitive);
        bench::Keep(hits);
    }) / 2;
    Report("one search keystroke", keyMs, "case-insensitive substring scan", scanMs, 20);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The dialog reads the stored favourites: from a settings file of the run's own.
    QTemporaryDir settingsDir;
    setenv("TONRIG_SETTINGS", (settingsDir.path() + "/settings.json").toStdString().c_str(), 1);
    QApplication app(argc, argv);
    bench::PrintMachine();
    InitDeviceClassTable();
    platform::SetMessageBoxService([](const std::string& text, const std::string&, UINT) {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return IDOK;
    });
    SetDeviceListLogSink([](const std::string& text, COLORREF) { std::fprintf(stderr, "log: %s\n", text.c_str()); });

    std::vector<std::string> names;
    const std::string text = MakeList(names);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/devices.txt";
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(text.data(), static_cast<qsizetype>(text.size()));
    }

    std::vector<double> load, floor;
    for (int r = 0; r < 5; ++r) {
        g_DeviceLibrary.FreeAll();
        load.push_back(bench::Seconds([&] { g_DeviceLibrary.LoadDeviceList(path); }));
        floor.push_back(bench::Seconds([&] {
            QFile file(QString::fromStdString(path));
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            std::vector<std::string_view> lines;
            std::size_t start = 0;
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                if (bytes[i] == '\n') {
                    lines.emplace_back(bytes.constData() + start, static_cast<std::size_t>(i) - start);
                    start = static_cast<std::size_t>(i) + 1;
                }
            }
            bench::Keep(lines);
        }));
    }
    std::printf("records loaded: %zu of %zu lines\n", g_DeviceRecords.size(), names.size());

    // The chip-ID decoding's import of the same file (every line one maker's), beside the same floor.
    std::vector<double> importRuns;
    std::size_t signatures = 0;
    for (int r = 0; r < 5; ++r) {
        CDeviceIdDecoder decoder;
        decoder.FillManufacturerTable();
        importRuns.push_back(bench::Seconds([&] { decoder.LoadDeviceSignatures(path); }));
        signatures = decoder.FindManufacturer("BF")->m_Signatures.size();
    }
    std::printf("signature import 10,000 lines: %8.2f ms  (floor: read and split %6.2f ms, ratio %.1f; %zu kept)\n",
        bench::Median(importRuns) * 1e3, bench::Median(floor) * 1e3, bench::Median(importRuns) / bench::Median(floor),
        signatures);

    std::unordered_map<std::string, int> bare;
    for (std::size_t i = 0; i < names.size(); ++i)
        bare.emplace(names[i], static_cast<int>(i));
    std::vector<std::string> queries;
    std::mt19937 rng(5);
    for (int i = 0; i < 10000; ++i)
        queries.push_back(names[rng() % names.size()]);
    std::vector<double> find, findFloor;
    for (int r = 0; r < 5; ++r) {
        std::size_t hits = 0;
        find.push_back(bench::Seconds([&] {
            for (const std::string& q : queries)
                hits += g_DeviceLibrary.FindDevice(q) != nullptr;
        }));
        findFloor.push_back(bench::Seconds([&] {
            for (const std::string& q : queries)
                hits += bare.find(q) != bare.end();
        }));
        bench::Keep(hits);
    }
    const double l = bench::Median(load), lf = bench::Median(floor), f = bench::Median(find),
                 ff = bench::Median(findFloor);
    std::printf(
        "load 10,000 lines:      %8.2f ms  (floor: read and split %6.2f ms, ratio %.1f)\n", l * 1e3, lf * 1e3, l / lf);
    std::printf("10,000 FindDevice calls: %7.3f ms  (floor: bare unordered_map %6.3f ms, ratio %.2f)\n", f * 1e3,
        ff * 1e3, f / ff);
    RunSelection();
    return 0;
}
