#pragma once
// What a transfer costs: the wire's share (latency plus bytes over bandwidth, by speed; see
// VirtualWireModel) and the device's (per OUT transfer, per byte the 8051 moves, per JTAG clock). Wire time
// is charged by the bus; the box adds its own to each OUT transfer. Zero() gives exact clock
// figures in tests that count milliseconds.

#include "platform/usb/VirtualBus.h"

namespace sim {

struct TimeModel {
    platform::usb::VirtualWireModel wire;
    platform::Duration perOutTransfer = std::chrono::microseconds(20);
    platform::Duration perByte = std::chrono::nanoseconds(500);
    platform::Duration tck = std::chrono::microseconds(1); // one JTAG clock

    static TimeModel Zero()
    {
        TimeModel t;
        t.wire.enabled = false;
        t.perOutTransfer = platform::Duration(0);
        t.perByte = platform::Duration(0);
        t.tck = platform::Duration(0);
        return t;
    }

    platform::Duration Device(std::size_t bytesMoved) const
    {
        return perOutTransfer + perByte * static_cast<platform::Duration::rep>(bytesMoved);
    }
};

} // namespace sim
