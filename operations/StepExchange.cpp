#include "operations/StepExchange.h"

#include "link/ProgrammerCommand.h"
#include "operations/ChipIdCheck.h"

#include <algorithm>

namespace {

StepKind KindOf(ExchangeLink::Status status)
{
    return status == ExchangeLink::Status::Gone ? StepKind::LinkLost : StepKind::Failed;
}

// One command and its reply of `replyBytes`, between the voltages and the power-down.
ExchangeResult Exchange(
    ExchangeLink& link, ExchangeLink::Voltages voltages, std::span<const std::uint8_t> command, int replyBytes)
{
    ExchangeResult result;
    link.SetVoltages(voltages);
    ExchangeLink::Status status = link.Send(command);
    if (status != ExchangeLink::Status::Ok)
        result.kind = KindOf(status);
    else {
        result.reply.resize(static_cast<std::size_t>(replyBytes));
        const int n = link.Read(result.reply, status);
        result.reply.resize(static_cast<std::size_t>(n > 0 ? std::min(n, replyBytes) : 0));
        if (n <= 0)
            result.kind = KindOf(status == ExchangeLink::Status::Ok ? ExchangeLink::Status::Timeout : status);
    }
    if (result.kind != StepKind::LinkLost) {
        const std::uint8_t powerDown[] = { P_POWER_DOWN };
        status = link.Send(powerDown);
        if (status == ExchangeLink::Status::Gone)
            result.kind = StepKind::LinkLost;
    }
    return result;
}

} // namespace

ExchangeResult RunSignatureExchange(ExchangeLink& link)
{
    const std::uint8_t command[] = { P_SIGNATURE };
    return Exchange(link, ExchangeLink::Voltages::Read, command, kReplyPacketBytes);
}

ExchangeResult RunLockExchange(ExchangeLink& link, std::uint8_t level)
{
    const std::uint8_t command[] = { P_SET_LOCK, level };
    return Exchange(link, ExchangeLink::Voltages::Write, command, kReplyPacketBytes);
}

IdCheckStep DecideIdCheck(
    const ExchangeResult& exchange, int length, std::string_view id, bool wordId, std::uint16_t mask)
{
    IdCheckStep step;
    if (exchange.kind != StepKind::Done) {
        step.kind = exchange.kind;
        step.verdict = IdCheckVerdict::Mismatch;
        if (exchange.kind == StepKind::Failed)
            step.line = IdCheckLine(IdCheckVerdict::Mismatch);
        return step;
    }
    step.verdict = CompareChipId(exchange.reply, length, id, wordId, mask);
    step.line = IdCheckLine(step.verdict);
    step.ask = !IdCheckGoesOn(step.verdict, false);
    return step;
}

LockOutcome DecideLock(const ExchangeResult& exchange, std::uint8_t level)
{
    if (exchange.kind == StepKind::LinkLost) {
        LockOutcome lost;
        lost.done = false;
        return lost;
    }
    const int byte0 = exchange.kind == StepKind::Done && !exchange.reply.empty() ? exchange.reply[0] : -1;
    return MakeLockOutcome(level, byte0);
}
