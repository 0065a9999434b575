#pragma once
// Laying a device record over the current device.

#include "catalogue/DeviceRecord.h"

// Writes the record's given values into g_CurrentDevice and its own PIC descriptor. The caller
// has assigned the record's class entry to g_CurrentDevice first (and, in the selection dialog,
// saved the previous device). The class table is never written.
void ApplyDeviceRecord(const CDeviceRecord& record);

// The same onto any device record (the current device above).
void ApplyDeviceRecord(const CDeviceRecord& record, CDeviceClass& device);
