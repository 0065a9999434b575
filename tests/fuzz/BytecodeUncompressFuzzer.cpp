// Any stream, window and array size through the decompressor of compressed arrays: it never
// writes outside the output, answers 0 or 10, and after a success leaves everything past the
// stated length zero.

#include "jtag/player/StaplUncompress.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

// Input: window selector (byte 0), output size (bytes 1-2, big-endian), then the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const std::uint32_t windows[4] = { 8191, 8192, 1, 70000 };
    const std::uint32_t window = windows[data[0] & 3];
    const std::size_t capacity = static_cast<std::size_t>(data[1] << 8 | data[2]);
    const std::span<const std::uint8_t> stream(data + 3, size - 3);
    std::vector<std::uint8_t> out(capacity, 0xEE);
    const int result = StaplUncompress(out, stream, window);
    if (result != 0 && result != 10)
        std::abort();
    if (result != 0)
        return 0;
    std::size_t stated = 0;
    for (std::size_t i = 0; i < 4; ++i)
        stated |= static_cast<std::size_t>(stream[i]) << (8 * i);
    for (std::size_t i = stated; i < out.size(); ++i)
        if (out[i] != 0)
            std::abort();
    return 0;
}
