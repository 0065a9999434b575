// Arbitrary transfers to the virtual programmer with a chip in its socket: the command handlers
// must never read outside a packet or a memory, and a PIC's words never grow bits above its core
// width. Input: byte 0 picks the chip; then runs of [n, n bytes], each one OUT transfer, every
// reply drained after it.

#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/FirmwareDescriptor.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Rig {
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    platform::usb::VirtualBus bus;
    std::shared_ptr<sim::Box> box;
    std::shared_ptr<platform::usb::UsbHandle> h;

    Rig()
    {
        sim::BoxConfig config;
        config.strict = false;
        box = sim::Box::PlugInto(bus, config);
        Open();
        // A minimal image of ours: the descriptor and its CRC.
        std::vector<std::uint8_t> image(sim::fw::kMinLength, 0);
        sim::fw::Descriptor d;
        d.number = 355;
        d.length = static_cast<std::uint16_t>(image.size());
        sim::fw::WriteDescriptor(image.data(), d);
        Cpucs(1);
        h->ControlTransfer(0x40, 0xA0, 0, 0, image.data(), image.size(), 1000);
        Cpucs(0);
        clock->Advance(std::chrono::seconds(1));
        Open();
        if (!box->RunningImage())
            std::abort();
    }
    void Open()
    {
        for (const auto& info : bus.Enumerate())
            h = bus.Open(info).handle;
        h->ClaimInterface();
    }
    void Cpucs(std::uint8_t v) { h->ControlTransfer(0x40, 0xA0, box->CpucsAddress(), 0, &v, 1, 1000); }
};

sim::ChipSpec Pick(std::uint8_t b)
{
    using sim::ChipCategory;
    static const ChipCategory kinds[] = { ChipCategory::Eprom, ChipCategory::Flash, ChipCategory::ParallelEeprom,
        ChipCategory::SerialEeprom, ChipCategory::Mcu8051, ChipCategory::Avr, ChipCategory::Pic, ChipCategory::Sram,
        ChipCategory::Nvram, ChipCategory::OneWire };
    sim::ChipSpec s = sim::ChipSpec::Make(kinds[b % 10], (b & 0x40) ? 1000 : 4096);
    s.data.size = (b & 0x80) ? 0 : 64;
    s.config.size = 8;
    s.wordMode = (b & 0x20) != 0;
    s.packageCode = (b & 0x10) ? 2 : 0;
    s.fuses = { 1, 2, 3 };
    s.times.erase = std::chrono::milliseconds(1500);
    s.protectedBlocks = { { 0x100, 0x100 } };
    s.pic.coreBits = (b & 0x30) == 0x10 ? 12 : (b & 0x30) == 0x20 ? 16 : 14;
    s.pic.osccalAddress = (b & 0x08) ? 0x7FF : 0x3FF;
    s.pic.configWordAddress = (b & 0x04) ? 0x2007 : 0xFFF;
    s.protectableUpperHalf = (b & 0x02) != 0;
    s.noReadStatus = (b & 0x01) != 0;
    s.conditions.weak = { { sim::ChipMemory::Main, 5, 0x01, sim::WeakMode::FlipsBack },
        sim::WeakBits::NeedsTwoPasses(sim::ChipMemory::Main, 0x200, 0x40) };
    s.conditions.flipAfterWrite = { { sim::ChipMemory::Main, 6, 0x80 } };
    s.conditions.configWriteRefused = (b & 0x04) != 0;
    s.conditions.osccalWriteIgnored = (b & 0x08) != 0;
    s.conditions.osccalReadUnanswered = (b & 0x02) != 0;
    if (b & 0x01)
        s.conditions.eraseTime = std::chrono::milliseconds(2500);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static Rig rig;
    if (size == 0)
        return 0;
    {
        std::lock_guard lock(rig.box->Mutex());
        rig.box->ChipSocket().Insert(Pick(data[0]));
    }
    std::vector<std::uint8_t> in(32768 + 64);
    for (std::size_t at = 1; at < size;) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        std::vector<std::uint8_t> out(data + at + 1, data + at + 1 + n);
        at += 1 + n;
        if (out.empty())
            continue;
        rig.h->BulkTransfer(0x02, out.data(), out.size(), 100);
        while (rig.h->BulkTransfer(rig.box->InEndpoint(), in.data(), in.size(), 10).count) { }
    }
    std::lock_guard lock(rig.box->Mutex());
    sim::Chip& chip = *rig.box->ChipSocket().Get();
    for (auto memory : { sim::ChipMemory::Main, sim::ChipMemory::Config })
        for (std::uint32_t i = 0; i < chip.Contents(memory).size(); ++i)
            if (chip.Contents(memory)[i] & ~chip.Mask(memory, i))
                std::abort();
    std::uint8_t setup[] = { 22 };
    rig.h->BulkTransfer(0x02, setup, 1, 100);
    return 0;
}
