#include "operations/BufferDeviceParams.h"

#include "catalogue/DeviceClass.h"

#include <algorithm>

buffer::CBufferDeviceParams MakeBufferDeviceParams(const CDeviceClass& device, int currentClass)
{
    buffer::CBufferDeviceParams params;
    params.selected
        = currentClass >= 0 && currentClass < kNoDeviceClass && !device.m_strName.empty() && device.m_strName != "All";
    if (!params.selected)
        return params;
    params.memorySize = static_cast<std::uint32_t>(std::max(0, device.m_nCodeSize));
    params.dataSize = static_cast<std::uint32_t>(std::max(0, device.m_nDataSize));
    params.typeCode = device.m_nType;
    if (const CPicConfigInfo* pic = device.m_pPicConfig.get()) {
        params.pic = true;
        params.coreBits = pic->m_nCoreBits;
        params.configMemoryWords = pic->m_nConfigMemoryWords;
        params.configBytes = std::clamp(pic->m_nConfigBytes, 0, static_cast<int>(pic->m_ConfigValue.size()));
        params.configHexAddress = static_cast<std::uint32_t>(pic->m_nConfigHexAddress);
        params.idHexAddress = static_cast<std::uint32_t>(pic->m_nIdHexAddress);
        params.eepromHexAddress = static_cast<std::uint32_t>(pic->m_nEepromHexAddress);
    }
    return params;
}

buffer::CBufferDeviceParams CurrentBufferDeviceParams()
{
    return MakeBufferDeviceParams(g_CurrentDevice, g_nCurrentClass);
}

void StoreConfigWord(const buffer::CBufferModel& model, CDeviceClass& device)
{
    CPicConfigInfo* pic = device.m_pPicConfig.get();
    if (!pic)
        return;
    const std::vector<std::uint8_t>& word = model.ConfigWord();
    const std::size_t count = std::min(word.size(), pic->m_ConfigValue.size());
    std::copy_n(word.begin(), count, pic->m_ConfigValue.begin());
    pic->m_bConfigSupplied = true;
}

void LoadConfigWord(buffer::CBufferModel& model, const CDeviceClass& device)
{
    const CPicConfigInfo* pic = device.m_pPicConfig.get();
    if (!pic)
        return;
    const std::size_t count
        = static_cast<std::size_t>(std::clamp(pic->m_nConfigBytes, 0, static_cast<int>(pic->m_ConfigValue.size())));
    model.ConfigWord().assign(
        pic->m_ConfigValue.begin(), pic->m_ConfigValue.begin() + static_cast<std::ptrdiff_t>(count));
}
