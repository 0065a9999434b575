#include "jtag/builder/Compressor.h"

#include <algorithm>

namespace bytecode {

namespace {

class BitWriter {
public:
    void Put(std::uint32_t value, int bits)
    {
        for (int i = 0; i < bits; ++i) {
            if (m_bit == 0)
                m_out.push_back(0);
            if (((value >> i) & 1) != 0)
                m_out.back() = static_cast<std::uint8_t>(m_out.back() | (1u << m_bit));
            m_bit = (m_bit + 1) % 8;
        }
    }
    std::vector<std::uint8_t> Take() { return std::move(m_out); }

private:
    std::vector<std::uint8_t> m_out;
    int m_bit = 0;
};

constexpr std::size_t kMaxLength = 255;
constexpr std::size_t kMinMatch = 3;

} // namespace

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, std::uint32_t window)
{
    const std::size_t n = data.size();
    BitWriter out;
    out.Put(static_cast<std::uint32_t>(n), 32);

    // Positions chained nearest first by a hash of their first three bytes.
    constexpr std::size_t kNoPos = SIZE_MAX;
    std::vector<std::size_t> head(1u << 16, kNoPos);
    std::vector<std::size_t> prev(n, kNoPos);
    std::size_t inserted = 0;
    const auto key = [&](std::size_t p) {
        const std::uint32_t k
            = static_cast<std::uint32_t>(data[p]) << 16 | static_cast<std::uint32_t>(data[p + 1]) << 8 | data[p + 2];
        return static_cast<std::size_t>((k * 2654435761u) >> 16);
    };
    const auto insertUpTo = [&](std::size_t end) {
        for (; inserted < end; ++inserted) {
            if (inserted + 2 >= n)
                continue;
            const std::size_t k = key(inserted);
            prev[inserted] = head[k];
            head[k] = inserted;
        }
    };

    std::size_t pos = 0;
    while (pos < n) {
        insertUpTo(pos);
        const std::size_t limit = std::min<std::size_t>(window, pos);
        const std::size_t maxLength = std::min(kMaxLength, n - pos);
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        if (maxLength >= kMinMatch) {
            for (std::size_t cand = head[key(pos)]; cand != kNoPos && pos - cand <= limit; cand = prev[cand]) {
                std::size_t length = 0;
                while (length < maxLength && data[cand + length] == data[pos + length])
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = pos - cand;
                    if (length == maxLength)
                        break;
                }
            }
        }
        if (bestLength >= kMinMatch) {
            out.Put(1, 1);
            out.Put(static_cast<std::uint32_t>(bestDistance), DistanceBits(static_cast<std::uint32_t>(limit)));
            out.Put(static_cast<std::uint32_t>(bestLength), 8);
            pos += bestLength;
        } else {
            out.Put(0, 1);
            for (std::size_t k = 0; k < 3; ++k)
                out.Put(pos + k < n ? data[pos + k] : 0, 8);
            pos += 3;
        }
    }
    return out.Take();
}

} // namespace bytecode
