// mkfwimage: makes our firmware images.
//
//   mkfwimage --numbers <numbers.txt> --out <folder> --qrc <file.qrc>
//       every listed image, transformed, as <folder>/<number>, and a Qt resource file that
//       lists them under the prefix /DATAF by number
//   mkfwimage --number N [--models any|2,4,5] [--length L] [--bad-crc] [--enc | --cls NAME] -o <file>
//       one image as HEX text, transformed (.enc) or as a class file (.cls)

#include "tools/mkfwimage/FirmwareImage.h"
#include "transport/FirmwareTransform.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    out.close();
    if (!out) {
        std::fprintf(stderr, "mkfwimage: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

int Usage()
{
    std::fprintf(stderr,
        "usage: mkfwimage --numbers <file> --out <folder> --qrc <file>\n"
        "       mkfwimage --number N [--models any|a,b] [--length L] [--bad-crc] [--enc|--cls NAME] -o <file>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string numbers, outDir, qrc, output, clsName, models = "any";
    mkfwimage::ImageOptions options;
    bool enc = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--numbers")
            numbers = next();
        else if (a == "--out")
            outDir = next();
        else if (a == "--qrc")
            qrc = next();
        else if (a == "-o")
            output = next();
        else if (a == "--number")
            options.number = std::atoi(next().c_str());
        else if (a == "--models")
            models = next();
        else if (a == "--length")
            options.length = static_cast<std::uint16_t>(std::atoi(next().c_str()));
        else if (a == "--bad-crc")
            options.badCrc = true;
        else if (a == "--enc")
            enc = true;
        else if (a == "--cls")
            clsName = next();
        else
            return Usage();
    }

    if (!numbers.empty()) {
        if (outDir.empty() || qrc.empty())
            return Usage();
        std::ifstream in(numbers);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        const auto list = mkfwimage::ParseNumbers(text.str(), error);
        if (!in || !list) {
            std::fprintf(stderr, "mkfwimage: %s: %s\n", numbers.c_str(), in ? error.c_str() : "cannot read");
            return 1;
        }
        std::string index = "<RCC>\n  <qresource prefix=\"/DATAF\">\n";
        for (const auto& img : *list) {
            mkfwimage::ImageOptions o;
            o.number = img.number;
            o.models = img.models;
            const std::string name = std::to_string(img.number);
            if (!WriteFile(outDir + "/" + name, firmware::Transform(mkfwimage::ImageHex(o))))
                return 1;
            index += "    <file alias=\"" + name + "\">" + outDir + "/" + name + "</file>\n";
        }
        index += "  </qresource>\n</RCC>\n";
        return WriteFile(qrc, index) ? 0 : 1;
    }

    if (output.empty())
        return Usage();
    std::string error;
    const auto parsed = mkfwimage::ParseNumbers("0 " + models, error);
    if (!parsed)
        return Usage();
    options.models = parsed->front().models;
    const std::string hex = mkfwimage::ImageHex(options);
    if (hex.empty()) {
        std::fprintf(stderr, "mkfwimage: number or length out of range\n");
        return 1;
    }
    const std::string data = !clsName.empty() ? mkfwimage::MakeClassFile(clsName, hex)
        : enc                                 ? firmware::Transform(hex)
                                              : hex;
    return WriteFile(output, data) ? 0 : 1;
}
