#include "sim/ChipCommands.h"

#include "sim/Box.h"
#include "sim/Electrical.h"

#include <algorithm>

using platform::Duration;

namespace sim {

namespace {

constexpr std::size_t kReplySize = 64;
constexpr std::uint32_t kMaxBlock = 32768;
constexpr std::uint8_t kHoldUnpowered = 0x00; // what a chip without power drives onto the bus
constexpr std::uint8_t kFloating = 0xFF; // an empty socket's data lines
constexpr std::uint8_t kNoAcknowledge = 3; // the status of a read or write a serial EEPROM did not acknowledge

std::uint32_t Be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::vector<std::uint8_t> Failure(std::uint32_t address, std::uint8_t readBack, std::uint8_t intended)
{
    return { 1, static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), readBack, intended };
}

bool Needs(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, std::size_t min)
{
    if (n >= min)
        return true;
    ctx.ProtocolError(
        "command " + std::to_string(p[0]) + " needs " + std::to_string(min) + " bytes, got " + std::to_string(n));
    return false;
}

// The chip's needs, answered by the box's electrical model.
class ElectricalSupply final : public SocketSupply {
public:
    explicit ElectricalSupply(Electrical& electrical)
        : m_electrical(electrical)
    {
    }

    void LoadChip(const ChipSpec* chip) override
    {
        if (!chip || chip->pinCount <= 0) {
            m_electrical.ClearLoad();
            return;
        }
        double vccMax = 0;
        double vppMax = 0;
        for (const ChipPin& p : chip->pins) {
            if (p.role == PinRole::Vcc)
                vccMax = std::max(vccMax, p.maxVolts);
            if (p.role == PinRole::Vpp)
                vppMax = std::max(vppMax, p.maxVolts);
        }
        if (vccMax <= 0)
            vccMax = ChipPin {}.maxVolts;
        if (vppMax <= 0)
            vppMax = vccMax;
        // Bottom-aligned in the 40-pin socket unless the chip says otherwise.
        const int firstRow = chip->firstRow > 0 ? chip->firstRow : 21 - chip->pinCount / 2;
        SocketLoad load = SocketLoad::Dip(chip->pinCount, firstRow, vccMax, vppMax);
        for (const ChipPin& p : chip->pins)
            load.Set(p.number, p.role);
        m_electrical.SetLoad(std::move(load));
    }
    void PowerSocket() override { m_electrical.PowerSocket(); }
    double PulseVpp(int pin) override { return m_electrical.PulseVpp(pin); }
    void Hazard(const std::string& kind, int pin, double volts) override { m_electrical.Report(kind, pin, volts); }

private:
    Electrical& m_electrical;
};

using WordPlace = std::optional<std::pair<ChipMemory, std::uint32_t>>;

// Where word k of a [57]/[58] at word address `word` lies. A 12-bit core's programming mode starts
// its counter at the configuration word, one step before program word 0: a type-7 access at word
// 0 begins there and steps on into program memory. Everywhere else the address alone picks.
WordPlace PicWordAt(const Chip& chip, std::uint32_t word, std::uint8_t type, std::uint32_t k)
{
    const PicLayout& p = chip.Facts().pic;
    if (p.coreBits == 12 && type == 7 && word == 0) {
        if (k < p.configWordCount)
            return std::pair { ChipMemory::ConfigWords, 2 * k };
        return chip.LocateWord(k - p.configWordCount);
    }
    return chip.LocateWord(word + k);
}

} // namespace

ChipCommands::ChipCommands(Box& box)
    : m_box(box)
    , m_electrical(std::make_unique<ElectricalSupply>(box.Electrical()))
{
    m_socket.SetSupply(m_electrical.get());
    Register();
}

void ChipCommands::Register()
{
    Box& b = m_box;
    const std::pair<int, ChipMemory> reads[] = { { 4, ChipMemory::Main }, { 46, ChipMemory::Data },
        { 50, ChipMemory::Config }, { 90, ChipMemory::ConfigWords } };
    for (const auto& read : reads) {
        const ChipMemory memory = read.second;
        b.Register(static_cast<std::uint8_t>(read.first),
            [this, memory](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { Read(ctx, p, n, memory); });
    }
    // The plain code and its *_OK two above it.
    const std::pair<int, ChipMemory> writes[]
        = { { 5, ChipMemory::Main }, { 47, ChipMemory::Data }, { 51, ChipMemory::Config } };
    for (const auto& write : writes) {
        const ChipMemory memory = write.second;
        for (bool opens : { false, true })
            b.Register(static_cast<std::uint8_t>(write.first + (opens ? 2 : 0)),
                [this, memory, opens](
                    DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { Write(ctx, p, n, memory, opens); });
    }
    b.Register(9, [this](DispatchContext&, const std::uint8_t* p, std::size_t n) { Erase(p, n); });
    b.Register(57, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { PicRead(ctx, p, n); });
    b.Register(58, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { PicWrite(ctx, p, n); });
    b.Register(93, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) { ConfigBytes(ctx, p, n); });

    // P_SIGNATURE, P_READ_LOCK, P_SET_LOCK, P_READ_FUSE, P_WRITE_FUSE
    b.Register(10, [this](DispatchContext&, const std::uint8_t*, std::size_t) {
        PowerSocket();
        bool driven = true;
        std::vector<std::uint8_t> unit(kReplySize, kFloating);
        if (Chip* chip = Live(driven)) {
            const auto& sig = chip->Facts().conditions.signature.value_or(chip->Facts().signature);
            std::copy_n(sig.begin(), std::min(sig.size(), kReplySize), unit.begin());
            if (!driven)
                std::fill(unit.begin(), unit.end(), kHoldUnpowered);
        }
        Reply(Duration(0), std::move(unit));
    });
    b.Register(11, [this](DispatchContext&, const std::uint8_t*, std::size_t) {
        bool driven = true;
        std::vector<std::uint8_t> unit(kReplySize, kFloating);
        if (Chip* chip = Live(driven))
            unit[0] = static_cast<std::uint8_t>(chip->LockLevel());
        Reply(Duration(0), std::move(unit));
    });
    b.Register(12, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!Needs(ctx, p, n, 2))
            return;
        PowerSocket();
        bool driven = true;
        Chip* chip = Live(driven);
        const bool done = chip && driven && !chip->Facts().conditions.lockRefused && chip->SetLock(p[1]);
        Reply(Duration(0), { static_cast<std::uint8_t>(done ? 0 : 1) });
    });
    b.Register(64, [this](DispatchContext&, const std::uint8_t*, std::size_t) {
        bool driven = true;
        std::vector<std::uint8_t> unit(kReplySize, kFloating);
        if (Chip* chip = Live(driven))
            std::copy_n(chip->Fuses().begin(), std::min(chip->Fuses().size(), kReplySize), unit.begin());
        Reply(Duration(0), std::move(unit));
    });
    b.Register(65, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!Needs(ctx, p, n, 4))
            return;
        PowerSocket();
        bool driven = true;
        Chip* chip = Live(driven);
        const ChipConditions* c = chip ? &chip->Facts().conditions : nullptr;
        bool done = chip && driven && !c->fuseWriteRefused && !chip->Fuses().empty();
        if (done && !c->fuseWriteIgnored)
            chip->WriteFuses(p + 1, 3);
        Reply(Duration(0), { static_cast<std::uint8_t>(done ? 0 : 1) });
    });
    // P_2051_Init_24C: the serial EEPROM device address, 1010 A2 A1 A0 0.
    b.Register(37, [this](DispatchContext& ctx, const std::uint8_t* p, std::size_t n) {
        if (!Needs(ctx, p, n, 2))
            return;
        const bool valid = (p[1] & 0xF1) == 0xA0;
        if (valid) {
            m_deviceAddress = p[1];
            m_deviceAddressBoot = m_box.Boots();
        }
        Reply(Duration(0), { static_cast<std::uint8_t>(valid ? 0 : 1) });
    });

    b.Observe(22, [this](const std::uint8_t* p, std::size_t n) { m_unprotect = n >= 2 && p[1] == 1; });
    b.Observe(23, [this](const std::uint8_t* p, std::size_t n) {
        if (n >= 2) {
            m_subCode = p[1];
            m_subCodeBoot = m_box.Boots();
        }
    });
    b.AddResetHook([this] { Reset(); });
    // P_POWER_DOWN ends every operation: an erase stops where it is, a block owes nothing.
    b.Observe(21, [this](const std::uint8_t*, std::size_t) { Reset(); });
    b.AddReadHook([this] { CloseBlock(); });
    b.AddPowerDownHook([this] {
        m_socket.PowerLost();
        m_unprotect = false;
        m_subCode.reset();
    });
}

void ChipCommands::Reset()
{
    // P_SETUP, [21], a reset of the 8051 or a new boot: every operation ends, and replies still
    // to come of it never do.
    ++m_generation;
    m_block = Block {};
    m_busyUntil = platform::GetClock().Now();
}

void ChipCommands::Reply(Duration at, std::vector<std::uint8_t> unit)
{
    const std::uint64_t generation = m_generation;
    m_box.QueueReplyAt(at, std::move(unit), [this, generation] { return generation == m_generation; });
}

Duration ChipCommands::Busy(Duration from, Duration cost)
{
    m_busyUntil = std::max(m_busyUntil, from) + cost;
    return m_busyUntil;
}

void ChipCommands::PowerSocket()
{
    if (SocketSupply* supply = m_socket.Supply())
        supply->PowerSocket();
}

std::uint8_t ChipCommands::DeviceAddress() const
{
    return m_deviceAddressBoot == m_box.Boots() ? m_deviceAddress : 0xA0;
}

bool ChipCommands::Unacknowledged() const
{
    const Chip* chip = m_socket.Get();
    if (!chip || chip->Facts().category != ChipCategory::SerialEeprom)
        return false;
    const std::uint8_t decoded = chip->Facts().eepromDecoded & 7;
    return ((DeviceAddress() >> 1) & decoded) != (chip->Facts().eepromStrap & decoded);
}

Chip* ChipCommands::Live(bool& driven)
{
    Chip* chip = m_socket.Get();
    driven = true;
    if (!chip || Unacknowledged())
        return nullptr;
    const ChipConditions& c = chip->Facts().conditions;
    if (c.gateImage && m_box.RunningImage() != c.gateImage)
        driven = false;
    if (c.gateSubCode && (m_subCodeBoot != m_box.Boots() || m_subCode != c.gateSubCode))
        driven = false;
    return chip;
}

bool ChipCommands::VppReaches(Chip& chip)
{
    const ChipSpec& s = chip.Facts();
    SocketSupply* supply = m_socket.Supply();
    if (s.programmingVoltage <= 0 || s.vppRuleOff || !supply)
        return true;
    double best = 0;
    int pin = 0;
    for (const ChipPin& p : s.pins) {
        if (p.role != PinRole::Vpp)
            continue;
        const double v = supply->PulseVpp(p.number);
        if (!pin || v > best) {
            best = v;
            pin = p.number;
        }
    }
    if (best >= 0.95 * s.programmingVoltage)
        return true;
    if (!m_block.vppHazardLogged) {
        supply->Hazard("write without programming voltage", pin, best);
        m_block.vppHazardLogged = true;
    }
    return false;
}

ChipCommands::Target ChipCommands::Map(ChipMemory memory, std::uint32_t address) const
{
    Target t;
    t.memory = memory;
    const Chip* chip = m_socket.Get();
    if (!chip)
        return t;
    const ChipSpec& s = chip->Facts();
    const bool pic = s.category == ChipCategory::Pic;
    t.size = chip->Size(memory);
    switch (memory) {
    case ChipMemory::Main:
        t.base = s.main.base;
        t.unit = s.wordMode ? 2 : 1;
        if (pic && s.pic.coreBits == 16 && address >= s.pic.configPosition
            && address - s.pic.configPosition < chip->Size(ChipMemory::ConfigWords)) {
            t.memory = ChipMemory::ConfigWords;
            t.base = s.pic.configPosition;
            t.unit = 1;
            t.size = chip->Size(ChipMemory::ConfigWords);
            break;
        }
        // Above ZV-A the socket powers a DIP24 or DIP28 part through an address line.
        if (m_box.Model() > 3)
            t.gated = (s.packageCode == 2 && !(address & 0x2000)) || (s.packageCode == 4 && !(address & 0x20000));
        break;
    case ChipMemory::Data:
        t.base = s.data.base;
        break;
    case ChipMemory::Config:
        t.base = pic ? s.pic.idAddress : s.config.base;
        break;
    case ChipMemory::ConfigWords:
        t.base = pic ? s.pic.configWordAddress : 0;
        break;
    case ChipMemory::Osccal:
        break;
    }
    return t;
}

std::uint32_t ChipCommands::Offset(const Target& t, std::uint32_t address, std::size_t j)
{
    // Address lines above the chip's are not connected: the address wraps at its size.
    const auto size = static_cast<std::int64_t>(t.size);
    const std::int64_t at = (static_cast<std::int64_t>(address) - t.base) * t.unit + static_cast<std::int64_t>(j);
    return static_cast<std::uint32_t>(((at % size) + size) % size);
}

void ChipCommands::Read(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, ChipMemory memory)
{
    if (!Needs(ctx, p, n, 9))
        return;
    const std::uint32_t address = Be32(p + 1);
    const std::uint32_t length = Be32(p + 5);
    if (length < 1 || length > kMaxBlock) {
        ctx.ProtocolError("block read of " + std::to_string(length) + " bytes (1 to 32768)");
        return;
    }
    PowerSocket();
    bool driven = true;
    Chip* chip = Live(driven);
    const Target t = Map(memory, address);
    std::vector<std::uint8_t> unit(length, kFloating);
    Duration perByte = std::chrono::microseconds(1);
    if (chip) {
        perByte = chip->Facts().times.readPerByte;
        if (!driven || t.gated)
            std::fill(unit.begin(), unit.end(), kHoldUnpowered);
        else if (t.size)
            for (std::uint32_t j = 0; j < length; ++j)
                unit[j] = chip->Read(t.memory, Offset(t, address, j));
    }
    ctx.AddBytesMoved(length);
    const Duration at = Busy(m_box.TransferArrived(), perByte * length);
    const bool status = !chip || !chip->Facts().noReadStatus;
    Reply(at, std::move(unit));
    if (status)
        Reply(at, { static_cast<std::uint8_t>(Unacknowledged() ? kNoAcknowledge : 0) });
}

void ChipCommands::CloseBlock()
{
    if (!m_block.open)
        return;
    if (m_block.owes)
        Reply(m_busyUntil, m_block.failure ? *m_block.failure : std::vector<std::uint8_t> { 0 });
    m_block = Block {};
}

void ChipCommands::Write(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, ChipMemory memory, bool opens)
{
    if (!Needs(ctx, p, n, 5))
        return;
    if (opens) {
        CloseBlock();
        m_block.open = true;
        m_block.owes = true;
    } else if (!m_block.open) {
        ctx.ProtocolError("write packet " + std::to_string(p[0]) + " outside a block");
        m_block.open = true;
    }
    PowerSocket();
    const std::uint32_t address = Be32(p + 1);
    const std::uint8_t* data = p + 5;
    const std::size_t count = n - 5;
    bool driven = true;
    Chip* chip = Live(driven);
    // Nothing on the bus took the device address: the block fails as a whole, writing nothing.
    if (Unacknowledged() && !m_block.failure)
        m_block.failure = std::vector<std::uint8_t> { kNoAcknowledge };
    const Target t = Map(memory, address);
    const bool vpp = chip && driven && !t.gated && t.size && VppReaches(*chip);
    Duration cost { 0 };
    bool skipping = false; // the low byte of a blank PIC word
    for (std::size_t j = 0; j < count; ++j) {
        std::uint8_t readBack = kFloating;
        bool ok = false;
        if (chip && (!driven || t.gated)) {
            readBack = kHoldUnpowered;
        } else if (chip && t.size) {
            const std::uint32_t offset = Offset(t, address, j);
            const bool blankWord
                = skipping || (j + 1 < count && chip->SkipsBlankWord(t.memory, offset, data[j], data[j + 1]));
            skipping = blankWord && !skipping;
            if (blankWord)
                ok = true;
            else if (vpp)
                ok = chip->Program(t.memory, offset, data[j], m_unprotect);
            readBack = chip->Read(t.memory, offset);
            // The 8051 drives the byte onto the socket, programs it and reads it back.
            const ChipTimes& times = chip->Facts().times;
            cost += m_box.Config().time.perByte + times.programPerByte + times.readPerByte;
            if (times.pageSize) {
                const std::uint32_t page = offset / times.pageSize;
                if (std::find(m_block.pages.begin(), m_block.pages.end(), page) == m_block.pages.end()) {
                    m_block.pages.push_back(page);
                    cost += times.pagePeriod;
                }
            }
        }
        if (!ok && !m_block.failure)
            m_block.failure = Failure(address + static_cast<std::uint32_t>(j / t.unit), readBack, data[j]);
    }
    Busy(m_box.TransferArrived(), cost);
}

void ChipCommands::Erase(const std::uint8_t* p, std::size_t n)
{
    const std::uint8_t option = n >= 2 ? p[1] : 0;
    auto& clock = platform::GetClock();
    const Duration now = clock.Now();
    if (m_eraseGeneration == m_generation && now < m_eraseEnd) {
        Reply(m_eraseEnd, { m_eraseResult }); // a second [9] while erasing is answered after it
        return;
    }
    PowerSocket();
    bool driven = true;
    Chip* chip = Live(driven);
    if (!chip || !driven || !chip->Erasable()) {
        Reply(now, { 1 });
        return;
    }
    const Duration start = std::max(now, m_busyUntil);
    const ChipSpec& facts = chip->Facts();
    const Duration end = Busy(start, facts.conditions.eraseTime.value_or(facts.times.erase));
    m_eraseEnd = end;
    m_eraseGeneration = m_generation;
    m_eraseResult = chip->Facts().conditions.eraseFails ? 1 : 0;
    // The erase takes effect when it ends, before its answer is queued (events at one time run
    // in the order they were scheduled).
    std::weak_ptr<Box> weak = m_box.weak_from_this();
    const std::uint64_t generation = m_generation;
    const std::uint64_t serial = m_socket.Serial();
    clock.Schedule(end, [weak, this, generation, serial, option] {
        auto box = weak.lock();
        if (!box)
            return;
        std::lock_guard lock(box->Mutex());
        if (generation == m_generation && serial == m_socket.Serial() && m_socket.Get())
            m_socket.Get()->Erase(option);
    });
    for (Duration tick = start + std::chrono::seconds(1); tick < end; tick += std::chrono::seconds(1))
        Reply(tick, { 2 });
    Reply(end, { m_eraseResult });
}

void ChipCommands::PicRead(DispatchContext& ctx, const std::uint8_t* p, std::size_t n)
{
    if (!Needs(ctx, p, n, 7))
        return;
    const std::uint32_t word = Be32(p + 1);
    const std::uint8_t length = p[5];
    const std::uint8_t type = p[6];
    if (length > kReplySize) {
        ctx.ProtocolError("P_PIC_MEM_READ of " + std::to_string(length) + " bytes (at most 64)");
        return;
    }
    if (type != 6 && type != 7) {
        Reply(Duration(0), { 1 });
        return;
    }
    PowerSocket();
    bool driven = true;
    Chip* chip = Live(driven);
    if (chip && driven && chip->Facts().conditions.osccalReadUnanswered && chip->Facts().pic.osccalAddress) {
        const WordPlace osccal = chip->LocateWord(*chip->Facts().pic.osccalAddress);
        for (std::uint32_t k = 0; osccal && k < (length + 1u) / 2; ++k)
            if (PicWordAt(*chip, word, type, k) == osccal)
                return; // the chip never answers this one
    }
    std::vector<std::uint8_t> unit(kReplySize, kFloating);
    for (std::uint32_t j = 0; chip && j < length; ++j) {
        const WordPlace at = PicWordAt(*chip, word, type, j / 2);
        if (!driven)
            unit[j] = kHoldUnpowered;
        else if (at)
            unit[j] = chip->Read(at->first, at->second + j % 2);
    }
    Reply(Duration(0), std::move(unit));
}

void ChipCommands::PicWrite(DispatchContext& ctx, const std::uint8_t* p, std::size_t n)
{
    if (!Needs(ctx, p, n, 7))
        return;
    const std::uint32_t word = Be32(p + 1);
    const std::uint8_t length = p[5];
    const std::uint8_t type = p[6];
    if (length > 57 || 7u + length > n) {
        ctx.ProtocolError(
            "P_PIC_MEM_WRITE of " + std::to_string(length) + " bytes in a packet of " + std::to_string(n));
        return;
    }
    if (type != 6 && type != 7) {
        Reply(Duration(0), { 1 });
        return;
    }
    PowerSocket();
    bool driven = true;
    Chip* chip = Live(driven);
    if (!m_block.open)
        m_block.vppHazardLogged = false; // a command of its own: its own hazard entry
    bool ok = chip && driven && VppReaches(*chip);
    Duration cost { 0 };
    for (std::uint32_t j = 0; ok && j < length; ++j) {
        const WordPlace at = PicWordAt(*chip, word, type, j / 2);
        if (at && j % 2 == 0 && j + 1 < length && chip->SkipsBlankWord(at->first, at->second, p[7 + j], p[8 + j])) {
            ++j; // a blank word: nothing to program
            continue;
        }
        ok = at && chip->Program(at->first, at->second + j % 2, p[7 + j]);
        cost += chip->Facts().times.programPerByte;
    }
    Reply(Busy(platform::GetClock().Now(), cost), { static_cast<std::uint8_t>(ok ? 0 : 1) });
}

void ChipCommands::ConfigBytes(DispatchContext& ctx, const std::uint8_t* p, std::size_t n)
{
    if (!Needs(ctx, p, n, 5))
        return;
    PowerSocket();
    bool driven = true;
    Chip* chip = Live(driven);
    if (!m_block.open)
        m_block.vppHazardLogged = false;
    const bool vpp = chip && driven && VppReaches(*chip);
    std::optional<std::vector<std::uint8_t>> failure;
    for (int k = 0; k < 2; ++k) {
        const std::uint8_t index = p[1 + k];
        const std::uint8_t value = p[3 + k];
        // Byte 2k in address order is word k's low byte: index ^ 1 in the high-byte-first stream.
        const std::uint32_t offset = index ^ 1u;
        bool ok = false;
        std::uint8_t readBack = chip && driven ? kFloating : kHoldUnpowered;
        if (chip && driven && offset < chip->Size(ChipMemory::ConfigWords)) {
            ok = vpp && chip->Program(ChipMemory::ConfigWords, offset, value);
            readBack = chip->Read(ChipMemory::ConfigWords, offset);
        }
        if (!ok && !failure)
            failure = Failure(index, readBack, value);
    }
    const Duration cost = chip ? chip->Facts().times.programPerByte * 2 : Duration(0);
    Reply(Busy(platform::GetClock().Now(), cost), failure ? *failure : std::vector<std::uint8_t> { 0 });
}

} // namespace sim
