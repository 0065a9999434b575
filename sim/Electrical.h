#pragma once
// The box's electrical side: the pin-driver latches as last received, the supply (Vcc) and
// programming (Vpp) rails with their levels, the digital potentiometers, what each socket position
// carries, the chip load in the socket, and a log of every condition that would harm that chip.
// The rules are in sim/PROTOCOL.md ("Pin drivers and voltages").
//
// The box owns one (Box::Electrical()). Its handlers run under the box's lock; every accessor
// takes that lock too, so tests and the chip model may call them from any thread.

#include "platform/Clock.h"
#include "sim/Dispatcher.h"
#include "sim/PinRole.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace sim {

class Box;

enum class Rail { Vcc, Vpp };

// A DIP chip in the 40-pin socket. Socket positions run 1..40 counter-clockwise from the top
// left: rows 1..20 down the left side, then up the right (position 40 faces position 1). A chip
// with pin 1 in row r covers rows r .. r + pins/2 - 1 on both sides. The programmer's 32 pin
// drivers (ZIF32 pins 1..32) sit on positions 5..36.
struct SocketLoad {
    int pins = 0; // 0: the socket is empty
    int firstRow = 1; // row of pin 1
    std::vector<PinRole> roles; // by chip pin, roles[0] is pin 1; pins past the end are Other
    double vccMax = 0; // absolute maximum on every pin that is not a Vpp pin
    double vppMax = 0; // absolute maximum on the Vpp pins

    bool Empty() const { return pins <= 0; }
    // Socket position of a chip pin; 0 for a pin the chip does not have.
    int Position(int pin) const;
    // Chip pin at a socket position; 0 when the chip does not cover it.
    int PinAt(int position) const;
    PinRole Role(int pin) const;

    // A chip of `pins` pins with pin 1 in `firstRow`, every pin Other until set with Set.
    static SocketLoad Dip(int pins, int firstRow, double vccMax, double vppMax);
    SocketLoad& Set(int pin, PinRole role);
};

inline constexpr int kSocketPositions = 40;
inline constexpr int kZif32Offset = 4; // ZIF32 pin k is socket position k + 4

// The ZIF32 pin that each bit of the Vcc and the Vpp switch byte connects to its rail.
inline constexpr std::array<int, 8> kVccSwitchPins = { 21, 28, 30, 32, 8, 20, 3, 1 }; // bit 0 .. bit 7
inline constexpr std::array<int, 8> kVppSwitchPins = { 26, 25, 24, 22, 11, 5, 3, 1 };

enum class HazardKind {
    VppWithoutVcc, // the Vpp rail reaches the chip while the Vcc rail is off
    HighVoltageOnSignal, // a pin that is not a Vpp pin carries more than the chip's Vcc maximum
    OverMaximum, // a Vcc or Vpp pin above its own maximum
    RailOnGround, // a rail reaches a GND pin
    Operation, // reported by a device operation (Electrical::Report), named by `what`
};

const char* HazardKindName(HazardKind kind);

struct Hazard {
    platform::Duration time { 0 };
    HazardKind kind = HazardKind::OverMaximum;
    int position = 0; // socket position
    int chipPin = 0;
    double volts = 0;
    std::string what; // Operation entries only
};

// The pin-driver bytes as the box last received them (all 0 after a boot).
struct PinLatches {
    std::uint8_t switchA = 0;
    std::uint8_t switchB = 0;
    std::uint8_t vccSwitch = 0;
    std::uint8_t vppSwitch = 0;
    std::uint8_t select = 0; // Vcc select | Vpp select (every model but ZV-D)
    std::uint8_t u9 = 0; // ZIF48 U9 (ZV-D)
};

// A [71] reply's two 16-bit codes.
struct RailReading {
    std::uint16_t vcc = 0;
    std::uint16_t vpp = 0;
};

// Digital potentiometer registers of [100]/[101].
inline constexpr std::uint8_t kPotVccRam = 0x00;
inline constexpr std::uint8_t kPotVppRam = 0x10;
inline constexpr std::uint8_t kPotVccEeprom = 0x20;
inline constexpr std::uint8_t kPotVppEeprom = 0x30;

class Electrical {
public:
    // Registers the electrical commands on the box's dispatcher.
    explicit Electrical(Box& box);
    Electrical(const Electrical&) = delete;
    Electrical& operator=(const Electrical&) = delete;

    // --- called by the box's core (under its lock)
    void Boot(); // the firmware starts: latches 0, ZV-D pots 255, rails off
    void PowerUp(); // power returns: the RAM pot registers reload from their EEPROM (a Boot follows)
    void PowerDown(); // the cable is pulled: rails off
    void SetRail(Rail rail, bool on); // [15, on] and [14, on]
    // [22] and the device-operation commands: the Vcc rail on (until [21]).
    void PowerSocket();
    void RailsOff(); // [21]
    // A programming pulse: the Vpp rail on for its length (the hazards judged with it on), then
    // back as it was. Returns the volts the pulse puts on chip pin `pin` (0 where the Vpp switch
    // does not reach it, or no such pin).
    double PulseVpp(int pin);

    // --- what the box holds
    PinLatches Latches() const;
    std::uint8_t VccPot() const; // ZV-D, [115]
    std::uint8_t VppPot() const; // ZV-D, [117]
    std::uint8_t PotRegister(std::uint8_t reg) const; // kPot...; 0 for another register
    // ZV-D: the ZIF48 configuration line, port 1 (0x90) bit 4.
    bool Zif48ConfigLine() const;

    // --- rails
    bool RailOn(Rail rail) const;
    bool RailsOn() const; // either rail switched on
    double Level(Rail rail) const; // the level the latches or pots select, on or off
    double Output(Rail rail) const; // level × health while on, else 0
    void SetHealth(Rail rail, double factor); // 1.0 by default; survives boots

    // --- pins
    // Volts at a socket position (1..40): the higher of the rails its switch bits connect.
    double PinVolts(int position) const;
    // Volts at a pin of the chip in the socket; 0 when empty or no such pin.
    double ChipPinVolts(int pin) const;
    // Socket positions a rail's switch byte connects (whether the rail is on or not).
    std::vector<int> RailPositions(Rail rail) const;

    // --- the chip in the socket
    void SetLoad(SocketLoad load);
    void ClearLoad();
    SocketLoad Load() const;

    // --- hazards (only with a load in the socket)
    std::vector<Hazard> Hazards() const;
    void ClearHazards();
    // Logs what a device operation found wrong on chip pin `pin` (an Operation entry).
    void Report(const std::string& what, int pin, double volts);

    // --- [71]
    RailReading Measure(); // what [71] answers now
    void ForceReading(std::optional<RailReading> reading); // served exactly until cleared
    void SetNoise(int counts, std::uint32_t seed); // default ± 8 counts, seed 1

    // Every packet of the commands above ([30], [31], [66], [71], [100], [101], [115], [117]) in
    // the order received, since the box was made or the last ClearPackets (the latest 65,536 at most).
    std::vector<std::vector<std::uint8_t>> Packets() const;
    void ClearPackets();

    // Runs after every change of what the socket carries (latches, pots, rails, load), under the
    // box's lock. For the chip model.
    void AddChangeHook(std::function<void()> hook);

private:
    void RegisterHandlers();
    void On(std::uint8_t code, Handler handler); // registers, logging the packet first
    void Changed(); // re-evaluates the hazards and runs the change hooks
    double LevelLocked(Rail rail) const;
    double OutputLocked(Rail rail) const;
    double PinVoltsLocked(int position) const;
    std::uint16_t Code(Rail rail);

    Box& m_box;
    const int m_model;

    PinLatches m_latches;
    std::uint8_t m_vccPot = 255;
    std::uint8_t m_vppPot = 255;
    std::map<std::uint8_t, std::uint8_t> m_potRegisters;
    bool m_vccOn = false;
    bool m_vppOn = false;
    double m_vccHealth = 1.0;
    double m_vppHealth = 1.0;

    SocketLoad m_load;
    std::vector<Hazard> m_hazards;
    std::set<std::tuple<HazardKind, int>> m_active; // conditions logged and not yet cleared

    std::optional<RailReading> m_forced;
    int m_noise = 8;
    std::mt19937 m_rng { 1 };

    std::vector<std::function<void()>> m_changeHooks;
    std::vector<std::vector<std::uint8_t>> m_packets;
};

} // namespace sim
