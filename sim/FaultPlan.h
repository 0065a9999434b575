#pragma once
// Faults on demand for the virtual programmer. Each fault has a trigger (the n-th transfer the box
// sees, a command code, a 0xA0 write at an address, or a moment on the clock) and an action, and
// fires once or, when persistent, every time its trigger matches (for a transfer count: every
// transfer from the n-th on).

#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace sim {

enum class FaultAction {
    Unplug, // the cable is pulled
    Replug, // pulled and put back: power-up, unprogrammed
    ReenumerationSlow, // the next re-enumeration returns `delay` later
    ReenumerationNever, // the next re-enumeration leaves the bus for good
    Busy, // another program holds the device (claims give Busy)
    AccessDenied, // opens give Access
    DriverBound, // a kernel driver is bound (a claim detaches it until its release)
    Stall, // the next `count` transfers stall, this one first
    WithholdReply, // the next `count` replies are never sent (a hung firmware: a large count)
    DelayReply, // the next reply arrives `delay` later
    CutReply, // the next reply loses its last `bytes` bytes
    LengthenReply, // the next reply gains `bytes` bytes (past the host's read)
    FlipReply, // the next reply's byte `bytes` is XORed with `mask`
    StaleZero, // an extra one-byte [0] is queued before the next reply
    PartialOut, // this OUT transfer takes `bytes` bytes, then NAKs
};

enum class FaultTrigger { Transfer, Code, A0Address, Time };

struct Fault {
    FaultTrigger trigger = FaultTrigger::Transfer;
    std::uint64_t value = 1; // transfer number (from 1), command code or 0xA0 address
    platform::Duration at { 0 }; // for FaultTrigger::Time
    FaultAction action = FaultAction::Stall;
    bool persistent = false;
    int count = 1;
    std::size_t bytes = 0;
    std::uint8_t mask = 0x01;
    platform::Duration delay { 0 };

    static Fault OnTransfer(std::uint64_t n, FaultAction a)
    {
        Fault f;
        f.trigger = FaultTrigger::Transfer;
        f.value = n;
        f.action = a;
        return f;
    }
    static Fault OnCode(std::uint8_t code, FaultAction a)
    {
        Fault f;
        f.trigger = FaultTrigger::Code;
        f.value = code;
        f.action = a;
        return f;
    }
    static Fault OnA0Address(std::uint16_t address, FaultAction a)
    {
        Fault f;
        f.trigger = FaultTrigger::A0Address;
        f.value = address;
        f.action = a;
        return f;
    }
    static Fault AtTime(platform::Duration t, FaultAction a)
    {
        Fault f;
        f.trigger = FaultTrigger::Time;
        f.at = t;
        f.action = a;
        return f;
    }
    Fault& Persistent()
    {
        persistent = true;
        return *this;
    }
    Fault& Count(int n)
    {
        count = n;
        return *this;
    }
    Fault& Bytes(std::size_t n)
    {
        bytes = n;
        return *this;
    }
    Fault& Mask(std::uint8_t m)
    {
        mask = m;
        return *this;
    }
    Fault& Delay(platform::Duration d)
    {
        delay = d;
        return *this;
    }
};

class FaultPlan {
public:
    void Add(const Fault& fault);
    void Clear();
    // The faults that fire for a trigger value, one-shot ones removed.
    std::vector<Fault> Fire(FaultTrigger trigger, std::uint64_t value);
    // Time faults not yet handed to the clock; they leave the plan.
    std::vector<Fault> TakeTimed();
    bool Empty() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Fault> m_faults;
};

} // namespace sim
