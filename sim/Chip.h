#pragma once
// A chip in the socket: its memories and the physical rules of its category. Offsets are bytes
// of a memory; a PIC's word memories are kept as their high-byte-first byte streams, the bits
// above the core width reading 0. Addresses, units and the protocol live in ChipCommands.

#include "sim/ChipDescription.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace sim {

class Chip {
public:
    explicit Chip(ChipSpec chipSpec);

    const ChipSpec& Facts() const { return m_spec; }
    // The faults of this chip, to switch on and off while it sits in the socket (under the box's
    // lock).
    ChipConditions& Conditions() { return m_spec.conditions; }

    std::uint32_t Size(ChipMemory memory) const;
    // A byte as a read shows it now (weak bits that flipped back, lock level 3).
    std::uint8_t Read(ChipMemory memory, std::uint32_t offset);
    // Programs one byte by the memory's rule; false when it does not read back as `value`
    // (within the bits that exist). `unprotect`: the temporary unprotect of flash blocks.
    bool Program(ChipMemory memory, std::uint32_t offset, std::uint8_t value, bool unprotect = false);
    // A PIC word written as all ones (within the core width) over program or configuration words
    // that only clear bits: the firmware skips it, as programming it would change nothing.
    // `offset` is the word's high byte.
    bool SkipsBlankWord(ChipMemory memory, std::uint32_t offset, std::uint8_t high, std::uint8_t low) const;
    // The raw contents, for tests to look at and preset.
    std::vector<std::uint8_t>& Contents(ChipMemory memory);
    // The bits of a byte that exist (PIC streams: the high byte's core-width bits).
    std::uint8_t Mask(ChipMemory memory, std::uint32_t offset) const;

    // Whether the chip erases electrically at all (an EPROM does not).
    bool Erasable() const;
    // Erases by the category's rules; `option` is the byte of [9]. False: not erasable, or the
    // erase fails.
    bool Erase(std::uint8_t option);

    int LockLevel() const { return m_lock; }
    // [12, level]: false when the chip has no such lock.
    bool SetLock(int level);
    bool UpperHalfProtected() const { return m_upperProtected; }

    const std::vector<std::uint8_t>& Fuses() const { return m_fuses; }
    bool WriteFuses(const std::uint8_t* bytes, std::size_t count);

    // The box lost power: an SRAM forgets.
    void PowerLost();

    // A PIC word address of [57]/[58]: the memory and the byte offset of its high byte.
    std::optional<std::pair<ChipMemory, std::uint32_t>> LocateWord(std::uint32_t wordAddress) const;

private:
    std::vector<std::uint8_t>& Store(ChipMemory memory);
    const std::vector<std::uint8_t>& Store(ChipMemory memory) const;
    bool Replaces(ChipMemory memory) const;
    bool Protected(ChipMemory memory, std::uint32_t offset, bool unprotect) const;
    bool DeviceId(ChipMemory memory, std::uint32_t offset) const; // the read-only device-ID word
    // Whether a byte (as resolved) belongs to the OSCCAL word or to a configuration word.
    bool IsOsccal(ChipMemory memory, std::uint32_t offset) const;
    bool IsConfigWord(ChipMemory memory, std::uint32_t offset) const;
    void Decay(ChipMemory memory, std::uint32_t offset);
    // Programs a resolved, writable byte by its memory's rule and its weak bits.
    bool ProgramCell(ChipMemory memory, std::uint32_t offset, std::uint8_t value);
    const WeakBits* Weak(ChipMemory memory, std::uint32_t offset) const;
    void Blank(ChipMemory memory);
    void BlankConfigMemory(bool spareConfigWords, bool spareIds);

    ChipSpec m_spec;
    std::array<std::vector<std::uint8_t>, 5> m_memories;
    int m_lock = 1;
    bool m_upperProtected = false;
    std::vector<std::uint8_t> m_fuses;
    struct Programmed {
        platform::Duration at { 0 };
        int times = 0;
    };
    std::map<std::pair<int, std::uint32_t>, Programmed> m_weakState;
};

} // namespace sim
