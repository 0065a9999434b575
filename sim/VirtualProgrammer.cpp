#include "sim/VirtualProgrammer.h"

#include "platform/Trace.h"

#include <cstdlib>
#include <cstring>

namespace sim {

BoxConfig BoxConfigFromEnvironment()
{
    BoxConfig config;
    config.strict = false; // a user's run traces protocol errors and goes on
    if (const char* v = std::getenv("TONRIG_SIM_VERSION"); v && *v)
        config.version = v;
    if (const char* v = std::getenv("TONRIG_SIM_SERIAL"); v && *v)
        config.serial = v;
    if (const char* v = std::getenv("TONRIG_SIM_SPEED"); v && *v) {
        if (std::strcmp(v, "full") == 0)
            config.speed = platform::usb::UsbSpeed::Full;
        else if (std::strcmp(v, "high") == 0)
            config.speed = platform::usb::UsbSpeed::High;
        else
            Trace("TONRIG_SIM_SPEED=%s: \"full\" or \"high\" expected; high speed it is\n", v);
    }
    return config;
}

std::shared_ptr<Box> PlugBoxFromEnvironment(platform::usb::VirtualBus& bus)
{
    return Box::PlugInto(bus, BoxConfigFromEnvironment());
}

} // namespace sim
