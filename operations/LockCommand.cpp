#include "operations/LockCommand.h"

#include "operations/ChipIdCheck.h"
#include "operations/DeviceIdCommand.h"
#include "operations/OperationText.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

namespace {

constexpr int kRomBytes = 8;
constexpr std::uint8_t kProtectLevel = 1;
constexpr int kTextLock = 24;
constexpr int kTextError = 50;

} // namespace

LockPlan PlanLock(const CDeviceClass& device, int classIndex, bool unattended)
{
    LockPlan plan;
    plan.unattended = unattended;
    if (IsOneWireClass(classIndex)) {
        plan.action = LockAction::ReadRom;
    } else if (device.m_strName.find("AT34C02") != std::string::npos) {
        plan.action = LockAction::Protect;
        plan.level = kProtectLevel;
        plan.ask = !unattended;
    } else if (const auto level = LockLevel(device.m_strLockText)) {
        plan.action = LockAction::SetLevel;
        plan.level = *level;
    }
    return plan;
}

std::string LockQuestion()
{
    return "This write protection cannot be undone.\r\nContinue?";
}

std::string LockQuestionCaption()
{
    return g_Language.GetText(kTextLock);
}

std::string RomText(std::span<const std::uint8_t> rom)
{
    std::uint8_t b[kRomBytes] {};
    for (std::size_t i = 0; i < rom.size() && i < kRomBytes; ++i)
        b[i] = rom[i];
    return platform::Format(
        "64 bits ROM: %02X %02X %02X %02X %02X %02X %02X %02X", b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
}

LockDeviceResult ReadLockReply(const LockPlan& plan, const ExchangeResult& exchange)
{
    LockDeviceResult result;
    if (plan.action == LockAction::NotSupported) {
        result.line = std::string(kNotSupportedText) + "\r\n";
        if (!plan.unattended) {
            result.boxText = kNotSupportedText;
            result.boxCaption = platform::kAppTitle;
        }
        return result;
    }
    if (exchange.kind == StepKind::LinkLost) {
        result.kind = StepKind::LinkLost;
        return result;
    }
    if (plan.action == LockAction::ReadRom) {
        if (exchange.kind != StepKind::Done || exchange.reply.size() < kRomBytes) {
            result.kind = StepKind::Failed;
            result.line = std::string(kNoReplyText) + "\r\n";
            return result;
        }
        const std::string rom = RomText(std::span(exchange.reply).first(kRomBytes));
        result.line = rom + "\r\n";
        result.boxText = rom;
        result.boxCaption = platform::kAppTitle;
        return result;
    }

    const int byte0 = exchange.kind == StepKind::Done && !exchange.reply.empty() ? exchange.reply[0] : -1;
    const LockOutcome outcome = MakeLockOutcome(plan.level, byte0);
    result.kind = outcome.done ? StepKind::Done : StepKind::Failed;
    result.line = outcome.line;
    result.boxText = outcome.boxText;
    if (!result.boxText.empty())
        result.boxCaption = g_Language.GetText(kTextError);
    return result;
}

LockDeviceResult RunLockDevice(ExchangeLink& link, const LockPlan& plan)
{
    switch (plan.action) {
    case LockAction::ReadRom:
        return ReadLockReply(plan, RunSignatureExchange(link));
    case LockAction::Protect:
    case LockAction::SetLevel:
        return ReadLockReply(plan, RunLockExchange(link, plan.level));
    default:
        return ReadLockReply(plan, {});
    }
}
