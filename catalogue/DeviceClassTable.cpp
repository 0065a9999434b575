#include "catalogue/DeviceClassTable.h"

#include "catalogue/CpldConfigurations.h"
#include "shell/HexParse.h"

#include <array>
#include <span>
#include <sstream>
#include <string_view>

// The device classes as data: one template per family of chips (the columns its members share,
// taken from the family's datasheets) and one row per class. catalogue/SOURCES.md names the
// datasheet behind every template and override and marks the values that are our choices.

namespace {

// ---------------------------------------------------------------------------------------------
// Socket geometry. The 40-pin socket's positions run 1..40 counter-clockwise from the top left;
// the programmer's 32-pin drivers (ZIF32 pins 1..32) sit on positions 5..36.

// The datasheet roles of a package's pins (0 = none).
struct PinMap {
    std::uint8_t pins = 0; // pin count
    std::uint8_t firstRow = 0; // socket row of pin 1
    std::uint8_t vcc = 0; // supply pin
    std::uint8_t hv = 0; // pin that takes the high voltage: Vpp, OE/Vpp, MCLR, A9 or RESET
    std::array<std::uint8_t, 4> gnd {};
    std::array<std::uint8_t, 8> data {};
};

// Socket position of a chip pin.
constexpr int Position(const PinMap& m, int pin)
{
    return pin <= m.pins / 2 ? m.firstRow + pin - 1 : 41 - m.firstRow - m.pins + pin;
}

// Chip pin at a socket position, 0 when the chip does not cover it.
constexpr int PinAt(const PinMap& m, int position)
{
    const int half = m.pins / 2;
    if (position >= m.firstRow && position <= m.firstRow + half - 1)
        return position - m.firstRow + 1;
    if (position >= 42 - m.firstRow - half && position <= 41 - m.firstRow)
        return position - 41 + m.firstRow + m.pins;
    return 0;
}

constexpr int Zif32Pin(int position)
{
    const int k = position - 4;
    return k >= 1 && k <= 32 ? k : 0;
}

// The Vcc and Vpp switch bits of the ZIF32 pins that have a driver.
constexpr std::uint8_t VccBit(int zif32)
{
    switch (zif32) {
    case 21:
        return 0x01;
    case 28:
        return 0x02;
    case 30:
        return 0x04;
    case 32:
        return 0x08;
    case 8:
        return 0x10;
    case 20:
        return 0x20;
    case 3:
        return 0x40;
    case 1:
        return 0x80;
    default:
        return 0;
    }
}

constexpr std::uint8_t VppBit(int zif32)
{
    switch (zif32) {
    case 26:
        return 0x01;
    case 25:
        return 0x02;
    case 24:
        return 0x04;
    case 22:
        return 0x08;
    case 11:
        return 0x10;
    case 5:
        return 0x20;
    case 3:
        return 0x40;
    case 1:
        return 0x80;
    default:
        return 0;
    }
}

constexpr int Zif32OfVccBit(std::uint8_t bit)
{
    for (int k = 1; k <= 32; ++k) {
        if (VccBit(k) == bit)
            return k;
    }
    return 0;
}

constexpr int Zif32OfVppBit(std::uint8_t bit)
{
    for (int k = 1; k <= 32; ++k) {
        if (VppBit(k) == bit)
            return k;
    }
    return 0;
}

struct Masks {
    std::uint8_t vcc = 0x08;
    std::uint8_t vpp = 0x80;
    bool vccThroughVpp = false; // the supply pin has no Vcc driver: 5 V comes from the Vpp driver
};

constexpr Masks RuleMasks(const PinMap& m)
{
    const int vccZif = Zif32Pin(Position(m, m.vcc));
    const std::uint8_t vccBit = VccBit(vccZif);
    if (vccBit == 0)
        return { 0x08, VppBit(vccZif), true };
    std::uint8_t vpp = 0;
    if (m.hv != 0)
        vpp = VppBit(Zif32Pin(Position(m, m.hv)));
    if (vpp == 0) // park the driver on ZIF32 pin 1 when the chip leaves it free
        vpp = PinAt(m, 5) == 0 ? 0x80 : 0x00;
    return { vccBit, vpp, false };
}

// A Vcc or Vpp bit must never reach a data or ground pin (12-25 V on a data line).
constexpr bool LandsOnSignal(const PinMap& m, int zif32)
{
    if (zif32 == 0)
        return false;
    const int pin = PinAt(m, zif32 + 4);
    if (pin == 0)
        return false;
    for (std::uint8_t g : m.gnd) {
        if (g == pin)
            return true;
    }
    for (std::uint8_t d : m.data) {
        if (d == pin)
            return true;
    }
    return false;
}

constexpr bool RuleMasksSafe(const PinMap& m)
{
    const Masks masks = RuleMasks(m);
    if (masks.vccThroughVpp && (masks.vpp == 0 || PinAt(m, 36) != 0))
        return false; // no Vpp driver on the supply pin, or the parked Vcc bit on the chip
    for (int bit = 0; bit < 8; ++bit) {
        const auto b = static_cast<std::uint8_t>(1u << bit);
        if ((masks.vcc & b) && !masks.vccThroughVpp && LandsOnSignal(m, Zif32OfVccBit(b)))
            return false;
        if ((masks.vpp & b) && LandsOnSignal(m, Zif32OfVppBit(b)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Family templates.

struct Family {
    ClassPlacement placement = ClassPlacement::Rule;
    PinMap pins {};
    int type = 0;
    const char* mfg = "";
    const char* group = "";
    std::uint8_t vpp = 4;
    std::uint8_t vcc = 12;
    std::uint8_t writeVcc = 12;
    const char* dip = "000000000000";
    std::uint8_t switchA = 0x80;
    const char* package = "DIP32";
    int algorithm = 0;
    const char* lock = "0";
    const char* chipMode = "";
    const char* tempUnprotect = "";
    int picParam = 0;
    std::uint8_t gndSwitch = 0;
    std::uint8_t picCore = 0; // 12, 14 or 16 for the PIC families
};

// Placements in the socket (first row of pin 1 by package).
constexpr std::uint8_t kRowDip8 = 17, kRowDip8Pic = 12, kRowDip18 = 12, kRowDip20 = 11, kRowDip24 = 9, kRowDip28 = 7,
                       kRowDip32 = 5, kRowTop = 1;

// CPLD DIP settings by socket layout, from the class rows that give them.
constexpr const char* kDipSerial = "100000000000";
constexpr const char* kDip24 = "100001010000";
constexpr const char* kDip28 = "101011110000";
constexpr const char* kDip28Sram = "100011110000";
constexpr const char* kDip32 = "100011110101";
constexpr const char* kDip40 = "110011110101";
constexpr const char* kDipPic = "000000000000";

// Common pinouts.
constexpr PinMap kPins24C { 8, kRowDip8, 8, 0, { 4 }, { 5 } }; // I2C: SDA 5
constexpr PinMap kPinsSpi { 8, kRowDip8, 8, 0, { 4 }, { 2, 5 } }; // SO 2, SI 5
constexpr PinMap kPinsMicrowire { 8, kRowDip8, 8, 0, { 5 }, { 3, 4 } }; // DI 3, DO 4
constexpr PinMap kPinsAt17 { 8, kRowDip8, 8, 0, { 5 }, { 1 } }; // DATA 1
constexpr PinMap kPinsEprom24Vpp21 { 24, kRowDip24, 24, 21, { 12 }, { 9, 10, 11, 13, 14, 15, 16, 17 } };
constexpr PinMap kPinsEprom24OeVpp20 { 24, kRowDip24, 24, 20, { 12 }, { 9, 10, 11, 13, 14, 15, 16, 17 } };
constexpr PinMap kPinsEeprom24 { 24, kRowDip24, 24, 0, { 12 }, { 9, 10, 11, 13, 14, 15, 16, 17 } };
constexpr PinMap kPinsSram24 { 24, kRowDip24, 24, 20, { 12 }, { 9, 10, 11, 13, 14, 15, 16, 17 } }; // /G 20
constexpr PinMap kPinsEprom28Vpp1 { 28, kRowDip28, 28, 1, { 14 }, { 11, 12, 13, 15, 16, 17, 18, 19 } };
constexpr PinMap kPinsEprom28OeVpp22 { 28, kRowDip28, 28, 22, { 14 }, { 11, 12, 13, 15, 16, 17, 18, 19 } };
constexpr PinMap kPinsEeprom28 { 28, kRowDip28, 28, 0, { 14 }, { 11, 12, 13, 15, 16, 17, 18, 19 } };
constexpr PinMap kPinsSram28 { 28, kRowDip28, 28, 22, { 14 }, { 11, 12, 13, 15, 16, 17, 18, 19 } }; // /OE 22
constexpr PinMap kPinsEprom32Vpp1 { 32, kRowDip32, 32, 1, { 16 }, { 13, 14, 15, 17, 18, 19, 20, 21 } };
constexpr PinMap kPinsEprom32OeVpp24 { 32, kRowDip32, 32, 24, { 16 }, { 13, 14, 15, 17, 18, 19, 20, 21 } };
constexpr PinMap kPinsFlash32 { 32, kRowDip32, 32, 0, { 16 }, { 13, 14, 15, 17, 18, 19, 20, 21 } };
constexpr PinMap kPinsFlash32A9 { 32, kRowDip32, 32, 26, { 16 }, { 13, 14, 15, 17, 18, 19, 20, 21 } };
constexpr PinMap kPinsSram32 { 32, kRowDip32, 32, 24, { 16 }, { 13, 14, 15, 17, 18, 19, 20, 21 } }; // /OE 24
constexpr PinMap kPins8051Dip20 { 20, kRowDip20, 20, 1, { 10 }, { 12, 13, 14, 15, 16, 17, 18, 19 } }; // RST/VPP 1, P1
constexpr PinMap kPinsAvrDip20 { 20, kRowDip20, 20, 1, { 10 }, { 12, 13, 14, 15, 16, 17, 18, 19 } }; // RESET 1, PB0-7
constexpr PinMap kPinsAvrDip8 { 8, kRowDip8, 8, 1, { 4 }, { 5, 6, 7 } }; // RESET 1, SDI/SII/SDO
constexpr PinMap kPinsPic8 { 8, kRowDip8Pic, 1, 4, { 8 }, { 7, 6 } }; // MCLR/VPP 4, ICSPDAT 7, ICSPCLK 6
constexpr PinMap kPinsPic18 { 18, kRowDip18, 14, 4, { 5 }, { 13, 12 } }; // MCLR 4, PGD RB7 13, PGC RB6 12
constexpr PinMap kPinsPic28Top { 28, kRowTop, 20, 1, { 8, 19 }, { 28, 27 } }; // MCLR 1, PGD 28, PGC 27
constexpr PinMap kPinsPic40Top { 40, kRowTop, 32, 1, { 12, 31 }, { 40, 39 } }; // VDD 11 and 32, PGD 40, PGC 39
constexpr PinMap kPinsPic18Top { 18, kRowTop, 14, 4, { 5 }, { 13, 12 } };

constexpr Family kFactorySerial { .placement = ClassPlacement::Adapter, .type = 5, .algorithm = 482 };
constexpr Family kFactoryFlash {
    .placement = ClassPlacement::Adapter, .type = 3, .mfg = "TESTING", .algorithm = 202, .tempUnprotect = "Yes"
};

// 8051 family.
constexpr Family k8051Dip20 { .pins = kPins8051Dip20,
    .type = 4,
    .mfg = "Atmel",
    .group = "D51",
    .vpp = 6,
    .dip = kDipSerial,
    .switchA = 0xA0,
    .package = "DIP20",
    .algorithm = 214,
    .lock = "3" };
constexpr Family k8051Dip40 { .placement = ClassPlacement::Dip40,
    .type = 4,
    .mfg = "Atmel",
    .group = "D51",
    .vpp = 6,
    .dip = kDip40,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 212,
    .lock = "3" };
constexpr Family k8051Zif { .placement = ClassPlacement::Zif,
    .type = 4,
    .mfg = "Atmel",
    .group = "D51",
    .vpp = 6,
    .dip = kDip40,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 212,
    .lock = "3" };
constexpr Family k8748 { .placement = ClassPlacement::Dip40,
    .type = 4,
    .vpp = 10,
    .dip = kDip40,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 472 };

// AVR family.
constexpr Family kAvrDip20 { .pins = kPinsAvrDip20,
    .type = 4,
    .group = "D1200",
    .vpp = 6,
    .dip = kDipSerial,
    .switchA = 0xA0,
    .package = "DIP20",
    .algorithm = 225,
    .lock = "2" };
constexpr Family kAvrDip8 { .pins = kPinsAvrDip8,
    .type = 4,
    .group = "D1200",
    .vpp = 6,
    .dip = kDipSerial,
    .switchA = 0xA0,
    .package = "DIP8",
    .algorithm = 225 };
constexpr Family kAvrIsp { .placement = ClassPlacement::Isp,
    .type = 4,
    .group = "D1200",
    .dip = kDipSerial,
    .switchA = 0xA0,
    .package = "DIP20",
    .algorithm = 295,
    .chipMode = "ISP" };

// Serial memories (algorithm 0: their firmware images choose by the device packet).
constexpr Family kI2cSmall {
    .pins = kPins24C, .type = 5, .group = "D24C16", .vcc = 4, .dip = kDipSerial, .package = "DIP8"
};
constexpr Family kI2cLarge { .pins = kPins24C, .type = 5, .group = "D24C32", .dip = kDipSerial, .package = "DIP8" };
constexpr Family kAt17 {
    .pins = kPinsAt17, .type = 5, .mfg = "Atmel", .group = "DAT17", .dip = kDipSerial, .package = "DIP8"
};
constexpr Family kSpi5V { .pins = kPinsSpi, .type = 5, .group = "D25C", .dip = kDipSerial, .package = "DIP8" };
constexpr Family kSpi3V {
    .pins = kPinsSpi, .type = 5, .group = "D25C", .vcc = 4, .writeVcc = 4, .dip = kDipSerial, .package = "DIP8"
};
constexpr Family kMicrowire {
    .pins = kPinsMicrowire, .type = 5, .group = "D93C", .dip = kDipSerial, .package = "DIP8"
};
constexpr Family kOneWire {
    .placement = ClassPlacement::To92, .type = 5, .group = "DS2431", .vcc = 4, .dip = kDipSerial, .package = "TO92"
};
constexpr Family kJtag { .placement = ClassPlacement::Jtag, .type = 5 };

// EPROMs. Vpp and programming Vcc come with each row's voltage.
constexpr Family kEprom24Vpp21 {
    .pins = kPinsEprom24Vpp21, .type = 1, .dip = kDip24, .switchA = 0xA0, .package = "DIP24"
};
constexpr Family kEprom24OeVpp20 {
    .pins = kPinsEprom24OeVpp20, .type = 1, .dip = kDip24, .switchA = 0xA0, .package = "DIP24"
};
constexpr Family kEprom28Vpp1 {
    .pins = kPinsEprom28Vpp1, .type = 1, .vpp = 7, .writeVcc = 20, .dip = kDip28, .switchA = 0xA0, .package = "DIP28"
};
constexpr Family kEprom28OeVpp22 {
    .pins = kPinsEprom28OeVpp22, .type = 1, .vpp = 7, .writeVcc = 20, .dip = kDip28, .switchA = 0xA0, .package = "DIP28"
};
constexpr Family kEprom32Vpp1 {
    .pins = kPinsEprom32Vpp1, .type = 1, .vpp = 7, .writeVcc = 20, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kEprom32OeVpp24 {
    .pins = kPinsEprom32OeVpp24, .type = 1, .vpp = 7, .writeVcc = 20, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kEprom40 { .placement = ClassPlacement::Dip40,
    .type = 1,
    .vpp = 7,
    .writeVcc = 20,
    .dip = kDip40,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 217 };
constexpr Family kEpromAdapter { .placement = ClassPlacement::Adapter,
    .type = 1,
    .vpp = 7,
    .writeVcc = 20,
    .dip = kDip32,
    .switchA = 0xA0,
    .package = "DIP32" };

// Flash, parallel EEPROM and the SST many-time-programmable parts.
constexpr Family kFlash40 { .placement = ClassPlacement::Dip40,
    .type = 3,
    .vpp = 6,
    .dip = kDip40,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 243 };
constexpr Family kSst27Sf28 {
    .pins = kPinsEprom28Vpp1, .type = 3, .vpp = 6, .dip = kDip28, .switchA = 0xA0, .package = "DIP28", .algorithm = 228
};
constexpr Family kSst27Sf28OeVpp22 { .pins = kPinsEprom28OeVpp22,
    .type = 3,
    .vpp = 6,
    .dip = kDip28,
    .switchA = 0xA0,
    .package = "DIP28",
    .algorithm = 228 };
constexpr Family kSst27Sf32 { .pins = kPinsEprom32Vpp1,
    .type = 3,
    .mfg = "SST",
    .vpp = 6,
    .dip = kDip32,
    .switchA = 0xA0,
    .package = "DIP32",
    .algorithm = 228 };
constexpr Family kEeprom24 { .pins = kPinsEeprom24, .type = 3, .dip = kDip24, .switchA = 0xA0, .package = "DIP24" };
constexpr Family kEeprom28 { .pins = kPinsEeprom28, .type = 3, .dip = kDip28, .switchA = 0xA0, .package = "DIP28" };
constexpr Family kFlash32 { .pins = kPinsFlash32, .type = 3, .dip = kDip32, .switchA = 0xA0, .package = "DIP32" };
constexpr Family kFlash32Low {
    .pins = kPinsFlash32, .type = 3, .vcc = 4, .writeVcc = 4, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kFlash32A9 {
    .pins = kPinsFlash32A9, .type = 3, .vpp = 6, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kFlash32Vpp {
    .pins = kPinsEprom32Vpp1, .type = 3, .vpp = 6, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kFlashAdapter {
    .placement = ClassPlacement::Adapter, .type = 3, .vpp = 6, .dip = kDip32, .switchA = 0xA0, .package = "DIP32"
};
constexpr Family kFlashAdapterLow { .placement = ClassPlacement::Adapter,
    .type = 3,
    .vpp = 6,
    .vcc = 4,
    .writeVcc = 4,
    .dip = kDip32,
    .switchA = 0xA0,
    .package = "DIP32" };
constexpr Family kSst39 { .pins = kPinsFlash32,
    .type = 3,
    .mfg = "SST",
    .vcc = 4,
    .writeVcc = 4,
    .dip = kDip32,
    .switchA = 0xA0,
    .package = "DIP32",
    .algorithm = 180 };

// Non-volatile SRAM: /OE takes the Vpp driver's 5 V.
constexpr Family kSram24 { .pins = kPinsSram24, .type = 6, .dip = kDip24, .switchA = 0xA0, .package = "DIP24" };
constexpr Family kSram28 { .pins = kPinsSram28, .type = 6, .dip = kDip28Sram, .switchA = 0xA0, .package = "DIP28" };
constexpr Family kSram32 { .pins = kPinsSram32, .type = 6, .dip = kDip32, .switchA = 0xA0, .package = "DIP32" };
constexpr Family kSramAdapter { .placement = ClassPlacement::Adapter,
    .type = 6,
    .vcc = 4,
    .writeVcc = 4,
    .dip = kDip32,
    .switchA = 0xA0,
    .package = "DIP32" };

// PIC microcontrollers.
constexpr Family kPic12 { .pins = kPinsPic8,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 7,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "PIC12F50X",
    .algorithm = 220,
    .picParam = 10,
    .gndSwitch = 0x40,
    .picCore = 12 };
constexpr Family kPic14Dip18 { .pins = kPinsPic18,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 7,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "DIP18",
    .algorithm = 220,
    .picParam = 16,
    .gndSwitch = 0x80,
    .picCore = 14 };
constexpr Family kPic14Dip28 { .pins = kPinsPic28Top,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 7,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "DIP28",
    .algorithm = 220,
    .picParam = 16,
    .gndSwitch = 0x80,
    .picCore = 14 };
constexpr Family kPic14Dip40 { .pins = kPinsPic40Top,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 7,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "DIP40",
    .algorithm = 220,
    .picParam = 16,
    .gndSwitch = 0x80,
    .picCore = 14 };
constexpr Family kPic18Dip28 { .pins = kPinsPic28Top,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 6,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "DIP28",
    .algorithm = 325,
    .picParam = 8,
    .gndSwitch = 0x80,
    .picCore = 16 };
constexpr Family kPic18Dip18 { .pins = kPinsPic18Top,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 6,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "DIP18",
    .algorithm = 326,
    .picParam = 8,
    .gndSwitch = 0x80,
    .picCore = 16 };
constexpr Family kPic18Adapter { .placement = ClassPlacement::Adapter,
    .type = 4,
    .mfg = "Microchip",
    .group = "DETINY22",
    .vpp = 4,
    .vcc = 4,
    .writeVcc = 4,
    .dip = kDipPic,
    .switchA = 0xA0,
    .package = "TQFP64",
    .algorithm = 318,
    .picParam = 8,
    .gndSwitch = 0x80,
    .picCore = 16 };

constexpr std::array<const Family*, 49> kAllFamilies { &kFactorySerial, &kFactoryFlash, &k8051Dip20, &k8051Dip40,
    &k8051Zif, &k8748, &kAvrDip20, &kAvrDip8, &kAvrIsp, &kI2cSmall, &kI2cLarge, &kAt17, &kSpi5V, &kSpi3V, &kMicrowire,
    &kOneWire, &kJtag, &kEprom24Vpp21, &kEprom24OeVpp20, &kEprom28Vpp1, &kEprom28OeVpp22, &kEprom32Vpp1,
    &kEprom32OeVpp24, &kEprom40, &kEpromAdapter, &kFlash40, &kSst27Sf28, &kSst27Sf28OeVpp22, &kSst27Sf32, &kEeprom24,
    &kEeprom28, &kFlash32, &kFlash32Low, &kFlash32A9, &kFlash32Vpp, &kFlashAdapter, &kFlashAdapterLow, &kSst39,
    &kSram24, &kSram28, &kSram32, &kSramAdapter, &kPic12, &kPic14Dip18, &kPic14Dip28, &kPic14Dip40, &kPic18Dip28,
    &kPic18Dip18, &kPic18Adapter };

constexpr bool AllRuleFamiliesSafe()
{
    for (const Family* f : kAllFamilies) {
        if (f->placement == ClassPlacement::Rule && !RuleMasksSafe(f->pins))
            return false;
    }
    return true;
}
static_assert(AllRuleFamiliesSafe(), "a Vcc or Vpp driver would reach a data or ground pin");

// ---------------------------------------------------------------------------------------------
// Class rows. Fields left out take the family's value; -1 / nullptr mean "the family's".

struct Row {
    int index = 0;
    const char* name = "";
    const Family* family = nullptr;
    int code = 0;
    int data = 0;
    const char* id = nullptr; // signature text; nullptr keeps "1E9005"
    int alg = -1;
    int vpp = -1;
    int vcc = -1;
    int wvcc = -1;
    int evcc = -1;
    const char* mfg = nullptr;
    const char* group = nullptr;
    const char* lock = nullptr;
    const char* fuses = nullptr;
    const char* package = nullptr;
    const char* message = nullptr;
    const char* tempUnprotect = nullptr;
    int switchA = -1;
    int busWidth = 0;
    bool wide16 = false; // buffer mode "16BIT"
    const char* fw = nullptr;
    int fwNo = 0;
    const char* fwQ8U = nullptr;
    int fwNoQ8U = 0;
};

constexpr const char* kExternalPower
    = "External power needed if write fail.\r\nSee Help for power adapter specification.";
constexpr const char* kBootBlockResistor = "Fit a 2K to 10K resistor between chip pins 1 and 30 before programming.\r\n"
                                           "The PLCC32 package needs a special adapter.\r\n"
                                           "The README of the device lists shows the wiring.";

constexpr const char* kFusesTiny2313 = "DWEN EESAVE SPIEN WDTON BODLEVEL2 BODLEVEL1 BODLEVEL0 RSTDISBL CKDIV8 CKOUT "
                                       "SUT1 SUT0 CKSEL3 CKSEL2 CKSEL1 CKSEL0 - - - - - - - SELFPRGEN -";
constexpr const char* kFusesS2313 = "- - - - - - - - - - SPIEN - - - - FSTRT - - - - - - - - -";
constexpr const char* kFusesS2343 = "- - - - - - - - - - SPIEN - - - - RCEN - - - - - - - - -";
constexpr const char* kFusesTiny12
    = "- - - - - - - - BODLEVEL BODEN SPIEN RSTDISBL CKSEL3 CKSEL2 CKSEL1 CKSEL0 - - - - - - - - -";
constexpr const char* kFusesTiny15
    = "- - - - - - - - BODLEVEL BODEN SPIEN RSTDISBL - - CKSEL1 CKSEL0 - - - - - - - - -";
constexpr const char* kFusesMega16 = "OCDEN JTAGEN SPIEN CKOPT EESAVE BOOTSZ1 BOOTSZ0 BOOTRST BODLEVEL BODEN SUT1 "
                                     "SUT0 CKSEL3 CKSEL2 CKSEL1 CKSEL0 - - - - - - - - -";

// Firmware ids of the classes whose programmer configuration is not the default.
constexpr const char* kFw8051Zif = "15071900"; // 420
constexpr const char* kFwZvD51 = "15021000"; // 463
constexpr const char* kFwAvr = "15082400"; // 466
constexpr const char* kFw8748 = "15112600"; // 471
constexpr const char* kFwPic = "15060700"; // 442
constexpr const char* kFwPic18 = "15091900"; // 443

// clang-format off
constexpr Row kRows[] = {
    // Factory test fixtures and programmer jigs.
    {.index = 0, .name = "MERROW_EPM3128_TEST", .family = &kFactorySerial, .code = 1024, .group = "D24C16", .fw = "00170303", .fwNo = 482},
    {.index = 1, .name = "MERROW_EPM3128_TEST_Reversed", .family = &kFactorySerial, .code = 1024, .group = "D24C16", .fw = "00170314", .fwNo = 482},
    {.index = 2, .name = "TESTING", .family = &kFactoryFlash, .code = 1024},
    {.index = 3, .name = "JIG_087V2", .family = &kFactorySerial, .code = 1024, .vcc = 15, .wvcc = 15, .fw = "00170303", .fwNo = 482},
    {.index = 4, .name = "JIG_086", .family = &kFactorySerial, .code = 1024, .vcc = 15, .wvcc = 15, .fw = "00170909", .fwNo = 488},

    // 8051 family.
    {.index = 6, .name = "AT89C2051", .family = &k8051Dip20, .code = 2048, .id = "1E21FF"},
    {.index = 7, .name = "AT89C4051", .family = &k8051Dip20, .code = 4096, .id = "1E41FF"},
    {.index = 8, .name = "AT89C51", .family = &k8051Dip40, .code = 4096, .id = "1E51FF"},
    {.index = 9, .name = "AT89C52", .family = &k8051Dip40, .code = 8192, .id = "1E52FF"},
    {.index = 10, .name = "AT89C55WD", .family = &k8051Dip40, .code = 20480, .id = "1E55FF"},
    {.index = 11, .name = "AT89S51", .family = &k8051Dip40, .code = 4096, .id = "1E5106"},
    {.index = 12, .name = "AT89S52", .family = &k8051Dip40, .code = 8192, .id = "1E5206"},
    {.index = 13, .name = "AT89S53", .family = &k8051Dip40, .code = 12288},
    {.index = 14, .name = "P87C5X", .family = &k8051Dip40, .code = 4096, .vpp = 7, .mfg = "Philips"},
    {.index = 15, .name = "AT89C51RC", .family = &k8051Dip40, .code = 32768},
    {.index = 16, .name = "AT89C51_ZIF", .family = &k8051Zif, .code = 4096, .id = "1E51FF", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 17, .name = "AT89C52_ZIF", .family = &k8051Zif, .code = 8192, .id = "1E52FF", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 18, .name = "AT89C55WD_ZIF", .family = &k8051Zif, .code = 20480, .id = "1E55FF", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 19, .name = "AT89S51_ZIF", .family = &k8051Zif, .code = 4096, .id = "1E5106", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 20, .name = "AT89S52_ZIF", .family = &k8051Zif, .code = 8192, .id = "1E5206", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 21, .name = "AT89S53_ZIF", .family = &k8051Zif, .code = 12288, .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 22, .name = "P87C5X_ZIF", .family = &k8051Zif, .code = 4096, .vpp = 7, .mfg = "Philips", .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 23, .name = "AT89C51RC_ZIF", .family = &k8051Zif, .code = 32768, .fw = kFw8051Zif, .fwNo = 420, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 24, .name = "AT89S8252", .family = &k8051Dip40, .code = 8192, .data = 2048},

    // AVR family.
    {.index = 25, .name = "AT90S1200", .family = &kAvrDip20, .code = 1024, .data = 64, .id = "1E9001", .fuses = kFusesTiny2313, .fw = kFwAvr, .fwNo = 466},
    {.index = 26, .name = "AT90S2313", .family = &kAvrDip20, .code = 2048, .data = 128, .id = "1E9101", .fuses = kFusesS2313, .fw = kFwAvr, .fwNo = 466},
    {.index = 27, .name = "ATTINY2313", .family = &kAvrDip20, .code = 2048, .data = 128, .id = "1E910A", .fuses = kFusesTiny2313, .fw = kFwAvr, .fwNo = 466},
    {.index = 28, .name = "AT90S2343", .family = &kAvrDip8, .code = 2048, .data = 128, .id = "1E9103", .fuses = kFusesS2343},
    {.index = 29, .name = "TINY12", .family = &kAvrDip8, .code = 1024, .data = 64, .id = "1E9005", .fuses = kFusesTiny12},
    {.index = 30, .name = "TINY15", .family = &kAvrDip8, .code = 1024, .data = 64, .id = "1E9006", .fuses = kFusesTiny15},
    {.index = 31, .name = "ATTINY22", .family = &kAvrDip8, .code = 2048, .data = 128, .id = "1E9106", .fuses = kFusesS2343},
    {.index = 32, .name = "AVRISP", .family = &kAvrIsp, .code = 2048, .data = 128, .id = "1E9101"},
    {.index = 35, .name = "ATTINY2313AVRISP", .family = &kAvrIsp, .code = 2048, .data = 128, .id = "1E910A", .fuses = kFusesTiny2313},
    {.index = 37, .name = "ATMEGA16AVRISP", .family = &kAvrIsp, .code = 16384, .data = 512, .id = "1E9403", .fuses = kFusesMega16, .package = "DIP40"},

    // I2C EEPROMs.
    {.index = 40, .name = "SDE2526", .family = &kI2cSmall, .code = 128, .vcc = 12, .mfg = "Siemens"},
    {.index = 41, .name = "24C00", .family = &kI2cSmall, .code = 16, .vcc = 12},
    {.index = 42, .name = "24C01", .family = &kI2cSmall, .code = 128},
    {.index = 43, .name = "PCF8582", .family = &kI2cSmall, .code = 256, .mfg = "Philips"},
    {.index = 44, .name = "24C02", .family = &kI2cSmall, .code = 256},
    {.index = 45, .name = "PCF8594", .family = &kI2cSmall, .code = 512, .mfg = "Philips"},
    {.index = 46, .name = "24C04", .family = &kI2cSmall, .code = 512},
    {.index = 47, .name = "24C08", .family = &kI2cSmall, .code = 1024},
    {.index = 48, .name = "24C16", .family = &kI2cSmall, .code = 2048},
    {.index = 49, .name = "24C32", .family = &kI2cLarge, .code = 4096},
    {.index = 50, .name = "24C64", .family = &kI2cLarge, .code = 8192},
    {.index = 51, .name = "24C128", .family = &kI2cLarge, .code = 16384},
    {.index = 52, .name = "24C256", .family = &kI2cLarge, .code = 32768},
    {.index = 53, .name = "24C512", .family = &kI2cLarge, .code = 65536},
    {.index = 54, .name = "24C1024", .family = &kI2cLarge, .code = 131072},
    {.index = 55, .name = "24AA1025", .family = &kI2cLarge, .code = 131072, .mfg = "Microchip"},
    {.index = 56, .name = "ATMLH942", .family = &kI2cSmall, .code = 256, .mfg = "Atmel"},
    {.index = 57, .name = "AT24C512_Address001", .family = &kI2cLarge, .code = 65536, .mfg = "Atmel"},
    {.index = 58, .name = "AT24RF08", .family = &kI2cSmall, .code = 1024, .mfg = "Atmel"},
    {.index = 59, .name = "X24C00", .family = &kI2cSmall, .code = 16, .vcc = 12, .mfg = "Xicor"},

    // Serial configuration PROMs.
    {.index = 60, .name = "AT17LV65", .family = &kAt17, .code = 8192},
    {.index = 61, .name = "AT17LV128", .family = &kAt17, .code = 16384},
    {.index = 62, .name = "AT17LV256", .family = &kAt17, .code = 32768},
    {.index = 63, .name = "AT17LV512", .family = &kAt17, .code = 65536},
    {.index = 64, .name = "AT17LV010", .family = &kAt17, .code = 131072},
    {.index = 65, .name = "AT17LV002", .family = &kAt17, .code = 262144},
    {.index = 66, .name = "AT17LV040", .family = &kAt17, .code = 524288},

    // SPI EEPROMs and flash.
    {.index = 67, .name = "25C010", .family = &kSpi5V, .code = 128},
    {.index = 68, .name = "25C020", .family = &kSpi5V, .code = 256},
    {.index = 69, .name = "25C040", .family = &kSpi5V, .code = 512},
    {.index = 70, .name = "ST95P08", .family = &kSpi5V, .code = 1024, .mfg = "ST"},
    {.index = 71, .name = "25C080", .family = &kSpi5V, .code = 1024},
    {.index = 72, .name = "25C160", .family = &kSpi5V, .code = 2048},
    {.index = 73, .name = "25C320", .family = &kSpi5V, .code = 4096},
    {.index = 74, .name = "25C640", .family = &kSpi5V, .code = 8192},
    {.index = 75, .name = "AT25128", .family = &kSpi5V, .code = 16384, .mfg = "Atmel"},
    {.index = 76, .name = "AT25256", .family = &kSpi5V, .code = 32768, .mfg = "Atmel"},
    {.index = 77, .name = "AT25512", .family = &kSpi5V, .code = 65536, .mfg = "Atmel"},
    {.index = 78, .name = "AT25HP256", .family = &kSpi5V, .code = 32768, .mfg = "Atmel"},
    {.index = 79, .name = "AT25HP512", .family = &kSpi5V, .code = 65536, .mfg = "Atmel"},
    {.index = 80, .name = "AT25F512", .family = &kSpi3V, .code = 65536, .mfg = "Atmel"},
    {.index = 81, .name = "AT25F1024", .family = &kSpi3V, .code = 131072, .mfg = "Atmel"},
    {.index = 82, .name = "AT25F2048", .family = &kSpi3V, .code = 262144, .mfg = "Atmel"},
    {.index = 83, .name = "AT25F4096", .family = &kSpi3V, .code = 524288, .mfg = "Atmel"},
    {.index = 84, .name = "AT25FS010", .family = &kSpi3V, .code = 131072, .mfg = "Atmel"},
    {.index = 85, .name = "SST25VF020", .family = &kSpi3V, .code = 262144, .mfg = "SST"},
    {.index = 86, .name = "SST25VF040B", .family = &kSpi3V, .code = 524288, .mfg = "SST"},
    {.index = 87, .name = "W25X10", .family = &kSpi3V, .code = 131072, .mfg = "Winbond"},
    {.index = 88, .name = "AT25DF041A", .family = &kSpi3V, .code = 524288, .mfg = "Atmel"},
    {.index = 89, .name = "Pm25LV512", .family = &kSpi3V, .code = 65536, .mfg = "PMC"},
    {.index = 90, .name = "W25X10_FAST", .family = &kSpi3V, .code = 131072, .mfg = "Winbond"},
    {.index = 91, .name = "W25Q256", .family = &kSpi3V, .code = 33554432, .mfg = "Winbond"},
    {.index = 92, .name = "W25Q256_Quad", .family = &kSpi3V, .code = 33554432, .mfg = "Winbond"},
    {.index = 93, .name = "M35080VP", .family = &kSpi5V, .code = 1024, .mfg = "ST"},

    // Microwire EEPROMs: A = 8-bit organisation, B = 16-bit.
    {.index = 94, .name = "93C06A_8Bit", .family = &kMicrowire, .code = 32},
    {.index = 95, .name = "93C46A_8Bit", .family = &kMicrowire, .code = 128},
    {.index = 96, .name = "93C56A_8Bit", .family = &kMicrowire, .code = 256},
    {.index = 97, .name = "93C57A_8Bit", .family = &kMicrowire, .code = 256},
    {.index = 98, .name = "93C66A_8Bit", .family = &kMicrowire, .code = 512},
    {.index = 99, .name = "93C76A_8Bit", .family = &kMicrowire, .code = 1024},
    {.index = 100, .name = "93C86A_8Bit", .family = &kMicrowire, .code = 2048},
    {.index = 101, .name = "93C06B_16Bit", .family = &kMicrowire, .code = 32},
    {.index = 102, .name = "93C46B_16Bit", .family = &kMicrowire, .code = 128},
    {.index = 103, .name = "93C56B_16Bit", .family = &kMicrowire, .code = 256},
    {.index = 104, .name = "93C57B_16Bit", .family = &kMicrowire, .code = 256},
    {.index = 105, .name = "93C66B_16Bit", .family = &kMicrowire, .code = 512},
    {.index = 106, .name = "93C76B_16Bit", .family = &kMicrowire, .code = 1024},
    {.index = 107, .name = "93C86B_16Bit", .family = &kMicrowire, .code = 2048},
    {.index = 108, .name = "CAT24C44_16bit", .family = &kMicrowire, .code = 32, .mfg = "Catalyst"},
    {.index = 109, .name = "L56RA", .family = &kMicrowire, .code = 256},
    {.index = 110, .name = "L56RB", .family = &kMicrowire, .code = 256},
    {.index = 111, .name = "RA57", .family = &kMicrowire, .code = 256},
    {.index = 112, .name = "BR9010", .family = &kMicrowire, .code = 128, .mfg = "Rohm"},
    {.index = 113, .name = "M93S46", .family = &kMicrowire, .code = 128, .mfg = "ST"},
    {.index = 114, .name = "M93S56", .family = &kMicrowire, .code = 256, .mfg = "ST"},
    {.index = 115, .name = "S29430", .family = &kMicrowire, .code = 512, .mfg = "Seiko"},
    {.index = 116, .name = "16951_8BIT", .family = &kMicrowire, .code = 256},
    {.index = 117, .name = "16951_16BIT", .family = &kMicrowire, .code = 256},

    // EPROMs: 24-pin, Vpp on pin 21 (2716 pinout) or on /OE (2732 pinout).
    {.index = 118, .name = "2508(25V Vpp)", .family = &kEprom24Vpp21, .code = 1024, .alg = 234, .vpp = 11},
    {.index = 119, .name = "2516(25V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 234, .vpp = 11},
    {.index = 120, .name = "2532(25V Vpp)", .family = &kEprom24Vpp21, .code = 4096, .alg = 234, .vpp = 11},
    {.index = 121, .name = "2564(25V Vpp)", .family = &kEprom28Vpp1, .code = 8192, .alg = 234, .vpp = 11, .wvcc = 12},
    {.index = 122, .name = "27C16(12.7V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 7, .wvcc = 20},
    {.index = 123, .name = "27C16(21V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 10},
    {.index = 124, .name = "27C16(25V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 11},
    {.index = 125, .name = "27C32(12.7V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 7, .wvcc = 20},
    {.index = 126, .name = "27C32(21V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 10},
    {.index = 127, .name = "27C32(25V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 11},
    {.index = 128, .name = "27C64", .family = &kEprom28Vpp1, .code = 8192, .alg = 164},
    {.index = 129, .name = "27C128", .family = &kEprom28Vpp1, .code = 16384, .alg = 164},
    {.index = 130, .name = "27C256", .family = &kEprom28Vpp1, .code = 32768, .alg = 164},
    {.index = 131, .name = "27C512", .family = &kEprom28OeVpp22, .code = 65536, .alg = 164},
    {.index = 132, .name = "27C010", .family = &kEprom32Vpp1, .code = 131072, .alg = 164},
    {.index = 133, .name = "27C020", .family = &kEprom32Vpp1, .code = 262144, .alg = 164},
    {.index = 134, .name = "27C040", .family = &kEprom32Vpp1, .code = 524288, .alg = 164},
    {.index = 135, .name = "27C080", .family = &kEprom32OeVpp24, .code = 1048576, .alg = 164},
    {.index = 136, .name = "2716(12.7V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 7, .wvcc = 20, .message = kExternalPower},
    {.index = 137, .name = "2716(21V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 10, .message = kExternalPower},
    {.index = 138, .name = "2716(25V Vpp)", .family = &kEprom24Vpp21, .code = 2048, .alg = 164, .vpp = 11, .message = kExternalPower},
    {.index = 139, .name = "2732(12.7V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 7, .wvcc = 20, .message = kExternalPower},
    {.index = 140, .name = "2732(21V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 10, .wvcc = 15, .message = kExternalPower},
    {.index = 141, .name = "2732(25V Vpp)", .family = &kEprom24OeVpp20, .code = 4096, .alg = 164, .vpp = 11, .message = kExternalPower},
    {.index = 142, .name = "2764(12.7V Vpp)", .family = &kEprom28Vpp1, .code = 8192, .alg = 164},
    {.index = 143, .name = "2764(21V Vpp)", .family = &kEprom28Vpp1, .code = 8192, .alg = 164, .vpp = 10, .wvcc = 12},
    {.index = 144, .name = "2764(25V Vpp)", .family = &kEprom28Vpp1, .code = 8192, .alg = 164, .vpp = 11, .wvcc = 12},
    {.index = 145, .name = "27128(12.7V Vpp)", .family = &kEprom28Vpp1, .code = 16384, .alg = 164},
    {.index = 146, .name = "27128(21V Vpp)", .family = &kEprom28Vpp1, .code = 16384, .alg = 164, .vpp = 10, .wvcc = 12},
    {.index = 147, .name = "27256", .family = &kEprom28Vpp1, .code = 32768, .alg = 164, .vpp = 7},
    {.index = 148, .name = "27512", .family = &kEprom28OeVpp22, .code = 65536, .alg = 164, .vpp = 7},
    {.index = 149, .name = "27010", .family = &kEprom32Vpp1, .code = 131072, .alg = 164, .vpp = 7},
    {.index = 150, .name = "27020", .family = &kEprom32Vpp1, .code = 262144, .alg = 164, .vpp = 7},
    {.index = 151, .name = "27040", .family = &kEprom32Vpp1, .code = 524288, .alg = 164, .vpp = 7},
    {.index = 152, .name = "HN27C101", .family = &kEprom32Vpp1, .code = 131072, .alg = 164, .vpp = 7, .mfg = "Hitachi"},
    {.index = 153, .name = "HD6475348", .family = &kEpromAdapter, .code = 32768, .alg = 164, .vpp = 7, .mfg = "Hitachi"},
    {.index = 154, .name = "HD6475368", .family = &kEpromAdapter, .code = 65536, .alg = 164, .vpp = 7, .mfg = "Hitachi"},
    {.index = 155, .name = "HN58C1001", .family = &kFlash32, .code = 131072, .alg = 300, .mfg = "Hitachi"},
    {.index = 156, .name = "27C301", .family = &kEprom32Vpp1, .code = 131072, .alg = 235},
    {.index = 157, .name = "D87C64", .family = &kEprom28Vpp1, .code = 8192, .alg = 347, .mfg = "Intel"},
    {.index = 158, .name = "27C256R", .family = &kEprom28Vpp1, .code = 32768, .alg = 164},
    {.index = 159, .name = "27513", .family = &kEprom28Vpp1, .code = 65536, .alg = 164, .vpp = 7},
    {.index = 160, .name = "27011", .family = &kEprom28Vpp1, .code = 131072, .alg = 164, .vpp = 7},
    {.index = 161, .name = "27C1024", .family = &kEprom40, .code = 131072, .wide16 = true},
    {.index = 163, .name = "27C4096", .family = &kEprom40, .code = 524288, .wide16 = true},
    {.index = 165, .name = "27C800", .family = &kEpromAdapter, .code = 1048576, .alg = 217, .wide16 = true},
    {.index = 167, .name = "27C322", .family = &kEpromAdapter, .code = 4194304, .alg = 217},
    {.index = 168, .name = "27C4002", .family = &kEprom40, .code = 524288, .wide16 = true},
    {.index = 169, .name = "28F102", .family = &kFlash40, .code = 131072, .wide16 = true},
    {.index = 170, .name = "MX29L1611G", .family = &kEpromAdapter, .code = 2097152, .alg = 217, .vpp = 6, .vcc = 4, .wvcc = 4, .mfg = "Macronix", .wide16 = true},
    {.index = 171, .name = "MX29F1615", .family = &kEpromAdapter, .code = 2097152, .alg = 217, .vpp = 6, .wvcc = 12, .mfg = "Macronix", .wide16 = true},
    {.index = 172, .name = "87C257", .family = &kEprom28Vpp1, .code = 32768, .alg = 237},
    {.index = 173, .name = "MBM27C1028", .family = &kEprom40, .code = 131072, .alg = 294, .vpp = 7, .mfg = "Fujitsu"},
    {.index = 174, .name = "TMS87C510", .family = &kEpromAdapter, .code = 65536, .alg = 320, .mfg = "TI"},

    // SST many-time-programmable flash (EPROM pinout, 12 V Vpp).
    {.index = 175, .name = "27SF256", .family = &kSst27Sf28, .code = 32768},
    {.index = 176, .name = "27SF512", .family = &kSst27Sf28OeVpp22, .code = 65536},
    {.index = 177, .name = "27SF010", .family = &kSst27Sf32, .code = 131072},
    {.index = 178, .name = "27SF020", .family = &kSst27Sf32, .code = 262144},
    {.index = 179, .name = "27SF040", .family = &kSst27Sf32, .code = 524288},

    // Parallel EEPROMs and 5 V page-write flash.
    {.index = 180, .name = "AT28C16", .family = &kEeprom24, .code = 2048, .alg = 177, .mfg = "Atmel"},
    {.index = 181, .name = "AT28C512", .family = &kFlash32, .code = 65536, .alg = 164, .mfg = "Atmel"},
    {.index = 182, .name = "AT28C010", .family = &kFlash32, .code = 131072, .alg = 164, .mfg = "Atmel"},
    {.index = 186, .name = "AT29C256", .family = &kEeprom28, .code = 32768, .alg = 179, .mfg = "Atmel", .switchA = 0xC0},
    {.index = 187, .name = "AT29C512", .family = &kFlash32, .code = 65536, .alg = 179, .mfg = "Atmel"},
    {.index = 188, .name = "AT29C010", .family = &kFlash32, .code = 131072, .alg = 179, .mfg = "Atmel"},
    {.index = 189, .name = "AT29C020", .family = &kFlash32, .code = 262144, .alg = 179, .mfg = "Atmel"},
    {.index = 190, .name = "AT29C040A", .family = &kFlash32, .code = 524288, .alg = 179, .mfg = "Atmel"},
    {.index = 191, .name = "AT29C040", .family = &kFlash32, .code = 524288, .alg = 179, .mfg = "Atmel"},
    {.index = 192, .name = "W29EE010", .family = &kFlash32, .code = 131072, .alg = 179, .mfg = "Winbond"},
    {.index = 193, .name = "W29EE011", .family = &kFlash32, .code = 131072, .alg = 179, .mfg = "Winbond"},
    {.index = 194, .name = "W29EE020", .family = &kFlash32, .code = 262144, .alg = 179, .mfg = "Winbond"},
    {.index = 195, .name = "SST29EE010", .family = &kFlash32, .code = 131072, .alg = 179, .mfg = "SST"},
    {.index = 196, .name = "SST29EE020", .family = &kFlash32, .code = 262144, .alg = 179, .mfg = "SST"},

    // 5 V flash with sector protection (A9 at 12 V reads the ID and unprotects).
    {.index = 197, .name = "MX29F040", .family = &kFlash32A9, .code = 524288, .alg = 169, .mfg = "Macronix"},
    {.index = 198, .name = "29F512", .family = &kFlash32A9, .code = 65536, .alg = 169},
    {.index = 199, .name = "29F010", .family = &kFlash32A9, .code = 131072, .alg = 169},
    {.index = 200, .name = "29F020B", .family = &kFlash32A9, .code = 262144, .alg = 169},
    {.index = 201, .name = "29F020T", .family = &kFlash32A9, .code = 262144, .alg = 169},
    {.index = 202, .name = "29F040B", .family = &kFlash32A9, .code = 524288, .alg = 169},

    // Flash on adapters, firmware hubs and boot-block flash.
    {.index = 203, .name = "M29F080B", .family = &kFlashAdapter, .code = 1048576, .alg = 346, .mfg = "ST"},
    {.index = 204, .name = "PA28F008S", .family = &kFlashAdapter, .code = 1048576, .alg = 346, .mfg = "Intel"},
    {.index = 205, .name = "SST28VF040", .family = &kFlash32Low, .code = 524288, .alg = 340, .mfg = "SST"},
    {.index = 206, .name = "49LF002", .family = &kFlashAdapterLow, .code = 262144, .alg = 215, .mfg = "SST"},
    {.index = 209, .name = "49LF003", .family = &kFlashAdapterLow, .code = 393216, .alg = 215, .mfg = "SST"},
    {.index = 218, .name = "SST49LF080A", .family = &kFlashAdapterLow, .code = 1048576, .alg = 248, .mfg = "SST"},
    {.index = 219, .name = "SST39VF1601", .family = &kFlashAdapter, .code = 2097152, .alg = 254, .mfg = "SST", .busWidth = 2},
    {.index = 220, .name = "INTEL82802AB", .family = &kFlashAdapterLow, .code = 524288, .alg = 216, .mfg = "Intel"},
    {.index = 222, .name = "M50FW016", .family = &kFlashAdapterLow, .code = 2097152, .alg = 216, .mfg = "ST"},
    {.index = 223, .name = "INTEL28F001BX-B", .family = &kFlash32Vpp, .code = 131072, .alg = 224, .mfg = "Intel", .message = kBootBlockResistor},
    {.index = 224, .name = "INTEL28F001BX-T", .family = &kFlash32Vpp, .code = 131072, .alg = 224, .mfg = "Intel", .message = kBootBlockResistor},
    {.index = 225, .name = "INTEL28F200BX-B", .family = &kFlashAdapter, .code = 262144, .alg = 223, .mfg = "Intel"},
    {.index = 226, .name = "INTEL28F200BX-T", .family = &kFlashAdapter, .code = 262144, .alg = 223, .mfg = "Intel"},
    {.index = 227, .name = "INTEL28F400BX-B", .family = &kFlashAdapter, .code = 524288, .alg = 223, .mfg = "Intel"},
    {.index = 228, .name = "INTEL28F400BX-T", .family = &kFlashAdapter, .code = 524288, .alg = 223, .mfg = "Intel"},
    {.index = 229, .name = "INTEL28F800BX-B", .family = &kFlashAdapter, .code = 1048576, .alg = 223, .mfg = "Intel"},
    {.index = 230, .name = "INTEL28F800BX-T", .family = &kFlashAdapter, .code = 1048576, .alg = 223, .mfg = "Intel"},
    {.index = 231, .name = "TE28F160C3T", .family = &kFlashAdapterLow, .code = 2097152, .alg = 244, .mfg = "Intel", .busWidth = 2},
    {.index = 232, .name = "TE28F160C3B", .family = &kFlashAdapterLow, .code = 2097152, .alg = 244, .mfg = "Intel", .busWidth = 2},
    {.index = 233, .name = "LHF00L13", .family = &kFlashAdapterLow, .code = 2097152, .alg = 244, .mfg = "Sharp", .busWidth = 2},
    {.index = 234, .name = "TE28F320C3T", .family = &kFlashAdapterLow, .code = 4194304, .alg = 329, .mfg = "Intel", .busWidth = 2},
    {.index = 235, .name = "TE28F320C3B", .family = &kFlashAdapterLow, .code = 4194304, .alg = 329, .mfg = "Intel", .busWidth = 2},
    {.index = 236, .name = "LH28F160_56Pin", .family = &kFlashAdapter, .code = 2097152, .alg = 470, .vpp = 4, .mfg = "Sharp"},
    {.index = 237, .name = "E28F016_56Pin", .family = &kFlashAdapter, .code = 2097152, .alg = 470, .mfg = "Intel"},

    // 3 V and 5 V JEDEC flash with software ID.
    {.index = 238, .name = "SST39LF/VF512", .family = &kSst39, .code = 65536},
    {.index = 239, .name = "SST39LF/VF010", .family = &kSst39, .code = 131072},
    {.index = 240, .name = "SST39LF/VF020", .family = &kSst39, .code = 262144},
    {.index = 241, .name = "SST39LF/VF040", .family = &kSst39, .code = 524288},
    {.index = 242, .name = "W49F002U", .family = &kFlash32, .code = 262144, .alg = 180, .mfg = "Winbond"},

    // 12 V flash (Vpp on pin 1).
    {.index = 243, .name = "28F64", .family = &kFlash32Vpp, .code = 8192, .alg = 182},
    {.index = 244, .name = "28F128", .family = &kFlash32Vpp, .code = 16384, .alg = 182},
    {.index = 246, .name = "28F512", .family = &kFlash32Vpp, .code = 65536, .alg = 182},
    {.index = 247, .name = "28F010", .family = &kFlash32Vpp, .code = 131072, .alg = 182},
    {.index = 248, .name = "28F020", .family = &kFlash32Vpp, .code = 262144, .alg = 182},
    {.index = 249, .name = "28F040", .family = &kFlash32Vpp, .code = 524288, .alg = 182},
    {.index = 250, .name = "MX28F1000P", .family = &kFlash32Vpp, .code = 131072, .alg = 182, .mfg = "Macronix"},
    {.index = 251, .name = "MX28F2000P", .family = &kFlash32Vpp, .code = 262144, .alg = 182, .mfg = "Macronix"},
    {.index = 252, .name = "MX28F2000T", .family = &kFlash32Vpp, .code = 262144, .alg = 182, .mfg = "Macronix"},

    {.index = 253, .name = "29F002", .family = &kFlash32A9, .code = 262144, .alg = 183},
    {.index = 254, .name = "29F002NT", .family = &kFlash32A9, .code = 262144, .alg = 183},
    {.index = 255, .name = "29F004", .family = &kFlash32A9, .code = 524288, .alg = 183},
    {.index = 258, .name = "49F002", .family = &kFlash32, .code = 262144, .alg = 238},
    {.index = 259, .name = "49F002NT", .family = &kFlash32, .code = 262144, .alg = 238},
    {.index = 261, .name = "28C64", .family = &kEeprom28, .code = 8192, .alg = 227},
    {.index = 263, .name = "28C256", .family = &kEeprom28, .code = 32768, .alg = 227},

    // 3 V boot-sector flash on TSOP adapters (RESET# at 12 V unprotects temporarily).
    {.index = 264, .name = "29LV100T", .family = &kFlashAdapterLow, .code = 131072, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 265, .name = "29LV100B", .family = &kFlashAdapterLow, .code = 131072, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 266, .name = "29LV200T", .family = &kFlashAdapterLow, .code = 262144, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 267, .name = "29LV200B", .family = &kFlashAdapterLow, .code = 262144, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 268, .name = "29LV400T", .family = &kFlashAdapterLow, .code = 524288, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 269, .name = "29LV400B", .family = &kFlashAdapterLow, .code = 524288, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 270, .name = "29LV800T", .family = &kFlashAdapterLow, .code = 1048576, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 271, .name = "29LV800B", .family = &kFlashAdapterLow, .code = 1048576, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 272, .name = "29LV160T", .family = &kFlashAdapterLow, .code = 2097152, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 273, .name = "29LV160B", .family = &kFlashAdapterLow, .code = 2097152, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 274, .name = "29LV320T", .family = &kFlashAdapterLow, .code = 4194304, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 275, .name = "29LV320B", .family = &kFlashAdapterLow, .code = 4194304, .alg = 202, .tempUnprotect = "Yes,TRUE"},
    {.index = 276, .name = "MX29L3211", .family = &kFlashAdapterLow, .code = 4194304, .alg = 345, .vpp = 4, .mfg = "Macronix", .tempUnprotect = "No"},
    {.index = 277, .name = "MX29F1610", .family = &kFlashAdapter, .code = 2097152, .alg = 345, .vpp = 4, .mfg = "Macronix", .tempUnprotect = "No"},

    // 5 V boot-sector flash on SOP/TSOP adapters.
    {.index = 278, .name = "29F100T", .family = &kFlashAdapter, .code = 131072, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 279, .name = "29F100B", .family = &kFlashAdapter, .code = 131072, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 280, .name = "29F200T", .family = &kFlashAdapter, .code = 262144, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 281, .name = "29F200B", .family = &kFlashAdapter, .code = 262144, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 282, .name = "29F400T", .family = &kFlashAdapter, .code = 524288, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 283, .name = "29F400B", .family = &kFlashAdapter, .code = 524288, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 284, .name = "29F800T", .family = &kFlashAdapter, .code = 1048576, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 285, .name = "29F800B", .family = &kFlashAdapter, .code = 1048576, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 286, .name = "29F160T", .family = &kFlashAdapter, .code = 2097152, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 287, .name = "29F160B", .family = &kFlashAdapter, .code = 2097152, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 288, .name = "29F320T", .family = &kFlashAdapter, .code = 4194304, .alg = 222, .tempUnprotect = "Yes"},
    {.index = 289, .name = "29F320B", .family = &kFlashAdapter, .code = 4194304, .alg = 222, .tempUnprotect = "Yes"},

    // 5 V single-supply flash, 32 pins.
    {.index = 290, .name = "29C51000T", .family = &kFlash32, .code = 65536, .alg = 236},
    {.index = 291, .name = "29C51000B", .family = &kFlash32, .code = 65536, .alg = 236},
    {.index = 292, .name = "29C51001T", .family = &kFlash32, .code = 131072, .alg = 236},
    {.index = 293, .name = "29C51001B", .family = &kFlash32, .code = 131072, .alg = 236},
    {.index = 294, .name = "29C51002T", .family = &kFlash32, .code = 262144, .alg = 236},
    {.index = 295, .name = "29C51002B", .family = &kFlash32, .code = 262144, .alg = 236},
    {.index = 296, .name = "29C51004T", .family = &kFlash32, .code = 524288, .alg = 236},
    {.index = 297, .name = "29C51004B", .family = &kFlash32, .code = 524288, .alg = 236},
    {.index = 298, .name = "PM29F002", .family = &kFlash32, .code = 262144, .alg = 236, .mfg = "PMC"},
    {.index = 299, .name = "AT49LV001", .family = &kFlash32Low, .code = 131072, .alg = 252, .mfg = "Atmel"},
    {.index = 300, .name = "AM29BL802", .family = &kFlashAdapterLow, .code = 1048576, .alg = 381, .vpp = 4, .mfg = "AMD", .busWidth = 2},

    // Non-volatile SRAM.
    {.index = 301, .name = "DS1230Y", .family = &kSram28, .code = 32768, .alg = 246},
    {.index = 302, .name = "M48Z02", .family = &kSram24, .code = 2048, .alg = 281, .mfg = "ST"},
    {.index = 303, .name = "BQ4015", .family = &kSram32, .code = 524288, .alg = 313, .mfg = "TI"},
    {.index = 304, .name = "M48T58Y", .family = &kSram28, .code = 8192, .alg = 313, .mfg = "ST"},
    {.index = 305, .name = "CY14B101", .family = &kSramAdapter, .code = 131072, .alg = 313, .mfg = "Cypress"},

    // MCS-48 EPROM microcontrollers (they need the ZV-CQ or ZV-D).
    {.index = 306, .name = "D8748H", .family = &k8748, .code = 1024, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},
    {.index = 307, .name = "IntelD8748H", .family = &k8748, .code = 1024, .alg = 477, .mfg = "Intel", .fw = kFw8748, .fwNo = 471, .fwQ8U = kFwZvD51, .fwNoQ8U = 463},

    // 1-Wire memories and JTAG CPLDs. The JTAG classes run the default configuration on every model.
    {.index = 308, .name = "DS2431", .family = &kOneWire, .code = 128},
    {.index = 309, .name = "DS24B33", .family = &kOneWire, .code = 512, .mfg = "Maxim"},
    {.index = 310, .name = "ALTERA_CPLD_JTAG", .family = &kJtag, .code = 131072, .mfg = "Altera", .fwQ8U = kDefaultFirmwareId, .fwNoQ8U = kDefaultFirmwareNumber},
    {.index = 311, .name = "Xilinx_CPLD_JTAG", .family = &kJtag, .code = 131072, .mfg = "Xilinx", .fwQ8U = kDefaultFirmwareId, .fwNoQ8U = kDefaultFirmwareNumber},

    // PIC microcontrollers: sizes are 2 bytes a program word.
    {.index = 312, .name = "PIC12F508", .family = &kPic12, .code = 1024, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 313, .name = "PIC16F628A", .family = &kPic14Dip18, .code = 4096, .data = 128, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 314, .name = "PIC16F84A", .family = &kPic14Dip18, .code = 2048, .data = 64, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 315, .name = "PIC16FXXX", .family = &kPic14Dip18, .code = 16384, .data = 256, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 316, .name = "PIC12FXXX", .family = &kPic12, .code = 2048, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 317, .name = "PIC16F877A", .family = &kPic14Dip40, .code = 16384, .data = 256, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 318, .name = "PIC16F872", .family = &kPic14Dip28, .code = 4096, .data = 64, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 319, .name = "PIC16F886", .family = &kPic14Dip28, .code = 16384, .data = 256, .id = "XXXXX", .vpp = 6, .fw = kFwPic, .fwNo = 442},
    {.index = 320, .name = "PIC16C73A", .family = &kPic14Dip28, .code = 8192, .id = "XXXXX", .alg = 239},
    {.index = 321, .name = "PIC18F2XXX_4XXX", .family = &kPic18Dip28, .code = 4096, .data = 128, .id = "XXXXX", .alg = 318, .package = "DIP18", .fw = kFwPic18, .fwNo = 443},
    {.index = 322, .name = "PIC18F66J60_97J60", .family = &kPic18Adapter, .code = 131072, .id = "XXXXX", .fw = kFwPic18, .fwNo = 443},
    {.index = 323, .name = "PIC18FXX2_XX8", .family = &kPic18Dip28, .code = 32768, .data = 256, .id = "XXXXX", .fw = kFwPic18, .fwNo = 443},
    {.index = 324, .name = "PIC18FX220_X320", .family = &kPic18Dip18, .code = 8192, .data = 256, .id = "XXXXX", .fw = kFwPic, .fwNo = 442},
    {.index = 325, .name = "PIC18FXX31", .family = &kPic18Dip28, .code = 16384, .data = 256, .id = "XXXXX", .alg = 448, .fw = kFwPic18, .fwNo = 443},
};
// clang-format on

static_assert(std::size(kRows) == 298);

constexpr bool RowsInOrder()
{
    for (std::size_t i = 1; i < std::size(kRows); ++i) {
        if (kRows[i].index <= kRows[i - 1].index || kRows[i].index >= kNoDeviceClass)
            return false;
    }
    return true;
}
static_assert(RowsInOrder(), "class rows must be unique, in index order and below 326");

// ---------------------------------------------------------------------------------------------
// PIC descriptors: configuration bit names of bytes 0 and 1 (bit 0 first), the device ID from
// the maker's programming guide (0 for the classes that cover several chips) and the write
// latches in words.

struct PicRow {
    int index;
    const char* bitNames; // 16 names
    std::uint16_t deviceId;
    std::uint8_t programLatch;
    std::uint8_t dataLatch;
    std::uint8_t configLatch;
};

// clang-format off
constexpr PicRow kPicRows[] = {
    {312, "FOSC0 FOSC1 WDTE CP MCLRE - - - - - - - - - - -", 0, 1, 1, 1},
    {313, "FOSC0 FOSC1 WDTE PWRTE FOSC2 MCLRE BOREN LVP CPD CP CP CP CP CP - -", 0x1060, 1, 1, 1},
    {314, "FOSC0 FOSC1 WDTE PWRTE CP CP CP CP CP CP CP CP CP CP - -", 0x0560, 1, 1, 1},
    {315, "FOSC0 FOSC1 WDTE PWRTE FOSC2 MCLRE BOREN LVP CPD CP CP CP CP CP - -", 0, 1, 1, 1},
    {316, "FOSC0 FOSC1 WDTE CP MCLRE - - - - - - - - - - -", 0, 1, 1, 1},
    {317, "FOSC0 FOSC1 WDTEN PWRTE - - BOREN LVP CPD WRT0 WRT1 DEBUG - CP - -", 0x0E20, 8, 1, 1},
    {318, "FOSC0 FOSC1 WDTE PWRTE CP0 CP1 BODEN LVP CPD WRT - DEBUG CP0 CP1 - -", 0x08E0, 1, 1, 1},
    {319, "FOSC0 FOSC1 FOSC2 WDTE PWRTE MCLRE CP CPD BOREN0 BOREN1 IESO FCMEN LVP DEBUG - -", 0x2060, 8, 1, 1},
    {320, "FOSC0 FOSC1 WDTE PWRTE CP0 CP1 BODEN - CP0 CP1 CP0 CP1 CP0 CP1 - -", 0, 1, 1, 1},
    {321, "- - - - - - - - FOSC0 FOSC1 FOSC2 FOSC3 - - FCMEN IESO", 0, 1, 1, 1},
    {322, "WDTEN - - - - STVR XINST DEBUG - - CP0 - - - - -", 0, 1, 1, 1},
    {323, "- - - - - - - - FOSC0 FOSC1 FOSC2 - - OSCSEN - -", 0, 1, 1, 1},
    {324, "- - - - - - - - FOSC0 FOSC1 FOSC2 FOSC3 - - FSCM IESO", 0, 1, 1, 1},
    {325, "- - - - - - - - FOSC0 FOSC1 FOSC2 FOSC3 - - FCMEN IESO", 0, 1, 1, 1},
};
// clang-format on

static_assert(std::size(kPicRows) == kLastPicClass - kFirstPicClass + 1);

constexpr bool PicRowsInPlace()
{
    for (std::size_t i = 0; i < std::size(kPicRows); ++i) {
        if (kPicRows[i].index != kFirstPicClass + static_cast<int>(i))
            return false;
    }
    return true;
}
static_assert(PicRowsInPlace());

CPicConfigInfo MakePicDescriptor(std::uint8_t core, const PicRow& row)
{
    CPicConfigInfo info;
    info.m_nCoreBits = core;
    info.m_bEnabled = 1;
    switch (core) {
    case 12:
        info.m_nConfigAddress = 0;
        info.m_nConfigHexAddress = 0x1FFE;
        info.m_nIdHexAddress = 0x400;
        info.m_nEepromHexAddress = 0;
        info.m_ConfigMask[0] = 0x1F;
        info.m_nIdMask = 0;
        break;
    case 14:
        info.m_ConfigMask[0] = 0x3F;
        info.m_nIdMask = 0x3FE0;
        break;
    default:
        info.m_nConfigAddress = 0x300000;
        info.m_nIdAddress = 0x200000;
        info.m_nConfigBytes = 14;
        info.m_nConfigHexAddress = 0x300000;
        info.m_nIdHexAddress = 0x200000;
        info.m_nEepromHexAddress = 0xF00000;
        info.m_ConfigMask[0] = 0x3F;
        info.m_nIdMask = 0xFFE0;
        break;
    }
    std::istringstream names(row.bitNames);
    std::string name;
    for (int bit = 0; bit < 16 && names >> name; ++bit)
        info.m_strBitName[bit / 8][bit % 8] = name;
    info.m_nDeviceId = row.deviceId;
    info.m_nProgramLatch = row.programLatch;
    info.m_nDataLatch = row.dataLatch;
    info.m_nConfigLatch = row.configLatch;
    return info;
}

std::uint8_t PackageCode(int type, std::string_view package)
{
    const bool parallelMemory = type == kCategoryEprom || type == kCategoryFlash || type == kCategorySram;
    if (!parallelMemory)
        return 0;
    if (package == "DIP24")
        return 2;
    if (package == "DIP28")
        return 4;
    return 0;
}

Masks PlacementMasks(const Family& f)
{
    switch (f.placement) {
    case ClassPlacement::Rule:
        return RuleMasks(f.pins);
    case ClassPlacement::Isp:
    case ClassPlacement::To92:
        return { 0x20, 0x80, false };
    case ClassPlacement::Zif:
        return { 0x00, 0x00, false };
    default:
        return { 0x08, 0x80, false };
    }
}

CDeviceClass MakeClass(const Row& row)
{
    const Family& f = *row.family;
    CDeviceClass c;
    c.m_nType = f.type;
    c.m_strManufacturer = row.mfg ? row.mfg : f.mfg;
    c.m_strName = row.name;
    c.m_strGroup = row.group ? row.group : f.group;
    c.m_nVcc = static_cast<std::uint8_t>(row.vcc >= 0 ? row.vcc : f.vcc);
    c.m_nWriteVcc = static_cast<std::uint8_t>(row.wvcc >= 0 ? row.wvcc : f.writeVcc);
    if (row.evcc >= 0)
        c.m_nEraseVcc = static_cast<std::uint8_t>(row.evcc);
    c.m_nCodeSize = row.code;
    if (row.busWidth)
        c.m_nBusWidth = static_cast<std::uint8_t>(row.busWidth);
    c.m_nDataSize = row.data;
    c.m_nPicParam = f.picParam;
    if (row.id) {
        c.m_strId = row.id;
        c.m_nSignature = ParseDeviceId(row.id);
    }
    c.m_strLockText = row.lock ? row.lock : f.lock;
    if (row.fuses)
        c.m_strFuseLabels = row.fuses;
    c.m_nAlgorithm = row.alg >= 0 ? row.alg : f.algorithm;
    c.m_strCpldDip = f.dip;
    c.m_nSwitchA = static_cast<std::uint8_t>(row.switchA >= 0 ? row.switchA : f.switchA);

    const Masks masks = PlacementMasks(f);
    c.m_nVccSwitch = masks.vcc;
    c.m_nVppSwitch = masks.vpp;
    c.m_nVpp = masks.vccThroughVpp ? 4 : static_cast<std::uint8_t>(row.vpp >= 0 ? row.vpp : f.vpp);
    c.m_nGndSwitch = f.gndSwitch;

    c.m_strPackage = row.package ? row.package : f.package;
    if (row.message)
        c.m_strMessage = row.message;
    c.m_strChipMode = f.chipMode;
    c.m_strTempUnprotect = row.tempUnprotect ? row.tempUnprotect : f.tempUnprotect;
    if (row.wide16)
        c.m_strBufferMode = "16BIT";
    if (row.fw) {
        c.m_strFirmwareId = row.fw;
        c.m_nFirmwareNumber = row.fwNo;
    }
    if (row.fwQ8U) {
        c.m_strFirmwareIdQ8U = row.fwQ8U;
        c.m_nFirmwareNumberQ8U = row.fwNoQ8U;
    }
    if (f.picCore != 0)
        c.m_pPicConfig = PicConfigPtr(MakePicDescriptor(f.picCore, kPicRows[row.index - kFirstPicClass]));
    c.m_nPackageCode = PackageCode(c.m_nType, c.m_strPackage);
    return c;
}

const Row* FindRow(int index)
{
    for (const Row& row : kRows) {
        if (row.index == index)
            return &row;
    }
    return nullptr;
}

} // namespace

void InitDeviceClassTable()
{
    for (CDeviceClass& entry : g_DeviceClassTable)
        entry = CDeviceClass();
    for (const Row& row : kRows)
        g_DeviceClassTable[static_cast<std::size_t>(row.index)] = MakeClass(row);
}

ClassPlacement PlacementOfClass(int index)
{
    const Row* row = FindRow(index);
    return row ? row->family->placement : ClassPlacement::None;
}

std::uint8_t EepromAddressPins(int classIndex)
{
    switch (classIndex) {
    case 42: // 24C01
    case 43: // PCF8582
    case 44: // 24C02
    case 49: // 24C32
    case 50: // 24C64
        return 0b111;
    case 45: // PCF8594: A0 is the page bit P0
    case 46: // 24C04: P0
    case 54: // 24C1024: P0
        return 0b110;
    case 47: // 24C08: P1 P0
        return 0b100;
    case 51: // 24C128
    case 52: // 24C256
    case 53: // 24C512
    case 55: // 24AA1025: the A2 position is the block bit
        return 0b011;
    default: // 24C00, 24C16 (P2 P1 P0) and every other class
        return 0;
    }
}
