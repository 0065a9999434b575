#pragma once
// printf-style formatting into std::string (the system keeps its texts as formats), and the
// decoding of 8-bit text.

#include <cstdarg>
#include <string>
#include <string_view>

namespace platform {

std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// 8-bit text as UTF-8: kept when it is valid UTF-8, else read as Latin-1.
std::string DecodeEightBitText(std::string_view bytes);

} // namespace platform
