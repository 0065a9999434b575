#include "operations/OperationPump.h"

#include "link/ProgrammerCommand.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

#include <algorithm>
#include <array>
#include <cstring>

std::atomic<bool> g_bPumpRunning { false };

namespace {

using PumpPacket = std::array<std::uint8_t, OperationPump::kPacketSize>;

} // namespace

OperationPump::OperationPump(PumpChannel& channel, PumpVoltageSetter& voltages, PumpHost& host)
    : m_channel(channel)
    , m_voltages(voltages)
    , m_host(host)
{
}

bool OperationPump::CancelPending() const
{
    return g_bCancelOperation.load() != 0 || m_stop.stop_requested();
}

bool OperationPump::Pause(int milliseconds)
{
    constexpr int kSlice = 10;
    auto& clock = platform::GetClock();
    for (int left = milliseconds; left > 0; left -= kSlice) {
        if (CancelPending())
            return false;
        if (!clock.SleepFor(std::chrono::milliseconds(std::min(left, kSlice)), m_stop))
            return false;
    }
    return !CancelPending();
}

void OperationPump::End(PumpKind kind)
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_result.kind = kind;
}

OperationPump::Flow OperationPump::Send(const std::uint8_t* packet, int size, bool batch)
{
    const PumpChannel::Status status = m_channel.SendCommand(packet, size, batch);
    if (status == PumpChannel::Status::Ok)
        return Flow::Going;
    Trace("Pump: %s of %d bytes not sent (%d)\n", ProgrammerCommandName(packet[0]).c_str(), size,
        static_cast<int>(status));
    End(status == PumpChannel::Status::Refused ? PumpKind::Failed : PumpKind::LinkLost);
    return Flow::Ended;
}

int OperationPump::Read(int size, Flow& flow)
{
    flow = Flow::Going;
    PumpChannel::Status status = PumpChannel::Status::Ok;
    const int n = m_channel.ReadResponse(m_reply.data(), std::clamp(size, 1, static_cast<int>(m_reply.size())), status);
    if (n > 0) {
        m_nSilent = 0;
        return std::min(n, size);
    }
    if (status == PumpChannel::Status::Gone) {
        End(PumpKind::LinkLost);
    } else if (CancelPending()) {
        End(m_bMismatch || m_result.unansweredAddress ? PumpKind::Failed : PumpKind::Cancelled);
    } else if (++m_nSilent >= kMaxSilentReads) {
        Trace("Pump: %d reads in a row brought nothing\n", m_nSilent);
        End(PumpKind::LinkLost);
    }
    if (m_bEnded)
        flow = Flow::Ended;
    return 0;
}

void OperationPump::Run(const PumpJob& job, std::stop_token stop)
{
    g_bPumpRunning = true;
    m_job = job;
    m_stop = std::move(stop);
    m_reply.assign(kLargestBlock + kPacketSize, 0);
    m_result = PumpResult {};
    m_result.operation = job.operation;
    m_result.endPosition = job.m_nEndPosition;
    m_bEnded = false;
    m_nSilent = 0;
    m_nPosition = 0;
    m_nBytesSinceRequest = 0;
    m_nOutstanding = 0;
    m_bStatusOwed = false;
    m_bMismatch = false;
    m_bAnswered = !m_job.eepromAddress;
    m_held.clear();
    m_nFailAddress = 0;
    m_nFailDeviceByte = 0;
    m_nFailBufferByte = 0;

    if (Prologue() == Flow::Going) {
        switch (m_job.operation) {
        case PumpOperation::Write:
            RunWrite();
            break;
        case PumpOperation::Erase:
            RunErase();
            break;
        default:
            RunReads();
            break;
        }
    }

    // A read that ended before a status said whether the chip answered keeps what came.
    if (!m_held.empty() && !m_result.unansweredAddress)
        m_host.deliver(static_cast<std::uint32_t>(m_nHeldAt), std::span<const std::uint8_t>(m_held));
    m_held.clear();

    m_result.position = m_nPosition;
    if (m_bMismatch && m_result.kind == PumpKind::Failed && m_job.ReadsData()) {
        m_result.address = m_nFailAddress;
        m_result.deviceByte = m_nFailDeviceByte;
        m_result.bufferByte = m_nFailBufferByte;
    }
    if (m_result.kind == PumpKind::Cancelled && m_job.operation != PumpOperation::Erase)
        m_result.address = static_cast<std::uint32_t>(m_nPosition);
    Trace("Pump: %s %s at 0x%X of 0x%X\n", PumpOperationName(m_job.operation), PumpKindName(m_result.kind),
        static_cast<unsigned>(m_nPosition), static_cast<unsigned>(m_job.m_nEndPosition));

    // Nothing of the pump's shared state is touched after complete(): the handler may join it.
    g_bCancelOperation = 1;
    g_bPumpRunning = false;
    m_host.complete(m_result);
}

OperationPump::Flow OperationPump::Prologue()
{
    m_channel.Drain();
    if (m_job.operation != PumpOperation::Erase) {
        const PumpPacket setup { P_SETUP, m_job.setupFlag };
        if (Send(setup.data(), m_job.setupHasFlag ? 2 : 1) == Flow::Ended)
            return Flow::Ended;
        if (!Pause(m_job.pauseMs)) {
            End(PumpKind::Cancelled);
            return Flow::Ended;
        }
        const PumpPacket stopPacket { P_STOP, 0 };
        if (Send(stopPacket.data(), 2) == Flow::Ended)
            return Flow::Ended;
    }
    m_voltages.SetVoltages(m_job.voltages);
    if (CancelPending()) {
        End(PumpKind::Cancelled);
        return Flow::Ended;
    }

    switch (m_job.operation) {
    case PumpOperation::Erase: {
        const PumpPacket erase { P_ERASE, m_job.eraseOption };
        return Send(erase.data(), 2);
    }
    case PumpOperation::Write:
        return SendWriteBlock(true);
    default:
        break;
    }
    if (m_job.programDelay) {
        const PumpChannel::Status status = m_channel.SetProgramDelay(1000, m_stop);
        if (status != PumpChannel::Status::Ok || CancelPending()) {
            if (CancelPending())
                End(PumpKind::Cancelled);
            else
                End(status == PumpChannel::Status::Refused ? PumpKind::Failed : PumpKind::LinkLost);
            return Flow::Ended;
        }
    }
    return SendRequest();
}

OperationPump::Flow OperationPump::SendRequest()
{
    const int size = std::min(m_job.m_nBlockSize, m_job.m_nEndPosition - m_nPosition);
    PumpPacket request {};
    request[0] = m_job.readCommand;
    PutBe32(&request[1], m_job.m_nStartAddress + static_cast<std::uint32_t>(m_nPosition));
    PutBe32(&request[5], static_cast<std::uint32_t>(size));
    if (Send(request.data(), 9) == Flow::Ended)
        return Flow::Ended;
    m_nBytesSinceRequest = 0;
    m_nOutstanding = size;
    return Flow::Going;
}

bool OperationPump::Skipped(int offset) const
{
    return offset >= m_job.skipFrom && offset < m_job.skipFrom + m_job.skipCount;
}

std::uint8_t OperationPump::CompareMask(int offset) const
{
    const int at = offset - m_job.maskFrom;
    if (at < 0 || at >= m_job.maskCount)
        return 0xFF;
    return m_job.maskBytes[static_cast<std::size_t>(at)];
}

bool OperationPump::IsBlank(int offset, std::uint8_t value) const
{
    if (Skipped(offset))
        return true;
    if (value == 0xFF)
        return true;
    return m_job.blankEvenAlternative && offset % 2 == 0 && value == m_job.blankEvenAlternative;
}

bool OperationPump::TakeData(const std::uint8_t* data, int n)
{
    switch (m_job.operation) {
    case PumpOperation::Read:
        if (!m_bAnswered) {
            if (m_held.empty())
                m_nHeldAt = m_nPosition;
            m_held.insert(m_held.end(), data, data + n);
            return true;
        }
        return m_host.deliver(
            static_cast<std::uint32_t>(m_nPosition), std::span<const std::uint8_t>(data, static_cast<std::size_t>(n)));
    case PumpOperation::Verify:
    case PumpOperation::BlankCheck: {
        if (m_bMismatch)
            return true;
        const std::span<const std::uint8_t> buffer = m_host.buffer();
        for (int k = 0; k < n; ++k) {
            const int offset = m_nPosition + k;
            bool same = true;
            std::uint8_t expected = 0xFF;
            if (m_job.operation == PumpOperation::Verify) {
                // A verify never runs past its buffer; a buffer that shrank under it is a mismatch.
                if (static_cast<std::size_t>(offset) >= buffer.size())
                    same = false;
                else
                    expected = buffer[static_cast<std::size_t>(offset)];
                same = (same && ((data[k] ^ expected) & CompareMask(offset)) == 0) || Skipped(offset);
            } else {
                same = IsBlank(offset, data[k]);
            }
            if (!same) {
                m_bMismatch = true;
                m_nFailAddress = static_cast<std::uint32_t>(offset);
                m_nFailDeviceByte = data[k];
                m_nFailBufferByte = expected;
                break;
            }
        }
        return true;
    }
    default:
        return true;
    }
}

void OperationPump::RunReads()
{
    // Set once the run knows how it ends; it still reads what the programmer owes first.
    bool finishing = false;
    PumpKind finish = PumpKind::Done;

    while (!m_bEnded) {
        Flow flow = Flow::Going;
        if (m_bStatusOwed) {
            const int n = Read(kPacketSize, flow);
            if (flow == Flow::Ended)
                break;
            if (n != 1)
                continue; // the block's status is one byte; a longer reply here is stray and ignored
            m_bStatusOwed = false;
            if (m_job.eepromAddress && m_reply[0] == kReplyNoAcknowledge) {
                // Nothing answered: the block is 0xFF of a floating bus, and no result of it counts.
                m_held.clear();
                m_result.unansweredAddress = m_job.eepromAddress;
                finishing = true;
                finish = PumpKind::Failed;
            } else if (!m_bAnswered) {
                m_bAnswered = true;
                const bool taken = m_held.empty()
                    || m_host.deliver(static_cast<std::uint32_t>(m_nHeldAt), std::span<const std::uint8_t>(m_held));
                m_held.clear();
                if (!taken) {
                    finishing = true;
                    finish = PumpKind::Cancelled;
                }
            }
            continue;
        }
        if (m_nOutstanding > 0) {
            const int n = Read(m_nOutstanding, flow);
            if (flow == Flow::Ended)
                break;
            if (n == 0)
                continue;
            // A cancel stops copying and comparing; the rest of the block is only drained.
            if (!finishing && !m_bMismatch && CancelPending()) {
                finishing = true;
                finish = PumpKind::Cancelled;
            }
            if (!finishing && !m_bMismatch && !TakeData(m_reply.data(), n)) {
                finishing = true;
                finish = PumpKind::Cancelled;
            }
            m_nPosition += n;
            m_nBytesSinceRequest += n;
            m_nOutstanding -= n;
            m_host.progress(m_nPosition);
            if (m_nOutstanding > 0)
                continue;
            m_bStatusOwed = !m_job.class90;
            if (finishing)
                continue;
            if (m_bMismatch) {
                finishing = true;
                finish = PumpKind::Failed;
            } else if (m_nPosition >= m_job.m_nEndPosition) {
                finishing = true;
                finish = PumpKind::Done;
            } else if (CancelPending()) {
                finishing = true;
                finish = PumpKind::Cancelled;
            } else if (SendRequest() == Flow::Ended) {
                break;
            }
            continue;
        }
        End(finishing ? finish : PumpKind::Done);
    }
    // A cancel that met only the last block's status changes nothing: every byte arrived.
    if (m_result.kind == PumpKind::Cancelled && finishing && finish == PumpKind::Done)
        m_result.kind = PumpKind::Done;
}

std::uint32_t OperationPump::DeviceByteAddress(std::uint32_t address) const
{
    address &= ~m_job.forcedAddressBits;
    return m_job.wordMode ? address * 2 : address;
}

OperationPump::Flow OperationPump::SendWriteBlock(bool first)
{
    const std::span<const std::uint8_t> buffer = m_host.buffer();
    const int end = std::min<int>(m_job.m_nEndPosition, static_cast<int>(buffer.size()));
    const int step = m_job.m_nWriteStep;
    // The first packet stands alone, as the programmer's first acknowledgement closes it.
    const int blockBytes = first ? kPacketSize : m_job.m_nWriteBlockSize;
    m_nBytesSinceRequest = 0;
    for (int k = 0; k < blockBytes && m_nPosition < end; k += kPacketSize) {
        PumpPacket packet {};
        packet[0] = k == 0 ? m_job.writeOkCommand : m_job.writeCommand;
        PutBe32(&packet[1], m_job.m_nStartAddress + static_cast<std::uint32_t>(m_nPosition));
        const int count = std::min(step, end - m_nPosition);
        std::memcpy(&packet[5], &buffer[static_cast<std::size_t>(m_nPosition)], static_cast<std::size_t>(count));
        // Only whole packets share a transfer: the programmer cuts a transfer every 64 bytes.
        const bool last = k + kPacketSize >= blockBytes || m_nPosition + count >= end;
        const bool batch = !last && count + 5 == kPacketSize;
        if (Send(packet.data(), count + 5, batch) == Flow::Ended)
            return Flow::Ended;
        m_nPosition += count;
        m_nBytesSinceRequest += count;
    }
    m_bStatusOwed = true;
    return Flow::Going;
}

void OperationPump::RunWrite()
{
    while (!m_bEnded) {
        Flow flow = Flow::Going;
        const int n = Read(kPacketSize, flow);
        if (flow == Flow::Ended || n == 0)
            continue;
        const std::uint8_t* r = m_reply.data();
        if (n >= 7 && r[0] == P_ERROR) {
            m_bStatusOwed = false;
            if (CancelPending()) {
                End(PumpKind::Cancelled);
                break;
            }
            m_result.address = DeviceByteAddress(GetBe32(r + 1));
            const std::uint32_t start = m_job.m_nStartAddress;
            m_result.addressInBuffer = m_result.address >= start
                && m_result.address - start < static_cast<std::uint32_t>(m_job.m_nEndPosition);
            m_result.deviceByte = r[5];
            m_result.bufferByte = r[6];
            m_result.data = static_cast<std::uint16_t>((r[5] << 8) | r[6]);
            End(PumpKind::Failed);
            break;
        }
        if (n == 1 && m_job.eepromAddress && r[0] == kReplyNoAcknowledge) {
            m_bStatusOwed = false;
            if (CancelPending()) {
                End(PumpKind::Cancelled);
                break;
            }
            m_result.unansweredAddress = m_job.eepromAddress;
            End(PumpKind::Failed);
            break;
        }
        if (n != 1 || r[0] != 0)
            continue; // not an answer to a write block
        m_bStatusOwed = false;
        m_host.progress(m_nPosition);
        if (m_nPosition >= std::min<int>(m_job.m_nEndPosition, static_cast<int>(m_host.buffer().size())))
            End(PumpKind::Done);
        else if (CancelPending())
            End(PumpKind::Cancelled);
        else
            SendWriteBlock(false);
    }
}

void OperationPump::RunErase()
{
    while (!m_bEnded) {
        Flow flow = Flow::Going;
        const int n = Read(kPacketSize, flow);
        if (flow == Flow::Ended || n == 0)
            continue;
        switch (m_reply[0]) {
        case 0:
            End(PumpKind::Done);
            break;
        case 1:
            End(PumpKind::Failed);
            break;
        default:
            // The erase's keep-alive.
            if (CancelPending())
                End(PumpKind::Cancelled);
            break;
        }
    }
}
