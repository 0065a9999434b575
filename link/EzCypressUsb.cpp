#include "link/EzCypressUsb.h"

#include "link/FirmwareText.h"
#include "link/LinkBoxes.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerDevices.h"
#include "link/RamLoader.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"

#include <algorithm>
#include <cstdlib>

using platform::usb::UsbStatus;
using platform::usb::UsbTransferResult;

void CEZCypressUSB::Bind(std::shared_ptr<platform::usb::UsbProvider> provider)
{
    Close();
    m_provider = std::move(provider);
    m_lossShown = false;
    m_events.clear();
    for (int i = 1; i <= 7; ++i)
        m_events.push_back(platform::CreateNamedEvent(platform::Format("IN%dREADY", i), false));
    m_events.push_back(platform::CreateNamedEvent("IN1Got", false));
    for (auto& e : m_events)
        e->Reset();
}

void CEZCypressUSB::Close()
{
    if (m_handle)
        m_handle->ReleaseInterface();
    m_handle.reset();
    m_endpoints.clear();
    m_info = {};
}

std::string CEZCypressUSB::DeviceName(int n)
{
    return platform::Format("Ezusb-%d", n);
}

bool CEZCypressUSB::OpenDevice()
{
    Close();
    if (!m_provider)
        return false;
    auto devices = CProgrammerDevices::List(*m_provider);
    if (devices.size() > kDevices)
        devices.resize(kDevices);
    for (const auto& device : devices) {
        auto opened = m_provider->Open(device);
        if (!opened.handle)
            continue;
        if (opened.handle->ClaimInterface().status != UsbStatus::Ok)
            continue;
        m_handle = std::move(opened.handle);
        m_info = device;
        m_handle->GetEndpoints(m_endpoints);
        return true;
    }
    return false;
}

bool CEZCypressUSB::HasEndpoint(std::uint8_t endpoint)
{
    return std::any_of(m_endpoints.begin(), m_endpoints.end(), [&](const platform::usb::UsbEndpoint& e) {
        return e.address == endpoint && e.type == platform::usb::UsbEndpointType::Bulk;
    });
}

UsbTransferResult CEZCypressUSB::Transfer(
    std::uint8_t endpoint, std::uint8_t* data, std::size_t length, int timeoutMs, bool read)
{
    const unsigned timeout = timeoutMs < 0 ? kTransferTimeoutMs : static_cast<unsigned>(timeoutMs);
    UsbTransferResult r { UsbStatus::NoDevice, 0 };
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt) {
            Close();
            platform::Sleep(kRetryDelayMs);
        }
        if (!m_handle && !OpenDevice()) {
            r = { UsbStatus::NoDevice, 0 };
            continue;
        }
        // A device without the endpoint (no firmware yet) is no programmer to talk to.
        if (!HasEndpoint(endpoint)) {
            r = { UsbStatus::NoDevice, 0 };
            continue;
        }
        r = m_handle->BulkTransfer(endpoint, data, length, timeout);
        if (r.status == UsbStatus::Ok) {
            m_lossShown = false;
            return r;
        }
        // Bytes that went out must not go out twice; a reply that has not come is not mended by
        // opening the device again.
        if (r.count > 0 || r.status == UsbStatus::Timeout)
            return r;
    }
    platform::Sleep(kRetryDelayMs);
    if (!m_lossShown) {
        m_lossShown = true;
        if (read)
            CLinkBoxes::Show(
                platform::Format("USB read failed. Error # = %d. \r\nYou need restart the software and hardware.",
                    -platform::usb::UsbErrorNumber(r.status)));
        else
            CLinkBoxes::Show(
                "USB device error! \r\n You need close the software and unplug the programmer restart again");
    }
    return r;
}

UsbTransferResult CEZCypressUSB::SendData(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    return Transfer(kBulkOutEndpoint, const_cast<std::uint8_t*>(data), length, timeoutMs, false);
}

UsbTransferResult CEZCypressUSB::ReadData(std::uint8_t* data, std::size_t length, int timeoutMs)
{
    return Transfer(BulkInEndpoint(g_nUsbChipType.load()), data, length, timeoutMs, true);
}

bool CEZCypressUSB::Reset8051()
{
    if (!m_handle && !OpenDevice())
        return false;
    return CRamLoader::WriteCpucs(*m_handle, CpuControlRegister(g_nUsbChipType.load()), 1) == UsbStatus::Ok;
}

bool CEZCypressUSB::Download(const std::string& hexText)
{
    if ((!m_handle || !m_handle->IsPresent()) && !OpenDevice()) {
        CLinkBoxes::Show("Firmware send error #01.");
        return false;
    }
    const auto plan = CFirmwareText::MakePlan(hexText, kRamLimit);
    switch (CRamLoader::Download(*m_handle, CpuControlRegister(g_nUsbChipType.load()), plan)) {
    case CRamLoader::Result::Ok:
        return true;
    case CRamLoader::Result::HoldFailed:
        CLinkBoxes::Show("Firmware send error #01.");
        break;
    case CRamLoader::Result::PlanFailed:
    case CRamLoader::Result::WriteFailed:
    case CRamLoader::Result::ReleaseFailed:
        CLinkBoxes::Show("Firmware send error #03.");
        break;
    }
    return false;
}

bool CEZCypressUSB::WaitForReturn()
{
    const auto before = m_info;
    platform::Sleep(300);
    // The 300 ms alone would send the next packet into a device that is still leaving the bus:
    // wait, as the FX2 back end does, for the device to come back with its endpoints.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt)
            platform::Sleep(500);
        if (m_provider && CProgrammerDevices::StillThere(*m_provider, before))
            continue;
        if (OpenDevice() && HasEndpoint(kBulkOutEndpoint))
            return true;
    }
    Close();
    Trace("The programmer did not come back after the firmware download\n");
    return false;
}

bool CEZCypressUSB::LoadInitialFirmware(int number)
{
    const auto text = CFirmwareText::FromResource(number);
    if (!text) {
        CLinkBoxes::Show("Firmware not found.");
        return false;
    }
    return Download(*text) && WaitForReturn();
}

bool CEZCypressUSB::SwitchFirmware(int number)
{
    if (!LoadInitialFirmware(number))
        return false;
    const Packet id = packets::FirmwareIdSet(number);
    const auto r = SendData(id.data(), id.size());
    return r.status == UsbStatus::Ok && r.count == id.size();
}

bool CEZCypressUSB::LoadFirmwareFromFile(const std::string& path)
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
    return WaitForReturn();
}

bool CEZCypressUSB::LoadFirmwareFromBuffer(const std::uint8_t* data, std::size_t size)
{
    return Download(CFirmwareText::FromStored(data, size)) && WaitForReturn();
}
