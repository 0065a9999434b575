#pragma once
// The data pump: runs one read, write, erase, verify or blank check on the calling thread (the
// view's pump worker) from its first packet to its one result. It sends the operation's prologue,
// asks for blocks, copies or compares them, sends write blocks as the programmer acknowledges
// them, and ends by handing its PumpResult to the host's complete(), as its last act.
//
// Replies are told apart by where the exchange stands, never by their length: while bytes of a
// requested block are outstanding a reply is data; once a block is complete the programmer owes
// one status byte for it (none on class 90), which is read before anything else. A serial
// EEPROM's status may say that the chip did not acknowledge: a read then hands the host nothing,
// so it holds its bytes until the first block's status says the chip answered.
//
// The pump reaches the world only through a PumpChannel, a PumpVoltageSetter, the platform clock
// and its PumpHost, so it runs as well against a scripted channel as against the programmer.

#include "operations/OperationState.h"
#include "operations/PumpHost.h"
#include "operations/PumpJob.h"

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <vector>

// Set while a pump runs (by the pump, from its start to just before complete()).
extern std::atomic<bool> g_bPumpRunning;
// g_bCancelOperation (operations/OperationState.h): set by Cancel on the GUI thread; cleared there
// before a pump starts, set again by the pump when it ends; 1 whenever no pump runs.

// What the pump needs of the command channel.
class PumpChannel {
public:
    enum class Status {
        Ok,
        Refused, // the channel would not send the packet (too long, outside the device)
        Timeout, // nothing came in the link's time
        Gone, // the programmer left the bus
        Failed, // any other transfer failure
    };

    virtual ~PumpChannel() = default;
    // Drops replies left over from before.
    virtual void Drain() = 0;
    // One packet of at most 64 bytes; `batch` queues it behind others until an unbatched one.
    virtual Status SendCommand(const std::uint8_t* packet, int size, bool batch) = 0;
    // One read of up to `size` bytes: the count, and in `status` why it is 0.
    virtual int ReadResponse(std::uint8_t* buffer, int size, Status& status) = 0;
    // A read that waits at most `timeoutMs` and ends at a stop; by default the plain read.
    virtual int ReadResponseFor(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop, Status& status)
    {
        (void)timeoutMs;
        (void)stop;
        return ReadResponse(buffer, size, status);
    }
    // The programming-voltage delay before a read; Ok, or why it did not finish (a cancel or a
    // stop cut it short: Timeout).
    virtual Status SetProgramDelay(int milliseconds, std::stop_token stop) = 0;
};

// Sets the operation's supply and programming voltages with the device's switch bytes.
class PumpVoltageSetter {
public:
    virtual ~PumpVoltageSetter() = default;
    virtual void SetVoltages(const PumpVoltages& voltages) = 0;
};

class OperationPump {
public:
    // Consecutive reads that bring nothing before the link counts as lost.
    static constexpr int kMaxSilentReads = 3;
    static constexpr int kPacketSize = 64;
    static constexpr int kLargestBlock = 32768;

    OperationPump(PumpChannel& channel, PumpVoltageSetter& voltages, PumpHost& host);

    // Runs `job` to its end; host.complete() is called exactly once, last. The stop token (the
    // worker's) acts as a cancel.
    void Run(const PumpJob& job, std::stop_token stop = {});

private:
    enum class Flow { Going, Ended };

    bool CancelPending() const;
    // Sleeps on the platform clock in slices; false when a cancel cut it short.
    bool Pause(int milliseconds);
    Flow Send(const std::uint8_t* packet, int size, bool batch = false);
    // A read; n > 0, or 0 after it has decided what nothing means (Ended set when it ends the run).
    int Read(int size, Flow& flow);
    void End(PumpKind kind);

    Flow Prologue();
    void RunReads();
    void RunWrite();
    void RunErase();
    Flow SendRequest();
    Flow SendWriteBlock(bool first);
    // Compares or copies n bytes that landed at m_nPosition; false when the host refused them.
    bool TakeData(const std::uint8_t* data, int n);
    bool Skipped(int offset) const;
    // The bits of the byte at `offset` a verify compares.
    std::uint8_t CompareMask(int offset) const;
    bool IsBlank(int offset, std::uint8_t value) const;
    std::uint32_t DeviceByteAddress(std::uint32_t address) const;

    PumpChannel& m_channel;
    PumpVoltageSetter& m_voltages;
    PumpHost& m_host;

    PumpJob m_job;
    std::stop_token m_stop;
    std::vector<std::uint8_t> m_reply;
    PumpResult m_result;
    bool m_bEnded = false;
    int m_nSilent = 0;

    int m_nPosition = 0;
    int m_nBytesSinceRequest = 0;
    int m_nOutstanding = 0; // bytes of the requested block still to come
    bool m_bStatusOwed = false;
    bool m_bMismatch = false;
    // A block's status said the chip answered; set from the start where no status says otherwise.
    bool m_bAnswered = true;
    std::vector<std::uint8_t> m_held; // a read's bytes from m_nHeldAt until then
    int m_nHeldAt = 0;
    std::uint32_t m_nFailAddress = 0;
    std::uint8_t m_nFailDeviceByte = 0;
    std::uint8_t m_nFailBufferByte = 0;
};
