// Device setup against recording collaborators: what it loads, sends and shows for each kind of
// row, the request slot and the link lease, and every way it can end.

#include "operations/DeviceSetup.h"

#include "SetupFakes.h"
#include "catalogue/DeviceClassTable.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerModel.h"
#include "operations/CommandChannel.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "shell/Language.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace {

using tonrig::test::Bytes;
using tonrig::test::FakeBox;
using tonrig::test::FakeView;

struct RecordingUpdater : IProgrammerConfigUpdater {
    std::vector<std::pair<int, std::string>> calls;
    FakeBox* box = nullptr;
    void UpdateProgrammerConfig(int configuration, bool forced, const std::string& expected) override
    {
        EXPECT_FALSE(forced);
        calls.emplace_back(configuration, expected);
        if (box)
            box->speed = 1; // the JTAG player runs at level 1
    }
};

class Setup : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        savedDevice = g_CurrentDevice;
        g_nCurrentClass = kNoDeviceClass;
        g_nOperationState = kStateIdle;
        updater.box = &box;
    }
    void TearDown() override
    {
        setup.Shutdown();
        EXPECT_EQ(g_bSetupIdle.load(), 1);
        EXPECT_FALSE(g_LinkLease.IsHeld());
        EXPECT_TRUE(view.guiOnly);
        g_CurrentDevice = savedDevice;
        g_nCurrentClass = kNoDeviceClass;
        g_nProgrammerModel = kModelZvC;
        g_nOperationState = kStateIdle;
        while (g_LinkLease.IsHeld())
            g_LinkLease.Release(g_LinkLease.Holder());
    }

    SetupRequest Request(int index, int model, std::string version, std::uint8_t mode = 1)
    {
        SetupRequest r;
        r.classIndex = index;
        r.mode = mode;
        r.device = g_DeviceClassTable[static_cast<std::size_t>(std::clamp(index, 0, kNoDeviceClass))];
        r.model = model;
        r.version = std::move(version);
        r.operationState = g_nOperationState;
        return r;
    }
    bool WaitIdle()
    {
        return tonrig::test::ProcessEventsUntil([&] { return !setup.Busy(); });
    }
    void Run(SetupRequest request)
    {
        setup.Start(std::move(request));
        ASSERT_TRUE(WaitIdle());
    }
    std::vector<int> SubCodes() const
    {
        std::vector<int> out;
        for (const Bytes& p : box.PacketsOf(P_DEVICE))
            out.push_back(p.size() == 2 ? p[1] : -1);
        return out;
    }

    std::shared_ptr<platform::Clock> clock = platform::MakeScaledClock(1000);
    platform::ScopedClock scoped { clock };
    tonrig::test::RecordingMessageBox boxes;
    FakeBox box;
    FakeView view;
    RecordingUpdater updater;
    CommandChannel channel { box };
    DeviceSetup setup { channel, view, box, &updater };
    CDeviceClass savedDevice;
};

struct RowCase {
    int index;
    int model;
    const char* version;
    int image; // the image running after setup (-1: none loaded by the row, 355 stays)
    std::vector<int> subCodes;
    const char* box; // nullptr: none
    std::vector<int> configurations;
};

TEST_F(Setup, RowsByModelAndRevision)
{
    const RowCase cases[] = {
        { 175, 5, "ZV-C Re-2.00", 228, { 0 }, nullptr, {} },
        { 175, 7, "ZV-CQ Re-1.00", 356, { 0 }, nullptr, { 385 } },
        { 175, 8, "ZV-D Re-1.00", 454, { 0 }, nullptr, { 452 } },
        { 9, 8, "ZV-D Re-1.00", 355, { 1 }, nullptr, {} },
        { 16, 5, "ZV-C Re-2.00", 355, {}, "Error 1011!", {} },
        { 16, 8, "ZV-D Re-1.00", 464, { 0 }, nullptr, { 463 } },
        { 45, 8, "ZV-D Re-1.00", 453, { 4 }, nullptr, { 452 } },
        { 70, 4, "ZV-B Re-1.20", 284, { 3 }, nullptr, {} },
        { 70, 4, "ZV-B Re-1.30", 291, { 3 }, nullptr, {} },
        { 70, 2, "ZV-A Re-1.10", 355, {}, "ST95P08, Please update software #001", {} },
        { 70, 7, "ZV-CQ Re-1.00", 366, { 3 }, nullptr, { 385 } },
        { 100, 5, "ZV-C Re-2.00", 172, { 6 }, nullptr, {} },
        { 188, 5, "ZV-C Re-2.00", 179, { 2, 2 }, nullptr, {} },
        { 3, 5, "ZV-C Re-2.00", 483, { 0 }, nullptr, { 482, 486 } },
        { 24, 5, "ZV-C Re-2.00", 355, {}, "This device not supported yet.", {} },
        { 90, 7, "ZV-CQ Re-1.00", 355, {}, "%s, Please update software #001", {} },
        { 91, 5, "ZV-C Re-2.00", 355, {}, "%s, #001", {} },
        { 300, 5, "ZV-C Re-2.00", 355, {}, "Wrong programmer!", {} },
        { 308, 5, "ZV-C Re-2.00", 171, { 0 }, nullptr, {} },
        { 310, 5, "ZV-C Re-2.00", 288, {}, nullptr, { 385 } },
        { 310, 8, "ZV-D Re-1.00", 355, {}, nullptr, { 385 } },
        { 320, 7, "ZV-CQ Re-1.00", 239, { 0 }, nullptr, {} },
        { 325, 5, "ZV-C Re-2.00", 355, {}, "Not supported ZV-C V1 and ZV-B!", {} },
        { 2, 5, "ZV-C Re-2.00", 355, { 2 }, "Load firmware file now...", { 385 } },
        { 2, 8, "ZV-D Re-1.00", 355, { 2 }, nullptr, {} },
        { 170, 7, "ZV-CQ Re-1.00", 355, { 0 }, nullptr, {} },
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "class " << c.index << " on " << c.version);
        box.loads.clear();
        box.packets.clear();
        boxes.Clear();
        updater.calls.clear();
        g_nProgrammerModel = c.model;
        Run(Request(c.index, c.model, c.version));
        EXPECT_EQ(box.Running(), c.image);
        EXPECT_EQ(box.loads.front(), kBaseFirmware);
        EXPECT_EQ(SubCodes(), c.subCodes);
        std::vector<int> configurations;
        for (const auto& call : updater.calls)
            configurations.push_back(call.first);
        EXPECT_EQ(configurations, c.configurations);
        if (c.box) {
            ASSERT_EQ(boxes.Count(), 1u);
            std::string text = c.box;
            if (text.find("%s") != std::string::npos)
                text.replace(text.find("%s"), 2, g_DeviceClassTable[static_cast<std::size_t>(c.index)].m_strName);
            EXPECT_EQ(boxes.Boxes()[0].text, text);
            const bool goesOn = text == "Load firmware file now...";
            EXPECT_EQ(setup.NotReadyReason().empty(), goesOn);
        } else {
            EXPECT_EQ(boxes.Count(), 0u);
            EXPECT_TRUE(setup.NotReadyReason().empty());
        }
        EXPECT_EQ(g_nCurrentClass, c.index);
        EXPECT_EQ(g_bSetupIdle.load(), 1);
        EXPECT_FALSE(g_LinkLease.IsHeld());
    }
}

TEST_F(Setup, SpecialStepsAfterTheDevicePacket)
{
    // P_ACK with the sub-code and its one-byte reply.
    Run(Request(45, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_EQ(box.PacketsOf(P_ACK), (std::vector<Bytes> { { P_ACK, 4 } }));
    EXPECT_EQ(box.pendingReply, 0);

    // Port B read, written 0x2D, read again on models other than 7 and 8.
    box.packets.clear();
    Run(Request(70, kModelZvB, "ZV-B Re-1.20"));
    EXPECT_EQ(box.PacketsOf(P_8051_PORT_READ).size(), 2u);
    EXPECT_EQ(box.PacketsOf(P_8051_PORT_WRITE), (std::vector<Bytes> { { P_8051_PORT_WRITE, 0, 5, 0x2D } }));
    box.packets.clear();
    Run(Request(70, kModelZvCQ, "ZV-CQ Re-1.00"));
    EXPECT_TRUE(box.PacketsOf(P_8051_PORT_WRITE).empty());

    // Pulse mode on every model named ZV-C..., ZV-CQ included; the byte is the mode flag.
    for (const char* version : { "ZV-C Re-2.00", "ZV-CQ Re-1.00", "ZV-D Re-1.00" }) {
        box.packets.clear();
        const int model = version[4] == 'Q' ? 7 : version[3] == 'D' ? 8 : 5;
        Run(Request(100, model, version, 0));
        const auto pulses = box.PacketsOf(P_2051_PulseMode);
        if (model == 8) {
            EXPECT_TRUE(pulses.empty()) << version;
        } else {
            EXPECT_EQ(pulses, (std::vector<Bytes> { { P_2051_PulseMode, 0 } })) << version;
        }
    }

    // Classes 3 and 4: the jig's bracket around configuration 486.
    box.packets.clear();
    const int jumpers = view.jumpers;
    Run(Request(4, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_EQ(box.PacketsOf(P_ACK), (std::vector<Bytes> { { P_ACK, 0x89 }, { P_ACK, 0x8A } }));
    EXPECT_EQ(box.PacketsOf(P_VCC), (std::vector<Bytes> { { P_VCC, 1 } }));
    EXPECT_EQ(view.jumpers, jumpers + 2); // the bracket's and the tail's
    EXPECT_EQ(SubCodes(), std::vector<int> { 1 });
}

TEST_F(Setup, PicStepsAndTheTail)
{
    Run(Request(313, kModelZvC, "ZV-C Re-2.00"));
    const auto& pic = *g_DeviceClassTable[313].m_pPicConfig;
    ASSERT_EQ(pic.m_nCoreBits, 14);
    EXPECT_EQ(box.PacketsOf(P_CORE_WORD_LENGTH), (std::vector<Bytes> { { P_CORE_WORD_LENGTH, 14 } }));
    EXPECT_EQ(box.PacketsOf(P_DEVICE_PACKAGE), (std::vector<Bytes> { { P_DEVICE_PACKAGE, 18 } }));
    EXPECT_EQ(box.PacketsOf(P_PIC_INFO),
        (std::vector<Bytes> { { P_PIC_INFO, 14, static_cast<std::uint8_t>(pic.m_nConfigBytes) } }));
    EXPECT_EQ(view.deviceFileLoads, 1);
    EXPECT_EQ(view.gridFills, 1);
    EXPECT_EQ(view.bufferResets, (std::vector<std::pair<int, int>> { { 4096, 128 } }));
    EXPECT_EQ(box.switchesFor, std::vector<std::string> { "PIC16F628A" });
    EXPECT_EQ(view.lastDevice, "PIC16F628A");
    EXPECT_EQ(view.fields[kFieldDevice], "Device: PIC16F628A");
    EXPECT_EQ(view.fields[kFieldStatus], g_LanguageDefaults[51]);
    EXPECT_EQ(view.progressStarts, 1);
    EXPECT_EQ(view.progressHides, 1);
    EXPECT_EQ(box.invalidations, 1);

    // The same class again without reload: the buffers stay, nothing reloads.
    auto again = Request(313, kModelZvC, "ZV-C Re-2.00");
    again.reload = 0;
    Run(again);
    EXPECT_EQ(view.bufferResets.size(), 1u);
    EXPECT_EQ(view.deviceFileLoads, 1);

    // A bad core width or package ends the setup with its box.
    auto wrong = Request(314, kModelZvC, "ZV-C Re-2.00");
    wrong.device.m_pPicConfig->m_nCoreBits = 10;
    Run(wrong);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Fatal error, unknow CPU core word length!");
    auto odd = Request(314, kModelZvC, "ZV-C Re-2.00");
    odd.device.m_strPackage = "PLCC44";
    Run(odd);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "The package type is not supported!");
    EXPECT_EQ(setup.NotReadyReason(), "The package type is not supported!");
}

TEST_F(Setup, Dip28PinPatternOfClass321StaysTwelveCharacters)
{
    g_CurrentDevice = g_DeviceClassTable[321];
    g_CurrentDevice.m_strPackage = "DIP28";
    for (int i = 0; i < 2; ++i) {
        setup.Start(321, 1, 1, 1, "ZV-C Re-2.00");
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(g_CurrentDevice.m_strCpldDip.size(), 12u);
        EXPECT_EQ(g_CurrentDevice.m_strCpldDip[6], '1');
    }
    EXPECT_EQ(box.PacketsOf(P_DEVICE_PACKAGE).back(), (Bytes { P_DEVICE_PACKAGE, 28 }));
}

TEST_F(Setup, ClassFileRunsWithoutTheBaseImage)
{
    auto request = Request(175, kModelZvC, "ZV-C Re-2.00");
    request.device.m_strClassFile = "Fixture";
    Run(request);
    ASSERT_EQ(box.classFiles.size(), 1u);
    EXPECT_NE(box.classFiles[0].find("/ClassFiles/Fixture.cls"), std::string::npos);
    EXPECT_TRUE(box.loads.empty());
    EXPECT_EQ(SubCodes(), std::vector<int> { 0 });

    // A class file that fails to load: the base image, then the row's.
    box.classFileLoads = false;
    Run(request);
    EXPECT_EQ(box.loads, (std::vector<int> { 355, 228 }));

    // Only a bare name is looked for.
    box.classFiles.clear();
    box.loads.clear();
    for (const char* name : { "../x", "a/b", "a\\b" }) {
        request.device.m_strClassFile = name;
        Run(request);
    }
    EXPECT_TRUE(box.classFiles.empty());
    EXPECT_EQ(ClassFilePath("../x"), "");
}

TEST_F(Setup, FirmwareIdProbeResetsAHalfSetUpImage)
{
    box.firmwareId = 0x00DC;
    Run(Request(175, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_EQ(box.PacketsOf(P_SETUP).size(), 1u);
    box.packets.clear();
    auto noProbe = Request(175, kModelZvC, "ZV-C Re-2.00");
    noProbe.probe = 0;
    Run(noProbe);
    EXPECT_TRUE(box.PacketsOf(P_FIRMWARE_ID_GET).empty());
    box.packets.clear();
    auto zvd = Request(175, kModelZvD, "ZV-D Re-1.00");
    zvd.device.m_strPlatform = "ZV-D";
    Run(zvd);
    EXPECT_TRUE(box.PacketsOf(P_FIRMWARE_ID_GET).empty());
}

TEST_F(Setup, WithoutAProgrammerNothingGoesToTheLinkButTheTailRuns)
{
    g_nOperationState = kStateDisconnected;
    Run(Request(175, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_TRUE(box.packets.empty());
    EXPECT_TRUE(box.loads.empty());
    EXPECT_TRUE(box.switchesFor.empty());
    EXPECT_EQ(view.lastDevice, g_DeviceClassTable[175].m_strName);
    EXPECT_EQ(view.bufferResets.size(), 1u);
    EXPECT_EQ(g_nCurrentClass, 175);
    // Ending rows still show their box; model-dependent ones do not.
    Run(Request(90, kModelZvC, "ZV-C Re-2.00"));
    Run(Request(16, kModelZvC, "ZV-C Re-2.00"));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, g_LanguageDefaults[50]);
}

TEST_F(Setup, AFailedRowFirmwareEndsWithTheInitialisationText)
{
    box.loadResult[228] = FirmwareLoad::Failed;
    Run(Request(175, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_TRUE(SubCodes().empty());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, g_LanguageDefaults[52]);
    EXPECT_EQ(setup.NotReadyReason(), g_LanguageDefaults[52]);
    EXPECT_EQ(view.fields[kFieldStatus], g_LanguageDefaults[52]);
    // The next good setup makes the device ready again.
    box.loadResult.clear();
    Run(Request(175, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_TRUE(setup.NotReadyReason().empty());
}

TEST_F(Setup, OutOfRangeIndexesAreRefusedBeforeAnything)
{
    for (int index : { -5, 326, 100000 }) {
        setup.Start(Request(index, kModelZvC, "ZV-C Re-2.00"));
        EXPECT_FALSE(setup.Busy());
    }
    EXPECT_EQ(boxes.Count(), 3u);
    EXPECT_EQ(boxes.Boxes()[0].text, "This device not supported yet.");
    EXPECT_TRUE(box.packets.empty());
    EXPECT_EQ(g_nCurrentClass, kNoDeviceClass);
}

TEST_F(Setup, RequestsWaitInOneSlotWhileTheLeaseIsHeld)
{
    // Three requests in a row: the first runs, the second is replaced by the third.
    std::vector<int> started;
    box.onLoad = [&](int number) {
        if (number != kBaseFirmware)
            started.push_back(number);
    };
    setup.Start(Request(175, kModelZvC, "ZV-C Re-2.00"));
    setup.Start(Request(188, kModelZvC, "ZV-C Re-2.00"));
    setup.Start(Request(5, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_TRUE(setup.HasPending());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(started, (std::vector<int> { 228, 214 }));
    EXPECT_EQ(g_nCurrentClass, 5);

    // One during an operation starts when the operation lets the link go.
    started.clear();
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
    setup.Start(Request(188, kModelZvC, "ZV-C Re-2.00"));
    tonrig::test::ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(g_bSetupIdle.load(), 0); // a script waits for the setup it asked for
    g_LinkLease.Release(LeaseHolder::Operation);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(started, std::vector<int> { 179 });
}

TEST_F(Setup, OnTheOwnersWorkerSlot)
{
    std::jthread slot;
    int starts = 0;
    setup.UseWorkerSlot({ [&](std::function<void(std::stop_token)> work) {
                             if (slot.joinable())
                                 return false; // not freed since its last run
                             ++starts;
                             slot = std::jthread(std::move(work));
                             return true;
                         },
        [&] {
            if (slot.joinable()) {
                slot.request_stop();
                slot.join();
            }
        } });
    Run(Request(175, kModelZvC, "ZV-C Re-2.00"));
    Run(Request(188, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_EQ(starts, 2);
    EXPECT_FALSE(slot.joinable());
    EXPECT_EQ(box.loads, (std::vector<int> { 355, 228, 355, 179 }));

    // A slot that will not start leaves nothing held.
    slot = std::jthread([](std::stop_token) {});
    setup.Start(Request(5, kModelZvC, "ZV-C Re-2.00"));
    EXPECT_FALSE(setup.Busy());
    EXPECT_EQ(g_bSetupIdle.load(), 1);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    slot.join();
    setup.UseWorkerSlot({}); // the slot goes with this test
}

TEST_F(Setup, TheUpdaterGetsTheExpectedCodeAndTheSpeedLevelComesBack)
{
    box.speed = 3;
    auto request = Request(175, kModelZvCQ, "ZV-CQ Re-1.00");
    request.device.m_strFirmwareId = "00160514";
    Run(request);
    ASSERT_EQ(updater.calls.size(), 1u);
    EXPECT_EQ(updater.calls[0].second, "00160514");
    EXPECT_EQ(box.speed.load(), 3);

    updater.calls.clear();
    auto zvd = Request(175, kModelZvD, "ZV-D Re-1.00");
    zvd.device.m_strFirmwareId = "00160514";
    zvd.device.m_strFirmwareIdQ8U = "15013100";
    Run(zvd);
    ASSERT_EQ(updater.calls.size(), 1u);
    EXPECT_EQ(updater.calls[0].second, "15013100");
    EXPECT_EQ(box.speed.load(), 3);
}

TEST_F(Setup, ZvaAsksForTheDipSwitchesWhenThePatternChanges)
{
    auto a = Request(175, kModelZvA, "ZV-A Re-1.00");
    a.device.m_strCpldDip = "101010101010";
    Run(a);
    Run(a);
    a.device.m_strCpldDip = "111111000000";
    Run(a);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "DIP switch setting need to update.");
}

TEST_F(Setup, ClosingTheWindowWhileABoxWaitsLeavesNothingBehind)
{
    // The box is asked for from the worker; the window closes before the GUI thread shows it.
    setup.Start(Request(16, kModelZvC, "ZV-C Re-2.00"));
    ASSERT_TRUE(setup.Running());
    // Serve the worker until the base image is in; then the GUI thread stops serving it, so
    // the box it asks for next waits.
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return box.Running() == kBaseFirmware; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform::BeginShutdown();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    setup.Shutdown();
    platform::ResetShutdownForTest();
    EXPECT_FALSE(setup.Running());
    EXPECT_EQ(g_bSetupIdle.load(), 1);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(setup.NotReadyReason(), "Error 1011!"); // the box it waited for
}

TEST_F(Setup, WithoutAnUpdaterTheConfigurationStepIsSkipped)
{
    DeviceSetup plain { channel, view, box };
    g_nProgrammerModel = kModelZvCQ;
    plain.Start(Request(175, kModelZvCQ, "ZV-CQ Re-1.00"));
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !plain.Busy(); }));
    for (const std::string& line : view.log)
        EXPECT_EQ(line.find("Configuration"), std::string::npos) << line;
    EXPECT_EQ(box.Running(), 356);
}

} // namespace
