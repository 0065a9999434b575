#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Restores the current and previous device after each case.
class DeviceClassTest : public testing::Test {
protected:
    void SetUp() override { InitDeviceClassTable(); }
    void TearDown() override
    {
        g_CurrentDevice = CDeviceClass();
        g_PreviousDevice = CDeviceClass();
    }
};

} // namespace

TEST_F(DeviceClassTest, DefaultsOfARecordAndOfThePicDescriptor)
{
    const CDeviceClass d;
    EXPECT_EQ(d.m_nType, 0);
    EXPECT_EQ(d.m_strPackage, "DIP32");
    EXPECT_EQ(d.m_strBufferMode, "8BIT");
    EXPECT_EQ(d.m_nSignature, 0x1E9005);
    EXPECT_EQ(d.m_strId, "1E9005");
    EXPECT_EQ(d.m_strCpldDip, "000000000000");
    EXPECT_EQ(d.m_nVcc, 12);
    EXPECT_EQ(d.m_nWriteVcc, 12);
    EXPECT_EQ(d.m_nVpp, 4);
    EXPECT_EQ(d.m_nReadVpp, 0xFF);
    EXPECT_EQ(d.m_nBlankVcc, 0xFF);
    EXPECT_EQ(d.m_nEraseVpp, 0xFF);
    EXPECT_EQ(d.m_nEraseVcc, 0xFF);
    EXPECT_EQ(d.m_nSpeed, 5);
    EXPECT_EQ(d.m_nBusWidth, 1);
    EXPECT_EQ(d.m_strLockText, "0");
    EXPECT_EQ(d.m_nSwitchA, 0x80);
    EXPECT_EQ(d.m_nVccSwitch, 0x08);
    EXPECT_EQ(d.m_nVppSwitch, 0x80);
    EXPECT_EQ(d.m_nDeviceIndex, 0);
    EXPECT_EQ(d.m_nFirmwareNumber, 0);
    EXPECT_EQ(d.m_nFirmwareNumberQ8U, 0);
    EXPECT_EQ(d.m_nPackageCode, 0);
    EXPECT_FALSE(d.m_pPicConfig);
    EXPECT_TRUE(d.m_pPicConfig == nullptr);
    for (const std::string& title : d.m_strBufferTitle)
        EXPECT_TRUE(title.empty());

    const CPicConfigInfo pic;
    EXPECT_EQ(pic.m_nConfigAddress, 0x2007);
    EXPECT_EQ(pic.m_nDeviceIdAddress, 0x2006);
    EXPECT_EQ(pic.m_nIdAddress, 0x2000);
    EXPECT_EQ(pic.m_nConfigBytes, 2);
    EXPECT_EQ(pic.m_nConfigHexAddress, 0x400E);
    EXPECT_EQ(pic.m_nIdHexAddress, 0x4000);
    EXPECT_EQ(pic.m_nEepromHexAddress, 0x4200);
    EXPECT_EQ(pic.m_nOscCalAddress, 1023);
    EXPECT_EQ(pic.m_nProgramMode, 1);
    EXPECT_EQ(pic.m_ConfigMask[31], 0xFF);
    EXPECT_EQ(pic.m_ConfigValue[0], 0);
    EXPECT_EQ(pic.m_strBitName[31][7], "-");
    EXPECT_EQ(pic.m_nRegisterValue[4], -1);
    const std::array<std::uint8_t, kPicCommandCount> commands { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 14, 31, 24, 1, 1, 1,
        1 };
    EXPECT_EQ(pic.m_Command, commands);
    EXPECT_EQ(pic.m_Command[kBegEraseChipCommand], 24);
    EXPECT_EQ(pic.m_Command[kCfgPageWriteSize], 1);
    EXPECT_EQ(pic.m_nProgramLatch, 1);
    EXPECT_EQ(pic.m_nDataLatch, 1);
    EXPECT_EQ(pic.m_nConfigLatch, 1);
    EXPECT_EQ(pic.ConfigMemoryBytes(), 16);
    EXPECT_EQ(pic.ConfigWordBytes(), 2);
}

TEST_F(DeviceClassTest, AssigningAPicClassCopiesItsDescriptor)
{
    g_CurrentDevice = g_DeviceClassTable[313];
    ASSERT_TRUE(g_CurrentDevice.m_pPicConfig);
    EXPECT_NE(g_CurrentDevice.m_pPicConfig.get(), g_DeviceClassTable[313].m_pPicConfig.get());

    g_CurrentDevice.m_pPicConfig->m_Command[kPageWriteSize] = 8;
    g_CurrentDevice.m_pPicConfig->m_strBitName[0][0] = "OSC";
    EXPECT_EQ(g_DeviceClassTable[313].m_pPicConfig->m_Command[kPageWriteSize], 1);
    EXPECT_EQ(g_DeviceClassTable[313].m_pPicConfig->m_strBitName[0][0], "FOSC0");

    g_CurrentDevice.m_pPicConfig->m_strBitName[1][7] = "XYZ";
    g_CurrentDevice = g_DeviceClassTable[313];
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_Command[kPageWriteSize], 1);
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_strBitName[1][7], "-");
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_strBitName[0][0], "FOSC0");

    // A class without a descriptor drops the one the current device held.
    g_CurrentDevice = g_DeviceClassTable[130];
    EXPECT_FALSE(g_CurrentDevice.m_pPicConfig);
}

TEST_F(DeviceClassTest, AssigningAClassClearsWhatOnlyARecordSets)
{
    g_CurrentDevice = g_DeviceClassTable[130];
    g_CurrentDevice.m_strClassFile = "SPECIAL";
    g_CurrentDevice.m_strCtlBytes = "01 02";
    g_CurrentDevice.m_nDeviceIndex = 7;
    g_CurrentDevice.m_strPinGnd = "14";
    g_CurrentDevice.m_strGndBytes = "80";
    g_CurrentDevice.m_strAdapter = "PLCC32";
    g_PreviousDevice = g_CurrentDevice;

    g_CurrentDevice = g_DeviceClassTable[48];
    EXPECT_TRUE(g_CurrentDevice.m_strClassFile.empty());
    EXPECT_TRUE(g_CurrentDevice.m_strCtlBytes.empty());
    EXPECT_EQ(g_CurrentDevice.m_nDeviceIndex, 0);
    EXPECT_TRUE(g_CurrentDevice.m_strPinGnd.empty());
    EXPECT_TRUE(g_CurrentDevice.m_strGndBytes.empty());
    EXPECT_TRUE(g_CurrentDevice.m_strAdapter.empty());
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C16");
    EXPECT_EQ(g_PreviousDevice.m_strClassFile, "SPECIAL");
}

TEST_F(DeviceClassTest, ACopyOutlivesATableRebuild)
{
    CDeviceClass copy = g_DeviceClassTable[321];
    auto moved = std::make_unique<CDeviceClass>(g_DeviceClassTable[312]);
    g_CurrentDevice = g_DeviceClassTable[325];
    const CPicConfigInfo* before = g_DeviceClassTable[321].m_pPicConfig.get();

    InitDeviceClassTable();
    InitDeviceClassTable();

    ASSERT_TRUE(copy.m_pPicConfig);
    EXPECT_EQ(copy.m_pPicConfig->m_nCoreBits, 16);
    EXPECT_EQ(moved->m_pPicConfig->m_strBitName[0][4], "MCLRE");
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_nConfigBytes, 14);
    EXPECT_NE(copy.m_pPicConfig.get(), before);
    EXPECT_EQ(g_DeviceClassTable[321].m_strName, "PIC18F2XXX_4XXX");

    // Self-assignment and moves keep the descriptor whole.
    CDeviceClass& alias = copy;
    copy = alias;
    ASSERT_TRUE(copy.m_pPicConfig);
    CDeviceClass target = std::move(copy);
    ASSERT_TRUE(target.m_pPicConfig);
    EXPECT_EQ(target.m_pPicConfig->m_nIdAddress, 0x200000);
}

TEST(SignatureLength, CountsHexPairsOnly)
{
    const struct {
        const char* id;
        int length;
    } cases[] = {
        { "1E9005", 3 },
        { "1e51ff", 3 },
        { "BFB5", 2 },
        { "0102030405AB", 6 },
        { "XXXXX", 0 },
        { "XXXX", 0 },
        { "1E900", 0 },
        { "", 0 },
        { "1E 90", 0 },
        { "-1", 0 },
    };
    for (const auto& c : cases) {
        CDeviceClass d;
        d.m_strId = c.id;
        EXPECT_EQ(SignatureLength(d), c.length) << c.id;
    }
}
