#pragma once
// What a chip pin is to the box's electrical side: the supply, a pin rated for the programming
// voltage (Vpp, OE/Vpp, MCLR, A9 ...), ground, or anything else.

namespace sim {

enum class PinRole { Other, Vcc, Vpp, Gnd };

} // namespace sim
