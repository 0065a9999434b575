#include "shell/HexParse.h"

#include <string>

std::int32_t ParseHex(std::string_view text)
{
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseHexString(std::string_view text)
{
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        value = (value << 4) | static_cast<std::uint32_t>(d < 0 ? 0 : d);
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseDeviceId(std::string_view text)
{
    std::string id(text.size() < 6 ? 6 - text.size() : 0, '0');
    id.append(text);
    std::uint32_t value = 0;
    for (size_t i = 0; i < 6; ++i) {
        const int d = HexDigit(id[i]);
        value = (value << 4) | static_cast<std::uint32_t>(d < 0 ? 0 : d);
    }
    return static_cast<std::int32_t>(value);
}
