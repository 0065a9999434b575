#include "link/VoltageCodes.h"

#include <array>

namespace {

constexpr std::array<VoltageCode, 24> kVcc { {
    { 0, "0V", 0.0, 0xE0, 255 },
    { 1, "1.8V", 1.8, 0xE0, 171 },
    { 2, "2.5V", 2.5, 0xE0, 148 },
    { 3, "3.3V", 3.3, 0xE0, 120 },
    { 4, "3.6V", 3.6, 0xE0, 110 },
    { 5, "3.8V", 3.8, 0xE0, 102 },
    { 6, "4.0V", 4.0, 0xE0, 95 },
    { 7, "4.2V", 4.2, 0x60, 88 },
    { 8, "4.4V", 4.4, 0x60, 82 },
    { 9, "4.5V", 4.5, 0x60, 78 },
    { 10, "4.6V", 4.6, 0x60, 75 },
    { 11, "4.8V", 4.8, 0x60, 68 },
    { 12, "5.0V", 5.0, 0x60, 58 },
    { 13, "5.2V", 5.2, 0x60, 54 },
    { 14, "5.4V", 5.4, 0x60, 47 },
    { 15, "5.5V", 5.5, 0xC0, 44 },
    { 16, "5.6V", 5.6, 0xC0, 40 },
    { 17, "5.8V", 5.8, 0xC0, 33 },
    { 18, "6.0V", 6.0, 0xA0, 25 },
    { 19, "6.2V", 6.2, 0xA0, 20 },
    { 20, "6.5V", 6.5, 0xA0, 0 },
    { 22, "9.0V", 9.0, 0x60, 0 },
    { 23, "12V", 12.0, 0x60, 0 },
    { 24, "18V", 18.0, 0x60, 0 },
} };

constexpr std::array<VoltageCode, 12> kVpp { {
    { 0, "0V", 0.0, 0x00, 255 },
    { 1, "1.8V", 1.8, 0x00, 231 },
    { 2, "2.5V", 2.5, 0x00, 224 },
    { 3, "3.6V", 3.6, 0x00, 213 },
    { 4, "5V", 5.0, 0x1F, 199 },
    { 5, "9V", 9.0, 0x1D, 158 },
    { 6, "12V", 12.0, 0x0F, 128 },
    { 7, "12.7V", 12.7, 0x1E, 121 },
    { 8, "15V", 15.0, 0x1A, 98 },
    { 9, "18V", 18.0, 0x1A, 66 },
    { 10, "21V", 21.0, 0x1C, 36 },
    { 11, "25V", 25.0, 0x16, 0 },
} };

template <std::size_t N> const VoltageCode* Find(const std::array<VoltageCode, N>& table, int code)
{
    for (const VoltageCode& entry : table) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::span<const VoltageCode> VccCodes()
{
    return kVcc;
}
std::span<const VoltageCode> VppCodes()
{
    return kVpp;
}

bool IsValidVccCode(int code)
{
    return Find(kVcc, code) != nullptr;
}
bool IsValidVppCode(int code)
{
    return Find(kVpp, code) != nullptr;
}

const char* GetVccText(int code)
{
    const VoltageCode* entry = Find(kVcc, code);
    return entry ? entry->text : "Vcc not set!";
}

const char* GetVppText(int code)
{
    const VoltageCode* entry = Find(kVpp, code);
    return entry ? entry->text : "Vpp not set!";
}

double GetVccVolts(int code)
{
    const VoltageCode* entry = Find(kVcc, code);
    return entry ? entry->volts : -1.0;
}

double GetVppVolts(int code)
{
    const VoltageCode* entry = Find(kVpp, code);
    return entry ? entry->volts : -1.0;
}

std::uint8_t VccSelectByte(int code)
{
    const VoltageCode* entry = Find(kVcc, code);
    return entry ? entry->select : 0;
}

std::uint8_t VppSelectByte(int code)
{
    const VoltageCode* entry = Find(kVpp, code);
    return entry ? entry->select : 0;
}

std::uint8_t VccPotValue(int code)
{
    const VoltageCode* entry = Find(kVcc, code);
    return entry ? entry->pot : 255;
}

std::uint8_t VppPotValue(int code)
{
    const VoltageCode* entry = Find(kVpp, code);
    return entry ? entry->pot : 255;
}
