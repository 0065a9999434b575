#include "sim/JtagChain.h"

namespace sim {

JtagBits BitsOf(std::uint64_t value, std::size_t length)
{
    JtagBits bits(length);
    for (std::size_t i = 0; i < length && i < 64; ++i)
        bits[i] = (value >> i) & 1;
    return bits;
}

std::uint64_t ValueOf(const JtagBits& bits)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bits.size() && i < 64; ++i)
        if (bits[i])
            value |= std::uint64_t { 1 } << i;
    return value;
}

JtagDevice::JtagDevice(JtagDeviceSpec facts)
    : m_facts(facts)
    , m_instruction(facts.idcodeInstruction)
    , m_ir(static_cast<std::size_t>(facts.irLength))
{
}

JtagDevice::~JtagDevice() = default;

std::uint32_t JtagDevice::BypassCode() const
{
    return m_facts.irLength >= 32 ? 0xFFFFFFFFu : (1u << m_facts.irLength) - 1;
}

void JtagDevice::CaptureIr()
{
    m_ir = BitsOf(0x01, static_cast<std::size_t>(m_facts.irLength));
}

void JtagDevice::UpdateIr()
{
    m_instruction = static_cast<std::uint32_t>(ValueOf(m_ir));
    Loaded(m_instruction);
}

void JtagDevice::CaptureDr()
{
    m_dr = Capture(m_instruction);
}

void JtagDevice::UpdateDr()
{
    Update(m_instruction, m_dr);
}

bool JtagDevice::ShiftIr(bool in)
{
    if (m_ir.empty())
        return in;
    const bool out = m_ir.front();
    m_ir.erase(m_ir.begin());
    m_ir.push_back(in);
    return out;
}

bool JtagDevice::ShiftDr(bool in)
{
    if (m_dr.empty())
        return in;
    const bool out = m_dr.front();
    m_dr.erase(m_dr.begin());
    m_dr.push_back(in);
    return out;
}

void JtagDevice::Reset()
{
    m_instruction = m_facts.idcodeInstruction;
}

void JtagDevice::Tick(TapState, bool, std::uint64_t) { }

void JtagDevice::PowerOn()
{
    Reset();
    m_dr.clear();
}

void JtagDevice::PowerOff() { }

JtagBits JtagDevice::Capture(std::uint32_t instruction)
{
    if (instruction == m_facts.idcodeInstruction)
        return BitsOf(m_facts.idcode, 32);
    if (instruction == m_facts.usercodeInstruction)
        return BitsOf(Usercode(), 32);
    return { false }; // BYPASS
}

void JtagDevice::Update(std::uint32_t, const JtagBits&) { }

void JtagDevice::Loaded(std::uint32_t) { }

void JtagChain::Add(std::unique_ptr<JtagDevice> device)
{
    device->SetHazardSink(m_hazard);
    if (m_powered)
        device->PowerOn();
    m_devices.push_back(std::move(device));
}

void JtagChain::SetHazardSink(std::function<void(const std::string&)> sink)
{
    m_hazard = std::move(sink);
    for (auto& d : m_devices)
        d->SetHazardSink(m_hazard);
}

void JtagChain::Clear()
{
    m_devices.clear();
}

bool JtagChain::Clock(bool tms, bool tdi)
{
    if (!m_powered || m_devices.empty())
        return true;
    const TapState state = m_tap.State();
    for (auto& d : m_devices)
        d->Tick(state, tms, 1);
    bool tdo = true;
    if (state == TapState::ShiftDr || state == TapState::ShiftIr) {
        const bool dr = state == TapState::ShiftDr;
        tdo = dr ? m_devices.back()->DrOut() : m_devices.back()->IrOut();
        bool carry = tdi;
        for (auto& d : m_devices)
            carry = dr ? d->ShiftDr(carry) : d->ShiftIr(carry);
    }
    switch (m_tap.Clock(tms)) {
    case TapState::CaptureDr:
        for (auto& d : m_devices)
            d->CaptureDr();
        break;
    case TapState::CaptureIr:
        for (auto& d : m_devices)
            d->CaptureIr();
        break;
    case TapState::UpdateDr:
        for (auto& d : m_devices)
            d->UpdateDr();
        break;
    case TapState::UpdateIr:
        for (auto& d : m_devices)
            d->UpdateIr();
        break;
    case TapState::TestLogicReset:
        for (auto& d : m_devices)
            d->Reset();
        break;
    default:
        break;
    }
    return tdo;
}

void JtagChain::Run(bool tms, std::uint64_t count)
{
    if (!m_powered || m_devices.empty())
        return;
    auto moving = [&] {
        const TapState s = m_tap.State();
        return s == TapState::ShiftDr || s == TapState::ShiftIr || TapNext(s, tms) != s;
    };
    while (count && moving()) {
        Clock(tms, true);
        --count;
    }
    if (!count)
        return;
    // A state that holds: the clocks change nothing but what counts them.
    for (auto& d : m_devices)
        d->Tick(m_tap.State(), tms, count);
    if (m_tap.State() == TapState::TestLogicReset)
        for (auto& d : m_devices)
            d->Reset();
}

void JtagChain::SetPowered(bool on)
{
    if (on && !m_powered) {
        m_tap.Set(TapState::TestLogicReset);
        for (auto& d : m_devices)
            d->PowerOn();
    } else if (!on && m_powered) {
        for (auto& d : m_devices)
            d->PowerOff();
    }
    m_powered = on;
}

} // namespace sim
