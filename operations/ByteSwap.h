#pragma once
// Swapping the bytes of 16-bit words in a buffer.

#include <cstddef>
#include <cstdint>

// Swaps the two bytes of every complete 16-bit pair from offset 0; an odd last byte stays where
// it is. Returns the number of pairs swapped.
std::size_t SwapBytePairs(std::uint8_t* data, std::size_t size);
