#include "catalogue/DeviceRecord.h"

#include "catalogue/CpldConfigurations.h"
#include "link/ProgrammerModel.h"

CDeviceRecord::CDeviceRecord()
    : CDeviceRecord(g_nProgrammerModel.load())
{
}

CDeviceRecord::CDeviceRecord(int programmerModel)
{
    if (programmerModel == kModelZvD) {
        m_strFirmwareId = kDefaultFirmwareIdZvD;
        m_nFirmwareNumber = kDefaultFirmwareNumberZvD;
    } else {
        m_strFirmwareId = kDefaultFirmwareId;
        m_nFirmwareNumber = kDefaultFirmwareNumber;
    }
}
