#include "operations/StepExchange.h"

#include "LanguageFixture.h"
#include "ScriptedExchangeLink.h"

#include "link/ProgrammerCommand.h"

#include <deque>
#include <vector>

namespace {

using Status = ExchangeLink::Status;

using tonrig::test::Packet;
using tonrig::test::ScriptedLink;

using Bytes = std::vector<std::vector<std::uint8_t>>;

class StepExchangeTest : public BuiltInTexts { };

TEST_F(StepExchangeTest, SignatureExchangeAndItsVerdict)
{
    struct Case {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        int goneAtSend;
        Bytes sent;
        StepKind kind;
        IdCheckVerdict verdict;
        const char* line;
        bool ask;
    };
    const Bytes full { { P_SIGNATURE }, { P_POWER_DOWN } };
    const Case cases[] = {
        { "match", { { Packet({ 0x1E, 0x95, 0x0F }) } }, -1, full, StepKind::Done, IdCheckVerdict::Match,
            "ID check OK\r\n", false },
        { "mismatch", { { Packet({ 0x1E, 0x95, 0x14 }) } }, -1, full, StepKind::Done, IdCheckVerdict::Mismatch,
            "ID check failed.\r\n", true },
        { "no chip", { { std::vector<std::uint8_t>(64, 0xFF) } }, -1, full, StepKind::Done, IdCheckVerdict::NoChip,
            "ID check failed.\r\n", true },
        { "no answer still powers down", {}, -1, full, StepKind::Failed, IdCheckVerdict::Mismatch,
            "ID check failed.\r\n", false },
        { "gone on the read", { { {}, Status::Gone } }, -1, { { P_SIGNATURE } }, StepKind::LinkLost,
            IdCheckVerdict::Mismatch, "", false },
        { "gone on the command", {}, 0, {}, StepKind::LinkLost, IdCheckVerdict::Mismatch, "", false },
        { "gone on the power-down", { { Packet({ 0x1E, 0x95, 0x0F }) } }, 1, { { P_SIGNATURE } }, StepKind::LinkLost,
            IdCheckVerdict::Mismatch, "", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.reads = c.reads;
        link.goneAtSend = c.goneAtSend;
        const ExchangeResult exchange = RunSignatureExchange(link);
        EXPECT_EQ(link.voltages, std::vector<ExchangeLink::Voltages> { ExchangeLink::Voltages::Read });
        EXPECT_EQ(link.sent, c.sent);
        const IdCheckStep step = DecideIdCheck(exchange, 3, "1E950F", false, 0);
        EXPECT_EQ(step.kind, c.kind);
        EXPECT_EQ(step.verdict, c.verdict);
        EXPECT_EQ(step.line, c.line);
        EXPECT_EQ(step.ask, c.ask);
    }
}

TEST_F(StepExchangeTest, LockExchangeAndItsOutcome)
{
    struct Case {
        const char* name;
        std::deque<ScriptedLink::Answer> reads;
        bool done;
        const char* line;
        const char* box;
    };
    const Case cases[] = {
        { "locked", { { { 0x00 } } }, true, "Device locked.\r\n", "" },
        { "refused by the chip", { { { 0x01 } } }, false, "Lock failed.\r\n", "Lock failed." },
        { "no answer", {}, false, "Lock failed.\r\n", "Lock failed." },
        { "gone", { { {}, Status::Gone } }, false, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.reads = c.reads;
        const ExchangeResult exchange = RunLockExchange(link, 3);
        EXPECT_EQ(link.voltages, std::vector<ExchangeLink::Voltages> { ExchangeLink::Voltages::Write });
        ASSERT_FALSE(link.sent.empty());
        EXPECT_EQ(link.sent[0], (std::vector<std::uint8_t> { P_SET_LOCK, 3 }));
        if (exchange.kind != StepKind::LinkLost) {
            EXPECT_EQ(link.sent.back(), std::vector<std::uint8_t> { P_POWER_DOWN });
        }
        const LockOutcome outcome = DecideLock(exchange, 3);
        EXPECT_EQ(outcome.done, c.done);
        EXPECT_EQ(outcome.line, c.line);
        EXPECT_EQ(outcome.boxText, c.box);
    }
}

} // namespace
