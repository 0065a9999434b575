// MakePumpJob: what a step's snapshot becomes before any packet leaves.

#include "operations/PumpJob.h"
#include "link/ProgrammerCommand.h"

#include <gtest/gtest.h>

namespace {

CDeviceClass Device(int codeSize, int dataSize = 0)
{
    CDeviceClass d;
    d.m_nCodeSize = codeSize;
    d.m_nDataSize = dataSize;
    d.m_nVcc = 12;
    d.m_nWriteVcc = 13;
    d.m_nVpp = 4;
    d.m_nReadVpp = 0xFF;
    return d;
}

CDeviceClass Pic(int coreBits)
{
    CDeviceClass d = Device(0x800, 128);
    CPicConfigInfo info;
    info.m_nCoreBits = static_cast<std::uint8_t>(coreBits);
    info.m_nIdAddress = 0x2000;
    info.m_nDeviceIdAddress = 0x2006;
    info.m_nConfigMemoryWords = 8;
    d.m_pPicConfig = PicConfigPtr(info);
    return d;
}

PumpSnapshot Snap(PumpOperation op, CDeviceClass device, std::size_t bufferBytes, int classIndex = 200)
{
    PumpSnapshot s;
    s.operation = op;
    s.device = device;
    s.classEntry = device;
    s.classIndex = classIndex;
    s.bufferBytes = bufferBytes;
    s.blockSize = 8192;
    s.writeBlockSize = 256;
    s.writeStep = 59;
    return s;
}

struct Expect {
    std::uint32_t start = 0;
    int end = 0;
    std::uint8_t read = 0;
    std::uint8_t writeOk = 0;
    bool setupFlagged = false;
    std::uint8_t setup = 0;
    int pause = 0;
    std::uint8_t blankEven = 0;
    int skipFrom = 0;
    int skipCount = 0;
};

struct Case {
    const char* name;
    PumpSnapshot snapshot;
    Expect expect;
};

TEST(MakePumpJob, StartsWithTheRightRegionCodesAndPrologue)
{
    auto offsetRead = Snap(PumpOperation::Read, Device(4096), 4096);
    offsetRead.deviceOffset = 0x100;
    auto offsetWrite = Snap(PumpOperation::Write, Device(4096), 4096);
    offsetWrite.deviceOffset = 0x100;
    auto shortVerify = Snap(PumpOperation::Verify, Device(4096), 4096);
    shortVerify.deviceOffset = 0x100;
    auto blankIgnoresOffset = Snap(PumpOperation::BlankCheck, Device(4096), 0);
    blankIgnoresOffset.deviceOffset = 0x100;
    auto unprotect = Snap(PumpOperation::Write, Device(0x10000), 0x10000, 258);
    unprotect.tempUnprotect = true;
    auto unprotectOtherClass = unprotect;
    unprotectOtherClass.classIndex = 200;
    auto data = Snap(PumpOperation::Read, Device(0x800, 128), 128);
    data.bufferIndex = 1;
    auto shortData = Snap(PumpOperation::Write, Device(0x800, 128), 40);
    shortData.bufferIndex = 1;
    auto picConfig = Snap(PumpOperation::BlankCheck, Pic(14), 16, 313);
    picConfig.bufferIndex = 2;
    auto picData = Snap(PumpOperation::BlankCheck, Pic(14), 128, 313);
    picData.bufferIndex = 1;

    const Case cases[] = {
        { "read", Snap(PumpOperation::Read, Device(0x80000), 0x80000),
            { 0, 0x80000, P_READ, P_WRITE_OK, false, 0, 250 } },
        { "read at an offset", offsetRead, { 0x100, 0xF00, P_READ, P_WRITE_OK, false, 0, 250 } },
        { "write at an offset", offsetWrite, { 0x100, 0xF00, P_READ, P_WRITE_OK, true, 0, 250 } },
        { "verify at an offset", shortVerify, { 0x100, 0xF00, P_READ, P_WRITE_OK, false, 0, 250 } },
        { "blank check ignores the offset", blankIgnoresOffset, { 0, 4096, P_READ, P_WRITE_OK, false, 0, 0 } },
        { "write into a shorter buffer", Snap(PumpOperation::Write, Device(0x1000), 100),
            { 0, 100, P_READ, P_WRITE_OK, true, 0, 250 } },
        { "verify of a shorter buffer", Snap(PumpOperation::Verify, Device(0x1000), 100),
            { 0, 100, P_READ, P_WRITE_OK, false, 0, 250 } },
        { "unprotecting write", unprotect, { 0, 0x10000, P_READ, P_WRITE_OK, true, 1, 250 } },
        { "no unprotect for other classes", unprotectOtherClass, { 0, 0x10000, P_READ, P_WRITE_OK, true, 0, 250 } },
        { "data memory", data, { 0, 128, P_READ_DATA, P_WRITE_DATA_OK, false, 0, 250 } },
        { "data buffer shorter than the data size", shortData, { 0, 40, P_READ_DATA, P_WRITE_DATA_OK, true, 0, 250 } },
        { "PIC configuration memory", picConfig, { 0x2000, 16, P_READ_CFG, P_WRITE_CFG_OK, false, 0, 0, 0x3F, 12, 2 } },
        { "PIC data memory has no blank alternative", picData,
            { 0, 128, P_READ_DATA, P_WRITE_DATA_OK, false, 0, 0, 0 } },
        { "12-bit PIC program memory", Snap(PumpOperation::BlankCheck, Pic(12), 0, 312),
            { 0, 0x800, P_READ, P_WRITE_OK, false, 0, 0, 0x0F } },
        { "16-bit PIC", Snap(PumpOperation::BlankCheck, Pic(16), 0, 321),
            { 0, 0x800, P_READ, P_WRITE_OK, false, 0, 0, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PumpPlan plan = MakePumpJob(c.snapshot);
        ASSERT_TRUE(std::holds_alternative<PumpJob>(plan));
        const PumpJob& job = std::get<PumpJob>(plan);
        EXPECT_EQ(job.m_nStartAddress, c.expect.start);
        EXPECT_EQ(job.m_nEndPosition, c.expect.end);
        EXPECT_EQ(job.readCommand, c.expect.read);
        EXPECT_EQ(job.writeOkCommand, c.expect.writeOk);
        EXPECT_EQ(job.setupHasFlag, c.expect.setupFlagged);
        EXPECT_EQ(job.setupFlag, c.expect.setup);
        EXPECT_EQ(job.pauseMs, c.expect.pause);
        EXPECT_EQ(job.blankEvenAlternative, c.expect.blankEven);
        EXPECT_EQ(job.skipFrom, c.expect.skipFrom);
        EXPECT_EQ(job.skipCount, c.expect.skipCount);
    }
}

TEST(MakePumpJob, Refusals)
{
    auto beyondDevice = Snap(PumpOperation::Read, Device(4096), 4096);
    beyondDevice.deviceOffset = 4096;
    auto beyondBuffer = Snap(PumpOperation::Write, Device(4096), 0x80);
    beyondBuffer.deviceOffset = 0x100;
    auto configWords = Snap(PumpOperation::Read, Pic(14), 4, 313);
    configWords.bufferIndex = 3;

    struct Refusal {
        const char* name;
        PumpSnapshot snapshot;
        std::string text;
        int textNumber;
        std::string caption;
        int captionNumber;
        bool box;
    };
    const Refusal cases[] = {
        { "verify without data", Snap(PumpOperation::Verify, Device(4096), 0), kNoVerifyDataText, 0, "error", 0, true },
        { "write without data", Snap(PumpOperation::Write, Device(4096), 0), kNoWriteDataText, 0, "", kTextPumpCaption,
            true },
        { "offset at the device's end", beyondDevice, "", kTextOffsetBeyond, "", kTextPumpCaption, true },
        { "write offset beyond the buffer", beyondBuffer, "", kTextOffsetBeyond, "", kTextPumpCaption, true },
        { "configuration words", configWords, "The configuration words are read and written with their own commands.",
            0, "error", 0, true },
        { "a device of no bytes", Snap(PumpOperation::Read, Device(0), 0),
            "Nothing to read: the selected memory is empty.", 0, "", 0, false },
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        const PumpPlan plan = MakePumpJob(c.snapshot);
        ASSERT_TRUE(std::holds_alternative<PumpRefusal>(plan));
        const PumpRefusal& r = std::get<PumpRefusal>(plan);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.textNumber, c.textNumber);
        EXPECT_EQ(r.caption, c.caption);
        EXPECT_EQ(r.captionNumber, c.captionNumber);
        EXPECT_EQ(r.box, c.box);
    }
}

TEST(MakePumpJob, VoltagesByOperation)
{
    CDeviceClass d = Device(4096);
    d.m_nVcc = 10;
    d.m_nReadVpp = 6;
    d.m_nBlankVcc = 11;
    d.m_nWriteVcc = 12;
    d.m_nVpp = 7;
    d.m_nEraseVcc = 0xFF;
    d.m_nEraseVpp = 9;
    d.m_nVccSwitch = 0x12;
    struct Row {
        PumpOperation op;
        std::uint8_t vcc, vpp;
    };
    const Row rows[] = {
        { PumpOperation::Read, 10, 6 },
        { PumpOperation::Verify, 10, 6 },
        { PumpOperation::BlankCheck, 11, 6 },
        { PumpOperation::Write, 12, 7 },
        { PumpOperation::Erase, 12, 9 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(PumpOperationName(row.op));
        const PumpPlan plan = MakePumpJob(Snap(row.op, d, 4096));
        ASSERT_TRUE(std::holds_alternative<PumpJob>(plan));
        const PumpJob& job = std::get<PumpJob>(plan);
        EXPECT_EQ(job.voltages.vcc, row.vcc);
        EXPECT_EQ(job.voltages.vpp, row.vpp);
        EXPECT_EQ(job.voltages.vccSwitch, 0x12);
    }
    d.m_nReadVpp = 0xFF;
    d.m_nBlankVcc = 0xFF;
    const PumpJob blank = std::get<PumpJob>(MakePumpJob(Snap(PumpOperation::BlankCheck, d, 0)));
    EXPECT_EQ(blank.voltages.vcc, 10);
    EXPECT_EQ(blank.voltages.vpp, 0);
}

TEST(MakePumpJob, FailureAddressMapping)
{
    CDeviceClass dip24 = Device(8192);
    dip24.m_strPackage = "DIP24";
    dip24.m_nPackageCode = 2;
    auto s = Snap(PumpOperation::Write, dip24, 8192);
    s.model = 5;
    EXPECT_EQ(std::get<PumpJob>(MakePumpJob(s)).forcedAddressBits, 0x2000u);
    s.model = 2; // hand-switched socket: nothing forced
    EXPECT_EQ(std::get<PumpJob>(MakePumpJob(s)).forcedAddressBits, 0u);

    CDeviceClass dip28 = Device(0x40000);
    dip28.m_strPackage = "DIP28";
    dip28.m_nPackageCode = 4;
    dip28.m_nBusWidth = 2;
    const PumpJob job = std::get<PumpJob>(MakePumpJob(Snap(PumpOperation::Write, dip28, 0x40000)));
    EXPECT_EQ(job.forcedAddressBits, 0x20000u);
    EXPECT_TRUE(job.wordMode);
}

// The device address a missing acknowledge names: the one device setup sends.
TEST(MakePumpJob, ASerialEepromCarriesTheDeviceAddressInUse)
{
    struct Row {
        int classIndex;
        std::uint8_t deviceAddress;
        std::uint8_t expected;
    };
    const Row rows[] = {
        { 44, 0, 0xA0 }, // none set
        { 44, 0xA2, 0xA2 },
        { 44, 0x37, 0xA0 }, // not 1010xxx0
        { 41, 0xAE, 0xAE },
        { 55, 0xA8, 0xA8 },
        { 56, 0xA2, 0 }, // not a serial EEPROM class
        { 200, 0xA2, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.classIndex);
        CDeviceClass d = Device(256);
        d.m_nDeviceAddress = row.deviceAddress;
        for (PumpOperation op :
            { PumpOperation::Read, PumpOperation::Write, PumpOperation::Verify, PumpOperation::BlankCheck })
            EXPECT_EQ(std::get<PumpJob>(MakePumpJob(Snap(op, d, 256, row.classIndex))).eepromAddress, row.expected);
    }
}

} // namespace

namespace {

TEST(MakePumpJob, PicConfigurationMemorySkipsTheDeviceIdAndMasksTheConfigurationWord)
{
    CDeviceClass pic14 = Pic(14);
    pic14.m_pPicConfig->m_ConfigMask[0] = 0x3F; // low byte: bits 6 and 7 unimplemented
    pic14.m_pPicConfig->m_ConfigMask[1] = 0x1F;
    // A 16-bit core: ID locations at 0x200000, the device ID at 0x3FFFFE, the configuration
    // bytes at 0x300000, none of them inside configuration memory but the ID locations.
    CDeviceClass pic18 = Pic(16);
    pic18.m_pPicConfig->m_nIdAddress = 0x200000;
    pic18.m_pPicConfig->m_nDeviceIdAddress = 0x3FFFFE;
    pic18.m_pPicConfig->m_nConfigAddress = 0x300000;
    pic18.m_pPicConfig->m_nConfigBytes = 14;
    struct Row {
        const char* name;
        PumpOperation op;
        CDeviceClass device;
        int classIndex;
        int skipFrom;
        int skipCount;
        int maskCount;
    };
    const Row rows[] = {
        { "14-bit verify", PumpOperation::Verify, pic14, 313, 12, 2, 2 },
        { "14-bit blank check", PumpOperation::BlankCheck, pic14, 313, 12, 2, 0 },
        { "14-bit read", PumpOperation::Read, pic14, 313, 0, 0, 0 },
        { "14-bit write", PumpOperation::Write, pic14, 313, 0, 0, 0 },
        { "16-bit verify", PumpOperation::Verify, pic18, 321, 0, 0, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PumpSnapshot s = Snap(row.op, row.device, 16, row.classIndex);
        s.bufferIndex = 2;
        const PumpJob job = std::get<PumpJob>(MakePumpJob(s));
        EXPECT_EQ(job.skipFrom, row.skipFrom);
        EXPECT_EQ(job.skipCount, row.skipCount);
        EXPECT_EQ(job.maskCount, row.maskCount);
        if (row.maskCount) {
            // The buffer holds the word high byte first.
            EXPECT_EQ(job.maskFrom, 14);
            EXPECT_EQ(job.maskBytes[0], 0x1F);
            EXPECT_EQ(job.maskBytes[1], 0x3F);
        }
    }
    // Program memory of the same chip takes neither.
    PumpSnapshot code = Snap(PumpOperation::Verify, pic14, 0x800, 313);
    const PumpJob job = std::get<PumpJob>(MakePumpJob(code));
    EXPECT_EQ(job.skipCount, 0);
    EXPECT_EQ(job.maskCount, 0);
}

} // namespace
