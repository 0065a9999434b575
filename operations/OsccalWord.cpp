#include "operations/OsccalWord.h"

#include "link/ProgrammerCommand.h"
#include "platform/Clock.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

OsccalWord g_OscCalSaved {};

namespace {

constexpr int kSilentReadsBeforeFailure = 3;
// An erase answers about once a second; this bounds a programmer that keeps answering [2].
constexpr int kMostKeepAlives = 1200;
constexpr int kMostWriteData = 57;

StepKind KindOf(ExchangeLink::Status status)
{
    return status == ExchangeLink::Status::Gone ? StepKind::LinkLost : StepKind::Failed;
}

void PutAddress(std::uint8_t* p, std::uint32_t address)
{
    p[0] = static_cast<std::uint8_t>(address >> 24);
    p[1] = static_cast<std::uint8_t>(address >> 16);
    p[2] = static_cast<std::uint8_t>(address >> 8);
    p[3] = static_cast<std::uint8_t>(address);
}

// P_POWER_DOWN; a programmer gone turns `kind` into LinkLost.
StepKind PowerDown(ExchangeLink& link, StepKind kind)
{
    if (kind == StepKind::LinkLost)
        return kind;
    const std::uint8_t packet[] = { P_POWER_DOWN };
    return link.Send(packet) == ExchangeLink::Status::Gone ? StepKind::LinkLost : kind;
}

// One P_ERASE and the replies to it until its final status.
StepKind EraseOnce(ExchangeLink& link, std::uint8_t option)
{
    const std::uint8_t packet[] = { P_ERASE, option };
    ExchangeLink::Status status = link.Send(packet);
    if (status != ExchangeLink::Status::Ok)
        return KindOf(status);
    std::array<std::uint8_t, kReplyPacketBytes> reply {};
    int silent = 0;
    for (int replies = 0; replies < kMostKeepAlives;) {
        const int n = link.Read(reply, status);
        if (n <= 0) {
            if (status == ExchangeLink::Status::Gone)
                return StepKind::LinkLost;
            if (++silent >= kSilentReadsBeforeFailure)
                return StepKind::Failed;
            continue;
        }
        silent = 0;
        ++replies;
        if (reply[0] == 0)
            return StepKind::Done;
        if (reply[0] == 1)
            return StepKind::Failed;
    }
    return StepKind::Failed;
}

} // namespace

StepKind ReadOsccal(
    ExchangeLink& link, std::uint32_t address, std::span<std::uint8_t> out, int length, std::uint8_t type)
{
    length = std::clamp(length, 1, kReplyPacketBytes);
    std::array<std::uint8_t, 10> packet { P_PIC_MEM_READ, 0, 0, 0, 0, static_cast<std::uint8_t>(length), type, 0, 0,
        0 };
    PutAddress(&packet[1], address);
    link.SetVoltages(ExchangeLink::Voltages::Read);
    StepKind kind = StepKind::Done;
    ExchangeLink::Status status = link.Send(packet);
    if (status != ExchangeLink::Status::Ok) {
        kind = KindOf(status);
    } else {
        std::array<std::uint8_t, kReplyPacketBytes> reply {};
        const int n = link.Read(reply, status);
        if (n <= 0 && status == ExchangeLink::Status::Gone)
            kind = StepKind::LinkLost;
        else if (n < length)
            kind = StepKind::Failed;
        if (n > 0)
            std::copy_n(reply.begin(), std::min<std::size_t>(static_cast<std::size_t>(n), out.size()), out.begin());
    }
    return PowerDown(link, kind);
}

OsccalRead ReadOsccalWord(ExchangeLink& link, std::uint32_t address)
{
    OsccalRead read;
    read.kind = ReadOsccal(link, address, read.word, 2, kOsccalReadType);
    return read;
}

StepKind WriteOsccal(ExchangeLink& link, std::uint32_t address, std::span<const std::uint8_t> data, std::uint8_t type)
{
    const std::size_t count = std::min<std::size_t>(data.size(), kMostWriteData);
    std::vector<std::uint8_t> packet { P_PIC_MEM_WRITE, 0, 0, 0, 0, static_cast<std::uint8_t>(count), type };
    PutAddress(&packet[1], address);
    packet.insert(packet.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
    link.SetVoltages(ExchangeLink::Voltages::Write);
    ExchangeLink::Status status = link.Send(packet);
    if (status != ExchangeLink::Status::Ok)
        return KindOf(status);
    std::array<std::uint8_t, kReplyPacketBytes> reply {};
    const int n = link.Read(reply, status);
    if (n <= 0)
        return status == ExchangeLink::Status::Gone ? StepKind::LinkLost : StepKind::Failed;
    return n == 1 && reply[0] == 0 ? StepKind::Done : StepKind::Failed;
}

StepKind RunTripleErase(ExchangeLink& link, std::uint8_t option, std::stop_token stop)
{
    link.SetVoltages(ExchangeLink::Voltages::Write);
    for (int i = 0; i < 3; ++i) {
        const StepKind kind = EraseOnce(link, option);
        if (kind != StepKind::Done)
            return PowerDown(link, kind);
    }
    if (!platform::GetClock().SleepFor(std::chrono::milliseconds(100), stop))
        return PowerDown(link, StepKind::Failed);
    return StepKind::Done;
}

ErasePrologue RunErasePrologue(ExchangeLink& link, const EraseStart& start, std::uint8_t option, std::stop_token stop)
{
    ErasePrologue prologue;
    if (start.readsOsccal) {
        const OsccalRead read = ReadOsccalWord(link, start.osccalAddress);
        if (read.kind != StepKind::Done) {
            prologue.kind = read.kind;
            prologue.osccalFailed = true;
            return prologue;
        }
        prologue.word = read.word;
    }
    if (start.tripleErase)
        prologue.kind = RunTripleErase(link, option, stop);
    return prologue;
}

OsccalRestore RunOsccalRestore(ExchangeLink& link, std::uint32_t address, const OsccalWord& saved)
{
    OsccalRestore restore;
    const StepKind written = WriteOsccal(link, address, saved, kOsccalWriteType);
    if (written != StepKind::Done) {
        restore.end = PowerDown(link, written) == StepKind::LinkLost ? OsccalRestoreEnd::LinkLost
                                                                     : OsccalRestoreEnd::WriteFailed;
        return restore;
    }
    const OsccalRead read = ReadOsccalWord(link, address);
    restore.readBack = read.word;
    if (read.kind == StepKind::LinkLost)
        restore.end = OsccalRestoreEnd::LinkLost;
    else if (read.kind != StepKind::Done || read.word != saved)
        restore.end = OsccalRestoreEnd::Mismatch;
    return restore;
}
