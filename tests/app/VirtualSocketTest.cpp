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

} // namespace
