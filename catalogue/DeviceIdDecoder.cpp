#include "catalogue/DeviceIdDecoder.h"

#include "catalogue/DeviceClass.h"
#include "shell/Language.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string_view text)
{
    std::string upper(text);
    std::transform(
        upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

constexpr int kTextNotInLibrary = 115;
constexpr int kTextUnknownDevice = 116;

} // namespace

void CDeviceIdDecoder::DecodeDeviceId(
    std::string_view id, int /*length*/, std::string_view code, std::string_view revision)
{
    const std::string upperId = Upper(id);

    // An erased or absent PIC answers all ones: no revision to show then.
    if (!code.empty() && upperId != "FFFF" && upperId != "3FFF") {
        if (code == kMicrochipCode)
            m_strRevision = Upper(revision);
    } else {
        m_strRevision = "-";
    }

    if (upperId == g_CurrentDevice.m_strId) {
        m_strDeviceId = upperId;
        m_strManufacturerText = g_CurrentDevice.m_strManufacturer;
        m_strType = g_CurrentDevice.m_strName;
        return;
    }

    m_strDeviceId = upperId;
    m_strManufacturerText = g_Language.GetText(kTextNotInLibrary);
    m_strType = g_Language.GetText(kTextUnknownDevice);
}
