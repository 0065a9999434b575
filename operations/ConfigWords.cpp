#include "operations/ConfigWords.h"

#include "catalogue/DeviceClass.h"
#include "link/ProgrammerCommand.h"
#include "operations/OperationText.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <algorithm>

namespace {

constexpr int kTextDevice = 3;
constexpr int kTextReading = 75;
constexpr int kTextWriting = 76;
constexpr int kTextVerifying = 77;
constexpr int kTextVerified = 84;
constexpr int kTextAddress = 99;
constexpr int kTextBuffer = 100;
constexpr int kTextVerifyFailed = 103;
constexpr int kTextWriteCompleted = 157;
constexpr int kTextConfiguration = 174;

// The narrow cores' commands want the socket powered down and settled first.
constexpr auto kSettle = std::chrono::milliseconds(500);

StepKind KindOf(ExchangeLink::Status status)
{
    return status == ExchangeLink::Status::Gone ? StepKind::LinkLost : StepKind::Failed;
}

// Sends `packet`; false, with `kind` set, when it did not go.
bool Send(ExchangeLink& link, std::span<const std::uint8_t> packet, StepKind& kind)
{
    const ExchangeLink::Status status = link.Send(packet);
    if (status == ExchangeLink::Status::Ok)
        return true;
    kind = KindOf(status);
    return false;
}

// One reply into `reply` (resized to what came); false, with `kind` set, when none came.
bool Receive(ExchangeLink& link, std::vector<std::uint8_t>& reply, StepKind& kind)
{
    reply.assign(kReplyPacketBytes, 0);
    ExchangeLink::Status status = ExchangeLink::Status::Ok;
    const int n = link.Read(reply, status);
    if (n <= 0) {
        reply.clear();
        kind = KindOf(status == ExchangeLink::Status::Ok ? ExchangeLink::Status::Timeout : status);
        return false;
    }
    reply.resize(static_cast<std::size_t>(std::min(n, kReplyPacketBytes)));
    return true;
}

bool PowerDown(ExchangeLink& link, StepKind& kind)
{
    const std::uint8_t packet[] = { P_POWER_DOWN };
    return Send(link, packet, kind);
}

// The last power-down: it runs whatever happened before, unless the programmer is gone.
void FinalPowerDown(ExchangeLink& link, StepKind& kind)
{
    if (kind == StepKind::LinkLost)
        return;
    StepKind sent = StepKind::Done;
    if (!PowerDown(link, sent) && sent == StepKind::LinkLost)
        kind = StepKind::LinkLost;
}

// The narrow cores' head: P_POWER_DOWN, the pause, then [code, a3..a0, length, 7].
bool SettleAndHead(ExchangeLink& link, const ConfigWordsJob& job, std::uint8_t code, std::vector<std::uint8_t>& packet,
    StepKind& kind, std::stop_token stop)
{
    if (!PowerDown(link, kind))
        return false;
    if (!platform::GetClock().SleepFor(kSettle, stop)) {
        kind = StepKind::Failed;
        return false;
    }
    const std::uint32_t a = job.address;
    packet = { code, static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
        static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(job.length),
        static_cast<std::uint8_t>(kPicMemConfigType) };
    return true;
}

bool LengthOk(int length)
{
    return length >= kConfigWordsMinLength && length <= kConfigWordsMaxLength && length % 2 == 0;
}

std::uint32_t WordAt(const std::array<std::uint8_t, 32>& bytes, int k)
{
    return bytes[static_cast<std::size_t>(2 * k)] | (bytes[static_cast<std::size_t>(2 * k + 1)] << 8);
}

std::string Text(int number)
{
    return g_Language.GetText(number);
}

std::string VerifyFailedText()
{
    return Text(kTextConfiguration) + " " + Text(kTextVerifyFailed);
}

std::size_t ShownCount(const CPicConfigInfo& pic)
{
    const int length = std::clamp(pic.m_nConfigBytes, 0, static_cast<int>(pic.m_ConfigValue.size()));
    return std::min(static_cast<std::size_t>(length), kConfigWordsShown);
}

} // namespace

ConfigWordsJob MakeConfigWordsJob(const CPicConfigInfo& pic)
{
    ConfigWordsJob job;
    job.coreBits = pic.m_nCoreBits;
    job.address = static_cast<std::uint32_t>(pic.m_nConfigAddress);
    job.length = pic.m_nConfigBytes;
    job.mask = pic.m_ConfigMask;
    job.present = pic.m_ConfigPresent;
    job.values = pic.m_ConfigValue;
    return job;
}

std::string ConfigLengthRefusal(int length)
{
    if (LengthOk(length))
        return {};
    return platform::Format(
        "Configuration words: %d bytes is no length they can have (an even 2 to 32); nothing was sent.\r\n", length);
}

std::string ConfigWordsStartLine(ConfigWordsAction action)
{
    switch (action) {
    case ConfigWordsAction::Read:
        return Text(kTextReading) + "\r\n";
    case ConfigWordsAction::Verify:
        return Text(kTextVerifying) + "\r\n";
    case ConfigWordsAction::Write:
        return Text(kTextWriting) + "\r\n";
    }
    return {};
}

ConfigWordsRead ReadConfigWordsExchange(ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop)
{
    ConfigWordsRead result;
    if (!LengthOk(job.length)) {
        result.kind = StepKind::Failed;
        return result;
    }
    const auto length = static_cast<std::size_t>(job.length);
    link.SetVoltages(ExchangeLink::Voltages::Read);
    std::vector<std::uint8_t> bytes(length, 0xFF);
    std::vector<std::uint8_t> reply;
    StepKind kind = StepKind::Done;
    if (job.WordByWord()) {
        for (std::size_t i = 0; i < length && kind == StepKind::Done; i += 2) {
            const std::uint32_t a = job.address + static_cast<std::uint32_t>(i);
            const std::uint8_t packet[] = { P_READ, 0, static_cast<std::uint8_t>(a >> 16),
                static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a), 0, 0, 0, 2 };
            if (!Send(link, packet, kind) || !Receive(link, reply, kind))
                break;
            if (reply.size() < 2) {
                kind = StepKind::Failed;
                break;
            }
            // The chip gives each word high byte first.
            bytes[i] = reply[1];
            bytes[i + 1] = reply[0];
            if (!Receive(link, reply, kind))
                break;
            if (reply[0] != 0)
                kind = StepKind::Failed;
        }
    } else {
        std::vector<std::uint8_t> packet;
        if (SettleAndHead(link, job, P_PIC_MEM_READ, packet, kind, stop)) {
            packet.insert(packet.end(), { 0, 0, 0 });
            if (Send(link, packet, kind) && Receive(link, reply, kind)) {
                if (reply.size() < length)
                    kind = StepKind::Failed;
                else
                    for (std::size_t i = 0; i < length; i += 2) {
                        bytes[i] = reply[i + 1];
                        bytes[i + 1] = reply[i];
                    }
            }
        }
    }
    FinalPowerDown(link, kind);
    result.kind = kind;
    if (kind == StepKind::Done)
        result.bytes = std::move(bytes);
    return result;
}

StepKind WriteConfigWordsExchange(ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop)
{
    if (!LengthOk(job.length))
        return StepKind::Failed;
    const auto length = static_cast<std::size_t>(job.length);
    link.SetVoltages(ExchangeLink::Voltages::Write);
    std::vector<std::uint8_t> reply;
    StepKind kind = StepKind::Done;
    if (job.WordByWord()) {
        for (std::size_t i = 0; i < length && kind == StepKind::Done; i += 2) {
            const std::uint8_t packet[] = { P_WRITE_CFG_WORD_OK, static_cast<std::uint8_t>(i),
                static_cast<std::uint8_t>(i + 1), job.values[i], job.values[i + 1] };
            if (!Send(link, packet, kind) || !Receive(link, reply, kind))
                break;
            // [0]; a failure is [1, address, read back, intended].
            if (reply[0] != 0)
                kind = StepKind::Failed;
        }
    } else {
        std::vector<std::uint8_t> packet;
        if (SettleAndHead(link, job, P_PIC_MEM_WRITE, packet, kind, stop)) {
            for (std::size_t i = 0; i < length; i += 2) {
                packet.push_back(job.values[i + 1]);
                packet.push_back(job.values[i]);
            }
            if (Send(link, packet, kind) && Receive(link, reply, kind) && (reply.size() != 1 || reply[0] != 0))
                kind = StepKind::Failed;
        }
    }
    FinalPowerDown(link, kind);
    return kind;
}

ConfigMismatch CompareConfigWords(const ConfigWordsJob& job, std::span<const std::uint8_t> device)
{
    ConfigMismatch mismatch;
    const int length = std::clamp(job.length, 0, static_cast<int>(job.values.size()));
    if (static_cast<int>(device.size()) < length) {
        mismatch.differs = true;
        mismatch.address = job.address;
        return mismatch;
    }
    if (job.WordByWord()) {
        const bool anyPresent
            = std::any_of(job.present.begin(), job.present.begin() + length, [](std::uint8_t p) { return p != 0; });
        for (int i = 0; i < length; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (anyPresent && job.present[at] == 0)
                continue;
            if (((job.values[at] ^ device[at]) & job.mask[at]) != 0) {
                mismatch = { true, false, job.address + static_cast<std::uint32_t>(i), job.values[at], device[at] };
                return mismatch;
            }
        }
        return mismatch;
    }
    std::array<std::uint8_t, 32> chip {};
    std::copy_n(device.begin(), length, chip.begin());
    for (int k = 0; k < length / 2; ++k) {
        const std::uint32_t expected = WordAt(job.values, k);
        const std::uint32_t read = WordAt(chip, k);
        if (((expected ^ read) & WordAt(job.mask, k)) != 0) {
            mismatch = { true, true, job.address + static_cast<std::uint32_t>(k), expected, read };
            return mismatch;
        }
    }
    return mismatch;
}

std::string ConfigMismatchLine(const ConfigMismatch& mismatch)
{
    const char* value = mismatch.words ? "%04X" : "%02X";
    return platform::Format("%s, %s=0x%s, %s=0x%s, %s=0x%s\r\n", VerifyFailedText().c_str(), Text(kTextAddress).c_str(),
        FormatAddress(mismatch.address).c_str(), Text(kTextBuffer).c_str(),
        platform::Format(value, static_cast<unsigned>(mismatch.expected)).c_str(), Text(kTextDevice).c_str(),
        platform::Format(value, static_cast<unsigned>(mismatch.device)).c_str());
}

ConfigWordsOutcome RunConfigWords(
    ConfigWordsAction action, ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop)
{
    ConfigWordsOutcome outcome;
    outcome.action = action;
    if (action == ConfigWordsAction::Write) {
        outcome.kind = WriteConfigWordsExchange(link, job, stop);
        return outcome;
    }
    ConfigWordsRead read = ReadConfigWordsExchange(link, job, stop);
    outcome.kind = read.kind;
    outcome.bytes = std::move(read.bytes);
    if (action == ConfigWordsAction::Verify && outcome.kind == StepKind::Done) {
        outcome.mismatch = CompareConfigWords(job, outcome.bytes);
        if (outcome.mismatch.differs)
            outcome.kind = StepKind::Failed;
    }
    return outcome;
}

ConfigWordsReport ReportConfigWords(const ConfigWordsOutcome& outcome)
{
    ConfigWordsReport report;
    if (outcome.kind == StepKind::LinkLost)
        return report;
    const bool done = outcome.kind == StepKind::Done;
    report.lineIsError = !done;
    switch (outcome.action) {
    case ConfigWordsAction::Read:
        if (!done)
            report.line = kConfigReadFailedLine;
        break;
    case ConfigWordsAction::Verify:
        if (done)
            report.line = Text(kTextVerified) + "\r\n";
        else if (outcome.mismatch.differs)
            report.line = ConfigMismatchLine(outcome.mismatch);
        else
            report.line = VerifyFailedText() + "\r\n";
        break;
    case ConfigWordsAction::Write:
        if (done)
            report.line = Text(kTextWriteCompleted) + "\r\n";
        else
            report.boxText = kConfigWriteFailedText;
        break;
    }
    return report;
}

void StoreReadConfigWords(CPicConfigInfo& pic, std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& shown)
{
    const std::size_t n = std::min(bytes.size(), pic.m_ConfigValue.size());
    std::copy_n(bytes.begin(), n, pic.m_ConfigValue.begin());
    pic.m_bConfigSupplied = true;
    ShowConfigWords(pic, shown);
}

void ShowConfigWords(const CPicConfigInfo& pic, std::vector<std::uint8_t>& shown)
{
    const std::size_t n = ShownCount(pic);
    shown.assign(pic.m_ConfigValue.begin(), pic.m_ConfigValue.begin() + static_cast<std::ptrdiff_t>(n));
}

bool PutConfigWordsInConfigMemory(const CPicConfigInfo& pic, std::vector<std::uint8_t>& configMemory)
{
    if (!pic.m_bConfigSupplied || pic.m_nCoreBits > 15 || !LengthOk(pic.m_nConfigBytes))
        return false;
    bool changed = false;
    for (int k = 0; k < pic.m_nConfigBytes / 2; ++k) {
        const std::int64_t word = static_cast<std::int64_t>(pic.m_nConfigAddress) + k - pic.m_nIdAddress;
        if (word < 0 || 2 * word + 1 >= static_cast<std::int64_t>(configMemory.size()))
            continue;
        const auto at = static_cast<std::size_t>(2 * word);
        const std::uint8_t high = pic.m_ConfigValue[static_cast<std::size_t>(2 * k + 1)];
        const std::uint8_t low = pic.m_ConfigValue[static_cast<std::size_t>(2 * k)];
        changed = changed || configMemory[at] != high || configMemory[at + 1] != low;
        configMemory[at] = high;
        configMemory[at + 1] = low;
    }
    return changed;
}

CfgBitsAction PlanSetCfgBits(int classIndex, bool hasDescriptor)
{
    if (hasDescriptor)
        return classIndex >= 321 && classIndex <= 325 ? CfgBitsAction::ShowConfigWords
                                                      : CfgBitsAction::ConfigurationDialog;
    if (classIndex >= 27 && classIndex <= 38)
        return CfgBitsAction::AvrFuseDialog;
    if (classIndex >= 41 && classIndex <= 55)
        return CfgBitsAction::EepromAddressDialog;
    return CfgBitsAction::NotSupported;
}
