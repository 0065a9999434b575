// Arbitrary bytes as the device list the chip-ID decoding imports its signatures from: the import
// never fails on its own, every signature it keeps sits under a manufacturer of the table with a
// device code of two characters or more, and decoding any imported ID names that manufacturer.

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceIdDecoder.h"
#include "catalogue/DeviceLibrary.h"
#include "platform/MessageBox.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char* why)
{
    std::fprintf(stderr, "%s\n", why);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        platform::SetMessageBoxService([](const std::string&, const std::string&, UINT) { return IDOK; });
        SetDeviceListLogSink([](const std::string&, COLORREF) {});
        g_CurrentDevice.m_strId = "-"; // no ID is the current device's
        return true;
    }();
    (void)quiet;
    CDeviceIdDecoder decoder;
    decoder.FillManufacturerTable();
    decoder.ImportDeviceSignatures(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (decoder.Manufacturers().size() != kManufacturerRows)
        Fail("the table changed size");
    for (const CManufacturerEntry& row : decoder.Manufacturers()) {
        for (const CDeviceSignature& signature : row.m_Signatures) {
            if (signature.m_strId.size() < 2)
                Fail("a signature without a device code");
            if (decoder.FindManufacturer(row.m_strCode) != &row)
                continue; // a later row of a code: never found, never decoded
            CDeviceIdDecoder probe = decoder;
            probe.DecodeDeviceId(row.m_strCode + signature.m_strId, 0, "", "");
            if (probe.m_strManufacturerText != row.m_strName && row.m_strCode != "7F7F")
                Fail("an imported ID does not name its manufacturer");
        }
    }
    return 0;
}
