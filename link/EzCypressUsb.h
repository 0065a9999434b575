#pragma once
// The general-purpose EZ-USB back end (transport mode 0). Its devices "Ezusb-0" to "Ezusb-3" are
// the first four allow-listed devices; the first that opens is kept open between transfers and
// opened again only after a failure. Endpoints and the CPU control register follow
// g_nUsbChipType (AN21xx unless it is 2).
//
// Not thread-safe on its own: the programmer link serialises every call.

#include "platform/Event.h"
#include "platform/usb/Usb.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CEZCypressUSB {
public:
    static constexpr int kDevices = 4;
    static constexpr int kAttempts = 51;
    static constexpr unsigned kRetryDelayMs = 50;
    static constexpr unsigned kTransferTimeoutMs = 20000;
    static constexpr std::uint32_t kRamLimit = 8192;

    // Takes the provider and makes the events "IN1READY" to "IN7READY" and "IN1Got", unsignalled.
    void Bind(std::shared_ptr<platform::usb::UsbProvider> provider);
    void Close();
    // The name of device n ("Ezusb-0"...).
    static std::string DeviceName(int n);

    // Up to 51 attempts, closing, waiting 50 ms and opening again between them; a transfer that
    // moved any bytes is never repeated. One box per loss of the device, until a transfer succeeds.
    platform::usb::UsbTransferResult SendData(const std::uint8_t* data, std::size_t length, int timeoutMs = -1);
    platform::usb::UsbTransferResult ReadData(std::uint8_t* data, std::size_t length, int timeoutMs = -1);

    // Holds the 8051 in reset.
    bool Reset8051();
    // Image N from the resources; 300 ms and the device's return; then P_FIRMWARE_ID_SET.
    bool SwitchFirmware(int number);
    bool LoadInitialFirmware(int number);
    bool LoadFirmwareFromFile(const std::string& path);
    bool LoadFirmwareFromBuffer(const std::uint8_t* data, std::size_t size);
    // Holds, writes below 8192, releases; "Firmware send error #01." / "#03." on failure.
    bool Download(const std::string& hexText);

    bool HasDevice() const { return m_handle != nullptr; }

private:
    bool OpenDevice();
    bool WaitForReturn();
    bool HasEndpoint(std::uint8_t endpoint);
    platform::usb::UsbTransferResult Transfer(
        std::uint8_t endpoint, std::uint8_t* data, std::size_t length, int timeoutMs, bool read);

    std::shared_ptr<platform::usb::UsbProvider> m_provider;
    std::shared_ptr<platform::usb::UsbHandle> m_handle;
    platform::usb::UsbDeviceInfo m_info;
    std::vector<platform::usb::UsbEndpoint> m_endpoints;
    bool m_lossShown = false;
    std::vector<std::shared_ptr<platform::ManualResetEvent>> m_events;
};
