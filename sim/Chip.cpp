#include "sim/Chip.h"

#include <algorithm>
#include <tuple>

namespace sim {

namespace {

int Index(ChipMemory memory)
{
    return static_cast<int>(memory);
}

bool In(std::uint32_t word, std::uint32_t base, std::uint32_t count)
{
    return word >= base && word - base < count;
}

} // namespace

ChipSpec ChipSpec::Make(ChipCategory category, std::uint32_t mainSize)
{
    using namespace std::chrono;
    ChipSpec s;
    s.category = category;
    s.main.size = mainSize;
    switch (category) {
    case ChipCategory::Eprom:
        s.times.programPerByte = microseconds(100);
        break;
    case ChipCategory::Flash:
        s.times.programPerByte = microseconds(20);
        s.times.erase = seconds(3);
        break;
    case ChipCategory::ParallelEeprom:
        s.times.pagePeriod = milliseconds(10);
        s.times.pageSize = 64;
        break;
    case ChipCategory::SerialEeprom:
        s.times.programPerByte = microseconds(23);
        s.times.pagePeriod = milliseconds(5);
        s.times.pageSize = 16;
        break;
    case ChipCategory::Mcu8051:
    case ChipCategory::Avr:
        s.times.programPerByte = microseconds(20);
        s.hasLock = true;
        break;
    case ChipCategory::Pic:
        s.times.programPerByte = microseconds(20);
        break;
    case ChipCategory::Sram:
    case ChipCategory::Nvram:
    case ChipCategory::OneWire:
        break;
    }
    return s;
}

Chip::Chip(ChipSpec chipSpec)
    : m_spec(std::move(chipSpec))
    , m_fuses(m_spec.fuses)
{
    for (ChipMemory m :
        { ChipMemory::Main, ChipMemory::Data, ChipMemory::Config, ChipMemory::ConfigWords, ChipMemory::Osccal })
        m_memories[Index(m)].assign(Size(m), 0xFF);
    if (m_spec.category == ChipCategory::Pic) {
        Blank(ChipMemory::Main);
        Blank(ChipMemory::Config);
        Blank(ChipMemory::ConfigWords);
        Blank(ChipMemory::Osccal);
        // The device-ID word reads as the signature where configuration memory holds it.
        if (m_spec.pic.deviceIdAddress && m_spec.signature.size() >= 2) {
            if (const auto at = LocateWord(*m_spec.pic.deviceIdAddress); at && at->first == ChipMemory::Config) {
                auto& store = Store(ChipMemory::Config);
                store[at->second] = m_spec.signature[0] & Mask(ChipMemory::Config, at->second);
                store[at->second + 1] = m_spec.signature[1];
            }
        }
        if (m_spec.pic.osccalAddress) {
            if (const auto at = LocateWord(*m_spec.pic.osccalAddress)) {
                auto& store = Store(at->first);
                if (at->second + 1 < store.size()) {
                    store[at->second]
                        = static_cast<std::uint8_t>(m_spec.pic.osccalValue >> 8) & Mask(at->first, at->second);
                    store[at->second + 1] = static_cast<std::uint8_t>(m_spec.pic.osccalValue);
                }
            }
        }
    }
}

std::uint32_t Chip::Size(ChipMemory memory) const
{
    const bool pic = m_spec.category == ChipCategory::Pic;
    switch (memory) {
    case ChipMemory::Main:
        return m_spec.main.size;
    case ChipMemory::Data:
        return m_spec.data.size;
    case ChipMemory::Config:
        return pic ? 2 * m_spec.pic.configMemoryWords : m_spec.config.size;
    case ChipMemory::ConfigWords:
        return pic ? 2 * m_spec.pic.configWordCount : 0;
    case ChipMemory::Osccal:
        return pic && m_spec.pic.osccalAddress ? 2 : 0;
    }
    return 0;
}

// A PIC's configuration words may lie inside its configuration memory, and its OSCCAL word inside
// program memory: such memories are views of the one that holds them.
std::optional<std::pair<ChipMemory, std::uint32_t>> Chip::LocateWord(std::uint32_t word) const
{
    if (m_spec.category != ChipCategory::Pic)
        return std::nullopt;
    const PicLayout& p = m_spec.pic;
    if (word < m_spec.main.size / 2)
        return std::pair { ChipMemory::Main, 2 * word };
    if (In(word, p.idAddress, p.configMemoryWords))
        return std::pair { ChipMemory::Config, 2 * (word - p.idAddress) };
    if (In(word, p.configWordAddress, p.configWordCount))
        return std::pair { ChipMemory::ConfigWords, 2 * (word - p.configWordAddress) };
    if (p.osccalAddress && word == *p.osccalAddress)
        return std::pair { ChipMemory::Osccal, std::uint32_t { 0 } };
    return std::nullopt;
}

namespace {

// Where a view's byte really lives.
std::pair<ChipMemory, std::uint32_t> Resolve(const Chip& chip, ChipMemory memory, std::uint32_t offset)
{
    const ChipSpec& s = chip.Facts();
    if (s.category != ChipCategory::Pic || offset >= chip.Size(memory))
        return { memory, offset };
    std::uint32_t word = 0;
    if (memory == ChipMemory::ConfigWords)
        word = s.pic.configWordAddress + offset / 2;
    else if (memory == ChipMemory::Osccal)
        word = *s.pic.osccalAddress;
    else
        return { memory, offset };
    const auto at = chip.LocateWord(word);
    // Configuration words never share program memory's cells, wherever a layout puts them.
    if (!at || at->first == memory || (memory == ChipMemory::ConfigWords && at->first == ChipMemory::Main))
        return { memory, offset };
    return { at->first, at->second + offset % 2 };
}

} // namespace

std::vector<std::uint8_t>& Chip::Store(ChipMemory memory)
{
    return m_memories[Index(memory)];
}

const std::vector<std::uint8_t>& Chip::Store(ChipMemory memory) const
{
    return m_memories[Index(memory)];
}

std::vector<std::uint8_t>& Chip::Contents(ChipMemory memory)
{
    return Store(memory);
}

std::uint8_t Chip::Mask(ChipMemory memory, std::uint32_t offset) const
{
    if (m_spec.category != ChipCategory::Pic || memory == ChipMemory::Data || offset % 2)
        return 0xFF;
    return PicHighMask(m_spec.pic.coreBits);
}

bool Chip::Replaces(ChipMemory memory) const
{
    switch (memory) {
    case ChipMemory::Data:
        return true;
    case ChipMemory::Config:
        return m_spec.category != ChipCategory::Pic;
    case ChipMemory::ConfigWords:
        return m_spec.pic.coreBits == 16; // a 16-bit core rewrites them
    case ChipMemory::Osccal:
        return false;
    case ChipMemory::Main:
        break;
    }
    switch (m_spec.category) {
    case ChipCategory::Eprom:
    case ChipCategory::Mcu8051:
    case ChipCategory::Avr:
    case ChipCategory::Pic:
        return false;
    case ChipCategory::Flash:
        return m_spec.pageWrite;
    case ChipCategory::ParallelEeprom:
    case ChipCategory::SerialEeprom:
    case ChipCategory::Sram:
    case ChipCategory::Nvram:
    case ChipCategory::OneWire:
        return true;
    }
    return true;
}

bool Chip::DeviceId(ChipMemory memory, std::uint32_t offset) const
{
    const PicLayout& p = m_spec.pic;
    return m_spec.category == ChipCategory::Pic && memory == ChipMemory::Config && p.deviceIdAddress
        && p.idAddress + offset / 2 == *p.deviceIdAddress;
}

bool Chip::Protected(ChipMemory memory, std::uint32_t offset, bool unprotect) const
{
    if (memory != ChipMemory::Main)
        return false;
    if (m_upperProtected && offset >= m_spec.main.size / 2)
        return true;
    if (unprotect)
        return false;
    return std::any_of(m_spec.protectedBlocks.begin(), m_spec.protectedBlocks.end(),
        [&](const ChipRegion& b) { return offset >= b.base && offset - b.base < b.size; });
}

bool Chip::SkipsBlankWord(ChipMemory memory, std::uint32_t offset, std::uint8_t high, std::uint8_t low) const
{
    if (m_spec.category != ChipCategory::Pic || memory == ChipMemory::Data || offset % 2 || offset >= Size(memory))
        return false;
    const auto [where, at] = Resolve(*this, memory, offset);
    const std::uint8_t mask = Mask(where, at);
    return !Replaces(where) && (high & mask) == mask && low == 0xFF;
}

bool Chip::IsOsccal(ChipMemory memory, std::uint32_t offset) const
{
    if (m_spec.category != ChipCategory::Pic || !m_spec.pic.osccalAddress)
        return false;
    if (memory == ChipMemory::Osccal)
        return true;
    const auto at = LocateWord(*m_spec.pic.osccalAddress);
    return at && at->first == memory && offset / 2 == at->second / 2;
}

bool Chip::IsConfigWord(ChipMemory memory, std::uint32_t offset) const
{
    const PicLayout& p = m_spec.pic;
    if (m_spec.category != ChipCategory::Pic)
        return false;
    return memory == ChipMemory::ConfigWords
        || (memory == ChipMemory::Config && In(p.idAddress + offset / 2, p.configWordAddress, p.configWordCount));
}

const WeakBits* Chip::Weak(ChipMemory memory, std::uint32_t offset) const
{
    for (const WeakBits& w : m_spec.conditions.weak)
        if (w.memory == memory && offset >= w.offset && offset - w.offset < std::max<std::uint32_t>(w.length, 1))
            return &w;
    return nullptr;
}

void Chip::Decay(ChipMemory memory, std::uint32_t offset)
{
    const WeakBits* w = Weak(memory, offset);
    if (!w || w->mode != WeakMode::FlipsBack)
        return;
    const auto it = m_weakState.find({ Index(memory), offset });
    if (it == m_weakState.end() || it->second.times != 1)
        return;
    if (platform::GetClock().Now() - it->second.at >= w->flipAfter)
        Store(memory)[offset] |= w->mask & Mask(memory, offset);
}

std::uint8_t Chip::Read(ChipMemory memory, std::uint32_t offset)
{
    std::tie(memory, offset) = Resolve(*this, memory, offset);
    auto& store = Store(memory);
    if (offset >= store.size())
        return 0xFF;
    Decay(memory, offset);
    if (m_lock >= 3 && (memory == ChipMemory::Main || memory == ChipMemory::Data))
        return 0x00;
    return store[offset];
}

bool Chip::Program(ChipMemory memory, std::uint32_t offset, std::uint8_t value, bool unprotect)
{
    const ChipMemory asked = memory;
    const std::uint32_t askedOffset = offset;
    std::tie(memory, offset) = Resolve(*this, memory, offset);
    auto& store = Store(memory);
    if (offset >= store.size())
        return false;
    Decay(memory, offset);
    const std::uint8_t mask = Mask(memory, offset);
    const ChipConditions& c = m_spec.conditions;
    if (m_lock >= 2 || Protected(memory, offset, unprotect))
        return false;
    if (DeviceId(memory, offset)) // read-only: only its own value reads back as written
        return (value & mask) == store[offset];
    if (c.configWriteRefused && IsConfigWord(memory, offset))
        return false;
    if (c.osccalWriteIgnored && IsOsccal(memory, offset))
        return true;
    for (const FlipAfterWrite& f : c.flipAfterWrite) {
        if (f.memory == asked && f.offset == askedOffset) {
            const bool ok = ProgramCell(memory, offset, value);
            store[offset] ^= f.mask & mask;
            return ok;
        }
    }
    return ProgramCell(memory, offset, value);
}

bool Chip::ProgramCell(ChipMemory memory, std::uint32_t offset, std::uint8_t value)
{
    auto& store = Store(memory);
    const std::uint8_t mask = Mask(memory, offset);
    const std::uint8_t want = value & mask;
    const std::uint8_t old = store[offset];

    std::uint8_t now = Replaces(memory) ? want : static_cast<std::uint8_t>(old & want);
    const auto& failAt = m_spec.conditions.failAt;
    if (memory == ChipMemory::Main && std::find(failAt.begin(), failAt.end(), offset) != failAt.end())
        now = old;
    const WeakBits* weak = Weak(memory, offset);
    bool quiet = false;
    if (weak && weak->mode != WeakMode::FlipsBack) {
        now = static_cast<std::uint8_t>((now & ~weak->mask) | (old & weak->mask));
        quiet = weak->mode == WeakMode::NeverProgramsQuiet;
    }
    if (weak && weak->mode == WeakMode::FlipsBack && (value & weak->mask) != weak->mask) {
        auto& state = m_weakState[{ Index(memory), offset }];
        ++state.times;
        state.at = platform::GetClock().Now();
    }
    store[offset] = now;
    if (now == want)
        return true;
    return quiet && ((now ^ want) & ~weak->mask) == 0;
}

void Chip::Blank(ChipMemory memory)
{
    auto& store = Store(memory);
    for (std::uint32_t i = 0; i < store.size(); ++i)
        store[i] = Mask(memory, i);
    for (auto it = m_weakState.begin(); it != m_weakState.end();)
        it = it->first.first == Index(memory) ? m_weakState.erase(it) : std::next(it);
}

void Chip::BlankConfigMemory(bool spareConfigWords, bool spareIds)
{
    const PicLayout& p = m_spec.pic;
    auto& store = Store(ChipMemory::Config);
    for (std::uint32_t i = 0; i < p.configMemoryWords; ++i) {
        const std::uint32_t word = p.idAddress + i;
        const bool configWord = In(word, p.configWordAddress, p.configWordCount);
        const bool id = i < p.idWords;
        if ((configWord && spareConfigWords) || (id && spareIds) || (!configWord && !id))
            continue;
        store[2 * i] = Mask(ChipMemory::Config, 0);
        store[2 * i + 1] = 0xFF;
    }
}

bool Chip::Erasable() const
{
    switch (m_spec.category) {
    case ChipCategory::Flash:
    case ChipCategory::Mcu8051:
    case ChipCategory::Avr:
    case ChipCategory::Pic:
        return true;
    default:
        return false;
    }
}

bool Chip::Erase(std::uint8_t option)
{
    if (!Erasable() || m_spec.conditions.eraseFails)
        return false;
    switch (m_spec.category) {
    case ChipCategory::Flash: {
        auto& store = Store(ChipMemory::Main);
        const bool unprotect = option == 1;
        for (std::uint32_t i = 0; i < store.size(); ++i)
            if (!Protected(ChipMemory::Main, i, unprotect))
                store[i] = 0xFF;
        m_weakState.clear();
        break;
    }
    case ChipCategory::Mcu8051:
    case ChipCategory::Avr:
        Blank(ChipMemory::Main);
        m_lock = 1;
        break;
    case ChipCategory::Pic:
        Blank(ChipMemory::Main);
        Blank(ChipMemory::Osccal);
        if (!(option & 0x01))
            Blank(ChipMemory::Data);
        if (!(option & 0x02))
            Blank(ChipMemory::ConfigWords);
        BlankConfigMemory(option & 0x02, option & 0x04);
        m_lock = 1;
        break;
    default:
        return false;
    }
    return true;
}

bool Chip::SetLock(int level)
{
    if (m_spec.protectableUpperHalf) {
        if (level != 1)
            return false;
        m_upperProtected = true;
        return true;
    }
    if (!m_spec.hasLock || level < 1 || level > 3)
        return false;
    m_lock = std::max(m_lock, level);
    return true;
}

bool Chip::WriteFuses(const std::uint8_t* bytes, std::size_t count)
{
    if (m_fuses.empty())
        return false;
    std::copy_n(bytes, std::min(count, m_fuses.size()), m_fuses.begin());
    return true;
}

void Chip::PowerLost()
{
    if (m_spec.category != ChipCategory::Sram)
        return;
    // What a static RAM powers up with: no pattern a test could have written.
    std::uint32_t x = 0x9E3779B9u;
    for (auto& b : Store(ChipMemory::Main)) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
}

} // namespace sim
