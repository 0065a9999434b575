#pragma once
// printf-style formatting into std::string: the system keeps its texts as formats.

#include <cstdarg>
#include <string>

namespace platform {

std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
