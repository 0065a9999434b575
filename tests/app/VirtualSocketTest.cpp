// The program's virtual socket: the selected device's chip, swapped only when the device changes.

#include "app/VirtualSocket.h"
#include "catalogue/DeviceClassTable.h"
#include "tests/sim/ChipFixture.h"

#include <gtest/gtest.h>

using namespace tonrig::test;
using sim::ChipCategory;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Restores the selection the test changes.
class Selection {
public:
    Selection()
        : m_device(g_CurrentDevice)
        , m_index(g_nCurrentClass)
    {
        InitDeviceClassTable();
    }
    ~Selection()
    {
        g_CurrentDevice = m_device;
        g_nCurrentClass = m_index;
    }
    void Select(int index)
    {
        g_CurrentDevice = g_DeviceClassTable[index];
        g_nCurrentClass = index;
    }

private:
    CDeviceClass m_device;
    int m_index;
};

TEST(VirtualSocket, ChipFamilyByClass)
{
    Selection selection;
    struct Case {
        int index;
        std::optional<ChipCategory> category;
        bool pageWrite = false;
    };
    const Case cases[] = {
        { 6, ChipCategory::Mcu8051 },
        { 25, ChipCategory::Avr },
        { 80, ChipCategory::Flash },
        { 155, ChipCategory::ParallelEeprom },
        { 180, ChipCategory::ParallelEeprom },
        { 186, ChipCategory::Flash, true },
        { 301, ChipCategory::Nvram },
        { 306, ChipCategory::Eprom },
        { 308, ChipCategory::OneWire },
        { 310, std::nullopt },
        { 314, ChipCategory::Pic },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        const auto chipSpec = ChipSpecForDevice(g_DeviceClassTable[c.index], c.index);
        ASSERT_EQ(chipSpec.has_value(), c.category.has_value());
        if (!chipSpec)
            continue;
        EXPECT_EQ(chipSpec->category, *c.category);
        EXPECT_EQ(chipSpec->pageWrite, c.pageWrite);
        EXPECT_EQ(chipSpec->main.size, static_cast<std::uint32_t>(g_DeviceClassTable[c.index].m_nCodeSize));
    }
    const auto pic = ChipSpecForDevice(g_DeviceClassTable[314], 314);
    EXPECT_EQ(pic->pic.coreBits, 14);
    EXPECT_EQ(pic->data.size, 64u);
    EXPECT_TRUE(ChipSpecForDevice(g_DeviceClassTable[90], 90)->noReadStatus);
    EXPECT_FALSE(ChipSpecForDevice(g_DeviceClassTable[kNoDeviceClass], kNoDeviceClass));
}

// CRC-8 of a 1-Wire ROM over all eight bytes: 0 when the last byte is the CRC of the first seven.
std::uint8_t RomCrc(const Bytes& rom)
{
    std::uint8_t crc = 0;
    for (std::uint8_t byte : rom)
        for (int bit = 0; bit < 8; ++bit, byte >>= 1)
            crc = static_cast<std::uint8_t>((crc >> 1) ^ (((crc ^ byte) & 1) ? 0x8C : 0));
    return crc;
}

TEST(VirtualSocket, FactsTheDeviceCommandsNeed)
{
    InitDeviceClassTable();
    auto chipOf = [](int index) { return *ChipSpecForDevice(g_DeviceClassTable[index], index); };

    // 1-Wire: an 8-byte ROM, family code first, CRC last.
    for (auto [index, family] : { std::pair { 308, 0x2D }, std::pair { 309, 0x23 } }) {
        SCOPED_TRACE(index);
        const Bytes rom = chipOf(index).signature;
        ASSERT_EQ(rom.size(), 8u);
        EXPECT_EQ(rom[0], family);
        EXPECT_EQ(RomCrc(rom), 0);
    }

    // A 14-bit PIC: its device-ID word is the signature; ID, configuration and device-ID words
    // where the descriptor puts them; an OSCCAL word only when the descriptor has one.
    const sim::ChipSpec pic = chipOf(314);
    EXPECT_EQ(pic.signature, (Bytes { 0x05, 0x60 }));
    EXPECT_EQ(pic.pic.idAddress, 0x2000u);
    EXPECT_EQ(pic.pic.configWordAddress, 0x2007u);
    EXPECT_EQ(pic.pic.configWordCount, 1u);
    EXPECT_EQ(pic.pic.deviceIdAddress, 0x2006u);
    EXPECT_FALSE(pic.pic.osccalAddress);
    CDeviceClass withOsccal = g_DeviceClassTable[314];
    withOsccal.m_pPicConfig->m_bHasOscCal = 1;
    withOsccal.m_pPicConfig->m_nOscCalAddress = 0x3FF;
    const sim::ChipSpec calibrated = *ChipSpecForDevice(withOsccal, 314);
    EXPECT_EQ(calibrated.pic.osccalAddress, 0x3FFu);
    EXPECT_EQ(calibrated.pic.osccalValue, 0x3480);

    // A 12-bit PIC: the table's configuration address is 0, where the host reaches the word; the
    // chip keeps it apart from program memory, blank, and program word 0 stays a program word.
    for (int index : { 312, 316 }) {
        SCOPED_TRACE(index);
        const sim::ChipSpec pic12 = chipOf(index);
        EXPECT_EQ(pic12.pic.coreBits, 12);
        EXPECT_EQ(pic12.pic.configWordAddress, sim::kPic12ConfigWord);
        EXPECT_EQ(pic12.pic.configWordCount, 1u);
        sim::Chip chip(pic12);
        EXPECT_EQ(chip.LocateWord(pic12.pic.configWordAddress),
            (std::pair { sim::ChipMemory::ConfigWords, std::uint32_t { 0 } }));
        EXPECT_EQ(chip.Contents(sim::ChipMemory::ConfigWords), (Bytes { 0x0F, 0xFF }));
        EXPECT_EQ(chip.LocateWord(0), (std::pair { sim::ChipMemory::Main, std::uint32_t { 0 } }));
    }

    // A PIC18: seven configuration words at 0x300000.
    const sim::ChipSpec pic18 = chipOf(323);
    EXPECT_EQ(pic18.pic.coreBits, 16);
    EXPECT_EQ(pic18.pic.configPosition, 0x300000u);
    EXPECT_EQ(pic18.pic.configWordCount, 7u);

    // Lock: the 8051 and AVR families; an AT34C02 by its name.
    EXPECT_TRUE(chipOf(6).hasLock);
    CDeviceClass at34 = g_DeviceClassTable[44];
    at34.m_strName = "AT34C02";
    EXPECT_TRUE(ChipSpecForDevice(at34, 44)->protectableUpperHalf);

    // The temporary-unprotect classes carry a protected boot sector: top or bottom by the name.
    struct Case {
        int index;
        bool top;
    };
    for (const Case& c : { Case { 282, true }, Case { 283, false }, Case { 242, false } }) {
        SCOPED_TRACE(c.index);
        const sim::ChipSpec flash = chipOf(c.index);
        ASSERT_EQ(flash.protectedBlocks.size(), 1u);
        EXPECT_EQ(flash.protectedBlocks[0].base, c.top ? flash.main.size - 0x4000 : 0u);
    }
    EXPECT_TRUE(chipOf(277).protectedBlocks.empty());
    EXPECT_TRUE(chipOf(186).protectedBlocks.empty());
}

class VirtualSocketBox : public ChipFixture { };

TEST_F(VirtualSocketBox, ChipSwappedOnlyWhenTheDeviceChanges)
{
    Selection selection;
    Start();
    {
        std::lock_guard lock(box->Mutex());
        WatchVirtualSocket(*box);
    }
    EXPECT_TRUE(box->ChipSocket().Empty());
    selection.Select(186); // AT29C256
    Send({ 22 });
    Send({ 23, 1 });
    ASSERT_FALSE(box->ChipSocket().Empty());
    EXPECT_EQ(TheChip().Facts().name, "AT29C256");
    // Above ZV-A a DIP24 or DIP28 part is powered through address bit 13 or 17.
    auto at = [this](std::uint32_t a) {
        const int package = TheChip().Facts().packageCode;
        return a | (package == 2 ? 0x2000u : package == 4 ? 0x20000u : 0u);
    };
    EXPECT_EQ(WriteBlock(7, at(0x10), { 1, 2, 3 }), Bytes { 0 });
    // A re-setup of the same device keeps what the chip holds.
    Send({ 22 });
    Send({ 23, 1 });
    EXPECT_EQ(ReadBlock(4, at(0x10), 3), (Bytes { 1, 2, 3 }));
    // Another device: a blank chip of it.
    selection.Select(180);
    Send({ 22 });
    EXPECT_EQ(TheChip().Facts().name, "AT28C16");
    EXPECT_EQ(ReadBlock(4, at(0x10), 3), Bytes(3, 0xFF));
    // A JTAG class: nothing in the socket.
    selection.Select(310);
    Send({ 22 });
    EXPECT_TRUE(box->ChipSocket().Empty());
}

TEST_F(VirtualSocketBox, GetIdAndLockOnTheSelectedDevice)
{
    Selection selection;
    Start();
    {
        std::lock_guard lock(box->Mutex());
        WatchVirtualSocket(*box);
    }
    auto signature = [this](std::size_t n) {
        Send({ 10 });
        const Bytes reply = Read();
        EXPECT_EQ(reply.size(), 64u);
        return Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(std::min(n, reply.size())));
    };
    selection.Select(308);
    Send({ 22 });
    EXPECT_EQ(signature(8), ChipSpecForDevice(g_DeviceClassTable[308], 308)->signature);
    selection.Select(314);
    Send({ 22 });
    EXPECT_EQ(signature(3), (Bytes { 0x05, 0x60, 0xFF }));

    // An 8051 with lock text "3": locked, it reads 0x00 and takes no write until an erase.
    selection.Select(6);
    Send({ 22 });
    EXPECT_EQ(WriteBlock(7, 0, { 0x12 }), Bytes { 0 });
    Send({ 12, 3 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0, 2), (Bytes { 0x00, 0x00 }));
    EXPECT_EQ(WriteBlock(7, 1, { 0x34 }).size(), 7u);
}

TEST_F(VirtualSocketBox, PicWordsAndProtectedSectorsOfTheSelectedDevice)
{
    Selection selection;
    Start();
    {
        std::lock_guard lock(box->Mutex());
        WatchVirtualSocket(*box);
    }
    auto picRead = [this](std::uint32_t word) {
        Send({ 57, 0, std::uint8_t(word >> 16), std::uint8_t(word >> 8), std::uint8_t(word), 2, 6, 0, 0, 0 });
        const Bytes r = Read();
        return r.size() == 64 ? Bytes(r.begin(), r.begin() + 2) : r;
    };

    // A 14-bit PIC whose descriptor has an OSCCAL word: the factory value until an erase.
    selection.Select(314);
    g_CurrentDevice.m_pPicConfig->m_bHasOscCal = 1;
    g_CurrentDevice.m_pPicConfig->m_nOscCalAddress = 0x3FF;
    Send({ 22 });
    EXPECT_EQ(picRead(0x3FF), (Bytes { 0x34, 0x80 }));
    EXPECT_EQ(picRead(0x2006), (Bytes { 0x05, 0x60 }));
    Send({ 9, 0 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(picRead(0x3FF), (Bytes { 0x3F, 0xFF }));
    Send({ 58, 0, 0, 0x20, 0x07, 2, 7, 0x3F, 0xF1 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(picRead(0x2007), (Bytes { 0x3F, 0xF1 }));

    // A PIC18: configuration bytes set by index, read back per word at the configuration address.
    selection.Select(323);
    Send({ 22 });
    Send({ 93, 0, 1, 0x22, 0x11 });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x300000, 2), (Bytes { 0x11, 0x22 }));

    // A bottom-boot flash of the temporary-unprotect kind: its first 16 KB refuse writes unless
    // the setup asks for the unprotect, and survive an erase unless its option is 1.
    selection.Select(283);
    Send({ 22 });
    EXPECT_EQ(WriteBlock(7, 0x10, { 0x00 }).size(), 7u);
    EXPECT_EQ(WriteBlock(7, 0x4000, { 0x00 }), Bytes { 0 });
    Send({ 22, 1 });
    EXPECT_EQ(WriteBlock(7, 0x10, { 0x00 }), Bytes { 0 });
    for (std::uint8_t option : { 0, 1 }) {
        SCOPED_TRACE(int(option));
        Send({ 9, option });
        Bytes r;
        while ((r = Read()) == Bytes { 2 }) { }
        EXPECT_EQ(r, Bytes { 0 });
        EXPECT_EQ(ReadBlock(4, 0x10, 1), Bytes { std::uint8_t(option ? 0xFF : 0x00) });
        EXPECT_EQ(ReadBlock(4, 0x4000, 1), Bytes { 0xFF });
    }
}

} // namespace

TEST_F(VirtualSocketBox, JtagPartsAndJigsGetACpldChain)
{
    Selection selection;
    Start();
    {
        std::lock_guard lock(box->Mutex());
        WatchVirtualSocket(*box);
    }
    struct Case {
        int index;
        std::optional<std::uint32_t> idcode;
    };
    const Case cases[] = {
        { 310, sim::kSocketCpldIdcode },
        { 311, sim::kSocketCpldIdcode },
        { 3, sim::kProgrammerCpldIdcode }, // the jig's CPLD
        { 4, sim::kProgrammerCpldIdcode },
        { 186, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        selection.Select(c.index);
        Send({ 0x56, 5, 0 }); // the first JTAG packet of a part whose setup sent neither [22] nor [23]
        std::lock_guard lock(box->Mutex());
        auto& chain = box->Jtag().SocketChain();
        ASSERT_EQ(chain.Size(), c.idcode ? 1u : 0u);
        if (c.idcode) {
            EXPECT_EQ(chain.Device(0).Facts().idcode, *c.idcode);
        }
    }

    // The same part set up again keeps what its CPLD holds.
    selection.Select(310);
    Send({ 22 });
    {
        std::lock_guard lock(box->Mutex());
        static_cast<sim::ModelCpld&>(box->Jtag().SocketChain().Device(0)).SetRow(2, 0x1234);
    }
    Send({ 22 });
    std::lock_guard lock(box->Mutex());
    EXPECT_EQ(static_cast<sim::ModelCpld&>(box->Jtag().SocketChain().Device(0)).Rows()[2], 0x1234u);
}
