#pragma once
// What the data pump needs of whoever started it: the view in the program, a recorder in tests.
// Called on the pump's thread.

#include "operations/PumpJob.h"

#include <cstdint>
#include <span>

class PumpHost {
public:
    virtual ~PumpHost() = default;

    // The selected buffer, read-only; a write and a verify read it. Nothing else writes it while a
    // pump runs.
    virtual std::span<const std::uint8_t> buffer() = 0;
    // A read block landed at buffer `offset`. False when it could not be delivered (the program
    // is shutting down): the pump then ends as cancelled.
    virtual bool deliver(std::uint32_t offset, std::span<const std::uint8_t> bytes) = 0;
    // Bytes moved so far.
    virtual void progress(int position) = 0;
    // The end, once, as the pump's last act.
    virtual void complete(PumpResult result) = 0;
};
