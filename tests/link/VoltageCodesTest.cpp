#include "link/VoltageCodes.h"
#include "link/ProgrammerModel.h"

#include <gtest/gtest.h>

#include <string>

TEST(VoltageCodes, TextsOfEveryCodeAndTheUnsetOnes)
{
    const struct {
        int code;
        const char* vcc;
        const char* vpp;
    } cases[] = {
        { 0, "0V", "0V" },
        { 3, "3.3V", "3.6V" },
        { 4, "3.6V", "5V" },
        { 7, "4.2V", "12.7V" },
        { 11, "4.8V", "25V" },
        { 12, "5.0V", "Vpp not set!" },
        { 15, "5.5V", "Vpp not set!" },
        { 20, "6.5V", "Vpp not set!" },
        { 21, "Vcc not set!", "Vpp not set!" },
        { 22, "9.0V", "Vpp not set!" },
        { 24, "18V", "Vpp not set!" },
        { 25, "Vcc not set!", "Vpp not set!" },
        { -1, "Vcc not set!", "Vpp not set!" },
        { 0xFF, "Vcc not set!", "Vpp not set!" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(std::string(GetVccText(c.code)), c.vcc);
        EXPECT_EQ(std::string(GetVppText(c.code)), c.vpp);
        EXPECT_EQ(IsValidVccCode(c.code), std::string(c.vcc) != "Vcc not set!");
        EXPECT_EQ(IsValidVppCode(c.code), std::string(c.vpp) != "Vpp not set!");
    }
    EXPECT_EQ(VccCodes().size(), 24u);
    EXPECT_EQ(VppCodes().size(), 12u);
}

TEST(VoltageCodes, VoltsFollowTheTextsAndRise)
{
    for (auto table : { VccCodes(), VppCodes() }) {
        double previous = -1.0;
        for (const VoltageCode& entry : table) {
            EXPECT_DOUBLE_EQ(entry.volts, std::stod(entry.text)) << entry.text;
            EXPECT_GT(entry.volts, previous) << entry.text;
            previous = entry.volts;
        }
    }
    EXPECT_DOUBLE_EQ(GetVccVolts(12), 5.0);
    EXPECT_DOUBLE_EQ(GetVppVolts(7), 12.7);
    EXPECT_LT(GetVccVolts(21), 0.0);
}

TEST(ProgrammerModel, StartsAsZvC)
{
    EXPECT_EQ(g_nProgrammerModel.load(), kModelZvC);
}
