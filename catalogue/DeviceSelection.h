#pragma once
// The device side of the selection dialog: the listed devices from the loaded records, making
// one of them the current device, and taking the current device back when the user cancels.
// Everything here runs on the GUI thread.

#include "catalogue/DeviceSelectModel.h"

#include <memory>
#include <string>
#include <vector>

// The devices of g_DeviceRecords, in record order.
std::vector<DeviceSelectEntry> DeviceSelectEntriesFromRecords();

// Makes `entry` the current device: g_PreviousDevice takes g_CurrentDevice, which becomes the
// entry's class with the entry's own record laid over it. False, and nothing changes, while a
// device setup runs, when the class is out of range, or off the GUI thread.
bool SelectDeviceEntry(const DeviceSelectEntry& entry);

// What the dialog shows of the current device.
struct CurrentDeviceFacts {
    std::string name;
    std::string manufacturer;
    std::string package;
    std::string adapter;
    std::string platform;
};
CurrentDeviceFacts GetCurrentDeviceFacts();

// g_CurrentDevice and g_PreviousDevice as they were when it was made.
class CurrentDeviceSnapshot {
public:
    CurrentDeviceSnapshot();
    ~CurrentDeviceSnapshot();
    CurrentDeviceSnapshot(const CurrentDeviceSnapshot&) = delete;
    CurrentDeviceSnapshot& operator=(const CurrentDeviceSnapshot&) = delete;
    void Restore() const;

private:
    struct Devices;
    std::unique_ptr<Devices> m_devices;
};
