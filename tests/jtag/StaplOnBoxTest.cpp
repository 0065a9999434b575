// The byte-code player end to end: programs built with the builder, run by the frame through
// LinkJtagPort and the programmer link on the virtual programmer (manual clock, time model on).
// The cases assert the log's lines and what the devices hold as read from the box.

#include "PlayerTestSupport.h"

#include "jtag/JtagLayer.h"
#include "jtag/Opcodes.h"
#include "jtag/builder/CpldProgram.h"
#include "jtag/builder/ImageBuilder.h"
#include "jtag/player/StaplPlayer.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/FaultPlan.h"
#include "sim/JtagHandler.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

using namespace bytecode;
using namespace std::chrono_literals;

namespace {

using sim::JtagRoute;
using test::ErrorLine;
using test::Lines;
using test::LinkHost;

constexpr int kSocketImage = 358; // any image but 355 routes to the socket

class StaplOnBox : public testing::Test {
protected:
    void SetUp() override { g_ProgrammerLink.ResetForTest(bus); }
    void TearDown() override { g_ProgrammerLink.ResetForTest(); }

    void Start(int image = kSocketImage, const char* version = "ZV-CQ Re-1.00")
    {
        if (box)
            box->Port()->Disconnect();
        sim::BoxConfig config;
        config.version = version;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(image).outcome, FirmwareLoadResult::Loaded);
    }
    sim::ModelCpld& AddCpld(sim::ModelCpldSpec plan = {})
    {
        std::lock_guard lock(box->Mutex());
        auto cpld = std::make_unique<sim::ModelCpld>(plan);
        sim::ModelCpld& ref = *cpld;
        box->Jtag().SocketChain().Add(std::move(cpld));
        return ref;
    }
    Lines Play(const BuildResult& built, std::vector<std::string> args = {})
    {
        EXPECT_TRUE(built.ok()) << built.error;
        host.image = built.image;
        host.output.clear();
        args.insert(args.begin(), "not used");
        outcome = RunStaplPlayer(host, args);
        return host.output;
    }
    sim::TapState Tap(JtagRoute route = JtagRoute::Socket)
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().FirmwareTap(route);
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    tonrig::test::RecordingMessageBox boxes;
    LinkHost host;
    PlayerOutcome outcome;
};

// Reads a 32-bit register of the device `instruction` selects and prints it in decimal. The
// scans use `preIr`/`preDr` or `postIr`/`postDr` bits of BYPASS for the other device.
BuildResult ReadRegister(std::uint32_t instruction, int irBits, int otherIrBits, bool otherNearTdo)
{
    ImageBuilder b(Container::Stapl);
    b.AddBooleanArray("INSTR", sim::BitsOf(instruction, irBits));
    b.AddBooleanArray("BYPASS", std::vector<bool>(8, true));
    b.AddBooleanArray("ZERO", std::vector<bool>(32, false));
    b.AddUninitialisedArray("CAP", true, 32);
    const Label entry = b.NewLabel();
    b.Bind(entry);
    if (otherIrBits > 0) {
        // IR bits from a slice of the BYPASS array, the DR bit as "all ones".
        b.Emit("PUSHI", { otherIrBits });
        b.Emit("PUSHI", { 8 - otherIrBits });
        b.Emit(otherNearTdo ? "PREIR" : "POSTIR", { Sym("BYPASS") });
        b.Emit("PUSHI", { 1 });
        b.Emit("PUSHI", { 0 });
        b.Emit(otherNearTdo ? "PREDR" : "POSTDR", { kAllOnes });
    }
    b.Emit("PUSHI", { irBits });
    b.Emit("PUSHI", { 0 });
    b.Emit("IRSCAN", { Sym("INSTR") });
    b.Emit("PUSHI", { 32 });
    b.Emit("PUSHI", { 0 });
    b.Emit("PUSHI", { 0 });
    b.Emit("DRSCANC", { Sym("ZERO"), Sym("CAP") });
    b.Emit("PUSHI", { 31 });
    b.Emit("PUSHI", { 0 });
    b.Emit("LOADS", { Sym("CAP") });
    b.Emit("PRINTI");
    b.Emit("PRINTL");
    b.Emit("RETURN");
    b.AddProcedure("READ", entry);
    b.AddAction("READ", std::nullopt, { { "READ" } });
    return b.Build();
}

std::string Decimal(std::uint32_t value)
{
    return std::to_string(static_cast<std::int32_t>(value));
}

TEST_F(StaplOnBox, IdentifiesDevicesAlone)
{
    Start();
    sim::ModelCpldSpec plan;
    plan.usercode = 0x15071900;
    AddCpld(plan);
    EXPECT_EQ(Play(ReadRegister(sim::kCpldIdcode, 8, 0, false), { "-aREAD" }),
        (Lines { Decimal(sim::kSocketCpldIdcode), "Exit code = 0... Success" }));

    CpldProgramPlan program;
    program.idcode = sim::kSocketCpldIdcode;
    EXPECT_EQ(Play(BuildCpldProgram(program), { "-aRead_usercode" }),
        (Lines { "USERCODE code is 15071900", "Exit code = 0... Success" }));
    // A program for the other chain's CPLD stops at its IDCODE check.
    program.idcode = sim::kProgrammerCpldIdcode;
    EXPECT_EQ(
        Play(BuildCpldProgram(program), { "-aRead_usercode" }), (Lines { "Exit code = 6... Unrecognized device" }));
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(StaplOnBox, IdentifiesBothDevicesOfAChain)
{
    // From TDI to TDO: a plain device with a 4-bit IR, then the CPLD.
    constexpr std::uint32_t kOtherId = 0x0BADC0DF;
    Start();
    {
        sim::JtagDeviceSpec other;
        other.irLength = 4;
        other.idcode = kOtherId;
        other.idcodeInstruction = 0x6;
        std::lock_guard lock(box->Mutex());
        box->Jtag().SocketChain().Add(std::make_unique<sim::JtagDevice>(other));
    }
    AddCpld();
    // The device nearest TDI, with the CPLD in BYPASS through the preambles...
    EXPECT_EQ(Play(ReadRegister(0x6, 4, 8, true), { "-aREAD" }).front(), Decimal(kOtherId));
    // ...and the CPLD, with the other in BYPASS through the postambles.
    EXPECT_EQ(Play(ReadRegister(sim::kCpldIdcode, 8, 4, false), { "-aREAD" }).front(), Decimal(sim::kSocketCpldIdcode));
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(StaplOnBox, ProgramsTheCpldAtEachSpeedLevel)
{
    struct Case {
        int level;
        std::uint64_t k; // the model's clocks per row
        int shortRow;
        const char* exitLine;
    };
    // Level 5 sends the program's 1,600 clocks, level 3 an eighth of them.
    const Case cases[] = {
        { 5, 1600, -1, "Exit code = 0... Success" },
        { 5, 1601, -1, "Exit code = 11... Device verify failure" },
        { 3, 200, -1, "Exit code = 0... Success" },
        { 3, 201, -1, "Exit code = 11... Device verify failure" },
        { 5, 1600, 5, "Exit code = 11... Device verify failure" },
    };
    const std::vector<std::uint32_t> rows = CpldPatternRows(420);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << ", K " << c.k << ", short row " << c.shortRow);
        Start();
        sim::ModelCpldSpec model;
        model.programClocks = c.k;
        sim::ModelCpld& cpld = AddCpld(model);
        cpld.SetRow(2, 0x12345678); // something to erase

        CpldProgramPlan program;
        program.idcode = sim::kSocketCpldIdcode;
        program.usercode = 0x15071900;
        program.rows = rows;
        program.shortRow = c.shortRow;
        host.level = c.level;
        EXPECT_EQ(Play(BuildCpldProgram(program), { "-aPROGRAM" }), (Lines { c.exitLine }));

        std::lock_guard lock(box->Mutex());
        const bool passes = std::string(c.exitLine).find("Success") != std::string::npos;
        // K one clock more than sent leaves every row erased; a short wait only its own row.
        const bool rowsDone = passes || c.shortRow >= 0;
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(cpld.Rows()[static_cast<std::size_t>(i)],
                rowsDone && i != c.shortRow ? rows[static_cast<std::size_t>(i)] : 0xFFFFFFFFu)
                << "row " << i;
        }
        if (passes) {
            EXPECT_EQ(cpld.Usercode(), 0x15071900u);
        }
        EXPECT_FALSE(cpld.IspMode());
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
}

TEST_F(StaplOnBox, MicrosecondWaitsPauseOnTheClock)
{
    Start();
    AddCpld();
    const auto runWith = [&](std::int64_t microseconds) {
        ImageBuilder b(Container::Jam11);
        b.AddBooleanArray("BYPASS", std::vector<bool>(8, true));
        b.Emit("PUSHI", { 8 });
        b.Emit("PUSHI", { 0 });
        b.Emit("IRSCAN", { Sym("BYPASS") }); // the TAP in IDLE
        b.Emit("PUSHI", { 1 });
        b.Emit("PUSHI", { 1 });
        b.Emit("PUSHI", { 0 });
        b.Emit("PUSHI", { microseconds });
        b.Emit("WAIT", { 0, 0 }); // Jam 1.1: the states come from the stack
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        const auto before = clock->Now();
        EXPECT_EQ(Play(b.Build()).back(), "Exit code = 0... Success");
        return clock->Now() - before;
    };
    const auto none = runWith(0);
    EXPECT_EQ(runWith(500) - none, 8ms);
    EXPECT_EQ(runWith(20000) - none, 20ms);
}

// PROGRAM with a CPLD whose rows hold zeros, so a skipped erase fails the verify.
TEST_F(StaplOnBox, DefinesSelectTheProcedures)
{
    struct Case {
        std::uint8_t verify; // DO_VERIFY's attribute
        int shortRow;
        std::vector<std::string> args;
        const char* exitLine;
    };
    const Case cases[] = {
        // An optional verify runs only when forced in: a short row passes without it.
        { kProcOptional, 3, { "-aPROGRAM" }, "Exit code = 0... Success" },
        { kProcOptional, 3, { "-aPROGRAM", "-dDO_VERIFY=1" }, "Exit code = 11... Device verify failure" },
        // A recommended erase forced out leaves the zeros, and the verify sees them.
        { kProcRecommended, -1, { "-aPROGRAM" }, "Exit code = 0... Success" },
        { kProcRecommended, -1, { "-aPROGRAM", "-dDO_ERASE=0" }, "Exit code = 11... Device verify failure" },
        { kProcRecommended, -1, { "-aPROGRAM", "-ddo_verify=0", "-dDO_ERASE=0" }, "Exit code = 0... Success" },
        // A define for no procedure changes nothing.
        { kProcRecommended, -1, { "-aPROGRAM", "-dNO_SUCH_STEP=0" }, "Exit code = 0... Success" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        Start();
        sim::ModelCpldSpec model;
        model.programClocks = 1600;
        sim::ModelCpld& cpld = AddCpld(model);
        for (std::size_t i = 0; i < 16; ++i)
            cpld.SetRow(i, 0);
        CpldProgramPlan program;
        program.idcode = sim::kSocketCpldIdcode;
        program.rows = CpldPatternRows(7);
        program.verifyAttribute = c.verify;
        program.shortRow = c.shortRow;
        EXPECT_EQ(Play(BuildCpldProgram(program), c.args), (Lines { c.exitLine }));
    }

    // Jam 1.1: a define sets the scalar that counts a loop of scans.
    Start();
    AddCpld();
    ImageBuilder jam(Container::Jam11);
    jam.AddInteger("COUNT", 2);
    jam.AddInteger("I", 0);
    jam.AddBooleanArray("BYPASS", std::vector<bool>(8, true));
    jam.Emit("PUSHI", { 1 });
    jam.Emit("LOAD", { Sym("COUNT") });
    jam.Emit("PUSHI", { 1 });
    jam.Emit("FOR", { Sym("I") });
    jam.Emit("PUSHI", { 8 });
    jam.Emit("PUSHI", { 0 });
    jam.Emit("IRSCAN", { Sym("BYPASS") });
    jam.Emit("LOAD", { Sym("I") });
    jam.Emit("PRINTI");
    jam.Emit("PRINTL");
    jam.Emit("NEXT", { Sym("I") });
    jam.Emit("PUSHI", { 0 });
    jam.Emit("EXIT");
    const auto packets = box->Jtag().Packets(JtagRoute::Socket);
    EXPECT_EQ(Play(jam.Build(), { "-dCOUNT=5" }), (Lines { "1", "2", "3", "4", "5", "Exit code = 0... Success" }));
    EXPECT_GT(box->Jtag().Packets(JtagRoute::Socket) - packets, 10u);
}

TEST_F(StaplOnBox, EveryEndResetsTheTapUnlessAskedNotTo)
{
    // ISP enable, then DRPAUSE, then an exit, a fault or a long wait that is cancelled.
    const auto program = [](const char* end) {
        ImageBuilder b(Container::Stapl);
        b.AddBooleanArray("ISPEN", sim::BitsOf(cpld::kIspEnable, 8));
        const Label entry = b.NewLabel();
        b.Bind(entry);
        b.Emit("IRSTOP", { 13 }); // IRPAUSE
        b.Emit("PUSHI", { 8 });
        b.Emit("PUSHI", { 0 });
        b.Emit("IRSCAN", { Sym("ISPEN") });
        if (std::string_view(end) == "error") {
            b.Emit("PUSHI", { 9 }); // past the array
            b.Emit("PUSHI", { 0 });
            b.Emit("IRSCAN", { Sym("ISPEN") });
        } else if (std::string_view(end) == "cancel") {
            b.Emit("PUSHI", { 0 });
            b.Emit("PUSHI", { 10'000'000 });
            b.Emit("WAIT", { 13, 13 });
        }
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        b.AddProcedure("RUN", entry);
        b.AddAction("RUN", std::nullopt, { { "RUN" } });
        return b.Build();
    };
    Start();
    AddCpld();
    for (const char* end : { "exit", "error", "cancel" })
        for (const bool noReset : { false, true }) {
            SCOPED_TRACE(testing::Message() << end << (noReset ? " with -r" : ""));
            host.stop = std::stop_source();
            if (std::string_view(end) == "cancel")
                clock->Schedule(clock->Now() + 50ms, [this] { host.stop.request_stop(); });
            std::vector<std::string> args { "-aRUN" };
            if (noReset)
                args.push_back("-r");
            const Lines lines = Play(program(end), args);
            ASSERT_FALSE(lines.empty());
            if (std::string_view(end) == "exit")
                EXPECT_EQ(lines.front(), "Exit code = 0... Success");
            else
                EXPECT_NE(lines.front().find(std::string_view(end) == "error" ? "bounds error" : "execution cancelled"),
                    std::string::npos)
                    << lines.front();
            // IRSTOP IRPAUSE left the scans in IRPAUSE; the reset passes Test-Logic-Reset to IDLE.
            EXPECT_EQ(Tap(), noReset ? sim::TapState::PauseIr : sim::TapState::RunTestIdle);
        }
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(StaplOnBox, FaultsOfTheBoxEndTheRun)
{
    Start();
    AddCpld();
    CpldProgramPlan plan;
    plan.idcode = sim::kSocketCpldIdcode;
    // The first reply of the run is the IDCODE capture, the first DRSCANC of the code.
    const BuildResult image = BuildCpldProgram(plan);
    box->AddFault(sim::Fault::OnCode(0x56, sim::FaultAction::CutReply).Bytes(1));
    const Lines lines = Play(image, { "-aRead_usercode" });
    ASSERT_FALSE(lines.empty());
    // The IDCODE check is the first code: IRSCAN (3 instructions), then the capture's three pushes.
    EXPECT_EQ(lines.front(), ErrorLine(3 * 5 + 3 * 5, "internal error"));
    EXPECT_EQ(outcome.result, 10);

    // An unplug in the middle of the erase wait.
    Start();
    AddCpld();
    box->AddFault(sim::Fault::AtTime(clock->Now() + 150ms, sim::FaultAction::Unplug));
    const Lines unplugged = Play(image, { "-aPROGRAM" });
    ASSERT_FALSE(unplugged.empty());
    EXPECT_NE(unplugged.front().find(": internal error."), std::string::npos) << unplugged.front();
    EXPECT_EQ(outcome.result, 10);
}

} // namespace
