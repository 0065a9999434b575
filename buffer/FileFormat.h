#pragma once
// File formats by name and by pattern.

#include <optional>
#include <string>
#include <string_view>

namespace buffer {

enum class FileFormat { Binary, IntelHex, SRecord };

// The one list of file-name extensions (lower case, without the dot) that name a format. Loading
// by name, the file-options dialog's preselection, saving and FORMATS.md all follow it.
struct FormatExtension {
    const char* extension;
    FileFormat format;
};
inline constexpr FormatExtension kFormatExtensions[] = {
    { "hex", FileFormat::IntelHex },
    { "s", FileFormat::SRecord },
    { "mot", FileFormat::SRecord },
    { "srec", FileFormat::SRecord },
    { "s19", FileFormat::SRecord },
    { "s28", FileFormat::SRecord },
    { "s37", FileFormat::SRecord },
    { "bin", FileFormat::Binary },
};

// The format that the extension of a file name (or path) names, letter case ignored; none when
// the extension is not in kFormatExtensions ("a.rom", "a.hex.bak", "hex").
std::optional<FileFormat> FormatForFileName(std::string_view fileName);

// "*.<ext>" for a name whose extension names Intel HEX or S-records ("*.hex", "*.s", "*.s19", ...),
// otherwise "*.bin"; letter case ignored.
std::string GetFormatPattern(std::string_view fileName);

// The format a pattern (or a filter text such as "Hex Files (*.hex)") asks for. Each "*.ext" is
// matched as a whole token: "*.s" is S-records, "*.stapl" is not.
FileFormat FormatFromPattern(std::string_view pattern);

// True when the pattern holds the token "*.<ext>" (ext in lower case).
bool PatternHasExtension(std::string_view pattern, std::string_view ext);

// The file offset as typed: hexadecimal, an optional "0x" and an optional leading "-". The low
// 32 bits taken as signed ("FFFFFFF0" is -16).
int ParseFileOffset(std::string_view text);

} // namespace buffer
