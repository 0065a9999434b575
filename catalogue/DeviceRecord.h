#pragma once
// One device of a device list file. Every field starts at its "not given" marker ("-1", 0xFF,
// category 10, code size 0, data size 255, speed and device address 0, empty class file), so
// that laying the record over its class (ApplyDeviceRecord) leaves the class's value in force.

#include "catalogue/DeviceClass.h"

#include <array>
#include <cstdint>
#include <string>

class CDeviceRecord {
public:
    // The default firmware id follows the programmer model at construction.
    CDeviceRecord();
    explicit CDeviceRecord(int programmerModel);

    std::string m_strName = "-1";
    std::string m_strId = "-1";
    std::string m_strClass = "-1";
    std::string m_strDip = "-1";
    std::string m_strCtlBytes = "-1";
    std::string m_strPackage = "-1";
    std::string m_strAdapter = "-1";
    std::string m_strMessage = "-1";
    std::string m_strPlatform = "-1";
    std::string m_strChipMode = "-1";
    std::string m_strTempUnprotect = "-1";
    std::string m_strDeviceFile = "-1";
    std::string m_strBufferMode = "-1";
    std::string m_strClassFile;
    std::string m_strGndBytes = "-1";
    std::string m_strPinGnd = "-1";
    std::string m_strFirmwareId;
    std::string m_strFirmwareIdQ8U;
    std::int32_t m_nFirmwareNumber = 0;
    std::int32_t m_nFirmwareNumberQ8U = 0;
    std::uint8_t m_nDeviceIndex = 0xFF;
    std::uint8_t m_nVpp = 0xFF;
    std::uint8_t m_nVcc = 0xFF;
    std::uint8_t m_nWriteVcc = 0xFF;
    std::uint8_t m_nReadVpp = 0xFF;
    std::uint8_t m_nEraseVpp = 0xFF;
    std::uint8_t m_nEraseVcc = 0xFF;
    std::uint8_t m_nBlankVcc = 0xFF;
    std::int32_t m_nCodeSize = 0;
    std::int32_t m_nDataSize = 255;
    std::uint8_t m_nPinGroup = 0xFF;
    std::uint8_t m_nVccPins = 0xFF;
    std::uint8_t m_nVppPins = 0xFF;
    std::uint8_t m_nSpare = 0xFF;
    std::uint8_t m_nZif48Cfg1 = 0xFF;
    std::uint8_t m_nZif48Cfg2 = 0xFF;
    std::uint8_t m_nVccAdjust = 0xFF;
    std::uint8_t m_nSpeed = 0;
    std::uint8_t m_nDeviceAddress = 0;
    std::int32_t m_nClassIndex = kNoDeviceClass; // set when Class= names a class
    std::int32_t m_nCategory = kCategoryNotGiven;
    std::string m_strManufacturer = "-1";
    std::string m_strProgramMode = "-1";
    std::array<std::uint8_t, kPicCommandCount> m_Command = AllNotGiven();
    std::string m_strOscCalAddress = "-1";
    std::string m_strCfgByteLabel = "-1";
    std::string m_strCfgAddress = "-1";
    std::string m_strCfgHexFileAddress = "-1";
    std::string m_strUserIdHexFileAddress = "-1";
    std::string m_strEepromHexFileAddress = "-1";
    std::string m_strFuseLabels = "-1";
    std::array<std::string, 5> m_strBufferTitle { "-1", "-1", "-1", "-1", "-1" };

    bool operator==(const CDeviceRecord&) const = default;

private:
    static std::array<std::uint8_t, kPicCommandCount> AllNotGiven()
    {
        std::array<std::uint8_t, kPicCommandCount> bytes;
        bytes.fill(0xFF);
        return bytes;
    }
};
