#pragma once
// The hexadecimal parsers that dialogs, device list files and script commands use. They never
// fail: what they cannot read counts as 0 or ends the number.

#include <cstdint>
#include <string_view>

// The value of a hex digit of either case, or -1.
inline int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The hex number at the start of the text, after an optional "0x"/"0X". Stops at the first
// character that is not a hex digit. Keeps the low 32 bits (the last eight digits read).
std::int32_t ParseHex(std::string_view text);

// Every character of the text read as one digit; a character that is not a hex digit counts as 0.
std::int32_t ParseHexString(std::string_view text);

// A six-digit device identifier: short text is padded with leading zeros, anything after the
// sixth character is ignored, a non-hex character counts as 0.
std::int32_t ParseDeviceId(std::string_view text);
