#include "link/CFGManager.h"

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "link/VoltageCodes.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Trace.h"

#include <algorithm>
#include <cstring>
#include <utility>

CCFG_Manager g_CFGManager;

namespace {

constexpr std::uint8_t kCacheInvalid = 0x58;
constexpr std::uint8_t kPort1 = 0x90;
constexpr std::uint8_t kZif48Line = 0x10; // port 1 bit 4
constexpr int kMaxVccCode = 24;
constexpr int kNoVccCode = 21; // pot 0 on ZV-D: 6.5 V, not a supply code
constexpr int kMaxVppCode = 11;
constexpr std::size_t kDipLength = 12;
constexpr int kReplyTimeoutMs = 1000; // a read-back, not the pipe's 20 s: the mutex is held meanwhile
constexpr const char* kDipLengthText = "A incorrect length DIP setting received. Please correct it";

} // namespace

CCFG_Manager::CCFG_Manager()
{
    InvalidateSentCache();
}

// --- helpers (with the mutex held)

bool CCFG_Manager::Send(const std::uint8_t* packet, int length)
{
    g_ProgrammerLink.SendData(packet, length);
    return g_ProgrammerLink.LastStatus() == platform::usb::UsbStatus::Ok;
}

void CCFG_Manager::Wait(int ms)
{
    platform::GetClock().SleepFor(std::chrono::milliseconds(ms));
}

bool CCFG_Manager::AcceptVcc(std::uint8_t code, int model)
{
    if (code > kMaxVccCode || code == kNoVccCode) {
        Trace("Vcc code %d refused: not a supply voltage; nothing sent.\n", code);
        return false;
    }
    if (model == kModelZvD && code > kNoVccCode)
        Trace("Vcc code %d (%s) gives 6.5V on this programmer.\n", code, ::GetVccText(code));
    return true;
}

bool CCFG_Manager::AcceptVpp(std::uint8_t code)
{
    if (code > kMaxVppCode) {
        Trace("Vpp code %d refused: not a programming voltage; nothing sent.\n", code);
        return false;
    }
    return true;
}

// Above ZV-A (ZV-D aside) the select bytes of 12 V and 12.7 V are the other way round.
std::uint8_t CCFG_Manager::NormalisedVpp(std::uint8_t code, int model)
{
    if (ModelAboveZvA(model) && model != kModelZvD) {
        if (code == 6)
            return 7;
        if (code == 7)
            return 6;
    }
    return code;
}

std::uint8_t CCFG_Manager::NormalisedSwitchA(std::uint8_t value, int model)
{
    return model == kModelZvA ? value : static_cast<std::uint8_t>(value >> 4);
}

void CCFG_Manager::StoreInitialValues()
{
    m_nSwitchA = 0xA0;
    m_nSwitchB = 0;
    m_nVccSwitch = 8;
    m_nVppSwitch = 0x80;
    m_nVccVppSelect = 0xE0;
    m_nZIF48_U9 = 0;
    m_nZIF48_CFG = 0;
    m_nVccAdjust = 0;
    m_nVcc = 0;
    m_nVpp = 0;
    m_vccCustom = false;
    m_vccPotPending = false;
    m_vppPotPending = false;
}

void CCFG_Manager::SetByte(std::uint8_t& field, std::uint8_t value, unsigned item)
{
    if (field == value && !Dirty(item))
        return;
    field = value;
    Refresh();
}

void CCFG_Manager::Refresh()
{
    if (m_deferDepth == 0)
        RefreshNow();
}

void CCFG_Manager::RefreshNow()
{
    const int model = g_nProgrammerModel;
    if (model == kModelZvD)
        RefreshZvd();
    else if (model == kModelZvCQ)
        RefreshZvcq();
    else
        RefreshOthers(model);
    Wait(50);
}

void CCFG_Manager::RefreshZvd()
{
    constexpr unsigned items = kSwitchB | kSwitchA | kVccSwitch | kVppSwitch | kFifth;
    const std::uint8_t bytes[5] = { m_nSwitchB, m_nSwitchA, m_nVccSwitch, m_nVppSwitch, m_nZIF48_U9 };
    if (std::memcmp(bytes, m_sent, 5) != 0 || Dirty(items)) {
        const std::uint8_t packet[7] = { P_CTL_SERIAL_BYTE_OUT, 5, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4] };
        const bool ok = Send(packet, 7);
        Wait(150);
        if (ok) {
            std::memcpy(m_sent, bytes, 5);
            m_dirty &= ~items;
        } else {
            m_dirty |= items;
        }
    }
    if (m_nZIF48_CFG == m_sent[5] && !Dirty(kZif48Cfg))
        return;
    Wait(250);
    const std::uint8_t read[3] = { P_8051_PORT_READ, 0, kPort1 };
    std::uint8_t reply[64] = {};
    const int n = g_ProgrammerLink.Exchange(read, 3, reply, 64, kReplyTimeoutMs);
    if (n < 1 || g_ProgrammerLink.LastStatus() != platform::usb::UsbStatus::Ok) {
        // Writing back a value we never read would set all eight port bits.
        Trace("ZIF48 configuration not sent: the port read failed; the next refresh retries.\n");
        m_dirty |= kZif48Cfg;
        return;
    }
    Wait(100);
    const std::uint8_t value = (m_nZIF48_CFG & 1) ? static_cast<std::uint8_t>(reply[0] | kZif48Line)
                                                  : static_cast<std::uint8_t>(reply[0] & ~kZif48Line);
    const std::uint8_t write[4] = { P_8051_PORT_WRITE, 0, kPort1, value };
    const bool ok = Send(write, 4);
    Wait(100);
    if (ok) {
        m_sent[5] = m_nZIF48_CFG;
        m_dirty &= ~kZif48Cfg;
    } else {
        m_dirty |= kZif48Cfg;
    }
}

void CCFG_Manager::RefreshZvcq()
{
    constexpr unsigned items = kSwitchB | kSwitchA | kVccSwitch | kVppSwitch | kFifth | kVccRail | kVppRail;
    m_nVccVppSelect = static_cast<std::uint8_t>(VccSelectByte(m_nVcc) | VppSelectByte(m_nVpp));
    const std::uint8_t bytes[5] = { m_nSwitchB, m_nSwitchA, m_nVccSwitch, m_nVppSwitch, m_nVccVppSelect };
    if (std::memcmp(bytes, m_sent, 5) == 0 && !Dirty(items))
        return;
    const std::uint8_t packet[7] = { P_CTL_SERIAL_BYTE_OUT, 5, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4] };
    const bool ok = Send(packet, 7);
    Wait(150);
    if (ok) {
        std::memcpy(m_sent, bytes, 5);
        m_dirty &= ~items;
    } else {
        m_dirty |= items;
    }
}

void CCFG_Manager::RefreshOthers(int model)
{
    m_nVccVppSelect = static_cast<std::uint8_t>(VccSelectByte(m_nVcc) | VppSelectByte(m_nVpp));
    constexpr unsigned rails = kVccSwitch | kVppSwitch | kFifth | kVccRail | kVppRail;
    const std::uint8_t setup[4] = { P_VCC_VPP_SETUP, m_nVccSwitch, m_nVppSwitch, m_nVccVppSelect };
    bool ok = Send(setup, 4);
    Wait(30);
    if (!ok) {
        // The link is gone; what follows would fail too. Everything goes out again next time.
        m_dirty |= rails | kSwitchB | kSwitchA;
        return;
    }
    m_sent[2] = m_nVccSwitch;
    m_sent[3] = m_nVppSwitch;
    m_sent[4] = m_nVccVppSelect;
    m_dirty &= ~rails;

    std::uint8_t switchA = m_nSwitchA;
    if (ModelAboveZvA(model)) {
        const std::uint8_t b[2] = { P_CTL_SERIAL_BYTE_OUT, m_nSwitchB };
        ok = Send(b, 2);
        Wait(30);
        if (!ok) {
            m_dirty |= kSwitchB | kSwitchA;
            return;
        }
        m_sent[0] = m_nSwitchB;
        m_dirty &= ~kSwitchB;
    } else {
        switchA = static_cast<std::uint8_t>(switchA | 2);
    }
    const std::uint8_t a[2] = { P_SWITCH_A_SETUP, switchA };
    if (Send(a, 2)) {
        m_sent[1] = switchA;
        m_dirty &= ~kSwitchA;
    } else {
        m_dirty |= kSwitchA;
    }
}

void CCFG_Manager::SendVccPot()
{
    m_vccPotPending = false;
    const std::uint8_t pot = VccPotValue(m_nVcc);
    const std::uint8_t packet[2] = { P_VCC_WRITE, pot };
    if (Send(packet, 2)) {
        m_nVccAdjust = pot;
        m_dirty &= ~kVccRail;
    } else {
        m_dirty |= kVccRail;
    }
    Wait(150);
}

void CCFG_Manager::SendVppPot()
{
    m_vppPotPending = false;
    const std::uint8_t packet[2] = { P_VPP_WRITE, VppPotValue(m_nVpp) };
    if (Send(packet, 2))
        m_dirty &= ~kVppRail;
    else
        m_dirty |= kVppRail;
    Wait(150);
}

// --- public calls

void CCFG_Manager::SetVcc(std::uint8_t code)
{
    std::lock_guard lock(m_mutex);
    const int model = g_nProgrammerModel;
    if (!AcceptVcc(code, model))
        return;
    if (code == m_nVcc && !m_vccCustom && !Dirty(kVccRail)) {
        Trace("No change, Vcc set skipt.\n");
        return;
    }
    m_nVcc = code;
    m_vccCustom = false;
    if (model != kModelZvD) {
        Refresh();
        return;
    }
    if (m_deferDepth > 0)
        m_vccPotPending = true;
    else
        SendVccPot();
}

void CCFG_Manager::SetVpp(std::uint8_t code)
{
    std::lock_guard lock(m_mutex);
    const int model = g_nProgrammerModel;
    if (!AcceptVpp(code))
        return;
    const std::uint8_t normalised = NormalisedVpp(code, model);
    if (normalised == m_nVpp && !Dirty(kVppRail)) {
        Trace("VPP no change, Vpp set skipt.\n");
        return;
    }
    m_nVpp = normalised;
    if (model != kModelZvD) {
        Refresh();
        return;
    }
    if (m_deferDepth > 0)
        m_vppPotPending = true;
    else
        SendVppPot();
}

void CCFG_Manager::SetVccVpp(std::uint8_t vcc, std::uint8_t vpp)
{
    std::lock_guard lock(m_mutex);
    const int model = g_nProgrammerModel;
    if (model == kModelZvD) {
        SetVcc(vcc);
        SetVpp(vpp);
        return;
    }
    const std::uint8_t newVcc = AcceptVcc(vcc, model) ? vcc : m_nVcc;
    const std::uint8_t newVpp = AcceptVpp(vpp) ? NormalisedVpp(vpp, model) : m_nVpp;
    if (newVcc == m_nVcc && newVpp == m_nVpp && !Dirty(kVccRail | kVppRail))
        return;
    m_nVcc = newVcc;
    m_nVpp = newVpp;
    m_vccCustom = false;
    Refresh();
}

void CCFG_Manager::SetVccSwitch(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nVccSwitch, value, kVccSwitch);
}

void CCFG_Manager::SetVppSwitch(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nVppSwitch, value, kVppSwitch);
}

void CCFG_Manager::SetSwitchB(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nSwitchB, value, kSwitchB);
}

void CCFG_Manager::SetZIF48_U9_Byte(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nZIF48_U9, value, kFifth);
}

void CCFG_Manager::SetZIF48_CFG_Byte(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nZIF48_CFG, value, kZif48Cfg);
}

void CCFG_Manager::SetSwitchA(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    SetByte(m_nSwitchA, NormalisedSwitchA(value, g_nProgrammerModel), kSwitchA);
}

void CCFG_Manager::SetGNDSwitch(std::uint8_t bits)
{
    std::lock_guard lock(m_mutex);
    m_nVccSwitch = static_cast<std::uint8_t>(m_nVccSwitch | bits);
    Refresh();
}

void CCFG_Manager::SetCPLD_DIP(std::string_view text)
{
    bool faulty = text.size() != kDipLength;
    {
        std::lock_guard lock(m_mutex);
        if (!ModelAboveZvA(g_nProgrammerModel))
            return;
        std::uint8_t switchB = 0;
        std::uint8_t high = 0;
        const std::size_t used = std::min(text.size(), kDipLength);
        for (std::size_t i = 0; i < used; ++i) {
            const char c = text[i];
            if (c != '0' && c != '1')
                faulty = true;
            if (c != '1')
                continue;
            if (i < 8)
                switchB = static_cast<std::uint8_t>(switchB | (0x80 >> i));
            else
                high = static_cast<std::uint8_t>(high | (0x80 >> (i - 8)));
        }
        m_nSwitchB = switchB;
        m_nSwitchA = static_cast<std::uint8_t>(m_nSwitchA | high);
        Refresh();
        if (faulty && m_deferDepth > 0) {
            // Shown once the scope lets the mutex go: a box waits for the GUI thread, which may
            // itself be waiting for the mutex.
            m_dipBoxPending = true;
            return;
        }
    }
    if (faulty)
        MessageBox(kDipLengthText);
}

void CCFG_Manager::SetAllCFG(
    std::uint8_t vcc, std::uint8_t vpp, std::uint8_t vccSwitch, std::uint8_t vppSwitch, std::uint8_t switchA)
{
    DeferRefresh defer(*this);
    const int model = g_nProgrammerModel;
    if (model == kModelZvD) {
        SetVcc(vcc);
        SetVpp(vpp);
    } else {
        if (AcceptVcc(vcc, model)) {
            m_nVcc = vcc;
            m_vccCustom = false;
        }
        if (AcceptVpp(vpp))
            m_nVpp = NormalisedVpp(vpp, model);
    }
    m_nVccSwitch = vccSwitch;
    m_nVppSwitch = vppSwitch;
    m_nSwitchA = NormalisedSwitchA(switchA, model);
}

void CCFG_Manager::SetVccAdjustQ8U(std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    if (value == m_nVccAdjust && !Dirty(kVccRail))
        return;
    if (g_nProgrammerModel != kModelZvD || value == 0 || value == 0xFF)
        return;
    m_vccCustom = true;
    const std::uint8_t packet[2] = { P_VCC_WRITE, value };
    if (Send(packet, 2)) {
        m_nVccAdjust = value;
        m_dirty &= ~kVccRail;
    } else {
        m_dirty |= kVccRail;
    }
    Wait(150);
}

int CCFG_Manager::SetB003VCCVPPValue(std::uint8_t vcc, std::uint8_t vpp)
{
    std::lock_guard lock(m_mutex);
    const std::pair<std::uint8_t, std::uint8_t> rounds[4]
        = { { 0x00, vcc }, { 0x20, vcc }, { 0x10, vpp }, { 0x30, vpp } };
    int result = 0;
    for (const auto& [reg, value] : rounds) {
        Wait(10);
        const std::uint8_t write[3] = { P_VCC_VPP_POT_WRITE, reg, value };
        const bool sent = Send(write, 3);
        Wait(10);
        const std::uint8_t read[3] = { P_VCC_VPP_POT_READ, static_cast<std::uint8_t>(reg | 0x0C), 0 };
        std::uint8_t reply[64] = {};
        const int n = g_ProgrammerLink.Exchange(read, 3, reply, 64, kReplyTimeoutMs);
        if (!sent || n < 1 || reply[0] != value)
            result = 1;
    }
    return result;
}

void CCFG_Manager::RefreshCFG()
{
    std::lock_guard lock(m_mutex);
    Refresh();
}

void CCFG_Manager::InvalidateSentCache()
{
    std::lock_guard lock(m_mutex);
    std::memset(m_sent, kCacheInvalid, sizeof m_sent);
    m_dirty = kAll;
}

void CCFG_Manager::ResetState()
{
    std::lock_guard lock(m_mutex);
    StoreInitialValues();
    InvalidateSentCache();
}

const char* CCFG_Manager::GetVccText(int code)
{
    return ::GetVccText(code);
}

const char* CCFG_Manager::GetVppText(int code)
{
    return ::GetVppText(code);
}

void CCFG_Manager::GetSentCFGBytes(std::uint8_t out[6]) const
{
    std::lock_guard lock(m_mutex);
    std::memcpy(out, m_sent, sizeof m_sent);
}

// --- DeferRefresh

CCFG_Manager::DeferRefresh::DeferRefresh(CCFG_Manager& manager)
    : m_manager(manager)
{
    m_manager.m_mutex.lock();
    ++m_manager.m_deferDepth;
}

CCFG_Manager::DeferRefresh::~DeferRefresh()
{
    bool dipBox = false;
    if (--m_manager.m_deferDepth == 0) {
        if (m_manager.m_vccPotPending)
            m_manager.SendVccPot();
        if (m_manager.m_vppPotPending)
            m_manager.SendVppPot();
        m_manager.RefreshNow();
        dipBox = std::exchange(m_manager.m_dipBoxPending, false);
    }
    m_manager.m_mutex.unlock();
    if (dipBox)
        MessageBox(kDipLengthText);
}

// --- stored state

#define CFG_GETTER(name, field)                                                                                        \
    std::uint8_t CCFG_Manager::name() const                                                                            \
    {                                                                                                                  \
        std::lock_guard lock(m_mutex);                                                                                 \
        return field;                                                                                                  \
    }
CFG_GETTER(SwitchA, m_nSwitchA)
CFG_GETTER(SwitchB, m_nSwitchB)
CFG_GETTER(VccSwitch, m_nVccSwitch)
CFG_GETTER(VppSwitch, m_nVppSwitch)
CFG_GETTER(VccVppSelect, m_nVccVppSelect)
CFG_GETTER(ZIF48_U9, m_nZIF48_U9)
CFG_GETTER(ZIF48_CFG, m_nZIF48_CFG)
CFG_GETTER(VccAdjust, m_nVccAdjust)
CFG_GETTER(Vcc, m_nVcc)
CFG_GETTER(Vpp, m_nVpp)
#undef CFG_GETTER

bool CCFG_Manager::VccCustom() const
{
    std::lock_guard lock(m_mutex);
    return m_vccCustom;
}
