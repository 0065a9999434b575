#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;
MessageBoxService g_service;

int FirstButton(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

} // namespace

void SetMessageBoxService(MessageBoxService service)
{
    std::lock_guard lock(g_mutex);
    g_service = std::move(service);
}

} // namespace platform

int MessageBox(const std::string& text, const std::string& caption, UINT type)
{
    platform::MessageBoxService service;
    {
        std::lock_guard lock(platform::g_mutex);
        service = platform::g_service;
    }
    if (service)
        return service(text, caption, type);
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return platform::FirstButton(type);
}
