// Any 256 bytes through the usage-history parser: it must never read outside them, an accepted
// image has as many entries as byte 1 says with a total that is their sum, and a rejected one
// leaves an empty history and says why.

#include "link/BlackBox.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::array<std::uint8_t, CBlackBox::kSize> bytes;
    bytes.fill(0xFF);
    std::copy_n(data, std::min(size, bytes.size()), bytes.begin());
    CBlackBox box;
    std::string why;
    const bool ok = box.Parse(bytes, &why);
    if (ok != why.empty())
        std::abort();
    if (!ok) {
        if (!box.m_Entries.empty() || box.m_nTotalCount != 0)
            std::abort();
        return 0;
    }
    const bool erased = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (!erased && box.m_Entries.size() != bytes[1])
        std::abort();
    std::uint64_t total = 0;
    for (const auto& e : box.m_Entries) {
        if (e.m_strName.empty() || e.m_strCount.empty() || e.m_strCount.size() > 10)
            std::abort();
        total += std::strtoull(e.m_strCount.c_str(), nullptr, 10);
    }
    if (box.m_nTotalCount != std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()))
        std::abort();
    return 0;
}
