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

} // namespace

std::optional<FileFormat> FormatForFileName(std::string_view fileName)
{
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    const std::string ext = Lower(fileName.substr(dot + 1));
    for (const FormatExtension& entry : kFormatExtensions)
        if (ext == entry.extension)
            return entry.format;
    return std::nullopt;
}

std::string GetFormatPattern(std::string_view fileName)
{
    const std::optional<FileFormat> format = FormatForFileName(fileName);
    if (!format || *format == FileFormat::Binary)
        return "*.bin";
    return "*" + Lower(fileName.substr(fileName.rfind('.')));
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
    for (const FormatExtension& entry : kFormatExtensions)
        if (entry.format != FileFormat::Binary && PatternHasExtension(pattern, entry.extension))
            return entry.format;
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
