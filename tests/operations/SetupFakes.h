#pragma once
// A programmer as the command channel and the device setup see it, for the operations tests:
// the images it was given, the packets it got, the replies it gives.

#include "link/ProgrammerCommand.h"
#include "operations/SetupLinkPort.h"
#include "platform/GuiThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

using Bytes = std::vector<std::uint8_t>;

// The programmer as setup sees it: images it runs, packets it got, replies it gives.
struct FakeBox : ISetupLinkPort {
    mutable std::mutex mutex;
    std::vector<int> loads;
    std::vector<std::string> classFiles;
    std::vector<Bytes> packets;
    std::map<int, FirmwareLoad> loadResult;
    bool classFileLoads = true;
    std::uint16_t firmwareId = 0;
    int pendingReply = 0; // bytes a read may take
    int invalidations = 0;
    std::vector<std::string> switchesFor;
    std::atomic<int> speed { 5 };
    std::function<void(int)> onLoad;

    bool Send(const std::uint8_t* data, int length) override
    {
        std::lock_guard lock(mutex);
        packets.emplace_back(data, data + length);
        if (data[0] == P_ACK)
            pendingReply = 1;
        return true;
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        std::lock_guard lock(mutex);
        const int n = std::min(pendingReply, size);
        std::fill_n(buffer, n, 0);
        pendingReply = 0;
        return n;
    }
    bool Open() override { return true; }
    int TransportMode() const override { return 2; }
    int UsbChipType() const override { return 2; }

    int Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size) override
    {
        {
            std::lock_guard lock(mutex);
            packets.emplace_back(packet, packet + length);
        }
        std::fill_n(reply, size, 0);
        if (packet[0] == P_FIRMWARE_ID_GET) {
            reply[0] = static_cast<std::uint8_t>(firmwareId >> 8);
            reply[1] = static_cast<std::uint8_t>(firmwareId);
        }
        return size;
    }
    FirmwareLoad LoadFirmware(int number) override
    {
        if (onLoad)
            onLoad(number);
        std::lock_guard lock(mutex);
        loads.push_back(number);
        const auto it = loadResult.find(number);
        return it == loadResult.end() ? FirmwareLoad::Loaded : it->second;
    }
    bool LoadClassFile(const std::string& path) override
    {
        std::lock_guard lock(mutex);
        classFiles.push_back(path);
        return classFileLoads;
    }
    void InvalidateSentCache() override { ++invalidations; }
    void ApplySwitches(const CDeviceClass& device) override
    {
        std::lock_guard lock(mutex);
        switchesFor.push_back(device.m_strName);
    }
    int SpeedLevel() override { return speed; }
    void SetSpeedLevel(int level) override { speed = level; }

    std::vector<Bytes> PacketsOf(std::uint8_t code) const
    {
        std::lock_guard lock(mutex);
        std::vector<Bytes> out;
        for (const Bytes& p : packets) {
            if (p[0] == code)
                out.push_back(p);
        }
        return out;
    }
    // The image the box runs: the last one that loaded (355 counts here: it is what runs).
    int Running() const
    {
        std::lock_guard lock(mutex);
        return loads.empty() ? -1 : loads.back();
    }
};

struct FakeView : ISetupView {
    std::vector<std::string> log;
    std::map<int, std::string> fields;
    int progressStarts = 0;
    int progressHides = 0;
    int gridCleared = 0;
    int deviceFileLoads = 0;
    int gridFills = 0;
    std::vector<std::pair<int, int>> bufferResets;
    int sockets = 0;
    int jumpers = 0;
    std::string lastDevice;
    bool guiOnly = true;

    void Check() { guiOnly = guiOnly && platform::IsGuiThread(); }
    void Log(const std::string& text) override
    {
        Check();
        log.push_back(text);
    }
    void SetField(int id, const std::string& text) override
    {
        Check();
        fields[id] = text;
    }
    void ProgressStart(const std::string&, int range) override
    {
        Check();
        EXPECT_EQ(range, 5);
        ++progressStarts;
    }
    void ProgressHide() override
    {
        Check();
        ++progressHides;
    }
    void ClearGridLoaded() override { Check(), ++gridCleared; }
    std::string LoadDeviceFile() override
    {
        Check();
        ++deviceFileLoads;
        return {};
    }
    void FillGrid() override { Check(), ++gridFills; }
    void ResetBuffers(int code, int data) override
    {
        Check();
        bufferResets.emplace_back(code, data);
    }
    void SetSocketPicture(const CDeviceClass&) override { Check(), ++sockets; }
    void SetJumperPicture(const CDeviceClass&) override { Check(), ++jumpers; }
    void SaveLastDevice(const std::string& name) override
    {
        Check();
        lastDevice = name;
    }
};

} // namespace tonrig::test
