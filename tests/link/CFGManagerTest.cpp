// The pin-driver and voltage state against the virtual programmer: what the box latches, what its
// rails put out and what the socket's pins carry after each call.

#include "link/CFGManager.h"
#include "link/ProgrammerModel.h"
#include "sim/Electrical.h"
#include "sim/FaultPlan.h"

#include "LinkFixture.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace tonrig::test;
using namespace std::chrono_literals;
using platform::usb::UsbStatus;
using sim::Fault;
using sim::FaultAction;
using sim::Rail;

namespace {

const char* VersionOf(int model)
{
    switch (model) {
    case kModelZvA:
        return "ZV-A Re-1.00";
    case kModelZvB:
        return "ZV-B Re-1.00";
    case kModelZvCQ:
        return "ZV-CQ Re-3.00";
    case kModelZvD:
        return "ZV-D Re-4.00";
    default:
        return "ZV-C Re-2.00";
    }
}

constexpr int kModels[] = { kModelZvA, kModelZvB, kModelZvC, kModelZvCQ, kModelZvD };

// Positions of the manager's initial switch bytes: Vcc switch 8 -> ZIF32 pin 32, Vpp switch 0x80 -> pin 1.
constexpr int kVccPosition = 36;
constexpr int kVppPosition = 5;

class CfgTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        platform::SetTraceSink([this](const std::string& line) {
            std::lock_guard lock(m_traceMutex);
            m_trace.push_back(line);
        });
    }
    void TearDown() override
    {
        g_CFGManager.ResetState();
        g_nProgrammerModel = kModelZvC;
        LinkTest::TearDown();
    }

    void Start(int model)
    {
        if (box)
            box->Port()->Unplug();
        sim::BoxConfig config;
        config.version = VersionOf(model);
        Plug(config);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_nProgrammerModel = model;
        g_CFGManager.ResetState();
        ClearTrace();
    }

    // Power-up and firmware download again: every latch back to its boot value.
    void Reboot()
    {
        box->Port()->Replug();
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    }

    void Raw(std::vector<std::uint8_t> packet)
    {
        g_ProgrammerLink.SendData(packet.data(), static_cast<int>(packet.size()));
        ASSERT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::Ok);
    }
    void PowerSocket() { Raw({ 22 }); }
    void VppOn() { Raw({ 14, 1 }); }
    void PowerDown()
    {
        Raw({ 21 });
        EXPECT_FALSE(El().RailsOn());
    }

    sim::Electrical& El() { return box->Electrical(); }

    std::size_t TraceCount(const std::string& text)
    {
        std::lock_guard lock(m_traceMutex);
        return static_cast<std::size_t>(std::count_if(
            m_trace.begin(), m_trace.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }
    void ClearTrace()
    {
        std::lock_guard lock(m_traceMutex);
        m_trace.clear();
    }

    std::array<std::uint8_t, 6> Sent()
    {
        std::array<std::uint8_t, 6> out {};
        g_CFGManager.GetSentCFGBytes(out.data());
        return out;
    }

    std::mutex m_traceMutex;
    std::vector<std::string> m_trace;
};

TEST_F(CfgTest, VoltagesReachThePoweredSocketOnEveryModel)
{
    struct VppCase {
        std::uint8_t code;
        double volts;
    };
    const VppCase vpps[]
        = { { 4, 5.0 }, { 5, 9.0 }, { 6, 12.0 }, { 7, 12.7 }, { 8, 15.0 }, { 10, 21.0 }, { 11, 25.0 } };
    for (int model : kModels) {
        SCOPED_TRACE(testing::Message() << "model " << model);
        Start(model);
        g_CFGManager.RefreshCFG(); // the initial switch bytes, as the device setup sends them
        PowerSocket();
        g_CFGManager.SetVcc(12);
        EXPECT_DOUBLE_EQ(El().PinVolts(kVccPosition), 5.0);
        const std::size_t bytes = box->BytesReceived();
        g_CFGManager.SetVcc(12);
        EXPECT_EQ(box->BytesReceived(), bytes);
        EXPECT_EQ(TraceCount("No change, Vcc set skipt."), 1u);

        VppOn();
        for (const VppCase& c : vpps) {
            SCOPED_TRACE(testing::Message() << "Vpp code " << int(c.code));
            g_CFGManager.SetVpp(c.code);
            EXPECT_NEAR(El().PinVolts(kVppPosition), c.volts, 1e-9);
            EXPECT_NEAR(El().Output(Rail::Vcc), 5.0, 1e-9); // Vcc stays
        }
        PowerDown();
    }
}

TEST_F(CfgTest, TwelveAndTwelvePointSevenVolts)
{
    // ZV-C: the Part's exchange of codes 6 and 7 makes the select bytes right.
    Start(kModelZvC);
    PowerSocket();
    VppOn();
    g_CFGManager.SetVpp(6);
    EXPECT_EQ(g_CFGManager.Vpp(), 7);
    EXPECT_EQ(El().Latches().select & 0x1F, 0x1E);
    EXPECT_DOUBLE_EQ(El().Output(Rail::Vpp), 12.0);
    g_CFGManager.SetVpp(7); // compared after the exchange: not "unchanged"
    EXPECT_EQ(El().Latches().select & 0x1F, 0x0F);
    EXPECT_DOUBLE_EQ(El().Output(Rail::Vpp), 12.7);
    EXPECT_EQ(TraceCount("VPP no change"), 0u);
    g_CFGManager.SetVpp(7);
    EXPECT_EQ(TraceCount("VPP no change, Vpp set skipt."), 1u);
    PowerDown();

    // ZV-A: no exchange, 12 V through 0x0F.
    Start(kModelZvA);
    PowerSocket();
    VppOn();
    g_CFGManager.SetVpp(6);
    EXPECT_EQ(g_CFGManager.Vpp(), 6);
    EXPECT_EQ(El().Latches().select & 0x1F, 0x0F);
    EXPECT_DOUBLE_EQ(El().Output(Rail::Vpp), 12.0);
    EXPECT_EQ(El().Latches().switchA, 0xA0 | 2);
    PowerDown();
}

TEST_F(CfgTest, CombinedSettersEndWhereTheSingleOnesDo)
{
    for (int model : kModels) {
        SCOPED_TRACE(testing::Message() << "model " << model);
        Start(model);
        g_CFGManager.SetVcc(12);
        g_CFGManager.SetVpp(6);
        g_CFGManager.SetVccSwitch(0x04);
        g_CFGManager.SetVppSwitch(0x40);
        g_CFGManager.SetSwitchA(0x80);
        const sim::PinLatches single = El().Latches();
        const double vcc = El().Level(Rail::Vcc), vpp = El().Level(Rail::Vpp);

        g_CFGManager.SetAllCFG(4, 4, 0x08, 0x80, 0xA0);
        ASSERT_NE(El().Level(Rail::Vcc), vcc);
        El().ClearPackets();
        g_CFGManager.SetAllCFG(12, 6, 0x04, 0x40, 0x80);
        const sim::PinLatches all = El().Latches();
        EXPECT_EQ(all.select, single.select);
        EXPECT_EQ(all.vccSwitch, single.vccSwitch);
        EXPECT_EQ(all.vppSwitch, single.vppSwitch);
        EXPECT_EQ(all.switchA, single.switchA);
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), vcc);
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vpp), vpp);
        if (model == kModelZvD) {
            EXPECT_EQ(El().VccPot(), 58);
            EXPECT_EQ(El().VppPot(), 128);
        }
        // One refresh: each latch command once.
        std::map<std::uint8_t, int> counts;
        for (const auto& p : El().Packets())
            ++counts[p[0]];
        for (const auto& [code, n] : counts)
            EXPECT_EQ(n, 1) << "command " << int(code);

        g_CFGManager.SetVccVpp(4, 4);
        ASSERT_NE(El().Level(Rail::Vcc), vcc);
        g_CFGManager.SetVccVpp(12, 6);
        EXPECT_EQ(El().Latches().select, single.select);
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), vcc);
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vpp), vpp);

        // Ground switch bits join the Vcc switch byte.
        g_CFGManager.SetGNDSwitch(0x01);
        EXPECT_EQ(El().Latches().vccSwitch, 0x04 | 0x01);
        EXPECT_EQ(g_CFGManager.VccSwitch(), 0x04 | 0x01);
    }
}

// A device's bytes as the setup applies them, one setter at a time.
void ApplyDevice()
{
    g_CFGManager.SetVcc(12);
    g_CFGManager.SetVpp(8);
    g_CFGManager.SetVccSwitch(0x04);
    g_CFGManager.SetVppSwitch(0x40);
    g_CFGManager.SetSwitchB(0x55);
    g_CFGManager.SetSwitchA(0xA0);
}

TEST_F(CfgTest, AfterARebootTheSameDeviceGoesOutAgain)
{
    for (const bool reset : { false, true }) {
        for (int model : kModels) {
            SCOPED_TRACE(testing::Message() << "model " << model << (reset ? " ResetState" : " InvalidateSentCache"));
            Start(model);
            ApplyDevice();
            const sim::PinLatches applied = El().Latches();
            const double vcc = El().Level(Rail::Vcc), vpp = El().Level(Rail::Vpp);
            Reboot();
            ASSERT_EQ(El().Latches().vccSwitch, 0);
            if (reset)
                g_CFGManager.ResetState();
            else
                g_CFGManager.InvalidateSentCache();
            ApplyDevice();
            const sim::PinLatches again = El().Latches();
            EXPECT_EQ(again.vccSwitch, applied.vccSwitch);
            EXPECT_EQ(again.vppSwitch, applied.vppSwitch);
            EXPECT_EQ(again.switchA, applied.switchA);
            EXPECT_EQ(again.switchB, applied.switchB);
            EXPECT_EQ(again.select, applied.select);
            EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), vcc);
            EXPECT_DOUBLE_EQ(El().Level(Rail::Vpp), vpp);
            EXPECT_DOUBLE_EQ(vcc, 5.0);
            EXPECT_DOUBLE_EQ(vpp, 15.0);

            if (model == kModelZvCQ || model == kModelZvD) {
                const std::size_t bytes = box->BytesReceived();
                g_CFGManager.RefreshCFG();
                EXPECT_EQ(box->BytesReceived(), bytes);
            }
        }
    }
}

TEST_F(CfgTest, InvalidatedCacheReadsAsUnsentAndResetStateRestoresTheInitialValues)
{
    Start(kModelZvCQ);
    EXPECT_EQ(Sent(), (std::array<std::uint8_t, 6> { 0x58, 0x58, 0x58, 0x58, 0x58, 0x58 }));
    ApplyDevice();
    EXPECT_EQ(Sent(), (std::array<std::uint8_t, 6> { 0x55, 0x0A, 0x04, 0x40, 0x60 | 0x1A, 0x58 }));
    g_CFGManager.ResetState();
    EXPECT_EQ(Sent(), (std::array<std::uint8_t, 6> { 0x58, 0x58, 0x58, 0x58, 0x58, 0x58 }));
    EXPECT_EQ(g_CFGManager.SwitchA(), 0xA0);
    EXPECT_EQ(g_CFGManager.VccSwitch(), 8);
    EXPECT_EQ(g_CFGManager.VppSwitch(), 0x80);
    EXPECT_EQ(g_CFGManager.VccVppSelect(), 0xE0);
    EXPECT_EQ(g_CFGManager.Vcc(), 0);
    EXPECT_EQ(g_CFGManager.Vpp(), 0);

    // The other models' path keeps the cache too: it tells what the box holds.
    Start(kModelZvA);
    ApplyDevice();
    EXPECT_EQ(Sent()[1], 0xA0 | 2);
    EXPECT_EQ(Sent()[4], El().Latches().select);
}

TEST_F(CfgTest, ZvdConfigurationLineAndAdjust)
{
    Start(kModelZvD);
    Raw({ 29, 0, 0x90, 0x2F });
    g_CFGManager.SetZIF48_CFG_Byte(1);
    EXPECT_EQ(box->PortValue(0x90), 0x3F);
    EXPECT_TRUE(El().Zif48ConfigLine());
    g_CFGManager.SetZIF48_CFG_Byte(0);
    EXPECT_EQ(box->PortValue(0x90), 0x2F);

    // The port read fails: nothing written, one line, the next refresh retries.
    box->AddFault(Fault::OnCode(28, FaultAction::WithholdReply));
    ClearTrace();
    g_CFGManager.SetZIF48_CFG_Byte(1);
    EXPECT_EQ(box->PortValue(0x90), 0x2F);
    EXPECT_EQ(TraceCount("port read failed"), 1u);
    g_CFGManager.RefreshCFG();
    EXPECT_EQ(box->PortValue(0x90), 0x3F);
    EXPECT_EQ(Sent()[5], 1);

    // An adjust, then the code whose pot the adjust was near: the code wins.
    g_CFGManager.SetVcc(12);
    g_CFGManager.SetVccAdjustQ8U(20);
    EXPECT_EQ(El().VccPot(), 20);
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 6.2);
    EXPECT_EQ(g_CFGManager.Vcc(), 12);
    EXPECT_TRUE(g_CFGManager.VccCustom());
    g_CFGManager.SetVcc(20);
    EXPECT_EQ(El().VccPot(), 0);
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 6.5);
    // ... and back to the code held before the adjust is not skipped either.
    g_CFGManager.SetVccAdjustQ8U(88);
    g_CFGManager.SetVcc(20);
    EXPECT_EQ(El().VccPot(), 0);
    // Adjust values 0 and 0xFF are not sent.
    const std::size_t bytes = box->BytesReceived();
    g_CFGManager.SetVccAdjustQ8U(0xFF);
    g_CFGManager.SetVccAdjustQ8U(0);
    EXPECT_EQ(box->BytesReceived(), bytes);
}

TEST_F(CfgTest, CpldDipTexts)
{
    struct Case {
        const char* text;
        std::uint8_t switchB;
        std::uint8_t aBits;
        bool box;
    };
    const Case cases[] = {
        { "101010100101", 0xAA, 0x50, false },
        { "10101010010", 0xAA, 0x40, true }, // 11: used as far as it goes
        { "1010101001011", 0xAA, 0x50, true }, // 13: the first twelve
        { "1111x1110101", 0xF7, 0x50, true }, // 'x' counts as 0
        { "0000", 0x00, 0x00, true },
        { "", 0x00, 0x00, true },
    };
    Start(kModelZvC);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        g_CFGManager.SetSwitchA(0x80); // stored 0x08 above ZV-A
        boxes.Clear();
        // Exactly the text's bytes on the heap, no terminator: a read past them is a sanitizer error.
        const std::size_t n = std::strlen(c.text);
        auto exact = std::make_unique<char[]>(n);
        std::memcpy(exact.get(), c.text, n);
        g_CFGManager.SetCPLD_DIP(std::string_view(exact.get(), n));
        EXPECT_EQ(El().Latches().switchB, c.switchB);
        EXPECT_EQ(El().Latches().switchA, 0x08 | c.aBits);
        ASSERT_EQ(boxes.Count(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(boxes.Boxes()[0].text, "A incorrect length DIP setting received. Please correct it");
        }
        g_CFGManager.SetSwitchA(0x00);
    }

    // ZV-A has no CPLD DIP.
    Start(kModelZvA);
    const std::size_t bytes = box->BytesReceived();
    boxes.Clear();
    g_CFGManager.SetCPLD_DIP("101");
    EXPECT_EQ(box->BytesReceived(), bytes);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(CfgTest, CodesThatAreNotVoltagesAreRefused)
{
    for (int model : { kModelZvC, kModelZvD }) {
        SCOPED_TRACE(model);
        Start(model);
        PowerSocket();
        VppOn();
        g_CFGManager.SetVcc(12);
        g_CFGManager.SetVpp(8);
        const double vcc = El().Output(Rail::Vcc), vpp = El().Output(Rail::Vpp);
        struct Case {
            bool vcc;
            std::uint8_t code;
            const char* line;
        };
        for (const Case c : { Case { true, 25, "Vcc code 25 refused" }, Case { false, 12, "Vpp code 12 refused" },
                 Case { true, 21, "Vcc code 21 refused" } }) {
            SCOPED_TRACE(c.line);
            ClearTrace();
            const std::size_t bytes = box->BytesReceived();
            if (c.vcc)
                g_CFGManager.SetVcc(c.code);
            else
                g_CFGManager.SetVpp(c.code);
            EXPECT_EQ(box->BytesReceived(), bytes);
            EXPECT_EQ(TraceCount(c.line), 1u);
            EXPECT_EQ(m_trace.size(), 1u);
            EXPECT_DOUBLE_EQ(El().Output(Rail::Vcc), vcc);
            EXPECT_DOUBLE_EQ(El().Output(Rail::Vpp), vpp);
        }
        EXPECT_EQ(g_CFGManager.Vcc(), 12);
        EXPECT_EQ(g_CFGManager.Vpp(), 8);
        EXPECT_STREQ(CCFG_Manager::GetVccText(25), "Vcc not set!");
        EXPECT_STREQ(CCFG_Manager::GetVccText(21), "Vcc not set!");
        EXPECT_STREQ(CCFG_Manager::GetVppText(12), "Vpp not set!");
        EXPECT_STREQ(CCFG_Manager::GetVccText(24), "18V");

        // SetAllCFG keeps the stored code it refuses and applies the rest.
        g_CFGManager.SetAllCFG(30, 8, 0x04, 0x40, 0xA0);
        EXPECT_EQ(g_CFGManager.Vcc(), 12);
        EXPECT_EQ(El().Latches().vccSwitch, 0x04);
        PowerDown();
    }

    // 22-24 stay codes; on ZV-D they give 6.5 V, with a warning.
    Start(kModelZvD);
    g_CFGManager.SetVcc(22);
    EXPECT_EQ(TraceCount("Vcc code 22 (9.0V) gives 6.5V"), 1u);
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 6.5);
}

TEST_F(CfgTest, UnplugMidRefreshLeavesTheCacheAndTheSameValuesGoOutAgain)
{
    for (int model : { kModelZvC, kModelZvCQ }) {
        SCOPED_TRACE(model);
        Start(model);
        g_CFGManager.SetVcc(12);
        const auto before = Sent();
        box->AddFault(Fault::OnCode(model == kModelZvCQ ? 66 : 30, FaultAction::Unplug));
        g_CFGManager.SetVpp(8);
        EXPECT_EQ(Sent(), before);
        box->Port()->Plug();
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_CFGManager.SetVpp(8); // the same call again: not skipped as unchanged
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vpp), 15.0);
        EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 5.0);
        EXPECT_EQ(Sent()[4], 0x60 | 0x1A);
    }
}

TEST_F(CfgTest, CalibrationPotentiometers)
{
    Start(kModelZvCQ);
    EXPECT_EQ(g_CFGManager.SetB003VCCVPPValue(0x41, 0x72), 0);
    EXPECT_EQ(El().PotRegister(sim::kPotVccRam), 0x41);
    EXPECT_EQ(El().PotRegister(sim::kPotVccEeprom), 0x41);
    EXPECT_EQ(El().PotRegister(sim::kPotVppRam), 0x72);
    EXPECT_EQ(El().PotRegister(sim::kPotVppEeprom), 0x72);

    box->AddFault(Fault::OnCode(101, FaultAction::FlipReply).Bytes(0).Mask(0x01));
    EXPECT_EQ(g_CFGManager.SetB003VCCVPPValue(0x41, 0x72), 1);

    Reboot();
    EXPECT_EQ(El().PotRegister(sim::kPotVccEeprom), 0x41);
    EXPECT_EQ(El().PotRegister(sim::kPotVppEeprom), 0x72);
    EXPECT_EQ(El().PotRegister(sim::kPotVccRam), 0x41);
}

TEST_F(CfgTest, DeferredApplicationIsOneChange)
{
    Start(kModelZvC);
    El().ClearPackets();
    {
        CCFG_Manager::DeferRefresh defer(g_CFGManager);
        ApplyDevice();
        g_CFGManager.SetCPLD_DIP("000000000000");
        EXPECT_TRUE(El().Packets().empty());
    }
    EXPECT_EQ(boxes.Count(), 0u);
    const auto packets = El().Packets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0], (std::vector<std::uint8_t> { 30, 0x04, 0x40, 0x60 | 0x1A }));
    EXPECT_EQ(packets[1], (std::vector<std::uint8_t> { 66, 0 }));
    EXPECT_EQ(packets[2], (std::vector<std::uint8_t> { 31, 0x0A }));

    // A faulty DIP text inside the scope: its box comes once the scope has let the manager go,
    // so a GUI thread waiting for the manager cannot hold the box up.
    {
        CCFG_Manager::DeferRefresh defer(g_CFGManager);
        g_CFGManager.SetCPLD_DIP("0101");
        EXPECT_EQ(boxes.Count(), 0u);
    }
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(El().Latches().switchB, 0x50);

    Start(kModelZvD);
    El().ClearPackets();
    {
        CCFG_Manager::DeferRefresh defer(g_CFGManager);
        ApplyDevice();
        EXPECT_TRUE(El().Packets().empty());
    }
    EXPECT_EQ(El().VccPot(), 58);
    EXPECT_EQ(El().VppPot(), 98);
    EXPECT_EQ(El().Latches().vppSwitch, 0x40);
}

TEST_F(CfgTest, AnEpromsDatasheetMasksHarmNothingOnEveryModel)
{
    for (int model : kModels) {
        SCOPED_TRACE(testing::Message() << "model " << model);
        Start(model);
        // 28 pins in rows 7-20: Vpp pin 1, Vcc 28, GND 14, 14 V on the Vpp pin at most.
        El().SetLoad(sim::SocketLoad::Dip(28, 7, 6.5, 14.0)
                         .Set(1, sim::PinRole::Vpp)
                         .Set(28, sim::PinRole::Vcc)
                         .Set(14, sim::PinRole::Gnd));
        PowerSocket();
        VppOn();
        g_CFGManager.SetAllCFG(12, 7, 0x04, 0x40, 0xA0);
        EXPECT_NEAR(El().ChipPinVolts(1), 12.7, 1e-9);
        EXPECT_NEAR(El().ChipPinVolts(28), 5.0, 1e-9);
        EXPECT_TRUE(El().Hazards().empty());
        // The Vpp mask of another package lands on address pin 9.
        g_CFGManager.SetVppSwitch(0x10);
        const auto hazards = El().Hazards();
        ASSERT_EQ(hazards.size(), 1u);
        EXPECT_EQ(hazards[0].kind, sim::HazardKind::HighVoltageOnSignal);
        EXPECT_EQ(hazards[0].position, 15);
        EXPECT_EQ(hazards[0].chipPin, 9);
        PowerDown();
    }
}

TEST_F(CfgTest, RefreshWaitsOnTheClockByModel)
{
    struct Case {
        int model;
        std::chrono::milliseconds waits;
    };
    // ZV-A: [30] 30, 50. Above: [30] 30, [66] 30, 50. ZV-CQ: 150, 50. ZV-D: 150, the ZIF48
    // configuration 250 + 100 + 100, 50.
    const Case cases[] = { { kModelZvA, 80ms }, { kModelZvC, 110ms }, { kModelZvCQ, 200ms }, { kModelZvD, 650ms } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Start(c.model);
        if (c.model == kModelZvD)
            g_CFGManager.SetZIF48_CFG_Byte(1);
        g_CFGManager.InvalidateSentCache();
        const auto start = clock->Now();
        g_CFGManager.RefreshCFG();
        const auto took = clock->Now() - start;
        EXPECT_GE(took, c.waits);
        EXPECT_LT(took, c.waits + 5ms); // the rest is wire time
    }
}

TEST_F(CfgTest, TwoThreadsEachRefreshArrivesWhole)
{
    Start(kModelZvC);
    platform::ScopedClock fast { platform::MakeScaledClock(2000) };
    El().ClearPackets();
    std::atomic<bool> go { false };
    std::thread gui([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 15; ++i) {
            g_CFGManager.SetVcc(i % 2 ? 4 : 15);
            g_CFGManager.SetVppSwitch(i % 2 ? 0x40 : 0x80);
        }
    });
    std::thread setup([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 15; ++i) {
            CCFG_Manager::DeferRefresh defer(g_CFGManager);
            ApplyDevice();
        }
    });
    go = true;
    gui.join();
    setup.join();

    // Every refresh on this model is [30], [66, B], [31, A], never interleaved.
    const auto packets = El().Packets();
    ASSERT_FALSE(packets.empty());
    ASSERT_EQ(packets.size() % 3, 0u);
    for (std::size_t i = 0; i < packets.size(); i += 3) {
        EXPECT_EQ(packets[i][0], 30) << i;
        EXPECT_EQ(packets[i + 1][0], 66) << i;
        EXPECT_EQ(packets[i + 2][0], 31) << i;
    }
    // The box ends in the state the manager holds.
    const sim::PinLatches l = El().Latches();
    EXPECT_EQ(l.vccSwitch, g_CFGManager.VccSwitch());
    EXPECT_EQ(l.vppSwitch, g_CFGManager.VppSwitch());
    EXPECT_EQ(l.select, g_CFGManager.VccVppSelect());
    EXPECT_EQ(l.switchA, g_CFGManager.SwitchA());
    EXPECT_EQ(l.switchB, g_CFGManager.SwitchB());
}

} // namespace
