#include "link/VoltageCodes.h"

#include <array>

namespace {

constexpr std::array<VoltageCode, 24> kVcc { {
    { 0, "0V", 0.0 },
    { 1, "1.8V", 1.8 },
    { 2, "2.5V", 2.5 },
    { 3, "3.3V", 3.3 },
    { 4, "3.6V", 3.6 },
    { 5, "3.8V", 3.8 },
    { 6, "4.0V", 4.0 },
    { 7, "4.2V", 4.2 },
    { 8, "4.4V", 4.4 },
    { 9, "4.5V", 4.5 },
    { 10, "4.6V", 4.6 },
    { 11, "4.8V", 4.8 },
    { 12, "5.0V", 5.0 },
    { 13, "5.2V", 5.2 },
    { 14, "5.4V", 5.4 },
    { 15, "5.5V", 5.5 },
    { 16, "5.6V", 5.6 },
    { 17, "5.8V", 5.8 },
    { 18, "6.0V", 6.0 },
    { 19, "6.2V", 6.2 },
    { 20, "6.5V", 6.5 },
    { 22, "9.0V", 9.0 },
    { 23, "12V", 12.0 },
    { 24, "18V", 18.0 },
} };

constexpr std::array<VoltageCode, 12> kVpp { {
    { 0, "0V", 0.0 },
    { 1, "1.8V", 1.8 },
    { 2, "2.5V", 2.5 },
    { 3, "3.6V", 3.6 },
    { 4, "5V", 5.0 },
    { 5, "9V", 9.0 },
    { 6, "12V", 12.0 },
    { 7, "12.7V", 12.7 },
    { 8, "15V", 15.0 },
    { 9, "18V", 18.0 },
    { 10, "21V", 21.0 },
    { 11, "25V", 25.0 },
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
