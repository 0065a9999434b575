// Any signature reply against any ID text: the comparison never reads outside either, and a
// match always means the compared reply bytes spell the ID.

#include "operations/ChipIdCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// Input: flags (bit 0 word mode), length, mask high, mask low, ID text length, ID text, reply.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const bool word = (data[0] & 1) != 0;
    const int length = static_cast<std::int8_t>(data[1]);
    const std::uint16_t mask = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    const std::size_t idLength = std::min<std::size_t>(data[4], size - 5);
    const std::string id(reinterpret_cast<const char*>(data + 5), idLength);
    const std::span<const std::uint8_t> reply(data + 5 + idLength, size - 5 - idLength);

    const IdCheckVerdict verdict = CompareChipId(reply, length, id, word, mask);
    if (verdict == IdCheckVerdict::Match && !word) {
        if (reply.size() < static_cast<std::size_t>(length) || id.size() < 2 * static_cast<std::size_t>(length))
            std::abort();
        for (int i = 0; i < length; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", reply[static_cast<std::size_t>(i)]);
            const std::string expected = id.substr(2 * static_cast<std::size_t>(i), 2);
            if (std::strtol(expected.c_str(), nullptr, 16) != std::strtol(pair, nullptr, 16))
                std::abort();
        }
    }
    if (verdict == IdCheckVerdict::Skipped && length > 0 && !(word && mask == 0))
        std::abort();
    return 0;
}
