#include "link/ProgrammerCommand.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ProgrammerCommand, NamesCoverEveryCodeAndTheUnusedOnesSayWhich)
{
    EXPECT_STREQ(g_ProgrammerCommandNames[P_OK], "P_OK");
    EXPECT_STREQ(g_ProgrammerCommandNames[P_JTAG_IO], "P_JTAG_IO");
    EXPECT_EQ(P_JTAG_IO, 86);
    EXPECT_STREQ(g_ProgrammerCommandNames[P_8051_PORT_BIT_WRITE], "P_8051_PORT_BIT_WRITE");
    EXPECT_STREQ(g_ProgrammerCommandNames[121], "P_TOTAL_COMMANDS");
    int unused = 0;
    std::set<std::string> names;
    for (int code = 0; code <= 120; ++code) {
        const std::string name = g_ProgrammerCommandNames[code];
        EXPECT_TRUE(names.insert(name).second) << name;
        if (name.rfind("P_UNUSED_", 0) == 0) {
            EXPECT_EQ(name, "P_UNUSED_" + std::to_string(code));
            ++unused;
        }
    }
    EXPECT_EQ(unused, 8); // 72, 103-105, 108, 109, 113, 114
    EXPECT_EQ(ProgrammerCommandName(72), "P_UNUSED_72");
    EXPECT_EQ(ProgrammerCommandName(2), "P_VERSION");
    EXPECT_EQ(ProgrammerCommandName(121), "0x79");
    EXPECT_EQ(ProgrammerCommandName(255), "0xFF");
}

TEST(ProgrammerCommand, ControllerDependentEndpointsAndRegisters)
{
    EXPECT_EQ(BulkInEndpoint(2), 0x86);
    EXPECT_EQ(BulkInEndpoint(0), 0x82);
    EXPECT_EQ(BulkInEndpoint(1), 0x82);
    EXPECT_EQ(CpuControlRegister(2), 0xE600);
    EXPECT_EQ(CpuControlRegister(1), 0x7F92);
    EXPECT_FALSE(ModelAboveZvA(2));
    for (int model : { 4, 5, 7, 8, 6, 9, 200 })
        EXPECT_TRUE(ModelAboveZvA(model)) << model;
}

TEST(ProgrammerCommand, FixedLayouts)
{
    EXPECT_EQ(packets::FirmwareIdSet(476), (Packet { 26, 0, 0xDC }));
    EXPECT_EQ(packets::PortRead(0x90), (Packet { 28, 0, 0x90 }));
    EXPECT_EQ(packets::PortWrite(0x90, 0x10), (Packet { 29, 0, 0x90, 0x10 }));
    EXPECT_EQ(packets::VccVppSetup(1, 2, 3), (Packet { 30, 1, 2, 3 }));
    EXPECT_EQ(packets::SwitchASetup(0x55), (Packet { 31, 0x55 }));
    EXPECT_EQ(packets::SerialByteOut(5), (Packet { 66, 5 }));
    EXPECT_EQ(packets::SerialBytesOut({ 5, 6, 7, 8, 9 }), (Packet { 66, 5, 5, 6, 7, 8, 9 }));
    EXPECT_EQ(packets::PotWrite(0x10, 200), (Packet { 100, 0x10, 200 }));
    EXPECT_EQ(packets::PotRead(0x1C), (Packet { 101, 0x1C, 0 }));
    EXPECT_EQ(packets::VccWrite(7), (Packet { 115, 7 }));
    EXPECT_EQ(packets::VppWrite(8), (Packet { 117, 8 }));

    std::uint8_t b[4];
    PutBe32(b, 0x12345678);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(GetBe32(b), 0x12345678u);
    PutBe16(b, 0xBEEF);
    EXPECT_EQ(GetBe16(b), 0xBEEF);
}

} // namespace
