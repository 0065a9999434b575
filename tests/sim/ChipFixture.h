#pragma once
// A booted virtual programmer with a chip in its socket, driven by raw packets as the host's link
// sends them, and chips built by hand from datasheet facts.

#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "support/CapturedProtocolErrors.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

namespace chips {

using sim::ChipCategory;
using sim::ChipPin;
using sim::ChipSpec;
using sim::PinRole;

// 27C256: 32 KB UV EPROM, DIP28, Vpp 12.75 V on pin 1 (14 V maximum), Vcc 28, GND 14.
inline ChipSpec Eprom27C256()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Eprom, 0x8000);
    s.name = "27C256";
    s.signature = { 0x20, 0x8D };
    s.packageCode = 4;
    s.pinCount = 28;
    s.pins = { { 1, PinRole::Vpp, 14.0 }, { 14, PinRole::Gnd, 0.0 }, { 28, PinRole::Vcc, 7.0 } };
    s.programmingVoltage = 12.75;
    return s;
}

// 2716: 2 KB EPROM, DIP24; Vpp 25 V on pin 21.
inline ChipSpec Eprom2716()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Eprom, 0x800);
    s.name = "2716";
    s.packageCode = 2;
    s.pinCount = 24;
    s.pins = { { 21, PinRole::Vpp, 26.0 }, { 12, PinRole::Gnd, 0.0 }, { 24, PinRole::Vcc, 7.0 } };
    s.programmingVoltage = 25.0;
    return s;
}

// 27C1024: 64 K x 16 EPROM, word addresses.
inline ChipSpec Eprom27C1024()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Eprom, 0x20000);
    s.name = "27C1024";
    s.wordMode = true;
    s.pinCount = 40;
    return s;
}

// 29F010: 128 KB flash in eight 16 KB sectors, ids 01 20.
inline ChipSpec Flash29F010()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Flash, 0x20000);
    s.name = "29F010";
    s.signature = { 0x01, 0x20 };
    s.pinCount = 32;
    return s;
}

// 28C64: 8 KB parallel EEPROM, 64-byte pages.
inline ChipSpec Eeprom28C64()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::ParallelEeprom, 0x2000);
    s.name = "28C64";
    s.pinCount = 28;
    return s;
}

// 24C02: 256-byte serial EEPROM; the AT34C02 adds a write protection of its upper half.
inline ChipSpec Eeprom24C02(bool protectable = false)
{
    ChipSpec s = ChipSpec::Make(ChipCategory::SerialEeprom, 256);
    s.name = protectable ? "AT34C02" : "24C02";
    s.protectableUpperHalf = protectable;
    s.pinCount = 8;
    return s;
}

// PIC16F84A: 1 K x 14 program words, 64 bytes of data EEPROM, ID 0x2000-0x2003, configuration
// word 0x2007, device ID 0x0560.
inline ChipSpec Pic16F84A()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Pic, 2 * 1024);
    s.name = "PIC16F84A";
    s.data.size = 64;
    s.signature = { 0x05, 0x60 };
    s.pic.coreBits = 14;
    s.pic.idAddress = 0x2000;
    s.pic.configMemoryWords = 8;
    s.pic.configWordAddress = 0x2007;
    s.pic.configWordCount = 1;
    s.pic.deviceIdAddress = 0x2006;
    s.pinCount = 18;
    return s;
}

// PIC12F675: 1 K x 14 with its OSCCAL RETLW at 0x3FF, 128 bytes of EEPROM, device ID 0x0FC0.
inline ChipSpec Pic12F675()
{
    ChipSpec s = Pic16F84A();
    s.name = "PIC12F675";
    s.data.size = 128;
    s.signature = { 0x0F, 0xC0 };
    s.pic.osccalAddress = 0x3FF;
    s.pic.osccalValue = 0x3480;
    s.pinCount = 8;
    return s;
}

// PIC12F508: 512 x 12 words, OSCCAL MOVLW at 0x1FF, ID 0x200-0x203, configuration word 0xFFF.
inline ChipSpec Pic12F508()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Pic, 2 * 512);
    s.name = "PIC12F508";
    s.pic.coreBits = 12;
    s.pic.idAddress = 0x200;
    s.pic.configMemoryWords = 4;
    s.pic.configWordAddress = 0xFFF;
    s.pic.configWordCount = 1;
    s.pic.osccalAddress = 0x1FF;
    s.pic.osccalValue = 0x0C70;
    s.pinCount = 8;
    return s;
}

// PIC18F452: 32 KB of program memory, seven configuration words at 0x300000, ID 0x200000.
inline ChipSpec Pic18F452()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Pic, 0x8000);
    s.name = "PIC18F452";
    s.data.size = 256;
    s.signature = { 0x04, 0x20 };
    s.pic.coreBits = 16;
    s.pic.idAddress = 0x100000;
    s.pic.configMemoryWords = 4;
    s.pic.configWordAddress = 0x180000;
    s.pic.configWordCount = 7;
    s.pic.configPosition = 0x300000;
    s.pinCount = 40;
    return s;
}

// AT89C51: 4 KB code, lock bits, signature 1E 51 FF.
inline ChipSpec At89C51()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Mcu8051, 0x1000);
    s.name = "AT89C51";
    s.signature = { 0x1E, 0x51, 0xFF };
    s.pinCount = 40;
    return s;
}

// ATmega8: 8 KB flash, 512 bytes EEPROM, fuses E1 D9, signature 1E 93 07.
inline ChipSpec ATmega8()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Avr, 0x2000);
    s.name = "ATmega8";
    s.data.size = 512;
    s.signature = { 0x1E, 0x93, 0x07 };
    s.fuses = { 0xE1, 0xD9 };
    s.pinCount = 28;
    return s;
}

inline ChipSpec Sram6264()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Sram, 0x2000);
    s.name = "6264";
    return s;
}

inline ChipSpec Nvram1225()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::Nvram, 0x2000);
    s.name = "DS1225";
    return s;
}

// DS2431: 128 bytes behind a 64-bit ROM (family 2D).
inline ChipSpec OneWire2431()
{
    ChipSpec s = ChipSpec::Make(ChipCategory::OneWire, 128);
    s.name = "DS2431";
    s.signature = { 0x2D, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x9A };
    return s;
}

} // namespace chips

// A booted box (image 355) and raw packets to it through g_ProgrammerLink.
class ChipFixture : public testing::Test {
protected:
    void SetUp() override { g_ProgrammerLink.ResetForTest(bus); }
    void TearDown() override { g_ProgrammerLink.ResetForTest(); }

    // Plugs a box in and runs image 355 on it through the link.
    void Start(sim::BoxConfig config = {})
    {
        box = sim::Box::PlugInto(*bus, std::move(config));
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        ASSERT_TRUE(box->RunningImage());
    }

    sim::Chip& Insert(sim::ChipSpec chipSpec)
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Insert(std::move(chipSpec));
    }
    sim::Chip& TheChip() { return *box->ChipSocket().Get(); }

    // The 27C256's datasheet switch masks: Vcc (pin 28) 0x04, Vpp (pin 1) 0x40; 5 V and 12.7 V.
    void RouteVpp27C256() { Send({ 30, 0x04, 0x40, 0x6F }); }

    platform::usb::UsbStatus Send(const std::vector<std::uint8_t>& packet)
    {
        g_ProgrammerLink.SendData(packet.data(), static_cast<int>(packet.size()));
        return g_ProgrammerLink.LastStatus();
    }
    // One read of up to `length` bytes through the link (its 20 s pipe time-out, clock time);
    // empty when nothing came.
    std::vector<std::uint8_t> Read(std::size_t length = 64)
    {
        std::vector<std::uint8_t> buf(length);
        buf.resize(static_cast<std::size_t>(g_ProgrammerLink.ReadData(buf.data(), static_cast<int>(length))));
        return buf;
    }

    static std::vector<std::uint8_t> Request(std::uint8_t code, std::uint32_t address, std::uint32_t length)
    {
        std::vector<std::uint8_t> p { code };
        for (int i = 3; i >= 0; --i)
            p.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
        for (int i = 3; i >= 0; --i)
            p.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
        return p;
    }

    // A block read; `status` receives the one-byte status that follows (empty if none came).
    std::vector<std::uint8_t> ReadBlock(
        std::uint8_t code, std::uint32_t address, std::uint32_t length, std::vector<std::uint8_t>* status = nullptr)
    {
        EXPECT_EQ(Send(Request(code, address, length)), platform::usb::UsbStatus::Ok);
        auto data = Read(length);
        auto st = Read(64);
        if (status)
            *status = st;
        else
            EXPECT_EQ(st, std::vector<std::uint8_t> { 0 }) << "status after the block";
        return data;
    }

    // A [57] read of `length` bytes from PIC word `word` with memory type `type`; the reply cut to
    // `length` when a whole packet came, else as it came.
    std::vector<std::uint8_t> PicRead(std::uint32_t word, std::uint8_t length, std::uint8_t type = 6)
    {
        Send({ 57, std::uint8_t(word >> 24), std::uint8_t(word >> 16), std::uint8_t(word >> 8), std::uint8_t(word),
            length, type, 0, 0, 0 });
        std::vector<std::uint8_t> r = Read();
        if (r.size() == 64)
            r.resize(length);
        return r;
    }
    // A [58] write of `data` from PIC word `word` with memory type `type`, and its reply.
    std::vector<std::uint8_t> PicWrite(std::uint32_t word, std::uint8_t type, const std::vector<std::uint8_t>& data)
    {
        std::vector<std::uint8_t> p { 58, std::uint8_t(word >> 24), std::uint8_t(word >> 16), std::uint8_t(word >> 8),
            std::uint8_t(word), std::uint8_t(data.size()), type };
        p.insert(p.end(), data.begin(), data.end());
        Send(p);
        return Read();
    }

    // The packets of one write block: [ok, address, step bytes], then [plain, ...], the address
    // advancing by step / unit.
    static std::vector<std::vector<std::uint8_t>> WritePackets(std::uint8_t ok, std::uint32_t address,
        const std::vector<std::uint8_t>& data, std::size_t step = 59, std::uint32_t unit = 1)
    {
        std::vector<std::vector<std::uint8_t>> packets;
        for (std::size_t at = 0; at < data.size(); at += step) {
            const std::uint32_t a = address + static_cast<std::uint32_t>(at / unit);
            std::vector<std::uint8_t> p { static_cast<std::uint8_t>(at == 0 ? ok : ok - 2) };
            for (int i = 3; i >= 0; --i)
                p.push_back(static_cast<std::uint8_t>(a >> (8 * i)));
            const std::size_t n = std::min(step, data.size() - at);
            p.insert(p.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                data.begin() + static_cast<std::ptrdiff_t>(at + n));
            packets.push_back(std::move(p));
        }
        return packets;
    }

    // Sends a block's packets in `transfers` transfers and reads its one reply.
    std::vector<std::uint8_t> WriteBlock(std::uint8_t ok, std::uint32_t address, const std::vector<std::uint8_t>& data,
        int transfers = 1, std::size_t step = 59, std::uint32_t unit = 1)
    {
        const auto packets = WritePackets(ok, address, data, step, unit);
        // Packets are cut at 64 bytes: a shorter one must end its transfer.
        const std::size_t per = step + 5 < 64 ? 1 : (packets.size() + transfers - 1) / transfers;
        for (std::size_t i = 0; i < packets.size(); i += per) {
            std::vector<std::uint8_t> transfer;
            for (std::size_t k = i; k < std::min(packets.size(), i + per); ++k)
                transfer.insert(transfer.end(), packets[k].begin(), packets[k].end());
            EXPECT_EQ(Send(transfer), platform::usb::UsbStatus::Ok);
        }
        return Read();
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    RecordingMessageBox boxes;
    std::shared_ptr<sim::Box> box;
};

inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 0x5A)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 37 + seed) ^ (i >> 8));
    return v;
}

} // namespace tonrig::test
