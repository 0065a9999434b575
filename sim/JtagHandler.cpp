#include "sim/JtagHandler.h"

#include "platform/TextFormat.h"
#include "sim/Box.h"
#include "sim/Electrical.h"

#include <string>

using platform::Duration;

namespace sim {

namespace {

constexpr std::uint8_t kCode = 0x56;
constexpr std::size_t kUnit = 64;

// The USERCODE the programmer's CPLD leaves the factory with: that of the model's first
// configuration.
std::uint32_t FactoryUsercode(int model)
{
    return model == 8 ? 0x15013100 : 0x00160514;
}

} // namespace

JtagHandler::JtagHandler(Box& box)
    : m_box(box)
{
    ModelCpldSpec facts;
    facts.idcode = kProgrammerCpldIdcode;
    facts.usercode = FactoryUsercode(box.Model());
    auto cpld = std::make_unique<ModelCpld>(facts);
    m_programmerCpld = cpld.get();
    for (auto& chain : m_chains)
        chain.SetHazardSink([this](const std::string& what) { m_box.Electrical().Report(what, 0, 0); });
    ProgrammerChain().Add(std::move(cpld));

    box.Register(kCode, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { Handle(ctx, p, n); });
    box.AddResetHook([this] {
        // P_SETUP, a held 8051 or a boot: replies still to come are dropped, a shift's data with
        // them; the chains keep their state.
        ++m_generation;
        m_busyUntil = platform::GetClock().Now();
        m_shiftData.clear();
    });
    box.AddPowerDownHook([this] {
        for (auto& chain : m_chains)
            chain.SetPowered(false);
    });
    box.Electrical().AddChangeHook([this] { UpdateSocketPower(); });
}

JtagRoute JtagHandler::Route() const
{
    std::lock_guard lock(m_box.Mutex());
    if (m_socketSelectedAtBoot >= 0 && m_socketSelectedAtBoot == m_box.Boots())
        return JtagRoute::Socket;
    return m_box.RunningImage() == kJtagProgrammerImage ? JtagRoute::Programmer : JtagRoute::Socket;
}

std::size_t JtagHandler::Packets(JtagRoute route) const
{
    std::lock_guard lock(m_box.Mutex());
    return m_packets[Index(route)];
}

TapState JtagHandler::FirmwareTap(JtagRoute route) const
{
    std::lock_guard lock(m_box.Mutex());
    return m_taps[Index(route)].State();
}

void JtagHandler::UpdateSocketPower()
{
    SocketChain().SetPowered(m_box.Electrical().RailOn(Rail::Vcc));
}

bool JtagHandler::Tck(bool tms, bool tdi)
{
    m_taps[m_route].Clock(tms);
    return m_chains[m_route].Clock(tms, tdi);
}

void JtagHandler::Charge(std::uint64_t clocks)
{
    const Duration tck = m_box.Config().time.tck;
    m_busyUntil = std::max(m_busyUntil, m_box.TransferArrived()) + tck * static_cast<Duration::rep>(clocks);
}

void JtagHandler::Reply(std::uint64_t clocks, std::vector<std::uint8_t> unit)
{
    Charge(clocks);
    const std::uint64_t generation = m_generation;
    m_box.QueueReplyAt(m_busyUntil, std::move(unit), [this, generation] { return generation == m_generation; });
}

void JtagHandler::Handle(DispatchContext& ctx, const std::uint8_t* p, std::size_t n)
{
    auto needs = [&](std::size_t bytes) {
        if (n >= bytes)
            return true;
        ctx.ProtocolError(platform::Format("JTAG sub-command %d needs more bytes", n > 1 ? p[1] : -1));
        return false;
    };
    if (!needs(2))
        return;
    const std::uint8_t sub = p[1];
    if (sub == 5) {
        if (!needs(3))
            return;
        if (p[2] > 1) {
            ctx.ProtocolError(platform::Format("JTAG chain selection %d", p[2]));
            return;
        }
        m_socketSelectedAtBoot = p[2] == 1 ? m_box.Boots() : -1;
        return;
    }
    if (sub > 5) {
        ctx.ProtocolError(platform::Format("unknown JTAG sub-command %d", sub));
        return;
    }
    m_route = Index(Route());
    ProgrammerChain().SetPowered(true);
    UpdateSocketPower();
    ++m_packets[m_route];

    switch (sub) {
    case 0: {
        if (!needs(5))
            return;
        if (p[2] > 1 || p[3] > 1 || p[4] > 1) {
            ctx.ProtocolError("JTAG clock with a value other than 0 or 1");
            return;
        }
        const bool tdo = Tck(p[2] != 0, p[3] != 0);
        if (p[4]) {
            std::vector<std::uint8_t> unit(kUnit, 0);
            unit[0] = tdo ? 1 : 0;
            Reply(1, std::move(unit));
        } else {
            Charge(1);
        }
        return;
    }
    case 1:
    case 3:
        if (needs(3))
            EnterShift(ctx, sub == 3, p[2]);
        return;
    case 2:
        if (needs(6))
            Shift(ctx, p);
        return;
    case 4:
        if (needs(6))
            RunTest(ctx, p);
        return;
    }
}

void JtagHandler::EnterShift(DispatchContext& ctx, bool ir, std::uint8_t startCode)
{
    static constexpr TapState kStarts[] = { TapState::RunTestIdle, TapState::PauseDr, TapState::PauseIr };
    const TapState now = m_taps[m_route].State();
    if (startCode > 2 || kStarts[startCode] != now) {
        ctx.ProtocolError(platform::Format("JTAG start code %d, but the TAP is in %s", startCode, TapStateName(now)));
        return;
    }
    // Through UPDATE (from a PAUSE), SELECT and CAPTURE: never EXIT2 -> SHIFT, which would skip
    // the capture.
    std::vector<bool> tms;
    if (now != TapState::RunTestIdle)
        tms = { true, true };
    tms.push_back(true);
    if (ir)
        tms.push_back(true);
    tms.insert(tms.end(), { false, false });
    for (bool t : tms)
        Tck(t, true);
    Charge(tms.size());
}

void JtagHandler::Shift(DispatchContext& ctx, const std::uint8_t* p)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(p[2] << 8 | p[3]);
    const bool tdiPresent = p[4] != 0;
    const bool tdoWanted = p[5] != 0;
    const std::size_t bytes = (bits + 7) / 8;
    const TapState now = m_taps[m_route].State();
    const bool shifting = now == TapState::ShiftDr || now == TapState::ShiftIr;
    if (p[4] > 1 || p[5] > 1 || !shifting) {
        ctx.ProtocolError(shifting
                ? std::string("JTAG shift flags other than 0 or 1")
                : platform::Format("JTAG shift %d bits in %s", static_cast<int>(bits), TapStateName(now)));
        // Its data is still the shift's: it must not reach the command loop.
        if (tdiPresent && bytes)
            ctx.ClaimFollowing(bytes, [](const std::uint8_t*, std::size_t, bool) {});
        return;
    }
    if (!tdiPresent || bytes == 0) {
        DoShift(bits, nullptr, tdoWanted);
        return;
    }
    m_shiftData.clear();
    const std::size_t route = m_route;
    const std::uint64_t generation = m_generation;
    ctx.ClaimFollowing(
        bytes, [this, bits, tdoWanted, route, generation](const std::uint8_t* d, std::size_t n, bool last) {
            if (generation != m_generation)
                return;
            m_shiftData.insert(m_shiftData.end(), d, d + n);
            if (!last)
                return;
            m_route = route;
            DoShift(bits, &m_shiftData, tdoWanted);
        });
}

void JtagHandler::DoShift(std::uint32_t bits, const std::vector<std::uint8_t>* tdi, bool tdoWanted)
{
    std::vector<std::uint8_t> captured((bits + 7) / 8, 0);
    for (std::uint32_t i = 0; i < bits; ++i) {
        const bool in = tdi ? ((*tdi)[i / 8] >> (i % 8)) & 1 : true;
        if (Tck(i + 1 == bits, in))
            captured[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    std::uint64_t clocks = bits + 1;
    if (bits == 0) {
        Tck(true, true); // to EXIT1; the bit it shifts is lost
        ++clocks;
    }
    Tck(false, true); // EXIT1 -> PAUSE
    if (tdoWanted && !captured.empty())
        Reply(clocks, std::move(captured));
    else
        Charge(clocks);
}

void JtagHandler::RunTest(DispatchContext& ctx, const std::uint8_t* p)
{
    const std::uint32_t count = std::uint32_t { p[2] } << 16 | std::uint32_t { p[3] } << 8 | p[4];
    const TapState now = m_taps[m_route].State();
    if (p[5] > 1 || (p[5] == 1 && now != TapState::TestLogicReset)) {
        ctx.ProtocolError(platform::Format("JTAG run-test with reset flag %d in %s", p[5], TapStateName(now)));
        return;
    }
    const bool tms = p[5] == 1;
    // The firmware's view moves as the chain does: clock by clock until the state holds.
    std::uint32_t left = count;
    while (left && TapNext(m_taps[m_route].State(), tms) != m_taps[m_route].State()) {
        m_taps[m_route].Clock(tms);
        m_chains[m_route].Clock(tms, true);
        --left;
    }
    m_chains[m_route].Run(tms, left);
    Reply(count, std::vector<std::uint8_t>(kUnit, 0));
}

} // namespace sim
