#include "operations/ConfigWords.h"

#include "LanguageFixture.h"
#include "ScriptedExchangeLink.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "link/ProgrammerCommand.h"
#include "operations/BufferDeviceParams.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace {

using tonrig::test::Packet;
using tonrig::test::ScriptedLink;
using Status = ExchangeLink::Status;
using Bytes = std::vector<std::uint8_t>;
using Packets = std::vector<Bytes>;

class ConfigWordsTest : public BuiltInTexts {
protected:
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
};

// A PIC18 job: 14 bytes at 0x300000.
ConfigWordsJob WideJob()
{
    ConfigWordsJob job;
    job.coreBits = 16;
    job.address = 0x300000;
    job.length = 14;
    job.mask.fill(0xFF);
    for (int i = 0; i < 14; ++i)
        job.values[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x10 + i);
    return job;
}

// A 14-bit job: one word at 0x2007, mask 0x3FFF.
ConfigWordsJob NarrowJob()
{
    ConfigWordsJob job;
    job.coreBits = 14;
    job.address = 0x2007;
    job.length = 2;
    job.mask.fill(0xFF);
    job.mask[1] = 0x3F;
    job.values[0] = 0x72;
    job.values[1] = 0x3F;
    return job;
}

// The chip's answers to the word-by-word read of `job`: each word high byte first, then [0].
std::deque<ScriptedLink::Answer> WideAnswers(const std::vector<std::uint8_t>& chip)
{
    std::deque<ScriptedLink::Answer> answers;
    for (std::size_t i = 0; i + 1 < chip.size(); i += 2) {
        answers.push_back({ { chip[i + 1], chip[i] } });
        answers.push_back({ { 0 } });
    }
    return answers;
}

TEST_F(ConfigWordsTest, WideCoreReadsWordByWordAndSwapsEachPair)
{
    const ConfigWordsJob job = WideJob();
    const Bytes chip { 0x00, 0x27, 0x0F, 0x0E, 0x00, 0x81, 0x85, 0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40 };
    ScriptedLink link;
    link.reads = WideAnswers(chip);
    const ConfigWordsRead read = ReadConfigWordsExchange(link, job);
    EXPECT_EQ(read.kind, StepKind::Done);
    EXPECT_EQ(read.bytes, chip);
    EXPECT_EQ(link.voltages, std::vector { ExchangeLink::Voltages::Read });
    ASSERT_EQ(link.sent.size(), 8u);
    for (std::uint8_t i = 0; i < 7; ++i)
        EXPECT_EQ(link.sent[i], (Bytes { P_READ, 0, 0x30, 0x00, static_cast<std::uint8_t>(2 * i), 0, 0, 0, 2 }));
    EXPECT_EQ(link.sent.back(), Bytes { P_POWER_DOWN });
}

TEST_F(ConfigWordsTest, ReadFailuresStillPowerDownUnlessTheProgrammerIsGone)
{
    struct Case {
        const char* name;
        ConfigWordsJob job;
        std::deque<ScriptedLink::Answer> reads;
        int goneAtSend;
        StepKind kind;
        bool poweredDown;
    };
    const Case cases[] = {
        { "wide: no answer", WideJob(), {}, -1, StepKind::Failed, true },
        { "wide: one byte of data", WideJob(), { { { 0x27 } } }, -1, StepKind::Failed, true },
        { "wide: failing status", WideJob(), { { { 0x27, 0x00 } }, { { 1 } } }, -1, StepKind::Failed, true },
        { "wide: status never comes", WideJob(), { { { 0x27, 0x00 } } }, -1, StepKind::Failed, true },
        { "wide: gone on the second word", WideJob(), { { { 0x27, 0x00 } }, { { 0 } } }, 1, StepKind::LinkLost, false },
        { "narrow: refused type", NarrowJob(), { { { 1 } } }, -1, StepKind::Failed, true },
        { "narrow: no answer", NarrowJob(), {}, -1, StepKind::Failed, true },
        { "narrow: gone on the read", NarrowJob(), { { {}, Status::Gone } }, -1, StepKind::LinkLost, false },
        { "narrow: gone on the first power-down", NarrowJob(), {}, 0, StepKind::LinkLost, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.reads = c.reads;
        link.goneAtSend = c.goneAtSend;
        const ConfigWordsRead read = ReadConfigWordsExchange(link, c.job);
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_TRUE(read.bytes.empty());
        const bool last = !link.sent.empty() && link.sent.back() == Bytes { P_POWER_DOWN }
            && (c.job.WordByWord() || link.sent.size() > 1);
        EXPECT_EQ(last, c.poweredDown);
    }
}

TEST_F(ConfigWordsTest, NarrowCoreSettlesThenMovesAllWordsHighByteFirst)
{
    ConfigWordsJob job = NarrowJob();
    job.length = 4;
    job.values[2] = 0xFF;
    job.values[3] = 0x01;
    {
        ScriptedLink link;
        link.reads = { { Packet({ 0x3F, 0x72, 0x01, 0xFF }, 0xFF) } };
        const ConfigWordsRead read = ReadConfigWordsExchange(link, job);
        EXPECT_EQ(read.kind, StepKind::Done);
        EXPECT_EQ(read.bytes, (Bytes { 0x72, 0x3F, 0xFF, 0x01 }));
        ASSERT_EQ(link.sent.size(), 3u);
        EXPECT_EQ(link.sent[0], Bytes { P_POWER_DOWN });
        EXPECT_EQ(link.sent[1], (Bytes { P_PIC_MEM_READ, 0, 0, 0x20, 0x07, 4, 7, 0, 0, 0 }));
        EXPECT_EQ(link.sent[2], Bytes { P_POWER_DOWN });
        EXPECT_GE(link.sentAt[1] - link.sentAt[0], std::chrono::milliseconds(500));
    }
    {
        ScriptedLink link;
        link.reads = { { { 0 } } };
        EXPECT_EQ(WriteConfigWordsExchange(link, job), StepKind::Done);
        EXPECT_EQ(link.voltages, std::vector { ExchangeLink::Voltages::Write });
        ASSERT_EQ(link.sent.size(), 3u);
        EXPECT_EQ(link.sent[0], Bytes { P_POWER_DOWN });
        EXPECT_EQ(link.sent[1], (Bytes { P_PIC_MEM_WRITE, 0, 0, 0x20, 0x07, 4, 7, 0x3F, 0x72, 0x01, 0xFF }));
        EXPECT_EQ(link.sent[2], Bytes { P_POWER_DOWN });
        EXPECT_GE(link.sentAt[1] - link.sentAt[0], std::chrono::milliseconds(500));
    }
}

TEST_F(ConfigWordsTest, WritesSucceedOnlyOnTheirAcknowledgement)
{
    struct Case {
        const char* name;
        ConfigWordsJob job;
        std::deque<ScriptedLink::Answer> reads;
        StepKind kind;
        std::size_t commands; // packets sent before the last power-down, the first one included
    };
    std::deque<ScriptedLink::Answer> allWide(7, ScriptedLink::Answer { { 0 } });
    const Case cases[] = {
        { "wide: every word acknowledged", WideJob(), allWide, StepKind::Done, 7 },
        { "wide: refused at the second word", WideJob(), { { { 0 } }, { Packet({ 1, 0, 0, 0, 2, 0xFF, 0x0F }) } },
            StepKind::Failed, 2 },
        { "wide: no answer", WideJob(), {}, StepKind::Failed, 1 },
        { "narrow: [0]", NarrowJob(), { { { 0 } } }, StepKind::Done, 2 },
        { "narrow: [1]", NarrowJob(), { { { 1 } } }, StepKind::Failed, 2 },
        { "narrow: a whole packet is no acknowledgement", NarrowJob(), { { Packet({ 0 }) } }, StepKind::Failed, 2 },
        { "narrow: no answer", NarrowJob(), {}, StepKind::Failed, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.reads = c.reads;
        EXPECT_EQ(WriteConfigWordsExchange(link, c.job), c.kind);
        ASSERT_EQ(link.sent.size(), c.commands + 1);
        EXPECT_EQ(link.sent.back(), Bytes { P_POWER_DOWN });
        if (c.job.WordByWord()) {
            EXPECT_EQ(link.sent[0], (Bytes { P_WRITE_CFG_WORD_OK, 0, 1, 0x10, 0x11 }));
        }
    }
    ScriptedLink link;
    link.reads = allWide;
    ASSERT_EQ(WriteConfigWordsExchange(link, WideJob()), StepKind::Done);
    EXPECT_EQ(link.sent[6], (Bytes { P_WRITE_CFG_WORD_OK, 12, 13, 0x1C, 0x1D }));
}

TEST_F(ConfigWordsTest, LengthsOddOrOutsideTwoToThirtyTwoAreRefusedUnsent)
{
    for (int length : { -2, 0, 1, 3, 15, 33, 34 }) {
        SCOPED_TRACE(length);
        EXPECT_NE(ConfigLengthRefusal(length), "");
        for (ConfigWordsJob job : { WideJob(), NarrowJob() }) {
            job.length = length;
            ScriptedLink link;
            EXPECT_EQ(ReadConfigWordsExchange(link, job).kind, StepKind::Failed);
            EXPECT_EQ(WriteConfigWordsExchange(link, job), StepKind::Failed);
            EXPECT_TRUE(link.sent.empty());
        }
    }
    for (int length : { 2, 14, 32 })
        EXPECT_EQ(ConfigLengthRefusal(length), "") << length;
    const std::string line = ConfigLengthRefusal(3);
    EXPECT_NE(line.find('3'), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
}

TEST_F(ConfigWordsTest, VerifyComparesUnderTheMasks)
{
    struct Case {
        const char* name;
        ConfigWordsJob job;
        Bytes chip;
        const char* line; // empty: equal
    };
    ConfigWordsJob present = WideJob();
    present.present[0] = present.present[1] = 1;
    ConfigWordsJob masked = WideJob();
    masked.mask[3] = 0x0F;
    const Case cases[] = {
        { "narrow: equal", NarrowJob(), { 0x72, 0x3F }, "" },
        { "narrow: differs above the core width", NarrowJob(), { 0x72, 0xFF }, "" },
        { "narrow: differs inside the mask", NarrowJob(), { 0x72, 0x3E },
            "Configuration Verify Failed, Address=0x002007, Buffer=0x3F72, Device=0x3E72\r\n" },
        { "wide: differs outside a byte's mask", masked,
            { 0x10, 0x11, 0x12, 0xF3, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D }, "" },
        { "wide: differs inside a byte's mask", masked,
            { 0x10, 0x11, 0x12, 0x1F, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D },
            "Configuration Verify Failed, Address=0x300003, Buffer=0x13, Device=0x1F\r\n" },
        { "wide: bytes not present are skipped once any is", present,
            { 0x10, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, "" },
        { "wide: a present byte still counts", present, { 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 },
            "Configuration Verify Failed, Address=0x300001, Buffer=0x11, Device=0x01\r\n" },
        { "wide: without present flags every byte counts", WideJob(),
            { 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x00 },
            "Configuration Verify Failed, Address=0x30000D, Buffer=0x1D, Device=0x00\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ConfigMismatch mismatch = CompareConfigWords(c.job, c.chip);
        EXPECT_EQ(mismatch.differs, *c.line != '\0');
        if (mismatch.differs) {
            EXPECT_EQ(ConfigMismatchLine(mismatch), c.line);
        }
    }
}

TEST_F(ConfigWordsTest, OutcomesAndWhatTheyShow)
{
    struct Case {
        const char* name;
        ConfigWordsAction action;
        ConfigWordsJob job;
        std::deque<ScriptedLink::Answer> reads;
        StepKind kind;
        const char* line;
        bool error;
        const char* box;
    };
    const Case cases[] = {
        { "read", ConfigWordsAction::Read, NarrowJob(), { { Packet({ 0x3F, 0x72 }) } }, StepKind::Done, "", false,
            "" },
        { "read without answer", ConfigWordsAction::Read, NarrowJob(), {}, StepKind::Failed,
            "Reading the configuration words failed.\r\n", true, "" },
        { "verify equal", ConfigWordsAction::Verify, NarrowJob(), { { Packet({ 0x3F, 0x72 }) } }, StepKind::Done,
            "Device is verified\r\n", false, "" },
        { "verify different", ConfigWordsAction::Verify, NarrowJob(), { { Packet({ 0x3F, 0x70 }) } }, StepKind::Failed,
            "Configuration Verify Failed, Address=0x002007, Buffer=0x3F72, Device=0x3F70\r\n", true, "" },
        { "verify without answer", ConfigWordsAction::Verify, NarrowJob(), {}, StepKind::Failed,
            "Configuration Verify Failed\r\n", true, "" },
        { "verify, link lost", ConfigWordsAction::Verify, NarrowJob(), { { {}, Status::Gone } }, StepKind::LinkLost, "",
            false, "" },
        { "write", ConfigWordsAction::Write, NarrowJob(), { { { 0 } } }, StepKind::Done, "Write Completed\r\n", false,
            "" },
        { "write refused", ConfigWordsAction::Write, NarrowJob(), { { { 1 } } }, StepKind::Failed, "", true,
            "CFG WORD writen failed." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.reads = c.reads;
        const ConfigWordsOutcome outcome = RunConfigWords(c.action, link, c.job);
        EXPECT_EQ(outcome.kind, c.kind);
        const ConfigWordsReport report = ReportConfigWords(outcome);
        EXPECT_EQ(report.line, c.line);
        if (!report.line.empty()) {
            EXPECT_EQ(report.lineIsError, c.error);
        }
        EXPECT_EQ(report.boxText, c.box);
    }
    EXPECT_EQ(ConfigWordsStartLine(ConfigWordsAction::Read), "Reading...\r\n");
    EXPECT_EQ(ConfigWordsStartLine(ConfigWordsAction::Verify), "Verifying...\r\n");
    EXPECT_EQ(ConfigWordsStartLine(ConfigWordsAction::Write), "Writing...\r\n");
}

TEST_F(ConfigWordsTest, ReadFillsTheDescriptorAndBufferThreeShowsItsFirstSixteenBytes)
{
    CPicConfigInfo pic;
    pic.m_nConfigBytes = 32;
    EXPECT_FALSE(pic.m_bConfigSupplied);
    Bytes chip(32);
    for (std::size_t i = 0; i < chip.size(); ++i)
        chip[i] = static_cast<std::uint8_t>(0xA0 + i);
    Bytes shown(16, 0xFF);
    StoreReadConfigWords(pic, chip, shown);
    EXPECT_TRUE(pic.m_bConfigSupplied);
    EXPECT_TRUE(std::equal(chip.begin(), chip.end(), pic.m_ConfigValue.begin()));
    EXPECT_EQ(shown, Bytes(chip.begin(), chip.begin() + 16));

    // A 14-bit word: buffer 3 holds its two bytes.
    CPicConfigInfo word;
    word.m_ConfigValue[0] = 0x72;
    word.m_ConfigValue[1] = 0x3F;
    Bytes two(16, 0xFF);
    ShowConfigWords(word, two);
    EXPECT_EQ(two, (Bytes { 0x72, 0x3F }));
    EXPECT_FALSE(word.m_bConfigSupplied) << "showing them supplies nothing";

    const ConfigWordsJob job = MakeConfigWordsJob(word);
    EXPECT_EQ(job.coreBits, 0);
    EXPECT_EQ(job.address, 0x2007u);
    EXPECT_EQ(job.length, 2);
    EXPECT_EQ(job.values[1], 0x3F);
}

TEST_F(ConfigWordsTest, ClassesTakeTheirDescriptorWithoutSuppliedWords)
{
    InitDeviceClassTable();
    for (int index = kFirstPicClass; index <= kLastPicClass; ++index) {
        const CDeviceClass copy = g_DeviceClassTable[static_cast<std::size_t>(index)];
        ASSERT_TRUE(copy.m_pPicConfig) << index;
        EXPECT_FALSE(copy.m_pPicConfig->m_bConfigSupplied) << index;
        EXPECT_EQ(ConfigLengthRefusal(copy.m_pPicConfig->m_nConfigBytes), "") << index;
    }
}

TEST_F(ConfigWordsTest, AFileSectionSuppliesTheWords)
{
    CDeviceClass device;
    device.m_pPicConfig = PicConfigPtr(CPicConfigInfo {});
    buffer::CBufferModel model;
    model.ConfigWord() = { 0x72, 0x3F };
    StoreConfigWord(model, device);
    EXPECT_TRUE(device.m_pPicConfig->m_bConfigSupplied);
    EXPECT_EQ(device.m_pPicConfig->m_ConfigValue[1], 0x3F);
}

TEST_F(ConfigWordsTest, SuppliedWordsGoIntoConfigurationMemoryWhereTheyLie)
{
    CPicConfigInfo pic; // 14-bit layout: ID locations from 0x2000, the word at 0x2007
    pic.m_ConfigValue[0] = 0x72;
    pic.m_ConfigValue[1] = 0x3F;
    Bytes memory(16, 0xFF);
    EXPECT_FALSE(PutConfigWordsInConfigMemory(pic, memory)) << "not supplied";
    EXPECT_EQ(memory, Bytes(16, 0xFF));

    pic.m_bConfigSupplied = true;
    EXPECT_TRUE(PutConfigWordsInConfigMemory(pic, memory));
    Bytes expected(16, 0xFF);
    expected[14] = 0x3F;
    expected[15] = 0x72;
    EXPECT_EQ(memory, expected);
    EXPECT_FALSE(PutConfigWordsInConfigMemory(pic, memory)) << "already there";

    Bytes shorter(14, 0xFF); // the word lies past its end
    EXPECT_FALSE(PutConfigWordsInConfigMemory(pic, shorter));
    EXPECT_EQ(shorter, Bytes(14, 0xFF));

    CPicConfigInfo wide; // a PIC18's bytes lie apart from its configuration memory
    wide.m_nCoreBits = 16;
    wide.m_bConfigSupplied = true;
    wide.m_nConfigAddress = 0x300000;
    wide.m_nIdAddress = 0x200000;
    wide.m_nConfigBytes = 14;
    EXPECT_FALSE(PutConfigWordsInConfigMemory(wide, memory));
}

TEST_F(ConfigWordsTest, SetCfgBitsByClass)
{
    struct Case {
        int classIndex;
        bool descriptor;
        CfgBitsAction action;
    };
    const Case cases[] = {
        { 321, true, CfgBitsAction::ShowConfigWords },
        { 325, true, CfgBitsAction::ShowConfigWords },
        { 313, true, CfgBitsAction::ConfigurationDialog },
        { 320, true, CfgBitsAction::ConfigurationDialog },
        { 27, false, CfgBitsAction::AvrFuseDialog },
        { 38, false, CfgBitsAction::AvrFuseDialog },
        { 41, false, CfgBitsAction::EepromAddressDialog },
        { 44, false, CfgBitsAction::EepromAddressDialog },
        { 55, false, CfgBitsAction::EepromAddressDialog },
        { 26, false, CfgBitsAction::NotSupported },
        { 39, false, CfgBitsAction::NotSupported },
        { 56, false, CfgBitsAction::NotSupported },
        { 100, false, CfgBitsAction::NotSupported },
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlanSetCfgBits(c.classIndex, c.descriptor), c.action) << c.classIndex;
}

TEST_F(ConfigWordsTest, AStopCutsTheNarrowPauseShortAndSendsNoCommand)
{
    std::stop_source stop;
    stop.request_stop();
    ScriptedLink link;
    EXPECT_EQ(ReadConfigWordsExchange(link, NarrowJob(), stop.get_token()).kind, StepKind::Failed);
    EXPECT_EQ(link.sent, (Packets { { P_POWER_DOWN }, { P_POWER_DOWN } }));
}

} // namespace
