#pragma once
// The four texts the chip-ID dialog shows (the ID, its manufacturer, the device type and the
// revision) and how an ID read from the chip fills them. This first form knows the selected
// device only: an ID equal to its ID text names it; any other ID is "not in library".

#include <string>
#include <string_view>

// The manufacturer code of the PIC classes: a word-wide ID read from one of them carries it,
// and only with it does the revision beside the ID mean something.
constexpr std::string_view kMicrochipCode = "29";

class CDeviceIdDecoder {
public:
    // `id`: the ID as hex text, in either letter case. `length` is not used. `code`: the
    // manufacturer code the caller knows ("29" for the PIC classes), else empty; `revision`:
    // the revision text that goes with that code.
    void DecodeDeviceId(std::string_view id, int length, std::string_view code, std::string_view revision);

    std::string m_strDeviceId;
    std::string m_strManufacturerText;
    std::string m_strType;
    std::string m_strRevision;
};
