#pragma once
// The programmer as the view's command channel and device setup reach it: packets and replies,
// firmware and class-file loads, the pin-driver state and the header's speed level.

#include "operations/CommandChannel.h"
#include "operations/DeviceSetup.h"

#include <atomic>
#include <functional>
#include <memory>

class ISetupLinkPort : public IChannelLink, public ISetupHardware { };

// No programmer behind it: nothing goes out, nothing loads, no reply comes.
class NullLinkPort final : public ISetupLinkPort {
public:
    bool Send(const std::uint8_t*, int) override { return false; }
    int Read(std::uint8_t*, int) override { return 0; }
    bool Open() override { return false; }
    int TransportMode() const override { return 0; }
    int UsbChipType() const override { return 0; }
    int Exchange(const std::uint8_t*, int, std::uint8_t*, int) override { return 0; }
    FirmwareLoad LoadFirmware(int) override { return FirmwareLoad::NoProgrammer; }
    bool LoadClassFile(const std::string&) override { return false; }
    void InvalidateSentCache() override { }
    void ApplySwitches(const CDeviceClass&) override { }
    int SpeedLevel() override { return m_speed; }
    void SetSpeedLevel(int level) override { m_speed = level; }

private:
    std::atomic<int> m_speed { 5 };
};

// The one programmer link. The pin-driver state and the header's speed level come in through
// the hooks; without them the cache is left alone, no switch byte is sent and the level is kept
// here.
class ProgrammerLinkPort final : public ISetupLinkPort {
public:
    bool Send(const std::uint8_t* data, int length) override;
    int Read(std::uint8_t* buffer, int size) override;
    int ReadFor(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop) override;
    bool Open() override;
    int TransportMode() const override;
    int UsbChipType() const override;
    int Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size) override;
    FirmwareLoad LoadFirmware(int number) override;
    bool LoadClassFile(const std::string& path) override;
    void InvalidateSentCache() override;
    void ApplySwitches(const CDeviceClass& device) override;
    int SpeedLevel() override;
    void SetSpeedLevel(int level) override;

    std::function<void()> invalidateSentCache;
    std::function<void(const CDeviceClass&)> applySwitches;
    std::function<int()> speedLevel;
    std::function<void(int)> setSpeedLevel;

private:
    std::atomic<int> m_speed { 5 };
};

// The port the program uses: the one programmer link.
std::unique_ptr<ISetupLinkPort> MakeProgrammerLinkPort();
