// Arbitrary firmware text cut into download blocks: every block stays below the RAM limit and within
// its size, and every data byte is either in a block or counted as skipped.

#include "link/FirmwareText.h"
#include "transport/IntelHex.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::uint32_t limit = (data[0] & 1) ? 0x4000 : 0x2000;
    const std::size_t maxBlock = (data[0] & 2) ? 4095 : 1 + data[0] % 64;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto plan = CFirmwareText::MakePlan(text, limit, maxBlock);
    const auto parsed = intelhex::Parse(text);
    if (plan.ok != parsed.ok)
        std::abort();
    if (!plan.ok)
        return 0;
    std::size_t total = 0;
    for (const auto& r : parsed.records)
        if (r.type == intelhex::Data)
            total += r.data.size();
    std::size_t written = 0;
    for (const auto& b : plan.blocks) {
        if (b.data.empty() || b.data.size() > maxBlock || b.address + b.data.size() > limit)
            std::abort();
        written += b.data.size();
    }
    if (written + plan.skipped != total)
        std::abort();
    return 0;
}
