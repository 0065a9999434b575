#pragma once
// The view's command channel with a hook on each packet the pump or an exchange sends, and a
// count of the packets by code.

#include "operations/CommandChannel.h"
#include "operations/CommandChannelPump.h"
#include "operations/OperationPump.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/ViewSetup.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace tonrig::test {

class TapChannel final : public PumpChannel {
public:
    explicit TapChannel(PumpChannel& inner)
        : m_inner(inner)
    {
    }
    void Drain() override { m_inner.Drain(); }
    Status SendCommand(const std::uint8_t* p, int size, bool batch) override
    {
        int nth = 0;
        std::function<void(std::uint8_t, int)> hook;
        {
            std::lock_guard lock(m_mutex);
            nth = ++m_sends[p[0]];
            hook = onSend;
        }
        if (hook)
            hook(p[0], nth);
        return m_inner.SendCommand(p, size, batch);
    }
    int ReadResponse(std::uint8_t* buffer, int size, Status& status) override
    {
        return m_inner.ReadResponse(buffer, size, status);
    }
    Status SetProgramDelay(int ms, std::stop_token stop) override { return m_inner.SetProgramDelay(ms, stop); }

    int Sends(std::uint8_t code)
    {
        std::lock_guard lock(m_mutex);
        return m_sends[code];
    }
    void Reset(std::function<void(std::uint8_t, int)> hook = {})
    {
        std::lock_guard lock(m_mutex);
        m_sends.clear();
        onSend = std::move(hook);
    }

private:
    PumpChannel& m_inner;
    std::mutex m_mutex;
    std::map<int, int> m_sends;
    std::function<void(std::uint8_t, int)> onSend;
};

// Puts a tap between the view's pump and the program's own command channel. The caller keeps
// both objects for as long as the view runs operations.
inline void TapViewChannel(
    CTonrigView& view, std::unique_ptr<CommandChannelPump>& pumpChannel, std::unique_ptr<TapChannel>& tap)
{
    CommandChannel& channel = view.DeviceSetupOwner().Channel();
    pumpChannel = std::make_unique<CommandChannelPump>(channel);
    tap = std::make_unique<TapChannel>(*pumpChannel);
    view.SetPumpChannel(tap.get(), [&channel](int& blockSize, int& writeBlockSize, int& writeStep) {
        channel.BeginOperation();
        channel.SetTransferSizes();
        blockSize = channel.m_nBlockSize;
        writeBlockSize = channel.m_nWriteBlockSize;
        writeStep = channel.m_nWriteStep;
    });
}

} // namespace tonrig::test
