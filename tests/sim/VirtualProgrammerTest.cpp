// The box of a TONRIG_USB=virtual run, set by the environment.

#include "sim/VirtualProgrammer.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(VirtualProgrammer, EnvironmentChangesTheBox)
{
    EXPECT_EQ(sim::BoxConfigFromEnvironment().version, "ZV-C Re-2.00");
    EXPECT_EQ(sim::BoxConfigFromEnvironment().serial, "ZV00000001");
    EXPECT_EQ(sim::BoxConfigFromEnvironment().speed, platform::usb::UsbSpeed::High);
    EXPECT_FALSE(sim::BoxConfigFromEnvironment().strict);

    ScopedEnv v("TONRIG_SIM_VERSION", "ZV-D Re-1.00");
    ScopedEnv s("TONRIG_SIM_SERIAL", "ZV99999999");
    ScopedEnv f("TONRIG_SIM_SPEED", "full");
    const auto config = sim::BoxConfigFromEnvironment();
    EXPECT_EQ(config.version, "ZV-D Re-1.00");
    EXPECT_EQ(config.serial, "ZV99999999");
    EXPECT_EQ(config.speed, platform::usb::UsbSpeed::Full);
    EXPECT_EQ(sim::ModelOfVersion(config.version), 8);
}

TEST(VirtualProgrammer, TonrigUsbVirtualSelectsTheBusWithOneBox)
{
    ScopedEnv usb("TONRIG_USB", "virtual");
    platform::usb::SetVirtualBusSetup(&sim::PlugBoxFromEnvironment);
    platform::usb::SetUsbProvider(nullptr);
    const auto devices = platform::usb::CurrentUsbProvider().Enumerate();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path.substr(devices[0].path.find(':', 4)), ":vid_04b4&pid_8613");
    EXPECT_NE(dynamic_cast<platform::usb::VirtualBus*>(&platform::usb::CurrentUsbProvider()), nullptr);
    platform::usb::SetUsbProvider(nullptr);
    platform::usb::SetVirtualBusSetup(nullptr);
}

} // namespace
