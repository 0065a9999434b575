// The virtual programmer's cost to the tests that drive it through the link: 16 MiB read in 32,768-byte blocks
// and written in 256-byte blocks, on the manual clock, at full and high speed. Prints real host
// time beside the modelled time (and the wire's share); the ratio must stay far below 1 so that
// end-to-end tests stay fast. Then an EPROM's modelled 512 KiB write.

#include "bench/BenchUtil.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"

#include <cstdio>

using namespace platform;
using namespace platform::usb;

namespace {

struct Rig {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    std::shared_ptr<VirtualBus> bus = std::make_shared<VirtualBus>();
    std::shared_ptr<sim::Box> box;

    explicit Rig(UsbSpeed speed)
    {
        sim::BoxConfig config;
        config.speed = speed;
        config.strict = false;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        if (!g_ProgrammerLink.LoadFirmwareIfReady(355))
            std::fprintf(stderr, "the image did not load\n");
    }
    ~Rig() { g_ProgrammerLink.ResetForTest(); }

    void Insert(sim::ChipSpec chipSpec)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Insert(std::move(chipSpec));
    }

    void Send(std::vector<std::uint8_t>& bytes)
    {
        g_ProgrammerLink.SendData(bytes.data(), static_cast<int>(bytes.size()));
    }
    std::size_t Read(std::vector<std::uint8_t>& buf, std::size_t n)
    {
        return static_cast<std::size_t>(g_ProgrammerLink.ReadData(buf.data(), static_cast<int>(n)));
    }

    static void Put32(std::vector<std::uint8_t>& p, std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }

    // Reads `total` bytes in blocks of `block`; false on a short block.
    bool ReadAll(std::uint32_t total, std::uint32_t block)
    {
        std::vector<std::uint8_t> req(9, 4), buf(block);
        for (std::uint32_t at = 0; at < total; at += block) {
            Put32(req, 1, at);
            Put32(req, 5, block);
            Send(req);
            if (Read(buf, block) != block || Read(buf, 64) != 1)
                return false;
        }
        return true;
    }

    // Writes `total` bytes in blocks of `block`, each one transfer of 64-byte packets; false on
    // a failure reply.
    bool WriteAll(std::uint32_t total, std::uint32_t block)
    {
        std::vector<std::uint8_t> transfer, reply(64);
        for (std::uint32_t at = 0; at < total; at += block) {
            transfer.clear();
            for (std::uint32_t k = 0; k < block; k += 59) {
                const std::uint32_t n = std::min<std::uint32_t>(59, block - k);
                const std::size_t start = transfer.size();
                transfer.resize(start + 5 + n);
                transfer[start] = k == 0 ? 7 : 5;
                Put32(transfer, start + 1, at + k);
                for (std::uint32_t j = 0; j < n; ++j)
                    transfer[start + 5 + j] = static_cast<std::uint8_t>(at + k + j);
            }
            Send(transfer);
            if (Read(reply, 64) != 1 || reply[0] != 0)
                return false;
        }
        return true;
    }
};

const char* Name(UsbSpeed speed)
{
    return speed == UsbSpeed::High ? "high" : "full";
}

} // namespace

int main()
{
    bench::PrintMachine();
    constexpr std::uint32_t kTotal = 16u << 20;
    for (UsbSpeed speed : { UsbSpeed::Full, UsbSpeed::High }) {
        for (bool write : { false, true }) {
            Rig rig(speed);
            sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, kTotal);
            chipSpec.pageWrite = true; // every pass writes over the last
            rig.Insert(chipSpec);
            const Duration modelStart = rig.clock->Now();
            const Duration wireStart = rig.box->Port()->WireTime();
            bool ok = false;
            const double real
                = bench::Seconds([&] { ok = write ? rig.WriteAll(kTotal, 256) : rig.ReadAll(kTotal, 32768); });
            const double model = std::chrono::duration<double>(rig.clock->Now() - modelStart).count();
            const double wire = std::chrono::duration<double>(rig.box->Port()->WireTime() - wireStart).count();
            std::printf("%s speed, 16 MiB %s in %s blocks: real %.3f s, modelled %.2f s (wire %.2f s), "
                        "real/modelled %.4f, real/wire %.4f%s\n",
                Name(speed), write ? "write" : "read", write ? "256-byte" : "32,768-byte", real, model, wire,
                real / model, real / wire, ok ? "" : "  FAILED");
        }
    }

    // An EPROM's 512 KiB write in 256-byte blocks: modelled time.
    for (UsbSpeed speed : { UsbSpeed::Full, UsbSpeed::High }) {
        Rig rig(speed);
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Eprom, 512u << 10);
        chipSpec.name = "27C4001";
        rig.Insert(chipSpec);
        const Duration start = rig.clock->Now();
        bool ok = false;
        const double real = bench::Seconds([&] { ok = rig.WriteAll(512u << 10, 256); });
        const double model = std::chrono::duration<double>(rig.clock->Now() - start).count();
        std::printf("%s speed, EPROM 512 KiB write: modelled %.2f s (real %.3f s)%s\n", Name(speed), model, real,
            ok ? "" : "  FAILED");
    }
    return 0;
}
