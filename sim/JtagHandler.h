#pragma once
// The firmware's side of P_JTAG_IO (0x56): TCK, TMS and TDI driven onto one of two chains and
// TDO sampled, as sim/PROTOCOL.md (JTAG) fixes. Under image 355 the packets reach the
// programmer's own CPLD, under any other image (or after [0x56, 5, 1]) the socket's chain, which
// answers only while the Vcc rail is on. Lives inside its Box and runs under the box's lock.

#include "platform/Clock.h"
#include "sim/JtagChain.h"
#include "sim/ModelCpld.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

class Box;
class DispatchContext;

enum class JtagRoute { Programmer, Socket };

// The image under which the packets reach the programmer's CPLD.
inline constexpr int kJtagProgrammerImage = 355;

class JtagHandler {
public:
    explicit JtagHandler(Box& box);
    JtagHandler(const JtagHandler&) = delete;
    JtagHandler& operator=(const JtagHandler&) = delete;

    // Hold the box's Mutex() while the box may be in use.
    JtagChain& ProgrammerChain() { return m_chains[0]; }
    JtagChain& SocketChain() { return m_chains[1]; }
    ModelCpld& ProgrammerCpld() { return *m_programmerCpld; }

    // Where packets go now.
    JtagRoute Route() const;
    // Packets of sub-commands 0 to 4 that reached a chain.
    std::size_t Packets(JtagRoute route) const;
    // The firmware's view of a chain's TAP (it moves with every TCK, powered or not).
    TapState FirmwareTap(JtagRoute route) const;

private:
    void Handle(DispatchContext& ctx, const std::uint8_t* p, std::size_t n);
    void EnterShift(DispatchContext& ctx, bool ir, std::uint8_t startCode);
    void Shift(DispatchContext& ctx, const std::uint8_t* p);
    void DoShift(std::uint32_t bits, const std::vector<std::uint8_t>* tdi, bool tdoWanted);
    void RunTest(DispatchContext& ctx, const std::uint8_t* p);
    bool Tck(bool tms, bool tdi);
    void Reply(std::uint64_t clocks, std::vector<std::uint8_t> unit);
    void Charge(std::uint64_t clocks);
    void UpdateSocketPower();
    std::size_t Index(JtagRoute route) const { return route == JtagRoute::Programmer ? 0 : 1; }

    Box& m_box;
    std::array<JtagChain, 2> m_chains;
    std::array<JtagTap, 2> m_taps; // the firmware's view
    std::array<std::size_t, 2> m_packets {};
    ModelCpld* m_programmerCpld = nullptr;
    std::size_t m_route = 0; // of the packet being handled
    int m_socketSelectedAtBoot = -1; // [0x56, 5, 1] under this boot
    std::uint64_t m_generation = 0;
    platform::Duration m_busyUntil { 0 };
    std::vector<std::uint8_t> m_shiftData;
};

} // namespace sim
