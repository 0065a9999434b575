#include "jtag/player/StaplUncompress.h"

#include <algorithm>

namespace {

constexpr int kOk = 0;
constexpr int kInternalError = 10;

// Reads bits least significant first, at most 16 in one read.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> in)
        : m_in(in)
    {
    }

    bool Read(int bits, std::uint32_t& value)
    {
        value = 0;
        if (bits > 16
            || static_cast<std::uint64_t>(m_bit) + static_cast<std::uint64_t>(bits) > m_in.size() * std::uint64_t { 8 })
            return false;
        for (int i = 0; i < bits; ++i, ++m_bit)
            value |= static_cast<std::uint32_t>((m_in[m_bit / 8] >> (m_bit % 8)) & 1u) << i;
        return true;
    }

private:
    std::span<const std::uint8_t> m_in;
    std::size_t m_bit = 0;
};

int DistanceBits(std::uint32_t limit)
{
    int bits = 1;
    while (bits < 32 && (limit >> bits) != 0)
        ++bits;
    return bits;
}

} // namespace

int StaplUncompress(std::span<std::uint8_t> output, std::span<const std::uint8_t> input, std::uint32_t window)
{
    std::fill(output.begin(), output.end(), std::uint8_t { 0 });
    BitReader in(input);
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t byte = 0;
        if (!in.Read(8, byte))
            return kInternalError;
        length |= byte << (8 * i);
    }
    if (length > output.size())
        return kInternalError;

    std::size_t written = 0;
    while (written < length) {
        std::uint32_t flag = 0;
        if (!in.Read(1, flag))
            return kInternalError;
        if (flag == 1) {
            const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(window, written));
            const int bits = DistanceBits(limit);
            std::uint32_t distance = 0;
            if (bits > 16) {
                // Windows above 65535 take two reads.
                std::uint32_t low = 0, high = 0;
                if (!in.Read(16, low) || !in.Read(bits - 16, high))
                    return kInternalError;
                distance = high << 16 | low;
            } else if (!in.Read(bits, distance)) {
                return kInternalError;
            }
            std::uint32_t count = 0;
            if (!in.Read(8, count))
                return kInternalError;
            if (distance == 0 || distance > written || count == 0 || count > length - written)
                return kInternalError;
            for (std::uint32_t i = 0; i < count; ++i, ++written)
                output[written] = output[written - distance];
        } else {
            // The whole group is read before any of it is written.
            std::uint32_t bytes[3] = {};
            for (std::uint32_t& byte : bytes)
                if (!in.Read(8, byte))
                    return kInternalError;
            for (const std::uint32_t byte : bytes)
                if (written < length)
                    output[written++] = static_cast<std::uint8_t>(byte);
        }
    }
    return kOk;
}
