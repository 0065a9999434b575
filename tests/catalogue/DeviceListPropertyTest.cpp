// Seeded random and mutated device lines through the reader and the parser (the same checks as
// the libFuzzer target), and the order independence of valid lines.

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceListParser.h"
#include "tests/fuzz/DeviceListHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Pair {
    std::string key;
    std::string value;
};

// Keys of every kind with values that parse, some holding key text inside the quotes.
const std::vector<Pair> kPairs {
    { "Category=", "FLASH" },
    { "MFG=", "SST VCC=5V" },
    { "Speed=", "3" },
    { "Package=", "DIP32" },
    { "FuseLabel=", "A B C" },
    { "Buffer1Title=", "Code" },
    { "Buffer3Title=", "Cfg ID=\"1\"" },
    { "Adapter=", "PLCC32 adapter" },
    { "Message=", "Set PAGE_WRITE_SIZE=4 first" },
    { "Platform=", "ZV-D" },
    { "ClassFile=", "abc" },
    { "DeviceAddress(Hex)=", "160" },
    { "ChipMode=", "ICSP" },
    { "DeviceFile=", "x.cfg" },
    { "BufferMode=", "16BIT" },
    { "TempUnprotect=", "Yes" },
    { "DEVICE_INDEX=", "2" },
    { "CodeSize=", "65536" },
    { "EepromSize=", "128" },
    { "DIP=", "100000000000" },
    { "CTL_BYTES=", "01 02" },
    { "GND_BYTES=", "80" },
    { "PAGE_WRITE_SIZE=", "40" },
    { "DATA_PAGE_WRITE_SIZE=", "10" },
    { "CFG_PAGE_WRITE_SIZE=", "2" },
    { "BEGPRG_COMMAND=", "18" },
    { "CMD_LDCONF=", "0" },
    { "SKIP_WRITE_BLANK=", "1" },
    { "PRG_MODE=", "0" },
    { "OSCCALAddress(Decimal)=", "1023" },
    { "CFGAddress(Hex)=", "2007" },
    { "CFGByteLabel=", "FOSC0 FOSC1" },
    { "VCC=", "3.3V" },
    { "VPP=", "12V" },
    { "WVCC=", "5V" },
    { "EVCC=", "5V" },
    { "BVCC=", "3.6V" },
    { "RVPP=", "0V" },
    { "EVPP=", "12V" },
    { "PINGROUP=", "AT29C256" },
    { "PIN_GND=", "16" },
    { "FirmwareID=", "15071900" },
    { "Q8UFirmwareID=", "15021000" },
    { "ZIF48CFG1=", "3" },
    { "VccAdjQ8U=", "5" },
    { "ZIF48CFG2=", "4" },
    { "PINVCC=", "ZIF32_PIN32" },
    { "PINVPP=", "ZIF32_PIN1" },
};

const std::vector<std::string> kClasses { "27C256", "sst39lf/vf512", "PIC16FXXX", "24c16", "27C16(12.7V Vpp)",
    "AT89C51_ZIF", "DS1230Y", "NOSUCH", "" };

std::string Join(const std::vector<Pair>& pairs)
{
    std::string line;
    for (const Pair& p : pairs)
        line += p.key + "\"" + p.value + "\" ";
    return line;
}

std::vector<Pair> ValidPairs(std::mt19937& rng, std::size_t count)
{
    std::vector<Pair> pairs { { "Name=", "DEV" + std::to_string(rng() % 100000) },
        { "Class=", kClasses[rng() % (kClasses.size() - 2)] }, { "ID=", "BFB5" } };
    std::vector<Pair> pool = kPairs;
    std::shuffle(pool.begin(), pool.end(), rng);
    pairs.insert(pairs.end(), pool.begin(), pool.begin() + static_cast<std::ptrdiff_t>(std::min(count, pool.size())));
    return pairs;
}

std::string RandomLine(std::mt19937& rng)
{
    static const std::vector<std::string> pieces { "\"", "=", " ", "Name=", "Class=", "ID=", "VCC=", "EVCC=", "27C256",
        "PAGE_WRITE_SIZE=", "DATA_", "Message=", "message=", "x", "5V", "0x", "-", "99999999999", std::string(1, '\0'),
        "\r", "\xFF", "\xC3", "\xC3\xA9", ";", "/", "\t" };
    std::string line;
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) {
        if (rng() % 4 == 0)
            line.push_back(static_cast<char>(rng() % 256));
        else
            line += pieces[rng() % pieces.size()];
    }
    return line;
}

std::string MutatedLine(std::mt19937& rng)
{
    std::string line = Join(ValidPairs(rng, rng() % 12));
    const int mutations = 1 + static_cast<int>(rng() % 4);
    for (int m = 0; m < mutations; ++m) {
        const std::size_t at = line.empty() ? 0 : rng() % line.size();
        switch (rng() % 10) {
        case 0: // drop a quote or "="
            if (auto q = line.find_first_of(rng() % 2 ? "\"" : "=", at); q != std::string::npos)
                line.erase(q, 1);
            break;
        case 1:
            line.insert(at, "\"");
            break;
        case 2:
            line.insert(at, "=");
            break;
        case 3: // a key at the end
            line += kPairs[rng() % kPairs.size()].key;
            break;
        case 4: // a key inside a value
            line.insert(at, kPairs[rng() % kPairs.size()].key);
            break;
        case 5:
            line.insert(at, 1, '\0');
            break;
        case 6:
            line.insert(at, "\r");
            break;
        case 7:
            line.insert(at, rng() % 2 ? "\xFF\xFE" : "\xC0\x80");
            break;
        case 8:
            if (rng() % 200 == 0)
                line.insert(at, std::string(100 * 1024, static_cast<char>('A' + rng() % 26)));
            break;
        default:
            line.insert(at, "Class=\"" + kClasses[rng() % kClasses.size()] + "\" ");
            break;
        }
    }
    return line;
}

} // namespace

TEST(DeviceListProperty, SeededLinesNeverBreakTheParser)
{
    std::mt19937 rng(20261210);
    constexpr int kLines = 200000;
    constexpr int kPerFile = 1000;
    for (int file = 0; file < kLines / kPerFile; ++file) {
        QByteArray text;
        for (int i = 0; i < kPerFile; ++i) {
            const std::string line = (i % 2) ? MutatedLine(rng) : RandomLine(rng);
            text.append(line.data(), static_cast<qsizetype>(line.size()));
            text.append(rng() % 3 ? "\r\n" : "\n");
        }
        const int model = file % 3 == 0 ? 8 : 5;
        const std::string why = tonrig::fuzz::CheckDeviceListText(text, model);
        ASSERT_TRUE(why.empty()) << why;
    }
}

TEST(DeviceListProperty, TheOrderOfDistinctKeysDoesNotMatter)
{
    InitDeviceClassTable();
    std::mt19937 rng(7);
    const devicelist::ClassNameIndex classes;
    for (int n = 0; n < 2000; ++n) {
        std::vector<Pair> pairs = ValidPairs(rng, rng() % kPairs.size());
        const std::string line = Join(pairs);
        const devicelist::LineOutcome first = devicelist::ParseDeviceLine(line, 5, classes);
        ASSERT_TRUE(first.record) << line << first.box;
        std::shuffle(pairs.begin(), pairs.end(), rng);
        const std::string shuffled = Join(pairs);
        const devicelist::LineOutcome second = devicelist::ParseDeviceLine(shuffled, 5, classes);
        ASSERT_TRUE(second.record) << shuffled;
        EXPECT_TRUE(*first.record == *second.record) << line << "\n" << shuffled;
        EXPECT_TRUE(tonrig::fuzz::CheckRecord(*first.record).empty());
    }
}
