
#include "operations/CommandChannelPump.h"

#include "link/ProgrammerLink.h"

using platform::usb::UsbStatus;

CommandChannelPump::CommandChannelPump(
    CommandChannel& channel, std::function<UsbStatus()> lastStatus, std::function<void()> drain)
    : m_channel(channel)
    , m_lastStatus(lastStatus ? std::move(lastStatus) : [] { return g_ProgrammerLink.LastStatus(); })
    , m_drain(drain ? std::move(drain) : [] { g_ProgrammerLink.DrainInput(); })
{
}

PumpChannel::Status CommandChannelPump::FromUsb(UsbStatus status)
{
    switch (status) {
    case UsbStatus::Ok:
        return Status::Ok;
    case UsbStatus::Timeout:
        return Status::Timeout;
    case UsbStatus::NoDevice:
        return Status::Gone;
    default:
        return Status::Failed;
    }
}

void CommandChannelPump::Drain()
{
    m_drain();
}

PumpChannel::Status CommandChannelPump::SendCommand(const std::uint8_t* packet, int size, bool batch)
{
    if (m_channel.SendCommand(packet, size, batch))
        return Status::Ok;
    // The channel refuses without a transfer; a transfer that failed leaves its
    // status.
    const Status status = FromUsb(m_lastStatus());
    return status == Status::Ok ? Status::Refused : status;
}

int CommandChannelPump::ReadResponse(std::uint8_t* buffer, int size, Status& status)
{
    const int n = m_channel.ReadResponse(buffer, size);
    status = n > 0 ? Status::Ok : FromUsb(m_lastStatus());
    if (n <= 0 && status == Status::Ok)
        status = Status::Timeout; // nothing came, though the transfer itself went
    return n > 0 ? n : 0;
}

int CommandChannelPump::ReadResponseFor(
    std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop, Status& status)
{
    const int n = m_channel.ReadResponse(buffer, size, timeoutMs, stop);
    status = n > 0 ? Status::Ok : FromUsb(m_lastStatus());
    if (n <= 0 && status == Status::Ok)
        status = Status::Timeout;
    return n > 0 ? n : 0;
}

PumpChannel::Status CommandChannelPump::SetProgramDelay(int milliseconds, std::stop_token stop)
{
    if (m_channel.SetProgramDelay(milliseconds, stop))
        return Status::Ok;
    if (stop.stop_requested() || g_bCancelOperation.load() != 0)
        return Status::Timeout;
    const Status status = FromUsb(m_lastStatus());
    return status == Status::Ok ? Status::Refused : status;
}
