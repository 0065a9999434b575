#pragma once
// The values of the current device that loading and saving the buffers need, and the
// configuration word between the buffer model and the device's descriptor.

#include "buffer/BufferModel.h"
#include "buffer/BufferTypes.h"

class CDeviceClass;

// Fills the parameters from a device record; `selected` when a class is set up (not
// kNoDeviceClass) and the record names a chip.
buffer::CBufferDeviceParams MakeBufferDeviceParams(const CDeviceClass& device, int currentClass);
// The same for g_CurrentDevice and g_nCurrentClass.
buffer::CBufferDeviceParams CurrentBufferDeviceParams();

// Copies the model's configuration word into the device's PIC descriptor (which then counts as
// supplied: a file gave it), and back. Nothing happens for a device without one.
void StoreConfigWord(const buffer::CBufferModel& model, CDeviceClass& device);
void LoadConfigWord(buffer::CBufferModel& model, const CDeviceClass& device);
