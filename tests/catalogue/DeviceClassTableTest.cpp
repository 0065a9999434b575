#include "catalogue/DeviceClassTable.h"
#include "catalogue/CpldConfigurations.h"
#include "catalogue/DeviceClass.h"
#include "link/VoltageCodes.h"
#include "shell/HexParse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Checks of the compiled-in class table: the fixed facts, then the data of every row against
// tables of datasheet facts that this test holds on its own.

namespace {

class DeviceClassTableTest : public testing::Test {
protected:
    void SetUp() override { InitDeviceClassTable(); }
};

const CDeviceClass& Entry(int index)
{
    return g_DeviceClassTable[static_cast<std::size_t>(index)];
}

bool InRanges(int index, std::initializer_list<std::pair<int, int>> ranges)
{
    for (const auto& [first, last] : ranges) {
        if (index >= first && index <= last)
            return true;
    }
    return false;
}

const std::map<int, std::string> kNames {
    { 0, "MERROW_EPM3128_TEST" },
    { 1, "MERROW_EPM3128_TEST_Reversed" },
    { 2, "TESTING" },
    { 3, "JIG_087V2" },
    { 4, "JIG_086" },
    { 6, "AT89C2051" },
    { 7, "AT89C4051" },
    { 8, "AT89C51" },
    { 9, "AT89C52" },
    { 10, "AT89C55WD" },
    { 11, "AT89S51" },
    { 12, "AT89S52" },
    { 13, "AT89S53" },
    { 14, "P87C5X" },
    { 15, "AT89C51RC" },
    { 16, "AT89C51_ZIF" },
    { 17, "AT89C52_ZIF" },
    { 18, "AT89C55WD_ZIF" },
    { 19, "AT89S51_ZIF" },
    { 20, "AT89S52_ZIF" },
    { 21, "AT89S53_ZIF" },
    { 22, "P87C5X_ZIF" },
    { 23, "AT89C51RC_ZIF" },
    { 24, "AT89S8252" },
    { 25, "AT90S1200" },
    { 26, "AT90S2313" },
    { 27, "ATTINY2313" },
    { 28, "AT90S2343" },
    { 29, "TINY12" },
    { 30, "TINY15" },
    { 31, "ATTINY22" },
    { 32, "AVRISP" },
    { 35, "ATTINY2313AVRISP" },
    { 37, "ATMEGA16AVRISP" },
    { 40, "SDE2526" },
    { 41, "24C00" },
    { 42, "24C01" },
    { 43, "PCF8582" },
    { 44, "24C02" },
    { 45, "PCF8594" },
    { 46, "24C04" },
    { 47, "24C08" },
    { 48, "24C16" },
    { 49, "24C32" },
    { 50, "24C64" },
    { 51, "24C128" },
    { 52, "24C256" },
    { 53, "24C512" },
    { 54, "24C1024" },
    { 55, "24AA1025" },
    { 56, "ATMLH942" },
    { 57, "AT24C512_Address001" },
    { 58, "AT24RF08" },
    { 59, "X24C00" },
    { 60, "AT17LV65" },
    { 61, "AT17LV128" },
    { 62, "AT17LV256" },
    { 63, "AT17LV512" },
    { 64, "AT17LV010" },
    { 65, "AT17LV002" },
    { 66, "AT17LV040" },
    { 67, "25C010" },
    { 68, "25C020" },
    { 69, "25C040" },
    { 70, "ST95P08" },
    { 71, "25C080" },
    { 72, "25C160" },
    { 73, "25C320" },
    { 74, "25C640" },
    { 75, "AT25128" },
    { 76, "AT25256" },
    { 77, "AT25512" },
    { 78, "AT25HP256" },
    { 79, "AT25HP512" },
    { 80, "AT25F512" },
    { 81, "AT25F1024" },
    { 82, "AT25F2048" },
    { 83, "AT25F4096" },
    { 84, "AT25FS010" },
    { 85, "SST25VF020" },
    { 86, "SST25VF040B" },
    { 87, "W25X10" },
    { 88, "AT25DF041A" },
    { 89, "Pm25LV512" },
    { 90, "W25X10_FAST" },
    { 91, "W25Q256" },
    { 92, "W25Q256_Quad" },
    { 93, "M35080VP" },
    { 94, "93C06A_8Bit" },
    { 95, "93C46A_8Bit" },
    { 96, "93C56A_8Bit" },
    { 97, "93C57A_8Bit" },
    { 98, "93C66A_8Bit" },
    { 99, "93C76A_8Bit" },
    { 100, "93C86A_8Bit" },
    { 101, "93C06B_16Bit" },
    { 102, "93C46B_16Bit" },
    { 103, "93C56B_16Bit" },
    { 104, "93C57B_16Bit" },
    { 105, "93C66B_16Bit" },
    { 106, "93C76B_16Bit" },
    { 107, "93C86B_16Bit" },
    { 108, "CAT24C44_16bit" },
    { 109, "L56RA" },
    { 110, "L56RB" },
    { 111, "RA57" },
    { 112, "BR9010" },
    { 113, "M93S46" },
    { 114, "M93S56" },
    { 115, "S29430" },
    { 116, "16951_8BIT" },
    { 117, "16951_16BIT" },
    { 118, "2508(25V Vpp)" },
    { 119, "2516(25V Vpp)" },
    { 120, "2532(25V Vpp)" },
    { 121, "2564(25V Vpp)" },
    { 122, "27C16(12.7V Vpp)" },
    { 123, "27C16(21V Vpp)" },
    { 124, "27C16(25V Vpp)" },
    { 125, "27C32(12.7V Vpp)" },
    { 126, "27C32(21V Vpp)" },
    { 127, "27C32(25V Vpp)" },
    { 128, "27C64" },
    { 129, "27C128" },
    { 130, "27C256" },
    { 131, "27C512" },
    { 132, "27C010" },
    { 133, "27C020" },
    { 134, "27C040" },
    { 135, "27C080" },
    { 136, "2716(12.7V Vpp)" },
    { 137, "2716(21V Vpp)" },
    { 138, "2716(25V Vpp)" },
    { 139, "2732(12.7V Vpp)" },
    { 140, "2732(21V Vpp)" },
    { 141, "2732(25V Vpp)" },
    { 142, "2764(12.7V Vpp)" },
    { 143, "2764(21V Vpp)" },
    { 144, "2764(25V Vpp)" },
    { 145, "27128(12.7V Vpp)" },
    { 146, "27128(21V Vpp)" },
    { 147, "27256" },
    { 148, "27512" },
    { 149, "27010" },
    { 150, "27020" },
    { 151, "27040" },
    { 152, "HN27C101" },
    { 153, "HD6475348" },
    { 154, "HD6475368" },
    { 155, "HN58C1001" },
    { 156, "27C301" },
    { 157, "D87C64" },
    { 158, "27C256R" },
    { 159, "27513" },
    { 160, "27011" },
    { 161, "27C1024" },
    { 163, "27C4096" },
    { 165, "27C800" },
    { 167, "27C322" },
    { 168, "27C4002" },
    { 169, "28F102" },
    { 170, "MX29L1611G" },
    { 171, "MX29F1615" },
    { 172, "87C257" },
    { 173, "MBM27C1028" },
    { 174, "TMS87C510" },
    { 175, "27SF256" },
    { 176, "27SF512" },
    { 177, "27SF010" },
    { 178, "27SF020" },
    { 179, "27SF040" },
    { 180, "AT28C16" },
    { 181, "AT28C512" },
    { 182, "AT28C010" },
    { 186, "AT29C256" },
    { 187, "AT29C512" },
    { 188, "AT29C010" },
    { 189, "AT29C020" },
    { 190, "AT29C040A" },
    { 191, "AT29C040" },
    { 192, "W29EE010" },
    { 193, "W29EE011" },
    { 194, "W29EE020" },
    { 195, "SST29EE010" },
    { 196, "SST29EE020" },
    { 197, "MX29F040" },
    { 198, "29F512" },
    { 199, "29F010" },
    { 200, "29F020B" },
    { 201, "29F020T" },
    { 202, "29F040B" },
    { 203, "M29F080B" },
    { 204, "PA28F008S" },
    { 205, "SST28VF040" },
    { 206, "49LF002" },
    { 209, "49LF003" },
    { 218, "SST49LF080A" },
    { 219, "SST39VF1601" },
    { 220, "INTEL82802AB" },
    { 222, "M50FW016" },
    { 223, "INTEL28F001BX-B" },
    { 224, "INTEL28F001BX-T" },
    { 225, "INTEL28F200BX-B" },
    { 226, "INTEL28F200BX-T" },
    { 227, "INTEL28F400BX-B" },
    { 228, "INTEL28F400BX-T" },
    { 229, "INTEL28F800BX-B" },
    { 230, "INTEL28F800BX-T" },
    { 231, "TE28F160C3T" },
    { 232, "TE28F160C3B" },
    { 233, "LHF00L13" },
    { 234, "TE28F320C3T" },
    { 235, "TE28F320C3B" },
    { 236, "LH28F160_56Pin" },
    { 237, "E28F016_56Pin" },
    { 238, "SST39LF/VF512" },
    { 239, "SST39LF/VF010" },
    { 240, "SST39LF/VF020" },
    { 241, "SST39LF/VF040" },
    { 242, "W49F002U" },
    { 243, "28F64" },
    { 244, "28F128" },
    { 246, "28F512" },
    { 247, "28F010" },
    { 248, "28F020" },
    { 249, "28F040" },
    { 250, "MX28F1000P" },
    { 251, "MX28F2000P" },
    { 252, "MX28F2000T" },
    { 253, "29F002" },
    { 254, "29F002NT" },
    { 255, "29F004" },
    { 258, "49F002" },
    { 259, "49F002NT" },
    { 261, "28C64" },
    { 263, "28C256" },
    { 264, "29LV100T" },
    { 265, "29LV100B" },
    { 266, "29LV200T" },
    { 267, "29LV200B" },
    { 268, "29LV400T" },
    { 269, "29LV400B" },
    { 270, "29LV800T" },
    { 271, "29LV800B" },
    { 272, "29LV160T" },
    { 273, "29LV160B" },
    { 274, "29LV320T" },
    { 275, "29LV320B" },
    { 276, "MX29L3211" },
    { 277, "MX29F1610" },
    { 278, "29F100T" },
    { 279, "29F100B" },
    { 280, "29F200T" },
    { 281, "29F200B" },
    { 282, "29F400T" },
    { 283, "29F400B" },
    { 284, "29F800T" },
    { 285, "29F800B" },
    { 286, "29F160T" },
    { 287, "29F160B" },
    { 288, "29F320T" },
    { 289, "29F320B" },
    { 290, "29C51000T" },
    { 291, "29C51000B" },
    { 292, "29C51001T" },
    { 293, "29C51001B" },
    { 294, "29C51002T" },
    { 295, "29C51002B" },
    { 296, "29C51004T" },
    { 297, "29C51004B" },
    { 298, "PM29F002" },
    { 299, "AT49LV001" },
    { 300, "AM29BL802" },
    { 301, "DS1230Y" },
    { 302, "M48Z02" },
    { 303, "BQ4015" },
    { 304, "M48T58Y" },
    { 305, "CY14B101" },
    { 306, "D8748H" },
    { 307, "IntelD8748H" },
    { 308, "DS2431" },
    { 309, "DS24B33" },
    { 310, "ALTERA_CPLD_JTAG" },
    { 311, "Xilinx_CPLD_JTAG" },
    { 312, "PIC12F508" },
    { 313, "PIC16F628A" },
    { 314, "PIC16F84A" },
    { 315, "PIC16FXXX" },
    { 316, "PIC12FXXX" },
    { 317, "PIC16F877A" },
    { 318, "PIC16F872" },
    { 319, "PIC16F886" },
    { 320, "PIC16C73A" },
    { 321, "PIC18F2XXX_4XXX" },
    { 322, "PIC18F66J60_97J60" },
    { 323, "PIC18FXX2_XX8" },
    { 324, "PIC18FX220_X320" },
    { 325, "PIC18FXX31" },
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TEST_F(DeviceClassTableTest, FilledEntriesNamesAndGaps)
{
    const std::set<int> gaps { 5, 33, 34, 36, 38, 39, 162, 164, 166, 183, 184, 185, 207, 208, 210, 211, 212, 213, 214,
        215, 216, 217, 221, 245, 256, 257, 260, 262, 326 };
    ASSERT_EQ(gaps.size(), 29u);
    ASSERT_EQ(kNames.size(), 298u);
    std::set<std::string> upperNames;
    for (int i = 0; i < kDeviceClassCount; ++i) {
        SCOPED_TRACE(i);
        const CDeviceClass& e = Entry(i);
        if (gaps.count(i)) {
            EXPECT_TRUE(e.m_strName.empty());
            EXPECT_EQ(e.m_nType, 0);
            EXPECT_EQ(e.m_nCodeSize, 0);
            EXPECT_FALSE(e.m_pPicConfig);
            EXPECT_EQ(PlacementOfClass(i), ClassPlacement::None);
        } else {
            ASSERT_TRUE(kNames.count(i));
            EXPECT_EQ(e.m_strName, kNames.at(i));
            EXPECT_TRUE(upperNames.insert(Upper(e.m_strName)).second) << "repeated name " << e.m_strName;
            EXPECT_NE(PlacementOfClass(i), ClassPlacement::None);
        }
    }
    EXPECT_EQ(upperNames.size(), 298u);
    EXPECT_EQ(Entry(122).m_strName, "27C16(12.7V Vpp)");
    EXPECT_EQ(Entry(238).m_strName, "SST39LF/VF512");
}

TEST_F(DeviceClassTableTest, TypesAndValueSets)
{
    for (const auto& [i, name] : kNames) {
        SCOPED_TRACE(name);
        const CDeviceClass& e = Entry(i);
        int type = 0;
        if (InRanges(i, { { 0, 1 }, { 3, 4 }, { 40, 117 }, { 308, 311 } }))
            type = 5;
        else if (InRanges(i,
                     { { 2, 2 }, { 155, 155 }, { 169, 169 }, { 175, 182 }, { 186, 206 }, { 209, 209 }, { 218, 220 },
                         { 222, 244 }, { 246, 255 }, { 258, 259 }, { 261, 261 }, { 263, 300 } }))
            type = 3;
        else if (InRanges(i, { { 6, 32 }, { 35, 35 }, { 37, 37 }, { 306, 307 }, { 312, 325 } }))
            type = 4;
        else if (InRanges(i, { { 118, 154 }, { 156, 168 }, { 170, 174 } }))
            type = 1;
        else if (InRanges(i, { { 301, 305 } }))
            type = 6;
        EXPECT_EQ(e.m_nType, type);

        EXPECT_TRUE(std::set<int>({ 4, 6, 7, 10, 11 }).count(e.m_nVpp)) << int(e.m_nVpp);
        EXPECT_TRUE(std::set<int>({ 12, 4, 15 }).count(e.m_nVcc)) << int(e.m_nVcc);
        EXPECT_TRUE(std::set<int>({ 12, 15, 4, 20 }).count(e.m_nWriteVcc)) << int(e.m_nWriteVcc);
        EXPECT_EQ(e.m_nSwitchA, i == 186 ? 0xC0 : (e.m_nSwitchA == 0x80 ? 0x80 : 0xA0));
        EXPECT_TRUE(std::set<int>({ 0x08, 0x20, 0x04, 0x02, 0x00, 0x01, 0x10, 0x06 }).count(e.m_nVccSwitch));
        EXPECT_TRUE(std::set<int>({ 0x80, 0x04, 0x40, 0x00, 0x02, 0x10, 0x01, 0x08 }).count(e.m_nVppSwitch));
        EXPECT_TRUE(std::set<std::string>(
            { "DIP8", "DIP28", "DIP40", "DIP24", "DIP32", "DIP20", "DIP18", "TO92", "PIC12F50X", "TQFP64" })
                        .count(e.m_strPackage))
            << e.m_strPackage;
        EXPECT_EQ(e.m_strCpldDip.size(), 12u);
        EXPECT_EQ(e.m_strCpldDip.find_first_not_of("01"), std::string::npos);
        EXPECT_TRUE(e.m_nAlgorithm == 0 || (e.m_nAlgorithm >= 151 && e.m_nAlgorithm <= 482)) << e.m_nAlgorithm;
        EXPECT_TRUE(std::set<std::string>({ "0", "2", "3" }).count(e.m_strLockText));
        EXPECT_EQ(e.m_strLockText == "3", i >= 6 && i <= 24);
        EXPECT_EQ(e.m_strChipMode, (i == 32 || i == 35 || i == 37) ? "ISP" : "");
        EXPECT_EQ(e.m_nBusWidth, InRanges(i, { { 219, 219 }, { 231, 235 }, { 300, 300 } }) ? 2 : 1);
        EXPECT_EQ(e.m_strBufferMode, std::set<int>({ 161, 163, 165, 168, 169, 170, 171 }).count(i) ? "16BIT" : "8BIT");
        std::string unprotect;
        if (i == 2 || InRanges(i, { { 278, 289 } }))
            unprotect = "Yes";
        else if (InRanges(i, { { 264, 275 } }))
            unprotect = "Yes,TRUE";
        else if (i == 276 || i == 277)
            unprotect = "No";
        EXPECT_EQ(e.m_strTempUnprotect, unprotect);
        EXPECT_EQ(e.m_nGndSwitch, i == 312 || i == 316 ? 0x40 : (i >= 312 && i <= 325 ? 0x80 : 0));
        EXPECT_EQ(e.m_nPicParam, i == 312 || i == 316 ? 10 : (i >= 321 && i <= 325 ? 8 : (i >= 313 ? 16 : 0)));
        // Fields only device records set.
        EXPECT_EQ(e.m_nReadVpp, 0xFF);
        EXPECT_EQ(e.m_nBlankVcc, 0xFF);
        EXPECT_EQ(e.m_nEraseVpp, 0xFF);
        EXPECT_TRUE(e.m_strAdapter.empty() && e.m_strPlatform.empty() && e.m_strDeviceFile.empty());
        EXPECT_TRUE(e.m_strClassFile.empty() && e.m_strCtlBytes.empty() && e.m_strPinGnd.empty());
        EXPECT_EQ(e.m_nDeviceAddress, 0);
        EXPECT_EQ(e.m_nSpeed, 5);
        EXPECT_EQ(e.m_nZif48U9 + e.m_nZif48Cfg + e.m_nVccAdjust, 0);
    }
    // The commonest pin settings of the Part are all in use.
    std::set<std::string> dips;
    for (const auto& e : g_DeviceClassTable)
        dips.insert(e.m_strCpldDip);
    for (const char* dip : { "100000000000", "100011110101", "000000000000", "110011110101", "101011110000" })
        EXPECT_TRUE(dips.count(dip)) << dip;
}

TEST_F(DeviceClassTableTest, MessagesOfTheOldEpromsAndTheBootBlockFlash)
{
    const std::string power = "External power needed if write fail.\r\nSee Help for power adapter specification.";
    for (const auto& [i, name] : kNames) {
        SCOPED_TRACE(name);
        if (i >= 136 && i <= 141)
            EXPECT_EQ(Entry(i).m_strMessage, power);
        else if (i == 223 || i == 224) {
            const std::string& m = Entry(i).m_strMessage;
            EXPECT_NE(m.find("2K to 10K resistor"), std::string::npos);
            EXPECT_NE(m.find("pins 1 and 30"), std::string::npos);
            EXPECT_NE(m.find("PLCC32"), std::string::npos);
            EXPECT_NE(m.find("README"), std::string::npos);
        } else
            EXPECT_TRUE(Entry(i).m_strMessage.empty());
    }
}

namespace {

struct TellingRow {
    int index;
    int type;
    const char* mfg;
    const char* group;
    int vpp, vcc, writeVcc;
    int code, data;
    int signature;
    const char* id;
    int algorithm;
    const char* dip;
    int switchA, vccMask, vppMask, gnd;
    const char* package;
};

const TellingRow kTelling[] = {
    { 8, 4, "Atmel", "D51", 6, 12, 12, 4096, 0, 0x1E51FF, "1E51FF", 212, "110011110101", 0xA0, 0x08, 0x80, 0, "DIP40" },
    { 16, 4, "Atmel", "D51", 6, 12, 12, 4096, 0, 0x1E51FF, "1E51FF", 212, "110011110101", 0xA0, 0, 0, 0, "DIP40" },
    { 25, 4, "", "D1200", 4, 12, 12, 1024, 64, 0x1E9001, "1E9001", 225, "100000000000", 0xA0, 0x08, 0x01, 0, "DIP20" },
    { 32, 4, "", "D1200", 4, 12, 12, 2048, 128, 0x1E9101, "1E9101", 295, "100000000000", 0xA0, 0x20, 0x80, 0, "DIP20" },
    { 48, 5, "", "D24C16", 4, 4, 12, 2048, 0, 0x1E9005, "1E9005", 0, "100000000000", 0x80, 0x20, 0x80, 0, "DIP8" },
    { 53, 5, "", "D24C32", 4, 12, 12, 65536, 0, 0x1E9005, "1E9005", 0, "100000000000", 0x80, 0x20, 0x80, 0, "DIP8" },
    { 118, 1, "", "", 11, 12, 12, 1024, 0, 0x1E9005, "1E9005", 234, "100001010000", 0xA0, 0x02, 0x02, 0, "DIP24" },
    { 140, 1, "", "", 10, 12, 15, 4096, 0, 0x1E9005, "1E9005", 164, "100001010000", 0xA0, 0x02, 0x04, 0, "DIP24" },
    { 175, 3, "", "", 6, 12, 12, 32768, 0, 0x1E9005, "1E9005", 228, "101011110000", 0xA0, 0x04, 0x40, 0, "DIP28" },
    { 219, 3, "SST", "", 6, 12, 12, 2097152, 0, 0x1E9005, "1E9005", 254, "100011110101", 0xA0, 0x08, 0x80, 0, "DIP32" },
    { 301, 6, "", "", 4, 12, 12, 32768, 0, 0x1E9005, "1E9005", 246, "100011110000", 0xA0, 0x04, 0x04, 0, "DIP28" },
    { 308, 5, "", "DS2431", 4, 4, 12, 128, 0, 0x1E9005, "1E9005", 0, "100000000000", 0x80, 0x20, 0x80, 0, "TO92" },
    { 312, 4, "Microchip", "DETINY22", 7, 12, 12, 1024, 0, 0, "XXXXX", 220, "000000000000", 0xA0, 0x10, 0x10, 0x40,
        "PIC12F50X" },
    { 313, 4, "Microchip", "DETINY22", 7, 12, 12, 4096, 128, 0, "XXXXX", 220, "000000000000", 0xA0, 0x01, 0x10, 0x80,
        "DIP18" },
    { 321, 4, "Microchip", "DETINY22", 6, 12, 12, 4096, 128, 0, "XXXXX", 318, "000000000000", 0xA0, 0x02, 0, 0x80,
        "DIP18" },
};

} // namespace

TEST_F(DeviceClassTableTest, TellingRowsFieldByField)
{
    for (const TellingRow& t : kTelling) {
        const CDeviceClass& e = Entry(t.index);
        SCOPED_TRACE(e.m_strName);
        EXPECT_EQ(e.m_nType, t.type);
        EXPECT_EQ(e.m_strManufacturer, t.mfg);
        EXPECT_EQ(e.m_strGroup, t.group);
        EXPECT_EQ(e.m_nVpp, t.vpp);
        EXPECT_EQ(e.m_nVcc, t.vcc);
        EXPECT_EQ(e.m_nWriteVcc, t.writeVcc);
        EXPECT_EQ(e.m_nCodeSize, t.code);
        EXPECT_EQ(e.m_nDataSize, t.data);
        EXPECT_EQ(e.m_nSignature, t.signature);
        EXPECT_EQ(e.m_strId, t.id);
        EXPECT_EQ(e.m_nAlgorithm, t.algorithm);
        EXPECT_EQ(e.m_strCpldDip, t.dip);
        EXPECT_EQ(e.m_nSwitchA, t.switchA);
        EXPECT_EQ(e.m_nVccSwitch, t.vccMask);
        EXPECT_EQ(e.m_nVppSwitch, t.vppMask);
        EXPECT_EQ(e.m_nGndSwitch, t.gnd);
        EXPECT_EQ(e.m_strPackage, t.package);
        EXPECT_EQ(e.m_nEraseVcc, 0xFF);
    }
    EXPECT_EQ(Entry(8).m_strLockText, "3");
    EXPECT_TRUE(Entry(8).m_strFuseLabels.empty());
    EXPECT_EQ(Entry(16).m_strFirmwareId, "15071900");
    EXPECT_EQ(Entry(16).m_nFirmwareNumber, 420);
    EXPECT_EQ(Entry(16).m_strFirmwareIdQ8U, "15021000");
    EXPECT_EQ(Entry(16).m_nFirmwareNumberQ8U, 463);
    EXPECT_EQ(Entry(25).m_strLockText, "2");
    EXPECT_EQ(Entry(25).m_strFuseLabels,
        "DWEN EESAVE SPIEN WDTON BODLEVEL2 BODLEVEL1 BODLEVEL0 RSTDISBL CKDIV8 CKOUT SUT1 SUT0 CKSEL3 CKSEL2 CKSEL1 "
        "CKSEL0 - - - - - - - SELFPRGEN -");
    EXPECT_EQ(Entry(32).m_strChipMode, "ISP");
    EXPECT_EQ(Entry(219).m_nBusWidth, 2);
    EXPECT_EQ(Entry(312).m_strFirmwareId, "15060700");
    EXPECT_EQ(Entry(312).m_nFirmwareNumber, 442);
    EXPECT_EQ(Entry(313).m_strFirmwareId, "15060700");
    EXPECT_EQ(Entry(321).m_strFirmwareId, "15091900");
    EXPECT_EQ(Entry(321).m_nFirmwareNumber, 443);

    // The factory classes 0 to 4.
    for (int i : { 0, 1 }) {
        EXPECT_EQ(Entry(i).m_nType, 5);
        EXPECT_EQ(Entry(i).m_strGroup, "D24C16");
        EXPECT_EQ(Entry(i).m_nVpp, 4);
        EXPECT_EQ(Entry(i).m_nCodeSize, 1024);
        EXPECT_EQ(Entry(i).m_nAlgorithm, 482);
    }
    EXPECT_EQ(Entry(0).m_strFirmwareId, "00170303");
    EXPECT_EQ(Entry(1).m_strFirmwareId, "00170314");
    EXPECT_EQ(Entry(2).m_nType, 3);
    EXPECT_EQ(Entry(2).m_strManufacturer, "TESTING");
    EXPECT_EQ(Entry(2).m_nAlgorithm, 202);
    EXPECT_EQ(Entry(2).m_strTempUnprotect, "Yes");
    for (int i : { 3, 4 }) {
        EXPECT_EQ(Entry(i).m_nType, 5);
        EXPECT_EQ(Entry(i).m_nVpp, 4);
        EXPECT_EQ(Entry(i).m_nVcc, 15);
        EXPECT_EQ(Entry(i).m_nWriteVcc, 15);
        EXPECT_EQ(Entry(i).m_nAlgorithm, 482);
    }
    EXPECT_EQ(Entry(3).m_strFirmwareId, "00170303");
    EXPECT_EQ(Entry(4).m_strFirmwareId, "00170909");
}

TEST_F(DeviceClassTableTest, PicDescriptors)
{
    const std::map<int, std::vector<std::string>> names {
        { 312, { "FOSC0", "FOSC1", "WDTE", "CP", "MCLRE", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-" } },
        { 313,
            { "FOSC0", "FOSC1", "WDTE", "PWRTE", "FOSC2", "MCLRE", "BOREN", "LVP", "CPD", "CP", "CP", "CP", "CP", "CP",
                "-", "-" } },
        { 317,
            { "FOSC0", "FOSC1", "WDTEN", "PWRTE", "-", "-", "BOREN", "LVP", "CPD", "WRT0", "WRT1", "DEBUG", "-", "CP",
                "-", "-" } },
    };
    for (int i = 0; i < kDeviceClassCount; ++i) {
        SCOPED_TRACE(i);
        const CDeviceClass& e = Entry(i);
        if (i < kFirstPicClass || i > kLastPicClass) {
            EXPECT_FALSE(e.m_pPicConfig);
            continue;
        }
        ASSERT_TRUE(e.m_pPicConfig);
        const CPicConfigInfo& p = *e.m_pPicConfig;
        EXPECT_EQ(p.m_bEnabled, 1);
        EXPECT_EQ(p.m_bHasOscCal, 0);
        const int core = (i == 312 || i == 316) ? 12 : (i >= 321 ? 16 : 14);
        EXPECT_EQ(p.m_nCoreBits, core);
        if (core == 12) {
            EXPECT_EQ(p.m_nConfigAddress, 0);
            EXPECT_EQ(p.m_nIdAddress, 0x2000);
            EXPECT_EQ(p.m_nConfigBytes, 2);
            EXPECT_EQ(p.m_nConfigHexAddress, 0x1FFE);
            EXPECT_EQ(p.m_nIdHexAddress, 0x400);
            EXPECT_EQ(p.m_nEepromHexAddress, 0);
            EXPECT_EQ(p.m_ConfigMask[0], 0x1F);
            EXPECT_EQ(p.m_nIdMask, 0);
        } else if (core == 14) {
            EXPECT_EQ(p.m_nConfigAddress, 0x2007);
            EXPECT_EQ(p.m_nIdAddress, 0x2000);
            EXPECT_EQ(p.m_nConfigBytes, 2);
            EXPECT_EQ(p.m_nConfigHexAddress, 0x400E);
            EXPECT_EQ(p.m_nIdHexAddress, 0x4000);
            EXPECT_EQ(p.m_nEepromHexAddress, 0x4200);
            EXPECT_EQ(p.m_ConfigMask[0], 0x3F);
            EXPECT_EQ(p.m_nIdMask, 0x3FE0);
        } else {
            EXPECT_EQ(p.m_nConfigAddress, 0x300000);
            EXPECT_EQ(p.m_nIdAddress, 0x200000);
            EXPECT_EQ(p.m_nConfigBytes, 14);
            EXPECT_EQ(p.m_nConfigHexAddress, 0x300000);
            EXPECT_EQ(p.m_nIdHexAddress, 0x200000);
            EXPECT_EQ(p.m_nEepromHexAddress, 0xF00000);
            EXPECT_EQ(p.m_ConfigMask[0], 0x3F);
            EXPECT_EQ(p.m_nIdMask, 0xFFE0);
        }
        EXPECT_EQ(p.m_ConfigMask[1], 0xFF);
        // Bit names: bytes 0 and 1 only, every name a word; "-" elsewhere.
        for (int byte = 0; byte < 32; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                const std::string& name = p.m_strBitName[byte][bit];
                if (byte >= 2)
                    EXPECT_EQ(name, "-");
                else
                    EXPECT_TRUE(!name.empty() && name.find(' ') == std::string::npos);
            }
        }
        if (names.count(i)) {
            for (int bit = 0; bit < 16; ++bit)
                EXPECT_EQ(p.m_strBitName[bit / 8][bit % 8], names.at(i)[bit]) << bit;
        }
        const bool generic = e.m_strName.find('X') != std::string::npos;
        if (generic) {
            EXPECT_EQ(p.m_nDeviceId, 0);
            EXPECT_EQ(p.m_nProgramLatch, 1);
        }
        EXPECT_EQ(p.m_nDeviceId & ~p.m_nIdMask, 0);
        EXPECT_EQ(p.m_nProgramMode, 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Data checks over all rows.

namespace {

// Datasheet pin roles of the classes that sit in the socket: pin count, socket row of pin 1,
// the supply pin, the high-voltage pin (0 none), ground and data (or programming data) pins.
struct Pins {
    std::vector<std::pair<int, int>> classes;
    int pins, row, vcc, hv;
    std::vector<int> gnd, data;
};

const std::vector<int> kData24 { 9, 10, 11, 13, 14, 15, 16, 17 };
const std::vector<int> kData28 { 11, 12, 13, 15, 16, 17, 18, 19 };
const std::vector<int> kData32 { 13, 14, 15, 17, 18, 19, 20, 21 };

const std::vector<Pins> kPinTable {
    { { { 6, 7 }, { 25, 27 } }, 20, 11, 20, 1, { 10 }, { 12, 13, 14, 15, 16, 17, 18, 19 } },
    { { { 28, 31 } }, 8, 17, 8, 1, { 4 }, { 5, 6, 7 } },
    { { { 40, 59 } }, 8, 17, 8, 0, { 4 }, { 5 } },
    { { { 60, 66 } }, 8, 17, 8, 0, { 5 }, { 1 } },
    { { { 67, 93 } }, 8, 17, 8, 0, { 4 }, { 2, 5 } },
    { { { 94, 117 } }, 8, 17, 8, 0, { 5 }, { 3, 4 } },
    { { { 118, 120 }, { 122, 124 }, { 136, 138 } }, 24, 9, 24, 21, { 12 }, kData24 },
    { { { 125, 127 }, { 139, 141 } }, 24, 9, 24, 20, { 12 }, kData24 },
    { { { 180, 180 } }, 24, 9, 24, 0, { 12 }, kData24 },
    { { { 302, 302 } }, 24, 9, 24, 20, { 12 }, kData24 },
    { { { 121, 121 }, { 128, 130 }, { 142, 147 }, { 157, 160 }, { 172, 172 }, { 175, 175 } }, 28, 7, 28, 1, { 14 },
        kData28 },
    { { { 131, 131 }, { 148, 148 }, { 176, 176 } }, 28, 7, 28, 22, { 14 }, kData28 },
    { { { 186, 186 }, { 261, 261 }, { 263, 263 } }, 28, 7, 28, 0, { 14 }, kData28 },
    { { { 301, 301 }, { 304, 304 } }, 28, 7, 28, 22, { 14 }, kData28 },
    { { { 132, 134 }, { 149, 152 }, { 156, 156 }, { 177, 179 }, { 223, 224 }, { 243, 252 } }, 32, 5, 32, 1, { 16 },
        kData32 },
    { { { 135, 135 }, { 303, 303 } }, 32, 5, 32, 24, { 16 }, kData32 },
    { { { 197, 202 }, { 253, 255 } }, 32, 5, 32, 26, { 16 }, kData32 },
    { { { 155, 155 }, { 181, 182 }, { 187, 196 }, { 205, 205 }, { 238, 242 }, { 258, 259 }, { 290, 299 } }, 32, 5, 32,
        0, { 16 }, kData32 },
    { { { 312, 312 }, { 316, 316 } }, 8, 12, 1, 4, { 8 }, { 7, 6 } },
    { { { 313, 315 } }, 18, 12, 14, 4, { 5 }, { 13, 12 } },
    { { { 317, 317 } }, 40, 1, 32, 1, { 12, 31 }, { 40, 39 } },
    { { { 318, 321 }, { 323, 323 }, { 325, 325 } }, 28, 1, 20, 1, { 8, 19 }, { 28, 27 } },
    { { { 324, 324 } }, 18, 1, 14, 4, { 5 }, { 13, 12 } },
};

// Classes outside the socket rule and the masks they take.
struct Outside {
    std::vector<std::pair<int, int>> classes;
    ClassPlacement placement;
    int vccMask, vppMask;
};

const std::vector<Outside> kOutside {
    { { { 8, 15 }, { 24, 24 }, { 161, 161 }, { 163, 163 }, { 168, 169 }, { 173, 173 }, { 306, 307 } },
        ClassPlacement::Dip40, 0x08, 0x80 },
    { { { 0, 4 }, { 153, 154 }, { 165, 165 }, { 167, 167 }, { 170, 171 }, { 174, 174 }, { 203, 204 }, { 206, 206 },
          { 209, 209 }, { 218, 220 }, { 222, 222 }, { 225, 237 }, { 264, 289 }, { 300, 300 }, { 305, 305 },
          { 322, 322 } },
        ClassPlacement::Adapter, 0x08, 0x80 },
    { { { 32, 32 }, { 35, 35 }, { 37, 37 } }, ClassPlacement::Isp, 0x20, 0x80 },
    { { { 308, 309 } }, ClassPlacement::To92, 0x20, 0x80 },
    { { { 310, 311 } }, ClassPlacement::Jtag, 0x08, 0x80 },
    { { { 16, 23 } }, ClassPlacement::Zif, 0, 0 },
};

bool Covers(const std::vector<std::pair<int, int>>& ranges, int index)
{
    for (const auto& [first, last] : ranges) {
        if (index >= first && index <= last)
            return true;
    }
    return false;
}

int SocketPosition(const Pins& p, int pin)
{
    if (pin <= p.pins / 2)
        return p.row + pin - 1;
    return 41 - p.row - p.pins + pin;
}

// The chip pin at a ZIF32 pin, 0 when the chip does not cover it.
int ChipPinAtZif32(const Pins& p, int zif)
{
    const int position = zif + 4;
    for (int pin = 1; pin <= p.pins; ++pin) {
        if (SocketPosition(p, pin) == position)
            return pin;
    }
    return 0;
}

const std::map<int, int> kVccDrivers { { 21, 0x01 }, { 28, 0x02 }, { 30, 0x04 }, { 32, 0x08 }, { 8, 0x10 },
    { 20, 0x20 }, { 3, 0x40 }, { 1, 0x80 } };
const std::map<int, int> kVppDrivers { { 26, 0x01 }, { 25, 0x02 }, { 24, 0x04 }, { 22, 0x08 }, { 11, 0x10 },
    { 5, 0x20 }, { 3, 0x40 }, { 1, 0x80 } };

int Driver(const std::map<int, int>& drivers, int zif)
{
    auto it = drivers.find(zif);
    return it == drivers.end() ? 0 : it->second;
}

std::vector<int> ZifPinsOf(const std::map<int, int>& drivers, int mask)
{
    std::vector<int> pins;
    for (const auto& [zif, bit] : drivers) {
        if (mask & bit)
            pins.push_back(zif);
    }
    return pins;
}

} // namespace

TEST_F(DeviceClassTableTest, PinMasksFollowTheSocketPlacement)
{
    int ruled = 0;
    for (const auto& [i, name] : kNames) {
        SCOPED_TRACE(name);
        const CDeviceClass& e = Entry(i);
        const Pins* pins = nullptr;
        for (const Pins& p : kPinTable) {
            if (Covers(p.classes, i)) {
                ASSERT_EQ(pins, nullptr) << "class in two pin tables";
                pins = &p;
            }
        }
        const Outside* outside = nullptr;
        for (const Outside& o : kOutside) {
            if (Covers(o.classes, i))
                outside = &o;
        }
        ASSERT_TRUE((pins != nullptr) != (outside != nullptr)) << "class must be in exactly one table";
        if (outside) {
            EXPECT_EQ(PlacementOfClass(i), outside->placement);
            EXPECT_EQ(e.m_nVccSwitch, outside->vccMask);
            EXPECT_EQ(e.m_nVppSwitch, outside->vppMask);
            continue;
        }
        ++ruled;
        EXPECT_EQ(PlacementOfClass(i), ClassPlacement::Rule);
        const int vccZif = SocketPosition(*pins, pins->vcc) - 4;
        int vcc = Driver(kVccDrivers, vccZif);
        int vpp = 0;
        if (vcc == 0) {
            // Supply through the Vpp driver at 5 V; the Vcc driver stays on its unused pin.
            vpp = Driver(kVppDrivers, vccZif);
            ASSERT_NE(vpp, 0);
            vcc = 0x08;
            EXPECT_EQ(ChipPinAtZif32(*pins, 32), 0);
            EXPECT_EQ(e.m_nVpp, 4);
        } else {
            if (pins->hv)
                vpp = Driver(kVppDrivers, SocketPosition(*pins, pins->hv) - 4);
            if (vpp == 0)
                vpp = ChipPinAtZif32(*pins, 1) == 0 ? 0x80 : 0;
        }
        EXPECT_EQ(e.m_nVccSwitch, vcc);
        EXPECT_EQ(e.m_nVppSwitch, vpp);

        // Worked back: no driven pin is a data or ground pin of the chip.
        std::vector<int> driven = ZifPinsOf(kVppDrivers, e.m_nVppSwitch);
        if (Driver(kVccDrivers, vccZif) != 0)
            for (int zif : ZifPinsOf(kVccDrivers, e.m_nVccSwitch))
                driven.push_back(zif);
        for (int zif : driven) {
            const int pin = ChipPinAtZif32(*pins, zif);
            if (pin == 0)
                continue;
            EXPECT_EQ(std::count(pins->gnd.begin(), pins->gnd.end(), pin), 0) << "driver on ground pin " << pin;
            EXPECT_EQ(std::count(pins->data.begin(), pins->data.end(), pin), 0) << "driver on data pin " << pin;
        }
    }
    EXPECT_GT(ruled, 150);
}

namespace {

// Supply range and programming-Vcc window of the datasheets, by class.
struct Limits {
    std::vector<std::pair<int, int>> classes;
    double supplyMin, supplyMax;
    double programMin, programMax;
};

const std::vector<Limits> kLimits {
    { { { 6, 24 } }, 4.0, 6.0, 4.5, 5.5 },
    { { { 25, 37 } }, 2.7, 6.0, 4.5, 5.5 },
    { { { 42, 58 } }, 1.8, 5.5, 1.8, 5.5 },
    // The 5 V-only parts of the I2C family.
    { { { 40, 41 }, { 59, 59 } }, 4.5, 5.5, 4.5, 5.5 },
    { { { 60, 66 } }, 3.0, 5.5, 3.0, 5.5 },
    { { { 67, 79 }, { 93, 93 } }, 4.5, 5.5, 4.5, 5.5 },
    { { { 80, 92 } }, 2.7, 3.6, 2.7, 3.6 },
    { { { 94, 117 } }, 4.5, 5.5, 4.5, 5.5 },
    // EPROMs: 21 V and 25 V parts program at 5 V, the 12.7 V parts at 6.25 +- 0.25 V.
    { { { 118, 121 }, { 123, 124 }, { 126, 127 }, { 137, 138 }, { 140, 141 }, { 143, 144 }, { 146, 146 } }, 4.5, 5.5,
        4.75, 5.25 },
    { { { 122, 122 }, { 125, 125 }, { 128, 136 }, { 139, 139 }, { 142, 142 }, { 145, 145 }, { 147, 154 }, { 156, 168 },
          { 172, 174 } },
        4.5, 5.5, 6.0, 6.5 },
    { { { 170, 170 } }, 3.0, 3.6, 3.0, 3.6 },
    { { { 155, 155 }, { 169, 169 }, { 171, 171 }, { 175, 204 } }, 4.5, 5.5, 4.5, 5.5 },
    { { { 205, 222 }, { 231, 235 }, { 238, 241 }, { 264, 276 }, { 299, 300 }, { 305, 305 } }, 2.7, 3.6, 2.7, 3.6 },
    { { { 223, 230 }, { 236, 237 }, { 242, 263 }, { 277, 298 }, { 301, 304 }, { 306, 307 } }, 4.5, 5.5, 4.5, 5.5 },
    { { { 308, 309 } }, 2.8, 5.25, 2.8, 5.25 },
    { { { 310, 311 } }, 4.5, 5.5, 4.5, 5.5 },
    { { { 312, 321 }, { 323, 325 } }, 2.0, 5.5, 4.5, 5.5 },
    { { { 322, 322 } }, 2.35, 3.6, 2.35, 3.6 },
};

} // namespace

TEST_F(DeviceClassTableTest, VoltagesSignaturesAndSizes)
{
    // Telling rows given as they are: SST39VF1601 read and written at 5 V, and 2732(21V Vpp)
    // programmed at 5.5 V.
    const std::set<int> supplyExempt { 219 };
    const std::set<int> programExempt { 140, 219 };
    // Factory fixtures have no datasheet.
    const std::set<int> factory { 0, 1, 2, 3, 4 };
    for (const auto& [i, name] : kNames) {
        SCOPED_TRACE(name);
        const CDeviceClass& e = Entry(i);
        EXPECT_TRUE(IsValidVppCode(e.m_nVpp));
        EXPECT_TRUE(IsValidVccCode(e.m_nVcc));
        EXPECT_TRUE(IsValidVccCode(e.m_nWriteVcc));
        EXPECT_TRUE(e.m_nEraseVcc == 0xFF || IsValidVccCode(e.m_nEraseVcc));
        EXPECT_EQ(e.m_nSignature, ParseDeviceId(e.m_strId));
        EXPECT_GT(e.m_nCodeSize, 0);
        EXPECT_GE(e.m_nDataSize, 0);
        const bool parallel = e.m_nType == 1 || e.m_nType == 3 || e.m_nType == 6;
        int packageCode = 0;
        if (parallel && e.m_strPackage == "DIP24")
            packageCode = 2;
        if (parallel && e.m_strPackage == "DIP28")
            packageCode = 4;
        EXPECT_EQ(e.m_nPackageCode, packageCode);
        if (e.m_pPicConfig) {
            EXPECT_EQ(e.m_nSignature, 0);
            EXPECT_EQ(e.m_strId, "XXXXX");
            EXPECT_EQ(e.m_nCodeSize % 2, 0);
        }
        if (factory.count(i))
            continue;
        const Limits* limits = nullptr;
        for (const Limits& l : kLimits) {
            if (Covers(l.classes, i))
                limits = &l;
        }
        ASSERT_NE(limits, nullptr) << "no datasheet limits in the test";
        if (!supplyExempt.count(i)) {
            EXPECT_GE(GetVccVolts(e.m_nVcc), limits->supplyMin);
            EXPECT_LE(GetVccVolts(e.m_nVcc), limits->supplyMax);
        }
        if (!programExempt.count(i)) {
            EXPECT_GE(GetVccVolts(e.m_nWriteVcc), limits->programMin);
            EXPECT_LE(GetVccVolts(e.m_nWriteVcc), limits->programMax);
        }
    }
}

namespace {

// Device setup's CPLD configuration by class and model; 0 where setup loads none.
int ConfigurationOnModel7(int i)
{
    if (i == 3)
        return 482;
    if (i == 4)
        return 488;
    if (i >= 16 && i <= 23)
        return 420;
    if (i >= 25 && i <= 27)
        return 466;
    if (i == 307)
        return 471;
    if ((i >= 312 && i <= 319) || i == 324)
        return 442;
    if (i >= 321 && i <= 325)
        return 443;
    if (i == 170 || i == 320)
        return 0;
    return 385;
}

int ConfigurationOnModel8(int i)
{
    if (i == 3)
        return 482;
    if (i == 4)
        return 488;
    if ((i >= 16 && i <= 23) || i == 306 || i == 307)
        return 463;
    if (i == 310 || i == 311)
        return 385;
    if (InRanges(i,
            { { 40, 57 }, { 67, 89 }, { 91, 107 }, { 109, 111 }, { 175, 179 }, { 186, 196 }, { 225, 230 }, { 301, 304 },
                { 308, 309 } }))
        return 452;
    return 0;
}

} // namespace

TEST_F(DeviceClassTableTest, FirmwareIdsMatchTheConfigurationOfEachModel)
{
    const std::set<int> refused { 24, 28, 29, 30, 31, 90, 115, 185, 277 };
    for (const auto& [i, name] : kNames) {
        if (i < 2 || refused.count(i))
            continue;
        SCOPED_TRACE(name);
        const CDeviceClass& e = Entry(i);

        if (const int config = ConfigurationOnModel7(i)) {
            std::string id = kDefaultFirmwareId;
            int number = kDefaultFirmwareNumber;
            if (!e.m_strFirmwareId.empty()) {
                id = e.m_strFirmwareId;
                number = e.m_nFirmwareNumber;
            }
            EXPECT_EQ(number, config) << "model 7";
            ASSERT_NE(CpldUserCode(config), nullptr);
            EXPECT_EQ(id, CpldUserCode(config)) << "model 7";
        }
        if (const int config = ConfigurationOnModel8(i)) {
            std::string id = kDefaultFirmwareIdZvD;
            int number = kDefaultFirmwareNumberZvD;
            if (!e.m_strFirmwareIdQ8U.empty()) {
                id = e.m_strFirmwareIdQ8U;
                number = e.m_nFirmwareNumberQ8U;
            } else if (!e.m_strFirmwareId.empty()) {
                id = e.m_strFirmwareId;
                number = e.m_nFirmwareNumber;
            }
            EXPECT_EQ(number, config) << "model 8";
            ASSERT_NE(CpldUserCode(config), nullptr);
            EXPECT_EQ(id, CpldUserCode(config)) << "model 8";
        }
        // An id never comes without its number.
        EXPECT_EQ(e.m_strFirmwareId.empty(), e.m_nFirmwareNumber == 0);
        EXPECT_EQ(e.m_strFirmwareIdQ8U.empty(), e.m_nFirmwareNumberQ8U == 0);
    }
    EXPECT_STREQ(CpldUserCode(452), "15013100");
    EXPECT_EQ(CpldUserCode(999), nullptr);
}
