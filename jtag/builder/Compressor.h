#pragma once
// The compressor of Boolean-array data (jtag/BYTECODE.md, "Compressed data"): greedy matching,
// the longest match within the window and the nearest on a tie. Test and tool code only.

#include <cstdint>
#include <span>
#include <vector>

namespace bytecode {

// The bit stream for `data` (stated length = data.size()), packed LSB first, its last byte padded
// with zero bits. `window` is 8192 for Jam 1.1 images and 8191 for STAPL images.
std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, std::uint32_t window);

// Bits that the distance field takes when `limit` = min(window, bytes written): 1 for 0.
constexpr int DistanceBits(std::uint32_t limit)
{
    int bits = 1;
    while (bits < 32 && (limit >> bits) != 0)
        ++bits;
    return bits;
}

} // namespace bytecode
