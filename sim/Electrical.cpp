#include "sim/Electrical.h"

#include "sim/Box.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>

namespace sim {

namespace {

constexpr int kModelZvA = 2;
constexpr int kModelZvD = 8;
constexpr std::uint8_t kPort1 = 0x90;
constexpr std::size_t kReplySize = 64;
constexpr double kEpsilon = 1e-9;
constexpr std::ptrdiff_t kPacketLogLimit = 1 << 16;

struct PotPoint {
    int pot;
    double volts;
};

// ZV-D: the rails' output against their potentiometer value (falling as the value rises).
constexpr PotPoint kVccPot[] = { { 0, 6.5 }, { 20, 6.2 }, { 25, 6.0 }, { 33, 5.8 }, { 40, 5.6 }, { 44, 5.5 },
    { 47, 5.4 }, { 54, 5.2 }, { 58, 5.0 }, { 68, 4.8 }, { 75, 4.6 }, { 78, 4.5 }, { 82, 4.4 }, { 88, 4.2 }, { 95, 4.0 },
    { 102, 3.8 }, { 110, 3.6 }, { 120, 3.3 }, { 148, 2.5 }, { 171, 1.8 }, { 255, 0.0 } };
constexpr PotPoint kVppPot[] = { { 0, 25.0 }, { 36, 21.0 }, { 66, 18.0 }, { 98, 15.0 }, { 121, 12.7 }, { 128, 12.0 },
    { 158, 9.0 }, { 199, 5.0 }, { 213, 3.6 }, { 224, 2.5 }, { 231, 1.8 }, { 255, 0.0 } };

template <std::size_t N> double Interpolate(const PotPoint (&table)[N], int pot)
{
    if (pot <= table[0].pot)
        return table[0].volts;
    for (std::size_t i = 1; i < N; ++i) {
        if (pot == table[i].pot)
            return table[i].volts;
        if (pot < table[i].pot) {
            const PotPoint& a = table[i - 1];
            const PotPoint& b = table[i];
            return a.volts + (b.volts - a.volts) * (pot - a.pot) / (b.pot - a.pot);
        }
    }
    return table[N - 1].volts;
}

// Every other model: the select byte's Vcc bits (7-5) and Vpp bits (4-0). Unlisted patterns
// select nothing (0 V).
double VccOfSelect(std::uint8_t select)
{
    switch (select & 0xE0) {
    case 0xE0:
        return 3.6;
    case 0x60:
        return 5.0;
    case 0xC0:
        return 5.5;
    case 0xA0:
        return 6.2;
    default:
        return 0.0;
    }
}

double VppOfSelect(std::uint8_t select, int model)
{
    const bool zvA = model == kModelZvA;
    switch (select & 0x1F) {
    case 0x1F:
        return 5.0;
    case 0x1D:
        return 9.0;
    case 0x1E:
        return zvA ? 12.7 : 12.0;
    case 0x0F:
        return zvA ? 12.0 : 12.7;
    case 0x1A:
        return 15.0;
    case 0x1C:
        return 21.0;
    case 0x16:
        return 25.0;
    default:
        return 0.0;
    }
}

// [71]: code = a·V + b, by model.
struct Scale {
    double a;
    double b;
};

Scale ScaleOf(Rail rail, int model)
{
    if (model == kModelZvD)
        return rail == Rail::Vcc ? Scale { 5627, 4146 } : Scale { 1984, 2556 };
    return rail == Rail::Vcc ? Scale { 7128, -1394 } : Scale { 1690, -2000 };
}

std::uint16_t Clamp16(double v)
{
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

bool NeedBytes(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, std::size_t min)
{
    if (n >= min)
        return true;
    ctx.ProtocolError(
        "command " + std::to_string(p[0]) + " needs " + std::to_string(min) + " bytes, got " + std::to_string(n));
    return false;
}

} // namespace

// --- SocketLoad

int SocketLoad::Position(int pin) const
{
    if (pin < 1 || pin > pins)
        return 0;
    return pin <= pins / 2 ? firstRow + pin - 1 : kSocketPositions + 1 - firstRow - pins + pin;
}

int SocketLoad::PinAt(int position) const
{
    const int half = pins / 2;
    if (Empty() || position < 1 || position > kSocketPositions)
        return 0;
    if (position >= firstRow && position <= firstRow + half - 1)
        return position - firstRow + 1;
    if (position >= kSocketPositions + 2 - firstRow - half && position <= kSocketPositions + 1 - firstRow)
        return position - (kSocketPositions + 1) + firstRow + pins;
    return 0;
}

PinRole SocketLoad::Role(int pin) const
{
    if (pin < 1 || static_cast<std::size_t>(pin) > roles.size())
        return PinRole::Other;
    return roles[static_cast<std::size_t>(pin - 1)];
}

SocketLoad SocketLoad::Dip(int pins, int firstRow, double vccMax, double vppMax)
{
    SocketLoad load;
    load.pins = pins;
    load.firstRow = firstRow;
    load.roles.assign(static_cast<std::size_t>(std::max(pins, 0)), PinRole::Other);
    load.vccMax = vccMax;
    load.vppMax = vppMax;
    return load;
}

SocketLoad& SocketLoad::Set(int pin, PinRole role)
{
    if (pin >= 1) {
        if (static_cast<std::size_t>(pin) > roles.size())
            roles.resize(static_cast<std::size_t>(pin), PinRole::Other);
        roles[static_cast<std::size_t>(pin - 1)] = role;
    }
    return *this;
}

const char* HazardKindName(HazardKind kind)
{
    switch (kind) {
    case HazardKind::VppWithoutVcc:
        return "Vpp without Vcc";
    case HazardKind::HighVoltageOnSignal:
        return "high voltage on a signal pin";
    case HazardKind::OverMaximum:
        return "above the pin's maximum";
    case HazardKind::RailOnGround:
        return "rail on a GND pin";
    case HazardKind::Operation:
        return "device operation";
    }
    return "?";
}

// --- Electrical

Electrical::Electrical(Box& box)
    : m_box(box)
    , m_model(box.Model())
{
    for (std::uint8_t reg : { kPotVccRam, kPotVppRam, kPotVccEeprom, kPotVppEeprom })
        m_potRegisters[reg] = 0x80; // mid-scale, as the pots leave the factory
    RegisterHandlers();
}

void Electrical::On(std::uint8_t code, Handler handler)
{
    m_box.Register(
        code, [this, handler = std::move(handler)](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
            if (static_cast<std::ptrdiff_t>(m_packets.size())
                >= kPacketLogLimit) // a long virtual run: keep the recent half
                m_packets.erase(m_packets.begin(), m_packets.begin() + kPacketLogLimit / 2);
            m_packets.emplace_back(p, p + n);
            handler(ctx, p, n);
        });
}

std::vector<std::vector<std::uint8_t>> Electrical::Packets() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_packets;
}

void Electrical::ClearPackets()
{
    std::lock_guard lock(m_box.Mutex());
    m_packets.clear();
}

void Electrical::RegisterHandlers()
{
    // [30, VccSw, VppSw, sel]
    On(30, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!NeedBytes(ctx, p, n, 4))
            return;
        m_latches.vccSwitch = p[1];
        m_latches.vppSwitch = p[2];
        m_latches.select = p[3];
        Changed();
    });
    // [31, A]
    On(31, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!NeedBytes(ctx, p, n, 2))
            return;
        m_latches.switchA = p[1];
        Changed();
    });
    // [66, B] or [66, 5, B, A, VccSw, VppSw, U9 or sel], told apart by length.
    On(66, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (n == 2) {
            m_latches.switchB = p[1];
        } else if (n == 7) {
            m_latches.switchB = p[2];
            m_latches.switchA = p[3];
            m_latches.vccSwitch = p[4];
            m_latches.vppSwitch = p[5];
            if (m_model == kModelZvD)
                m_latches.u9 = p[6];
            else
                m_latches.select = p[6];
        } else {
            ctx.ProtocolError("command 66 of " + std::to_string(n) + " bytes (2 or 7 expected)");
            return;
        }
        Changed();
    });
    // ZV-D potentiometers: [115, pot] Vcc, [117, pot] Vpp.
    for (const std::uint8_t code : { std::uint8_t { 115 }, std::uint8_t { 117 } }) {
        On(code, [this, code](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
            if (!NeedBytes(ctx, p, n, 2))
                return;
            if (m_model != kModelZvD) {
                ctx.ProtocolError("command " + std::to_string(code) + " on a model without rail potentiometers");
                return;
            }
            (code == 115 ? m_vccPot : m_vppPot) = p[1];
            Changed();
        });
    }
    // Calibration potentiometers: [100, reg, value] writes, [101, reg | 0x0C, 0] reads.
    On(100, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!NeedBytes(ctx, p, n, 3))
            return;
        const auto it = m_potRegisters.find(p[1]);
        if (it == m_potRegisters.end()) {
            ctx.ProtocolError("potentiometer write to register " + std::to_string(p[1]));
            return;
        }
        it->second = p[2];
    });
    On(101, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        std::vector<std::uint8_t> unit(kReplySize, 0);
        if (NeedBytes(ctx, p, n, 2)) {
            const auto it = m_potRegisters.find(static_cast<std::uint8_t>(p[1] & 0xF3));
            if ((p[1] & 0x0C) != 0x0C || it == m_potRegisters.end())
                ctx.ProtocolError("potentiometer read of " + std::to_string(p[1]));
            else
                unit[0] = it->second;
        }
        ctx.Reply(std::move(unit));
    });
    // P_READ_VCC_VPP_VALUE
    On(71, [this](DispatchContext& ctx, const std::uint8_t*, std::size_t) {
        const RailReading r = Measure();
        std::vector<std::uint8_t> unit(kReplySize, 0);
        unit[0] = static_cast<std::uint8_t>(r.vcc >> 8);
        unit[1] = static_cast<std::uint8_t>(r.vcc);
        unit[4] = static_cast<std::uint8_t>(r.vpp >> 8);
        unit[5] = static_cast<std::uint8_t>(r.vpp);
        ctx.Reply(std::move(unit));
    });
}

// --- life cycle

void Electrical::Boot()
{
    std::lock_guard lock(m_box.Mutex());
    m_latches = {};
    m_vccPot = 255;
    m_vppPot = 255;
    m_vccOn = false;
    m_vppOn = false;
    Changed();
}

void Electrical::PowerUp()
{
    std::lock_guard lock(m_box.Mutex());
    m_potRegisters[kPotVccRam] = m_potRegisters[kPotVccEeprom];
    m_potRegisters[kPotVppRam] = m_potRegisters[kPotVppEeprom];
}

void Electrical::PowerDown()
{
    std::lock_guard lock(m_box.Mutex());
    m_vccOn = false;
    m_vppOn = false;
    Changed();
}

void Electrical::SetRail(Rail rail, bool on)
{
    std::lock_guard lock(m_box.Mutex());
    (rail == Rail::Vcc ? m_vccOn : m_vppOn) = on;
    Changed();
}

void Electrical::PowerSocket()
{
    SetRail(Rail::Vcc, true);
}

double Electrical::PulseVpp(int pin)
{
    std::lock_guard lock(m_box.Mutex());
    const bool was = m_vppOn;
    m_vppOn = true;
    Changed();
    const int position = m_load.Position(pin);
    double volts = 0.0;
    for (const int p : RailPositions(Rail::Vpp))
        if (p == position)
            volts = OutputLocked(Rail::Vpp);
    m_vppOn = was;
    Changed();
    return volts;
}

void Electrical::RailsOff()
{
    std::lock_guard lock(m_box.Mutex());
    m_vccOn = false;
    m_vppOn = false;
    Changed();
}

// --- state

PinLatches Electrical::Latches() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_latches;
}

std::uint8_t Electrical::VccPot() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_vccPot;
}

std::uint8_t Electrical::VppPot() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_vppPot;
}

std::uint8_t Electrical::PotRegister(std::uint8_t reg) const
{
    std::lock_guard lock(m_box.Mutex());
    const auto it = m_potRegisters.find(reg);
    return it == m_potRegisters.end() ? 0 : it->second;
}

bool Electrical::Zif48ConfigLine() const
{
    return (m_box.PortValue(kPort1) & 0x10) != 0;
}

bool Electrical::RailOn(Rail rail) const
{
    std::lock_guard lock(m_box.Mutex());
    return rail == Rail::Vcc ? m_vccOn : m_vppOn;
}

bool Electrical::RailsOn() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_vccOn || m_vppOn;
}

double Electrical::LevelLocked(Rail rail) const
{
    if (m_model == kModelZvD)
        return rail == Rail::Vcc ? Interpolate(kVccPot, m_vccPot) : Interpolate(kVppPot, m_vppPot);
    return rail == Rail::Vcc ? VccOfSelect(m_latches.select) : VppOfSelect(m_latches.select, m_model);
}

double Electrical::OutputLocked(Rail rail) const
{
    const bool on = rail == Rail::Vcc ? m_vccOn : m_vppOn;
    if (!on)
        return 0.0;
    return LevelLocked(rail) * (rail == Rail::Vcc ? m_vccHealth : m_vppHealth);
}

double Electrical::Level(Rail rail) const
{
    std::lock_guard lock(m_box.Mutex());
    return LevelLocked(rail);
}

double Electrical::Output(Rail rail) const
{
    std::lock_guard lock(m_box.Mutex());
    return OutputLocked(rail);
}

void Electrical::SetHealth(Rail rail, double factor)
{
    std::lock_guard lock(m_box.Mutex());
    (rail == Rail::Vcc ? m_vccHealth : m_vppHealth) = factor;
    Changed();
}

// --- pins

double Electrical::PinVoltsLocked(int position) const
{
    const int zif = position - kZif32Offset;
    double volts = 0.0;
    for (int bit = 0; bit < 8; ++bit) {
        if ((m_latches.vccSwitch >> bit & 1) && kVccSwitchPins[static_cast<std::size_t>(bit)] == zif)
            volts = std::max(volts, OutputLocked(Rail::Vcc));
        if ((m_latches.vppSwitch >> bit & 1) && kVppSwitchPins[static_cast<std::size_t>(bit)] == zif)
            volts = std::max(volts, OutputLocked(Rail::Vpp));
    }
    return volts;
}

double Electrical::PinVolts(int position) const
{
    std::lock_guard lock(m_box.Mutex());
    return PinVoltsLocked(position);
}

double Electrical::ChipPinVolts(int pin) const
{
    std::lock_guard lock(m_box.Mutex());
    const int position = m_load.Position(pin);
    return position ? PinVoltsLocked(position) : 0.0;
}

std::vector<int> Electrical::RailPositions(Rail rail) const
{
    std::lock_guard lock(m_box.Mutex());
    const std::uint8_t mask = rail == Rail::Vcc ? m_latches.vccSwitch : m_latches.vppSwitch;
    const auto& pins = rail == Rail::Vcc ? kVccSwitchPins : kVppSwitchPins;
    std::vector<int> positions;
    for (int bit = 0; bit < 8; ++bit)
        if (mask >> bit & 1)
            positions.push_back(pins[static_cast<std::size_t>(bit)] + kZif32Offset);
    std::sort(positions.begin(), positions.end());
    return positions;
}

// --- load and hazards

void Electrical::SetLoad(SocketLoad load)
{
    std::lock_guard lock(m_box.Mutex());
    m_load = std::move(load);
    m_active.clear();
    Changed();
}

void Electrical::ClearLoad()
{
    SetLoad({});
}

SocketLoad Electrical::Load() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_load;
}

std::vector<Hazard> Electrical::Hazards() const
{
    std::lock_guard lock(m_box.Mutex());
    return m_hazards;
}

void Electrical::ClearHazards()
{
    std::lock_guard lock(m_box.Mutex());
    m_hazards.clear();
}

void Electrical::Report(const std::string& what, int pin, double volts)
{
    std::lock_guard lock(m_box.Mutex());
    m_hazards.push_back({ platform::GetClock().Now(), HazardKind::Operation, m_load.Position(pin), pin, volts, what });
}

void Electrical::AddChangeHook(std::function<void()> hook)
{
    std::lock_guard lock(m_box.Mutex());
    m_changeHooks.push_back(std::move(hook));
}

void Electrical::Changed()
{
    std::set<std::tuple<HazardKind, int>> now;
    std::vector<Hazard> fresh;
    auto raise = [&](HazardKind kind, int position, int pin, double volts) {
        const auto key = std::make_tuple(kind, position);
        if (!now.insert(key).second || m_active.count(key))
            return;
        fresh.push_back({ platform::GetClock().Now(), kind, position, pin, volts, {} });
    };
    if (!m_load.Empty()) {
        const bool vppWithoutVcc = OutputLocked(Rail::Vpp) > kEpsilon && OutputLocked(Rail::Vcc) <= kEpsilon;
        const std::vector<int> vppPositions = [&] {
            std::vector<int> out;
            for (int bit = 0; bit < 8; ++bit)
                if (m_latches.vppSwitch >> bit & 1)
                    out.push_back(kVppSwitchPins[static_cast<std::size_t>(bit)] + kZif32Offset);
            return out;
        }();
        for (int pin = 1; pin <= m_load.pins; ++pin) {
            const int position = m_load.Position(pin);
            const double volts = PinVoltsLocked(position);
            if (vppWithoutVcc && std::find(vppPositions.begin(), vppPositions.end(), position) != vppPositions.end())
                raise(HazardKind::VppWithoutVcc, position, pin, volts);
            if (volts <= kEpsilon)
                continue;
            switch (m_load.Role(pin)) {
            case PinRole::Gnd:
                raise(HazardKind::RailOnGround, position, pin, volts);
                break;
            case PinRole::Vpp:
                if (volts > m_load.vppMax + kEpsilon)
                    raise(HazardKind::OverMaximum, position, pin, volts);
                break;
            case PinRole::Vcc:
                if (volts > m_load.vccMax + kEpsilon)
                    raise(HazardKind::OverMaximum, position, pin, volts);
                break;
            case PinRole::Other:
                if (volts > m_load.vccMax + kEpsilon)
                    raise(HazardKind::HighVoltageOnSignal, position, pin, volts);
                break;
            }
        }
    }
    m_active = std::move(now);
    m_hazards.insert(m_hazards.end(), fresh.begin(), fresh.end());
    for (const auto& hook : m_changeHooks)
        hook();
}

// --- [71]

std::uint16_t Electrical::Code(Rail rail)
{
    const Scale s = ScaleOf(rail, m_model);
    const std::uint16_t code = Clamp16(s.a * OutputLocked(rail) + s.b);
    if (m_noise <= 0)
        return code;
    std::uniform_int_distribution<int> noise(-m_noise, m_noise);
    return Clamp16(static_cast<double>(code) + noise(m_rng));
}

RailReading Electrical::Measure()
{
    std::lock_guard lock(m_box.Mutex());
    if (m_forced)
        return *m_forced;
    RailReading r;
    r.vcc = Code(Rail::Vcc);
    r.vpp = Code(Rail::Vpp);
    return r;
}

void Electrical::ForceReading(std::optional<RailReading> reading)
{
    std::lock_guard lock(m_box.Mutex());
    m_forced = reading;
}

void Electrical::SetNoise(int counts, std::uint32_t seed)
{
    std::lock_guard lock(m_box.Mutex());
    m_noise = std::clamp(counts, 0, 8);
    m_rng.seed(seed);
}

} // namespace sim
