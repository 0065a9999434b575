#include "buffer/FileFormat.h"

#include "shell/HexParse.h"

#include <cctype>
#include <cstdint>

namespace buffer {

namespace {
std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool EndsWith(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

std::string GetFormatPattern(std::string_view fileName)
{
    const std::string name = Lower(fileName);
    if (EndsWith(name, ".hex"))
        return "*.hex";
    if (EndsWith(name, ".s"))
        return "*.s";
    // The other S-record endings that Save writes load as S-records too.
    for (const char* ext : {".mot", ".srec", ".s19", ".s28", ".s37"})
        if (EndsWith(name, ext))
            return "*" + std::string(ext);
    return "*.bin";
}

bool PatternHasExtension(std::string_view pattern, std::string_view ext)
{
    const std::string text = Lower(pattern);
    const std::string token = "*." + std::string(ext);
    for (std::size_t pos = text.find(token); pos != std::string::npos; pos = text.find(token, pos + 1)) {
        const std::size_t after = pos + token.size();
        if (after == text.size() || !std::isalnum(static_cast<unsigned char>(text[after])))
            return true;
    }
    return false;
}

FileFormat FormatFromPattern(std::string_view pattern)
{
    if (PatternHasExtension(pattern, "hex"))
        return FileFormat::IntelHex;
    for (const char* ext : {"s", "mot", "srec", "s19", "s28", "s37"})
        if (PatternHasExtension(pattern, ext))
            return FileFormat::SRecord;
    return FileFormat::Binary;
}

int ParseFileOffset(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const std::uint32_t value = static_cast<std::uint32_t>(ParseHex(text));
    return static_cast<int>(negative ? 0u - value : value);
}

} // namespace buffer
