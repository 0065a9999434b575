#pragma once
// Bits packed low bit first, as Boolean arrays, scan data and the shift buffers hold them: bit
// `i` is bit i % 8 of byte i / 8.

#include <cstdint>

namespace bytecode {

inline bool GetBit(const std::uint8_t* bits, std::uint64_t i)
{
    return ((bits[i / 8] >> (i % 8)) & 1) != 0;
}

inline void SetBit(std::uint8_t* bits, std::uint64_t i, bool on)
{
    const auto mask = static_cast<std::uint8_t>(1u << (i % 8));
    bits[i / 8] = static_cast<std::uint8_t>(on ? bits[i / 8] | mask : bits[i / 8] & ~mask);
}

} // namespace bytecode
