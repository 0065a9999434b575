#pragma once
// Expands the compressed data of a Boolean array (jtag/BYTECODE.md, "Compressed data").

#include <cstdint>
#include <span>

// Zeroes `output`, then decodes the stream in `input` (which ends where the stream may no longer
// read) up to its stated length; the rest of `output` stays zero. Returns 0, or 10 for a stated
// length above output.size(), a distance of 0 or beyond the bytes written, a length of 0, a copy
// past the stated length, or a stream that ends early. `window` is 8192 (Jam 1.1) or 8191 (STAPL).
int StaplUncompress(std::span<std::uint8_t> output, std::span<const std::uint8_t> input, std::uint32_t window);
