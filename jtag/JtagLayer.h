#pragma once
// The JTAG packet layer: the host's model of the TAP controller, the shift vectors built from
// preamble, data and postamble, and run-test waits scaled by the header's speed level. Every TAP
// movement, scan and wait goes to the programmer as a P_JTAG_IO packet (sim/PROTOCOL.md, JTAG).
//
// One object per player run, used from one thread. Bit arrays store bit i in byte i / 8 at bit
// i % 8 (least significant first). Results are the player's codes: 0 success, 1 out of memory,
// 10 internal error, 19 execution cancelled. A failed transfer or a cancel is sticky until the
// next StaplJtagInit: every later operation returns it and sends nothing.

#include "jtag/JtagPort.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>

// TAP states (IEEE 1149.1 names); JTAG_UNKNOWN until the first reset.
enum JtagTapState : std::int32_t {
    JTAG_UNKNOWN = -1,
    RESET = 0,
    IDLE = 1,
    DRSELECT = 2,
    DRCAPTURE = 3,
    DRSHIFT = 4,
    DREXIT1 = 5,
    DRPAUSE = 6,
    DREXIT2 = 7,
    DRUPDATE = 8,
    IRSELECT = 9,
    IRCAPTURE = 10,
    IRSHIFT = 11,
    IREXIT1 = 12,
    IRPAUSE = 13,
    IREXIT2 = 14,
    IRUPDATE = 15,
};

constexpr int kJtagSuccess = 0;
constexpr int kJtagOutOfMemory = 1;
constexpr int kJtagInternalError = 10;
constexpr int kJtagCancelled = 19;

constexpr std::uint8_t kJtagCommand = 0x56; // P_JTAG_IO

// Next state after one TCK: [state][tms].
extern const std::array<std::array<std::int32_t, 2>, 16> TapNextStateTable;
// Per current state, bit n: the TMS of the next step toward state n. Driven as it stands: its
// paths never pass RESET and leave EXIT2 through UPDATE, which is what the firmware expects.
extern const std::array<std::uint16_t, 16> TapTmsTable;

// A scan or pre/postamble buffer: its storage (owned in heap mode, a workspace slice otherwise)
// and its capacity in bits.
struct JtagBitBuffer {
    std::unique_ptr<std::uint8_t[]> owned;
    std::uint8_t* bits = nullptr;
    std::uint32_t capacity = 0;
};

struct JtagStateBlock {
    std::int32_t currentState = JTAG_UNKNOWN;
    std::int32_t drStopState = IDLE;
    std::int32_t irStopState = IDLE;
    std::uint32_t drPreambleLength = 0;
    std::uint32_t drPostambleLength = 0;
    std::uint32_t irPreambleLength = 0;
    std::uint32_t irPostambleLength = 0;
    JtagBitBuffer drPreamble;
    JtagBitBuffer drPostamble;
    JtagBitBuffer irPreamble;
    JtagBitBuffer irPostamble;
    JtagBitBuffer drBuffer;
    JtagBitBuffer irBuffer;
    std::uint8_t* workspace = nullptr;
    std::uint32_t workspaceSize = 0;
};

class JtagLayer {
public:
    // Workspace mode: the six buffers' slices, 640 bytes in all.
    static constexpr std::uint32_t kWorkspaceBytes = 640;
    // The shift's bit count is 16 bits wide.
    static constexpr std::uint32_t kMaxScanBits = 0xFFFF;
    static constexpr std::uint32_t kMaxRunTestClocks = 0xFFFFFF;

    // `speedLevel` (1 to 5) is read at every run-test wait; none means 5. `stop` is read before
    // every packet and ends a pause early.
    explicit JtagLayer(IJtagPort& port, std::function<int()> speedLevel = {}, std::stop_token stop = {});
    ~JtagLayer();
    JtagLayer(const JtagLayer&) = delete;
    JtagLayer& operator=(const JtagLayer&) = delete;

    void SetStopToken(std::stop_token stop) { m_stop = std::move(stop); }

    // One TCK; the arguments count as 0 or 1. With read, the TDO the programmer sampled.
    int JtagClock(int tms, int tdi, int read);

    // Starts a run. A workspace (the player's "-m") holds the six buffers; one smaller than 640
    // bytes is refused with 1 and the run goes on in heap mode.
    int StaplJtagInit(std::uint8_t* workspace = nullptr, std::uint32_t workspaceSize = 0);
    int StaplSetDrStop(std::int32_t state);
    int StaplSetIrStop(std::int32_t state);
    // `count` bits from bit `start` of `data`; null data gives all ones.
    int StaplSetDrPreamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data);
    int StaplSetDrPostamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data);
    int StaplSetIrPreamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data);
    int StaplSetIrPostamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data);
    // Five TCKs with TMS 1, one with TMS 0: IDLE.
    int StaplJtagReset();
    int StaplGotoJtagState(std::int32_t target);
    // `count` run-test clocks in `waitState`, scaled by the speed level.
    int StaplWaitCycles(std::uint32_t count, std::int32_t waitState);
    // The byte-code's microsecond wait: a move to `state`, then a pause of at least 8 ms.
    int StaplMoveToState(std::uint32_t microseconds, std::int32_t state);
    int StaplIrScan(std::uint32_t count, const std::uint8_t* data, std::uint32_t start);
    int StaplIrScanCapture(std::uint32_t count, const std::uint8_t* data, std::uint32_t start, std::uint8_t* capture,
        std::uint32_t captureStart);
    int StaplDrScan(std::uint32_t count, const std::uint8_t* data, std::uint32_t start);
    int StaplDrScanCapture(std::uint32_t count, const std::uint8_t* data, std::uint32_t start, std::uint8_t* capture,
        std::uint32_t captureStart);
    // Preamble bits, then `count` bits of data from bit `start`, then the postamble; the total.
    static std::uint32_t StaplJoinScanBits(std::uint8_t* buffer, const std::uint8_t* preamble, std::uint32_t preLength,
        const std::uint8_t* data, std::uint32_t start, std::uint32_t count, const std::uint8_t* postamble,
        std::uint32_t postLength);
    // `count` bits of `buffer` from bit `from` into `capture` from bit `captureStart`.
    static void StaplGetScanBits(const std::uint8_t* buffer, std::uint8_t* capture, std::uint32_t captureStart,
        std::uint32_t from, std::uint32_t count);
    // Start code 0 (IDLE), 1 (DRPAUSE) or 2 (IRPAUSE), then the shift; another code sends nothing.
    int StaplDrScanPacket(int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo);
    int StaplIrScanPacket(int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo);
    // The shift: TDI bits out (null: the programmer shifts ones), TDO bits back when `tdo` is given.
    int JtagShiftBits(int send, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo);
    // Ends a run: a final reset when asked and the state is known, after a cancel too; heap
    // buffers freed.
    int StaplJtagFree(int reset);

    const JtagStateBlock& State() const { return m_state; }
    // 0, or the sticky failure of this run (10 or 19).
    int Failure() const { return m_failure; }
    // Blocks above `bytes` fail as an exhausted heap would (tests).
    void SetAllocationLimit(std::size_t bytes) { m_allocationLimit = bytes; }

private:
    int SetAmble(JtagBitBuffer& buffer, std::uint32_t& length, std::uint32_t workspaceLimit, std::uint32_t count,
        std::uint32_t start, const std::uint8_t* data);
    int Scan(bool ir, std::uint32_t count, const std::uint8_t* data, std::uint32_t start, std::uint8_t* capture,
        std::uint32_t captureStart);
    int ScanPacket(
        std::uint8_t subCommand, int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo);
    bool Reserve(JtagBitBuffer& buffer, std::uint32_t bits);
    void ReleaseBuffers();
    bool SendPacket(const std::uint8_t* bytes, std::size_t length, const char* what);
    void Fail(int code, const char* what);
    int Pause(std::chrono::nanoseconds duration);
    int SpeedLevel() const;

    IJtagPort& m_port;
    std::function<int()> m_speedLevel;
    std::stop_token m_stop;
    JtagStateBlock m_state;
    int m_failure = 0;
    bool m_ending = false; // the final reset goes out whatever the stop token says
    std::size_t m_allocationLimit = SIZE_MAX;
};
