// Load and save of a 16 MB image as Intel HEX and as S-records, against the same conversions by
// srec_cat and objcopy in the same run. Prints MB/s (of image bytes) for each and the ratios.
// Our save goes through QSaveFile, which syncs the file to disk before it replaces the old one.

#include "BenchUtil.h"

#include "buffer/BufferLoader.h"
#include "buffer/BufferSaver.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr std::size_t kSize = 16u * 1024 * 1024;
constexpr int kRuns = 3;

double MBps(double seconds)
{
    return seconds > 0 ? static_cast<double>(kSize) / (1024.0 * 1024.0) / seconds : 0.0;
}

template <typename F> double Median(F&& f)
{
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(bench::Seconds(f));
    return bench::Median(runs);
}

// Median seconds of a shell command, or -1 when it fails.
double Tool(const std::string& command)
{
    bool ok = true;
    const double t = Median([&] { ok = ok && std::system((command + " 2>/dev/null").c_str()) == 0; });
    return ok ? t : -1.0;
}

void Row(const char* what, double ours, double srecCat, double objcopy)
{
    std::printf("%-14s ours %8.1f MB/s | srec_cat %7.1f MB/s | objcopy %7.1f MB/s | ours/srec_cat %6.1fx | "
                "ours/objcopy %5.1fx\n",
        what, MBps(ours), srecCat > 0 ? MBps(srecCat) : 0.0, objcopy > 0 ? MBps(objcopy) : 0.0,
        srecCat > 0 ? srecCat / ours : 0.0, objcopy > 0 ? objcopy / ours : 0.0);
}

} // namespace

int main()
{
    bench::PrintMachine();
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    std::mt19937 rng(7);
    buffer::CBufferModel model;
    model.Buffer(0).resize(kSize);
    for (auto& b : model.Buffer(0))
        b = static_cast<std::uint8_t>(rng());
    {
        QFile bin(QString::fromStdString(root + "image.bin"));
        bin.open(QIODevice::WriteOnly);
        bin.write(reinterpret_cast<const char*>(model.Buffer(0).data()), static_cast<qint64>(kSize));
    }
    const bool haveSrecCat = QFile::exists("/usr/bin/srec_cat");
    const bool haveObjcopy = QFile::exists("/usr/bin/objcopy");
    std::printf("image: %zu bytes of random data, median of %d runs each\n", kSize, kRuns);

    for (const char* ext : { "hex", "s" }) {
        const bool hex = ext[0] == 'h';
        const std::string ours = root + "ours." + ext;
        const double format = Median([&] {
            bench::Keep(
                buffer::FormatBuffer(model, 0, hex ? buffer::FileFormat::IntelHex : buffer::FileFormat::SRecord, {}));
        });
        std::printf("%-14s ours %8.1f MB/s (text in memory, no file)\n", hex ? "make Intel HEX" : "make S-record",
            MBps(format));
        const double save = Median([&] { buffer::SaveBuffer(model, 0, ours, {}); });
        // The same text written by a plain file write, without the safe save's sync to disk:
        // what the format code costs next to the tools, which do not sync either.
        const double plain = Median([&] {
            const std::string text
                = buffer::FormatBuffer(model, 0, hex ? buffer::FileFormat::IntelHex : buffer::FileFormat::SRecord, {});
            QFile file(QString::fromStdString(ours + ".plain"));
            file.open(QIODevice::WriteOnly);
            file.write(text.data(), static_cast<qint64>(text.size()));
        });
        buffer::CBufferModel loaded;
        const double load = Median([&] {
            buffer::LoadRequest request;
            request.fileOffsetText = "0";
            buffer::ReadMainBufferFile(loaded, ours, hex ? "*.hex" : "*.s", request);
        });
        if (loaded.Buffer(0) != model.Buffer(0))
            std::printf("MISMATCH: %s did not load back\n", ext);

        const char* srecFormat = hex ? "-intel" : "-motorola";
        const char* objFormat = hex ? "ihex" : "srec";
        const std::string image = root + "image.bin";
        double srecSave = -1, srecLoad = -1, objSave = -1, objLoad = -1;
        if (haveSrecCat) {
            srecSave = Tool("srec_cat " + image + " -binary -o " + root + "sc." + ext + " " + srecFormat);
            srecLoad = Tool("srec_cat " + root + "sc." + ext + " " + srecFormat + " -o " + root + "sc.bin -binary");
        }
        if (haveObjcopy) {
            objSave = Tool(std::string("objcopy -I binary -O ") + objFormat + " " + image + " " + root + "oc." + ext);
            objLoad = Tool(
                std::string("objcopy -I ") + objFormat + " -O binary " + root + "oc." + ext + " " + root + "oc.bin");
        }
        Row(hex ? "save Intel HEX" : "save S-record", save, srecSave, objSave);
        Row(hex ? "  without sync" : "  without sync", plain, srecSave, objSave);
        Row(hex ? "load Intel HEX" : "load S-record", load, srecLoad, objLoad);
    }
    return 0;
}
