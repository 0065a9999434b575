// The virtual bus's transfer rules, against a scripted device whose packets the test lays out.

#include "platform/usb/VirtualBus.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace platform::usb {
void PrintTo(UsbSpeed s, std::ostream* os)
{
    *os << (s == UsbSpeed::High ? "high speed" : "full speed");
}
} // namespace platform::usb

using namespace platform;
using namespace platform::usb;

namespace {

class ScriptedDevice final : public VirtualDevice {
public:
    explicit ScriptedDevice(UsbSpeed speed, std::uint16_t pid = 0x1234)
        : m_speed(speed)
        , m_pid(pid)
    {
    }

    std::size_t MaxPacket() const { return m_speed == UsbSpeed::High ? 512 : 64; }

    void Queue(std::vector<std::uint8_t> packet)
    {
        {
            std::lock_guard lock(m_mutex);
            m_in.push_back(std::move(packet));
        }
        m_port->Notify();
    }
    std::size_t Queued()
    {
        std::lock_guard lock(m_mutex);
        return m_in.size();
    }
    void AcceptAtMost(std::size_t n)
    {
        std::lock_guard lock(m_mutex);
        m_acceptLimit = n;
    }
    std::vector<std::uint8_t> Received()
    {
        std::lock_guard lock(m_mutex);
        return m_out;
    }
    std::shared_ptr<VirtualPort> Port() { return m_port; }
    std::atomic<int> readsStarted { 0 };

    void AttachPort(std::shared_ptr<VirtualPort> port) override { m_port = std::move(port); }
    void PowerUp() override { }
    void PowerDown() override
    {
        std::lock_guard lock(m_mutex);
        m_in.clear();
    }
    VirtualIdentity Identity() override
    {
        VirtualIdentity id;
        id.descriptor = UsbDeviceDescriptor::Make(0x0200, 64, 0x1D50, m_pid, 0x0102, true);
        id.manufacturer = "Maker";
        id.product = "Scripted";
        id.serial = "S1";
        const auto mps = static_cast<std::uint16_t>(MaxPacket());
        id.endpoints = { { 0x02, UsbEndpointType::Bulk, mps, 0 }, { 0x86, UsbEndpointType::Bulk, mps, 0 } };
        return id;
    }
    UsbSpeed Speed() override { return m_speed; }
    VirtualControlResult Control(
        std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t*, std::size_t length) override
    {
        return { UsbStatus::Ok, length, {} };
    }
    VirtualOutResult BulkOut(std::uint8_t, const std::uint8_t* data, std::size_t length) override
    {
        std::lock_guard lock(m_mutex);
        const std::size_t n = std::min(length, m_acceptLimit);
        m_out.insert(m_out.end(), data, data + n);
        return { UsbStatus::Ok, n, {} };
    }
    UsbStatus InStarting(std::uint8_t, std::size_t) override
    {
        ++readsStarted;
        return UsbStatus::Ok;
    }
    const std::vector<std::uint8_t>* PeekIn(std::uint8_t) override
    {
        std::lock_guard lock(m_mutex);
        return m_in.empty() ? nullptr : &m_in.front();
    }
    void PopIn(std::uint8_t) override
    {
        std::lock_guard lock(m_mutex);
        m_in.pop_front();
    }

private:
    const UsbSpeed m_speed;
    const std::uint16_t m_pid;
    std::mutex m_mutex;
    std::deque<std::vector<std::uint8_t>> m_in;
    std::vector<std::uint8_t> m_out;
    std::size_t m_acceptLimit = SIZE_MAX;
    std::shared_ptr<VirtualPort> m_port;
};

class VirtualBusTest : public testing::TestWithParam<UsbSpeed> {
protected:
    void SetUp() override
    {
        VirtualWireModel exact;
        exact.enabled = false;
        bus.SetWireModel(exact);
        device = std::make_shared<ScriptedDevice>(GetParam());
        bus.Plug(device);
        const auto devices = bus.Enumerate();
        ASSERT_EQ(devices.size(), 1u);
        auto opened = bus.Open(devices[0]);
        ASSERT_EQ(opened.status, UsbStatus::Ok);
        handle = opened.handle;
        ASSERT_EQ(handle->ClaimInterface().status, UsbStatus::Ok);
        P = device->MaxPacket();
    }

    UsbTransferResult Read(std::size_t length, unsigned timeoutMs = 1000)
    {
        buffer.assign(length + 1, 0xEE);
        return handle->BulkTransfer(0x86, buffer.data(), length, timeoutMs);
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    VirtualBus bus;
    std::shared_ptr<ScriptedDevice> device;
    std::shared_ptr<UsbHandle> handle;
    std::vector<std::uint8_t> buffer;
    std::size_t P = 64;
};

struct ReadCase {
    const char* name;
    std::vector<std::size_t> packets; // sizes, in units of bytes; kFull marks a full packet
    std::size_t readPackets; // read length in full packets ...
    std::size_t readExtra; // ... plus these bytes
    UsbStatus status;
    std::size_t countPackets;
    std::size_t countExtra;
    std::size_t left; // packets still queued afterwards
};

constexpr std::size_t kFull = SIZE_MAX;

TEST_P(VirtualBusTest, ReadTakesPacketsWhileTheyFit)
{
    const ReadCase cases[] = {
        { "exact", { kFull }, 1, 0, UsbStatus::Ok, 1, 0, 0 },
        { "short packet ends the read", { 10, 20 }, 4, 0, UsbStatus::Ok, 0, 10, 1 },
        { "zero-length packet ends the read", { kFull, 0, 7 }, 4, 0, UsbStatus::Ok, 1, 0, 1 },
        { "full packets then a short one", { kFull, kFull, 5 }, 4, 0, UsbStatus::Ok, 2, 5, 0 },
        { "ends at the length", { kFull, kFull }, 1, 0, UsbStatus::Ok, 1, 0, 1 },
        { "packet larger than the read is lost", { kFull }, 0, 10, UsbStatus::Overflow, 0, 0, 0 },
        { "overflow keeps the bytes before it", { kFull, kFull, 3 }, 1, 10, UsbStatus::Overflow, 1, 0, 1 },
        { "full packets then nothing: time-out with the count", { kFull }, 2, 0, UsbStatus::Timeout, 1, 0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t fill = 1;
        for (std::size_t size : c.packets)
            device->Queue(std::vector<std::uint8_t>(size == kFull ? P : size, fill++));
        const auto r = Read(c.readPackets * P + c.readExtra);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.count, c.countPackets * P + c.countExtra);
        EXPECT_EQ(device->Queued(), c.left);
        EXPECT_EQ(buffer[r.count], 0xEE) << "wrote past the count";
        if (r.count) {
            EXPECT_EQ(buffer[0], 1);
        }
        while (device->Queued())
            Read(4 * P, 1);
    }
}

TEST_P(VirtualBusTest, TimeOutRunsOnTheClock)
{
    const Duration start = clock->Now();
    const auto r = Read(P, 20000);
    EXPECT_EQ(r.status, UsbStatus::Timeout);
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(clock->Now() - start, std::chrono::seconds(20));
}

TEST_P(VirtualBusTest, BlockedReadMovesTimeToTheDevicesNextEvent)
{
    clock->Schedule(clock->Now() + 300ms, [this] { device->Queue({ 1, 2, 3 }); });
    auto r = Read(P, 20000);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(clock->Now(), 300ms);

    // Without a time-out as well.
    clock->Schedule(clock->Now() + 5s, [this] { device->Queue({ 4 }); });
    r = Read(P, 0);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(clock->Now(), 5300ms);
}

TEST_P(VirtualBusTest, OutTransfers)
{
    std::vector<std::uint8_t> data(2 * P + 3, 0x5A);
    auto r = handle->BulkTransfer(0x02, data.data(), data.size(), 1000);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(r.count, data.size());

    // Partial: the device takes 32 bytes and NAKs the rest until the time-out.
    device->AcceptAtMost(32);
    const Duration start = clock->Now();
    r = handle->BulkTransfer(0x02, data.data(), 64, 700);
    EXPECT_EQ(r.status, UsbStatus::Timeout);
    EXPECT_EQ(r.count, 32u);
    EXPECT_EQ(clock->Now() - start, 700ms);
    EXPECT_EQ(device->Received().size(), data.size() + 32);

    r = handle->BulkTransfer(0x02, data.data(), 0, 1000);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(r.count, 0u);
}

TEST_P(VirtualBusTest, UnplugEndsABlockedReadAtOnce)
{
    clock->SetAutoAdvance(false); // the reader would otherwise move time to its deadline
    auto reader = std::async(std::launch::async, [this] {
        std::vector<std::uint8_t> buf(P);
        return handle->BulkTransfer(0x86, buf.data(), buf.size(), 0);
    });
    while (device->readsStarted == 0)
        std::this_thread::yield();
    device->Port()->Unplug();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(reader.get().status, UsbStatus::NoDevice);
    EXPECT_EQ(clock->Now(), Duration(0));

    // Every call on the handle fails the same way; the device is gone from enumeration.
    std::uint8_t b = 0;
    EXPECT_EQ(handle->BulkTransfer(0x02, &b, 1, 10).status, UsbStatus::NoDevice);
    EXPECT_EQ(handle->ControlTransfer(0x40, 0xA0, 0, 0, &b, 1, 10).status, UsbStatus::NoDevice);
    EXPECT_FALSE(handle->IsPresent());
    EXPECT_TRUE(bus.Enumerate().empty());
}

TEST_P(VirtualBusTest, WireTimeFollowsTheModel)
{
    VirtualWireModel model;
    bus.SetWireModel(model);
    const std::size_t n = 4 * P;
    for (int i = 0; i < 4; ++i)
        device->Queue(std::vector<std::uint8_t>(P, 1));
    const Duration start = clock->Now();
    const auto r = Read(n + P);
    ASSERT_EQ(r.status, UsbStatus::Timeout); // no short packet: the read waits for more
    const Duration afterTimeout = clock->Now() - start;
    EXPECT_EQ(afterTimeout, 1000ms); // the time-out, the wire time of a failed read not added

    for (int i = 0; i < 4; ++i)
        device->Queue(std::vector<std::uint8_t>(P, 1));
    const Duration t0 = clock->Now();
    ASSERT_EQ(Read(n).status, UsbStatus::Ok);
    EXPECT_EQ(clock->Now() - t0, model.Bulk(GetParam(), n));
    const double bytesPerSecond = GetParam() == UsbSpeed::High ? 35e6 : 1e6;
    const double latency = GetParam() == UsbSpeed::High ? 175e-6 : 1e-3;
    EXPECT_NEAR(std::chrono::duration<double>(model.Bulk(GetParam(), n)).count(), latency + n / bytesPerSecond, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Speeds, VirtualBusTest, testing::Values(UsbSpeed::Full, UsbSpeed::High),
    [](const auto& info) { return info.param == UsbSpeed::High ? "High" : "Full"; });

TEST(VirtualBus, EnumerationOrderAddressesAndHostConditions)
{
    ScopedClock scoped(std::make_shared<ManualClock>());
    VirtualBus bus;
    auto b = std::make_shared<ScriptedDevice>(UsbSpeed::High, 0x2222);
    auto a = std::make_shared<ScriptedDevice>(UsbSpeed::Full, 0x1111);
    bus.Plug(b, 2, { 1 });
    bus.Plug(a, 1, { 3, 2 });
    auto c = std::make_shared<ScriptedDevice>(UsbSpeed::Full, 0x3333);
    bus.Plug(c, 1, { 3, 1 });

    auto list = bus.Enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].productId, 0x3333);
    EXPECT_EQ(list[1].productId, 0x1111);
    EXPECT_EQ(list[2].productId, 0x2222);
    EXPECT_EQ(list[1].path, "usb:1-3.2:vid_1d50&pid_1111");
    EXPECT_EQ(list[1].hardwareIds,
        (std::vector<std::string> { "USB\\VID_1D50&PID_1111&REV_0102", "USB\\VID_1D50&PID_1111" }));
    EXPECT_EQ(list[1].manufacturer, "Maker");
    EXPECT_EQ(list[2].speed, UsbSpeed::High);

    // Each enumeration gets a new address; what was enumerated before no longer opens.
    const auto before = list[1];
    a->Port()->Replug();
    const auto after = bus.Enumerate()[1];
    EXPECT_NE(after.address, before.address);
    EXPECT_EQ(bus.Open(before).status, UsbStatus::NoDevice);

    // Busy, access denied, a bound kernel driver until a detach.
    auto h1 = bus.Open(after).handle;
    auto h2 = bus.Open(after).handle;
    ASSERT_TRUE(h1 && h2);
    EXPECT_EQ(h1->ClaimInterface().status, UsbStatus::Ok);
    EXPECT_EQ(h2->ClaimInterface().status, UsbStatus::Busy);
    std::uint8_t byte = 0;
    EXPECT_EQ(h2->BulkTransfer(0x02, &byte, 1, 10).status, UsbStatus::Busy);
    h1.reset();
    EXPECT_EQ(h2->ClaimInterface().status, UsbStatus::Ok);
    h2.reset();

    a->Port()->SetAccessDenied(true);
    EXPECT_EQ(bus.Open(after).status, UsbStatus::Access);
    a->Port()->SetAccessDenied(false);

    a->Port()->SetDriverBound(true);
    EXPECT_TRUE(bus.Enumerate()[1].kernelDriverBound);
    auto h = bus.Open(after).handle;
    auto claim = h->ClaimInterface();
    EXPECT_EQ(claim.status, UsbStatus::Ok);
    EXPECT_TRUE(claim.kernelDriverWasBound);
    EXPECT_FALSE(bus.Enumerate()[1].kernelDriverBound) << "detached for the claim";
    h->ReleaseInterface();
    EXPECT_TRUE(bus.Enumerate()[1].kernelDriverBound) << "back after the release";
    EXPECT_EQ(h->DetachKernelDriver(0), UsbStatus::Ok);
    EXPECT_FALSE(bus.Enumerate()[1].kernelDriverBound);
    claim = h->ClaimInterface();
    EXPECT_EQ(claim.status, UsbStatus::Ok);
    EXPECT_FALSE(claim.kernelDriverWasBound);

    // A control transfer longer than the interface allows, and an endpoint the device lacks.
    std::vector<std::uint8_t> big(kUsbMaxControlLength + 1);
    EXPECT_EQ(h->ControlTransfer(0x40, 0xA0, 0, 0, big.data(), big.size(), 10).status, UsbStatus::Other);
    EXPECT_EQ(h->BulkTransfer(0x04, big.data(), 1, 10).status, UsbStatus::Other);
}

TEST(UsbStatus, NumbersAndTextsAreLibusbs)
{
    for (auto s : { UsbStatus::Ok, UsbStatus::Timeout, UsbStatus::Stall, UsbStatus::NoDevice, UsbStatus::Overflow,
             UsbStatus::Busy, UsbStatus::Access, UsbStatus::Other }) {
        EXPECT_EQ(UsbStatusFromError(UsbErrorNumber(s)), s);
    }
    EXPECT_EQ(UsbErrorNumber(UsbStatus::Timeout), -7);
    EXPECT_STREQ(UsbStatusText(UsbStatus::NoDevice), "No such device (it may have been disconnected)");
    EXPECT_EQ(UsbStatusFromError(-1), UsbStatus::Other);
}

} // namespace
