// Load and save of a random 16 MiB image as Intel HEX and as S-records, side by side with objcopy
// and srec_cat on the same files, all as whole processes (best of 5). Ours run this program
// again as a child that does exactly what the view does: buffer::LoadFile on the file the tool
// wrote, or buffer::SaveBuffer (through QSaveFile, which syncs the file to disk) of the image.
// The ratio columns read "project time / tool time": below 1 we are faster. The child also
// reports how far its peak memory rose above what it held at its start.

#include "BenchUtil.h"

#include "buffer/BufferLoader.h"
#include "buffer/BufferSaver.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string>

namespace {

constexpr std::size_t kSize = 16u * 1024 * 1024;
constexpr int kRuns = 5;

// A value in kB from /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::stol(line.substr(n + 1));
    return -1;
}

// The child: one load or one save, then "seconds peak-growth-bytes" on stdout.
int Child(int argc, char** argv)
{
    const long startKb = StatusKb("VmRSS");
    buffer::CBufferModel model;
    double seconds = 0;
    if (argc == 4 && std::strcmp(argv[1], "--load") == 0) {
        buffer::LoadRequest request;
        request.fileOffsetText = "0";
        request.lookupOpenedFile = false;
        buffer::LoadResult result;
        seconds = bench::Seconds([&] { result = buffer::LoadFile(model, argv[2], argv[3], request); });
        if (!result.readOk || model.Buffer(0).size() != kSize)
            return 2;
    } else if (argc == 4 && std::strcmp(argv[1], "--save") == 0) {
        QFile image(argv[2]);
        if (!image.open(QIODevice::ReadOnly))
            return 2;
        model.Buffer(0).resize(kSize);
        if (image.read(reinterpret_cast<char*>(model.Buffer(0).data()), kSize) != static_cast<qint64>(kSize))
            return 2;
        buffer::SaveResult result;
        seconds = bench::Seconds([&] { result = buffer::SaveBuffer(model, 0, argv[3], {}); });
        if (!result.saved)
            return 2;
    } else if (argc != 2 || std::strcmp(argv[1], "--nothing") != 0) {
        return 1;
    }
    const long peakKb = StatusKb("VmHWM");
    std::printf("%.6f %ld\n", seconds, (peakKb - startKb) * 1024);
    return 0;
}

struct Run {
    double wall = -1; // best whole-process time, -1 when it failed
    double inside = -1; // our child's own time for the call
    long peak = -1; // our child's peak growth in bytes
};

// Best of kRuns of a whole process.
Run Time(const QString& program, const QStringList& args, bool ours)
{
    Run best;
    for (int i = 0; i < kRuns; ++i) {
        QProcess process;
        process.setProcessChannelMode(QProcess::SeparateChannels);
        double wall = 0;
        bool ok = false;
        wall = bench::Seconds([&] {
            process.start(program, args);
            ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
                && process.exitCode() == 0;
        });
        if (!ok)
            return {};
        if (best.wall < 0 || wall < best.wall)
            best.wall = wall;
        if (ours) {
            double inside = 0;
            long peak = 0;
            if (std::sscanf(process.readAllStandardOutput().constData(), "%lf %ld", &inside, &peak) == 2) {
                best.inside = best.inside < 0 ? inside : std::min(best.inside, inside);
                best.peak = std::max(best.peak, peak);
            }
        }
    }
    return best;
}

void Row(const char* what, const Run& ours, const Run& objcopy, const Run& srecCat)
{
    auto ratio = [&](const Run& tool) { return tool.wall > 0 && ours.wall > 0 ? ours.wall / tool.wall : 0.0; };
    std::printf("%-15s ours %6.3f s (call %6.3f s) | objcopy %6.3f s | srec_cat %6.3f s | ours/objcopy %5.2f | "
                "ours/srec_cat %5.2f | peak +%5.1f MiB (%.2f x image)\n",
        what, ours.wall, ours.inside, objcopy.wall, srecCat.wall, ratio(objcopy), ratio(srecCat),
        static_cast<double>(ours.peak) / (1024.0 * 1024.0), static_cast<double>(ours.peak) / kSize);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        return Child(argc, argv);
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    bench::PrintMachine();
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    {
        std::mt19937 rng(7);
        std::vector<std::uint8_t> image(kSize);
        for (auto& b : image)
            b = static_cast<std::uint8_t>(rng());
        QFile bin(root + "image.bin");
        bin.open(QIODevice::WriteOnly);
        bin.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(kSize));
    }
    const QString objcopy = "/usr/bin/objcopy", srecCat = "/usr/bin/srec_cat";
    const bool haveObjcopy = QFile::exists(objcopy), haveSrecCat = QFile::exists(srecCat);
    std::printf("image: %zu bytes of random data; whole processes, best of %d; ratios are project time / tool time\n",
        kSize, kRuns);
    const Run start = Time(self, { "--nothing" }, true);
    std::printf("our child process alone: %.3f s, peak +%.1f MiB\n", start.wall,
        static_cast<double>(start.peak) / (1024.0 * 1024.0));

    for (const bool hex : { true, false }) {
        const QString ext = hex ? "hex" : "s";
        const QString objFormat = hex ? "ihex" : "srec", srecFormat = hex ? "-intel" : "-motorola";
        const QString image = root + "image.bin";
        Run objSave, objLoad, srecSave, srecLoad;
        if (haveObjcopy)
            objSave = Time(objcopy, { "-I", "binary", "-O", objFormat, image, root + "oc." + ext }, false);
        if (haveSrecCat)
            srecSave = Time(srecCat, { image, "-binary", "-o", root + "sc." + ext, srecFormat }, false);
        // The file to load is the tool's when there is one (objcopy's first), else ours.
        const QString ours = root + "ours." + ext;
        const Run save = Time(self, { "--save", image, ours }, true);
        const QString source = haveObjcopy ? root + "oc." + ext : haveSrecCat ? root + "sc." + ext : ours;
        if (haveObjcopy)
            objLoad = Time(objcopy, { "-I", objFormat, "-O", "binary", source, root + "oc.bin" }, false);
        if (haveSrecCat)
            srecLoad = Time(srecCat, { source, srecFormat, "-o", root + "sc.bin", "-binary" }, false);
        const Run load = Time(self, { "--load", source, hex ? "*.hex" : "*.s" }, true);
        std::printf("file: %s, %lld bytes\n", QFile(source).fileName().toStdString().c_str(),
            static_cast<long long>(QFile(source).size()));
        Row(hex ? "save Intel HEX" : "save S-record", save, objSave, srecSave);
        Row(hex ? "load Intel HEX" : "load S-record", load, objLoad, srecLoad);
    }
    return 0;
}
