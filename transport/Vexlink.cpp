#include "transport/Vexlink.h"

#include "platform/usb/LibusbProvider.h"
#include "transport/FirmwareTransform.h"
#include "transport/IntelHex.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

using platform::usb::UsbDeviceInfo;
using platform::usb::UsbEndpointType;
using platform::usb::UsbSpeed;
using platform::usb::UsbStatus;

namespace {

constexpr std::uint16_t kEzusbVendor = 0x04B4;
constexpr std::uint16_t kFx2Product = 0x8613;
constexpr std::size_t kMaxFirmwareFile = 1u << 20;
constexpr int kAttempts = 51;
constexpr std::uint32_t kBelow8192 = 0x2000;
constexpr std::uint32_t kMaxSegment = 4096;

std::uint32_t ErrorCode(UsbStatus s)
{
    return static_cast<std::uint32_t>(-platform::usb::UsbErrorNumber(s));
}

// 04B4:8613 and the pairs of TONRIG_USB_IDS ("vid:pid,vid:pid").
bool Allowed(const UsbDeviceInfo& d)
{
    if (d.vendorId == kEzusbVendor && d.productId == kFx2Product)
        return true;
    const char* ids = std::getenv("TONRIG_USB_IDS");
    if (!ids)
        return false;
    std::string list(ids);
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        unsigned vid = 0, pid = 0;
        char tail = 0;
        const std::string pair = list.substr(pos, comma - pos);
        if (std::sscanf(pair.c_str(), "%x:%x%c", &vid, &pid, &tail) == 2 && vid == d.vendorId && pid == d.productId)
            return true;
        pos = comma + 1;
    }
    return false;
}

bool EndsWithHex(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".hex";
}

} // namespace

// --- record types

TMemCache::TMemCache() = default;
TMemCache::~TMemCache() = default;

TMemCache::TMemCache(const TMemCache& other)
    : image(other.image)
    , segments(other.segments)
{
    for (auto& seg : segments)
        if (seg.data >= other.image.data && seg.data < other.image.data + sizeof other.image.data)
            seg.data = image.data + (seg.data - other.image.data);
}

TMemCache& TMemCache::operator=(const TMemCache& other)
{
    if (this == &other)
        return *this;
    image = other.image;
    segments = other.segments;
    for (auto& seg : segments)
        if (seg.data >= other.image.data && seg.data < other.image.data + sizeof other.image.data)
            seg.data = image.data + (seg.data - other.image.data);
    return *this;
}

// --- services

CVexlink::CVexlink()
    : CVexlink(VexlinkServices {})
{
}

CVexlink::CVexlink(VexlinkServices services)
{
    m_pipeTimeouts[0x02] = kDefaultPipeTimeoutMs;
    m_pipeTimeouts[0x82] = kDefaultPipeTimeoutMs;
    m_pipeTimeouts[0x86] = kDefaultPipeTimeoutMs;
    SetServices(std::move(services));
}

CVexlink::~CVexlink()
{
    CloseUSBDevice();
}

void CVexlink::SetServices(VexlinkServices services)
{
    if (services.usb)
        m_services.usb = std::move(services.usb);
    if (services.sleep)
        m_services.sleep = std::move(services.sleep);
    if (services.messageBox)
        m_services.messageBox = std::move(services.messageBox);
    if (services.line)
        m_services.line = std::move(services.line);
    if (!m_services.usb)
        m_services.usb = std::make_shared<platform::usb::LibusbProvider>();
    if (!m_services.sleep)
        m_services.sleep = [](std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (!m_services.messageBox)
        m_services.messageBox = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    if (!m_services.line)
        m_services.line = [](const std::string& line) { std::fputs(line.c_str(), stderr); };
}

void CVexlink::Sleep(std::uint32_t ms)
{
    m_services.sleep(ms);
}

void CVexlink::Box(const std::string& text)
{
    m_services.messageBox(text);
}

void CVexlink::Line(const std::string& text)
{
    m_services.line(text);
}

// --- device

void CVexlink::CloseUSBDevice()
{
    if (m_hWinUsbHandle)
        m_hWinUsbHandle->ReleaseInterface();
    m_hWinUsbHandle = nullptr;
    m_hDevice.reset();
}

int CVexlink::FindUSBDevice()
{
    CloseUSBDevice();
    for (const UsbDeviceInfo& d : m_services.usb->Enumerate()) {
        if (!Allowed(d))
            continue;
        auto opened = m_services.usb->Open(d);
        if (!opened.handle) {
            m_lastStatus = opened.status;
            continue;
        }
        const auto claim = opened.handle->ClaimInterface();
        if (claim.status != UsbStatus::Ok) {
            m_lastStatus = claim.status;
            Box("WinUsb_Initialize failed #2");
            return 0;
        }
        m_hDevice = std::move(opened.handle);
        m_hWinUsbHandle = m_hDevice.get();
        m_USBType = d.path.find("8613") != std::string::npos ? 2 : 1;
        return 1;
    }
    return 0;
}

int CVexlink::OpenUSBDevice()
{
    CloseUSBDevice();
    return FindUSBDevice();
}

int CVexlink::Ready()
{
    CloseUSBDevice();
    return FindUSBDevice();
}

int CVexlink::GetUSBType() const
{
    return m_USBType;
}

bool CVexlink::Initialize_Device()
{
    if (!m_hWinUsbHandle)
        return false;
    const UsbSpeed speed = m_hDevice->Speed();
    m_DeviceSpeed = speed == UsbSpeed::High ? 3 : speed == UsbSpeed::Full ? 2 : speed == UsbSpeed::Low ? 1 : 0;
    std::vector<platform::usb::UsbEndpoint> endpoints;
    m_lastStatus = m_hDevice->GetEndpoints(endpoints);
    if (m_lastStatus != UsbStatus::Ok)
        return false;
    for (const auto& e : endpoints) {
        if (e.type == UsbEndpointType::Bulk) {
            if (e.IsIn())
                m_PipeInId = e.address;
            else
                m_PipeOutId = e.address;
        } else if (e.type == UsbEndpointType::Interrupt) {
            m_PipeInterruptId = e.address;
        } else {
            return false;
        }
    }
    return true;
}

std::string CVexlink::GetDevicePath()
{
    for (const UsbDeviceInfo& d : m_services.usb->Enumerate())
        if (Allowed(d))
            return d.path;
    return {};
}

// --- transfers

unsigned CVexlink::PipeTimeout(std::uint8_t pipe) const
{
    const auto it = m_pipeTimeouts.find(pipe);
    return it == m_pipeTimeouts.end() ? kDefaultPipeTimeoutMs : it->second;
}

bool CVexlink::SetPipeTimeout(std::uint8_t pipe, std::uint32_t timeoutMs)
{
    if (!m_hWinUsbHandle) {
        Line("Unable to set pipe timeout\n");
        return false;
    }
    m_pipeTimeouts[pipe] = timeoutMs;
    return true;
}

void CVexlink::ErrorMessage(const char* text)
{
    char line[256];
    std::snprintf(line, sizeof line, "%s failed with error %d: %s\n", text, platform::usb::UsbErrorNumber(m_lastStatus),
        platform::usb::UsbStatusText(m_lastStatus));
    Line(line);
}

std::uint32_t CVexlink::WriteToDevice(
    const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* written, std::uint8_t pipe)
{
    std::uint32_t dummy = 0;
    std::uint32_t& count = written ? *written : dummy;
    count = 0;
    // The provider's transfer takes a writable buffer; an OUT transfer leaves it as it is.
    std::vector<std::uint8_t> data(buffer, buffer + length);
    for (int i = 0;; ++i) {
        if (!m_hWinUsbHandle && !FindUSBDevice())
            return kNoDevice;
        const auto r = m_hDevice->BulkTransfer(pipe, data.data(), data.size(), PipeTimeout(pipe));
        count = static_cast<std::uint32_t>(r.count);
        if (r.status == UsbStatus::Ok)
            return 0;
        m_lastStatus = r.status;
        // Bytes that went out must never go out twice.
        if (r.count > 0) {
            ErrorMessage("WriteToDevice");
            return ErrorCode(r.status);
        }
        if (i + 1 >= kAttempts) {
            ErrorMessage("WriteToDevice");
            return ErrorCode(r.status);
        }
        CloseUSBDevice();
        Sleep(50);
    }
}

std::uint32_t CVexlink::ReadFromDevice(
    std::uint8_t* buffer, std::uint32_t length, std::uint32_t* read, std::uint8_t pipe)
{
    std::uint32_t dummy = 0;
    std::uint32_t& count = read ? *read : dummy;
    count = 0;
    for (int i = 0;; ++i) {
        if (!m_hWinUsbHandle && !FindUSBDevice())
            return kNoDevice;
        const auto r = m_hDevice->BulkTransfer(pipe, buffer, length, PipeTimeout(pipe));
        count = static_cast<std::uint32_t>(r.count);
        if (r.status == UsbStatus::Ok)
            return 0;
        m_lastStatus = r.status;
        // No reply yet: nothing to mend by re-opening.
        if (r.status == UsbStatus::Timeout)
            return ErrorCode(r.status);
        if (i + 1 >= kAttempts) {
            ErrorMessage("ReadFromDevice");
            return ErrorCode(r.status);
        }
        CloseUSBDevice();
        Sleep(50);
    }
}

bool CVexlink::SendData(const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* sent)
{
    return WriteToDevice(buffer, length, sent, 0x02) == 0;
}

std::uint8_t CVexlink::InPipe() const
{
    return m_USBType == 2 ? 0x86 : 0x82;
}

std::uint32_t CVexlink::ReadData(std::uint8_t* buffer, std::uint32_t length)
{
    std::uint32_t count = 0;
    const std::uint32_t rc = ReadFromDevice(buffer, length, &count, InPipe());
    if (rc == 0 || (rc == ErrorCode(UsbStatus::Timeout) && m_lastStatus == UsbStatus::Timeout))
        return count;
    return 0;
}

// --- 8051 and firmware

std::uint16_t CVexlink::CpucsAddress() const
{
    return m_USBType == 2 ? 0xE600 : 0x7F92;
}

UsbStatus CVexlink::ControlWrite(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    if (!m_hDevice)
        return UsbStatus::NoDevice;
    std::vector<std::uint8_t> buf(data, data + length);
    const auto r = m_hDevice->ControlTransfer(0x40, 0xA0, address, 0, buf.data(), buf.size(), 1000);
    if (r.status != UsbStatus::Ok)
        m_lastStatus = r.status;
    return r.status;
}

bool CVexlink::WriteCpucs(std::uint8_t value, bool finalRelease)
{
    const UsbStatus s = ControlWrite(CpucsAddress(), &value, 1);
    // A device running new firmware may already be leaving the bus.
    return s == UsbStatus::Ok || (finalRelease && (s == UsbStatus::NoDevice || s == UsbStatus::Other));
}

bool CVexlink::Reset8051()
{
    CloseUSBDevice();
    if (!FindUSBDevice())
        return false;
    WriteCpucs(1, false);
    const bool ok = WriteCpucs(0, false);
    CloseUSBDevice();
    return ok;
}

bool CVexlink::LoadFirmware2(int, bool)
{
    return false; // the library carries no firmware of its own: the program passes its images
}

bool CVexlink::InitLoadFirmware(int id)
{
    return LoadFirmware2(id, true);
}

bool CVexlink::LoadFirmware(int id, bool scrambled)
{
    if (!LoadFirmware2(id, scrambled))
        return false;
    Sleep(30);
    return true;
}

bool CVexlink::LoadFirmwareFromHGLOBALBuffer(const void* data, std::size_t size, bool scrambled)
{
    if (!data)
        return false;
    std::string text(static_cast<const char*>(data), size);
    if (scrambled)
        text = firmware::Untransform(std::move(text));
    return firmwareDownloadFromBuffer(text);
}

bool CVexlink::ReadWholeFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.clear();
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        out.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (out.size() > kMaxFirmwareFile)
            return false;
    }
    return !in.bad();
}

bool CVexlink::LoadFirmwareFromFile(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, text)) {
        Line("Firmware file " + path + " cannot be read or is larger than 1 MiB\n");
        return false;
    }
    return firmwareDownloadFromBuffer(text);
}

bool CVexlink::hex2cFirmwareDownload(const std::string& path)
{
    return LoadFirmwareFromFile(path);
}

bool CVexlink::firmwareDownloadFromBuffer(const std::string& text)
{
    CloseUSBDevice();
    if (!FindUSBDevice())
        return false;
    const intelhex::ParseResult parsed = intelhex::Parse(text);
    bool ok = WriteCpucs(1, false);
    if (ok && !parsed.ok) {
        Line("Firmware download stopped: " + parsed.error + "\n");
        ok = false;
    }
    for (std::size_t i = 0; ok && i < parsed.records.size(); ++i) {
        const intelhex::Record& r = parsed.records[i];
        if (r.type == intelhex::SegmentBase || r.type == intelhex::LinearBase) {
            if (r.Base() != 0) {
                Line("Firmware download stopped: line " + std::to_string(r.line) + " moves the base off zero\n");
                ok = false;
            }
            continue;
        }
        if (r.type != intelhex::Data)
            continue; // the end record is not written
        if (r.data.size() > 16) {
            Line("Firmware download stopped: line " + std::to_string(r.line) + " holds more than 16 bytes\n");
            ok = false;
            continue;
        }
        ok = ControlWrite(r.address, r.data.data(), r.data.size()) == UsbStatus::Ok;
    }
    // On any failure the 8051 stays in reset rather than running half an image.
    if (ok)
        ok = WriteCpucs(0, true);
    CloseUSBDevice();
    return ok;
}

bool CVexlink::LoadFirmwareFromFileOrg(const std::string& path)
{
    if (!EndsWithHex(path)) {
        Box("Only .Hex firmware can be loaded.");
        return false;
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        Box("Firmware file open error.");
        return false;
    }
    const intelhex::ParseResult parsed = intelhex::Parse(text);
    if (!parsed.ok) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "Error loading file: bad record in line %d\n", parsed.errorLine);
        Box(msg);
        return false;
    }

    auto cache = std::make_unique<TMemCache>();
    std::uint32_t base = 0;
    for (const intelhex::Record& r : parsed.records) {
        if (r.type == intelhex::SegmentBase || r.type == intelhex::LinearBase) {
            base = r.Base();
            continue;
        }
        if (r.type != intelhex::Data || r.data.empty())
            continue;
        const std::uint32_t start = base + r.address;
        if (start + r.data.size() > 0x10000) {
            Box("Error loading file: address out of range\n");
            return false;
        }
        std::memcpy(cache->image.data + start, r.data.data(), r.data.size());
        MemSeg* last = cache->segments.empty() ? nullptr : &cache->segments.back();
        if (last && last->start + last->length == start && last->length + r.data.size() <= kMaxSegment)
            last->length += static_cast<std::uint32_t>(r.data.size());
        else
            cache->segments.push_back({ start, static_cast<std::uint32_t>(r.data.size()), cache->image.data + start });
    }

    CloseUSBDevice();
    if (!FindUSBDevice())
        return false;
    if (!WriteCpucs(1, false)) {
        Box("Firmware load error #01.");
        CloseUSBDevice();
        return false;
    }
    Sleep(1);
    for (const MemSeg& seg : cache->segments) {
        std::uint32_t length = seg.length;
        if (seg.start >= kBelow8192) {
            length = 0;
        } else if (seg.start + seg.length > kBelow8192) {
            length = kBelow8192 - seg.start;
        }
        if (length < seg.length) {
            char msg[96];
            std::snprintf(msg, sizeof msg, "Firmware segment 0x%04X-0x%04X skipped: not below 0x2000\n",
                static_cast<unsigned>(seg.start + length), static_cast<unsigned>(seg.start + seg.length - 1));
            Line(msg);
        }
        if (length && ControlWrite(static_cast<std::uint16_t>(seg.start), seg.data, length) != UsbStatus::Ok) {
            Box("Firmware load error #02.");
            CloseUSBDevice();
            return false;
        }
    }
    Sleep(1000);
    const bool ok = WriteCpucs(0, true);
    CloseUSBDevice();
    return ok;
}

int CVexlink::MyOpenDevice()
{
    Sleep(100);
    UsbDeviceInfo device;
    bool found = false;
    for (const UsbDeviceInfo& d : m_services.usb->Enumerate()) {
        if (Allowed(d)) {
            device = d;
            found = true;
            break;
        }
    }
    if (!found)
        return -1;
    auto opened = m_services.usb->Open(device);
    if (!opened.handle) {
        m_lastStatus = opened.status;
        return -1;
    }
    auto handle = std::move(opened.handle);
    Sleep(100);
    if (const auto claim = handle->ClaimInterface(); claim.status != UsbStatus::Ok) {
        m_lastStatus = claim.status;
        return -1;
    }
    Sleep(1000);
    platform::usb::UsbDeviceDescriptor descriptor;
    handle->GetDeviceDescriptor(descriptor);
    std::vector<platform::usb::UsbEndpoint> endpoints;
    if (handle->GetEndpoints(endpoints) == UsbStatus::Ok) {
        for (std::size_t i = 0; i < endpoints.size(); ++i)
            Sleep(100); // one pipe query each; the one past the last fails
    }
    for (int i = 0; i < 5; ++i) {
        std::uint8_t on[2] = { 15, 255 };
        std::uint8_t off[2] = { 15, 0 };
        Sleep(1000);
        handle->BulkTransfer(0x02, on, sizeof on, PipeTimeout(0x02));
        Sleep(1000);
        handle->BulkTransfer(0x02, off, sizeof off, PipeTimeout(0x02));
    }
    handle->ReleaseInterface();
    return 1;
}
