#include "catalogue/DeviceSelection.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceOverlay.h"
#include "link/LinkLease.h"
#include "platform/Trace.h"

#include <QCoreApplication>
#include <QThread>

std::vector<DeviceSelectEntry> DeviceSelectEntriesFromRecords()
{
    std::vector<DeviceSelectEntry> entries;
    entries.reserve(g_DeviceRecords.size());
    for (const auto& record : g_DeviceRecords)
        entries.push_back(
            { record->m_strName, record->m_strManufacturer, record->m_nCategory, record->m_nClassIndex, record.get() });
    return entries;
}

bool SelectDeviceEntry(const DeviceSelectEntry& entry)
{
    // Workers read the current device while they hold the link; it changes only between them,
    // and only on the GUI thread.
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        return false;
    if (g_LinkLease.IsHeld()) {
        Trace("device selection: %s not made current while the link is busy (%s)\n", entry.name.c_str(),
            LeaseHolderName(g_LinkLease.Holder()));
        return false;
    }
    if (entry.classIndex < 0 || entry.classIndex >= kDeviceClassCount)
        return false;
    g_PreviousDevice = g_CurrentDevice;
    g_CurrentDevice = g_DeviceClassTable[entry.classIndex];
    if (entry.record)
        ApplyDeviceRecord(*entry.record);
    return true;
}

CurrentDeviceFacts GetCurrentDeviceFacts()
{
    return { g_CurrentDevice.m_strName, g_CurrentDevice.m_strManufacturer, g_CurrentDevice.m_strPackage,
        g_CurrentDevice.m_strAdapter, g_CurrentDevice.m_strPlatform };
}

struct CurrentDeviceSnapshot::Devices {
    CDeviceClass current;
    CDeviceClass previous;
};

CurrentDeviceSnapshot::CurrentDeviceSnapshot()
    : m_devices(std::make_unique<Devices>(Devices { g_CurrentDevice, g_PreviousDevice }))
{
}

CurrentDeviceSnapshot::~CurrentDeviceSnapshot() = default;

void CurrentDeviceSnapshot::Restore() const
{
    g_CurrentDevice = m_devices->current;
    g_PreviousDevice = m_devices->previous;
}
