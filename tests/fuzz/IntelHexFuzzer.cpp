// Arbitrary text through the strict HEX parser: it must never read outside the text, and what it
// accepts must be well formed.

#include "transport/IntelHex.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const intelhex::ParseResult r = intelhex::Parse(text);
    if (r.ok) {
        if (r.records.empty() || r.records.back().type != intelhex::End)
            std::abort();
        for (const auto& rec : r.records) {
            if (rec.data.size() > 255 || rec.line < 1)
                std::abort();
            if ((rec.type == intelhex::SegmentBase || rec.type == intelhex::LinearBase) && rec.data.size() != 2)
                std::abort();
        }
    } else if (r.errorLine < 1 || r.error.empty()) {
        std::abort();
    }
    return 0;
}
