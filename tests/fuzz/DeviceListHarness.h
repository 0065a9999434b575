#pragma once
// What the device list property test and the libFuzzer target check on any input: the reader
// and the line parser never fail on their own, give the same result twice, and an accepted
// record names a real class and holds no quote in any value.

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceListParser.h"

#include <QByteArray>

#include <string>
#include <string_view>

namespace tonrig::fuzz {

inline bool HasQuote(const std::string& s)
{
    return s.find('"') != std::string::npos;
}

inline std::string CheckRecord(const CDeviceRecord& r)
{
    if (r.m_nClassIndex < 0 || r.m_nClassIndex >= kNoDeviceClass)
        return "class index out of range";
    const std::string& className = g_DeviceClassTable[static_cast<std::size_t>(r.m_nClassIndex)].m_strName;
    if (className.empty() || devicelist::AsciiUpper(className) != r.m_strClass)
        return "record names another class than its Class= value";
    for (const std::string* text : { &r.m_strName, &r.m_strId, &r.m_strClass, &r.m_strDip, &r.m_strCtlBytes,
             &r.m_strPackage, &r.m_strAdapter, &r.m_strMessage, &r.m_strPlatform, &r.m_strChipMode,
             &r.m_strTempUnprotect, &r.m_strDeviceFile, &r.m_strBufferMode, &r.m_strClassFile, &r.m_strGndBytes,
             &r.m_strPinGnd, &r.m_strFirmwareId, &r.m_strFirmwareIdQ8U, &r.m_strManufacturer, &r.m_strProgramMode,
             &r.m_strOscCalAddress, &r.m_strCfgByteLabel, &r.m_strCfgAddress, &r.m_strCfgHexFileAddress,
             &r.m_strUserIdHexFileAddress, &r.m_strEepromHexFileAddress, &r.m_strFuseLabels }) {
        if (HasQuote(*text))
            return "a value holds a quote";
    }
    for (const std::string& title : r.m_strBufferTitle) {
        if (HasQuote(title))
            return "a title holds a quote";
    }
    if (r.m_nCodeSize < 0 || r.m_nCodeSize > devicelist::kMaxMemoryBytes || r.m_nDataSize < 0
        || r.m_nDataSize > devicelist::kMaxMemoryBytes)
        return "size out of range";
    return {};
}

// One line, parsed twice.
inline std::string CheckLine(std::string_view raw, int model, const devicelist::ClassNameIndex& classes)
{
    const std::string_view line = devicelist::TrimLeft(raw);
    if (line.size() > devicelist::kMaxLineBytes || !devicelist::IsDeviceLine(line))
        return {};
    const devicelist::LineOutcome a = devicelist::ParseDeviceLine(line, model, classes);
    const devicelist::LineOutcome b = devicelist::ParseDeviceLine(line, model, classes);
    if ((a.record == nullptr) != (b.record == nullptr) || a.box != b.box)
        return "results differ between two reads";
    if (!a.record)
        return {};
    if (!(*a.record == *b.record))
        return "records differ between two reads";
    return CheckRecord(*a.record);
}

// A whole file's bytes.
inline std::string CheckDeviceListText(const QByteArray& bytes, int model)
{
    static const bool ready = [] {
        InitDeviceClassTable();
        return true;
    }();
    (void)ready;
    const devicelist::ClassNameIndex classes;
    for (const std::string& line : devicelist::ReadLines(bytes)) {
        std::string why = CheckLine(line, model, classes);
        if (!why.empty())
            return why + ": " + line.substr(0, 200);
    }
    return {};
}

} // namespace tonrig::fuzz
