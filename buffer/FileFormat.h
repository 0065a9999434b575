#pragma once
// File formats by name and by pattern.

#include <string>
#include <string_view>

namespace buffer {

enum class FileFormat { Binary, IntelHex, SRecord };

// "*.hex" for a name ending in ".hex", "*.s" for ".s", "*.mot" for ".mot", otherwise "*.bin";
// letter case ignored.
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
