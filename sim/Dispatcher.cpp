#include "sim/Dispatcher.h"

#include <algorithm>
#include <cstdio>

namespace sim {

void Dispatcher::Register(std::uint8_t code, Handler handler)
{
    m_handlers[code] = std::move(handler);
}

void Dispatcher::Unregister(std::uint8_t code)
{
    m_handlers.erase(code);
}

bool Dispatcher::Handles(std::uint8_t code) const
{
    return m_handlers.count(code) != 0;
}

void Dispatcher::Observe(std::uint8_t code, std::function<void(const std::uint8_t*, std::size_t)> observer)
{
    m_observers.emplace(code, std::move(observer));
}

void Dispatcher::AddResetHook(std::function<void()> hook)
{
    m_resetHooks.push_back(std::move(hook));
}

void Dispatcher::Reset()
{
    m_claimLeft = 0;
    m_claimSink = nullptr;
    for (const auto& hook : m_resetHooks)
        hook();
}

namespace {

// Wraps the box's context for one transfer, adding what only the dispatcher knows.
class TransferContext final : public DispatchContext {
public:
    TransferContext(DispatchContext& outer, const std::uint8_t* data, std::size_t length, std::size_t& pos,
        std::size_t& claimLeft, std::function<void(const std::uint8_t*, std::size_t, bool)>& claimSink)
        : m_outer(outer)
        , m_data(data)
        , m_length(length)
        , m_pos(pos)
        , m_claimLeft(claimLeft)
        , m_claimSink(claimSink)
    {
    }
    void Reply(std::vector<std::uint8_t> unit) override { m_outer.Reply(std::move(unit)); }
    std::vector<std::uint8_t> TakeRest() override
    {
        std::vector<std::uint8_t> rest(m_data + m_pos, m_data + m_length);
        m_pos = m_length;
        return rest;
    }
    void ClaimFollowing(std::size_t bytes, std::function<void(const std::uint8_t*, std::size_t, bool)> sink) override
    {
        m_claimLeft = bytes;
        m_claimSink = bytes ? std::move(sink) : nullptr;
    }
    void AddBytesMoved(std::size_t bytes) override { m_outer.AddBytesMoved(bytes); }
    void ProtocolError(const std::string& what) override { m_outer.ProtocolError(what); }

private:
    DispatchContext& m_outer;
    const std::uint8_t* m_data;
    std::size_t m_length;
    std::size_t& m_pos;
    std::size_t& m_claimLeft;
    std::function<void(const std::uint8_t*, std::size_t, bool)>& m_claimSink;
};

} // namespace

void Dispatcher::Feed(const std::uint8_t* data, std::size_t length, DispatchContext& sink)
{
    std::size_t pos = 0;
    TransferContext ctx(sink, data, length, pos, m_claimLeft, m_claimSink);
    while (pos < length) {
        if (m_claimLeft) {
            const std::size_t n = std::min(m_claimLeft, length - pos);
            m_claimLeft -= n;
            auto claim = m_claimSink; // the sink may claim again
            const bool last = m_claimLeft == 0;
            if (last)
                m_claimSink = nullptr;
            const std::size_t at = pos;
            pos += n;
            if (claim)
                claim(data + at, n, last);
            continue;
        }
        const std::size_t n = std::min(kPacketSize, length - pos);
        const std::uint8_t* packet = data + pos;
        pos += n;
        const auto it = m_handlers.find(packet[0]);
        if (it == m_handlers.end()) {
            char text[64];
            std::snprintf(text, sizeof text, "unknown command code %u", packet[0]);
            sink.ProtocolError(text);
            continue;
        }
        const Handler handler = it->second; // a handler may re-register itself
        const auto [from, to] = m_observers.equal_range(packet[0]);
        for (auto o = from; o != to; ++o)
            o->second(packet, n);
        handler(ctx, packet, n);
    }
}

} // namespace sim
