#include "operations/ByteSwap.h"

#include <utility>

std::size_t SwapBytePairs(std::uint8_t* data, std::size_t size)
{
    if (!data)
        return 0;
    const std::size_t pairs = size / 2;
    for (std::size_t i = 0; i < pairs; ++i)
        std::swap(data[2 * i], data[2 * i + 1]);
    return pairs;
}
