#pragma once
// libvexport: the programmer's USB device class. CVexlink finds the programmer among the USB
// devices it may talk to, moves packets over its bulk pipes with retries and time-outs, resets its
// 8051 and downloads firmware from Intel HEX text.
//
// Everything it needs of its host arrives in VexlinkServices: the USB provider and the sleep,
// message-box and line callbacks. Without them it uses its own libusb provider, real-time waits,
// and stderr, so it also works alone.
//
// Devices: 04B4:8613 and the "vid:pid" pairs listed (comma-separated) in TONRIG_USB_IDS, in
// (bus, port path) order.

#include "platform/usb/Usb.h"
#include "transport/MemImage.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

struct VEXPORT_API VexlinkServices {
    std::shared_ptr<platform::usb::UsbProvider> usb;
    std::function<void(std::uint32_t ms)> sleep;
    // A modal message box with an OK button; called on the caller's thread.
    std::function<void(const std::string& text)> messageBox;
    // Error and trace lines, each ending in "\n".
    std::function<void(const std::string& line)> line;
};

class VEXPORT_API CVexlink {
public:
    // The device-interface identifier the design registers its devices under; kept for reference.
    static constexpr const char* kDeviceInterfaceGuid = "{B35924D6-3E16-4A9E-9782-5524A4B79BAD}";
    static constexpr std::uint32_t kNoDevice = 0xFFFFFFFF;
    static constexpr unsigned kDefaultPipeTimeoutMs = 20000;

    CVexlink();
    explicit CVexlink(VexlinkServices services);
    ~CVexlink();
    CVexlink(const CVexlink&) = delete;
    CVexlink& operator=(const CVexlink&) = delete;

    // Services given here replace the defaults; members left empty keep theirs.
    void SetServices(VexlinkServices services);

    void CloseUSBDevice();
    int FindUSBDevice();
    int OpenUSBDevice();
    int Ready();
    int GetUSBType() const;
    bool Initialize_Device();
    std::string GetDevicePath();

    // 0 on success, kNoDevice when no device is found, else the failure's libusb error number
    // without its sign (9 for a stall, 7 for a time-out...).
    std::uint32_t WriteToDevice(
        const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* written, std::uint8_t pipe);
    std::uint32_t ReadFromDevice(std::uint8_t* buffer, std::uint32_t length, std::uint32_t* read, std::uint8_t pipe);

    bool SendData(const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* sent);
    // The bytes read; 0 when the transfer fails (a time-out gives what arrived before it).
    std::uint32_t ReadData(std::uint8_t* buffer, std::uint32_t length);
    // Time-out of one pipe in milliseconds, 0 for none.
    bool SetPipeTimeout(std::uint8_t pipe, std::uint32_t timeoutMs);

    bool Reset8051();
    bool LoadFirmware2(int id, bool scrambled);
    bool InitLoadFirmware(int id);
    bool LoadFirmware(int id, bool scrambled);
    bool LoadFirmwareFromHGLOBALBuffer(const void* data, std::size_t size, bool scrambled);
    bool LoadFirmwareFromFile(const std::string& path);
    bool hex2cFirmwareDownload(const std::string& path);
    bool LoadFirmwareFromFileOrg(const std::string& path);
    int MyOpenDevice();
    void ErrorMessage(const char* text);

    bool firmwareDownloadFromBuffer(const std::string& text);

    // The design's fields, in order.
    std::shared_ptr<platform::usb::UsbHandle> m_hDevice;
    platform::usb::UsbHandle* m_hWinUsbHandle = nullptr; // non-null: interface 0 claimed
    std::uint8_t m_DeviceSpeed = 0;
    std::uint8_t m_PipeInId = 0;
    std::uint8_t m_PipeOutId = 0;
    std::uint8_t m_PipeInterruptId = 0;
    int m_USBType = 0;

private:
    std::uint16_t CpucsAddress() const;
    std::uint8_t InPipe() const;
    bool WriteCpucs(std::uint8_t value, bool finalRelease);
    platform::usb::UsbStatus ControlWrite(std::uint16_t address, const std::uint8_t* data, std::size_t length);
    unsigned PipeTimeout(std::uint8_t pipe) const;
    bool ReadWholeFile(const std::string& path, std::string& out);
    void Sleep(std::uint32_t ms);
    void Box(const std::string& text);
    void Line(const std::string& text);

    VexlinkServices m_services;
    std::map<std::uint8_t, unsigned> m_pipeTimeouts;
    platform::usb::UsbStatus m_lastStatus = platform::usb::UsbStatus::Ok;
};
