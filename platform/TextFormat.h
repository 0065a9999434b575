#pragma once
// printf-style formatting into std::string (the system keeps its texts as formats), and the
// decoding of 8-bit text and of text files.

#include <cstdarg>
#include <string>
#include <string_view>

namespace platform {

std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// 8-bit text as UTF-8: kept when it is valid UTF-8, else read as Latin-1.
std::string DecodeEightBitText(std::string_view bytes);

// A text file's bytes as UTF-8, the one decoding of the readers of the device lists and the
// description files. A byte-order mark names UTF-8, or UTF-16 in either byte order, and is
// dropped. Without one, bytes are UTF-16 when the byte pairs of their first kilobyte that hold one
// NUL hold it on one side, at least two in three of them and eight or most pairs of a short file:
// the side gives the order (Latin text in UTF-16 has a zero byte in each character; a line end has
// one in any script). Anything else is 8-bit text, each line (up to CR or LF) read as
// DecodeEightBitText reads it. Line ends stay as they were; so do NULs, as characters.
std::string DecodeTextFile(std::string_view bytes);

// A quarter or more of the text's first kilobyte is NUL: what is left of a file that is not text,
// or of text in a form DecodeTextFile does not know.
bool IsMostlyNul(std::string_view text);

} // namespace platform
