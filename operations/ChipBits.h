#pragma once
// What the Set CFG bits dialogs show and change, free of widgets: a PIC's configuration words, an
// AVR's fuse bytes or a serial EEPROM's bus address, each as values of named bits. A value keeps
// what the chip held (read) and what the user made of it (shown); a read-only bit never changes.

#include "catalogue/DeviceClass.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ChipBitValue {
    std::string name; // "CONFIG", "Fuse Low", "Address"...
    int width = 8;
    // Per bit, most significant first: its name ("-": none) and whether it may change.
    std::vector<std::string> bitNames;
    std::vector<bool> editable;
    std::uint32_t read = 0;
    std::uint32_t shown = 0;

    // Column c (0 the most significant bit) as a bit mask.
    std::uint32_t BitOf(int column) const { return 1u << (width - 1 - column); }
    bool BitSet(int column) const { return (shown & BitOf(column)) != 0; }
};

class ChipBits {
public:
    enum class Kind { Configuration, AvrFuse, EepromAddress };

    // A PIC's configuration words from the descriptor's bytes (low byte first), bits below the
    // core width (12 or 14).
    static ChipBits Configuration(const CPicConfigInfo& pic);
    // An AVR's fuses from the class's labels: tokens 1-8 the high byte, 9-16 the low, 17-24 the
    // extended, most significant bit first. `fuses` are f0 low, f1 high, f2 extended. A byte
    // shows when it names a bit. On "ISP" chip-mode classes SPIEN is read-only.
    static ChipBits AvrFuses(const CDeviceClass& device, const std::array<std::uint8_t, 3>& fuses);
    // A serial EEPROM's pins A2, A1, A0 of the control byte 1010 A2 A1 A0 x; a device address of 0
    // or one not of that form counts as 0xA0.
    static ChipBits EepromAddress(int classIndex, std::uint8_t deviceAddress);

    Kind GetKind() const { return m_kind; }
    std::vector<ChipBitValue>& Values() { return m_values; }
    const std::vector<ChipBitValue>& Values() const { return m_values; }
    // False when no bit may change: the box "Not Supported." instead of a dialog.
    bool Supported() const;
    // True when a shown value differs from the one read.
    bool Changed() const;
    // Sets bit `column` of value `value`; false, changing nothing, for a read-only bit or one
    // outside the values.
    bool SetBit(int value, int column, bool on);
    // The text a bit cell holds: "1" or "0"; a cell text other than those changes nothing.
    bool SetBitText(int value, int column, const std::string& text);

    // The results, from the shown values.
    // Configuration: the descriptor's bytes, low byte first, as many as were read.
    std::vector<std::uint8_t> ConfigBytes() const;
    // Configuration: per byte of ConfigBytes(), the bits the user may change.
    std::vector<std::uint8_t> ConfigEditableMask() const;
    // Fuses: f0 low, f1 high, f2 extended; a byte that is not shown keeps what was read.
    std::array<std::uint8_t, 3> FuseBytes() const;
    // The control byte 1010 A2 A1 A0 0.
    std::uint8_t ControlByte() const;

    // The log line of the values: "Fuse Low=0x64, Fuse High=0xdf, Fuse Extended=0xff".
    std::string ValuesLine() const;
    // The text beside value `value`'s grid: "0x%02x" for up to 8 bits, else "0x%04x"; the
    // address shows as its control byte.
    std::string ValueText(int value) const;

    // The risks of writing the shown values, one line each, by bit name.
    std::vector<std::string> Risks() const;
    // Configuration bits going from 0 to 1, which only an erase can do (their names).
    std::vector<std::string> UnprogrammableBits() const;

private:
    Kind m_kind = Kind::Configuration;
    std::vector<ChipBitValue> m_values;
    std::array<std::uint8_t, 3> m_fusesRead {};
    // Fuses: which byte each value is (0 low, 1 high, 2 extended).
    std::vector<int> m_fuseIndex;
};

// The question a list of risks ends with.
std::string RiskQuestion(ChipBits::Kind kind);

// The serial EEPROM classes on the two-wire bus, 41 (24C00) to 55 (24AA1025), which device setup
// gives a device address.
constexpr bool IsTwoWireEepromClass(int classIndex)
{
    return classIndex >= 41 && classIndex <= 55;
}
// The device address such a chip is reached at: `deviceAddress` when it has the form
// 1010 A2 A1 A0 0, else 0xA0 (a device that sets none).
constexpr std::uint8_t TwoWireDeviceAddress(std::uint8_t deviceAddress)
{
    return (deviceAddress & 0xF1) == 0xA0 ? deviceAddress : std::uint8_t { 0xA0 };
}
