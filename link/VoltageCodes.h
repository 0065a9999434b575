#pragma once
// The supply (Vcc) and programming (Vpp) voltage codes that the pin-driver state takes and
// that device classes and device records hold. Codes not in the tables are not set.

#include <cstdint>
#include <span>

struct VoltageCode {
    std::uint8_t code;
    const char* text; // as the log and the voltage dialogs show it
    double volts;
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
