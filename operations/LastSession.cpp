#include "operations/LastSession.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceOverlay.h"
#include "shell/RegistryKey.h"

#include <QString>

namespace {

std::string Upper(const std::string& text)
{
    return QString::fromStdString(text).toUpper().toStdString();
}

} // namespace

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
    const auto open = [host, file] {
        if (file.empty())
            return;
        if (host.log)
            host.log("Load " + file + "\r\n");
        if (host.openFile)
            host.openFile(file);
    };
    if (device.empty()) {
        open();
        return false;
    }
    if (host.log)
        host.log("DEVICE " + device + "\r\n");
    const int classIndex = host.selectDevice ? host.selectDevice(Upper(device)) : -1;
    if (classIndex < 0) {
        // As a script stops at its first failing line, the file is not loaded either.
        if (host.log)
            host.log("Device not found!\r\n");
        return false;
    }
    if (host.startSetup)
        host.startSetup(classIndex);
    if (host.whenSetupDone)
        host.whenSetupDone(open);
    else
        open();
    return true;
}
