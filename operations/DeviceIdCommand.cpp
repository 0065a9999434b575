#include "operations/DeviceIdCommand.h"

#include "catalogue/DeviceIdDecoder.h"
#include "platform/TextFormat.h"

namespace {

constexpr int kMinSignatureBytes = 2;
constexpr int kMaxSignatureBytes = 6;

} // namespace

DeviceIdPlan PlanDeviceId(const CDeviceClass& device, int classIndex)
{
    DeviceIdPlan plan;
    if (UsesIdWord(classIndex)) {
        const CPicConfigInfo* pic = device.m_pPicConfig.get();
        if (!pic || pic->m_nIdMask == 0)
            return plan;
        plan.verdict = DeviceIdVerdict::Read;
        plan.word = true;
        plan.length = 2;
        plan.mask = pic->m_nIdMask;
        plan.wordBits = pic->m_nCoreBits == 16 ? 16 : 14;
    } else {
        const int length = SignatureLength(device);
        if (length == 0)
            return plan;
        plan.length = length;
        plan.verdict = length < kMinSignatureBytes || length > kMaxSignatureBytes ? DeviceIdVerdict::BadLength
                                                                                  : DeviceIdVerdict::Read;
    }
    plan.askEprom = plan.verdict == DeviceIdVerdict::Read && device.m_nType == kCategoryEprom;
    return plan;
}

std::string DeviceIdRefusalText(DeviceIdVerdict verdict)
{
    switch (verdict) {
    case DeviceIdVerdict::NotSupported:
        return kNotSupportedText;
    case DeviceIdVerdict::BadLength:
        return kSignatureLengthErrorText;
    default:
        return {};
    }
}

DeviceIdReading ReadDeviceIdReply(const DeviceIdPlan& plan, const ExchangeResult& exchange)
{
    DeviceIdReading reading;
    if (exchange.kind == StepKind::LinkLost) {
        reading.kind = StepKind::LinkLost;
        return reading;
    }
    if (plan.verdict != DeviceIdVerdict::Read || exchange.kind != StepKind::Done
        || exchange.reply.size() < static_cast<std::size_t>(plan.length)) {
        reading.kind = StepKind::Failed;
        reading.line = std::string(kNoReplyText) + "\r\n";
        return reading;
    }

    if (plan.word) {
        const unsigned word = static_cast<unsigned>(exchange.reply[0]) << 8 | exchange.reply[1];
        const unsigned wordMask = plan.wordBits >= 16 ? 0xFFFFu : (1u << plan.wordBits) - 1;
        reading.id = platform::Format("%04x", word & plan.mask);
        reading.revision = platform::Format("%x", word & ~static_cast<unsigned>(plan.mask) & wordMask);
        reading.code = std::string(kMicrochipCode);
        reading.length = 2;
        return reading;
    }

    for (int i = 0; i < plan.length; ++i)
        reading.id += platform::Format("%02x", exchange.reply[static_cast<std::size_t>(i)]);
    reading.length = plan.length;
    return reading;
}

DeviceIdReading RunDeviceId(ExchangeLink& link, const DeviceIdPlan& plan)
{
    return ReadDeviceIdReply(plan, RunSignatureExchange(link));
}
