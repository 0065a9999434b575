#pragma once
// The byte-code image CRC (jtag/BYTECODE.md): CRC-16 with the reflected polynomial 0x8408,
// initial value 0xFFFF, complemented at the end. "123456789" gives 0x906E.

#include <cstdint>
#include <span>

namespace bytecode {

constexpr std::uint16_t Crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                                 : static_cast<std::uint16_t>(crc >> 1);
    }
    return static_cast<std::uint16_t>(~crc);
}

} // namespace bytecode
