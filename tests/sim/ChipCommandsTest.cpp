// The chip in the virtual programmer's socket, driven by raw packets: what silicon would show.

#include "tests/sim/ChipFixture.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tonrig::test;
using sim::ChipCategory;
using sim::ChipMemory;
using sim::ChipSpec;
using Bytes = std::vector<std::uint8_t>;

namespace {

class ChipCommands : public ChipFixture { };

TEST_F(ChipCommands, BlockReadsOfEveryRegion)
{
    Start();
    ChipSpec chipSpec = chips::ATmega8();
    chipSpec.main.size = 0x10000;
    chipSpec.data.size = 512;
    chipSpec.config.size = 16;
    chipSpec.config.base = 0x100;
    Insert(chipSpec);
    auto& chip = TheChip();
    chip.Contents(ChipMemory::Main) = Pattern(0x10000, 1);
    chip.Contents(ChipMemory::Data) = Pattern(512, 2);
    chip.Contents(ChipMemory::Config) = Pattern(16, 3);

    struct Case {
        std::uint8_t code;
        ChipMemory memory;
        std::uint32_t address; // as sent
        std::uint32_t offset; // where it lands
        std::uint32_t length;
    };
    const Case cases[] = {
        { 4, ChipMemory::Main, 0, 0, 1 },
        { 4, ChipMemory::Main, 0x1234, 0x1234, 16 },
        { 4, ChipMemory::Main, 0x8000, 0x8000, 8192 },
        { 4, ChipMemory::Main, 0, 0, 32768 },
        { 4, ChipMemory::Main, 0x30010, 0x0010, 16 }, // higher address lines are not connected
        { 4, ChipMemory::Main, 0xFFF8, 0xFFF8, 16 }, // wraps inside the block
        { 46, ChipMemory::Data, 0x10, 0x10, 16 },
        { 46, ChipMemory::Data, 0x200, 0, 512 },
        { 50, ChipMemory::Config, 0x104, 4, 8 },
        { 50, ChipMemory::Config, 0x100, 0, 32 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << int(c.code) << " at 0x" << std::hex << c.address);
        const Bytes got = ReadBlock(c.code, c.address, c.length);
        ASSERT_EQ(got.size(), c.length);
        const auto& mem = chip.Contents(c.memory);
        for (std::uint32_t j = 0; j < c.length; ++j)
            ASSERT_EQ(got[j], mem[(c.offset + j) % mem.size()]) << "byte " << j;
    }

    // Lengths outside 1..32768 are protocol errors and answer nothing; so are the unused codes.
    CapturedProtocolErrors errors;
    for (std::uint32_t length : { 0u, 32769u }) {
        Send(Request(4, 0, length));
        EXPECT_TRUE(Read().empty());
    }
    for (std::uint8_t code : { 6, 48, 52, 91, 92 }) {
        Send(Request(code, 0, 16));
        EXPECT_TRUE(Read().empty());
    }
    EXPECT_EQ(errors.Errors().size(), 7u);
}

TEST_F(ChipCommands, ClassNinetyReadsEndWithoutStatusAndSetupLeavesNothingStale)
{
    Start();
    ChipSpec chipSpec = chips::Flash29F010();
    chipSpec.noReadStatus = true;
    Insert(chipSpec);
    Bytes status { 9 };
    const Bytes got = ReadBlock(4, 0, 4096, &status);
    EXPECT_EQ(got, Bytes(4096, 0xFF));
    EXPECT_TRUE(status.empty());

    // A block asked for and never read is gone after P_SETUP.
    Send(Request(4, 0, 32768));
    Send({ 22 });
    Send({ 10 });
    const Bytes sig = Read();
    ASSERT_EQ(sig.size(), 64u);
    EXPECT_EQ(sig[0], 0x01);
    EXPECT_EQ(sig[1], 0x20);
}

struct WriteCase {
    const char* name;
    ChipSpec chipSpec;
    bool replaces;
    std::uint8_t ok = 7;
    ChipMemory memory = ChipMemory::Main;
};

TEST_F(ChipCommands, WritesByCategory)
{
    const WriteCase cases[] = {
        { "EPROM", chips::Eprom27C256(), false },
        { "flash", chips::Flash29F010(), false },
        { "parallel EEPROM", chips::Eeprom28C64(), true },
        { "serial EEPROM", chips::Eeprom24C02(), true },
        { "14-bit PIC program memory", chips::Pic16F84A(), false },
        { "14-bit PIC data EEPROM", chips::Pic16F84A(), true, 49, ChipMemory::Data },
        { "SRAM", chips::Sram6264(), true },
        { "NVRAM", chips::Nvram1225(), true },
        { "1-Wire", chips::OneWire2431(), true },
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        Start();
        Insert(c.chipSpec);
        auto& chip = TheChip();
        const std::uint8_t read = c.ok == 49 ? 46 : 4;
        // Above ZV-A a DIP28 part needs address bit 17 to be powered.
        const std::uint32_t high = c.chipSpec.packageCode == 4 ? 0x20000 : 0;
        const std::uint32_t size = chip.Size(c.memory);
        const std::uint32_t n = std::min<std::uint32_t>(size, 200);
        if (c.chipSpec.programmingVoltage > 0)
            RouteVpp27C256();

        Bytes data = Pattern(n);
        for (std::uint32_t j = 0; j < n; ++j)
            data[j] &= chip.Mask(c.memory, j); // a PIC word's missing bits
        data[3] = 0x0F;
        EXPECT_EQ(WriteBlock(c.ok, high | 0x0, data), Bytes { 0 });
        EXPECT_EQ(ReadBlock(read, high, n), data);

        // A 1 over a 0 at byte 3: taken by the replacing kinds; the clearing ones keep the byte
        // and name it with the byte read back and the one intended.
        Bytes again = data;
        again[3] = 0xF0;
        const Bytes reply = WriteBlock(c.ok, high | 0x0, again);
        if (c.replaces) {
            EXPECT_EQ(reply, Bytes { 0 });
            EXPECT_EQ(chip.Read(c.memory, 3), 0xF0);
        } else {
            const std::uint32_t a = high | 3;
            EXPECT_EQ(reply,
                (Bytes { 1, std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a), 0x00,
                    0xF0 }));
            EXPECT_EQ(chip.Read(c.memory, 3), 0x00);
        }
        box->Port()->Unplug();
    }
}

TEST_F(ChipCommands, OneReplyPerBlockAndOnlyTheFirstFailure)
{
    Start();
    Insert(chips::Eprom27C256());
    RouteVpp27C256();
    auto& mem = TheChip().Contents(ChipMemory::Main);
    const Bytes data = Pattern(590);
    for (int transfers : { 1, 5 }) {
        SCOPED_TRACE(transfers);
        const std::uint32_t at = 0x20000 | (transfers == 1 ? 0 : 0x1000);
        EXPECT_EQ(WriteBlock(7, at, data, transfers), Bytes { 0 });
        EXPECT_TRUE(Read().empty()) << "a second reply";
        EXPECT_TRUE(std::equal(data.begin(), data.end(), mem.begin() + (at & 0x7FFF)));
    }

    // Two bytes of packet 2 cannot be programmed: the reply names the first only.
    mem[0x2000 + 59 + 10] = 0x00;
    mem[0x2000 + 59 + 20] = 0x00;
    Bytes ones(200, 0xAA);
    const Bytes reply = WriteBlock(7, 0x22000, ones, 2);
    EXPECT_EQ(reply, (Bytes { 1, 0x00, 0x02, 0x20, 59 + 10, 0x00, 0xAA }));
    EXPECT_TRUE(Read().empty());
}

TEST_F(ChipCommands, ProtectedFlashBlocksNeedTheTemporaryUnprotect)
{
    Start();
    ChipSpec chipSpec = chips::Flash29F010();
    chipSpec.protectedBlocks = { { 0x4000, 0x4000 } };
    Insert(chipSpec);
    for (std::uint8_t setup : { 0, 1 }) {
        SCOPED_TRACE(int(setup));
        Send({ 22, setup });
        const Bytes reply = WriteBlock(7, 0x4000 + setup, { 0x12 });
        if (setup)
            EXPECT_EQ(reply, Bytes { 0 });
        else
            EXPECT_EQ(reply, (Bytes { 1, 0, 0, 0x40, 0x00, 0xFF, 0x12 }));
        EXPECT_EQ(WriteBlock(7, 0x100 + setup, { 0x34 }), Bytes { 0 }) << "outside the block";
    }
}

TEST_F(ChipCommands, ProgrammingTakesTheChipsTime)
{
    sim::BoxConfig config;
    config.time = sim::TimeModel::Zero();
    Start(config);
    struct Case {
        const char* name;
        ChipSpec chipSpec;
        std::size_t bytes;
        double ms; // at least
    };
    const Case cases[] = {
        { "parallel EEPROM, two pages", chips::Eeprom28C64(), 100, 20.0 },
        { "EPROM, 100 us a byte", chips::Eprom27C256(), 100, 10.0 },
        { "serial EEPROM, 23 us a byte and 5 ms a page", chips::Eeprom24C02(), 32, 10.0 + 32 * 0.023 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChipSpec chipSpec = c.chipSpec;
        chipSpec.vppRuleOff = true;
        chipSpec.packageCode = 0;
        Insert(chipSpec);
        const auto start = clock->Now();
        EXPECT_EQ(WriteBlock(7, 0, Pattern(c.bytes)), Bytes { 0 });
        const double ms = std::chrono::duration<double, std::milli>(clock->Now() - start).count();
        EXPECT_GE(ms, c.ms);
        EXPECT_LT(ms, c.ms * 1.2);
    }
    // A 32 KB read at 1 us a byte.
    const auto start = clock->Now();
    ReadBlock(4, 0, 32768);
    const double ms = std::chrono::duration<double, std::milli>(clock->Now() - start).count();
    EXPECT_NEAR(ms, 32.8, 0.5);
}

TEST_F(ChipCommands, TheProgrammingVoltageMustReachTheVppPin)
{
    Start();
    Insert(chips::Eprom27C256());
    // The chip is the socket's load: 28 pins from row 7, Vpp on pin 1 at position 7.
    const sim::SocketLoad load = box->Electrical().Load();
    EXPECT_EQ(load.pins, 28);
    EXPECT_EQ(load.Position(1), 7);
    EXPECT_EQ(load.Role(1), sim::PinRole::Vpp);
    const Bytes data = Pattern(32);
    struct Case {
        const char* name;
        Bytes setup; // [30, Vcc switch, Vpp switch, select]
        bool programs;
    };
    const Case cases[] = {
        { "12.7 V routed to address pin 3", { 30, 0x04, 0x20, 0x6F }, false },
        { "5 V on pin 1", { 30, 0x04, 0x40, 0x7F }, false },
        { "12.7 V on pin 1", { 30, 0x04, 0x40, 0x6F }, true },
    };
    std::uint32_t at = 0x20000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        box->Electrical().ClearHazards();
        Send(c.setup);
        const Bytes reply = WriteBlock(7, at, data);
        std::vector<sim::Hazard> operation;
        for (const auto& h : box->Electrical().Hazards())
            if (h.kind == sim::HazardKind::Operation)
                operation.push_back(h);
        if (c.programs) {
            EXPECT_EQ(reply, Bytes { 0 });
            EXPECT_TRUE(box->Electrical().Hazards().empty());
            EXPECT_EQ(ReadBlock(4, at, 32), data);
        } else {
            ASSERT_EQ(reply.size(), 7u);
            EXPECT_EQ(reply[5], 0xFF);
            ASSERT_EQ(operation.size(), 1u);
            EXPECT_EQ(operation[0].what, "write without programming voltage");
            EXPECT_EQ(operation[0].chipPin, 1);
            EXPECT_EQ(ReadBlock(4, at, 32), Bytes(32, 0xFF));
        }
        at += 0x100;
    }
    Send({ 21 });
    EXPECT_FALSE(box->Electrical().RailsOn());
}

TEST_F(ChipCommands, EraseByCategory)
{
    Start();
    // EPROM: not electrically erasable, at once.
    Insert(chips::Eprom27C256());
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 1 });

    // Flash: [2] about once a second, then [0]; everything blank but the protected sector.
    ChipSpec flash = chips::Flash29F010();
    flash.protectedBlocks = { { 0x4000, 0x4000 } };
    flash.times.erase = 3500ms;
    Insert(flash);
    auto& mem = TheChip().Contents(ChipMemory::Main);
    std::fill(mem.begin(), mem.end(), 0x00);
    const auto start = clock->Now();
    Send({ 9, 0 });
    std::vector<std::pair<platform::Duration, Bytes>> replies;
    for (Bytes r = Read(); !r.empty(); r = Read()) {
        replies.emplace_back(clock->Now() - start, r);
        if (r != Bytes { 2 })
            break;
    }
    ASSERT_EQ(replies.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(replies[i].second, Bytes { 2 });
        EXPECT_NEAR(std::chrono::duration<double>(replies[i].first).count(), i + 1.0, 0.05);
    }
    EXPECT_EQ(replies[3].second, Bytes { 0 });
    EXPECT_NEAR(std::chrono::duration<double>(replies[3].first).count(), 3.5, 0.05);
    EXPECT_EQ(std::count(mem.begin(), mem.end(), 0xFF), 0x20000 - 0x4000);
    EXPECT_EQ(mem[0x4000], 0x00);
    // Option 1, the temporary unprotect, takes the protected sector too.
    Send({ 9, 1 });
    while (Read() == Bytes { 2 }) { }
    EXPECT_EQ(std::count(mem.begin(), mem.end(), 0xFF), 0x20000);

    // A [9] during an erase is answered after it; P_SETUP ends an erase.
    Send({ 9, 0 });
    clock->Advance(1500ms);
    Send({ 9, 0 });
    Bytes r;
    int twos = 0;
    while ((r = Read()) == Bytes { 2 })
        ++twos;
    EXPECT_EQ(r, Bytes { 0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(twos, 3);
    mem[0] = 0x00;
    Send({ 9, 0 });
    clock->Advance(1500ms);
    Send({ 22 });
    EXPECT_TRUE(Read().empty());
    EXPECT_EQ(mem[0], 0x00);
    // So does P_POWER_DOWN: the ticks and the answer already on their way never come.
    Send({ 9, 0 });
    clock->Advance(1500ms);
    EXPECT_EQ(Read(), Bytes { 2 });
    Send({ 21 });
    EXPECT_TRUE(Read().empty());
    EXPECT_EQ(mem[0], 0x00);

    // AVR: code and lock go, data EEPROM and fuses stay.
    Insert(chips::ATmega8());
    auto& avr = TheChip();
    avr.Contents(ChipMemory::Main)[5] = 0x12;
    avr.Contents(ChipMemory::Data)[5] = 0x34;
    ASSERT_TRUE(avr.SetLock(2));
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(avr.Contents(ChipMemory::Main)[5], 0xFF);
    EXPECT_EQ(avr.Contents(ChipMemory::Data)[5], 0x34);
    EXPECT_EQ(avr.LockLevel(), 1);
    EXPECT_EQ(avr.Fuses(), (Bytes { 0xE1, 0xD9 }));

    // Serial EEPROM: nothing to erase.
    Insert(chips::Eeprom24C02());
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 1 });
}

TEST_F(ChipCommands, PicEraseBlanksProgramConfigurationAndOsccal)
{
    Start();
    Insert(chips::Pic12F675());
    // The factory OSCCAL RETLW sits in the last program word (byte address 0x7FE).
    EXPECT_EQ(ReadBlock(4, 0x7FE, 2), (Bytes { 0x34, 0x80 }));
    Send({ 57, 0, 0, 0x03, 0xFF, 2, 6, 0, 0, 0 });
    const Bytes osccal = Read();
    ASSERT_EQ(osccal.size(), 64u);
    EXPECT_EQ(osccal[0], 0x34);
    EXPECT_EQ(osccal[1], 0x80);

    struct Case {
        std::uint8_t option;
        bool dataKept, configKept, idKept;
    };
    for (const Case& c :
        { Case { 0x00, false, false, false }, Case { 0x01, true, false, false }, Case { 0x02, false, true, false },
            Case { 0x04, false, false, true }, Case { 0x06, false, true, true }, Case { 0x07, true, true, true } }) {
        SCOPED_TRACE(int(c.option));
        Insert(chips::Pic12F675());
        EXPECT_EQ(WriteBlock(7, 0, { 0x12, 0x34, 0x05, 0x67 }), Bytes { 0 });
        EXPECT_EQ(WriteBlock(53, 0x2000, { 0x00, 0x01 }), Bytes { 0 }); // an ID word
        Send({ 58, 0, 0, 0x20, 0x07, 2, 7, 0x31, 0x84 }); // the configuration word
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(WriteBlock(49, 0, { 0xAB }), Bytes { 0 });
        Send({ 9, c.option });
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(ReadBlock(4, 0, 4), (Bytes { 0x3F, 0xFF, 0x3F, 0xFF }));
        EXPECT_EQ(ReadBlock(4, 0x7FE, 2), (Bytes { 0x3F, 0xFF })) << "OSCCAL blanked";
        EXPECT_EQ(ReadBlock(46, 0, 1), Bytes { std::uint8_t(c.dataKept ? 0xAB : 0xFF) });
        EXPECT_EQ(ReadBlock(50, 0x2000, 2), (c.idKept ? Bytes { 0x00, 0x01 } : Bytes { 0x3F, 0xFF }));
        EXPECT_EQ(ReadBlock(50, 0x200C, 2), (Bytes { 0x0F, 0xC0 })) << "the device ID stays";
        EXPECT_EQ(ReadBlock(90, 0x2007, 2), (c.configKept ? Bytes { 0x31, 0x84 } : Bytes { 0x3F, 0xFF }));
        // The host writes the saved OSCCAL back.
        Send({ 58, 0, 0, 0x03, 0xFF, 2, 7, 0x34, 0x80 });
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(ReadBlock(4, 0x7FE, 2), (Bytes { 0x34, 0x80 }));
    }
}

TEST_F(ChipCommands, PicWordsBlanksAndConfiguration)
{
    Start();
    // 14 bits: blank words read 3F FF; FF FF over a blank word is no failure.
    Insert(chips::Pic16F84A());
    EXPECT_EQ(ReadBlock(4, 0x10, 4), (Bytes { 0x3F, 0xFF, 0x3F, 0xFF }));
    EXPECT_EQ(WriteBlock(7, 0x10, { 0xFF, 0xFF, 0x28, 0x05 }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x10, 4), (Bytes { 0x3F, 0xFF, 0x28, 0x05 }));
    // Bits above the core width never read 1: a 0x3F written over 0x28 is refused as a PIC's.
    EXPECT_EQ(WriteBlock(7, 0x12, { 0x3F }), (Bytes { 1, 0, 0, 0, 0x12, 0x28, 0x3F }));
    // [57] reads words from a word address, high byte first.
    Send({ 57, 0, 0, 0, 0x08, 4, 7, 0, 0, 0 });
    const Bytes words = Read();
    ASSERT_EQ(words.size(), 64u);
    EXPECT_EQ(Bytes(words.begin(), words.begin() + 4), (Bytes { 0x3F, 0xFF, 0x28, 0x05 }));
    // Another memory type answers [1].
    Send({ 58, 0, 0, 0x20, 0x07, 2, 3, 0x31, 0x84 });
    EXPECT_EQ(Read(), Bytes { 1 });

    // 12 bits: 0F FF, and the configuration word away from the ID locations.
    Insert(chips::Pic12F508());
    EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0x0F, 0xFF }));
    Send({ 58, 0, 0, 0x0F, 0xFF, 2, 7, 0x0F, 0xEA });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 57, 0, 0, 0x0F, 0xFF, 2, 7, 0, 0, 0 });
    const Bytes config = Read();
    ASSERT_EQ(config.size(), 64u);
    EXPECT_EQ(config[0], 0x0F);
    EXPECT_EQ(config[1], 0xEA);
    EXPECT_EQ(ReadBlock(50, 0x200, 2), (Bytes { 0x0F, 0xFF })) << "ID locations apart from it";
}

TEST_F(ChipCommands, PicMemoryByWordAddress)
{
    Start();
    Insert(chips::Pic12F675());
    EXPECT_EQ(PicRead(0x3FF, 2, 6), (Bytes { 0x34, 0x80 })) << "the factory OSCCAL";

    // The word address alone picks the memory: program words (with the OSCCAL word) below the ID
    // address, configuration memory from it on. Each write is seen by the memory's own reads.
    struct Case {
        const char* name;
        std::uint32_t word;
        std::uint8_t type;
        Bytes data;
        Bytes reply;
        std::uint8_t blockCode; // a block read that shows the same bytes
        std::uint32_t blockAddress;
    };
    const Case cases[] = {
        { "program word", 0x10, 7, { 0x12, 0x34 }, { 0 }, 4, 0x20 },
        { "OSCCAL word, type 6", 0x3FF, 6, { 0x34, 0x00 }, { 0 }, 4, 0x7FE }, // programming clears bits
        { "ID location", 0x2001, 7, { 0x00, 0x0A }, { 0 }, 50, 0x2002 },
        { "configuration word", 0x2007, 7, { 0x31, 0x84 }, { 0 }, 90, 0x2007 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PicWrite(c.word, c.type, c.data), c.reply);
        EXPECT_EQ(PicRead(c.word, 2, c.type ^ 1), c.data) << "read with the other type";
        EXPECT_EQ(ReadBlock(c.blockCode, c.blockAddress, 2), c.data);
    }
    // Refused: the read-only device ID, a word nothing holds, another memory type.
    EXPECT_EQ(PicWrite(0x2006, 7, { 0x00, 0x00 }), Bytes { 1 });
    EXPECT_EQ(PicWrite(0x2010, 7, { 0x00, 0x00 }), Bytes { 1 });
    EXPECT_EQ(PicRead(0x2010, 2, 7), (Bytes { 0xFF, 0xFF }));
    EXPECT_EQ(PicWrite(0x10, 5, { 0x00, 0x00 }), Bytes { 1 });
    EXPECT_EQ(PicRead(0x10, 2, 5), Bytes { 1 });
    // One read spans words of configuration memory, high byte first.
    const Bytes config = PicRead(0x2000, 16, 7);
    EXPECT_EQ(Bytes(config.begin() + 2, config.begin() + 4), (Bytes { 0x00, 0x0A }));
    EXPECT_EQ(Bytes(config.begin() + 12, config.end()), (Bytes { 0x0F, 0xC0, 0x31, 0x84 }));
}

TEST_F(ChipCommands, TwelveBitConfigurationWordIsTypeSevenAtWordZero)
{
    Start();
    // The chip's own place for the word, and a layout that puts it at program word 0 (as a host
    // table may): neither lets the configuration word reach the program.
    for (std::uint32_t configWordAddress : { sim::kPic12ConfigWord, 0u }) {
        SCOPED_TRACE(configWordAddress);
        ChipSpec s = chips::Pic12F508();
        s.pic.configWordAddress = configWordAddress;
        Insert(s);
        EXPECT_EQ(WriteBlock(7, 0, { 0x0A, 0x05, 0x0C, 0x12 }), Bytes { 0 }); // program words 0 and 1

        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xFF })) << "a blank configuration word";
        EXPECT_EQ(PicWrite(0, 7, { 0x0F, 0xEA }), Bytes { 0 });
        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xEA }));
        EXPECT_EQ(ReadBlock(4, 0, 4), (Bytes { 0x0A, 0x05, 0x0C, 0x12 })) << "program memory untouched";
        // Type 6 at word 0 is program word 0; a longer type-7 access steps on into it.
        EXPECT_EQ(PicRead(0, 2, 6), (Bytes { 0x0A, 0x05 }));
        EXPECT_EQ(PicRead(0, 6, 7), (Bytes { 0x0F, 0xEA, 0x0A, 0x05, 0x0C, 0x12 }));
        // Programming clears bits only: a set bit back is refused and changes nothing.
        EXPECT_EQ(PicWrite(0, 7, { 0x0F, 0xFB }), Bytes { 1 });
        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xEA }));

        // The OSCCAL word keeps its own address: read as type 6, written back as type 7.
        EXPECT_EQ(PicRead(0x1FF, 2, 6), (Bytes { 0x0C, 0x70 }));
        Send({ 9, 0x02 }); // an erase that spares the configuration word
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xEA }));
        EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0x0F, 0xFF }));
        EXPECT_EQ(PicWrite(0x1FF, 7, { 0x0C, 0x70 }), Bytes { 0 });
        EXPECT_EQ(ReadBlock(4, 0x3FE, 2), (Bytes { 0x0C, 0x70 }));
        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xEA }));
        Send({ 9, 0x00 });
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(PicRead(0, 2, 7), (Bytes { 0x0F, 0xFF }));
    }

    // A 14-bit core has no such word: type 7 at word 0 is program word 0.
    Insert(chips::Pic16F84A());
    EXPECT_EQ(PicWrite(0, 7, { 0x28, 0x05 }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0x28, 0x05 }));
    EXPECT_EQ(ReadBlock(90, 0x2007, 2), (Bytes { 0x3F, 0xFF }));
}

TEST_F(ChipCommands, PicBlankWordsAreSkippedAndTheDeviceIdTakesOnlyItself)
{
    Start();
    Insert(chips::Pic12F675());
    // A buffer's 3F FF over the restored OSCCAL word: skipped, the block passes, the word stays.
    EXPECT_EQ(WriteBlock(7, 0x7FA, { 0x12, 0x34, 0x3F, 0xFF, 0x3F, 0xFF }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x7FA, 6), (Bytes { 0x12, 0x34, 0x3F, 0xFF, 0x34, 0x80 }));
    Send({ 58, 0, 0, 0x03, 0xFF, 2, 7, 0x3F, 0xFF });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x7FE, 2), (Bytes { 0x34, 0x80 }));
    // Any other word that would need a bit set still fails, naming its byte.
    EXPECT_EQ(WriteBlock(7, 0x7FE, { 0x3F, 0xFE }), (Bytes { 1, 0, 0, 0x07, 0xFE, 0x34, 0x3F }));
    EXPECT_EQ(WriteBlock(7, 0x7FA, { 0x12, 0x35 }), (Bytes { 1, 0, 0, 0x07, 0xFB, 0x34, 0x35 }));

    // Configuration memory as a read left it in buffer 2: its device-ID word is written as it is
    // and passes; another value there fails.
    Bytes memory = ReadBlock(50, 0x2000, 16);
    memory[1] = 0x05; // an ID location
    memory[15] = 0x84; // the configuration word
    EXPECT_EQ(WriteBlock(53, 0x2000, memory), Bytes { 0 });
    EXPECT_EQ(ReadBlock(50, 0x2000, 16), memory);
    memory[13] = 0x00;
    EXPECT_EQ(WriteBlock(53, 0x2000, memory), (Bytes { 1, 0, 0, 0x20, 0x0D, 0xC0, 0x00 }));
}

TEST_F(ChipCommands, SixteenBitConfigurationBytes)
{
    Start();
    Insert(chips::Pic18F452());
    auto& chip = TheChip();
    // [93, i, i + 1, b0, b1]: byte 2 of the configuration is word 1's low byte.
    Send({ 93, 2, 3, 0x0E, 0x0D });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(chip.Read(ChipMemory::ConfigWords, 2), 0x0D); // high byte first
    EXPECT_EQ(chip.Read(ChipMemory::ConfigWords, 3), 0x0E);
    // A 2-byte [4] at the configuration position sends the word high byte first.
    EXPECT_EQ(ReadBlock(4, 0x300002, 2), (Bytes { 0x0D, 0x0E }));
    // [57] by word address sees the same word.
    Send({ 57, 0, 0x18, 0, 0x01, 2, 7, 0, 0, 0 });
    const Bytes w = Read();
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w[0], 0x0D);
    EXPECT_EQ(w[1], 0x0E);
    // An index past the configuration fails with the 7-byte reply naming it.
    Send({ 93, 20, 21, 0x00, 0x00 });
    EXPECT_EQ(Read(), (Bytes { 1, 0, 0, 0, 20, 0xFF, 0x00 }));
    // 16-bit words have no missing bits: blank reads FF FF.
    EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0xFF, 0xFF }));
}

TEST_F(ChipCommands, WordModeAndPackagePowerByModel)
{
    // Word address w lands at byte 2w; a 4 KB round trip; the failure names the word address.
    Start();
    Insert(chips::Eprom27C1024());
    const Bytes data = Pattern(4096);
    EXPECT_EQ(WriteBlock(7, 0x800, data, 1, 58, 2), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x800, 4096), data);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), TheChip().Contents(ChipMemory::Main).begin() + 0x1000));
    TheChip().Contents(ChipMemory::Main)[0x3005] = 0x00;
    EXPECT_EQ(WriteBlock(7, 0x1800, Bytes(16, 0x55), 1, 58, 2), (Bytes { 1, 0, 0, 0x18, 0x02, 0x00, 0x55 }));
    box->Port()->Unplug();

    for (const char* version : { "ZV-C Re-2.00", "ZV-A Re-1.00" }) {
        SCOPED_TRACE(version);
        const bool needsBit = std::string(version).rfind("ZV-C", 0) == 0;
        sim::BoxConfig config;
        config.version = version;
        Start(config);
        for (auto [chipSpec, bit] :
            { std::pair { chips::Eprom2716(), 0x2000u }, std::pair { chips::Eprom27C256(), 0x20000u } }) {
            SCOPED_TRACE(chipSpec.name);
            chipSpec.vppRuleOff = true;
            Insert(chipSpec);
            const Bytes without = ReadBlock(4, 0x10, 4);
            EXPECT_EQ(without, needsBit ? Bytes(4, 0x00) : Bytes(4, 0xFF));
            const Bytes reply = WriteBlock(7, 0x10, { 0x11, 0x22 });
            if (needsBit)
                EXPECT_EQ(reply, (Bytes { 1, 0, 0, 0, 0x10, 0x00, 0x11 }));
            else
                EXPECT_EQ(reply, Bytes { 0 });
            // With the bit: it works, and the failure keeps the bit as sent.
            EXPECT_EQ(WriteBlock(7, bit | 0x20, { 0x33, 0x44 }), Bytes { 0 });
            EXPECT_EQ(ReadBlock(4, bit | 0x20, 2), (Bytes { 0x33, 0x44 }));
            const Bytes fail = WriteBlock(7, bit | 0x20, { 0x00, 0xFF });
            EXPECT_EQ(fail,
                (Bytes { 1, std::uint8_t(bit >> 24), std::uint8_t(bit >> 16), std::uint8_t(bit >> 8 | 0), 0x21, 0x44,
                    0xFF }));
        }
        box->Port()->Unplug();
    }
}

TEST_F(ChipCommands, SignatureLockAndFuses)
{
    Start();
    // No chip: the signature reads FF FF; a wrong chip its own.
    Send({ 10 });
    EXPECT_EQ(Read(), Bytes(64, 0xFF));
    Insert(chips::At89C51());
    Send({ 10 });
    Bytes sig = Read();
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 4), (Bytes { 0x1E, 0x51, 0xFF, 0xFF }));
    Insert(chips::ATmega8());
    Send({ 10 });
    sig = Read();
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 4), (Bytes { 0x1E, 0x93, 0x07, 0xFF }));
    Insert(chips::OneWire2431());
    Send({ 10 });
    sig = Read();
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 8), chips::OneWire2431().signature);

    // Lock levels 2 and 3 hold until an erase.
    Insert(chips::At89C51());
    EXPECT_EQ(WriteBlock(7, 0, { 0x12 }), Bytes { 0 });
    Send({ 11 });
    EXPECT_EQ(Read()[0], 1);
    Send({ 12, 2 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(WriteBlock(7, 1, { 0x34 }), (Bytes { 1, 0, 0, 0, 1, 0xFF, 0x34 }));
    EXPECT_EQ(ReadBlock(4, 0, 1), Bytes { 0x12 });
    Send({ 12, 3 });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 11 });
    EXPECT_EQ(Read()[0], 3);
    EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0x00, 0x00 }));
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 11 });
    EXPECT_EQ(Read()[0], 1);
    EXPECT_EQ(WriteBlock(7, 1, { 0x34 }), Bytes { 0 });
    // No lock on a serial EEPROM.
    Insert(chips::Eeprom24C02());
    Send({ 12, 2 });
    EXPECT_EQ(Read(), Bytes { 1 });

    // An AT34C02's protected upper half refuses writes for good; the lower half still takes them.
    Insert(chips::Eeprom24C02(true));
    EXPECT_EQ(WriteBlock(7, 0x80, { 0x01 }), Bytes { 0 });
    Send({ 12, 1 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(WriteBlock(7, 0x80, { 0x02 }), (Bytes { 1, 0, 0, 0, 0x80, 0x01, 0x02 }));
    EXPECT_EQ(WriteBlock(7, 0x7F, { 0x03 }), Bytes { 0 });
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 1 });
    EXPECT_TRUE(TheChip().UpperHalfProtected());

    // Fuses: read, rewrite; [1] without fuses.
    Insert(chips::ATmega8());
    Send({ 64 });
    Bytes fuses = Read();
    EXPECT_EQ(Bytes(fuses.begin(), fuses.begin() + 3), (Bytes { 0xE1, 0xD9, 0xFF }));
    Send({ 65, 0xE4, 0xC9, 0x00 });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 64 });
    fuses = Read();
    EXPECT_EQ(Bytes(fuses.begin(), fuses.begin() + 2), (Bytes { 0xE4, 0xC9 }));
    Insert(chips::At89C51());
    Send({ 65, 0xE4, 0xC9, 0x00 });
    EXPECT_EQ(Read(), Bytes { 1 });
    // Refused ([1]) and ignored ([0]) writes both leave the fuses.
    for (const bool refused : { true, false }) {
        SCOPED_TRACE(refused ? "refused" : "ignored");
        ChipSpec avr = chips::ATmega8();
        (refused ? avr.conditions.fuseWriteRefused : avr.conditions.fuseWriteIgnored) = true;
        Insert(avr);
        Send({ 65, 0x00, 0x00, 0x00 });
        EXPECT_EQ(Read(), Bytes { static_cast<std::uint8_t>(refused ? 1 : 0) });
        EXPECT_EQ(TheChip().Fuses(), avr.fuses);
    }
}

TEST_F(ChipCommands, ASerialEepromAnswersOnlyAtItsStrappedAddress)
{
    Start();
    ChipSpec eeprom = chips::Eeprom24C02();
    eeprom.eepromDecoded = 0b111;
    eeprom.eepromStrap = 0b001;
    Insert(eeprom);
    EXPECT_EQ(box->EepromDeviceAddress(), 0xA0);
    TheChip().Contents(ChipMemory::Main)[0] = 0x5A;
    // Addressed on other pins nothing acknowledges: a read brings the floating bus and status 3,
    // a write block's answer is 3 and nothing is written.
    Bytes status;
    EXPECT_EQ(ReadBlock(4, 0, 2, &status), (Bytes { 0xFF, 0xFF }));
    EXPECT_EQ(status, Bytes { 3 });
    EXPECT_EQ(WriteBlock(7, 0, Bytes(100, 0x12)), Bytes { 3 });
    EXPECT_EQ(TheChip().Contents(ChipMemory::Main)[0], 0x5A);
    // As for an empty socket otherwise.
    Send({ 10 });
    EXPECT_EQ(Read(), Bytes(64, 0xFF));
    // A byte not 1010xxx0 is refused and changes nothing.
    Send({ 37, 0xA3 });
    EXPECT_EQ(Read(), Bytes { 1 });
    Send({ 37, 0x52 });
    EXPECT_EQ(Read(), Bytes { 1 });
    EXPECT_EQ(box->EepromDeviceAddress(), 0xA0);
    // A0 set: it answers, also after a power-down.
    Send({ 37, 0xA2 });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 21 });
    EXPECT_EQ(box->EepromDeviceAddress(), 0xA2);
    EXPECT_EQ(WriteBlock(7, 0, { 0x12 }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0, 1), Bytes { 0x12 });
    // Pins it does not decode do not matter.
    eeprom.eepromDecoded = 0b110;
    Insert(eeprom);
    Send({ 37, 0xA0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(WriteBlock(7, 0, { 0x34 }), Bytes { 0 });
}

TEST_F(ChipCommands, LockLevelsUntilAnErase)
{
    Start();
    struct Case {
        const char* name;
        ChipSpec chipSpec;
        int level;
    };
    const Case cases[] = {
        { "8051, level 2", chips::At89C51(), 2 },
        { "8051, level 3", chips::At89C51(), 3 },
        { "AVR, level 2", chips::ATmega8(), 2 },
        { "AVR, level 3", chips::ATmega8(), 3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Insert(c.chipSpec);
        const bool data = TheChip().Size(ChipMemory::Data) > 0;
        EXPECT_EQ(WriteBlock(7, 0x10, { 0x12, 0x34 }), Bytes { 0 });
        if (data) {
            EXPECT_EQ(WriteBlock(49, 0x10, { 0x56 }), Bytes { 0 });
        }
        Send({ 12, static_cast<std::uint8_t>(c.level) });
        EXPECT_EQ(Read(), Bytes { 0 });
        Send({ 11 });
        EXPECT_EQ(Read()[0], c.level);

        // Level 3 hides code and data; both levels refuse writes, naming the first byte.
        const bool hidden = c.level == 3;
        EXPECT_EQ(ReadBlock(4, 0x10, 2), hidden ? (Bytes { 0x00, 0x00 }) : (Bytes { 0x12, 0x34 }));
        const std::uint8_t back = hidden ? 0x00 : 0xFF;
        EXPECT_EQ(WriteBlock(7, 0x20, { 0x55 }), (Bytes { 1, 0, 0, 0, 0x20, back, 0x55 }));
        if (data) {
            EXPECT_EQ(ReadBlock(46, 0x10, 1), Bytes { std::uint8_t(hidden ? 0x00 : 0x56) });
            EXPECT_EQ(WriteBlock(49, 0x11, { 0x66 }).size(), 7u);
        }
        // The signature stays readable; a lower level asked for later changes nothing.
        Send({ 10 });
        const Bytes sig = Read();
        ASSERT_EQ(sig.size(), 64u);
        EXPECT_TRUE(std::equal(c.chipSpec.signature.begin(), c.chipSpec.signature.end(), sig.begin()));
        Send({ 12, 2 });
        EXPECT_EQ(Read(), Bytes { 0 });
        Send({ 11 });
        EXPECT_EQ(Read()[0], c.level);

        // An erase unlocks: code blank, writes taken again.
        Send({ 9, 0 });
        EXPECT_EQ(Read(), Bytes { 0 });
        EXPECT_EQ(ReadBlock(4, 0x10, 2), (Bytes { 0xFF, 0xFF }));
        EXPECT_EQ(WriteBlock(7, 0x20, { 0x55 }), Bytes { 0 });
    }

    // Chips without such a lock answer [1]: a PIC, a 1-Wire part, a level the chip lacks, and an
    // AT34C02 asked for level 2 (it knows only its protection, level 1).
    struct Refusal {
        ChipSpec chipSpec;
        std::uint8_t level;
    };
    for (const Refusal& r : { Refusal { chips::Pic16F84A(), 3 }, Refusal { chips::OneWire2431(), 2 },
             Refusal { chips::At89C51(), 4 }, Refusal { chips::Eeprom24C02(true), 2 } }) {
        SCOPED_TRACE(r.chipSpec.name);
        Insert(r.chipSpec);
        Send({ 12, r.level });
        EXPECT_EQ(Read(), Bytes { 1 });
    }
}

TEST_F(ChipCommands, PicSignatureIsItsDeviceIdWord)
{
    Start();
    Insert(chips::Pic16F84A());
    Send({ 10 });
    const Bytes sig = Read();
    ASSERT_EQ(sig.size(), 64u);
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 3), (Bytes { 0x05, 0x60, 0xFF }));
    // Configuration memory shows the same word at its address, and no write changes it.
    Send({ 57, 0, 0, 0x20, 0x06, 2, 7, 0, 0, 0 });
    const Bytes word = Read();
    ASSERT_EQ(word.size(), 64u);
    EXPECT_EQ(Bytes(word.begin(), word.begin() + 2), (Bytes { 0x05, 0x60 }));
    Send({ 58, 0, 0, 0x20, 0x06, 2, 7, 0x00, 0x00 });
    EXPECT_EQ(Read(), Bytes { 1 });
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(ReadBlock(50, 0x200C, 2), (Bytes { 0x05, 0x60 })); // byte 12 of configuration memory
}

TEST_F(ChipCommands, WeakChipsAndTheAlgorithmGate)
{
    Start();
    ChipSpec weak = chips::Flash29F010();
    weak.conditions.weak = { { ChipMemory::Main, 5, 0x01, sim::WeakMode::NeverPrograms },
        { ChipMemory::Main, 6, 0x80, sim::WeakMode::NeverProgramsQuiet },
        { ChipMemory::Main, 7, 0x10, sim::WeakMode::FlipsBack, 800ms } };
    Insert(weak);
    EXPECT_EQ(WriteBlock(7, 0, Bytes(5, 0x00)), Bytes { 0 });
    EXPECT_EQ(WriteBlock(7, 5, { 0x00 }), (Bytes { 1, 0, 0, 0, 5, 0x01, 0x00 }));
    EXPECT_EQ(WriteBlock(7, 6, { 0x00 }), Bytes { 0 }) << "set to answer success anyway";
    EXPECT_EQ(ReadBlock(4, 6, 1), Bytes { 0x80 });
    // Programmed once, bit 4 of byte 7 returns after 800 ms.
    EXPECT_EQ(WriteBlock(7, 7, { 0x00 }), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 7, 1), Bytes { 0x00 });
    clock->Advance(900ms);
    EXPECT_EQ(ReadBlock(4, 7, 1), Bytes { 0x10 });
    // Programmed twice (Double Write's second pass), it stays.
    EXPECT_EQ(WriteBlock(7, 7, { 0x00 }), Bytes { 0 });
    clock->Advance(5s);
    EXPECT_EQ(ReadBlock(4, 7, 1), Bytes { 0x00 });

    // The gate: the chip needs image 355 and sub-code 9.
    ChipSpec gated = chips::Eeprom28C64();
    gated.conditions.gateImage = 355;
    gated.conditions.gateSubCode = 9;
    Insert(gated);
    Send({ 23, 8 });
    EXPECT_EQ(ReadBlock(4, 0, 4), Bytes(4, 0x00));
    EXPECT_EQ(WriteBlock(7, 0, { 0x12 }), (Bytes { 1, 0, 0, 0, 0, 0x00, 0x12 }));
    Send({ 23, 9 });
    EXPECT_EQ(ReadBlock(4, 0, 4), Bytes(4, 0xFF));
    EXPECT_EQ(WriteBlock(7, 0, { 0x12 }), Bytes { 0 });

    // A byte that never programs, and an erase that fails.
    ChipSpec bad = chips::Flash29F010();
    bad.conditions.failAt = { 0x100 };
    bad.conditions.eraseFails = true;
    bad.times.erase = 100ms;
    Insert(bad);
    EXPECT_EQ(WriteBlock(7, 0xFE, { 0x00, 0x00, 0x00 }), (Bytes { 1, 0, 0, 0x01, 0x00, 0xFF, 0x00 }));
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 1 });
}

TEST_F(ChipCommands, NoChipReadsFloatingAndTakesNoWrite)
{
    Start();
    EXPECT_EQ(ReadBlock(4, 0, 16), Bytes(16, 0xFF));
    EXPECT_EQ(WriteBlock(7, 0x40, { 0x12, 0x34 }), (Bytes { 1, 0, 0, 0, 0x40, 0xFF, 0x12 }));
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 1 });
}

TEST_F(ChipCommands, UnplugMidBlock)
{
    // Power-down of the socket ([21]) is no unplug: an SRAM keeps its contents.
    Start();
    Insert(chips::Sram6264());
    EXPECT_EQ(WriteBlock(7, 0, { 1, 2, 3 }), Bytes { 0 });
    Send({ 21 });
    EXPECT_EQ(ReadBlock(4, 0, 3), (Bytes { 1, 2, 3 }));
    box->Port()->Unplug();

    for (auto chipSpec : { chips::Nvram1225(), chips::Sram6264(), chips::Flash29F010() }) {
        SCOPED_TRACE(chipSpec.name);
        Start();
        Insert(chipSpec);
        const Bytes data = Pattern(1024, 7);
        // The first half is programmed, then the cable goes before the reply is read.
        const auto packets = WritePackets(7, 0, data);
        Bytes first;
        for (std::size_t k = 0; k < packets.size() / 2; ++k)
            first.insert(first.end(), packets[k].begin(), packets[k].end());
        ASSERT_EQ(Send(first), platform::usb::UsbStatus::Ok);
        box->Port()->Unplug();
        std::uint8_t reply[64];
        EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64), 0);
        EXPECT_EQ(g_ProgrammerLink.LastStatus(), platform::usb::UsbStatus::NoDevice);
        box->Port()->Plug();
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        const std::size_t programmed = packets.size() / 2 * 59;
        const Bytes back = ReadBlock(4, 0, static_cast<std::uint32_t>(programmed));
        const bool same = std::equal(back.begin(), back.end(), data.begin());
        EXPECT_EQ(same, chipSpec.category != ChipCategory::Sram);
        box->Port()->Unplug();
    }
}

} // namespace
