#include "catalogue/DeviceListParser.h"
#include "catalogue/DeviceClassTable.h"
#include "link/ProgrammerModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace devicelist;

namespace {

class DeviceListParserTest : public testing::Test {
protected:
    void SetUp() override { InitDeviceClassTable(); }
};

constexpr const char* kHead = "Name=\"DEV\" Class=\"27C256\" ID=\"1234\" ";
const std::string kEnd = " \r\nParse \"Devices.txt\" error on device ";

struct LineCase {
    const char* what;
    int model;
    std::string line;
    bool accepted;
    std::string box; // expected box text of a refused line
    std::function<void(const CDeviceRecord&)> check;
};

} // namespace

TEST_F(DeviceListParserTest, LineCases)
{
    const std::string head = kHead;
    const LineCase cases[] = {
        { "minimal line", 5, "Name=\"A\" Class=\"27C256\" ID=\"0000\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strName, "A");
                EXPECT_EQ(r.m_nClassIndex, 130);
                EXPECT_EQ(r.m_strClass, "27C256");
                EXPECT_EQ(r.m_strId, "0000");
                EXPECT_EQ(r.m_nCategory, kCategoryNotGiven);
                EXPECT_EQ(r.m_strFirmwareId, "00160514");
                EXPECT_EQ(r.m_nFirmwareNumber, 385);
                EXPECT_EQ(r.m_strManufacturer, "-1");
                EXPECT_EQ(r.m_nDataSize, 255);
            } },
        { "ZV-D default firmware", 8, "Name=\"A\" Class=\"27C256\" ID=\"0000\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strFirmwareId, "15013100");
                EXPECT_EQ(r.m_nFirmwareNumber, 452);
            } },
        { "keys in any case, values upper-cased", 5, "name=\"x\" class=\"27c256\" id=\"ab\" mfg=\"st\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strName, "X");
                EXPECT_EQ(r.m_nClassIndex, 130);
                EXPECT_EQ(r.m_strId, "AB");
                EXPECT_EQ(r.m_strManufacturer, "ST");
            } },
        { "case-kept keys", 5, head + "message=\"lower\" Adapter=\"PLCC32 Adapter\" Buffer2Title=\"Data µ\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strMessage, "-1");
                EXPECT_EQ(r.m_strAdapter, "PLCC32 Adapter");
                EXPECT_EQ(r.m_strBufferTitle[1], "Data µ");
                EXPECT_EQ(r.m_strBufferTitle[0], "-1");
            } },
        { "case-kept key after a lower-case letter belongs to a longer key", 5,
            head + "xMessage=\"no\" Message=\"yes\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_strMessage, "yes"); } },
        { "non-ASCII stays as written", 5, head + "MFG=\"µchip\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_strManufacturer, "µCHIP"); } },
        { "VCC= inside EVCC= on model 5", 5, head + "EVCC=\"5V\" VCC=\"3.3V\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVcc, 4);
                EXPECT_EQ(r.m_nEraseVcc, 12);
            } },
        { "VCC= inside EVCC= on model 8", 8, head + "EVCC=\"5V\" VCC=\"3.3V\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVcc, 3);
                EXPECT_EQ(r.m_nEraseVcc, 12);
            } },
        { "4.5V on the ZV-D", 8, head + "VCC=\"4.5V\" WVCC=\"4.5V\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVcc, 9);
                EXPECT_EQ(r.m_nWriteVcc, 12);
            } },
        { "page size keys after _", 5, head + "DATA_PAGE_WRITE_SIZE=\"10\" PAGE_WRITE_SIZE=\"40\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_Command[kDataPageWriteSize], 0x10);
                EXPECT_EQ(r.m_Command[kPageWriteSize], 0x40);
                EXPECT_EQ(r.m_Command[kCfgPageWriteSize], 0xFF);
            } },
        { "page size empty", 5, head + "PAGE_WRITE_SIZE=\"\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kPageWriteSize], 0xFE); } },
        { "page size 5", 5, head + "PAGE_WRITE_SIZE=\"5\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kPageWriteSize], 0x05); } },
        { "page size 1F", 5, head + "PAGE_WRITE_SIZE=\"1f\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kPageWriteSize], 0x1F); } },
        { "page size 0x20", 5, head + "PAGE_WRITE_SIZE=\"0x20\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kPageWriteSize], 0x20); } },
        { "page size 1FF keeps the low byte", 5, head + "PAGE_WRITE_SIZE=\"1FF\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kPageWriteSize], 0xFF); } },
        { "skip blank", 5, head + "SKIP_WRITE_BLANK=\"1\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_Command[kSkipWriteBlank], 0x01); } },
        { "VccAdjQ8U 5", 5, head + "VccAdjQ8U=\"5\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nVccAdjust, 250); } },
        { "VccAdjQ8U empty", 5, head + "VccAdjQ8U=\"\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nVccAdjust, 0); } },
        { "device address is decimal", 5, head + "DeviceAddress(Hex)=\"160\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nDeviceAddress, 160); } },
        { "device address A0 gives 0", 5, head + "DeviceAddress(Hex)=\"A0\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nDeviceAddress, 0); } },
        { "quoted key text does not count", 5, head + "Message=\"set VCC=9V\" VCC=\"5V\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVcc, 12);
                EXPECT_EQ(r.m_strMessage, "set VCC=9V");
            } },
        { "key at the end of the line", 5, head + "MFG=", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_strManufacturer, ""); } },
        { "key with its quote at the end", 5, head + "MFG=\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_strManufacturer, ""); } },
        { "first of two equal keys, WVPP over VPP", 5, head + "MFG=\"ONE\" MFG=\"TWO\" VPP=\"12V\" WVPP=\"21V\"", true,
            "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strManufacturer, "ONE");
                EXPECT_EQ(r.m_nVpp, 10);
            } },
        { "voltage keys", 5, head + "VPP=\"15V\" RVPP=\"0V\" EVPP=\"12.7V\" BVCC=\"6.5V\" WVCC=\"3.3V\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVpp, 8);
                EXPECT_EQ(r.m_nReadVpp, 0);
                EXPECT_EQ(r.m_nEraseVpp, 7);
                EXPECT_EQ(r.m_nBlankVcc, 19);
                EXPECT_EQ(r.m_nWriteVcc, 4);
            } },
        { "pins and pin group", 5, head + "PINVCC=\"ZIF32_PIN30\" PINVPP=\"ZIF32_PIN1\" PINGROUP=\"at29c256\"", true,
            "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nVccPins, 0x04);
                EXPECT_EQ(r.m_nVppPins, 0x80);
                EXPECT_EQ(r.m_nPinGroup, 0xC0);
            } },
        { "other pin group", 5, head + "PINGROUP=\"x\" ZIF48CFG1=\"\" ZIF48CFG2=\"17\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nPinGroup, 0xA0);
                EXPECT_EQ(r.m_nZif48Cfg1, 0);
                EXPECT_EQ(r.m_nZif48Cfg2, 17);
            } },
        { "category", 5, head + "Category=\"eeprom\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nCategory, kCategoryEeprom); } },
        { "sizes and bytes at their limits", 5,
            head + "Speed=\"255\" DEVICE_INDEX=\" +7\" CodeSize=\"268435456\" EepromSize=\"0\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_nSpeed, 255);
                EXPECT_EQ(r.m_nDeviceIndex, 7);
                EXPECT_EQ(r.m_nCodeSize, 268435456);
                EXPECT_EQ(r.m_nDataSize, 0);
            } },
        { "PRG_MODE empty", 5, head + "PRG_MODE=\"\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_strProgramMode, ""); } },
        { "class 16 copies its firmware", 5, "Name=\"C\" Class=\"AT89C51_ZIF\" ID=\"1E51FF\"", true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strFirmwareId, "15071900");
                EXPECT_EQ(r.m_nFirmwareNumber, 420);
                EXPECT_EQ(r.m_strFirmwareIdQ8U, "15021000");
                EXPECT_EQ(r.m_nFirmwareNumberQ8U, 463);
            } },
        { "class 16 with its own firmware id", 5, "Name=\"C\" Class=\"AT89C51_ZIF\" ID=\"1E51FF\" FirmwareID=\"X\"",
            true, "",
            [](const CDeviceRecord& r) {
                EXPECT_EQ(r.m_strFirmwareId, "X");
                EXPECT_EQ(r.m_nFirmwareNumber, 420);
            } },
        { "class names with blanks and a slash", 5, "Name=\"A\" Class=\"sst39lf/vf512\" ID=\"1\" X=\"\"", true, "",
            [](const CDeviceRecord& r) { EXPECT_EQ(r.m_nClassIndex, 238); } },

        { "four quotes only: not a device line", 5, "Name=\"A\" Class=\"27C256\"", false, "", nullptr },
        { "comment after blanks", 5, "   ;Name=\"A\" Class=\"27C256\" ID=\"0000\"", false, "", nullptr },
        { "missing name", 5, "Class=\"27C256\" ID=\"1\" MFG=\"X\"", false, "", nullptr },
        { "missing class", 5, "Name=\"A\" ID=\"1\" MFG=\"X\"", false, "", nullptr },
        { "missing id", 5, "Name=\"A\" Class=\"27C256\" MFG=\"X\"", false, "", nullptr },
        { "unknown class", 5, "Name=\"a\" Class=\"27x256\" ID=\"1\"", false,
            "The Class 27X256 is not found." + kEnd + "A.", nullptr },
        { "empty class", 5, "Name=\"a\" Class=\"\" ID=\"1\"", false, "The Class  is not found." + kEnd + "A.",
            nullptr },
        { "bad category", 5, head + "Category=\"memory\"", false, "The Category MEMORY is not found." + kEnd + "DEV.",
            nullptr },
        { "bad VCC", 5, head + "VCC=\"9V\"", false, "The VCC 9V not availble." + kEnd + "DEV.", nullptr },
        { "bad VPP", 5, head + "VPP=\"13V\"", false, "The VPP 13V is not availble." + kEnd + "DEV.", nullptr },
        { "bad WVCC", 5, head + "WVCC=\"2V\"", false, "The WVCC=2V is not availble." + kEnd + "DEV.", nullptr },
        { "bad EVPP", 5, head + "EVPP=\"15V\"", false, "The EVPP= 15V is not availble." + kEnd + "DEV.", nullptr },
        { "bad PINVPP", 5, head + "PINVPP=\"ZIF32_PIN2\"", false,
            "The PINVPP= ZIF32_PIN2 is not availble." + kEnd + "DEV.", nullptr },
        { "speed above a byte", 5, head + "Speed=\"300\"", false, "", nullptr },
        { "negative size", 5, head + "EepromSize=\"-1\"", false, "", nullptr },
        { "size above 256 MiB", 5, head + "CodeSize=\"268435457\"", false, "", nullptr },
        { "no overflow", 5, head + "CodeSize=\"99999999999999999999999999\"", false, "", nullptr },
        { "device index above a byte", 5, head + "DEVICE_INDEX=\"256\"", false, "", nullptr },
        { "ZIF48 byte above a byte", 5, head + "ZIF48CFG2=\"-1\"", false, "", nullptr },
        { "Vcc adjust above a byte", 5, head + "VccAdjQ8U=\"256\"", false, "", nullptr },
    };
    const ClassNameIndex classes;
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string_view line = TrimLeft(c.line);
        if (!IsDeviceLine(line)) {
            EXPECT_FALSE(c.accepted);
            EXPECT_TRUE(c.box.empty());
            continue;
        }
        LineOutcome out = ParseDeviceLine(line, c.model, classes);
        EXPECT_EQ(out.record != nullptr, c.accepted);
        EXPECT_EQ(out.box, c.box);
        if (out.record && c.check)
            c.check(*out.record);
    }
}

TEST(DeviceListHelpers, KeyValuesHexBytesAndDecimals)
{
    std::string v;
    EXPECT_TRUE(GetKeyValue("a=\"1\" VCC=\"5v\"", "vcc=", v));
    EXPECT_EQ(v, "5V");
    EXPECT_FALSE(GetKeyValue("EVCC=\"5V\"", "VCC=", v));
    EXPECT_FALSE(GetKeyValue("message=\"x\"", "Message=", v));
    EXPECT_FALSE(GetKeyValue("", "VCC=", v));
    EXPECT_FALSE(GetKeyValue("VCC=\"5V\"", "", v));
    EXPECT_TRUE(GetKeyValue("VCC=", "VCC=", v));
    EXPECT_EQ(v, "");
    EXPECT_EQ(CountQuotedValues("\"\"\"\"\""), 2);
    EXPECT_EQ(ParseHexByte(""), 0xFE);
    EXPECT_EQ(ParseHexByte("a"), 0x0A);
    EXPECT_EQ(ParseHexByte("zz"), 0x00);
    EXPECT_EQ(ParseDecimal("  -12x"), -12);
    EXPECT_EQ(ParseDecimal("x12"), 0);
    EXPECT_EQ(ParseDecimal("+"), 0);
    EXPECT_GT(ParseDecimal("99999999999999999999999999999"), 0);
    EXPECT_EQ(AsciiUpper("aµz"), "AµZ");
}

TEST(DeviceListHelpers, LinesFromEveryEncoding)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(ReadLines("a\r\nb\rc\nd"), (Lines { "a", "b", "c", "d" }));
    EXPECT_EQ(ReadLines("a\n"), (Lines { "a" }));
    EXPECT_EQ(ReadLines("a\n\nb\r\n"), (Lines { "a", "", "b" }));
    EXPECT_EQ(ReadLines(""), Lines {});
    EXPECT_EQ(ReadLines("\xEF\xBB\xBFx=\"\xC2\xB5\""), (Lines { "x=\"\xC2\xB5\"" }));
    // Not UTF-8: the line is Latin-1; the next line is UTF-8 again.
    EXPECT_EQ(ReadLines("x\xB5\ny\xC2\xB5"), (Lines { "x\xC2\xB5", "y\xC2\xB5" }));
    QByteArray le("\xFF\xFE", 2);
    for (char c : std::string("ab\r\ncd"))
        le.append(c).append('\0');
    le.append("\xB5\0", 2);
    EXPECT_EQ(ReadLines(le), (Lines { "ab", "cd\xC2\xB5" }));
    QByteArray be("\xFE\xFF", 2);
    for (char c : std::string("ab\ncd"))
        be.append('\0').append(c);
    EXPECT_EQ(ReadLines(be), (Lines { "ab", "cd" }));
    // Without a mark: UTF-16 by its NULs, half a character at the end kept as a replacement.
    EXPECT_EQ(ReadLines(QByteArray("a\0b\0\n\0c\0d", 9)), (Lines { "ab", "c\xEF\xBF\xBD" }));
    EXPECT_EQ(ReadLines(QByteArray("\0a\0b\0\r\0\n\0c", 10)), (Lines { "ab", "c" }));
    // A NUL here and there is no UTF-16: it stays in its line.
    EXPECT_EQ(ReadLines(QByteArray("ab\0cd\ne\0", 8)), (Lines { std::string("ab\0cd", 5), std::string("e\0", 2) }));
}
