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

namespace {

void TakeFuses(FuseExchange& out, const ExchangeResult& read)
{
    if (read.kind != StepKind::Done || read.reply.size() < 3) {
        out.kind = read.kind == StepKind::Done ? StepKind::Failed : read.kind;
        return;
    }
    std::copy_n(read.reply.begin(), 3, out.fuses.begin());
    out.fusesRead = true;
}

} // namespace

FuseExchange ReadFusesExchange(ExchangeLink& link)
{
    FuseExchange out;
    const std::uint8_t command[] = { P_READ_FUSE };
    TakeFuses(out, Exchange(link, ExchangeLink::Voltages::Read, command, kReplyPacketBytes));
    return out;
}

FuseExchange WriteFusesExchange(ExchangeLink& link, const std::array<std::uint8_t, 3>& fuses)
{
    FuseExchange out;
    link.SetVoltages(ExchangeLink::Voltages::Write);
    const std::uint8_t write[] = { P_WRITE_FUSE, fuses[0], fuses[1], fuses[2] };
    ExchangeLink::Status status = link.Send(write);
    std::uint8_t answer[kReplyPacketBytes] {};
    int n = status == ExchangeLink::Status::Ok ? link.Read(answer, status) : 0;
    if (n > 0) {
        out.answer = answer[0];
        if (out.answer == 0) {
            const std::uint8_t read[] = { P_READ_FUSE };
            status = link.Send(read);
            std::uint8_t reply[kReplyPacketBytes] {};
            n = status == ExchangeLink::Status::Ok ? link.Read(reply, status) : 0;
            if (n >= 3) {
                std::copy_n(reply, 3, out.fuses.begin());
                out.fusesRead = true;
            }
        }
    }
    if (n <= 0 || (out.answer == 0 && n < 3))
        out.kind = KindOf(status == ExchangeLink::Status::Ok ? ExchangeLink::Status::Timeout : status);
    if (out.kind != StepKind::LinkLost) {
        const std::uint8_t powerDown[] = { P_POWER_DOWN };
        if (link.Send(powerDown) == ExchangeLink::Status::Gone)
            out.kind = StepKind::LinkLost;
    }
    return out;
}

ExchangeResult SetEepromAddressExchange(ExchangeLink& link, std::uint8_t controlByte)
{
    const std::uint8_t command[] = { P_2051_Init_24C, controlByte };
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
