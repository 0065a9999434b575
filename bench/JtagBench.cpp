// The JTAG layer over the virtual programmer's time model, on the manual clock: a 2,048-bit
// capturing DR scan, all 256 TAP moves, and erase, program and verify of the model CPLD in the
// socket (16 rows, level 5), at full and high speed. Prints modelled seconds, packets and the host
// CPU time per packet.

#include "BenchUtil.h"

#include "jtag/JtagLayer.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/JtagHandler.h"

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <vector>

namespace {

class Rig {
public:
    explicit Rig(platform::usb::UsbSpeed speed)
    {
        sim::BoxConfig config;
        config.version = "ZV-CQ Re-1.00";
        config.speed = speed;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        loaded = static_cast<bool>(g_ProgrammerLink.LoadFirmwareIfReady(358));
        const std::uint8_t vcc[2] = { 15, 1 };
        g_ProgrammerLink.SendData(vcc, 2);
        std::lock_guard lock(box->Mutex());
        box->Jtag().SocketChain().Add(std::make_unique<sim::ModelCpld>());
    }
    ~Rig() { g_ProgrammerLink.ResetForTest(); }

    void Measure(const char* speed, const char* what, const std::function<bool(JtagLayer&)>& run)
    {
        jtag.StaplJtagInit();
        const auto packets = box->Jtag().Packets(sim::JtagRoute::Socket);
        const auto start = clock->Now();
        const double cpu = bench::CpuSeconds();
        const bool ok = run(jtag);
        const double cpuUsed = bench::CpuSeconds() - cpu;
        const auto sent = box->Jtag().Packets(sim::JtagRoute::Socket) - packets;
        std::printf("%-5s %-22s %9.4f s  %6zu packets  %6.2f us/packet%s\n", speed, what,
            std::chrono::duration<double>(clock->Now() - start).count(), sent,
            sent ? cpuUsed * 1e6 / static_cast<double>(sent) : 0.0, ok ? "" : "  (ERRORS)");
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    bool loaded = false;
    LinkJtagPort port;
    JtagLayer jtag { port };
};

bool Ir(JtagLayer& j, std::uint8_t instruction)
{
    return j.StaplIrScan(8, &instruction, 0) == 0;
}

bool Dr32(JtagLayer& j, std::uint32_t value, std::uint32_t* captured = nullptr)
{
    std::uint8_t data[4]
        = { std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16), std::uint8_t(value >> 24) };
    std::uint8_t capture[4] = {};
    if (j.StaplDrScanCapture(32, data, 0, capture, 0) != 0)
        return false;
    if (captured)
        *captured = std::uint32_t(capture[0]) | std::uint32_t(capture[1]) << 8 | std::uint32_t(capture[2]) << 16
            | std::uint32_t(capture[3]) << 24;
    return true;
}

bool ProgramAndVerify(JtagLayer& j)
{
    bool ok = Ir(j, sim::kCpldIspEnable) && Ir(j, sim::kCpldErase) && j.StaplWaitCycles(200000, IDLE) == 0;
    std::uint8_t zero = 0;
    ok = ok && Ir(j, sim::kCpldAddress) && j.StaplDrScan(8, &zero, 0) == 0 && Ir(j, sim::kCpldProgram);
    for (std::uint32_t i = 0; ok && i < 16; ++i)
        ok = Dr32(j, 0x9E3779B9u * (i + 1)) && j.StaplWaitCycles(100, IDLE) == 0;
    ok = ok && Ir(j, sim::kCpldAddress) && j.StaplDrScan(8, &zero, 0) == 0 && Ir(j, sim::kCpldRead);
    for (std::uint32_t i = 0; ok && i < 16; ++i) {
        std::uint32_t row = 0;
        ok = Dr32(j, 0, &row) && row == 0x9E3779B9u * (i + 1);
    }
    return ok && Ir(j, sim::kCpldIspDisable) && j.StaplJtagFree(1) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::PrintMachine();
    sim::SetProtocolErrorHook([](const std::string& what) { std::printf("protocol error: %s\n", what.c_str()); });
    for (const bench::Speed& s : bench::kSpeeds) {
        Rig rig(s.speed);
        if (!rig.loaded) {
            std::printf("%s: the virtual programmer did not start\n", s.name);
            return 1;
        }
        rig.Measure(s.name, "2048-bit DR capture", [](JtagLayer& j) {
            std::vector<std::uint8_t> data(256, 0x5A), capture(256);
            return Ir(j, 0xFF) && j.StaplDrScanCapture(2048, data.data(), 0, capture.data(), 0) == 0;
        });
        rig.Measure(s.name, "256 TAP moves", [](JtagLayer& j) {
            bool ok = true;
            for (std::int32_t from = RESET; from <= IRUPDATE; ++from)
                for (std::int32_t to = RESET; to <= IRUPDATE; ++to)
                    ok = ok && j.StaplGotoJtagState(from) == 0 && j.StaplGotoJtagState(to) == 0;
            return ok;
        });
        rig.Measure(s.name, "CPLD program + verify", ProgramAndVerify);
    }
    return 0;
}
