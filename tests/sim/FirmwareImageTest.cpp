// Our firmware images: the HEX form, the transform, ".enc" and ".cls", the numbers list and the
// "DATAF" resources built from it.

#include "tools/mkfwimage/FirmwareImage.h"
#include "platform/Resources.h"
#include "sim/FirmwareDescriptor.h"
#include "support/TestEnvironment.h"
#include "support/VirtualUsb.h"
#include "transport/FirmwareTransform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using namespace tonrig::test;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

TEST(FirmwareTransform, IsABijectionKeepingLineEnds)
{
    std::set<int> seen;
    for (int b = 0; b < 256; ++b) {
        seen.insert(firmware::kTransform[b]);
        EXPECT_EQ(firmware::kInverseTransform[firmware::kTransform[b]], b);
    }
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(firmware::kTransform[0x0D], 0x0D);
    EXPECT_EQ(firmware::kTransform[0x0A], 0x0A);
    EXPECT_NE(firmware::kTransform[':'], ':');
}

TEST(FirmwareImage, HexFormAndDescriptor)
{
    EXPECT_EQ(sim::fw::Crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);

    mkfwimage::ImageOptions o;
    o.number = 291;
    o.models = 0x0034;
    const std::string hex = mkfwimage::ImageHex(o);
    const auto lines = Lines(hex);
    ASSERT_EQ(lines.size(), 1024 / 16 + 1);
    EXPECT_EQ(lines.back(), ":00000001FF");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 1 + 2 + 4 + 2 + 32 + 2) << lines[i];
        EXPECT_EQ(lines[i].substr(0, 3), ":10");
        EXPECT_EQ(lines[i].substr(7, 2), "00");
        unsigned sum = 0;
        for (std::size_t k = 1; k < lines[i].size(); k += 2)
            sum += std::stoul(lines[i].substr(k, 2), nullptr, 16);
        EXPECT_EQ(sum & 0xFF, 0u) << "checksum of " << lines[i];
    }
    EXPECT_EQ(lines[0].substr(9, 4), "80FE"); // SJMP $

    const auto image = mkfwimage::ImageBytes(o);
    const auto d = sim::fw::ReadDescriptor(image.data(), image.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->number, 291);
    EXPECT_EQ(d->models, 0x0034);
    EXPECT_EQ(d->length, 1024);
    EXPECT_TRUE(sim::fw::ImageIntact(image.data(), *d));
    EXPECT_NE(mkfwimage::ImageBytes(o), mkfwimage::ImageBytes(mkfwimage::ImageOptions {})) << "filler by number";

    o.badCrc = true;
    const auto bad = mkfwimage::ImageBytes(o);
    EXPECT_FALSE(sim::fw::ImageIntact(bad.data(), *sim::fw::ReadDescriptor(bad.data(), bad.size())));

    // Options: the largest image, records outside it, and what is out of range.
    mkfwimage::ImageOptions big;
    big.length = 0x4000;
    big.extra = { { 0x5000, { 1, 2, 3 } } };
    const auto records = HexRecords(mkfwimage::ImageHex(big));
    EXPECT_EQ(records.rbegin()->first, 0x5000);
    EXPECT_EQ(records.size(), 0x4000 / 16 + 1);
    big.length = 0x4001;
    EXPECT_EQ(mkfwimage::ImageHex(big), "");
    big.length = 0x80;
    EXPECT_EQ(mkfwimage::ImageHex(big), "");
}

TEST(FirmwareImage, EncAndClsRoundTrip)
{
    const std::string hex = mkfwimage::ImageHex({});
    const std::string enc = firmware::Transform(hex);
    EXPECT_EQ(enc.find(':'), std::string::npos);
    EXPECT_EQ(enc.size(), hex.size());
    EXPECT_EQ(firmware::Untransform(enc), hex);

    const std::string cls = mkfwimage::MakeClassFile("ZV_24CXX", hex);
    ASSERT_EQ(cls.size(), firmware::kClassHeaderSize + hex.size());
    EXPECT_EQ(cls.substr(0, 5), "ZVCLS");
    EXPECT_EQ(cls.substr(8, 9), std::string("ZV_24CXX\0", 9));
    EXPECT_EQ(mkfwimage::ReadClassFile(cls), hex);

    std::string damaged = cls;
    damaged[100] ^= 1;
    EXPECT_FALSE(mkfwimage::ReadClassFile(damaged)) << "payload CRC";
    EXPECT_FALSE(mkfwimage::ReadClassFile(cls.substr(0, cls.size() - 1))) << "length";
    EXPECT_FALSE(mkfwimage::ReadClassFile(cls.substr(0, 20))) << "short header";
}

TEST(FirmwareImage, NumbersListParsing)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint16_t models;
    };
    const Case cases[] = {
        { "355 any", true, 0xFFFF },
        { "# comment\n\n214 2,4,5  # trailing", true, 0x0034 },
        { "464 8", true, 0x0100 },
        { "464", false, 0 },
        { "464 8 9", false, 0 },
        { "46x 8", false, 0 },
        { "464 2,,5", false, 0 },
        { "464 15", false, 0 },
        { "70000 any", false, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto list = mkfwimage::ParseNumbers(c.text, error);
        ASSERT_EQ(list.has_value(), c.ok) << error;
        if (c.ok) {
            ASSERT_EQ(list->size(), 1u);
            EXPECT_EQ(list->front().models, c.models);
        } else {
            EXPECT_NE(error.find("line"), std::string::npos);
        }
    }
}

TEST(FirmwareImage, EveryListedNumberIsAResource)
{
    std::ifstream in(SourcePath("resources/firmware/numbers.txt"));
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto list = mkfwimage::ParseNumbers(text.str(), error);
    ASSERT_TRUE(list) << error;
    std::set<int> numbers;
    for (const auto& img : *list) {
        numbers.insert(img.number);
        SCOPED_TRACE(img.number);
        const auto records = HexRecords(FirmwareHex(img.number));
        ASSERT_EQ(records.size(), 64u);
        std::vector<std::uint8_t> image;
        for (const auto& [address, data] : records)
            image.insert(image.end(), data.begin(), data.end());
        const auto d = sim::fw::ReadDescriptor(image.data(), image.size());
        ASSERT_TRUE(d);
        EXPECT_EQ(d->number, img.number);
        EXPECT_EQ(d->models, img.models);
        EXPECT_TRUE(sim::fw::ImageIntact(image.data(), *d));
    }
    for (int n : { 355, 175, 284, 291, 292, 239, 483, 164, 453, 464 })
        EXPECT_TRUE(numbers.count(n)) << n;
    for (int n : { 385, 452, 463, 442, 443, 471, 482, 486, 488, 466, 420 })
        EXPECT_FALSE(numbers.count(n)) << n << " is a CPLD configuration";
    EXPECT_EQ(list->front().number, 164);
    EXPECT_FALSE(platform::LoadResource("DATAF", 385));
}

} // namespace
