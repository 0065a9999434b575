#pragma once
// The programmer's CPLD configurations that device setup loads, and the USERCODE each leaves in
// the CPLD. Setup reprograms the CPLD when the USERCODE read differs from the current device's
// firmware id, so a class that runs a configuration carries that configuration's pair.

#include <array>
#include <string_view>

struct CpldConfiguration {
    int number; // byte-code program resource
    const char* userCode;
};

inline constexpr std::array<CpldConfiguration, 10> kCpldConfigurations { {
    { 385, "00160514" }, // the default of the ZV-C and ZV-CQ models
    { 420, "15071900" },
    { 442, "15060700" },
    { 443, "15091900" },
    { 452, "15013100" }, // the default of the ZV-D model
    { 463, "15021000" },
    { 466, "15082400" },
    { 471, "15112600" },
    { 482, "00170303" },
    { 488, "00170909" },
} };

// The jig step of classes 3 and 4 (kBracketConfiguration in operations/SetupTable.h). No class
// carries its USERCODE, so it programs at every setup of those fixtures; it stays out of the
// table, which holds only the pairs classes carry.
inline constexpr CpldConfiguration kBracketCpldConfiguration { 486, "00170486" };

// The firmware pair a device record carries when its class names none.
inline constexpr const char* kDefaultFirmwareId = "00160514";
inline constexpr int kDefaultFirmwareNumber = 385;
inline constexpr const char* kDefaultFirmwareIdZvD = "15013100";
inline constexpr int kDefaultFirmwareNumberZvD = 452;

// The USERCODE of a configuration, or nullptr for a number not in the table.
constexpr const char* CpldUserCode(int configuration)
{
    for (const CpldConfiguration& c : kCpldConfigurations) {
        if (c.number == configuration)
            return c.userCode;
    }
    return nullptr;
}
