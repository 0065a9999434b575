#pragma once
// The JTAG layer's texts that the language table does not hold.

inline constexpr const char* kJtagDataBufferOverflowText = "Data buffer overflow!!#01";
