#pragma once
// What the link tests share: a virtual bus on the manual clock bound to g_ProgrammerLink, a box
// responder, a provider wrapper that records the 0xA0 writes, and HEX and file helpers.

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/Trace.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

struct ControlWrite {
    std::uint16_t address = 0;
    std::size_t length = 0;
    bool operator==(const ControlWrite&) const = default;
};

// Forwards to a provider and records every vendor 0xA0 write (address, length).
class RecordingProvider final : public platform::usb::UsbProvider {
public:
    explicit RecordingProvider(std::shared_ptr<platform::usb::UsbProvider> inner)
        : m_inner(std::move(inner))
    {
    }

    std::vector<platform::usb::UsbDeviceInfo> Enumerate() override { return m_inner->Enumerate(); }
    platform::usb::UsbOpenResult Open(const platform::usb::UsbDeviceInfo& device) override
    {
        auto r = m_inner->Open(device);
        if (r.handle)
            r.handle = std::make_shared<Handle>(r.handle, m_log);
        return r;
    }
    std::vector<ControlWrite> Writes() const
    {
        std::lock_guard lock(m_log->mutex);
        return m_log->writes;
    }
    void Clear()
    {
        std::lock_guard lock(m_log->mutex);
        m_log->writes.clear();
    }

private:
    struct Log {
        std::mutex mutex;
        std::vector<ControlWrite> writes;
    };
    class Handle final : public platform::usb::UsbHandle {
    public:
        Handle(std::shared_ptr<platform::usb::UsbHandle> inner, std::shared_ptr<Log> log)
            : m_inner(std::move(inner))
            , m_log(std::move(log))
        {
        }
        platform::usb::UsbClaimResult ClaimInterface() override { return m_inner->ClaimInterface(); }
        void ReleaseInterface() override { m_inner->ReleaseInterface(); }
        bool Claimed() const override { return m_inner->Claimed(); }
        platform::usb::UsbStatus GetDeviceDescriptor(platform::usb::UsbDeviceDescriptor& out) override
        {
            return m_inner->GetDeviceDescriptor(out);
        }
        platform::usb::UsbStatus GetEndpoints(std::vector<platform::usb::UsbEndpoint>& out) override
        {
            return m_inner->GetEndpoints(out);
        }
        platform::usb::UsbSpeed Speed() override { return m_inner->Speed(); }
        platform::usb::UsbTransferResult BulkTransfer(
            std::uint8_t endpoint, std::uint8_t* data, std::size_t length, unsigned timeoutMs) override
        {
            return m_inner->BulkTransfer(endpoint, data, length, timeoutMs);
        }
        platform::usb::UsbTransferResult ControlTransfer(std::uint8_t requestType, std::uint8_t request,
            std::uint16_t value, std::uint16_t index, std::uint8_t* data, std::size_t length,
            unsigned timeoutMs) override
        {
            if (requestType == 0x40 && request == 0xA0) {
                std::lock_guard lock(m_log->mutex);
                m_log->writes.push_back({ value, length });
            }
            return m_inner->ControlTransfer(requestType, request, value, index, data, length, timeoutMs);
        }
        bool IsPresent() override { return m_inner->IsPresent(); }
        platform::usb::UsbStatus DetachKernelDriver(int n) override { return m_inner->DetachKernelDriver(n); }

    private:
        std::shared_ptr<platform::usb::UsbHandle> m_inner;
        std::shared_ptr<Log> m_log;
    };

    std::shared_ptr<platform::usb::UsbProvider> m_inner;
    std::shared_ptr<Log> m_log = std::make_shared<Log>();
};

// One Intel HEX line with CR LF.
inline std::string HexLine(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    std::uint8_t sum = static_cast<std::uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    std::string line = ":";
    char buf[8];
    auto put = [&](std::uint8_t b) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    };
    put(static_cast<std::uint8_t>(data.size()));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address));
    put(type);
    for (auto b : data) {
        put(b);
        sum = static_cast<std::uint8_t>(sum + b);
    }
    put(static_cast<std::uint8_t>(-sum));
    return line + "\r\n";
}

inline std::string HexEnd()
{
    return ":00000001FF\r\n";
}

inline void SetEnv(const char* name, const char* value)
{
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

class LinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnv("TONRIG_TRANSPORT", nullptr);
        SetEnv("TONRIG_USB_IDS", nullptr);
        g_ProgrammerLink.ResetForTest(recorder);
    }
    void TearDown() override
    {
        g_ProgrammerLink.ResetForTest();
        SetEnv("TONRIG_TRANSPORT", nullptr);
        SetEnv("TONRIG_USB_IDS", nullptr);
        platform::SetTraceSink({});
    }

    std::shared_ptr<sim::Box> Plug(sim::BoxConfig config = {})
    {
        box = sim::Box::PlugInto(*bus, std::move(config));
        return box;
    }
    // The AN21xx board of the EZ-USB tests: another vendor's id, listed for the link.
    std::shared_ptr<sim::Box> PlugAn21xx(sim::BoxConfig config = {})
    {
        config.chip = sim::EzusbChip::An21xx;
        config.speed = platform::usb::UsbSpeed::Full;
        config.vendorId = 0x0547;
        config.productId = 0x2131;
        SetEnv("TONRIG_USB_IDS", "0547:2131");
        return Plug(std::move(config));
    }

    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string MissingFile(const std::string& name) { return dir.path().toStdString() + "/" + name; }

    // The reply to a one-byte command, as text up to its first NUL.
    std::string AskText(std::uint8_t code)
    {
        std::uint8_t packet[1] = { code };
        std::uint8_t reply[64] = {};
        const int n = g_ProgrammerLink.Exchange(packet, 1, reply, 64);
        return std::string(reinterpret_cast<const char*>(reply), strnlen(reinterpret_cast<const char*>(reply), n));
    }
    std::vector<std::uint8_t> Ask(std::vector<std::uint8_t> packet, int size = 64)
    {
        std::vector<std::uint8_t> reply(static_cast<std::size_t>(size));
        const int n = g_ProgrammerLink.Exchange(packet.data(), static_cast<int>(packet.size()), reply.data(), size);
        reply.resize(static_cast<std::size_t>(n));
        return reply;
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scopedClock { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<RecordingProvider> recorder = std::make_shared<RecordingProvider>(bus);
    RecordingMessageBox boxes;
    QTemporaryDir dir;
    std::shared_ptr<sim::Box> box;
};

} // namespace tonrig::test
