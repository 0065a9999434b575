#pragma once
// Writes a firmware plan into the 8051's RAM by vendor request 0xA0: hold the CPU (CPU control
// register 1), write each block, release it (0). Any failure before the release leaves the 8051
// held, so it never runs half an image.

#include "link/FirmwareText.h"
#include "platform/usb/Usb.h"

#include <cstdint>

class CRamLoader {
public:
    enum class Result { Ok, HoldFailed, PlanFailed, WriteFailed, ReleaseFailed };

    // `plan` may have failed to parse: the 8051 is then held and left so.
    static Result Download(platform::usb::UsbHandle& handle, std::uint16_t cpucs, const CFirmwareText::Plan& plan);

    static platform::usb::UsbStatus WriteRam(
        platform::usb::UsbHandle& handle, std::uint16_t address, const std::uint8_t* data, std::size_t length);
    static platform::usb::UsbStatus WriteCpucs(
        platform::usb::UsbHandle& handle, std::uint16_t cpucs, std::uint8_t value);
};
