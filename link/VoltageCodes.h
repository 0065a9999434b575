#pragma once
// The supply (Vcc) and programming (Vpp) voltage codes that the pin-driver state takes and
// that device classes and device records hold. Codes not in the tables are not set.

#include <cstdint>
#include <span>

struct VoltageCode {
    std::uint8_t code;
    const char* text; // as the log and the voltage dialogs show it
    double volts;
    std::uint8_t select; // the select byte's Vcc bits (7-5) or Vpp bits (4-0), every model but ZV-D
    std::uint8_t pot; // ZV-D: the rail potentiometer's value
};

// Vcc codes 0 to 20 and 22 to 24; 21 is not a code.
std::span<const VoltageCode> VccCodes();
// Vpp codes 0 to 11.
std::span<const VoltageCode> VppCodes();

bool IsValidVccCode(int code);
bool IsValidVppCode(int code);

// The code's text, or "Vcc not set!" / "Vpp not set!".
const char* GetVccText(int code);
const char* GetVppText(int code);

// The code's voltage; negative for a code that is not set.
double GetVccVolts(int code);
double GetVppVolts(int code);

// The code's select byte part and ZV-D potentiometer value; 0 and 255 (0 V) for a code not set.
std::uint8_t VccSelectByte(int code);
std::uint8_t VppSelectByte(int code);
std::uint8_t VccPotValue(int code);
std::uint8_t VppPotValue(int code);
