// Arbitrary bytes as a device description file, read for a 14-bit and a 16-bit PIC class, then
// the words brought back from the configuration bytes: the records stay within their 32 words,
// 16 fields and 128 settings, and the configuration length within the descriptor's 32 bytes.

#include "catalogue/ConfigDescription.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static const bool ready = [] {
        InitDeviceClassTable();
        SetDeviceListLogSink([](const std::string&, COLORREF) { });
        return true;
    }();
    (void)ready;
    static auto records = std::make_unique<CConfigDescription>();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (int index : { 313, 323 }) {
        CDeviceClass device = g_DeviceClassTable[static_cast<std::size_t>(index)];
        device.m_strDeviceFile = "fuzz.dev";
        records->ResetRecords();
        records->LoadDeviceText(device, text, device.m_strDeviceFile);
        const int length = device.m_pPicConfig->m_nConfigBytes;
        if (length < 0 || length > 32)
            std::abort();
        const int words = records->WordCount();
        if (words > CConfigDescription::kMaxWords)
            std::abort();
        for (int w = 0; w < words; ++w) {
            const CFG_WORD_DESC& word = records->Word(w);
            const int fields = CConfigDescription::FieldCount(word);
            if (fields > CConfigDescription::kMaxFields)
                std::abort();
            for (int f = 0; f < fields; ++f) {
                if (CConfigDescription::SettingCount(word.m_Fields[f]) > CConfigDescription::kMaxSettings)
                    std::abort();
            }
        }
        records->StoreWords(*device.m_pPicConfig);
        records->LoadFromDevice(device);
        if (records->CountFieldRows() > CConfigDescription::kMaxWords * CConfigDescription::kMaxFields)
            std::abort();
    }
    return 0;
}
