#include "catalogue/DeviceClass.h"

std::array<CDeviceClass, kDeviceClassCount> g_DeviceClassTable;
CDeviceClass g_CurrentDevice;
CDeviceClass g_PreviousDevice;
int g_nCurrentClass = kNoDeviceClass;

int SignatureLength(const CDeviceClass& device)
{
    const std::string& id = device.m_strId;
    if (id.empty() || id.size() % 2 != 0)
        return 0;
    for (char c : id) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return 0;
    }
    return static_cast<int>(id.size() / 2);
}
