// Throughput of the programmer link over the virtual programmer's time model, on the manual clock:
// P_TEST reads of 512 KiB in blocks (request, block, status) and writes of 512 KiB to the P_TEST
// sink (59 data bytes counted per 64-byte packet, a status read after each transfer), at full and
// high speed. Prints modelled seconds, throughput, its share of the USB limit and the host CPU time
// per transfer through g_ProgrammerLink.

#include "BenchUtil.h"

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"

#include <QCoreApplication>

#include <memory>
#include <vector>

namespace {

constexpr std::size_t kTotal = 512 * 1024;

struct Row {
    double modelled = 0;
    double cpuPerTransfer = 0;
    bool ok = true;
};

class Rig {
public:
    explicit Rig(platform::usb::UsbSpeed speed)
    {
        sim::BoxConfig config;
        config.speed = speed;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        loaded = static_cast<bool>(g_ProgrammerLink.LoadFirmwareIfReady(355)) && g_ProgrammerLink.Open();
    }
    ~Rig() { g_ProgrammerLink.ResetForTest(); }

    template <typename F> Row Measure(F&& run)
    {
        Row row;
        std::size_t transfers = 0;
        const auto start = clock->Now();
        const double cpu = bench::CpuSeconds();
        row.ok = run(transfers);
        row.cpuPerTransfer = (bench::CpuSeconds() - cpu) / static_cast<double>(transfers);
        row.modelled = std::chrono::duration<double>(clock->Now() - start).count();
        return row;
    }

    Row Read(std::size_t block)
    {
        std::vector<std::uint8_t> data(block);
        return Measure([&](std::size_t& transfers) {
            bool ok = true;
            for (std::size_t done = 0; done < kTotal; done += block) {
                std::uint8_t request[7] = { P_TEST, 0, 0, 0, 0, 0, 0 };
                PutBe32(request + 2, static_cast<std::uint32_t>(block));
                std::uint8_t status[1];
                g_ProgrammerLink.SendData(request, 7);
                ok &= g_ProgrammerLink.ReadData(data.data(), static_cast<int>(block)) == static_cast<int>(block);
                ok &= g_ProgrammerLink.ReadData(status, 1) == 1;
                transfers += 3;
            }
            return ok;
        });
    }

    Row Write(std::size_t transfer)
    {
        std::vector<std::uint8_t> data(transfer, 0x5A);
        for (std::size_t p = 0; p < transfer; p += 64) {
            data[p] = P_TEST;
            data[p + 1] = 1;
        }
        const std::size_t payload = transfer / 64 * 59;
        return Measure([&](std::size_t& transfers) {
            bool ok = true;
            for (std::size_t done = 0; done < kTotal; done += payload) {
                std::uint8_t status[1];
                g_ProgrammerLink.SendData(data.data(), static_cast<int>(transfer));
                ok &= g_ProgrammerLink.LastStatus() == platform::usb::UsbStatus::Ok;
                ok &= g_ProgrammerLink.ReadData(status, 1) == 1;
                transfers += 2;
            }
            return ok;
        });
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    bool loaded = false;
};

void Print(const char* speedName, const char* what, std::size_t size, const Row& row, double limit)
{
    const double rate = static_cast<double>(kTotal) / row.modelled;
    std::printf("%-5s %-6s %6zu B  %8.2f s  %11.0f B/s  %5.1f %% of USB  %6.2f us/transfer%s\n", speedName, what, size,
        row.modelled, rate, 100.0 * rate / limit, row.cpuPerTransfer * 1e6, row.ok ? "" : "  (ERRORS)");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::PrintMachine();
    sim::SetProtocolErrorHook([](const std::string& what) { std::printf("protocol error: %s\n", what.c_str()); });
    for (const bench::Speed& s : bench::kSpeeds) {
        for (std::size_t block : { 64u, 1024u, 8192u, 32768u }) {
            Rig rig(s.speed);
            if (!rig.loaded) {
                std::printf("%s: the virtual programmer did not start\n", s.name);
                return 1;
            }
            Print(s.name, "read", block, rig.Read(block), s.limit);
        }
        for (std::size_t transfer : { 64u, 256u }) {
            Rig rig(s.speed);
            Print(s.name, "write", transfer, rig.Write(transfer), s.limit);
        }
    }
    return 0;
}
