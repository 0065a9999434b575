// Arbitrary text through the hex parsers: they must never read outside the text, and the value
// must agree with a plain reference reading.

#include "shell/HexParse.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t hex = ParseHex(text);
    ParseHexString(text);
    const std::int32_t id = ParseDeviceId(text);
    if (id < 0 || id > 0xFFFFFF)
        std::abort();
    // ParseHex of the text without its prefix equals ParseHex with it.
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        (text.size() < 4 || !(text[2] == '0' && (text[3] == 'x' || text[3] == 'X'))) &&
        ParseHex(text.substr(2)) != hex)
        std::abort();
    return 0;
}
