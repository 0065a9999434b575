#pragma once
// The data pump's channel in the program: the view's CommandChannel over the
// programmer link, with the link's status telling a refused packet from a
// failed transfer and a lost programmer.

#include "operations/CommandChannel.h"
#include "operations/OperationPump.h"
#include "platform/usb/Usb.h"

#include <functional>

class CommandChannelPump final : public PumpChannel {
public:
    // `lastStatus` and `drain` default to the programmer link's (its status is
    // per thread).
    explicit CommandChannelPump(CommandChannel& channel, std::function<platform::usb::UsbStatus()> lastStatus = {},
        std::function<void()> drain = {});

    void Drain() override;
    Status SendCommand(const std::uint8_t* packet, int size, bool batch) override;
    int ReadResponse(std::uint8_t* buffer, int size, Status& status) override;
    int ReadResponseFor(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop, Status& status) override;
    Status SetProgramDelay(int milliseconds, std::stop_token stop) override;

    static Status FromUsb(platform::usb::UsbStatus status);

private:
    CommandChannel& m_channel;
    std::function<platform::usb::UsbStatus()> m_lastStatus;
    std::function<void()> m_drain;
};
