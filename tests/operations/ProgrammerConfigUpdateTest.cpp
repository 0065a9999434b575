// The programmer's CPLD update against the virtual programmer: the update alone with the box's
// CPLD holding a chosen USERCODE, every configuration's program, and the update through device
// setup in the view, with boxes answered by the test.

#include "operations/ProgrammerConfigUpdate.h"

#include "ViewOnBoxFixture.h"
#include "app/VirtualSocket.h"
#include "catalogue/CpldConfigurations.h"
#include "jtag/JtagPort.h"
#include "jtag/builder/CpldProgram.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationState.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/usb/VirtualBus.h"
#include "shell/ui/ProgressDlg.h"
#include "sim/Box.h"
#include "sim/JtagHandler.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Code(const char* text)
{
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 16));
}

class ConfigUpdateOnBox : public testing::Test {
protected:
    void SetUp() override
    {
        g_nOperationState = kStateIdle;
        Plug();
    }
    void TearDown() override { g_ProgrammerLink.ResetForTest(); }

    void Plug(const char* version = "ZV-CQ Re-1.00", int image = 355)
    {
        if (box)
            box->Port()->Disconnect();
        sim::BoxConfig config;
        config.version = version;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_EQ(g_ProgrammerLink.LoadFirmwareIfReady(image).outcome, FirmwareLoadResult::Loaded);
    }
    ProgrammerConfigUpdate::Hooks Hooks()
    {
        ProgrammerConfigUpdate::Hooks hooks;
        hooks.speedLevel = [this] { return level.load(); };
        hooks.setSpeedLevel = [this](int l) { level = l; };
        hooks.log = [this](const std::string& line) { log.push_back(line); };
        hooks.progressStart = [this](int range) { progress.push_back(range); };
        hooks.box = [](const std::string& text) { MessageBox(text, "", MB_OK); };
        return hooks;
    }
    std::uint32_t ProgrammerUsercode()
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().ProgrammerCpld().Usercode();
    }
    void SetProgrammerUsercode(std::uint32_t code)
    {
        std::lock_guard lock(box->Mutex());
        box->Jtag().ProgrammerCpld().SetUsercode(code);
    }
    std::size_t Packets()
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().Packets(sim::JtagRoute::Programmer) + box->Jtag().Packets(sim::JtagRoute::Socket);
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    tonrig::test::RecordingMessageBox boxes;
    std::atomic<int> level { 4 };
    std::vector<std::string> log;
    std::vector<int> progress;
};

// A program for the programmer's CPLD that misbehaves as asked.
Bytes OddProgram(bool prints, int programExit)
{
    bytecode::CpldProgramPlan plan;
    plan.idcode = sim::kProgrammerCpldIdcode;
    plan.usercode = Code("15071900");
    plan.readUsercodePrints = prints;
    plan.programExitCode = programExit;
    return bytecode::BuildCpldProgram(plan).image;
}

TEST_F(ConfigUpdateOnBox, ReadsTheUsercodeAndProgramsOnlyWhenItDiffers)
{
    struct Case {
        const char* name;
        int state;
        std::uint32_t held;
        bool forced;
        std::function<std::optional<Bytes>(int)> resources; // null: the compiled-in programs
        std::vector<std::string> log;
        std::vector<std::string> boxes;
        std::uint32_t after;
        bool programmed;
    };
    const std::vector<Case> cases = {
        { "state 0", kStateDisconnected, 0x00160514, false, nullptr, {}, {}, 0x00160514, false },
        { "equal", kStateIdle, 0x15071900, false, nullptr, { "Configuration OK!\r\n" }, {}, 0x15071900, false },
        { "different", kStateIdle, 0x00160514, false, nullptr, { "Configuration updated!\r\n" }, {}, 0x15071900, true },
        { "forced", kStateIdle, 0x15071900, true, nullptr, { "Configuration updated!\r\n" }, {}, 0x15071900, true },
        { "prints nothing", kStateIdle, 0x00160514, false, [](int) { return OddProgram(false, 0); }, {},
            { "Firmware update failed. #2" }, 0x00160514, false },
        { "PROGRAM exits 10", kStateIdle, 0x00160514, false, [](int) { return OddProgram(true, 10); },
            { "Configuration update failed. #1=\r\n" }, { "Configuration update failed. #1=" }, 0x00160514, true },
        { "missing resource", kStateIdle, 0x00160514, false, [](int) { return std::optional<Bytes>(); }, {},
            { "Firmware update failed. #2" }, 0x00160514, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Plug();
        SetProgrammerUsercode(c.held);
        log.clear();
        progress.clear();
        boxes.Clear();
        level = 4;
        g_nOperationState = c.state;
        ProgrammerConfigUpdate::Hooks hooks = Hooks();
        hooks.resources = c.resources;
        ProgrammerConfigUpdate update(std::move(hooks));
        const std::size_t before = Packets();
        update.UpdateProgrammerConfig(420, c.forced, "15071900");
        g_nOperationState = kStateIdle;

        EXPECT_EQ(log, c.log);
        std::vector<std::string> shown;
        for (const auto& b : boxes.Boxes())
            shown.push_back(b.text);
        EXPECT_EQ(shown, c.boxes);
        EXPECT_EQ(ProgrammerUsercode(), c.after);
        EXPECT_EQ(progress, c.programmed ? std::vector<int> { 5 } : std::vector<int> {});
        if (c.state == kStateDisconnected) {
            EXPECT_EQ(Packets(), before) << "no JTAG packet";
            EXPECT_EQ(level.load(), 4);
        } else {
            EXPECT_EQ(level.load(), 1) << "the update runs at level 1; setup restores the user's";
        }
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
}

TEST_F(ConfigUpdateOnBox, UpdatesTheU6FirmwareAgainstItsOwnCode)
{
    SetProgrammerUsercode(0x00160514);
    ProgrammerConfigUpdate::Hooks hooks = Hooks();
    bytecode::CpldProgramPlan plan;
    plan.idcode = sim::kProgrammerCpldIdcode;
    plan.usercode = 0x00150000;
    const Bytes u6 = bytecode::BuildCpldProgram(plan).image;
    std::vector<int> asked;
    hooks.resources = [&](int n) {
        asked.push_back(n);
        return std::optional<Bytes>(u6);
    };
    ProgrammerConfigUpdate update(std::move(hooks));
    update.UpdateU6Firmware(600);
    EXPECT_EQ(asked, (std::vector<int> { 600, 600 })); // the USERCODE run, then PROGRAM
    EXPECT_EQ(log, (std::vector<std::string> { "Configuration updated!\r\n" }));
    EXPECT_EQ(ProgrammerUsercode(), 0x00150000u);
    update.UpdateU6Firmware(600);
    EXPECT_EQ(log.back(), "Configuration OK!\r\n");
}

TEST_F(ConfigUpdateOnBox, EveryConfigurationProgramLeavesItsOwnUsercode)
{
    std::vector<CpldConfiguration> all(kCpldConfigurations.begin(), kCpldConfigurations.end());
    all.push_back(kBracketCpldConfiguration);
    for (const CpldConfiguration& c : all) {
        SCOPED_TRACE(c.number);
        ASSERT_TRUE(CCpldUpdateDlg::LoadCompiledIn(c.number).has_value());
        Plug();
        SetProgrammerUsercode(0xFFFFFFFF);
        LinkJtagPort port;
        CCpldUpdateDlg dlg(c.number, port, [] { return 1; });
        ASSERT_EQ(dlg.RunPlayer({ "-aPROGRAM" }), 0);
        EXPECT_TRUE(dlg.Outcome().Succeeded()) << dlg.LogText();
        dlg.ClearLog();
        ASSERT_EQ(dlg.RunPlayer({ "-aRead_usercode" }), 0);
        EXPECT_NE(dlg.LogText().find(std::string("\r\nUSERCODE code is ") + c.userCode + "\r\n"), std::string::npos)
            << dlg.LogText();
        EXPECT_EQ(ProgrammerUsercode(), Code(c.userCode));
    }
    // Configurations differ in their rows too.
    EXPECT_NE(bytecode::CpldPatternRows(420), bytecode::CpldPatternRows(442));
}

TEST(CpldUpdateHosts, TheFileHostReportsWhatItCannotRead)
{
    platform::ScopedClock scoped(std::make_shared<platform::ManualClock>());
    LinkJtagPort port;
    CStaplFileHost host(port, {});
    EXPECT_EQ(host.RunPlayer({ "-aPROGRAM" }), -1) << "no file: no program";

    const std::string folder = GetAppDataFolder() + "/filehost"; // this test program's own
    std::filesystem::create_directories(folder);
    host.m_strFileName = folder + "/missing.jbc";
    EXPECT_EQ(host.RunPlayer({ "-aPROGRAM" }), 1);
    EXPECT_NE(host.LogText().find("Error: can't open file \"" + host.m_strFileName + "\"\r\n"), std::string::npos)
        << host.LogText();

    // A folder opens but cannot be read as a file.
    host.ClearLog();
    host.m_strFileName = folder;
    EXPECT_EQ(host.RunPlayer({ "-aPROGRAM" }), 1);
    EXPECT_NE(host.LogText().find("Error reading file \"" + folder + "\"\r\n"), std::string::npos) << host.LogText();
}

// The file host end to end: a builder image on disk, its log lines as they come.
TEST_F(ConfigUpdateOnBox, TheFileHostRunsAnImageFromDisk)
{
    Plug("ZV-CQ Re-1.00", 358);
    {
        std::lock_guard lock(box->Mutex());
        box->Jtag().SocketChain().Add(std::make_unique<sim::ModelCpld>());
    }
    bytecode::CpldProgramPlan plan;
    plan.idcode = sim::kSocketCpldIdcode;
    plan.usercode = 0x12345678;
    const bytecode::BuildResult built = bytecode::BuildCpldProgram(plan);
    const std::string path = GetAppDataFolder() + "/cpld.jbc";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(built.image.data()), static_cast<std::streamsize>(built.image.size()));
    }
    LinkJtagPort port;
    CStaplFileHost host(port, [] { return 5; });
    host.m_strFileName = path;
    std::vector<std::pair<std::string, bool>> lines;
    host.onLine = [&](const std::string& line, bool console) { lines.emplace_back(line, console); };
    ASSERT_EQ(host.RunPlayer({ "-aPROGRAM" }), 0);
    ASSERT_EQ(host.RunPlayer({ "-aRead_usercode" }), 0);
    EXPECT_TRUE(host.Outcome().Succeeded());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), std::make_pair(std::string("Jam STAPL ByteCode Player Version 2.2"), true));
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::make_pair(std::string("USERCODE code is 12345678"), false)),
        lines.end());
    EXPECT_NE(host.LogText().find("Exit code = 0... Success\r\n"), std::string::npos);
}

// Through device setup in the view: which configuration each class leaves in the programmer's
// CPLD, and the user's speed level afterwards.
class ConfigUpdateThroughSetup : public tonrig::test::ViewOnBoxFixture {
protected:
    ConfigUpdateThroughSetup()
        : ViewOnBoxFixture(BoxSetup())
    {
    }
    static tonrig::test::ViewOnBoxSetup BoxSetup()
    {
        tonrig::test::ViewOnBoxSetup s;
        s.version = "ZV-CQ Re-1.00";
        return s;
    }
    void SetUpClass(int index)
    {
        Select(index, 0x1000);
        // The pair a device record carries when its class names none.
        if (g_CurrentDevice.m_strFirmwareId.empty())
            g_CurrentDevice.m_strFirmwareId
                = g_nProgrammerModel == kModelZvD ? kDefaultFirmwareIdZvD : kDefaultFirmwareId;
        {
            std::lock_guard lock(box->Mutex());
            FillJtagChain(box->Jtag().SocketChain(), index);
        }
        view->StartDeviceSetup(index, 1, 1, 1);
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil(
            [&] { return !view->DeviceSetupOwner().Setup().Busy() && !g_LinkLease.IsHeld(); }, 60s))
            << Log();
    }
    std::uint32_t Programmer()
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().ProgrammerCpld().Usercode();
    }
    std::uint32_t Socket()
    {
        std::lock_guard lock(box->Mutex());
        auto& chain = box->Jtag().SocketChain();
        return chain.Size() ? chain.Device(0).Usercode() : 0;
    }
};

TEST_F(ConfigUpdateThroughSetup, EachClassLeavesItsConfiguration)
{
    header->SetSpeedLevel(4);
    ASSERT_EQ(Programmer(), 0x00160514u);
    SetUpClass(16);
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration updated!"), 1u) << Log();
    EXPECT_EQ(Programmer(), Code("15071900")); // 420
    EXPECT_EQ(box->RunningImage().value_or(-1), 421);
    EXPECT_EQ(header->SpeedLevel(), 4);
    SetUpClass(16);
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration OK!"), 1u) << Log();

    struct Step {
        int index;
        const char* userCode;
    };
    for (const Step s : { Step { 8, "00160514" }, Step { 312, "15060700" }, Step { 321, "15091900" } }) {
        SetUpClass(s.index);
        EXPECT_EQ(Programmer(), Code(s.userCode)) << "class " << s.index << "\n" << Log();
    }
    EXPECT_EQ(header->SpeedLevel(), 4);
    for (const auto& b : boxes.Boxes())
        EXPECT_EQ(b.text.find("update failed"), std::string::npos) << b.text;
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

// A class on the box's first configuration finds it in place; a failed update is a box, and
// setup goes on to its row's firmware. Setup's end hides the progress window either way.
TEST_F(ConfigUpdateThroughSetup, AConfigurationInPlaceAndAFailedUpdate)
{
    SetUpClass(8); // 385, as the box starts
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration OK!"), 1u) << Log();
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration updated!"), 0u) << Log();
    EXPECT_EQ(Programmer(), Code("00160514"));
    EXPECT_FALSE(view->ProgressDlg().isVisible());

    // Configuration 420 replaced by a program whose PROGRAM exits 10, from the user's resource
    // folder.
    const std::string folder = GetAppDataFolder() + "/Resources/CPLDF";
    std::filesystem::create_directories(folder);
    const std::string replaced = folder + "/420";
    {
        const Bytes odd = OddProgram(true, 10);
        std::ofstream out(replaced, std::ios::binary);
        out.write(reinterpret_cast<const char*>(odd.data()), static_cast<std::streamsize>(odd.size()));
    }
    boxes.Clear();
    SetUpClass(16);
    std::filesystem::remove(replaced);
    std::vector<std::string> shown;
    for (const auto& b : boxes.Boxes())
        shown.push_back(b.text);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Configuration update failed. #1="), 1)
        << ::testing::PrintToString(shown);
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration update failed. #1="), 1u) << Log();
    EXPECT_EQ(tonrig::test::Count(Log(), "Configuration updated!"), 0u) << Log();
    EXPECT_EQ(Programmer(), Code("00160514")) << "left as it was";
    EXPECT_EQ(box->RunningImage().value_or(-1), 421) << "setup goes on to its firmware";
    EXPECT_FALSE(view->ProgressDlg().isVisible());
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(ConfigUpdateThroughSetup, ZvDAndTheJigClasses)
{
    Plug("ZV-D Re-2.00");
    ASSERT_EQ(Programmer(), Code("15013100"));
    SetUpClass(16);
    EXPECT_EQ(Programmer(), Code("15021000")) << Log(); // 463
    SetUpClass(310);
    EXPECT_EQ(Programmer(), Code("00160514")) << Log(); // 385, under image 355
    EXPECT_EQ(box->RunningImage().value_or(-1), 355);
    EXPECT_EQ(box->Jtag().Route(), sim::JtagRoute::Socket) << "the socket chain is selected after the update";

    Plug("ZV-CQ Re-1.00");
    for (const int index : { 3, 4 }) {
        SetUpClass(index);
        const char* own = g_DeviceClassTable[static_cast<std::size_t>(index)].m_strFirmwareId.c_str();
        EXPECT_TRUE(Programmer() == Code("00170303") || Programmer() == Code("00170909")) << Log();
        EXPECT_EQ(Programmer(), Code(own));
        EXPECT_EQ(Socket(), Code(kBracketCpldConfiguration.userCode)) << "486 on the jig's CPLD\n" << Log();
    }
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

} // namespace
