// Get ID and Lock without the view: what each asks of the programmer for a device, and what the
// user is shown from the reply, against a scripted link.

#include "operations/DeviceIdCommand.h"
#include "operations/LockCommand.h"

#include "LanguageFixture.h"
#include "ScriptedExchangeLink.h"

#include "catalogue/DeviceIdDecoder.h"
#include "link/ProgrammerCommand.h"

#include <deque>
#include <optional>
#include <vector>

namespace {

using Status = ExchangeLink::Status;
using tonrig::test::Packet;
using tonrig::test::ScriptedLink;
using Bytes = std::vector<std::vector<std::uint8_t>>;

CDeviceClass Avr(const char* id)
{
    CDeviceClass device;
    device.m_nType = kCategoryMcu;
    device.m_strManufacturer = "ATMEL";
    device.m_strName = "ATmega8515";
    device.m_strId = id;
    return device;
}

CDeviceClass Pic(std::uint8_t coreBits, std::uint16_t mask)
{
    CDeviceClass device;
    device.m_nType = kCategoryMcu;
    device.m_strManufacturer = "MICROCHIP";
    device.m_strName = "PIC16F628A";
    device.m_strId = "291060";
    CPicConfigInfo pic;
    pic.m_nCoreBits = coreBits;
    pic.m_nIdMask = mask;
    device.m_pPicConfig = PicConfigPtr(pic);
    return device;
}

class DeviceIdCommandTest : public BuiltInTexts {
protected:
    void TearDown() override
    {
        g_CurrentDevice = CDeviceClass();
        BuiltInTexts::TearDown();
    }
};

TEST_F(DeviceIdCommandTest, GetIdTable)
{
    struct Case {
        const char* name;
        CDeviceClass device;
        int classIndex;
        std::deque<ScriptedLink::Answer> reads;
        const char* refusal; // the box instead of an exchange
        const char* line; // the log line of a failed read
        const char* shownId;
        const char* manufacturer;
        const char* type;
        const char* revision;
    };
    CDeviceClass eprom = Avr("8F04");
    eprom.m_nType = kCategoryEprom;
    const Case cases[] = {
        { "an AVR's three bytes, the selected chip", Avr("1E9306"), 30, { { Packet({ 0x1E, 0x93, 0x06 }) } }, "", "",
            "1E9306", "ATMEL", "ATmega8515", "-" },
        { "another chip", Avr("1E9306"), 30, { { Packet({ 0x1E, 0x95, 0x0F }) } }, "", "", "1E950F", "Not in library",
            "Unknown Device", "-" },
        { "a 14-bit PIC: masked ID and revision", Pic(14, 0x3FE0), 313, { { Packet({ 0x10, 0x66 }) } }, "", "", "1060",
            "Not in library", "Unknown Device", "6" },
        { "a 14-bit PIC keeps 14 bits of the revision", Pic(14, 0x3FE0), 313, { { Packet({ 0xFF, 0xFF }, 0xFF) } }, "",
            "", "3FE0", "Not in library", "Unknown Device", "1F" },
        { "a 16-bit PIC", Pic(16, 0xFFE0), 320, { { Packet({ 0x12, 0x47 }) } }, "", "", "1240", "Not in library",
            "Unknown Device", "7" },
        { "a PIC without an ID mask", Pic(12, 0), 312, {}, "The function is not supported by this device.", "", "", "",
            "", "" },
        { "no ID text", Avr("XXXXX"), 41, {}, "The function is not supported by this device.", "", "", "", "", "" },
        { "one byte", Avr("1E"), 30, {}, "Signature length error.Please report this bug.", "", "", "", "", "" },
        { "seven bytes", Avr("1E930601020304"), 30, {}, "Signature length error.Please report this bug.", "", "", "",
            "", "" },
        { "six bytes", Avr("1E9306010203"), 30, { { Packet({ 0x1E, 0x93, 0x06, 0x01, 0x02, 0x03 }) } }, "", "",
            "1E9306010203", "ATMEL", "ATmega8515", "-" },
        { "a short reply", Avr("1E9306"), 30, { { { 0x1E, 0x93 } } }, "", "No reply from the programmer.\r\n", "", "",
            "", "" },
        { "no reply", Avr("1E9306"), 30, {}, "", "No reply from the programmer.\r\n", "", "", "", "" },
        { "an EPROM", eprom, 1, { { Packet({ 0x8F, 0x04 }) } }, "", "", "8F04", "ATMEL", "ATmega8515", "-" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_CurrentDevice = c.device;
        const DeviceIdPlan plan = PlanDeviceId(c.device, c.classIndex);
        EXPECT_EQ(DeviceIdRefusalText(plan.verdict), c.refusal);
        EXPECT_EQ(plan.askEprom, c.device.m_nType == kCategoryEprom);
        if (plan.verdict != DeviceIdVerdict::Read)
            continue;

        ScriptedLink link;
        link.reads = c.reads;
        const DeviceIdReading reading = RunDeviceId(link, plan);
        EXPECT_EQ(link.sent, (Bytes { { P_SIGNATURE }, { P_POWER_DOWN } }));
        EXPECT_EQ(reading.line, c.line);
        if (*c.line) {
            EXPECT_EQ(reading.kind, StepKind::Failed);
            continue;
        }
        EXPECT_EQ(reading.kind, StepKind::Done);
        CDeviceIdDecoder decoder;
        decoder.DecodeDeviceId(reading.id, reading.length, reading.code, reading.revision);
        EXPECT_EQ(decoder.m_strDeviceId, c.shownId);
        EXPECT_EQ(decoder.m_strManufacturerText, c.manufacturer);
        EXPECT_EQ(decoder.m_strType, c.type);
        EXPECT_EQ(decoder.m_strRevision, c.revision);
    }
}

TEST_F(DeviceIdCommandTest, TheIdIsLowerCaseHexAndALostProgrammerSaysNothing)
{
    const DeviceIdPlan plan = PlanDeviceId(Avr("1E9306"), 30);
    ScriptedLink link;
    link.reads = { { Packet({ 0x1E, 0xA3, 0x0B }) } };
    const DeviceIdReading reading = RunDeviceId(link, plan);
    EXPECT_EQ(reading.id, "1ea30b");
    EXPECT_EQ(reading.length, 3);
    EXPECT_EQ(reading.code, "");

    ScriptedLink gone;
    gone.reads = { { {}, Status::Gone } };
    const DeviceIdReading lost = RunDeviceId(gone, plan);
    EXPECT_EQ(lost.kind, StepKind::LinkLost);
    EXPECT_EQ(lost.line, "");
}

CDeviceClass Named(const char* name, const char* lockText)
{
    CDeviceClass device;
    device.m_strName = name;
    device.m_strLockText = lockText;
    return device;
}

TEST_F(DeviceIdCommandTest, LockTable)
{
    struct Case {
        const char* name;
        CDeviceClass device;
        int classIndex;
        bool unattended;
        std::deque<ScriptedLink::Answer> reads;
        bool ask;
        Bytes sent;
        StepKind kind;
        const char* line;
        const char* box;
        const char* caption;
    };
    const std::vector<std::uint8_t> rom { 0x01, 0x6F, 0x2A, 0x10, 0x00, 0x00, 0x00, 0xC4 };
    const Bytes romSent { { P_SIGNATURE }, { P_POWER_DOWN } };
    const char* const romText = "64 bits ROM: 01 6F 2A 10 00 00 00 C4";
    const Case cases[] = {
        { "a 1-Wire ROM", Named("DS2431", "0"), 308, false, { { Packet({ 0x01, 0x6F, 0x2A, 0x10, 0, 0, 0, 0xC4 }) } },
            false, romSent, StepKind::Done, "64 bits ROM: 01 6F 2A 10 00 00 00 C4\r\n", romText, "Tonrig" },
        { "a 1-Wire chip that does not answer", Named("DS1990", "3"), 309, false, { { { 0x01, 0x6F } } }, false,
            romSent, StepKind::Failed, "No reply from the programmer.\r\n", "", "" },
        { "level 3", Named("AT89C51", "3"), 60, false, { { { 0x00 } } }, false, { { P_SET_LOCK, 3 }, { P_POWER_DOWN } },
            StepKind::Done, "Device locked.\r\n", "", "" },
        { "level 2", Named("AT89C2051", "2"), 61, true, { { { 0x00 } } }, false,
            { { P_SET_LOCK, 2 }, { P_POWER_DOWN } }, StepKind::Done, "Device locked.\r\n", "", "" },
        { "level 3 refused", Named("AT89C51", "3"), 60, false, { { { 0x01 } } }, false,
            { { P_SET_LOCK, 3 }, { P_POWER_DOWN } }, StepKind::Failed, "Lock failed.\r\n", "Lock failed.", "Error" },
        { "level 2 without a reply", Named("AT89C2051", "2"), 61, false, {}, false,
            { { P_SET_LOCK, 2 }, { P_POWER_DOWN } }, StepKind::Failed, "Lock failed.\r\n", "Lock failed.", "Error" },
        { "AT34C02 asks a user", Named("AT34C02", "0"), 45, false, { { { 0x00 } } }, true,
            { { P_SET_LOCK, 1 }, { P_POWER_DOWN } }, StepKind::Done, "Device locked.\r\n", "", "" },
        { "AT34C02 in a batch", Named("AT34C02B", "0"), 45, true, { { { 0x00 } } }, false,
            { { P_SET_LOCK, 1 }, { P_POWER_DOWN } }, StepKind::Done, "Device locked.\r\n", "", "" },
        { "unsupported", Named("27C256", "0"), 1, false, {}, false, {}, StepKind::Done,
            "The function is not supported by this device.\r\n", "The function is not supported by this device.",
            "Tonrig" },
        { "unsupported in a batch: logged only", Named("27C256", "1"), 1, true, {}, false, {}, StepKind::Done,
            "The function is not supported by this device.\r\n", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LockPlan plan = PlanLock(c.device, c.classIndex, c.unattended);
        EXPECT_EQ(plan.ask, c.ask);
        ScriptedLink link;
        link.reads = c.reads;
        const LockDeviceResult result = RunLockDevice(link, plan);
        EXPECT_EQ(link.sent, c.sent);
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.boxText, c.box);
        EXPECT_EQ(result.boxCaption, c.caption);
    }
    EXPECT_EQ(LockQuestion(), "This write protection cannot be undone.\r\nContinue?");
    EXPECT_EQ(LockQuestionCaption(), "Lock");
}

TEST_F(DeviceIdCommandTest, ALockThatLosesTheProgrammerEndsWithoutALine)
{
    ScriptedLink link;
    link.reads = { { {}, Status::Gone } };
    const LockDeviceResult result = RunLockDevice(link, PlanLock(Named("AT89C51", "3"), 60, false));
    EXPECT_EQ(result.kind, StepKind::LinkLost);
    EXPECT_EQ(result.line, "");
    EXPECT_EQ(result.boxText, "");
}

} // namespace
