#pragma once
// The compiled-in device classes.

#include "catalogue/DeviceClass.h"

// Fills g_DeviceClassTable: every entry back to the defaults, then the 298 classes with their
// PIC descriptors. Idempotent; copies made from the table before stay valid.
void InitDeviceClassTable();

// Where a class's chip sits and how its pin-driver masks come about.
enum class ClassPlacement : std::uint8_t {
    Rule, // a DIP chip in the 40-pin socket; masks follow from its pins' positions
    Dip40, // 40-pin chips; the 40-pin wiring of the programmer
    Adapter, // the chip sits on an adapter board
    Isp, // in-system programming over a cable
    To92, // 1-Wire parts in their own socket
    Jtag, // JTAG cable
    Zif, // the chip is wired by its own configuration of the programmer
    None, // an unfilled entry
};

// The placement of a filled class (None for the empty entries).
ClassPlacement PlacementOfClass(int index);

// The bus-address pins a serial EEPROM class decodes, as bits of its control byte's A2 A1 A0
// (bit 2 A2, bit 0 A0); the other positions are page bits or unused. 0 for a class that decodes
// none or is no serial EEPROM.
std::uint8_t EepromAddressPins(int classIndex);
