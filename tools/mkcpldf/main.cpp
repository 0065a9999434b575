// mkcpldf: the programmer's own CPLD programs, one byte-code image per configuration that device
// setup runs (kCpldConfigurations and the jig's kBracketCpldConfiguration), for the model CPLD of
// sim/PROTOCOL.md with the programmer's IDCODE. Each PROGRAM leaves the configuration's USERCODE
// and 16 rows derived from its number.
//
//   mkcpldf --out <folder> --qrc <file.qrc>
//       every program as <folder>/<number>, and a Qt resource file listing them under /CPLDF

#include "catalogue/CpldConfigurations.h"
#include "jtag/builder/CpldProgram.h"
#include "sim/ModelCpld.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "mkcpldf: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: mkcpldf --out <folder> --qrc <file>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string outDir, qrc;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : std::string();
        if (a == "--out")
            outDir = value, ++i;
        else if (a == "--qrc")
            qrc = value, ++i;
        else
            return Usage();
    }
    if (outDir.empty() || qrc.empty())
        return Usage();

    std::vector<CpldConfiguration> all(kCpldConfigurations.begin(), kCpldConfigurations.end());
    all.push_back(kBracketCpldConfiguration);
    std::string index = "<RCC>\n  <qresource prefix=\"/CPLDF\">\n";
    for (const CpldConfiguration& c : all) {
        bytecode::CpldProgramPlan plan;
        plan.idcode = sim::kProgrammerCpldIdcode;
        plan.usercode = static_cast<std::uint32_t>(std::strtoul(c.userCode, nullptr, 16));
        plan.rows = bytecode::CpldPatternRows(static_cast<std::uint32_t>(c.number));
        // 200,000 clocks are sent as they stand at every level; 1,600 become 100 at level 1.
        plan.eraseClocks = 200000;
        plan.rowClocks = 1600;
        plan.notes
            = { { "DESIGN", "programmer configuration " + std::to_string(c.number) }, { "USERCODE", c.userCode } };
        const bytecode::BuildResult built = bytecode::BuildCpldProgram(plan);
        if (!built.ok()) {
            std::fprintf(stderr, "mkcpldf: configuration %d: %s\n", c.number, built.error.c_str());
            return 1;
        }
        const std::string name = std::to_string(c.number);
        if (!WriteFile(outDir + "/" + name, built.image))
            return 1;
        index += "    <file alias=\"" + name + "\">" + outDir + "/" + name + "</file>\n";
    }
    index += "  </qresource>\n</RCC>\n";
    std::ofstream out(qrc);
    out << index;
    return out ? 0 : 1;
}
