// The OSCCAL word and the erase exchanges against a scripted link: the packets, the replies each
// one waits for, and how a short, missing or failing answer ends them.

#include "operations/OsccalWord.h"

#include "ScriptedExchangeLink.h"

#include "link/ProgrammerCommand.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

using Status = ExchangeLink::Status;
using Bytes = std::vector<std::uint8_t>;

using tonrig::test::ScriptedLink;

Bytes Packet(std::initializer_list<std::uint8_t> head, std::uint8_t fill = 0xFF)
{
    Bytes p(head);
    p.resize(64, fill);
    return p;
}

class OsccalExchange : public testing::Test {
protected:
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    ScriptedLink link;
};

TEST_F(OsccalExchange, ReadSendsTheWordAddressAndTakesTheWordHighFirst)
{
    link.reads.push_back({ Packet({ 0x34, 0x80 }) });
    const OsccalRead read = ReadOsccalWord(link, 0x12345);
    EXPECT_EQ(read.kind, StepKind::Done);
    EXPECT_EQ(read.word, (OsccalWord { 0x34, 0x80 }));
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0], (Bytes { P_PIC_MEM_READ, 0x00, 0x01, 0x23, 0x45, 2, 6, 0, 0, 0 }));
    EXPECT_EQ(link.sent[1], (Bytes { P_POWER_DOWN }));
    EXPECT_EQ(link.voltages, (std::vector { ExchangeLink::Voltages::Read }));
}

TEST_F(OsccalExchange, ReadFailuresStillPowerDown)
{
    struct Row {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        int goneAtSend;
        StepKind kind;
        bool poweredDown;
    };
    const Row rows[] = {
        { "no answer", {}, -1, StepKind::Failed, true },
        { "one byte (a refused type)", { { Bytes { 1 } } }, -1, StepKind::Failed, true },
        { "gone while reading", { { Bytes {}, Status::Gone } }, -1, StepKind::LinkLost, false },
        { "gone at the send", {}, 0, StepKind::LinkLost, false },
        { "gone at the power-down", { { Packet({ 0x34, 0x80 }) } }, 1, StepKind::LinkLost, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        link = ScriptedLink {};
        link.reads = row.reads;
        link.goneAtSend = row.goneAtSend;
        EXPECT_EQ(ReadOsccalWord(link, 0x3FF).kind, row.kind);
        EXPECT_EQ(link.Count(P_POWER_DOWN), row.poweredDown ? 1 : 0);
    }
}

TEST_F(OsccalExchange, WriteIsDoneOnlyOnTheOneByteZero)
{
    struct Row {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        StepKind kind;
    };
    const Row rows[] = {
        { "[0]", { { Bytes { 0 } } }, StepKind::Done },
        { "[1]", { { Bytes { 1 } } }, StepKind::Failed },
        { "a 64-byte reply starting with 0", { { Packet({ 0 }, 0) } }, StepKind::Failed },
        { "the 7-byte failure", { { Bytes { 1, 0, 0, 3, 0xFF, 0x3F, 0x34 } } }, StepKind::Failed },
        { "no answer", {}, StepKind::Failed },
        { "gone", { { Bytes {}, Status::Gone } }, StepKind::LinkLost },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        link = ScriptedLink {};
        link.reads = row.reads;
        const OsccalWord word { 0x34, 0x80 };
        EXPECT_EQ(WriteOsccal(link, 0x3FF, word), row.kind);
        ASSERT_FALSE(link.sent.empty());
        EXPECT_EQ(link.sent[0], (Bytes { P_PIC_MEM_WRITE, 0, 0, 0x03, 0xFF, 2, 7, 0x34, 0x80 }));
        EXPECT_EQ(link.voltages, (std::vector { ExchangeLink::Voltages::Write }));
    }
}

TEST_F(OsccalExchange, TripleEraseReadsPastKeepAlivesToEachFinalStatus)
{
    // Keep-alives between the finals: reading one reply per packet would take a [2] as the
    // second erase's answer and leave the rest for whoever reads next.
    link.reads
        = { { Bytes { 2 } }, { Bytes { 2 } }, { Bytes { 0 } }, { Bytes { 2 } }, { Bytes { 0 } }, { Bytes { 0 } } };
    const platform::Duration before = clock->Now();
    EXPECT_EQ(RunTripleErase(link, 0x05), StepKind::Done);
    EXPECT_GE(clock->Now() - before, std::chrono::milliseconds(100)) << "the pause after the third";
    EXPECT_TRUE(link.reads.empty()) << "every reply consumed";
    EXPECT_EQ(link.sent, (std::vector<Bytes>(3, Bytes { P_ERASE, 0x05 })));
}

TEST_F(OsccalExchange, AStopDuringTheTripleErasesPauseEndsItPoweredDown)
{
    link.reads = { { Bytes { 0 } }, { Bytes { 0 } }, { Bytes { 0 } } };
    std::stop_source source;
    source.request_stop();
    const platform::Duration before = clock->Now();
    EXPECT_EQ(RunTripleErase(link, 0, source.get_token()), StepKind::Failed);
    EXPECT_LT(clock->Now() - before, std::chrono::milliseconds(100)) << "the pause ran to its end";
    EXPECT_EQ(link.Count(P_ERASE), 3);
    EXPECT_EQ(link.Count(P_POWER_DOWN), 1);
}

TEST_F(OsccalExchange, TripleEraseFailures)
{
    struct Row {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        StepKind kind;
        int erases;
    };
    const Row rows[] = {
        { "[1] on the second", { { Bytes { 0 } }, { Bytes { 2 } }, { Bytes { 1 } } }, StepKind::Failed, 2 },
        { "silence after keep-alives", { { Bytes { 2 } }, { Bytes { 2 } } }, StepKind::Failed, 1 },
        { "gone", { { Bytes { 0 } }, { Bytes {}, Status::Gone } }, StepKind::LinkLost, 2 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        link = ScriptedLink {};
        link.reads = row.reads;
        EXPECT_EQ(RunTripleErase(link, 0), row.kind);
        EXPECT_EQ(link.Count(P_ERASE), row.erases);
        EXPECT_EQ(link.Count(P_POWER_DOWN), row.kind == StepKind::LinkLost ? 0 : 1);
    }
}

TEST_F(OsccalExchange, PrologueReadsTheWordFirstAndAFailedReadErasesNothing)
{
    EraseStart start;
    start.readsOsccal = true;
    start.osccalAddress = 0x3FF;
    start.tripleErase = true;
    start.interactive = false;

    link.reads = { { Packet({ 0x34, 0x80 }) }, { Bytes { 0 } }, { Bytes { 0 } }, { Bytes { 0 } } };
    ErasePrologue prologue = RunErasePrologue(link, start, 0);
    EXPECT_EQ(prologue.kind, StepKind::Done);
    EXPECT_EQ(prologue.word, (OsccalWord { 0x34, 0x80 }));
    ASSERT_EQ(link.sent.size(), 5u);
    EXPECT_EQ(link.sent[0][0], P_PIC_MEM_READ);
    EXPECT_EQ(link.Count(P_ERASE), 3);

    link = ScriptedLink {};
    link.reads = { { Bytes { 1 } } };
    prologue = RunErasePrologue(link, start, 0);
    EXPECT_TRUE(prologue.osccalFailed);
    EXPECT_EQ(prologue.kind, StepKind::Failed);
    EXPECT_EQ(link.Count(P_ERASE), 0);

    // An interactive start only reads.
    start.tripleErase = false;
    link = ScriptedLink {};
    link.reads = { { Packet({ 0x12, 0x34 }) } };
    prologue = RunErasePrologue(link, start, 0);
    EXPECT_EQ(prologue.kind, StepKind::Done);
    EXPECT_EQ(link.Count(P_ERASE), 0);
}

TEST_F(OsccalExchange, RestoreWritesReadsBackAndCompares)
{
    struct Row {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        OsccalRestoreEnd end;
        int sends;
    };
    const Row rows[] = {
        { "restored", { { Bytes { 0 } }, { Packet({ 0x34, 0x80 }) } }, OsccalRestoreEnd::Restored, 3 },
        { "did not stick", { { Bytes { 0 } }, { Packet({ 0x3F, 0xFF }) } }, OsccalRestoreEnd::Mismatch, 3 },
        { "no read-back", { { Bytes { 0 } } }, OsccalRestoreEnd::Mismatch, 3 },
        { "write refused", { { Bytes { 1 } } }, OsccalRestoreEnd::WriteFailed, 2 },
        { "gone at the write", { { Bytes {}, Status::Gone } }, OsccalRestoreEnd::LinkLost, 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        link = ScriptedLink {};
        link.reads = row.reads;
        const OsccalRestore restore = RunOsccalRestore(link, 0x3FF, { 0x34, 0x80 });
        EXPECT_EQ(restore.end, row.end);
        EXPECT_EQ(static_cast<int>(link.sent.size()), row.sends);
        if (row.end != OsccalRestoreEnd::LinkLost) {
            EXPECT_EQ(link.sent.back(), (Bytes { P_POWER_DOWN })) << "the socket is left unpowered";
        }
    }
}

} // namespace
