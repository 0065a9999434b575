#pragma once
// TONRIG_USB=virtual: the virtual programmer's socket holds a blank chip of the selected device.
// The box reports P_SETUP and P_DEVICE here; the chip is swapped only when the device changes, so
// its contents survive a re-setup. The mapping from device classes to chips lives here, never in
// sim/.

#include "catalogue/DeviceClass.h"
#include "sim/Box.h"
#include "sim/JtagHandler.h"

#include <optional>

// The chip of a device class (`classIndex` its index in the class table); nullopt for classes
// that hold no memory chip (JTAG parts, logic).
std::optional<sim::ChipSpec> ChipSpecForDevice(const CDeviceClass& device, int classIndex);

// The socket's JTAG chain of a device class: one model CPLD for the JTAG parts (310, 311) and for
// the jig classes 3 and 4 (with the programmer CPLD's IDCODE), empty for every other class.
void FillJtagChain(sim::JtagChain& chain, int classIndex);

// Keeps `box`'s socket in step with g_CurrentDevice and g_nCurrentClass.
void WatchVirtualSocket(sim::Box& box);
