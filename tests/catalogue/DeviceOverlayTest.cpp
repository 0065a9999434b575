#include "catalogue/DeviceOverlay.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceListParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class DeviceOverlayTest : public testing::Test {
protected:
    void SetUp() override { InitDeviceClassTable(); }
    void TearDown() override { g_CurrentDevice = CDeviceClass(); }

    // The class entry of the line's class, then the line's record over it, as a selection does.
    static const CDeviceClass& Select(const std::string& line)
    {
        const devicelist::ClassNameIndex classes;
        devicelist::LineOutcome out = devicelist::ParseDeviceLine(line, 5, classes);
        EXPECT_TRUE(out.record) << line;
        if (!out.record)
            return g_CurrentDevice;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(out.record->m_nClassIndex)];
        ApplyDeviceRecord(*out.record);
        return g_CurrentDevice;
    }
};

struct OverlayCase {
    const char* what;
    std::string line;
    std::function<void(const CDeviceClass&)> check;
};

} // namespace

TEST_F(DeviceOverlayTest, RecordsOverTheirClass)
{
    const OverlayCase cases[] = {
        { "not given leaves the class", "Name=\"M27C256B\" Class=\"27C256\" ID=\"208D\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_strName, "M27C256B");
                EXPECT_EQ(d.m_nType, 1);
                EXPECT_EQ(d.m_strPackage, "DIP28");
                EXPECT_EQ(d.m_nCodeSize, 32768);
                EXPECT_EQ(d.m_nWriteVcc, 20); // an EPROM keeps its programming Vcc
                EXPECT_EQ(d.m_nEraseVcc, 12); // erase and blank Vcc follow the Vcc
                EXPECT_EQ(d.m_nBlankVcc, 12);
                EXPECT_EQ(d.m_strId, "208D");
                EXPECT_EQ(d.m_strManufacturer, "");
                EXPECT_EQ(d.m_strPinGnd, ""); // no PIN_GND= keeps the class's text
                EXPECT_EQ(d.m_strFirmwareId, "00160514");
                EXPECT_EQ(d.m_nVppSwitch, 0x40);
            } },
        { "category ALL sets type 0; sizes 0 and 255 are not given",
            "Name=\"X\" Class=\"AT28C16\" ID=\"1\" Category=\"ALL\" CodeSize=\"0\" EepromSize=\"255\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_nType, 0);
                EXPECT_EQ(d.m_nCodeSize, 2048);
                EXPECT_EQ(d.m_nDataSize, 0);
            } },
        { "a flash's write Vcc follows its Vcc", "Name=\"X\" Class=\"SST39LF/VF010\" ID=\"BFD5\" VCC=\"5V\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_nVcc, 12);
                EXPECT_EQ(d.m_nWriteVcc, 12);
            } },
        { "an EPROM's write Vcc does not", "Name=\"X\" Class=\"27C256\" ID=\"1\" VCC=\"5.5V\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_nVcc, 15);
                EXPECT_EQ(d.m_nWriteVcc, 20);
                EXPECT_EQ(d.m_nEraseVcc, 15);
            } },
        { "given values",
            "Name=\"X\" Class=\"24C16\" ID=\"1\" MFG=\"ATMEL\" Package=\"SOIC8\" Adapter=\"SOIC8 Adapter\" "
            "Message=\"Mind pin 7\" Platform=\"zv-d\" Speed=\"3\" DeviceAddress(Hex)=\"160\" "
            "ClassFile=\"c1\" PIN_GND=\"4\" DIP=\"100000000001\" CTL_BYTES=\"01\" GND_BYTES=\"02\" "
            "DEVICE_INDEX=\"2\" VPP=\"12V\" PINVCC=\"ZIF32_PIN8\" PINVPP=\"0\" PINGROUP=\"A\" WVCC=\"5V\" "
            "ZIF48CFG1=\"9\" ZIF48CFG2=\"7\" VccAdjQ8U=\"5\" EVCC=\"3.3V\" BVCC=\"6.5V\" RVPP=\"5V\" "
            "EVPP=\"12V\" CodeSize=\"4096\" EepromSize=\"16\" FuseLabel=\"A B\" Buffer3Title=\"Cfg\" "
            "BufferMode=\"16BIT\" DeviceFile=\"F\" TempUnprotect=\"NO\" FirmwareID=\"1\" "
            "Q8UFirmwareID=\"2\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_strManufacturer, "ATMEL");
                EXPECT_EQ(d.m_strPackage, "SOIC8");
                EXPECT_EQ(d.m_strAdapter, "SOIC8 Adapter");
                EXPECT_EQ(d.m_strMessage, "Mind pin 7");
                EXPECT_EQ(d.m_strPlatform, "ZV-D");
                EXPECT_EQ(d.m_nSpeed, 3);
                EXPECT_EQ(d.m_nDeviceAddress, 160);
                EXPECT_EQ(d.m_strClassFile, "C1");
                EXPECT_EQ(d.m_strPinGnd, "4");
                EXPECT_EQ(d.m_strCpldDip, "100000000001");
                EXPECT_EQ(d.m_strCtlBytes, "01");
                EXPECT_EQ(d.m_strGndBytes, "02");
                EXPECT_EQ(d.m_nDeviceIndex, 2);
                EXPECT_EQ(d.m_nVpp, 6);
                EXPECT_EQ(d.m_nVccSwitch, 0x10);
                EXPECT_EQ(d.m_nVppSwitch, 0x00);
                EXPECT_EQ(d.m_nSwitchA, 0xA0);
                EXPECT_EQ(d.m_nWriteVcc, 12);
                EXPECT_EQ(d.m_nZif48Cfg, 7);
                EXPECT_EQ(d.m_nZif48U9, 0);
                EXPECT_EQ(d.m_nVccAdjust, 250);
                EXPECT_EQ(d.m_nEraseVcc, 4);
                EXPECT_EQ(d.m_nBlankVcc, 19);
                EXPECT_EQ(d.m_nReadVpp, 4);
                EXPECT_EQ(d.m_nEraseVpp, 6);
                EXPECT_EQ(d.m_nCodeSize, 4096);
                EXPECT_EQ(d.m_nDataSize, 16);
                EXPECT_EQ(d.m_strFuseLabels, "A B");
                EXPECT_EQ(d.m_strBufferTitle[2], "Cfg");
                EXPECT_EQ(d.m_strBufferTitle[0], "");
                EXPECT_EQ(d.m_strBufferMode, "16BIT");
                EXPECT_EQ(d.m_strDeviceFile, "F");
                EXPECT_EQ(d.m_strTempUnprotect, "NO");
                EXPECT_EQ(d.m_strFirmwareId, "1");
                EXPECT_EQ(d.m_strFirmwareIdQ8U, "2");
            } },
        { "ICSP without an adapter", "Name=\"PIC16F628A(ICSP)\" Class=\"PIC16F628A\" ID=\"291060\" ChipMode=\"ICSP\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_strChipMode, "ICSP");
                EXPECT_EQ(d.m_strPackage, "DIP18");
                EXPECT_EQ(d.m_strAdapter, "JIG-056 ICSP Adapter");
            } },
        { "ICSP with an adapter", "Name=\"X\" Class=\"PIC12F508\" ID=\"1\" ChipMode=\"icsp\" Adapter=\"Own jig\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_strPackage, "DIP18");
                EXPECT_EQ(d.m_strAdapter, "Own jig");
            } },
        { "class firmware in force", "Name=\"X\" Class=\"AT89C52_ZIF\" ID=\"1E52FF\"",
            [](const CDeviceClass& d) {
                EXPECT_EQ(d.m_strFirmwareId, "15071900");
                EXPECT_EQ(d.m_strFirmwareIdQ8U, "15021000");
            } },
    };
    for (const OverlayCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.check(Select(c.line));
    }
}

TEST_F(DeviceOverlayTest, PicValuesGoIntoTheCurrentDevicesOwnDescriptor)
{
    const std::string keys
        = " CMD_LDCONF=\"10\" CMD_LDCODE=\"12\" CMD_LDDATA=\"13\" CMD_RDCODE=\"14\" CMD_RDDATA=\"15\" "
          "CMD_INCADD=\"16\" BEGPRG_COMMAND=\"18\" BEGERASECODE_COMMAND=\"19\" "
          "BEGERASEDATA_COMMAND=\"1A\" ENDPRG_COMMAND=\"1B\" ERASECHIP_COMMAND=\"1C\" "
          "BEGERASECHIP_COMMAND=\"1D\" SKIP_WRITE_BLANK=\"1E\" PAGE_WRITE_SIZE=\"1F\" "
          "DATA_PAGE_WRITE_SIZE=\"20\" CFG_PAGE_WRITE_SIZE=\"21\"";
    const CDeviceClass& d = Select("Name=\"PIC16F648A\" Class=\"PIC16FXXX\" ID=\"291100\"" + keys
        + " PRG_MODE=\"0\" OSCCALAddress(Decimal)=\"2047\" CFGAddress(Hex)=\"0x2008\" CFGHexFileAddress(Hex)=\"4010\" "
          "UserIDHexFileAddress(Hex)=\"4002\" EEPROMHexFileAddress(Hex)=\"F000\" CFGByteLabel=\"A  B\tC - D\"");
    ASSERT_TRUE(d.m_pPicConfig);
    const CPicConfigInfo& p = *d.m_pPicConfig;
    const std::array<std::uint8_t, kPicCommandCount> commands { 0x10, 1, 0x12, 0x13, 0x14, 0x15, 0x16, 7, 0x18, 0x19,
        0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21 };
    EXPECT_EQ(p.m_Command, commands); // positions 1 and 7 have no key
    EXPECT_EQ(p.m_nProgramMode, 0);
    EXPECT_EQ(p.m_nOscCalAddress, 2047);
    EXPECT_EQ(p.m_bHasOscCal, 1);
    EXPECT_EQ(p.m_nConfigAddress, 0x2008);
    EXPECT_EQ(p.m_nConfigHexAddress, 0x4010);
    EXPECT_EQ(p.m_nIdHexAddress, 0x4002);
    EXPECT_EQ(p.m_nEepromHexAddress, 0xF000);
    EXPECT_EQ(p.m_strBitName[0][0], "A");
    EXPECT_EQ(p.m_strBitName[0][1], "B");
    EXPECT_EQ(p.m_strBitName[0][2], "C");
    EXPECT_EQ(p.m_strBitName[0][4], "D");
    EXPECT_EQ(p.m_strBitName[0][5], "-");
    EXPECT_EQ(p.m_strBitName[1][0], "-"); // the class's names are replaced whole

    // The table's descriptor is untouched, and the next device of the class starts from it.
    const CPicConfigInfo& table = *g_DeviceClassTable[315].m_pPicConfig;
    EXPECT_EQ(table.m_Command[kPageWriteSize], 1);
    EXPECT_EQ(table.m_strBitName[0][0], "FOSC0");
    const CDeviceClass& next = Select("Name=\"PIC16F88\" Class=\"PIC16FXXX\" ID=\"290760\" PRG_MODE=\"X\"");
    EXPECT_EQ(next.m_pPicConfig->m_Command[kPageWriteSize], 1);
    EXPECT_EQ(next.m_pPicConfig->m_nProgramMode, 1);
    EXPECT_EQ(next.m_pPicConfig->m_bHasOscCal, 0);
    EXPECT_EQ(next.m_pPicConfig->m_nConfigAddress, 0x2007);
    EXPECT_EQ(next.m_pPicConfig->m_strBitName[0][0], "FOSC0");
}

TEST_F(DeviceOverlayTest, LongAndShortBitLabels)
{
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "N" + std::to_string(i) + " ";
    const CDeviceClass& d = Select("Name=\"X\" Class=\"PIC18FXX2_XX8\" ID=\"1\" CFGByteLabel=\"" + many + "\"");
    EXPECT_EQ(d.m_pPicConfig->m_strBitName[31][7], "N255");
    const CDeviceClass& e = Select("Name=\"X\" Class=\"PIC18FXX2_XX8\" ID=\"1\" PRG_MODE=\"1\" CFGByteLabel=\"\"");
    EXPECT_EQ(e.m_pPicConfig->m_strBitName[1][0], "-");
    EXPECT_EQ(e.m_pPicConfig->m_nProgramMode, 1);
}
