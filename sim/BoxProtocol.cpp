// The commands of the programmer's firmware that sim/PROTOCOL.md v1 fixes.

#include "platform/Clock.h"
#include "sim/Box.h"
#include "sim/Electrical.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr std::size_t kReplySize = 64;
constexpr std::uint32_t kMaxTestReply = 16u << 20;

std::vector<std::uint8_t> Text64(const std::string& text, std::size_t limit = kReplySize)
{
    std::vector<std::uint8_t> unit(kReplySize, 0);
    std::memcpy(unit.data(), text.data(), std::min(text.size(), limit));
    return unit;
}

} // namespace

void Box::RegisterProtocol()
{
    auto& d = m_dispatcher;
    auto needs = [](DispatchContext& ctx, const std::uint8_t* p, std::size_t n, std::size_t min) {
        if (n >= min)
            return true;
        ctx.ProtocolError(
            "command " + std::to_string(p[0]) + " needs " + std::to_string(min) + " bytes, got " + std::to_string(n));
        return false;
    };

    // P_VERSION, P_HW_SERIAL_NUMBER
    d.Register(
        2, [this](DispatchContext& ctx, const std::uint8_t*, std::size_t) { ctx.Reply(Text64(m_config.version)); });
    d.Register(
        24, [this](DispatchContext& ctx, const std::uint8_t*, std::size_t) { ctx.Reply(Text64(m_config.serial, 10)); });

    // P_FIRMWARE_ID_SET, P_FIRMWARE_ID_GET
    d.Register(26, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (needs(ctx, p, n, 3))
            m_firmwareId = static_cast<std::uint16_t>((p[1] << 8) | p[2]);
    });
    d.Register(27, [this](DispatchContext& ctx, const std::uint8_t*, std::size_t) {
        std::vector<std::uint8_t> unit(kReplySize, 0);
        unit[0] = static_cast<std::uint8_t>(m_firmwareId >> 8);
        unit[1] = static_cast<std::uint8_t>(m_firmwareId);
        ctx.Reply(std::move(unit));
    });

    // P_SETUP: replies not yet read are dropped and the algorithm state starts afresh.
    d.Register(22, [this](DispatchContext&, const std::uint8_t*, std::size_t) {
        m_electrical->PowerSocket();
        DropReplies();
        m_dispatcher.Reset();
    });

    // Commands whose bytes are kept for the tests, without a reply.
    for (std::uint8_t code : { 8, 23, 55, 68, 69, 102 })
        d.Register(code, [this](DispatchContext&, const std::uint8_t* p, std::size_t n) {
            m_recorded.emplace_back(p[0], std::vector<std::uint8_t>(p, p + n));
        });

    // P_ACK
    d.Register(13, [](DispatchContext& ctx, const std::uint8_t*, std::size_t) { ctx.Reply({ 0 }); });

    // P_8051_PORT_READ, P_8051_PORT_WRITE
    d.Register(28, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        std::vector<std::uint8_t> unit(kReplySize, 0);
        if (needs(ctx, p, n, 3)) {
            const auto it = m_ports.find(p[2]);
            unit[0] = it == m_ports.end() ? 0xFF : it->second;
        }
        ctx.Reply(std::move(unit));
    });
    d.Register(29, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (needs(ctx, p, n, 4))
            m_ports[p[2]] = p[3];
    });

    // P_VCC, P_VPP, P_POWER_DOWN
    d.Register(15, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!needs(ctx, p, n, 2))
            return;
        m_vccLatch.assign(p, p + n);
        const bool on = p[1] != 0;
        if (on != m_vcc)
            m_vccLog.emplace_back(platform::GetClock().Now(), on);
        m_vcc = on;
        m_electrical->SetRail(Rail::Vcc, on);
    });
    d.Register(14, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!needs(ctx, p, n, 2))
            return;
        m_vppLatch.assign(p, p + n);
        m_vpp = p[1] != 0;
        m_electrical->SetRail(Rail::Vpp, m_vpp);
    });
    d.Register(21, [this](DispatchContext&, const std::uint8_t*, std::size_t) {
        if (m_vcc)
            m_vccLog.emplace_back(platform::GetClock().Now(), false);
        m_vcc = false;
        m_vpp = false;
        m_electrical->RailsOff();
    });

    // Usage history (ours): 111 reads up to 64 bytes, 110 writes up to 60.
    d.Register(111, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        std::vector<std::uint8_t> unit(kReplySize, 0);
        if (needs(ctx, p, n, 4)) {
            const std::size_t offset = static_cast<std::size_t>((p[1] << 8) | p[2]);
            const std::size_t count = p[3];
            if (count > kReplySize || offset + count > m_history.size())
                ctx.ProtocolError("history read outside its 256 bytes");
            else
                std::copy_n(m_history.begin() + static_cast<std::ptrdiff_t>(offset), count, unit.begin());
        }
        ctx.Reply(std::move(unit));
    });
    d.Register(110, [this, needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (needs(ctx, p, n, 4)) {
            const std::size_t offset = static_cast<std::size_t>((p[1] << 8) | p[2]);
            const std::size_t count = p[3];
            if (4 + count > n || offset + count > m_history.size())
                ctx.ProtocolError("history write outside its packet or its 256 bytes");
            else
                std::copy_n(p + 4, count, m_history.begin() + static_cast<std::ptrdiff_t>(offset));
        }
        ctx.Reply({ 0 });
    });

    // P_TEST (ours): 0 asks for S bytes (k + i) & 0xFF, then [0]; 1 sinks the rest of its transfer.
    d.Register(3, [needs](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!needs(ctx, p, n, 2))
            return;
        if (p[1] == 1) {
            ctx.TakeRest(); // already counted among the transfer's bytes the 8051 moved
            ctx.Reply({ 0 });
            return;
        }
        if (p[1] != 0 || !needs(ctx, p, n, 7)) {
            if (p[1] != 0)
                ctx.ProtocolError("P_TEST with sub-command " + std::to_string(p[1]));
            return;
        }
        const std::uint32_t size
            = (std::uint32_t(p[2]) << 24) | (std::uint32_t(p[3]) << 16) | (std::uint32_t(p[4]) << 8) | p[5];
        if (size > kMaxTestReply) {
            ctx.ProtocolError("P_TEST reply of " + std::to_string(size) + " bytes is more than the box holds");
            return;
        }
        std::vector<std::uint8_t> unit(size);
        for (std::uint32_t i = 0; i < size; ++i)
            unit[i] = static_cast<std::uint8_t>(p[6] + i);
        ctx.Reply(std::move(unit));
        ctx.Reply({ 0 });
    });

    // The mode-1 preamble: nothing to do.
    for (std::uint8_t code : { 134, 130 })
        d.Register(code, [](DispatchContext&, const std::uint8_t*, std::size_t) {});
}

} // namespace sim
