// What a device setup costs over the virtual programmer's time model, on the manual clock: the
// base image, the class's image (each a download and a re-enumeration) and the P_DEVICE packets,
// for a few classes on each model, at high and full speed. Prints the modelled seconds per setup
// and the host CPU time it took.

#include "BenchUtil.h"

#include "catalogue/DeviceClassTable.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/CommandChannel.h"
#include "operations/DeviceSetup.h"
#include "operations/SetupLinkPort.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"

#include <memory>

namespace {

struct QuietView final : ISetupView {
    void Log(const std::string&) override { }
    void SetField(int, const std::string&) override { }
    void ProgressStart(const std::string&, int) override { }
    void ProgressHide() override { }
    void ClearGridLoaded() override { }
    std::string LoadDeviceFile() override { return {}; }
    void FillGrid() override { }
    void ResetBuffers(int, int) override { }
    void SetSocketPicture(const CDeviceClass&) override { }
    void SetJumperPicture(const CDeviceClass&) override { }
    void SaveLastDevice(const std::string&) override { }
};

} // namespace

int main()
{
    bench::PrintMachine();
    InitDeviceClassTable();
    auto clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped(clock);
    std::printf("%-14s %-5s %5s %12s %12s\n", "programmer", "speed", "class", "modelled s", "cpu ms");
    for (const char* version : { "ZV-C Re-2.00", "ZV-CQ Re-1.00", "ZV-D Re-1.00" }) {
        for (auto speed : { platform::usb::UsbSpeed::High, platform::usb::UsbSpeed::Full }) {
            auto bus = std::make_shared<platform::usb::VirtualBus>();
            sim::BoxConfig config;
            config.version = version;
            config.speed = speed;
            config.strict = false;
            auto box = sim::Box::PlugInto(*bus, config);
            g_ProgrammerLink.ResetForTest(bus);
            g_ProgrammerLink.LoadFirmwareIfReady(kBaseFirmware);
            g_nProgrammerModel = sim::ModelOfVersion(version);

            ProgrammerLinkPort port;
            CommandChannel channel(port);
            QuietView view;
            DeviceSetup setup(channel, view, port);
            for (int index : { 175, 188, 313 }) {
                SetupRequest request;
                request.classIndex = index;
                request.device = g_DeviceClassTable[static_cast<std::size_t>(index)];
                request.model = g_nProgrammerModel;
                request.version = version;
                std::vector<double> modelled;
                std::vector<double> cpu;
                for (int run = 0; run < 3; ++run) {
                    const auto start = clock->Now();
                    const double cpuStart = bench::CpuSeconds();
                    std::stop_source stop;
                    SetupRequest copy = request;
                    setup.SetupDevice(copy, stop.get_token());
                    cpu.push_back((bench::CpuSeconds() - cpuStart) * 1e3);
                    modelled.push_back(std::chrono::duration<double>(clock->Now() - start).count());
                }
                std::printf("%-14s %-5s %5d %12.3f %12.2f  (image %d)\n", version,
                    speed == platform::usb::UsbSpeed::High ? "high" : "full", index, bench::Median(modelled),
                    bench::Median(cpu), box->RunningImage().value_or(-1));
            }
            g_ProgrammerLink.ResetForTest();
        }
    }
    return 0;
}
