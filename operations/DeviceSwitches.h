#pragma once
// A device's switch bytes onto the pin-driver state: one refresh of the box for all of them.

#include "catalogue/DeviceClass.h"

class CCFG_Manager;

void ApplyDeviceSwitches(CCFG_Manager& manager, const CDeviceClass& device);
