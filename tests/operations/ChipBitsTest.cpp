// What the Set CFG bits dialogs show and give, without the dialogs: the values and bits of each
// kind of chip, the bytes a toggled bit gives, and the writes that need a question first.

#include "operations/ChipBits.h"

#include "catalogue/DeviceClassTable.h"

#include "LanguageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ChipBitsTest : public BuiltInTexts {
protected:
    void SetUp() override
    {
        BuiltInTexts::SetUp();
        InitDeviceClassTable();
    }
    static const CDeviceClass& Class(int index) { return g_DeviceClassTable[static_cast<std::size_t>(index)]; }
    static ChipBits Bits(int index)
    {
        const CDeviceClass& device = Class(index);
        if (device.m_pPicConfig) {
            CPicConfigInfo pic = *device.m_pPicConfig;
            pic.m_ConfigValue.fill(0xFF);
            return ChipBits::Configuration(pic);
        }
        if (index >= 41 && index <= 55)
            return ChipBits::EepromAddress(index, 0xA2);
        return ChipBits::AvrFuses(device, { 0x64, 0xDF, 0xFF });
    }
};

std::string Join(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

std::string Editable(const ChipBitValue& value)
{
    std::string out;
    for (bool on : value.editable)
        out += on ? '1' : '0';
    return out;
}

TEST_F(ChipBitsTest, EachClassShowsItsValuesBitsAndWhatMayChange)
{
    struct Value {
        std::string name;
        std::string bits; // most significant first
        std::string editable;
        std::string text;
    };
    struct Row {
        int classIndex;
        std::vector<Value> values;
    };
    const std::vector<Row> rows {
        { 312, { { "CONFIG", "- - - - - - - MCLRE CP WDTE FOSC1 FOSC0", "000000011111", "0x0fff" } } },
        { 313,
            { { "CONFIG", "CP CP CP CP CP CPD LVP BOREN MCLRE FOSC2 PWRTE WDTE FOSC1 FOSC0", "11111111111111",
                "0x3fff" } } },
        { 27,
            { { "Fuse Low", "CKDIV8 CKOUT SUT1 SUT0 CKSEL3 CKSEL2 CKSEL1 CKSEL0", "11111111", "0x64" },
                { "Fuse High", "DWEN EESAVE SPIEN WDTON BODLEVEL2 BODLEVEL1 BODLEVEL0 RSTDISBL", "11111111", "0xdf" },
                { "Fuse Extended", "- - - - - - - SELFPRGEN", "00000001", "0xff" } } },
        // No bit of the high byte is named: it does not show.
        { 29, { { "Fuse Low", "BODLEVEL BODEN SPIEN RSTDISBL CKSEL3 CKSEL2 CKSEL1 CKSEL0", "11111111", "0x64" } } },
        // In-system programming cannot change SPIEN.
        { 37,
            { { "Fuse Low", "BODLEVEL BODEN SUT1 SUT0 CKSEL3 CKSEL2 CKSEL1 CKSEL0", "11111111", "0x64" },
                { "Fuse High", "OCDEN JTAGEN SPIEN CKOPT EESAVE BOOTSZ1 BOOTSZ0 BOOTRST", "11011111", "0xdf" } } },
        { 44, { { "Address", "A2 A1 A0", "111", "0xa2" } } },
        { 46, { { "Address", "A2 A1 -", "110", "0xa2" } } },
        { 48, { { "Address", "- - -", "000", "0xa2" } } },
        { 55, { { "Address", "- A1 A0", "011", "0xa2" } } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.classIndex);
        const ChipBits bits = Bits(row.classIndex);
        ASSERT_EQ(bits.Values().size(), row.values.size());
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            const ChipBitValue& value = bits.Values()[i];
            EXPECT_EQ(value.name, row.values[i].name);
            EXPECT_EQ(Join(value.bitNames), row.values[i].bits);
            EXPECT_EQ(Editable(value), row.values[i].editable);
            EXPECT_EQ(bits.ValueText(static_cast<int>(i)), row.values[i].text);
        }
        EXPECT_EQ(bits.Supported(), row.classIndex != 48);
        EXPECT_FALSE(bits.Changed());
    }
    // Nothing to change: 24C00, 24C16, an AVR class that names no fuse bit.
    EXPECT_FALSE(ChipBits::EepromAddress(41, 0).Supported());
    EXPECT_FALSE(ChipBits::AvrFuses(Class(32), { 0, 0, 0 }).Supported());
    EXPECT_EQ(Bits(27).ValuesLine(), "Fuse Low=0x64, Fuse High=0xdf, Fuse Extended=0xff");
}

TEST_F(ChipBitsTest, AToggledBitGivesTheBytesToWriteAndAReadOnlyOrStrayTextChangesNothing)
{
    // PIC: WDTE cleared in a 14-bit word.
    ChipBits pic = Bits(313);
    ASSERT_TRUE(pic.SetBitText(0, 11, "0"));
    EXPECT_TRUE(pic.Changed());
    EXPECT_EQ(pic.ConfigBytes(), (std::vector<std::uint8_t> { 0xFB, 0x3F }));
    EXPECT_EQ(pic.ValueText(0), "0x3ffb");

    // Fuses: CKDIV8 (low bit 7) unprogrammed; the others are written as read.
    ChipBits avr = Bits(27);
    ASSERT_TRUE(avr.SetBit(0, 0, true));
    EXPECT_EQ(avr.FuseBytes(), (std::array<std::uint8_t, 3> { 0xE4, 0xDF, 0xFF }));
    // A byte the class does not show keeps what was read.
    ChipBits tiny12 = ChipBits::AvrFuses(Class(29), { 0x52, 0x11, 0x22 });
    ASSERT_TRUE(tiny12.SetBit(0, 7, true));
    EXPECT_EQ(tiny12.FuseBytes(), (std::array<std::uint8_t, 3> { 0x53, 0x11, 0x22 }));

    // Address: A0 set on a 24C02 strapped nowhere; an address not 1010xxx0 counts as 0xA0.
    ChipBits eeprom = ChipBits::EepromAddress(44, 0x37);
    EXPECT_EQ(eeprom.ControlByte(), 0xA0);
    ASSERT_TRUE(eeprom.SetBit(0, 2, true));
    EXPECT_EQ(eeprom.ControlByte(), 0xA2);

    // Read-only bits, stray texts and positions outside the values change nothing.
    ChipBits isp = Bits(37);
    EXPECT_FALSE(isp.SetBit(1, 2, true)); // SPIEN
    EXPECT_FALSE(isp.SetBitText(0, 0, "x"));
    EXPECT_FALSE(isp.SetBitText(0, 0, "10"));
    EXPECT_FALSE(isp.SetBit(2, 0, true));
    EXPECT_FALSE(isp.SetBit(0, 8, true));
    EXPECT_FALSE(isp.Changed());
    ChipBits narrow = ChipBits::EepromAddress(46, 0xA0);
    EXPECT_FALSE(narrow.SetBit(0, 2, true)); // P0
    EXPECT_EQ(narrow.ControlByte(), 0xA0);
}

TEST_F(ChipBitsTest, DangerousWritesAreNamedAndProgrammedBitsCannotReturnToOne)
{
    struct Row {
        const char* name;
        int classIndex;
        int value, column;
        bool on;
        std::vector<std::string> risks;
    };
    const std::string clock = g_Language.GetText(158) + ": CKSEL=0000 needs an external clock.";
    for (const Row& row :
        {
            Row { "SPIEN unprogrammed", 27, 1, 2, true, { "SPIEN unprogrammed: serial programming is switched off." } },
            Row {
                "RSTDISBL programmed", 27, 1, 7, false, { "RSTDISBL programmed: the reset pin becomes an I/O pin." } },
            Row { "DWEN programmed", 27, 1, 0, false, { "DWEN programmed: debugWIRE takes the reset pin." } },
            Row { "CKSEL 0100 to 0000", 27, 0, 5, false, { clock } },
            Row { "a SUT change", 27, 0, 2, false, {} },
            Row { "CP programmed", 313, 0, 0, false,
                { "CP programmed: the memory reads back protected until an erase." } },
            Row { "CPD programmed", 313, 0, 5, false,
                { "CPD programmed: the memory reads back protected until an erase." } },
            Row { "WDTE cleared", 313, 0, 11, false, {} },
        }) {
        SCOPED_TRACE(row.name);
        ChipBits bits = Bits(row.classIndex);
        ASSERT_TRUE(bits.SetBit(row.value, row.column, row.on));
        EXPECT_EQ(bits.Risks(), row.risks);
        EXPECT_TRUE(bits.UnprogrammableBits().empty());
    }
    EXPECT_EQ(RiskQuestion(ChipBits::Kind::AvrFuse),
        "The chip may no longer answer serial programming. Write the fuses anyway?");
    EXPECT_EQ(RiskQuestion(ChipBits::Kind::Configuration), "Write the configuration word anyway?");

    // A PIC bit read as 0 cannot be set again without an erase; every CP bit counts once.
    CPicConfigInfo pic = *Class(313).m_pPicConfig;
    pic.m_ConfigValue[0] = 0x00;
    pic.m_ConfigValue[1] = 0x00;
    ChipBits programmed = ChipBits::Configuration(pic);
    for (int c : { 0, 1, 11 })
        ASSERT_TRUE(programmed.SetBit(0, c, true));
    EXPECT_EQ(programmed.UnprogrammableBits(), (std::vector<std::string> { "CP", "WDTE" }));
    EXPECT_TRUE(programmed.Risks().empty());
}

} // namespace
