#include "operations/LastSession.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceOverlay.h"
#include "shell/RegistryKey.h"

int SelectDeviceByName(const std::string& upperName)
{
    const CDeviceRecord* record = g_DeviceLibrary.FindDevice(upperName);
    if (!record || record->m_nClassIndex < 0 || record->m_nClassIndex >= kDeviceClassCount)
        return -1;
    g_PreviousDevice = g_CurrentDevice;
    g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(record->m_nClassIndex)];
    ApplyDeviceRecord(*record);
    return record->m_nClassIndex;
}

bool LoadLastSession(const LastSessionHost& host)
{
    std::string device;
    std::string file;
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (key.Open(HKEY_CURRENT_USER, kLastSessionKey)) {
            key.ReadString("LastDevice", device);
            key.ReadString("LastOpenedFileName", file);
            key.Close();
        }
    }
    if (!host.runLine)
        return false;
    const auto runLine = host.runLine;
    const auto open = [runLine, file] {
        if (!file.empty())
            runLine("Load " + file, {});
    };
    if (device.empty()) {
        open();
        return false;
    }
    // As a script stops at its first failing line, an unknown device loads no file either.
    runLine("DEVICE " + device, [open](bool ok) {
        if (ok)
            open();
    });
    return true;
}
