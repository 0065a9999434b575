// The virtual programmer's electrical side, driven by raw packets through the virtual bus: what
// the box latches, what its rails put out, what each socket position carries, and the hazards a
// chip in the socket would suffer.

#include "sim/Electrical.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "support/VirtualUsb.h"
#include "tools/mkfwimage/FirmwareImage.h"

#include "support/CapturedProtocolErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

using namespace platform;
using namespace platform::usb;
using namespace sim;
using namespace tonrig::test;

namespace {

const char* VersionOf(int model)
{
    switch (model) {
    case 2:
        return "ZV-A Re-1.00";
    case 4:
        return "ZV-B Re-1.00";
    case 7:
        return "ZV-CQ Re-3.00";
    case 8:
        return "ZV-D Re-4.00";
    default:
        return "ZV-C Re-2.00";
    }
}

// The 28-pin EPROM of the hazard cases: rows 7-20, Vpp pin 1, Vcc 28, GND 14, 14 V Vpp maximum.
SocketLoad Eprom28()
{
    return SocketLoad::Dip(28, 7, 6.5, 14.0).Set(1, PinRole::Vpp).Set(28, PinRole::Vcc).Set(14, PinRole::Gnd);
}

class ElectricalTest : public testing::Test {
protected:
    // A box of `model`, its firmware running, opened.
    void Start(int model = 5)
    {
        BoxConfig config;
        config.version = VersionOf(model);
        config.time = TimeModel::Zero();
        box = Box::PlugInto(bus, config);
        BootFirmware();
    }

    void BootFirmware()
    {
        auto raw = OpenUsbDevice(bus, kEzusbVendorId, kFx2ProductId);
        ASSERT_TRUE(raw);
        raw->ClaimInterface();
        ASSERT_TRUE(DownloadHex(*raw, box->CpucsAddress(), mkfwimage::ImageHex({})));
        clock->Advance(1s);
        ASSERT_TRUE(box->RunningImage());
        h = OpenUsbDevice(bus, kEzusbVendorId, kFx2ProductId);
        ASSERT_TRUE(h);
        h->ClaimInterface();
    }

    void Send(std::vector<std::uint8_t> packet)
    {
        const auto r = h->BulkTransfer(0x02, packet.data(), packet.size(), 1000);
        ASSERT_EQ(r.status, UsbStatus::Ok);
    }

    std::vector<std::uint8_t> Read(std::size_t length = 64)
    {
        std::vector<std::uint8_t> buf(length);
        const auto r = h->BulkTransfer(box->InEndpoint(), buf.data(), buf.size(), 1000);
        EXPECT_EQ(r.status, UsbStatus::Ok);
        buf.resize(r.count);
        return buf;
    }

    RailReading Reading()
    {
        Send({ 71 });
        const auto r = Read();
        EXPECT_EQ(r.size(), 64u);
        if (r.size() < 6)
            return {};
        EXPECT_EQ(r[2], 0);
        EXPECT_EQ(r[3], 0);
        return { static_cast<std::uint16_t>(r[0] << 8 | r[1]), static_cast<std::uint16_t>(r[4] << 8 | r[5]) };
    }

    Electrical& El() { return box->Electrical(); }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    VirtualBus bus;
    std::shared_ptr<Box> box;
    std::shared_ptr<UsbHandle> h;
};

TEST_F(ElectricalTest, LatchesHoldWhatWasLastReceived)
{
    for (int model : { 5, 8 }) {
        SCOPED_TRACE(model);
        Start(model);
        Send({ 30, 0x04, 0x40, 0x7E });
        Send({ 31, 0xA2 });
        Send({ 66, 0x55 });
        PinLatches l = El().Latches();
        EXPECT_EQ(l.vccSwitch, 0x04);
        EXPECT_EQ(l.vppSwitch, 0x40);
        EXPECT_EQ(l.select, 0x7E);
        EXPECT_EQ(l.switchA, 0xA2);
        EXPECT_EQ(l.switchB, 0x55);

        // The 7-byte form sets all five; its fifth byte is U9 on ZV-D, the select byte elsewhere.
        Send({ 66, 5, 0x11, 0x22, 0x08, 0x80, 0x33 });
        l = El().Latches();
        EXPECT_EQ(l.switchB, 0x11);
        EXPECT_EQ(l.switchA, 0x22);
        EXPECT_EQ(l.vccSwitch, 0x08);
        EXPECT_EQ(l.vppSwitch, 0x80);
        EXPECT_EQ(model == 8 ? l.u9 : l.select, 0x33);
        EXPECT_EQ(model == 8 ? l.select : l.u9, model == 8 ? 0x7E : 0);
        box->Port()->Unplug();
    }
}

TEST_F(ElectricalTest, MalformedCommandsAreProtocolErrorsAndChangeNothing)
{
    Start(5);
    Send({ 66, 5, 1, 2, 3, 4, 5 });
    const PinLatches before = El().Latches();
    CapturedProtocolErrors errors;
    Send({ 66, 5, 9, 9 }); // neither 2 nor 7 bytes
    Send({ 30, 1, 2 }); // short
    Send({ 31 }); // short
    Send({ 115, 0 }); // a ZV-C has no rail potentiometers
    Send({ 100, 0x40, 1 }); // no such register
    EXPECT_EQ(errors.Count(), 5u);
    const PinLatches after = El().Latches();
    EXPECT_EQ(after.switchB, before.switchB);
    EXPECT_EQ(after.select, before.select);
    EXPECT_EQ(after.vccSwitch, before.vccSwitch);
    EXPECT_EQ(after.switchA, before.switchA);
}

TEST_F(ElectricalTest, SelectByteLevelsByModel)
{
    struct Case {
        std::uint8_t select;
        double vcc;
        double vppAboveZvA;
        double vppZvA;
    };
    const Case cases[] = {
        { 0xE0 | 0x1F, 3.6, 5.0, 5.0 },
        { 0x60 | 0x1D, 5.0, 9.0, 9.0 },
        { 0xC0 | 0x1E, 5.5, 12.0, 12.7 },
        { 0xA0 | 0x0F, 6.2, 12.7, 12.0 },
        { 0x60 | 0x1A, 5.0, 15.0, 15.0 },
        { 0x60 | 0x1C, 5.0, 21.0, 21.0 },
        { 0x60 | 0x16, 5.0, 25.0, 25.0 },
        { 0x60 | 0x00, 5.0, 0.0, 0.0 },
    };
    for (int model : { 2, 4, 5, 7 }) {
        Start(model);
        Send({ 22 }); // Vcc on
        Send({ 14, 1 }); // Vpp on
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "model " << model << " select 0x" << std::hex << int(c.select));
            if (model == 7)
                Send({ 66, 5, 0, 0xA0, 0x08, 0x80, c.select });
            else
                Send({ 30, 0x08, 0x80, c.select });
            EXPECT_DOUBLE_EQ(El().Output(Rail::Vcc), c.vcc);
            EXPECT_DOUBLE_EQ(El().Output(Rail::Vpp), model == 2 ? c.vppZvA : c.vppAboveZvA);
        }
        box->Port()->Unplug();
    }
}

TEST_F(ElectricalTest, RailsFollowPowerCommandsAndTheLatchesSurviveAPowerDown)
{
    Start(5);
    Send({ 30, 0x04, 0x40, 0x7E }); // 5.0 V, 12 V
    EXPECT_FALSE(El().RailsOn());
    EXPECT_DOUBLE_EQ(El().Output(Rail::Vcc), 0.0);
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 5.0);

    Send({ 22 });
    EXPECT_TRUE(El().RailOn(Rail::Vcc));
    EXPECT_FALSE(El().RailOn(Rail::Vpp));
    EXPECT_DOUBLE_EQ(El().PinVolts(34), 5.0); // ZIF32 pin 30
    EXPECT_DOUBLE_EQ(El().PinVolts(7), 0.0); // ZIF32 pin 3, the Vpp rail is off
    Send({ 14, 1 });
    EXPECT_DOUBLE_EQ(El().PinVolts(7), 12.0);
    Send({ 14, 0 });
    EXPECT_DOUBLE_EQ(El().PinVolts(7), 0.0);
    Send({ 15, 0 });
    EXPECT_FALSE(El().RailsOn());
    Send({ 15, 1 });
    Send({ 14, 1 });

    Send({ 21 });
    EXPECT_FALSE(El().RailsOn());
    EXPECT_DOUBLE_EQ(El().PinVolts(34), 0.0);
    const PinLatches l = El().Latches();
    EXPECT_EQ(l.vccSwitch, 0x04);
    EXPECT_EQ(l.select, 0x7E);
    Send({ 22 }); // on again at the same level, nothing re-sent
    EXPECT_DOUBLE_EQ(El().PinVolts(34), 5.0);
}

TEST_F(ElectricalTest, EverySwitchBitReachesItsPosition)
{
    Start(5);
    Send({ 30, 0, 0, 0x60 | 0x1D }); // 5 V, 9 V
    Send({ 22 });
    Send({ 14, 1 });
    const int vccZif[] = { 21, 28, 30, 32, 8, 20, 3, 1 };
    const int vppZif[] = { 26, 25, 24, 22, 11, 5, 3, 1 };
    for (int bit = 0; bit < 8; ++bit) {
        SCOPED_TRACE(bit);
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        Send({ 30, mask, 0, 0x60 | 0x1D });
        EXPECT_EQ(El().RailPositions(Rail::Vcc), std::vector<int> { vccZif[bit] + 4 });
        for (int position = 1; position <= 40; ++position)
            EXPECT_DOUBLE_EQ(El().PinVolts(position), position == vccZif[bit] + 4 ? 5.0 : 0.0) << position;
        Send({ 30, 0, mask, 0x60 | 0x1D });
        for (int position = 1; position <= 40; ++position)
            EXPECT_DOUBLE_EQ(El().PinVolts(position), position == vppZif[bit] + 4 ? 9.0 : 0.0) << position;
    }
    // Both rails on one position: it carries the higher.
    Send({ 30, 0x40, 0x40, 0x60 | 0x1D });
    EXPECT_DOUBLE_EQ(El().PinVolts(7), 9.0);
}

TEST_F(ElectricalTest, ZvdPotentiometersSetTheLevels)
{
    Start(8);
    EXPECT_EQ(El().VccPot(), 255);
    EXPECT_EQ(El().VppPot(), 255);
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 0.0);
    struct Case {
        std::uint8_t pot;
        double vcc;
        double vpp;
    };
    const Case cases[] = {
        { 0, 6.5, 25.0 },
        { 20, 6.2, 0 },
        { 58, 5.0, 0 },
        { 110, 3.6, 0 },
        { 121, 0, 12.7 },
        { 128, 0, 12.0 },
        { 199, 0, 5.0 },
        { 10, 6.35, 0 }, // halfway between 0 (6.5 V) and 20 (6.2 V)
        { 255, 0.0, 0.0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.pot));
        Send({ 115, c.pot });
        Send({ 117, c.pot });
        if (c.vcc > 0 || c.pot == 255) {
            EXPECT_NEAR(El().Level(Rail::Vcc), c.vcc, 1e-9);
        }
        if (c.vpp > 0 || c.pot == 255) {
            EXPECT_NEAR(El().Level(Rail::Vpp), c.vpp, 1e-9);
        }
    }
    // The select byte means nothing on ZV-D.
    Send({ 115, 58 });
    Send({ 30, 0, 0, 0xE0 });
    EXPECT_DOUBLE_EQ(El().Level(Rail::Vcc), 5.0);

    // Port 1 bit 4 is the ZIF48 configuration line.
    EXPECT_TRUE(El().Zif48ConfigLine()); // ports read 0xFF after a boot
    Send({ 29, 0, 0x90, 0xEF });
    EXPECT_FALSE(El().Zif48ConfigLine());
}

TEST_F(ElectricalTest, BootClearsTheFirmwareStateAndTheEepromSurvivesAReplug)
{
    Start(8);
    Send({ 66, 5, 1, 2, 3, 4, 5 });
    Send({ 115, 58 });
    Send({ 117, 121 });
    Send({ 29, 0, 0x90, 0x00 });
    Send({ 22 });
    const std::pair<std::uint8_t, std::uint8_t> writes[] = { { 0x00, 11 }, { 0x20, 22 }, { 0x10, 33 }, { 0x30, 44 } };
    for (auto [reg, value] : writes)
        Send({ 100, reg, value });
    for (auto [reg, value] : writes) {
        Send({ 101, static_cast<std::uint8_t>(reg | 0x0C), 0 });
        EXPECT_EQ(Read()[0], value) << int(reg);
    }
    Send({ 100, 0x00, 99 }); // RAM only: lost on a replug

    auto booted = [&] {
        const PinLatches l = El().Latches();
        EXPECT_EQ(l.switchA | l.switchB | l.vccSwitch | l.vppSwitch | l.select | l.u9, 0);
        EXPECT_EQ(El().VccPot(), 255);
        EXPECT_EQ(El().VppPot(), 255);
        EXPECT_FALSE(El().RailsOn());
        EXPECT_EQ(box->PortValue(0x90), 0xFF);
    };

    // A firmware download: the pots' RAM registers keep their values.
    BootFirmware();
    booted();
    EXPECT_EQ(El().PotRegister(kPotVccRam), 99);

    // A replug: RAM registers reload from EEPROM.
    box->Port()->Replug();
    EXPECT_FALSE(El().RailsOn());
    BootFirmware();
    booted();
    for (auto [reg, value] : writes) {
        const std::uint8_t expect = reg == 0x00 ? 22 : reg == 0x10 ? 44 : value;
        Send({ 101, static_cast<std::uint8_t>(reg | 0x0C), 0 });
        EXPECT_EQ(Read()[0], expect) << int(reg);
    }
}

TEST_F(ElectricalTest, UnplugSwitchesTheRailsOff)
{
    Start(5);
    Send({ 22 });
    Send({ 14, 1 });
    ASSERT_TRUE(El().RailsOn());
    box->Port()->Unplug();
    EXPECT_FALSE(El().RailsOn());
}

TEST_F(ElectricalTest, ReadingsFollowTheRails)
{
    for (int model : { 5, 7, 8 }) {
        SCOPED_TRACE(model);
        Start(model);
        if (model == 8) {
            Send({ 115, 58 });
            Send({ 117, 121 });
        } else {
            Send({ 30, 0x08, 0x80, 0x60 | 0x0F });
        }
        const RailReading off = Reading();
        Send({ 15, 1 });
        Send({ 14, 1 });
        const RailReading on = Reading();
        El().SetHealth(Rail::Vcc, 0.7);
        El().SetHealth(Rail::Vpp, 0.7);
        const RailReading weak = Reading();
        EXPECT_LT(off.vcc, on.vcc);
        EXPECT_LT(off.vpp, on.vpp);
        EXPECT_LT(weak.vcc, on.vcc);
        EXPECT_LT(weak.vpp, on.vpp);
        EXPECT_LT(off.vcc, weak.vcc);

        // The noise stays within 8 counts of the same rail.
        El().SetHealth(Rail::Vcc, 1.0);
        El().SetHealth(Rail::Vpp, 1.0);
        for (int i = 0; i < 20; ++i) {
            const RailReading again = Reading();
            EXPECT_LE(std::abs(int(again.vcc) - int(on.vcc)), 16);
            EXPECT_LE(std::abs(int(again.vpp) - int(on.vpp)), 16);
        }

        // Forced readings come back exactly, at the edges of 16 bits too.
        for (RailReading forced :
            { RailReading { 0x81DB, 0x5454 }, RailReading { 0xFFFF, 0 }, RailReading { 0, 0xFFFF } }) {
            El().ForceReading(forced);
            const RailReading r = Reading();
            EXPECT_EQ(r.vcc, forced.vcc);
            EXPECT_EQ(r.vpp, forced.vpp);
        }
        El().ForceReading(std::nullopt);
        box->Port()->Unplug();
    }
}

TEST_F(ElectricalTest, SocketGeometry)
{
    struct Case {
        int pins;
        int firstRow;
        int pin;
        int position;
    };
    const Case cases[] = {
        { 28, 7, 1, 7 },
        { 28, 7, 14, 20 },
        { 28, 7, 15, 21 },
        { 28, 7, 28, 34 },
        { 32, 5, 1, 5 },
        { 32, 5, 32, 36 },
        { 40, 1, 1, 1 },
        { 40, 1, 40, 40 },
        { 8, 17, 4, 20 },
        { 8, 17, 5, 21 },
        { 8, 12, 8, 29 },
        { 24, 9, 13, 21 },
    };
    for (const Case& c : cases) {
        const SocketLoad load = SocketLoad::Dip(c.pins, c.firstRow, 5, 5);
        EXPECT_EQ(load.Position(c.pin), c.position) << c.pins << "/" << c.pin;
        EXPECT_EQ(load.PinAt(c.position), c.pin) << c.pins << "@" << c.position;
    }
    const SocketLoad eprom = Eprom28();
    EXPECT_EQ(eprom.PinAt(6), 0);
    EXPECT_EQ(eprom.PinAt(35), 0);
    EXPECT_EQ(eprom.Position(0), 0);
    EXPECT_EQ(eprom.Position(29), 0);
    EXPECT_EQ(SocketLoad {}.PinAt(7), 0);
}

class HazardTest : public ElectricalTest {
protected:
    void SetUp() override
    {
        Start(5);
        El().SetLoad(Eprom28());
    }
};

TEST_F(HazardTest, DatasheetMasksAtProgrammingVoltageLogNothing)
{
    Send({ 30, 0x04, 0x40, 0x60 | 0x0F }); // Vcc on pin 28, Vpp on pin 1, 5 V / 12.7 V
    Send({ 22 });
    Send({ 14, 1 });
    EXPECT_DOUBLE_EQ(El().ChipPinVolts(1), 12.7);
    EXPECT_DOUBLE_EQ(El().ChipPinVolts(28), 5.0);
    EXPECT_TRUE(El().Hazards().empty());
    Send({ 21 });
    EXPECT_FALSE(El().RailsOn());
}

TEST_F(HazardTest, VppOnAnAddressPinLogsOneEntryUntilItClears)
{
    clock->Advance(3s);
    Send({ 30, 0x04, 0x10, 0x60 | 0x0F }); // Vpp to ZIF32 pin 11: position 15, chip pin 9
    Send({ 22 });
    Send({ 14, 1 });
    Send({ 31, 0xA0 }); // more traffic while the condition holds: still one entry
    Send({ 66, 0 });
    auto hazards = El().Hazards();
    ASSERT_EQ(hazards.size(), 1u);
    EXPECT_EQ(hazards[0].kind, HazardKind::HighVoltageOnSignal);
    EXPECT_EQ(hazards[0].position, 15);
    EXPECT_EQ(hazards[0].chipPin, 9);
    EXPECT_DOUBLE_EQ(hazards[0].volts, 12.7);
    EXPECT_EQ(hazards[0].time, Duration(3s) + Duration(1s)); // the fixture's boot took a second

    // Cleared, then back: a second entry.
    Send({ 14, 0 });
    Send({ 14, 1 });
    EXPECT_EQ(El().Hazards().size(), 2u);
    Send({ 21 });
}

TEST_F(HazardTest, TwentyFiveVoltsOnTheVppPinIsOverItsMaximum)
{
    Send({ 30, 0x04, 0x40, 0x60 | 0x16 });
    Send({ 22 });
    Send({ 14, 1 });
    const auto hazards = El().Hazards();
    ASSERT_EQ(hazards.size(), 1u);
    EXPECT_EQ(hazards[0].kind, HazardKind::OverMaximum);
    EXPECT_EQ(hazards[0].position, 7);
    EXPECT_EQ(hazards[0].chipPin, 1);
    EXPECT_DOUBLE_EQ(hazards[0].volts, 25.0);
    Send({ 21 });
}

TEST_F(HazardTest, VppWithoutVccLogsOne)
{
    Send({ 30, 0x04, 0x40, 0x60 | 0x0F });
    Send({ 14, 1 });
    const auto hazards = El().Hazards();
    ASSERT_EQ(hazards.size(), 1u);
    EXPECT_EQ(hazards[0].kind, HazardKind::VppWithoutVcc);
    EXPECT_EQ(hazards[0].chipPin, 1);
    Send({ 22 }); // Vcc follows: the condition clears, nothing new
    EXPECT_EQ(El().Hazards().size(), 1u);
    Send({ 21 });
}

TEST_F(HazardTest, RailOnGroundAndVccOverItsMaximum)
{
    // A 40-pin chip in rows 1-20: chip pin k on position k, GND on ZIF32 pin 21.
    El().SetLoad(SocketLoad::Dip(40, 1, 6.0, 13.0).Set(25, PinRole::Gnd).Set(36, PinRole::Vcc));
    Send({ 30, 0x01 | 0x08, 0, 0xA0 }); // Vcc 6.2 V on ZIF32 21 (chip pin 25) and 32 (chip pin 36)
    Send({ 22 });
    auto hazards = El().Hazards();
    ASSERT_EQ(hazards.size(), 2u);
    std::sort(hazards.begin(), hazards.end(), [](const Hazard& a, const Hazard& b) { return a.chipPin < b.chipPin; });
    EXPECT_EQ(hazards[0].kind, HazardKind::RailOnGround);
    EXPECT_EQ(hazards[0].chipPin, 25);
    EXPECT_EQ(hazards[0].position, 25);
    EXPECT_EQ(hazards[1].kind, HazardKind::OverMaximum);
    EXPECT_EQ(hazards[1].chipPin, 36);
    Send({ 21 });
}

TEST_F(HazardTest, ProgrammingPulse)
{
    Send({ 30, 0x04, 0x40, 0x60 | 0x0F });
    Send({ 22 });
    EXPECT_DOUBLE_EQ(El().PulseVpp(1), 12.7);
    EXPECT_DOUBLE_EQ(El().PulseVpp(2), 0.0);
    EXPECT_DOUBLE_EQ(El().PulseVpp(29), 0.0); // no such pin
    EXPECT_FALSE(El().RailOn(Rail::Vpp));
    EXPECT_TRUE(El().Hazards().empty());

    // Without Vcc the pulse is a hazard, logged although the rail is off again.
    Send({ 21 });
    EXPECT_DOUBLE_EQ(El().PulseVpp(1), 12.7);
    const auto hazards = El().Hazards();
    ASSERT_EQ(hazards.size(), 1u);
    EXPECT_EQ(hazards[0].kind, HazardKind::VppWithoutVcc);
    EXPECT_FALSE(El().RailsOn());

    // What a device operation reports joins the log with the pin's position.
    El().Report("write without programming voltage", 1, 0.0);
    ASSERT_EQ(El().Hazards().size(), 2u);
    EXPECT_EQ(El().Hazards()[1].kind, HazardKind::Operation);
    EXPECT_EQ(El().Hazards()[1].position, 7);
    EXPECT_EQ(El().Hazards()[1].what, "write without programming voltage");
}

TEST_F(HazardTest, EmptySocketLogsNothing)
{
    El().ClearLoad();
    Send({ 30, 0xFF, 0xFF, 0x60 | 0x16 });
    Send({ 14, 1 });
    EXPECT_TRUE(El().Hazards().empty());
    Send({ 21 });
}

} // namespace
