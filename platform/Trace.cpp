#include "platform/Trace.h"

#include "platform/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;
std::function<void(const std::string&)> g_sink;
int g_state = -1; // -1 not yet read, 0 off, 1 on
FILE* g_file = nullptr;

void ReadEnvironment()
{
    const char* value = std::getenv("TONRIG_TRACE");
    if (!value || !*value || std::string(value) == "0") {
        g_state = 0;
        return;
    }
    g_state = 1;
    if (std::string(value) != "1")
        g_file = std::fopen(value, "a");
    if (!g_file)
        g_file = stderr;
}

} // namespace

bool TraceEnabled()
{
    std::lock_guard lock(g_mutex);
    if (g_sink)
        return true;
    if (g_state < 0)
        ReadEnvironment();
    return g_state == 1;
}

void SetTraceSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(g_mutex);
    g_sink = std::move(sink);
}

} // namespace platform

void TraceText(const std::string& text)
{
    using namespace platform;
    std::lock_guard lock(g_mutex);
    if (g_sink) {
        g_sink(text);
        return;
    }
    if (g_state < 0)
        ReadEnvironment();
    if (g_state == 1) {
        std::fputs(text.c_str(), g_file);
        std::fflush(g_file);
    }
}

void Trace(const char* format, ...)
{
    if (!platform::TraceEnabled())
        return;
    va_list args;
    va_start(args, format);
    std::string text = platform::FormatV(format, args);
    va_end(args);
    TraceText(text);
}
