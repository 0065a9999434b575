#pragma once
// The programmer's socket: none or one chip, and what the chip needs of the box's electrical side
// (SocketSupply): its pins become the socket's load, a device operation powers it, and programming
// pulses the programming voltage onto its Vpp pins.

#include "sim/Chip.h"

#include <memory>
#include <string>

namespace sim {

class SocketSupply {
public:
    virtual ~SocketSupply() = default;
    // The chip in the socket changed (null: the socket is empty).
    virtual void LoadChip(const ChipSpec* chip) = 0;
    // A device operation powers the socket: Vcc on at its level until [21].
    virtual void PowerSocket() = 0;
    // The box pulses the latched programming voltage while it programs: the volts that reach
    // chip pin `pin` (0 where the Vpp switch does not route the rail).
    virtual double PulseVpp(int pin) = 0;
    virtual void Hazard(const std::string& kind, int pin, double volts) = 0;
};

class Socket {
public:
    // Puts a chip in (the one there before is taken out).
    Chip& Insert(ChipSpec chipSpec);
    void Remove();
    Chip* Get() { return m_chip.get(); }
    const Chip* Get() const { return m_chip.get(); }
    bool Empty() const { return !m_chip; }
    // Counts insertions and removals: a chip's identity beyond its address.
    std::uint64_t Serial() const { return m_serial; }

    // Where the chip's electrical needs go; null: no electrical model, every rail as wanted.
    void SetSupply(SocketSupply* supply);
    SocketSupply* Supply() const { return m_supply; }

    // The box lost power (an unplug).
    void PowerLost();

private:
    std::unique_ptr<Chip> m_chip;
    SocketSupply* m_supply = nullptr;
    std::uint64_t m_serial = 0;
};

} // namespace sim
