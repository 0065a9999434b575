// Arbitrary bytes as a device list file, as a ZV-C or a ZV-D list: see DeviceListHarness.h.

#include "tests/fuzz/DeviceListHarness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (int model : { 5, 8 }) {
        const std::string why = tonrig::fuzz::CheckDeviceListText(bytes, model);
        if (!why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            std::abort();
        }
    }
    return 0;
}
