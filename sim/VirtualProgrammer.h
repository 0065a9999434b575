#pragma once
// The box of a TONRIG_USB=virtual run: FX2 at high speed, "ZV-C Re-2.00", serial "ZV00000001",
// changed by TONRIG_SIM_VERSION, TONRIG_SIM_SERIAL and TONRIG_SIM_SPEED ("full" or "high").
// The program installs it with platform::usb::SetVirtualBusSetup(&sim::PlugBoxFromEnvironment).

#include "sim/Box.h"

namespace sim {

BoxConfig BoxConfigFromEnvironment();
std::shared_ptr<Box> PlugBoxFromEnvironment(platform::usb::VirtualBus& bus);

} // namespace sim
