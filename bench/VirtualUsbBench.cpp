// The virtual programmer's transfer path: real time per 32 KiB P_TEST reply through the virtual
// bus (median of 5 runs of 200 replies), next to the wire time the time model charges for it, and
// the strict HEX parser over a 16 KiB image.

#include "BenchUtil.h"

#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "tools/mkfwimage/FirmwareImage.h"
#include "transport/IntelHex.h"

#include <cstdio>
#include <vector>

using namespace platform;
using namespace platform::usb;

namespace {

std::vector<std::uint8_t> Records(const std::string& hex)
{
    std::vector<std::uint8_t> ram;
    for (const auto& r : intelhex::Parse(hex).records)
        ram.insert(ram.end(), r.data.begin(), r.data.end());
    return ram;
}

} // namespace

int main()
{
    bench::PrintMachine();
    auto clock = std::make_shared<ManualClock>();
    ScopedClock scoped(clock);
    mkfwimage::ImageOptions options;
    for (UsbSpeed speed : {UsbSpeed::High, UsbSpeed::Full}) {
        VirtualBus bus;
        sim::BoxConfig config;
        config.speed = speed;
        config.strict = false;
        auto box = sim::Box::PlugInto(bus, config);
        auto h = bus.Open(bus.Enumerate()[0]).handle;
        std::uint8_t hold = 1, run = 0;
        h->ControlTransfer(0x40, 0xA0, 0xE600, 0, &hold, 1, 1000);
        const auto ram = Records(mkfwimage::ImageHex(options));
        for (std::size_t at = 0; at < ram.size(); at += 1024) {
            std::vector<std::uint8_t> chunk(ram.begin() + at, ram.begin() + std::min(ram.size(), at + 1024));
            h->ControlTransfer(0x40, 0xA0, static_cast<std::uint16_t>(at), 0, chunk.data(), chunk.size(), 1000);
        }
        h->ControlTransfer(0x40, 0xA0, 0xE600, 0, &run, 1, 1000);
        clock->Advance(1s);
        h = bus.Open(bus.Enumerate()[0]).handle;
        h->ClaimInterface();
        std::vector<std::uint8_t> reply(32768), ack(64);
        std::vector<double> runs;
        Duration wire{0};
        for (int r = 0; r < 5; ++r) {
            runs.push_back(bench::Seconds([&] {
                for (int i = 0; i < 200; ++i) {
                    std::uint8_t cmd[7] = {3, 0, 0, 0, 0x80, 0, 1};
                    h->BulkTransfer(0x02, cmd, sizeof cmd, 1000);
                    const Duration t0 = clock->Now();
                    h->BulkTransfer(0x86, reply.data(), reply.size(), 1000);
                    wire = clock->Now() - t0;
                    h->BulkTransfer(0x86, ack.data(), ack.size(), 1000);
                }
            }));
        }
        std::printf("%s speed: %.1f us real per 32 KiB reply; modelled wire time %.3f ms\n",
                    speed == UsbSpeed::High ? "high" : "full", bench::Median(runs) * 1e6 / 200,
                    std::chrono::duration<double, std::milli>(wire).count());
    }
    options.length = 0x4000;
    const std::string hex = mkfwimage::ImageHex(options);
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        std::size_t n = 0;
        runs.push_back(bench::Seconds([&] {
            for (int i = 0; i < 100; ++i)
                n += intelhex::Parse(hex).records.size();
        }));
        bench::Keep(static_cast<std::int64_t>(n));
    }
    std::printf("strict HEX parser: %.1f MB/s over a %zu-byte text\n",
                static_cast<double>(hex.size()) * 100 / bench::Median(runs) / 1e6, hex.size());
    return 0;
}
