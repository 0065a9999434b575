// The JTAG layer against the virtual programmer's chains, through the programmer link: what the
// devices hold and answer, never the packets the host built.

#include "jtag/JtagLayer.h"

#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "sim/FaultPlan.h"
#include "sim/JtagHandler.h"
#include "support/CapturedProtocolErrors.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::JtagRoute;

Bytes LittleEndian(std::uint64_t value, std::size_t bits)
{
    Bytes bytes((bits + 7) / 8);
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

std::uint64_t Value(const Bytes& bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        value |= std::uint64_t { bytes[i] } << (8 * i);
    return value;
}

constexpr const char* kZvCQ = "ZV-CQ Re-1.00";
constexpr int kSocketImage = 358; // any image but 355 routes to the socket

class JtagOnBox : public testing::Test {
protected:
    void SetUp() override { g_ProgrammerLink.ResetForTest(bus); }
    void TearDown() override { g_ProgrammerLink.ResetForTest(); }

    void Start(int image, const char* version = kZvCQ, platform::usb::UsbSpeed speed = platform::usb::UsbSpeed::High)
    {
        sim::BoxConfig config;
        config.version = version;
        config.speed = speed;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(image).outcome, FirmwareLoadResult::Loaded);
        jtag.StaplJtagInit();
    }
    void Raw(Bytes packet)
    {
        g_ProgrammerLink.SendData(packet.data(), static_cast<int>(packet.size()));
        ASSERT_EQ(g_ProgrammerLink.LastStatus(), platform::usb::UsbStatus::Ok);
    }
    void PowerSocket() { Raw({ 15, 1 }); }
    // A socket chain of these devices, from TDI to TDO.
    void SocketChain(std::vector<std::unique_ptr<sim::JtagDevice>> devices)
    {
        std::lock_guard lock(box->Mutex());
        auto& chain = box->Jtag().SocketChain();
        chain.Clear();
        for (auto& d : devices)
            chain.Add(std::move(d));
    }
    sim::ModelCpld& SocketCpld(std::size_t i = 0)
    {
        return static_cast<sim::ModelCpld&>(box->Jtag().SocketChain().Device(i));
    }

    int Ir(std::uint32_t instruction, std::uint32_t bits = 8)
    {
        const Bytes data = LittleEndian(instruction, bits);
        return jtag.StaplIrScan(bits, data.data(), 0);
    }
    // A DR scan of `bits` bits; what it captured.
    std::uint64_t Dr(std::uint32_t bits, std::uint64_t value = 0)
    {
        const Bytes data = LittleEndian(value, bits);
        Bytes capture(data.size());
        EXPECT_EQ(jtag.StaplDrScanCapture(bits, data.data(), 0, capture.data(), 0), 0);
        return Value(capture);
    }
    std::uint64_t Read32(std::uint32_t instruction)
    {
        EXPECT_EQ(Ir(instruction), 0);
        return Dr(32);
    }
    std::size_t Packets(JtagRoute route) { return box->Jtag().Packets(route); }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    tonrig::test::RecordingMessageBox boxes;
    LinkJtagPort port;
    std::atomic<int> level { 5 };
    JtagLayer jtag { port, [this] { return level.load(); } };
};

TEST_F(JtagOnBox, EveryMoveLeavesTheBoxTapInTheTarget)
{
    Start(sim::kJtagProgrammerImage);
    auto& chain = box->Jtag().ProgrammerChain();
    // The first move of a run resets: IDLE, and the IDCODE instruction in force.
    ASSERT_EQ(jtag.StaplGotoJtagState(IDLE), 0);
    EXPECT_EQ(chain.State(), sim::TapState::RunTestIdle);
    EXPECT_EQ(Dr(32), sim::kProgrammerCpldIdcode);

    for (std::int32_t from = RESET; from <= IRUPDATE; ++from)
        for (std::int32_t to = RESET; to <= IRUPDATE; ++to) {
            ASSERT_EQ(jtag.StaplGotoJtagState(from), 0);
            ASSERT_EQ(jtag.StaplGotoJtagState(to), 0);
            std::lock_guard lock(box->Mutex());
            ASSERT_EQ(static_cast<int>(chain.State()), to) << from << " -> " << to;
            ASSERT_EQ(box->Jtag().FirmwareTap(JtagRoute::Programmer), chain.State());
        }
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(JtagOnBox, IdcodeAndUsercodeOfOneDevice)
{
    Start(sim::kJtagProgrammerImage);
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kProgrammerCpldIdcode);
    EXPECT_EQ(Read32(sim::kCpldUsercode), 0x00160514u);
    EXPECT_EQ(Read32(0xFF), 0u); // BYPASS: one bit that captured 0, then the ones shifted in
    EXPECT_EQ(jtag.StaplJtagFree(1), 0);
    EXPECT_EQ(box->Jtag().ProgrammerChain().State(), sim::TapState::RunTestIdle);
}

TEST_F(JtagOnBox, TwoDevicesAddressedThroughPreambleAndPostamble)
{
    constexpr std::uint32_t kOtherId = 0x0BADC0DF;
    auto other = [] {
        sim::JtagDeviceSpec facts;
        facts.irLength = 4;
        facts.idcode = kOtherId;
        facts.idcodeInstruction = 0x6;
        return std::make_unique<sim::JtagDevice>(facts);
    };
    struct Case {
        bool cpldFirst; // nearer TDI
        bool wantCpld;
    };
    Start(kSocketImage);
    PowerSocket();
    for (const Case c : { Case { true, true }, Case { true, false }, Case { false, true }, Case { false, false } }) {
        SCOPED_TRACE(testing::Message() << (c.cpldFirst ? "CPLD first, " : "CPLD last, ")
                                        << (c.wantCpld ? "reading the CPLD" : "reading the other"));
        std::vector<std::unique_ptr<sim::JtagDevice>> devices;
        devices.push_back(std::make_unique<sim::ModelCpld>());
        devices.push_back(other());
        if (!c.cpldFirst)
            std::swap(devices[0], devices[1]);
        SocketChain(std::move(devices));
        jtag.StaplJtagInit();

        // The target's instruction; the other device gets BYPASS through the pre- or postamble,
        // and shows one DR bit there.
        const bool targetNearTdo = c.wantCpld != c.cpldFirst;
        const std::uint32_t targetIr = c.wantCpld ? 8 : 4;
        const std::uint32_t otherIr = c.wantCpld ? 4 : 8;
        const std::uint32_t instruction = c.wantCpld ? sim::kCpldIdcode : 0x6;
        if (targetNearTdo) {
            ASSERT_EQ(jtag.StaplSetIrPostamble(otherIr, 0, nullptr), 0);
            ASSERT_EQ(jtag.StaplSetDrPostamble(1, 0, nullptr), 0);
        } else {
            ASSERT_EQ(jtag.StaplSetIrPreamble(otherIr, 0, nullptr), 0);
            ASSERT_EQ(jtag.StaplSetDrPreamble(1, 0, nullptr), 0);
        }
        ASSERT_EQ(Ir(instruction, targetIr), 0);
        EXPECT_EQ(Dr(32), c.wantCpld ? sim::kSocketCpldIdcode : kOtherId);
    }

    // The IR capture: ...01 from each device, the one nearest TDO first.
    jtag.StaplJtagInit();
    const Bytes ones(2, 0xFF);
    Bytes capture(2);
    ASSERT_EQ(jtag.StaplIrScanCapture(12, ones.data(), 0, capture.data(), 0), 0);
    EXPECT_EQ(Value(capture) & 0x3, 0x1u);
    EXPECT_EQ((Value(capture) >> 8) & 0x3, 0x1u); // the CPLD (8 bits) nearest TDO, then the other
    EXPECT_EQ(Value(capture) & 0xFFF, 0x101u);
}

TEST_F(JtagOnBox, LongScanThroughBypassComesBackShiftedByOneBit)
{
    for (auto speed : { platform::usb::UsbSpeed::High, platform::usb::UsbSpeed::Full }) {
        Start(sim::kJtagProgrammerImage, kZvCQ, speed);
        ASSERT_EQ(Ir(0xFF), 0);
        Bytes data(256), capture(256);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 37 + 11);
        ASSERT_EQ(jtag.StaplDrScanCapture(2048, data.data(), 0, capture.data(), 0), 0);
        EXPECT_EQ(capture[0] & 1, 0); // BYPASS captures 0
        for (std::size_t i = 1; i < 2048; ++i)
            ASSERT_EQ((capture[i / 8] >> (i % 8)) & 1, (data[(i - 1) / 8] >> ((i - 1) % 8)) & 1) << "bit " << i;
        box->Port()->Unplug();
    }
}

class CpldOnBox : public JtagOnBox {
protected:
    void SetUp() override
    {
        JtagOnBox::SetUp();
        Start(kSocketImage);
        PowerSocket();
        std::vector<std::unique_ptr<sim::JtagDevice>> devices;
        devices.push_back(std::make_unique<sim::ModelCpld>(facts));
        SocketChain(std::move(devices));
    }
    void Enable() { ASSERT_EQ(Ir(sim::kCpldIspEnable), 0); }
    void Disable() { ASSERT_EQ(Ir(sim::kCpldIspDisable), 0); }
    void Erase()
    {
        ASSERT_EQ(Ir(sim::kCpldErase), 0);
        ASSERT_EQ(jtag.StaplWaitCycles(200000, IDLE), 0);
    }
    void Address(std::uint32_t row)
    {
        ASSERT_EQ(Ir(sim::kCpldAddress), 0);
        Dr(8, row);
    }
    // Programs `value` at the pointer and waits `clocks` in IDLE.
    void Program(std::uint32_t value, std::uint32_t clocks = 100)
    {
        ASSERT_EQ(Ir(sim::kCpldProgram), 0);
        Dr(32, value);
        ASSERT_EQ(jtag.StaplWaitCycles(clocks, IDLE), 0);
    }
    std::vector<std::uint64_t> Rows()
    {
        std::lock_guard lock(box->Mutex());
        return SocketCpld().Rows();
    }

    sim::ModelCpldSpec facts;
};

TEST_F(CpldOnBox, EraseProgramVerifyAndUsercode)
{
    SocketCpld().SetRow(3, 0x12345678); // something to erase
    Enable();
    Erase();
    EXPECT_EQ(Rows(), std::vector<std::uint64_t>(16, 0xFFFFFFFF));
    Address(0);
    std::vector<std::uint64_t> rows;
    for (std::uint32_t i = 0; i < 16; ++i) {
        rows.push_back(0x01020304u * (i + 1) ^ 0xA5A5A5A5u);
        Program(static_cast<std::uint32_t>(rows.back()));
    }
    ASSERT_EQ(Ir(sim::kCpldUsercodeProgram), 0);
    Dr(32, 0x20261211);
    ASSERT_EQ(jtag.StaplWaitCycles(100, IDLE), 0);
    Disable();
    ASSERT_EQ(jtag.StaplJtagReset(), 0);

    Enable();
    Address(0);
    ASSERT_EQ(Ir(sim::kCpldRead), 0);
    std::vector<std::uint64_t> read;
    for (int i = 0; i < 16; ++i)
        read.push_back(Dr(32));
    EXPECT_EQ(read, rows);
    Disable();
    EXPECT_EQ(Read32(sim::kCpldUsercode), 0x20261211u);
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(CpldOnBox, FlashRules)
{
    Enable();
    Erase();
    Address(0);
    Program(0x11111111, 99); // a clock short
    Program(0xF0F0F0F0);
    Program(0x12345678);
    Address(1);
    Program(0xFF00FF00); // over unerased bits: only clears
    auto rows = Rows();
    EXPECT_EQ(rows[0], 0xFFFFFFFFu);
    EXPECT_EQ(rows[1], 0xF000F000u);
    EXPECT_EQ(rows[2], 0x12345678u);
    Disable();

    // Outside ISP mode nothing is erased or programmed, and the attempt is logged.
    Address(5);
    Program(0);
    ASSERT_EQ(Ir(sim::kCpldErase), 0);
    ASSERT_EQ(jtag.StaplWaitCycles(200000, IDLE), 0);
    EXPECT_EQ(Rows(), rows);
    std::vector<std::string> hazards;
    for (const auto& h : box->Electrical().Hazards())
        if (h.kind == sim::HazardKind::Operation)
            hazards.push_back(h.what);
    EXPECT_EQ(hazards, (std::vector<std::string> { "CPLD program outside ISP mode", "CPLD erase outside ISP mode" }));
}

TEST_F(CpldOnBox, WaitsReachTheBoxScaledBySpeedLevel)
{
    // 1000 clocks at level 3 are 125 on the wire: enough for an operation of 125, not of 126.
    for (std::uint64_t need : { 125u, 126u }) {
        box->Port()->Unplug();
        facts.programClocks = need;
        SetUp();
        Enable();
        Address(0);
        level = 3;
        Program(0, 1000);
        level = 5;
        EXPECT_EQ(Rows()[0], need == 125 ? 0u : 0xFFFFFFFFu) << need;
    }
}

TEST_F(JtagOnBox, PacketsReachTheChainTheImageSelects)
{
    Start(sim::kJtagProgrammerImage);
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kProgrammerCpldIdcode);
    EXPECT_GT(Packets(JtagRoute::Programmer), 0u);
    EXPECT_EQ(Packets(JtagRoute::Socket), 0u);

    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(kSocketImage).outcome, FirmwareLoadResult::Loaded);
    jtag.StaplJtagInit();
    // An empty or unpowered socket chain reads ones.
    EXPECT_EQ(Read32(sim::kCpldIdcode), 0xFFFFFFFFu);
    std::vector<std::unique_ptr<sim::JtagDevice>> devices;
    devices.push_back(std::make_unique<sim::ModelCpld>());
    SocketChain(std::move(devices));
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldIdcode), 0xFFFFFFFFu);
    PowerSocket();
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kSocketCpldIdcode);
    EXPECT_GT(Packets(JtagRoute::Socket), 0u);

    // [0x56, 5, 1] selects the socket under 355 until the next download.
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(sim::kJtagProgrammerImage).outcome, FirmwareLoadResult::Loaded);
    Raw({ 0x56, 5, 1 });
    PowerSocket();
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kSocketCpldIdcode);
    Raw({ 0x56, 5, 0 });
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kProgrammerCpldIdcode);
    Raw({ 0x56, 5, 1 });
    const int boots = box->Boots();
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(sim::kJtagProgrammerImage).outcome, FirmwareLoadResult::Loaded);
    ASSERT_GT(box->Boots(), boots);
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldIdcode), sim::kProgrammerCpldIdcode);

    tonrig::test::CapturedProtocolErrors errors;
    Raw({ 0x56, 5, 2 });
    EXPECT_EQ(errors.Count(), 1u);
    EXPECT_EQ(box->Jtag().Route(), JtagRoute::Programmer);
}

TEST_F(JtagOnBox, ProgrammerUsercodeIsSetByModelAndSurvivesReplug)
{
    Start(sim::kJtagProgrammerImage, "ZV-D Re-1.00");
    EXPECT_EQ(Read32(sim::kCpldUsercode), 0x15013100u);
    ASSERT_EQ(Ir(sim::kCpldIspEnable), 0);
    ASSERT_EQ(Ir(sim::kCpldErase), 0);
    ASSERT_EQ(jtag.StaplWaitCycles(200000, IDLE), 0);
    ASSERT_EQ(Ir(sim::kCpldUsercodeProgram), 0);
    Dr(32, 0x00160514);
    ASSERT_EQ(jtag.StaplWaitCycles(100, IDLE), 0);
    ASSERT_EQ(Ir(sim::kCpldIspDisable), 0);

    box->Port()->Replug();
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(sim::kJtagProgrammerImage).outcome, FirmwareLoadResult::Loaded);
    jtag.StaplJtagInit();
    EXPECT_EQ(Read32(sim::kCpldUsercode), 0x00160514u);
}

TEST_F(JtagOnBox, FaultsReachTheLayer)
{
    Start(sim::kJtagProgrammerImage);
    ASSERT_EQ(Ir(sim::kCpldIdcode), 0);
    box->AddFault(sim::Fault::OnCode(0x56, sim::FaultAction::CutReply).Bytes(1));
    const Bytes data(4, 0);
    Bytes capture(4);
    EXPECT_EQ(jtag.StaplDrScanCapture(32, data.data(), 0, capture.data(), 0), kJtagInternalError);
    EXPECT_EQ(Value(capture), 0u);

    // A host whose TAP model drifted: start code 1 (DRPAUSE) while the box is in IDLE.
    jtag.StaplJtagInit();
    ASSERT_EQ(jtag.StaplGotoJtagState(IDLE), 0);
    tonrig::test::CapturedProtocolErrors errors;
    Raw({ 0x56, 1, 1 });
    ASSERT_EQ(errors.Count(), 1u);
    EXPECT_NE(errors.Errors()[0].find("start code 1"), std::string::npos);
}

TEST_F(JtagOnBox, MalformedPacketsAreProtocolErrorsThatChangeNothing)
{
    Start(sim::kJtagProgrammerImage);
    ASSERT_EQ(jtag.StaplGotoJtagState(IDLE), 0);
    const std::vector<Bytes> packets = {
        { 0x56 }, // no sub-command
        { 0x56, 6 }, // unknown sub-command
        { 0x56, 0, 2, 0, 0 }, // TMS 2
        { 0x56, 0, 0 }, // a clock too short
        { 0x56, 3, 3 }, // start code 3
        { 0x56, 4, 0, 0, 10, 1 }, // the reset flag outside Test-Logic-Reset
        { 0x56, 2, 0, 8, 1, 0 }, // a shift in IDLE: its data byte follows and is no command
        { 0x00 },
    };
    tonrig::test::CapturedProtocolErrors errors;
    for (const Bytes& p : packets)
        Raw(p);
    EXPECT_EQ(errors.Count(), packets.size() - 1);
    EXPECT_EQ(box->Jtag().ProgrammerChain().State(), sim::TapState::RunTestIdle);
    // The layer's model still matches the box's.
    EXPECT_EQ(Dr(32), sim::kProgrammerCpldIdcode);
    EXPECT_EQ(errors.Count(), packets.size() - 1);
}

} // namespace
