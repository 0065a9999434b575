#pragma once
// The debug-output routine. Off unless TONRIG_TRACE is set: "1" writes to stderr, any other
// value names a file to append to. Tests may install a sink that captures the lines.

#include <functional>
#include <string>

namespace platform {

bool TraceEnabled();
void SetTraceSink(std::function<void(const std::string&)> sink);

} // namespace platform

// printf-style; the text goes out as formatted, line ends included.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceText(const std::string& text);
