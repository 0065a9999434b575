#include "catalogue/DeviceOverlay.h"

#include "catalogue/DeviceListParser.h"
#include "shell/HexParse.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <sstream>

namespace {

constexpr const char* kNotGiven = "-1";

void SetText(std::string& target, const std::string& value)
{
    if (value != kNotGiven)
        target = value;
}

void SetByte(std::uint8_t& target, std::uint8_t value)
{
    if (value != 0xFF)
        target = value;
}

// Bit names from a blank-separated label, byte 0 bit 0 first; names not given stay "-".
void SetBitNames(CPicConfigInfo& pic, const std::string& label)
{
    for (auto& byte : pic.m_strBitName)
        byte.fill("-");
    std::istringstream words(label);
    std::string word;
    for (std::size_t n = 0; n < 32 * 8 && words >> word; ++n)
        pic.m_strBitName[n / 8][n % 8] = word;
}

} // namespace

void ApplyDeviceRecord(const CDeviceRecord& r, CDeviceClass& d)
{
    d.m_strName = r.m_strName;
    for (std::size_t i = 0; i < d.m_strBufferTitle.size(); ++i)
        SetText(d.m_strBufferTitle[i], r.m_strBufferTitle[i]);
    SetText(d.m_strManufacturer, r.m_strManufacturer);
    SetText(d.m_strPackage, r.m_strPackage);
    SetText(d.m_strAdapter, r.m_strAdapter);
    SetText(d.m_strMessage, r.m_strMessage);
    SetText(d.m_strPlatform, r.m_strPlatform);
    if (r.m_nCategory != kCategoryNotGiven)
        d.m_nType = r.m_nCategory;
    if (r.m_nDeviceAddress != 0)
        d.m_nDeviceAddress = r.m_nDeviceAddress;
    if (r.m_nSpeed != 0)
        d.m_nSpeed = r.m_nSpeed;
    if (!r.m_strClassFile.empty())
        d.m_strClassFile = r.m_strClassFile;
    // "-1" is this field's not-given marker as everywhere else.
    if (!r.m_strPinGnd.empty() && r.m_strPinGnd != kNotGiven)
        d.m_strPinGnd = r.m_strPinGnd;
    if (!r.m_strFirmwareId.empty())
        d.m_strFirmwareId = r.m_strFirmwareId;
    if (!r.m_strFirmwareIdQ8U.empty())
        d.m_strFirmwareIdQ8U = r.m_strFirmwareIdQ8U;
    if (r.m_strChipMode != kNotGiven) {
        d.m_strChipMode = r.m_strChipMode;
        if (d.m_strChipMode == "ICSP") {
            d.m_strPackage = "DIP18";
            if (d.m_strAdapter.empty())
                d.m_strAdapter = "JIG-056 ICSP Adapter";
        }
    }
    SetText(d.m_strDeviceFile, r.m_strDeviceFile);
    SetText(d.m_strBufferMode, r.m_strBufferMode);
    SetText(d.m_strTempUnprotect, r.m_strTempUnprotect);
    SetText(d.m_strCpldDip, r.m_strDip);
    SetText(d.m_strCtlBytes, r.m_strCtlBytes);
    SetText(d.m_strGndBytes, r.m_strGndBytes);
    SetByte(d.m_nDeviceIndex, r.m_nDeviceIndex);
    SetByte(d.m_nVpp, r.m_nVpp);
    SetByte(d.m_nVcc, r.m_nVcc);
    SetByte(d.m_nVppSwitch, r.m_nVppPins);
    SetByte(d.m_nVccSwitch, r.m_nVccPins);
    SetByte(d.m_nSwitchA, r.m_nPinGroup);
    if (r.m_nWriteVcc != 0xFF)
        d.m_nWriteVcc = r.m_nWriteVcc;
    else if (d.m_nType != kCategoryEprom && d.m_nVcc != 0xFF)
        d.m_nWriteVcc = d.m_nVcc;
    SetByte(d.m_nZif48Cfg, r.m_nZif48Cfg2);
    SetByte(d.m_nVccAdjust, r.m_nVccAdjust);
    d.m_nEraseVcc = r.m_nEraseVcc != 0xFF ? r.m_nEraseVcc : d.m_nVcc;
    d.m_nBlankVcc = r.m_nBlankVcc != 0xFF ? r.m_nBlankVcc : d.m_nVcc;
    SetByte(d.m_nReadVpp, r.m_nReadVpp);
    SetByte(d.m_nEraseVpp, r.m_nEraseVpp);
    SetText(d.m_strId, r.m_strId);
    if (r.m_nCodeSize > 0)
        d.m_nCodeSize = r.m_nCodeSize;
    if (r.m_nDataSize != 255)
        d.m_nDataSize = r.m_nDataSize;
    SetText(d.m_strFuseLabels, r.m_strFuseLabels);

    if (!d.m_pPicConfig)
        return;
    CPicConfigInfo& pic = *d.m_pPicConfig;
    for (std::size_t i = 0; i < pic.m_Command.size(); ++i)
        SetByte(pic.m_Command[i], r.m_Command[i]);
    if (r.m_strProgramMode != kNotGiven)
        pic.m_nProgramMode = r.m_strProgramMode == "0" ? 0 : 1;
    if (r.m_strOscCalAddress != kNotGiven) {
        const std::int64_t value = devicelist::ParseDecimal(r.m_strOscCalAddress);
        pic.m_nOscCalAddress = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
        pic.m_bHasOscCal = 1;
    } else {
        pic.m_bHasOscCal = 0;
    }
    if (r.m_strCfgAddress != kNotGiven)
        pic.m_nConfigAddress = ParseHex(r.m_strCfgAddress);
    if (r.m_strEepromHexFileAddress != kNotGiven)
        pic.m_nEepromHexAddress = ParseHex(r.m_strEepromHexFileAddress);
    if (r.m_strCfgHexFileAddress != kNotGiven)
        pic.m_nConfigHexAddress = ParseHex(r.m_strCfgHexFileAddress);
    if (r.m_strUserIdHexFileAddress != kNotGiven)
        pic.m_nIdHexAddress = ParseHex(r.m_strUserIdHexFileAddress);
    if (r.m_strCfgByteLabel != kNotGiven)
        SetBitNames(pic, r.m_strCfgByteLabel);
}

void ApplyDeviceRecord(const CDeviceRecord& record)
{
    ApplyDeviceRecord(record, g_CurrentDevice);
}
