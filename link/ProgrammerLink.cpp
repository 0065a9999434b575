#include "link/ProgrammerLink.h"

#include "link/FirmwareText.h"
#include "link/LinkBoxes.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerDevices.h"
#include "link/ProgrammerModel.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "platform/usb/UsbProviders.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

using platform::usb::UsbStatus;
using platform::usb::UsbTransferResult;

std::atomic<int> g_nTransportMode { 0 };
CProgrammerLink g_ProgrammerLink;

namespace {

thread_local UsbStatus t_lastStatus = UsbStatus::Ok;

constexpr std::size_t kClassHeader = 32;
constexpr std::streamoff kSmallestClassFile = 101;

// Stands in until the link binds the program's provider at first use: no USB work before main.
class NoDevices final : public platform::usb::UsbProvider {
public:
    std::vector<platform::usb::UsbDeviceInfo> Enumerate() override { return {}; }
    platform::usb::UsbOpenResult Open(const platform::usb::UsbDeviceInfo&) override
    {
        return { UsbStatus::NoDevice, nullptr };
    }
};

VexlinkServices UnboundServices()
{
    VexlinkServices s;
    s.usb = std::make_shared<NoDevices>();
    s.sleep = [](std::uint32_t ms) { platform::Sleep(ms); };
    s.messageBox = [](const std::string& text) { CLinkBoxes::Show(text); };
    s.line = [](const std::string& line) { TraceText(line); };
    return s;
}

bool VexlinkRequested()
{
    const char* v = std::getenv("TONRIG_TRANSPORT");
    return v && std::strcmp(v, "vexlink") == 0;
}

void TraceDump(const std::uint8_t* data, int count)
{
    std::string text;
    for (int i = 0; i < count; i += 16) {
        text += platform::Format("%04X ", i);
        for (int j = i; j < count && j < i + 16; ++j)
            text += platform::Format("%02X ", data[j]);
        text += '\n';
    }
    TraceText(text);
}

void TraceSend(const std::uint8_t* packet, int length, std::size_t sent)
{
    if (!platform::TraceEnabled())
        return;
    if (length > 0)
        Trace("->[***%s***]\n", ProgrammerCommandName(packet[0]).c_str());
    Trace(" and sending %d bytes and %d bytes sent successfully.\n", length, static_cast<int>(sent));
}

void TraceRead(const std::uint8_t* buffer, int size, std::size_t count)
{
    if (!platform::TraceEnabled())
        return;
    Trace(" and %d bytes read, RequestedSize=%d\n", static_cast<int>(count), size);
    TraceDump(buffer, static_cast<int>(count));
}

} // namespace

const char* FirmwareLoadResult::Name() const
{
    switch (outcome) {
    case Loaded:
        return "Loaded";
    case NoProgrammer:
        return "NoProgrammer";
    case Failed:
        break;
    }
    return "Failed";
}

// Holds the link for one public call; boxes raised inside wait until it is let go.
class CProgrammerLink::Call {
public:
    explicit Call(CProgrammerLink& link)
        : m_link(link)
    {
        CLinkBoxes::Enter();
        m_link.m_mutex.lock();
        m_link.BindLocked();
    }
    ~Call()
    {
        m_link.m_mutex.unlock();
        CLinkBoxes::Leave();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    CProgrammerLink& m_link;
};

CProgrammerLink::CProgrammerLink()
    : m_vexlink(UnboundServices())
{
}

CProgrammerLink::~CProgrammerLink()
{
    std::lock_guard lock(m_mutex);
    m_vexlink.CloseUSBDevice();
    m_ezusb.Close();
    m_cyusb.Close();
}

void CProgrammerLink::BindLocked()
{
    if (m_bound)
        return;
    m_provider = m_testProvider ? m_testProvider : platform::usb::CurrentUsbProviderPtr();
    m_cyusb.Bind(m_provider);
    m_ezusb.Bind(m_provider);
    VexlinkServices services = UnboundServices();
    services.usb = m_provider;
    m_vexlink.SetServices(std::move(services));
    m_bound = true;
}

void CProgrammerLink::ResetForTest(std::shared_ptr<platform::usb::UsbProvider> provider)
{
    std::lock_guard lock(m_mutex);
    m_vexlink.CloseUSBDevice();
    m_vexlink.SetServices(UnboundServices());
    m_ezusb.Close();
    m_cyusb.Close();
    m_testProvider = std::move(provider);
    m_provider.reset();
    m_bound = false;
    g_nTransportMode = 0;
    g_nUsbChipType = 0;
    g_nProgrammerModel = kModelZvC;
    t_lastStatus = UsbStatus::Ok;
}

int CProgrammerLink::OpenAttempts()
{
    Call call(*this);
    return m_cyusb.OpenAttempts();
}

// --- open

bool CProgrammerLink::VexlinkPresent()
{
    return m_vexlink.m_hWinUsbHandle && m_vexlink.m_hDevice && m_vexlink.m_hDevice->IsPresent();
}

bool CProgrammerLink::OpenLocked()
{
    if (VexlinkRequested()) {
        if (VexlinkPresent() || m_vexlink.OpenUSBDevice()) {
            g_nTransportMode = 1;
            g_nUsbChipType = m_vexlink.GetUSBType();
            return true;
        }
        g_nUsbChipType = 0;
        return false;
    }
    if (m_cyusb.Open()) {
        g_nTransportMode = 2;
        g_nUsbChipType = m_cyusb.ChipType();
        return true;
    }
    g_nUsbChipType = 0;
    return false;
}

bool CProgrammerLink::Open()
{
    Call call(*this);
    return OpenLocked();
}

// --- transfers

UsbTransferResult CProgrammerLink::SendLocked(const std::uint8_t* packet, std::size_t length)
{
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.SendData(packet, length);
    case 2:
        return m_cyusb.SendData(packet, length);
    default:
        break;
    }
    std::uint32_t sent = 0;
    if (m_vexlink.SendData(packet, static_cast<std::uint32_t>(length), &sent))
        return { UsbStatus::Ok, sent };
    return { m_vexlink.m_hWinUsbHandle ? UsbStatus::Other : UsbStatus::NoDevice, sent };
}

UsbTransferResult CProgrammerLink::ReadLocked(std::uint8_t* buffer, std::size_t size, int timeoutMs)
{
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.ReadData(buffer, size, timeoutMs);
    case 2:
        return m_cyusb.ReadData(buffer, size, timeoutMs);
    default:
        break;
    }
    const std::uint8_t pipe = BulkInEndpoint(m_vexlink.GetUSBType());
    const bool custom = timeoutMs >= 0 && m_vexlink.m_hWinUsbHandle;
    if (custom)
        m_vexlink.SetPipeTimeout(pipe, static_cast<std::uint32_t>(timeoutMs));
    const std::uint32_t count = m_vexlink.ReadData(buffer, static_cast<std::uint32_t>(size));
    if (custom && m_vexlink.m_hWinUsbHandle)
        m_vexlink.SetPipeTimeout(pipe, CVexlink::kDefaultPipeTimeoutMs);
    if (count)
        return { UsbStatus::Ok, count };
    return { m_vexlink.m_hWinUsbHandle ? UsbStatus::Timeout : UsbStatus::NoDevice, 0 };
}

void CProgrammerLink::SendData(const std::uint8_t* packet, int length)
{
    Call call(*this);
    const auto r = SendLocked(packet, length > 0 ? static_cast<std::size_t>(length) : 0);
    t_lastStatus = r.status;
    TraceSend(packet, length, r.count);
}

int CProgrammerLink::ReadData(std::uint8_t* buffer, int size)
{
    Call call(*this);
    const auto r = ReadLocked(buffer, size > 0 ? static_cast<std::size_t>(size) : 0, -1);
    t_lastStatus = r.status;
    TraceRead(buffer, size, r.count);
    return static_cast<int>(r.count);
}

int CProgrammerLink::Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs)
{
    Call call(*this);
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    const auto sent = SendLocked(packet, n);
    t_lastStatus = sent.status;
    TraceSend(packet, length, sent.count);
    if (sent.status != UsbStatus::Ok || sent.count != n)
        return 0;
    const auto r = ReadLocked(reply, size > 0 ? static_cast<std::size_t>(size) : 0, timeoutMs);
    t_lastStatus = r.status;
    TraceRead(reply, size, r.count);
    return static_cast<int>(r.count);
}

int CProgrammerLink::Exchange(
    const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs, std::stop_token stop)
{
    if (!stop.stop_possible() || timeoutMs < 0)
        return Exchange(packet, length, reply, size, timeoutMs);
    if (stop.stop_requested())
        return 0; // nothing sent, so no reply is left behind
    Call call(*this);
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    const auto sent = SendLocked(packet, n);
    t_lastStatus = sent.status;
    TraceSend(packet, length, sent.count);
    if (sent.status != UsbStatus::Ok || sent.count != n)
        return 0;
    const auto r = ReadStoppableLocked(reply, size > 0 ? static_cast<std::size_t>(size) : 0, timeoutMs, stop);
    t_lastStatus = r.status;
    TraceRead(reply, size, r.count);
    return static_cast<int>(r.count);
}

int CProgrammerLink::ReadData(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop)
{
    if (!stop.stop_possible() || timeoutMs < 0) {
        Call call(*this);
        const auto r = ReadLocked(buffer, size > 0 ? static_cast<std::size_t>(size) : 0, timeoutMs);
        t_lastStatus = r.status;
        TraceRead(buffer, size, r.count);
        return static_cast<int>(r.count);
    }
    if (stop.stop_requested()) {
        t_lastStatus = UsbStatus::Timeout;
        return 0;
    }
    Call call(*this);
    const auto r = ReadStoppableLocked(buffer, size > 0 ? static_cast<std::size_t>(size) : 0, timeoutMs, stop);
    t_lastStatus = r.status;
    TraceRead(buffer, size, r.count);
    return static_cast<int>(r.count);
}

UsbTransferResult CProgrammerLink::ReadStoppableLocked(
    std::uint8_t* buffer, std::size_t want, int timeoutMs, const std::stop_token& stop)
{
    // The wait in short reads, a stop request looked at between them. A read that times out
    // takes nothing from the pipe, so the reply is whole whichever read gets it.
    constexpr int kSliceMs = 50;
    auto& clock = platform::GetClock();
    const auto until = clock.Now() + std::chrono::milliseconds(timeoutMs);
    std::size_t count = 0;
    UsbTransferResult r { UsbStatus::Timeout, 0 };
    while (count < want && !stop.stop_requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - clock.Now()).count();
        if (left <= 0)
            break;
        r = ReadLocked(buffer + count, want - count, static_cast<int>(std::min<long long>(left, kSliceMs)));
        count += r.count;
        if (r.status != UsbStatus::Timeout)
            break;
    }
    return { r.status, count };
}

UsbStatus CProgrammerLink::LastStatus() const
{
    return t_lastStatus;
}

std::size_t CProgrammerLink::DrainInput()
{
    Call call(*this);
    std::uint8_t buffer[512];
    std::size_t dropped = 0;
    auto& clock = platform::GetClock();
    const auto until = clock.Now() + std::chrono::seconds(1);
    do {
        const auto r = ReadLocked(buffer, sizeof buffer, 10);
        if (r.count == 0)
            break;
        dropped += r.count;
    } while (clock.Now() < until);
    if (dropped)
        Trace("Dropped %zu bytes of stale replies\n", dropped);
    return dropped;
}

// --- 8051 and firmware

bool CProgrammerLink::Reset8051()
{
    Call call(*this);
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.Reset8051();
    case 2:
        return m_cyusb.Reset8051();
    default:
        return m_vexlink.Reset8051();
    }
}

std::optional<platform::usb::UsbDeviceInfo> CProgrammerLink::FirstDevice()
{
    auto devices = CProgrammerDevices::List(*m_provider);
    if (devices.empty())
        return std::nullopt;
    return devices.front();
}

bool CProgrammerLink::WaitForVexlinkReturn(const std::optional<platform::usb::UsbDeviceInfo>& before)
{
    platform::Sleep(100);
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt)
            platform::Sleep(500);
        if (before && CProgrammerDevices::StillThere(*m_provider, *before))
            continue;
        m_vexlink.m_PipeInId = m_vexlink.m_PipeOutId = 0;
        if (m_vexlink.OpenUSBDevice() && m_vexlink.Initialize_Device() && m_vexlink.m_PipeInId && m_vexlink.m_PipeOutId)
            return true;
    }
    m_vexlink.CloseUSBDevice();
    Trace("The programmer did not come back after the firmware download\n");
    return false;
}

bool CProgrammerLink::VexlinkLoad(const std::uint8_t* data, std::size_t size)
{
    const auto before = FirstDevice();
    if (!m_vexlink.LoadFirmwareFromHGLOBALBuffer(data, size, true))
        return false;
    return WaitForVexlinkReturn(before);
}

FirmwareLoadResult CProgrammerLink::LoadFirmwareIfReady(int number)
{
    Call call(*this);
    if (!OpenLocked())
        return { FirmwareLoadResult::NoProgrammer };
    bool ok = false;
    switch (g_nTransportMode.load()) {
    case 0:
        ok = m_ezusb.SwitchFirmware(number);
        break;
    case 2:
        ok = m_cyusb.SwitchFirmware(number);
        break;
    default: {
        // No P_FIRMWARE_ID_SET follows a download through the library.
        const auto stored = CFirmwareText::StoredResource(number);
        ok = stored && VexlinkLoad(reinterpret_cast<const std::uint8_t*>(stored->data()), stored->size());
        break;
    }
    }
    return { ok ? FirmwareLoadResult::Loaded : FirmwareLoadResult::Failed };
}

bool CProgrammerLink::LoadFirmware(int number)
{
    Call call(*this);
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.LoadInitialFirmware(number);
    case 2:
        return m_cyusb.LoadInitialFirmware(number);
    default:
        break;
    }
    const auto stored = CFirmwareText::StoredResource(number);
    return stored && VexlinkLoad(reinterpret_cast<const std::uint8_t*>(stored->data()), stored->size());
}

bool CProgrammerLink::LoadFirmwareFromFile(const std::string& path)
{
    Call call(*this);
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.LoadFirmwareFromFile(path);
    case 2:
        return m_cyusb.LoadFirmwareFromFile(path);
    default:
        break;
    }
    const auto before = FirstDevice();
    return m_vexlink.LoadFirmwareFromFile(path) && WaitForVexlinkReturn(before);
}

bool CProgrammerLink::LoadClassFile(const std::string& path)
{
    Call call(*this);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        Trace("Class file %s cannot be opened\n", path.c_str());
        return false;
    }
    const std::streamoff length = in.tellg();
    if (length < kSmallestClassFile)
        return false;
    // The header is skipped unread: the payload alone is the firmware.
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length) - kClassHeader);
    in.seekg(static_cast<std::streamoff>(kClassHeader));
    in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
    if (static_cast<std::size_t>(in.gcount()) != block.size()) {
        Trace(
            "Class file %s: %lld of %zu bytes read\n", path.c_str(), static_cast<long long>(in.gcount()), block.size());
        return false;
    }
    switch (g_nTransportMode.load()) {
    case 0:
        return m_ezusb.LoadFirmwareFromBuffer(block.data(), block.size());
    case 2:
        return m_cyusb.LoadFirmwareFromBuffer(block.data(), block.size());
    default:
        return VexlinkLoad(block.data(), block.size());
    }
}

void CProgrammerLink::SetPipeTimeout(int, int) { }

void CProgrammerLink::MyOpenDevice()
{
    Call call(*this);
    if (g_nTransportMode.load() == 1)
        m_vexlink.MyOpenDevice();
}
