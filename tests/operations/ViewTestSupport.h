#pragma once
// What the main-view tests share: a connection monitor whose flag the test sets, hooks that
// identify as a scripted programmer would, and a USB device that only enumerates.

#include "operations/ProgrammerHooks.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace tonrig::test {

class FakeMonitor final : public LinkMonitor {
public:
    struct State {
        std::atomic<bool> connected { false };
        std::atomic<bool> startFails { false };
        std::atomic<int> starts { 0 };
        std::atomic<int> timerStarts { 0 };
        std::atomic<int> timerStops { 0 };
        std::atomic<int> stops { 0 };
        std::atomic<int> made { 0 };
    };
    explicit FakeMonitor(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
    }
    bool Start() override
    {
        ++m_state->starts;
        return !m_state->startFails;
    }
    void StartTimer() override { ++m_state->timerStarts; }
    void StopTimer() override { ++m_state->timerStops; }
    void Stop() override { ++m_state->stops; }
    bool IsConnected() const override { return m_state->connected; }

private:
    std::shared_ptr<State> m_state;
};

// A programmer as the hooks see it: present or not, how it identifies and how long that takes.
struct ScriptedProgrammer {
    std::shared_ptr<FakeMonitor::State> monitor = std::make_shared<FakeMonitor::State>();
    std::atomic<bool> present { true };
    std::atomic<int> probes { 0 };
    std::atomic<int> identifications { 0 };
    std::atomic<int> stoppedIdentifications { 0 };
    std::mutex mutex;
    IdentifyOutcome outcome;
    platform::Duration identifyTime { 0 };
    bool withMonitor = true;

    ScriptedProgrammer()
    {
        outcome.ok = true;
        outcome.version = "ZV-CQ Re-2.00";
        outcome.model = 7;
        outcome.serial = "AB12CD34EF";
    }

    ProgrammerHooks Hooks()
    {
        ProgrammerHooks hooks;
        hooks.makeMonitor = [this](platform::WindowHandle, std::function<void()>) -> std::unique_ptr<LinkMonitor> {
            if (!withMonitor)
                return nullptr;
            ++monitor->made;
            return std::make_unique<FakeMonitor>(monitor);
        };
        hooks.probePresence = [this] {
            ++probes;
            return present.load();
        };
        hooks.identify = [this](std::stop_token stop) {
            ++identifications;
            platform::Duration wait;
            IdentifyOutcome result;
            {
                std::lock_guard lock(mutex);
                wait = identifyTime;
                result = outcome;
            }
            if (wait.count() > 0 && !platform::GetClock().SleepFor(wait, stop)) {
                ++stoppedIdentifications;
                IdentifyOutcome stopped;
                stopped.reason = "stopped";
                return stopped;
            }
            return result;
        };
        return hooks;
    }
};

// A device that only enumerates: ids, maker, and whether a kernel driver holds it.
class PlantedDevice final : public platform::usb::VirtualDevice {
public:
    PlantedDevice(std::uint16_t vid, std::uint16_t pid, std::string manufacturer)
        : m_vid(vid)
        , m_pid(pid)
        , m_manufacturer(std::move(manufacturer))
    {
    }
    void AttachPort(std::shared_ptr<platform::usb::VirtualPort>) override { }
    void PowerUp() override { }
    void PowerDown() override { }
    platform::usb::VirtualIdentity Identity() override
    {
        platform::usb::VirtualIdentity id;
        id.descriptor = platform::usb::UsbDeviceDescriptor::Make(0x0200, 64, m_vid, m_pid, 0x0001, true);
        id.manufacturer = m_manufacturer;
        id.product = "Planted";
        id.serial = "P1";
        return id;
    }
    platform::usb::UsbSpeed Speed() override { return platform::usb::UsbSpeed::High; }
    platform::usb::VirtualControlResult Control(
        std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t*, std::size_t) override
    {
        return { platform::usb::UsbStatus::Stall, 0, {} };
    }
    platform::usb::VirtualOutResult BulkOut(std::uint8_t, const std::uint8_t*, std::size_t) override
    {
        return { platform::usb::UsbStatus::Stall, 0, {} };
    }
    platform::usb::UsbStatus InStarting(std::uint8_t, std::size_t) override { return platform::usb::UsbStatus::Stall; }
    const std::vector<std::uint8_t>* PeekIn(std::uint8_t) override { return nullptr; }
    void PopIn(std::uint8_t) override { }

private:
    std::uint16_t m_vid, m_pid;
    std::string m_manufacturer;
};

} // namespace tonrig::test
