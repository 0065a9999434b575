// The setup rows against what the program carries: every firmware a row loads is an image
// resource that accepts the model it is loaded on, every configuration is a known CPLD program,
// and the sub-code rules give the algorithm numbers the images expect.

#include "operations/SetupTable.h"

#include "catalogue/CpldConfigurations.h"
#include "support/VirtualUsb.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// The models an image accepts, from the descriptor at 0x80; 0 when there is no such image.
std::uint16_t AcceptedModels(int number)
{
    const std::string hex = tonrig::test::FirmwareHex(number);
    if (hex.empty())
        return 0;
    const auto records = tonrig::test::HexRecords(hex);
    const auto it = records.find(0x80);
    if (it == records.end() || it->second.size() < 12)
        return 0;
    const auto& d = it->second;
    if (std::string(d.begin(), d.begin() + 4) != "ZVFW" || ((d[6] << 8) | d[7]) != number)
        return 0;
    return static_cast<std::uint16_t>((d[8] << 8) | d[9]);
}

bool Accepts(int number, int model)
{
    return (AcceptedModels(number) >> model) & 1;
}

TEST(SetupTable, EveryFirmwareIsAnImageThatAcceptsItsModel)
{
    int checked = 0;
    for (const SetupRow& row : SetupRows()) {
        const struct {
            const SetupCell& cell;
            std::vector<int> models;
        } columns[] = { { row.zvD, { 8 } }, { row.zvCQ, { 7 } }, { row.other, { 2, 4, 5 } } };
        for (const auto& column : columns) {
            if (!column.cell.firmware)
                continue;
            for (int model : column.models) {
                EXPECT_TRUE(Accepts(column.cell.firmware, model))
                    << "classes " << row.first << "-" << row.last << ": image " << column.cell.firmware << " on model "
                    << model;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 250);
    for (const char* version :
        { "ZV-A Re-1.00", "ZV-B Re-1.00", "ZV-B Re-1.10", "ZV-B Re-1.20", "ZV-B Re-2.00", "ZV-C Re-1.00" }) {
        const int model = version[3] == 'A' ? 2 : version[3] == 'B' ? 4 : 5;
        EXPECT_TRUE(Accepts(FirmwareByRevision(version, model), model)) << version;
    }
    EXPECT_TRUE(Accepts(kBaseFirmware, 2) && Accepts(kBaseFirmware, 8));
}

TEST(SetupTable, EveryConfigurationIsAKnownCpldProgram)
{
    std::set<int> used;
    for (const SetupRow& row : SetupRows()) {
        for (const SetupCell* cell : { &row.zvD, &row.zvCQ, &row.other }) {
            if (cell->configuration)
                used.insert(cell->configuration);
        }
    }
    for (int configuration : used)
        EXPECT_NE(CpldUserCode(configuration), nullptr) << configuration;
    EXPECT_TRUE(used.count(385) && used.count(452) && used.count(482) && used.count(488));
}

TEST(SetupTable, RowsAndSubCodes)
{
    struct Case {
        int index;
        int subCode; // -1: no P_DEVICE
    } cases[] = {
        { 2, 2 },
        { 3, 0 },
        { 4, 1 },
        { 5, 0 },
        { 7, 2 },
        { 23, 7 },
        { 40, 2 },
        { 55, 14 },
        { 56, -1 },
        { 57, 12 },
        { 89, 22 },
        { 108, 14 },
        { 109, 2 },
        { 111, 9 },
        { 130, 8 },
        { 153, 8 },
        { 154, 30 },
        { 157, 6 },
        { 158, 8 },
        { 174, 1 },
        { 196, 10 },
        { 250, 4 },
        { 305, 2 },
        { 308, 0 },
        { 309, 0 },
        { 310, -1 },
        { 311, -1 },
        { 319, 7 },
        { 320, 0 },
        { 321, 0 },
        { 322, 1 },
        { 323, 0 },
        { 324, 0 },
        { 325, 0 },
    };
    for (const Case& c : cases) {
        const SetupRow& row = SetupRowFor(c.index);
        EXPECT_LE(row.first, c.index);
        EXPECT_GE(row.last, c.index);
        EXPECT_FALSE(row.Has(kExtraRowBox)) << c.index;
        EXPECT_EQ(SetupSubCode(row, c.index), c.subCode) << c.index;
    }
    for (int refused : { -1, 0, 1, 24, 28, 31, 115, 185, 277, 326, 400 }) {
        const SetupRow& row = SetupRowFor(refused);
        EXPECT_TRUE(row.Has(kExtraRowBox)) << refused;
        EXPECT_EQ(row.rowBox, SetupBox::NotSupportedYet) << refused;
    }
    EXPECT_EQ(SetupRowFor(90).rowBox, SetupBox::UpdateSoftware);
    EXPECT_TRUE(SetupRowFor(190).Has(kExtraTwice));
    EXPECT_TRUE(SetupRowFor(100).Has(kExtraPulseMode));
    EXPECT_TRUE(SetupRowFor(70).Has(kExtraPortB));
    EXPECT_TRUE(SetupRowFor(313).Has(kExtraPic));
    EXPECT_TRUE(SetupRowFor(3).Has(kExtraBracket));
}

TEST(SetupTable, FirmwareByRevisionText)
{
    struct Case {
        const char* version;
        int model;
        int firmware;
    } cases[] = {
        { "ZV-A Re-1.00", 2, 175 },
        { "ZV-B Re-1.00", 4, 175 },
        { "ZV-B Re-1.10", 4, 175 },
        { "ZV-B Re-1.20", 4, 284 },
        { "ZV-B Re-1.30", 4, 291 },
        { "ZV-C Re-2.00", 5, 292 },
        { "ZV-A Re-1.10", 2, 0 },
        { "", 5, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirmwareByRevision(c.version, c.model), c.firmware) << c.version;
}

TEST(SetupTable, BoxTextsAndCaptions)
{
    EXPECT_STREQ(SetupBoxText(SetupBox::NotSupportedYet), "This device not supported yet.");
    EXPECT_STREQ(SetupBoxText(SetupBox::UpdateSoftware), "%s, Please update software #001");
    EXPECT_EQ(SetupBoxCaptionText(SetupBox::UpdateSoftware), 50);
    EXPECT_EQ(SetupBoxCaptionText(SetupBox::Number001), 49);
    EXPECT_EQ(SetupBoxCaptionText(SetupBox::Error1011), -1);
}

} // namespace
