// The device catalogue: loading a generated device list of 10,000 lines and 10,000 lookups by
// name, each beside its floor measured in the same run (median of 5 runs).

#include "BenchUtil.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
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

} // namespace

int main()
{
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
    return 0;
}
