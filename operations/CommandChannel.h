#pragma once
// The command channel of the main view: every packet the view's operations and the device setup
// send passes here. It maps addresses for the selected device (16-bit word addressing, the socket
// pins some packages need), remembers the last packet and gathers write packets into transfers of
// up to 4,096 bytes. Beside it: the transfer block sizes and command codes by buffer, and the pin
// drivers and programming delay set before an operation.
//
// One thread at a time: the GUI thread before a pump or setup starts, then that worker. The
// link lease keeps the others out.

#include "catalogue/DeviceClass.h"

#include <array>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// A copy of the last packet sent through CommandChannel::SendCommand (zero behind it); the data
// pump tells write acknowledgements from other replies by its first byte.
extern std::array<std::uint8_t, 64> g_LastCommand;
// The last one-byte command sent through CommandChannel::SendByte.
extern int g_nLastByteCommand;

// What the channel needs of the programmer link.
class IChannelLink {
public:
    virtual ~IChannelLink() = default;
    // One OUT transfer; true when all of it went.
    virtual bool Send(const std::uint8_t* data, int length) = 0;
    // One read of up to `size` bytes; the count read (0 or less on a failure).
    virtual int Read(std::uint8_t* buffer, int size) = 0;
    // A read that waits at most `timeoutMs` and ends at a stop; by default the plain read.
    virtual int ReadFor(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop)
    {
        (void)timeoutMs;
        (void)stop;
        return Read(buffer, size);
    }
    // True when the programmer is reachable.
    virtual bool Open() = 0;
    // The back end in use (1: the transport library) and the USB controller (2: FX2).
    virtual int TransportMode() const = 0;
    virtual int UsbChipType() const = 0;
};

// Transfer sizes of an operation.
struct TransferSizes {
    int blockSize = 64; // read bytes per block request
    int writeBlockSize = 64; // write bytes per acknowledgement
    int writeStep = 59; // data bytes per write packet
};

// The sizes for a class: `classEntry` is its entry in g_DeviceClassTable, `deviceSize` the
// selected device's size in bytes.
TransferSizes ComputeTransferSizes(int classIndex, const CDeviceClass& classEntry, int model, int deviceSize);

// Command codes by buffer (0 code, 1 data, 2 configuration, 3 configuration word; any other index
// uses the code buffer's). `coreBits` is the PIC core width of the device, 0 without one.
std::uint8_t ReadCommandFor(int bufferIndex, int coreBits);
std::uint8_t ReadOkCommandFor(int bufferIndex);
std::uint8_t WriteCommandFor(int bufferIndex);
std::uint8_t WriteOkCommandFor(int bufferIndex);

class CommandChannel {
public:
    static constexpr int kBatchCapacity = 32768;
    static constexpr int kTransferLimit = 4096;
    static constexpr int kPacketSize = 64;

    // What the channel calls outside itself. Empty hooks do nothing (delay factor 1).
    struct Hooks {
        // Applies a Vpp or programming-voltage code through the pin-driver state.
        std::function<void(std::uint8_t code)> applyVpp;
        // The header pane's delay factor, as snapshotted when the operation started.
        std::function<int()> delayFactor;
        // True once the user cancelled the operation (ends a programming delay early).
        std::function<bool()> cancelled;
    };

    explicit CommandChannel(IChannelLink& link, Hooks hooks = {});

    IChannelLink& Link() { return m_link; }
    void SetHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // Each setup and operation starts here: no packet waits from before, and the range box may
    // show again.
    void BeginOperation();

    // Maps and sends one packet of at most 64 bytes, or queues it with `batch`. False when it was
    // refused (too long, an address outside the device) or the transfer it went in failed; a failed
    // transfer drops the packets that waited with it.
    bool SendCommand(const std::uint8_t* packet, int size, bool batch = false);
    bool SendCommand(const std::vector<std::uint8_t>& packet, bool batch = false)
    {
        return SendCommand(packet.data(), static_cast<int>(packet.size()), batch);
    }
    bool SendByte(std::uint8_t code);
    int ReadResponse(std::uint8_t* buffer, int size);
    int ReadResponse(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop)
    {
        return m_link.ReadFor(buffer, size, timeoutMs, std::move(stop));
    }
    // Sends what waits; true when nothing waited or the transfer went.
    bool FlushBatch();
    int BatchFill() const { return m_nBatchFill; }

    // Sets the three sizes for the current class and device; returns m_nBlockSize.
    int SetTransferSizes();

    std::uint8_t GetReadCommand(int bufferIndex); // buffer 3 also sets m_nStartAddress
    std::uint8_t GetReadOkCommand(int bufferIndex) const { return ReadOkCommandFor(bufferIndex); }
    std::uint8_t GetWriteCommand(int bufferIndex) const { return WriteCommandFor(bufferIndex); }
    std::uint8_t GetWriteOkCommand(int bufferIndex) const { return WriteOkCommandFor(bufferIndex); }

    void SetPinDrivers();
    // Call from a worker: sleeps on the platform clock. False when cut short by `stop` or a cancel.
    bool SetProgramDelay(int milliseconds, std::stop_token stop = {});

    bool CheckProgrammerLink();
    bool DisconnectProgrammer();

    int m_nBlockSize = 64;
    int m_nWriteBlockSize = 64;
    int m_nWriteStep = 59;
    std::int32_t m_nStartAddress = 0;

private:
    const CDeviceClass& ClassEntry() const;
    bool Transfer(const std::uint8_t* data, int length);
    bool Sleep(int milliseconds, const std::stop_token& stop);

    IChannelLink& m_link;
    Hooks m_hooks;
    std::vector<std::uint8_t> m_batchBuffer = std::vector<std::uint8_t>(kBatchCapacity, 0);
    int m_nBatchFill = 0;
    bool m_bRangeBoxShown = false;
};

constexpr const char* kAddressRangeText = "Address exceed range. Internal Error!";
