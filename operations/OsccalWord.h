#pragma once
// A PIC's OSCCAL word and the erase exchanges around it, over an ExchangeLink, so they run on the
// pump's worker under the Operation lease (the view's exchange helper) as well as against a
// scripted link. Addresses are word addresses; the word travels high byte first.

#include "operations/EraseFlow.h"
#include "operations/StepExchange.h"

#include <cstdint>
#include <span>
#include <stop_token>

// The OSCCAL word saved before an erase and written back after it (GUI thread only).
extern OsccalWord g_OscCalSaved;

inline constexpr std::uint8_t kOsccalReadType = 6;
inline constexpr std::uint8_t kOsccalWriteType = 7;

struct OsccalRead {
    StepKind kind = StepKind::Failed; // Done, Failed (no or short answer) or LinkLost
    OsccalWord word {};
};

// The read voltages, P_PIC_MEM_READ [57, a3, a2, a1, a0, length, type, 0, 0, 0], a 64-byte reply
// whose first `length` bytes are the data, then P_POWER_DOWN. Fewer than `length` bytes fail.
// `out` receives what came (up to its size).
StepKind ReadOsccal(ExchangeLink& link, std::uint32_t address, std::span<std::uint8_t> out, int length = 2,
    std::uint8_t type = kOsccalReadType);
OsccalRead ReadOsccalWord(ExchangeLink& link, std::uint32_t address);

// The write voltages, P_PIC_MEM_WRITE [58, a3, a2, a1, a0, length, type, data...]; done only when
// the reply is the one byte 0. Data beyond 57 bytes is not sent.
StepKind WriteOsccal(ExchangeLink& link, std::uint32_t address, std::span<const std::uint8_t> data,
    std::uint8_t type = kOsccalWriteType);

// P_ERASE [9, option] three times, each read until its final status ([0] done, [1] not erasable;
// keep-alives [2] and anything else read past), then a 100 ms pause. A [1], or three reads in a
// row that bring nothing, fail it. A stop during the pause fails it with a power-down.
StepKind RunTripleErase(ExchangeLink& link, std::uint8_t option, std::stop_token stop = {});

// What a batch or script does before the erase step, and what an interactive erase of an OSCCAL
// part does before its question: the OSCCAL word first when `start` reads it, then the triple
// erase when `start` asks for it. A failed OSCCAL read erases nothing.
struct ErasePrologue {
    StepKind kind = StepKind::Done;
    bool osccalFailed = false; // the read failed: the erase does not start
    OsccalWord word {};
};
ErasePrologue RunErasePrologue(
    ExchangeLink& link, const EraseStart& start, std::uint8_t option, std::stop_token stop = {});

// The completion's restore: the saved word written back and read again. Restored only when the
// write was answered [0] and the word reads back equal.
struct OsccalRestore {
    OsccalRestoreEnd end = OsccalRestoreEnd::Restored;
    OsccalWord readBack {};
};
OsccalRestore RunOsccalRestore(ExchangeLink& link, std::uint32_t address, const OsccalWord& saved);
