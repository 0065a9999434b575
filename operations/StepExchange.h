#pragma once
// The short exchanges of the ID-check and lock steps: a few packets with the programmer, run by
// the view's exchange helper in the pump's slot under the Operation lease. They reach the
// programmer only through an ExchangeLink, so they run as well against a scripted link.
//
// Each ends with P_POWER_DOWN whatever happened before, so the socket is never left powered.

#include "operations/ChipIdCheck.h"
#include "operations/OperationFlow.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class ExchangeLink {
public:
    enum class Status { Ok, Timeout, Gone, Failed };
    enum class Voltages { Read, Write };

    virtual ~ExchangeLink() = default;
    // Sets the supply and programming voltages of an operation of that kind.
    virtual void SetVoltages(Voltages voltages) = 0;
    virtual Status Send(std::span<const std::uint8_t> packet) = 0;
    // One read of up to buffer.size() bytes: the count, and in `status` why it is 0.
    virtual int Read(std::span<std::uint8_t> buffer, Status& status) = 0;

    // What the voltage self-test needs beside: the supply or programming voltage by its code,
    // a drain of stale replies, and a read that waits at most `timeout` and ends at a stop.
    virtual void SetVcc(std::uint8_t code) { (void)code; }
    virtual void SetVpp(std::uint8_t code) { (void)code; }
    virtual void Drain() { }
    virtual int ReadFor(
        std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout, std::stop_token stop, Status& status)
    {
        (void)timeout;
        (void)stop;
        return Read(buffer, status);
    }
};

struct ExchangeResult {
    StepKind kind = StepKind::Done; // Done, Failed (no or short answer) or LinkLost
    std::vector<std::uint8_t> reply;
};

inline constexpr int kReplyPacketBytes = 64;

// Read voltages, P_SIGNATURE, a 64-byte reply, P_POWER_DOWN.
ExchangeResult RunSignatureExchange(ExchangeLink& link);
// Write voltages, P_SET_LOCK with the level, one reply (its byte 0: 0 locked), P_POWER_DOWN.
ExchangeResult RunLockExchange(ExchangeLink& link, std::uint8_t level);

// The AVR fuses: f0 low, f1 high, f2 extended. `answer` is a write's reply byte (0 done), -1
// for a read.
struct FuseExchange {
    StepKind kind = StepKind::Done;
    int answer = -1;
    std::array<std::uint8_t, 3> fuses { 0xFF, 0xFF, 0xFF };
    // True when `fuses` came from the chip; otherwise they are the defaults above.
    bool fusesRead = false;
};
// Read voltages, P_READ_FUSE, a 64-byte reply, P_POWER_DOWN.
FuseExchange ReadFusesExchange(ExchangeLink& link);
// Write voltages, P_WRITE_FUSE with the three bytes and its one-byte reply, then (when the chip
// took them) P_READ_FUSE read back; P_POWER_DOWN.
FuseExchange WriteFusesExchange(ExchangeLink& link, const std::array<std::uint8_t, 3>& fuses);
// P_2051_Init_24C with the control byte, one reply (0 latched), P_POWER_DOWN.
ExchangeResult SetEepromAddressExchange(ExchangeLink& link, std::uint8_t controlByte);

// The ID check after its exchange. A lost link ends the run (kind LinkLost, no line of its own);
// no answer is a failure with text 88; otherwise the verdict's line, and `ask` when the Yes/No
// question decides whether the run goes on.
struct IdCheckStep {
    IdCheckVerdict verdict = IdCheckVerdict::Skipped;
    StepKind kind = StepKind::Done;
    std::string line;
    bool ask = false;
};
IdCheckStep DecideIdCheck(
    const ExchangeResult& exchange, int length, std::string_view id, bool wordId, std::uint16_t mask);

// The lock step after its exchange; a lost link is a failure with no line (the link watch tells).
LockOutcome DecideLock(const ExchangeResult& exchange, std::uint8_t level);
