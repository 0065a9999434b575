// Device setup against the virtual programmer through the programmer link: the image the box
// runs, the sub-code and extra bytes it was given, the boxes the user sees, for each kind of
// row and each way a setup can end.

#include "operations/DeviceSetup.h"

#include "jtag/JtagLayer.h"
#include "jtag/builder/CpldProgram.h"
#include "jtag/player/StaplPlayer.h"

#include "SetupFakes.h"
#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/CommandChannel.h"
#include "operations/DeviceSwitches.h"
#include "operations/OperationState.h"
#include "operations/SetupLinkPort.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "sim/FaultPlan.h"
#include "sim/JtagHandler.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"
#include "support/VirtualUsb.h"
#include "tests/jtag/PlayerTestSupport.h"
#include "tools/mkfwimage/FirmwareImage.h"

#include <QDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using bytecode::test::LinkHost;
using tonrig::test::FakeView;

// The link port with a hook before each firmware load (to plant a fault for that download).
class HookedPort final : public ISetupLinkPort {
public:
    std::function<void(int)> beforeLoad;
    ProgrammerLinkPort link;

    bool Send(const std::uint8_t* d, int n) override { return link.Send(d, n); }
    int Read(std::uint8_t* b, int n) override { return link.Read(b, n); }
    bool Open() override { return link.Open(); }
    int TransportMode() const override { return link.TransportMode(); }
    int UsbChipType() const override { return link.UsbChipType(); }
    int Exchange(const std::uint8_t* p, int n, std::uint8_t* r, int s) override { return link.Exchange(p, n, r, s); }
    FirmwareLoad LoadFirmware(int number) override
    {
        if (beforeLoad)
            beforeLoad(number);
        return link.LoadFirmware(number);
    }
    bool LoadClassFile(const std::string& path) override { return link.LoadClassFile(path); }
    void InvalidateSentCache() override
    {
        if (pinDrivers)
            g_CFGManager.InvalidateSentCache();
    }
    void ApplySwitches(const CDeviceClass& device) override
    {
        if (pinDrivers)
            ApplyDeviceSwitches(g_CFGManager, device);
    }
    bool pinDrivers = false; // through the program's pin-driver state
    int SpeedLevel() override { return link.SpeedLevel(); }
    void SetSpeedLevel(int level) override { link.SetSpeedLevel(level); }
};

int ModelOf(const std::string& version)
{
    return sim::ModelOfVersion(version);
}

class SetupOnBox : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_nCurrentClass = kNoDeviceClass;
        g_nOperationState = kStateIdle;
        g_ProgrammerLink.ResetForTest(bus);
    }
    void TearDown() override
    {
        setup.Shutdown();
        EXPECT_EQ(g_bSetupIdle.load(), 1);
        EXPECT_FALSE(g_LinkLease.IsHeld());
        EXPECT_TRUE(view.guiOnly);
        g_ProgrammerLink.ResetForTest();
        g_nCurrentClass = kNoDeviceClass;
        g_nProgrammerModel = kModelZvC;
        g_CurrentDevice = CDeviceClass();
    }

    // A fresh box of this version on the bus, brought up as the program's start does.
    void Plug(const std::string& version)
    {
        if (box)
            box->Port()->Disconnect();
        sim::BoxConfig config;
        config.version = version;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(kBaseFirmware).outcome == FirmwareLoadResult::Loaded);
        g_nProgrammerModel = ModelOf(version);
    }
    SetupRequest Request(int index, const std::string& version)
    {
        SetupRequest r;
        r.classIndex = index;
        r.device = g_DeviceClassTable[static_cast<std::size_t>(index)];
        r.model = ModelOf(version);
        r.version = version;
        r.operationState = g_nOperationState;
        return r;
    }
    void Run(SetupRequest request)
    {
        setup.Start(std::move(request));
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !setup.Busy(); }, std::chrono::seconds(30)));
    }
    std::vector<std::vector<std::uint8_t>> Got(std::uint8_t code) const
    {
        auto all = box->Recorded(code);
        const std::size_t from = std::min(all.size(), seen.count(code) ? seen.at(code) : 0);
        return { all.begin() + static_cast<std::ptrdiff_t>(from), all.end() };
    }
    // What the box got from here on.
    void Mark()
    {
        for (std::uint8_t code : { P_DEVICE, P_CORE_WORD_LENGTH, P_DEVICE_PACKAGE, P_PIC_INFO, P_2051_PulseMode })
            seen[code] = box->Recorded(code).size();
    }
    std::vector<int> SubCodes() const
    {
        std::vector<int> out;
        for (const auto& p : Got(P_DEVICE))
            out.push_back(p.size() == 2 ? p[1] : -1);
        return out;
    }

    // 100x: the link's pipe time-outs and re-enumeration waits must outlast a loaded machine's
    // scheduling.
    std::shared_ptr<platform::Clock> clock = platform::MakeScaledClock(100);
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    std::map<std::uint8_t, std::size_t> seen;
    tonrig::test::RecordingMessageBox boxes;
    FakeView view;
    HookedPort port;
    CommandChannel channel { port };
    DeviceSetup setup { channel, view, port };
};

struct RowCase {
    int index;
    const char* version;
    int image; // what the box runs afterwards
    std::vector<int> subCodes;
    const char* box; // nullptr: none; "%s" stands for the device name
};

TEST_F(SetupOnBox, RowsOnEachModelAndRevision)
{
    const RowCase cases[] = {
        { 175, "ZV-C Re-2.00", 228, { 0 }, nullptr },
        { 175, "ZV-CQ Re-1.00", 356, { 0 }, nullptr },
        { 175, "ZV-D Re-1.00", 454, { 0 }, nullptr },
        { 16, "ZV-C Re-2.00", 355, {}, "Error 1011!" },
        { 45, "ZV-D Re-1.00", 453, { 4 }, nullptr },
        { 70, "ZV-B Re-1.20", 284, { 3 }, nullptr },
        { 70, "ZV-B Re-1.30", 291, { 3 }, nullptr },
        { 70, "ZV-A Re-1.10", 355, {}, "%s, Please update software #001" },
        { 100, "ZV-C Re-2.00", 172, { 6 }, nullptr },
        { 100, "ZV-CQ Re-1.00", 379, { 6 }, nullptr },
        { 188, "ZV-C Re-2.00", 179, { 2, 2 }, nullptr },
        { 313, "ZV-C Re-2.00", 220, { 1 }, nullptr },
        { 3, "ZV-C Re-2.00", 483, { 0 }, nullptr },
        { 24, "ZV-C Re-2.00", 355, {}, "This device not supported yet." },
        { 90, "ZV-CQ Re-1.00", 355, {}, "%s, Please update software #001" },
        { 308, "ZV-D Re-1.00", 453, { 0 }, nullptr },
        { 310, "ZV-C Re-2.00", 288, {}, nullptr },
        { 320, "ZV-B Re-1.30", 239, { 0 }, nullptr },
        { 2, "ZV-C Re-2.00", 355, { 2 }, "Load firmware file now..." },
    };
    std::string plugged;
    for (const RowCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "class " << c.index << " on " << c.version);
        if (plugged != c.version) {
            Plug(c.version);
            plugged = c.version;
        }
        Mark();
        boxes.Clear();
        Run(Request(c.index, c.version));
        EXPECT_EQ(box->RunningImage().value_or(-1), c.image);
        EXPECT_EQ(SubCodes(), c.subCodes);
        if (c.box) {
            std::string text = c.box;
            if (const auto at = text.find("%s"); at != std::string::npos)
                text.replace(at, 2, g_DeviceClassTable[static_cast<std::size_t>(c.index)].m_strName);
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, text);
        } else {
            EXPECT_EQ(boxes.Count(), 0u) << (boxes.Count() ? boxes.Boxes()[0].text : "");
        }
        EXPECT_TRUE(box->ProtocolErrors().empty());
        EXPECT_EQ(g_bSetupIdle.load(), 1);
        EXPECT_FALSE(g_LinkLease.IsHeld());
    }
}

TEST_F(SetupOnBox, TheBoxKeepsWhatTheExtraStepsGaveIt)
{
    Plug("ZV-C Re-2.00");
    Mark();
    Run(Request(313, "ZV-C Re-2.00"));
    const auto& pic = *g_DeviceClassTable[313].m_pPicConfig;
    EXPECT_EQ(Got(P_CORE_WORD_LENGTH), (std::vector<tonrig::test::Bytes> { { P_CORE_WORD_LENGTH, 14 } }));
    EXPECT_EQ(Got(P_DEVICE_PACKAGE), (std::vector<tonrig::test::Bytes> { { P_DEVICE_PACKAGE, 18 } }));
    EXPECT_EQ(Got(P_PIC_INFO),
        (std::vector<tonrig::test::Bytes> { { P_PIC_INFO, 14, static_cast<std::uint8_t>(pic.m_nConfigBytes) } }));

    auto request = Request(100, "ZV-C Re-2.00");
    request.mode = 0;
    Mark();
    Run(request);
    EXPECT_EQ(Got(P_2051_PulseMode), (std::vector<tonrig::test::Bytes> { { P_2051_PulseMode, 0 } }));

    Plug("ZV-B Re-1.20");
    Run(Request(70, "ZV-B Re-1.20"));
    EXPECT_EQ(box->PortValue(5), 0x2D);
}

// The IDCODE of the one device on the chain the box routes JTAG packets to.
std::uint32_t ReadIdcode()
{
    LinkJtagPort port;
    JtagLayer jtag(port);
    jtag.StaplJtagInit();
    const std::uint8_t instruction = sim::kCpldIdcode;
    std::uint8_t zero[4] = {}, capture[4] = {};
    EXPECT_EQ(jtag.StaplIrScan(8, &instruction, 0), 0);
    EXPECT_EQ(jtag.StaplDrScanCapture(32, zero, 0, capture, 0), 0);
    jtag.StaplJtagFree(1);
    return std::uint32_t { capture[0] } | std::uint32_t { capture[1] } << 8 | std::uint32_t { capture[2] } << 16
        | std::uint32_t { capture[3] } << 24;
}

TEST_F(SetupOnBox, ZvDJtagPartsReachTheSocketUnderTheBaseImage)
{
    Plug("ZV-D Re-1.00");
    {
        std::lock_guard lock(box->Mutex());
        box->Jtag().SocketChain().Add(std::make_unique<sim::ModelCpld>());
    }
    Run(Request(310, "ZV-D Re-1.00"));
    EXPECT_EQ(box->RunningImage().value_or(-1), kBaseFirmware);
    const std::uint8_t vccOn[2] = { P_VCC, 1 };
    g_ProgrammerLink.SendData(vccOn, 2);
    EXPECT_EQ(ReadIdcode(), sim::kSocketCpldIdcode);
    // The next download ends the selection.
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(kBaseFirmware).outcome, FirmwareLoadResult::Loaded);
    EXPECT_EQ(ReadIdcode(), sim::kProgrammerCpldIdcode);

    // The other models load a firmware for the class and never select.
    Plug("ZV-CQ Re-1.00");
    Run(Request(310, "ZV-CQ Re-1.00"));
    EXPECT_EQ(box->RunningImage().value_or(-1), 358);
    EXPECT_EQ(box->Jtag().Route(), sim::JtagRoute::Socket);
    ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(kBaseFirmware).outcome, FirmwareLoadResult::Loaded);
    EXPECT_EQ(box->Jtag().Route(), sim::JtagRoute::Programmer);
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(SetupOnBox, ZvDByteCodeProgramsTheSocketsCpldAfterTheSetup)
{
    bytecode::CpldProgramPlan plan;
    plan.idcode = sim::kSocketCpldIdcode;
    plan.usercode = 0x20261211;
    plan.rows = bytecode::CpldPatternRows(310);
    const bytecode::BuildResult built = bytecode::BuildCpldProgram(plan);
    ASSERT_TRUE(built.ok()) << built.error;

    Plug("ZV-D Re-2.00");
    sim::ModelCpld* socket = nullptr;
    {
        std::lock_guard lock(box->Mutex());
        auto cpld = std::make_unique<sim::ModelCpld>();
        socket = cpld.get();
        box->Jtag().SocketChain().Add(std::move(cpld));
    }
    const std::uint32_t programmerUsercode = box->Jtag().ProgrammerCpld().Usercode();
    Run(Request(310, "ZV-D Re-2.00"));
    ASSERT_EQ(box->RunningImage().value_or(-1), kBaseFirmware);
    LinkHost host(built.image);
    RunStaplPlayer(host, { "not used", "-aPROGRAM" });
    EXPECT_EQ(host.output, (std::vector<std::string> { "Exit code = 0... Success" }));
    {
        std::lock_guard lock(box->Mutex());
        EXPECT_EQ(socket->Usercode(), 0x20261211u);
        EXPECT_EQ(socket->Rows()[15], plan.rows[15]);
        EXPECT_EQ(box->Jtag().ProgrammerCpld().Usercode(), programmerUsercode);
    }

    // Under the base image without that setup, the programmer's own CPLD answers: the IDCODE
    // check stops the program before it changes anything.
    Plug("ZV-D Re-2.00");
    const auto rowsBefore = box->Jtag().ProgrammerCpld().Rows();
    LinkHost again(built.image);
    RunStaplPlayer(again, { "not used", "-aPROGRAM" });
    EXPECT_EQ(again.output, (std::vector<std::string> { "Exit code = 6... Unrecognized device" }));
    std::lock_guard lock(box->Mutex());
    EXPECT_EQ(box->Jtag().ProgrammerCpld().Usercode(), programmerUsercode);
    EXPECT_EQ(box->Jtag().ProgrammerCpld().Rows(), rowsBefore);
    EXPECT_FALSE(box->Jtag().ProgrammerCpld().IspMode());
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(SetupOnBox, ARefusedModelLeavesTheDeviceNotReadyWithItsBox)
{
    Plug("ZV-C Re-2.00");
    Run(Request(16, "ZV-C Re-2.00"));
    EXPECT_EQ(setup.NotReadyReason(), "Error 1011!");
    EXPECT_EQ(view.fields[kFieldStatus], "Error 1011!");
    // The same class on a ZV-D is fine.
    Plug("ZV-D Re-1.00");
    Mark();
    Run(Request(16, "ZV-D Re-1.00"));
    EXPECT_TRUE(setup.NotReadyReason().empty());
    EXPECT_EQ(box->RunningImage().value_or(-1), 464);
    EXPECT_EQ(SubCodes(), std::vector<int> { 0 });
}

TEST_F(SetupOnBox, A28PinRecordOfClass321TwiceKeepsTwelvePins)
{
    Plug("ZV-C Re-2.00");
    g_CurrentDevice = g_DeviceClassTable[321];
    g_CurrentDevice.m_strPackage = "DIP28"; // as a DIP28 device record gives it
    for (int i = 0; i < 2; ++i) {
        Mark();
        setup.Start(321, 1, 1, 1, "ZV-C Re-2.00");
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !setup.Busy(); }, std::chrono::seconds(30)));
        EXPECT_EQ(g_CurrentDevice.m_strCpldDip.size(), 12u);
        EXPECT_EQ(g_CurrentDevice.m_strCpldDip[6], '1');
        EXPECT_EQ(box->RunningImage().value_or(-1), 325);
        EXPECT_EQ(Got(P_DEVICE_PACKAGE), (std::vector<tonrig::test::Bytes> { { P_DEVICE_PACKAGE, 28 } }));
        EXPECT_EQ(Got(P_CORE_WORD_LENGTH), (std::vector<tonrig::test::Bytes> { { P_CORE_WORD_LENGTH, 16 } }));
    }
}

TEST_F(SetupOnBox, TheDevicesSwitchBytesReachTheBoxAfterItsImages)
{
    for (const char* version : { "ZV-C Re-2.00", "ZV-CQ Re-1.00" }) {
        SCOPED_TRACE(version);
        Plug(version);
        g_CFGManager.ResetState();
        port.pinDrivers = true;
        auto request = Request(188, version);
        request.device.m_nVccSwitch = 0x24;
        request.device.m_nVppSwitch = 0x41;
        request.device.m_strCpldDip = "101100010000";
        Run(request);
        // Both downloads rebooted the box (latches back to 0); the bytes went out after them.
        const sim::PinLatches latches = box->Electrical().Latches();
        EXPECT_EQ(latches.vccSwitch, 0x24);
        EXPECT_EQ(latches.vppSwitch, 0x41);
        EXPECT_EQ(latches.switchB, 0xB1);
        port.pinDrivers = false;
    }
    g_CFGManager.ResetState();
}

TEST_F(SetupOnBox, ClassFileRunsInPlaceOfTheBaseImageAndTheRowsImage)
{
    const std::string folder = GetAppDataFolder() + "/ClassFiles";
    QDir().mkpath(QString::fromStdString(folder));
    std::ofstream(folder + "/Fixture.cls", std::ios::binary)
        << mkfwimage::MakeClassFile("FIXTURE", tonrig::test::FirmwareHex(347));
    Plug("ZV-C Re-2.00");
    auto request = Request(175, "ZV-C Re-2.00");
    request.device.m_strClassFile = "Fixture";
    Mark();
    Run(request);
    EXPECT_EQ(box->RunningImage().value_or(-1), 347);
    EXPECT_EQ(box->Boots(), 2); // the start's 355, then the class file alone
    EXPECT_EQ(SubCodes(), std::vector<int> { 0 });
    EXPECT_EQ(boxes.Count(), 0u);
    QDir(QString::fromStdString(folder)).removeRecursively();
}

TEST_F(SetupOnBox, EveryWayASetupEndsLeavesItIdleWithTheLinkFree)
{
    // A download that fails (the box stalls the RAM writes of the row's image).
    Plug("ZV-C Re-2.00");
    port.beforeLoad = [this](int number) {
        if (number == 228)
            box->AddFault(sim::Fault::OnA0Address(0x0000, sim::FaultAction::Stall).Count(1000).Persistent());
    };
    Run(Request(175, "ZV-C Re-2.00"));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, g_LanguageDefaults[52]);
    EXPECT_EQ(setup.NotReadyReason(), g_LanguageDefaults[52]);
    EXPECT_NE(box->RunningImage().value_or(-1), 228);
    EXPECT_TRUE(Got(P_DEVICE).empty());
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(g_bSetupIdle.load(), 1);

    // The cable pulled in the middle of the row's download.
    Plug("ZV-C Re-2.00");
    boxes.Clear();
    Mark();
    port.beforeLoad = [this](int number) {
        if (number == 228)
            box->AddFault(sim::Fault::OnA0Address(0x0000, sim::FaultAction::Unplug));
    };
    Run(Request(175, "ZV-C Re-2.00"));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_FALSE(setup.NotReadyReason().empty());
    EXPECT_TRUE(Got(P_DEVICE).empty());
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(g_bSetupIdle.load(), 1);
    port.beforeLoad = nullptr;

    // Back on the bus: the same device sets up and the device is ready again.
    Plug("ZV-C Re-2.00");
    boxes.Clear();
    Mark();
    Run(Request(175, "ZV-C Re-2.00"));
    EXPECT_EQ(box->RunningImage().value_or(-1), 228);
    EXPECT_EQ(SubCodes(), std::vector<int> { 0 });
    EXPECT_TRUE(setup.NotReadyReason().empty());
}

TEST_F(SetupOnBox, WithoutAProgrammerTheBoxGetsNothing)
{
    Plug("ZV-C Re-2.00");
    g_nOperationState = kStateDisconnected;
    const std::size_t bytes = box->BytesReceived();
    const int boots = box->Boots();
    Run(Request(175, "ZV-C Re-2.00"));
    EXPECT_EQ(box->RunningImage().value_or(-1), kBaseFirmware);
    EXPECT_EQ(box->BytesReceived(), bytes);
    EXPECT_EQ(box->Boots(), boots);
    EXPECT_EQ(view.lastDevice, g_DeviceClassTable[175].m_strName);
    EXPECT_EQ(g_nCurrentClass, 175);
}

} // namespace

namespace {

TEST_F(SetupOnBox, AfterAnUnplugMidBatchNoStalePacketReachesTheBox)
{
    Plug("ZV-C Re-2.00");
    const auto stops = [this] {
        std::vector<int> out;
        for (const auto& p : box->Recorded(P_STOP))
            out.push_back(p.size() >= 2 ? p[1] : -1);
        return out;
    };
    // Packets waiting in the batch when the cable goes.
    channel.BeginOperation();
    for (std::uint8_t i = 0; i < 5; ++i) {
        const std::uint8_t stop[2] = { P_STOP, i };
        ASSERT_TRUE(channel.SendCommand(stop, 2, true));
    }
    box->Port()->Unplug();
    const std::uint8_t last[2] = { P_STOP, 99 };
    EXPECT_FALSE(channel.SendCommand(last, 2));
    EXPECT_EQ(channel.BatchFill(), 0);

    box->Port()->Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(kBaseFirmware).outcome == FirmwareLoadResult::Loaded);
    // A batch left over from an operation that ended with the link gone goes nowhere either.
    const std::uint8_t left[2] = { P_STOP, 50 };
    channel.SendCommand(left, 2, true);
    channel.BeginOperation();
    const std::uint8_t next[2] = { P_STOP, 100 };
    ASSERT_TRUE(channel.SendCommand(next, 2));
    EXPECT_EQ(stops(), std::vector<int> { 100 });
}

TEST_F(SetupOnBox, BatchedPacketsArriveEachInItsOwnSlot)
{
    Plug("ZV-C Re-2.00");
    channel.BeginOperation();
    for (std::uint8_t i = 0; i < 63; ++i) {
        const std::uint8_t stop[2] = { P_STOP, i };
        ASSERT_TRUE(channel.SendCommand(stop, 2, true));
    }
    EXPECT_EQ(channel.BatchFill(), 0);
    const std::uint8_t tail[2] = { P_STOP, 200 };
    channel.SendCommand(tail, 2, true);
    const std::uint8_t alone[3] = { P_STOP, 201, 7 };
    channel.SendCommand(alone, 3);
    const auto got = box->Recorded(P_STOP);
    ASSERT_EQ(got.size(), 65u);
    for (std::size_t i = 0; i < 63; ++i)
        EXPECT_EQ(got[i][1], i);
    EXPECT_EQ(got[63][1], 200);
    EXPECT_EQ(got[64], (std::vector<std::uint8_t> { P_STOP, 201, 7 }));
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

} // namespace

namespace {

// Through the channel a DIP24 or DIP28 chip gets the address line that powers it in the socket
// above ZV-A; on ZV-A the hand switches do that.
TEST_F(SetupOnBox, Dip24AndDip28ChipsRoundTripThroughTheChannel)
{
    // The chip's replies come when its work is done on the clock: the manual clock moves to them.
    platform::ScopedClock manual { std::make_shared<platform::ManualClock>() };
    const auto classWith = [](const char* package, int code) {
        for (int i = 2; i < kNoDeviceClass; ++i) {
            const CDeviceClass& c = g_DeviceClassTable[static_cast<std::size_t>(i)];
            if (c.m_strPackage == package && c.m_nPackageCode == code && c.m_nBusWidth == 1)
                return i;
        }
        return -1;
    };
    struct Socket {
        int classIndex;
        int packageCode;
        int pins;
    } sockets[] = { { classWith("DIP24", 2), 2, 24 }, { classWith("DIP28", 4), 4, 28 } };
    std::vector<std::uint8_t> data(200);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);

    for (const char* version : { "ZV-C Re-2.00", "ZV-A Re-1.00" }) {
        for (const Socket& socket : sockets) {
            SCOPED_TRACE(testing::Message() << version << ", " << socket.pins << " pins");
            ASSERT_GE(socket.classIndex, 0);
            Plug(version);
            g_nCurrentClass = socket.classIndex;
            g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(socket.classIndex)];
            sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Sram, 0x2000);
            chipSpec.name = "RAM";
            chipSpec.packageCode = socket.packageCode;
            chipSpec.pinCount = socket.pins;
            {
                std::lock_guard lock(box->Mutex());
                box->ChipSocket().Insert(chipSpec);
            }

            channel.BeginOperation();
            for (std::size_t at = 0; at < data.size(); at += 59) {
                std::vector<std::uint8_t> packet(5);
                packet[0] = at == 0 ? P_WRITE_OK : P_WRITE;
                PutBe32(&packet[1], static_cast<std::uint32_t>(at));
                const std::size_t n = std::min<std::size_t>(59, data.size() - at);
                packet.insert(packet.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(at + n));
                ASSERT_TRUE(channel.SendCommand(packet, at + 59 < data.size()));
            }
            std::uint8_t reply[256] = {};
            ASSERT_EQ(channel.ReadResponse(reply, 64), 1);
            EXPECT_EQ(reply[0], 0);

            std::uint8_t read[9] = { P_READ };
            PutBe32(&read[5], static_cast<std::uint32_t>(data.size()));
            ASSERT_TRUE(channel.SendCommand(read, 9));
            const int got = channel.ReadResponse(reply, static_cast<int>(data.size()));
            ASSERT_EQ(got, static_cast<int>(data.size())) << "first byte " << int(reply[0]);
            EXPECT_TRUE(std::equal(data.begin(), data.end(), reply));
            EXPECT_EQ(channel.ReadResponse(reply, 1), 1);
            EXPECT_EQ(reply[0], 0);
            EXPECT_TRUE(box->ProtocolErrors().empty());
        }
    }
    g_CurrentDevice = CDeviceClass();
}

} // namespace
