#pragma once
// The firmware's device-operation commands: block reads and writes of the chip's regions, erase,
// signature, lock, fuses, and the PIC's word and configuration commands. Each works on the chip in
// the socket by its physical rules, takes the chip's time on the clock, and answers as
// sim/PROTOCOL.md fixes. Lives inside its Box and runs under the box's lock.

#include "sim/Socket.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

class Box;
class DispatchContext;

class ChipCommands {
public:
    explicit ChipCommands(Box& box);
    ChipCommands(const ChipCommands&) = delete;
    ChipCommands& operator=(const ChipCommands&) = delete;

    Socket& GetSocket() { return m_socket; }
    // The serial EEPROM device address [37] latched: 0xA0 after a boot, kept by P_POWER_DOWN.
    std::uint8_t DeviceAddress() const;

private:
    struct Target {
        ChipMemory memory = ChipMemory::Main;
        std::uint32_t unit = 1; // bytes per address step
        std::int64_t base = 0;
        std::uint32_t size = 0; // bytes
        bool gated = false; // the package's power line is an address bit it lacks
    };

    void Register();
    void Read(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, ChipMemory memory);
    void Write(DispatchContext& ctx, const std::uint8_t* p, std::size_t n, ChipMemory memory, bool opens);
    void Erase(const std::uint8_t* p, std::size_t n);
    void PicRead(DispatchContext& ctx, const std::uint8_t* p, std::size_t n);
    void PicWrite(DispatchContext& ctx, const std::uint8_t* p, std::size_t n);
    void ConfigBytes(DispatchContext& ctx, const std::uint8_t* p, std::size_t n);

    Target Map(ChipMemory memory, std::uint32_t address) const;
    // The byte offset of byte j of a transfer at `address`.
    static std::uint32_t Offset(const Target& t, std::uint32_t address, std::size_t j);
    // The chip as the box drives it: null when the socket is empty or the chip does not
    // acknowledge; `driven` false when it is wrongly driven (the algorithm gate) and so reads 0x00
    // and takes no writes.
    Chip* Live(bool& driven);
    // A serial EEPROM whose strapped address pins differ from the latched device address on the
    // pins it decodes: it acknowledges nothing.
    bool Unacknowledged() const;
    bool VppReaches(Chip& chip);
    void PowerSocket();
    // Takes `cost` of the chip's time after `from`; when it is done.
    platform::Duration Busy(platform::Duration from, platform::Duration cost);
    void CloseBlock();
    void Reset();
    // Queues a reply at `at`, unless the operation it belongs to has ended by then.
    void Reply(platform::Duration at, std::vector<std::uint8_t> unit);

    Box& m_box;
    std::unique_ptr<SocketSupply> m_electrical; // the box's electrical model, as the socket sees it
    Socket m_socket;
    std::uint64_t m_generation = 0;
    platform::Duration m_busyUntil { 0 };
    bool m_unprotect = false;
    std::uint8_t m_deviceAddress = 0xA0;
    int m_deviceAddressBoot = -1;
    std::optional<std::uint8_t> m_subCode;
    int m_subCodeBoot = -1;

    struct Block {
        bool open = false;
        bool owes = false;
        std::optional<std::vector<std::uint8_t>> failure;
        bool vppHazardLogged = false;
        std::vector<std::uint32_t> pages;
    } m_block;

    platform::Duration m_eraseEnd { 0 };
    std::uint64_t m_eraseGeneration = ~std::uint64_t { 0 };
    std::uint8_t m_eraseResult = 0;
};

} // namespace sim
