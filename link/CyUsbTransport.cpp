#include "link/CyUsbTransport.h"

#include "link/FirmwareText.h"
#include "link/LinkBoxes.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerDevices.h"
#include "link/RamLoader.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

#include <atomic>
#include <cstdio>

using platform::usb::UsbDeviceInfo;
using platform::usb::UsbEndpointType;
using platform::usb::UsbStatus;
using platform::usb::UsbTransferResult;

namespace {

constexpr std::uint16_t kVendorId = 0x04B4;

void TellAboutUdevOnce()
{
    static std::atomic<bool> told { false };
    if (!told.exchange(true))
        std::fprintf(stderr,
            "tonrig: the programmer may not be opened (access denied); install the udev rules "
            "described in platform/usb/README.md, then replug it\n");
}

} // namespace

void CCyUSBTransport::Bind(std::shared_ptr<platform::usb::UsbProvider> provider)
{
    Close();
    m_provider = std::move(provider);
    m_opens = 0;
}

void CCyUSBTransport::Close()
{
    if (m_handle)
        m_handle->ReleaseInterface();
    m_handle.reset();
    m_info = {};
    m_out = m_in = 0;
}

bool CCyUSBTransport::Open()
{
    if (m_handle && m_handle->IsPresent())
        return true;
    return OpenFirstDevice();
}

bool CCyUSBTransport::OpenFirstDevice()
{
    Close();
    if (!m_provider)
        return false;
    for (const UsbDeviceInfo& device : CProgrammerDevices::List(*m_provider)) {
        if (device.vendorId != kVendorId)
            continue;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (attempt)
                platform::Sleep(1000);
            ++m_opens;
            auto opened = m_provider->Open(device);
            if (opened.status == UsbStatus::Access)
                TellAboutUdevOnce();
            if (!opened.handle)
                continue;
            const auto claim = opened.handle->ClaimInterface();
            if (claim.status == UsbStatus::Access)
                TellAboutUdevOnce();
            if (claim.status != UsbStatus::Ok)
                continue; // a device another program holds counts as not opened
            m_handle = std::move(opened.handle);
            m_info = device;
            PickEndpoints();
            return true;
        }
    }
    return false;
}

bool CCyUSBTransport::PickEndpoints()
{
    m_out = m_in = 0;
    std::vector<platform::usb::UsbEndpoint> endpoints;
    if (!m_handle || m_handle->GetEndpoints(endpoints) != UsbStatus::Ok)
        return false;
    for (const auto& e : endpoints) {
        if (e.type != UsbEndpointType::Bulk)
            continue;
        if (e.IsIn() && !m_in)
            m_in = e.address;
        else if (!e.IsIn() && !m_out)
            m_out = e.address;
    }
    m_outTimeoutMs = m_inTimeoutMs = kTransferTimeoutMs;
    return HasEndpoints();
}

bool CCyUSBTransport::Refresh()
{
    const UsbDeviceInfo before = m_info;
    const bool hadDevice = m_handle != nullptr;
    platform::Sleep(100);
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt)
            platform::Sleep(500);
        // The device that took the download must leave first; until then it is the old firmware.
        if (hadDevice && m_provider && CProgrammerDevices::StillThere(*m_provider, before))
            continue;
        if (OpenFirstDevice() && HasEndpoints())
            return true;
    }
    Trace("The programmer did not come back after the firmware download\n");
    return false;
}

unsigned CCyUSBTransport::Timeout(int timeoutMs) const
{
    return timeoutMs < 0 ? kTransferTimeoutMs : static_cast<unsigned>(timeoutMs);
}

UsbTransferResult CCyUSBTransport::SendData(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    if (!m_handle || !m_out)
        return { UsbStatus::NoDevice, 0 };
    // An OUT transfer leaves the buffer as it is.
    return m_handle->BulkTransfer(
        m_out, const_cast<std::uint8_t*>(data), length, timeoutMs < 0 ? m_outTimeoutMs : Timeout(timeoutMs));
}

UsbTransferResult CCyUSBTransport::ReadData(std::uint8_t* data, std::size_t length, int timeoutMs)
{
    if (!m_handle || !m_in)
        return { UsbStatus::NoDevice, 0 };
    return m_handle->BulkTransfer(m_in, data, length, timeoutMs < 0 ? m_inTimeoutMs : Timeout(timeoutMs));
}

bool CCyUSBTransport::Reset8051()
{
    if (!Open()) {
        CLinkBoxes::Show("No USB Devices connected.");
        return false;
    }
    return CRamLoader::WriteCpucs(*m_handle, kCpucs, 1) == UsbStatus::Ok;
}

bool CCyUSBTransport::Download(const std::string& hexText)
{
    if (!Open())
        return false;
    const auto plan = CFirmwareText::MakePlan(hexText, kRamLimit);
    const auto result = CRamLoader::Download(*m_handle, kCpucs, plan);
    return result == CRamLoader::Result::Ok;
}

bool CCyUSBTransport::DownloadAndRefresh(const std::string& hexText)
{
    if (!Download(hexText))
        return false;
    return Refresh();
}

bool CCyUSBTransport::LoadInitialFirmware(int number)
{
    const auto text = CFirmwareText::FromResource(number);
    if (!text) {
        Trace("Firmware %d: no such image\n", number);
        return false;
    }
    return DownloadAndRefresh(*text);
}

bool CCyUSBTransport::SwitchFirmware(int number)
{
    // A device that did not come back gets no id: it would only time out.
    if (!LoadInitialFirmware(number))
        return false;
    const Packet id = packets::FirmwareIdSet(number);
    const auto r = SendData(id.data(), id.size());
    return r.status == UsbStatus::Ok && r.count == id.size();
}

bool CCyUSBTransport::LoadFirmwareFromFile(const std::string& path)
{
    const auto kind = CFirmwareText::KindOf(path);
    if (kind == CFirmwareText::FileKind::Other) {
        CLinkBoxes::Show("Error! Only .Hex firmware can be loaded.");
        return false;
    }
    auto text = CFirmwareText::ReadFile(path);
    if (!text) {
        CLinkBoxes::Show(kind == CFirmwareText::FileKind::Hex ? "Error! The .Hex firmware can not be loaded."
                                                              : "Error! The .enc file can not be loaded.");
        return false;
    }
    if (kind == CFirmwareText::FileKind::Enc)
        *text = CFirmwareText::FromStored(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
    if (!Download(*text)) {
        CLinkBoxes::Show("Error! Loading failed.");
        return false;
    }
    return Refresh();
}

bool CCyUSBTransport::LoadFirmwareFromBuffer(const std::uint8_t* data, std::size_t size)
{
    return DownloadAndRefresh(CFirmwareText::FromStored(data, size));
}
