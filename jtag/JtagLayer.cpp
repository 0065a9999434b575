#include "jtag/JtagLayer.h"

#include "jtag/JtagTexts.h"
#include "jtag/PackedBits.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Trace.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

const std::array<std::array<std::int32_t, 2>, 16> TapNextStateTable = { {
    { IDLE, RESET }, // RESET
    { IDLE, DRSELECT }, // IDLE
    { DRCAPTURE, IRSELECT }, // DRSELECT
    { DRSHIFT, DREXIT1 }, // DRCAPTURE
    { DRSHIFT, DREXIT1 }, // DRSHIFT
    { DRPAUSE, DRUPDATE }, // DREXIT1
    { DRPAUSE, DREXIT2 }, // DRPAUSE
    { DRSHIFT, DRUPDATE }, // DREXIT2
    { IDLE, DRSELECT }, // DRUPDATE
    { IRCAPTURE, RESET }, // IRSELECT
    { IRSHIFT, IREXIT1 }, // IRCAPTURE
    { IRSHIFT, IREXIT1 }, // IRSHIFT
    { IRPAUSE, IRUPDATE }, // IREXIT1
    { IRPAUSE, IREXIT2 }, // IRPAUSE
    { IRSHIFT, IRUPDATE }, // IREXIT2
    { IDLE, DRSELECT }, // IRUPDATE
} };

const std::array<std::uint16_t, 16> TapTmsTable = {
    0x0001,
    0xFFFD,
    0xFE01,
    0xFFE7,
    0xFFEF,
    0xFF0F,
    0xFFBF,
    0xFFFF,
    0xFEFD,
    0x0001,
    0xF3FF,
    0xF7FF,
    0x87FF,
    0xDFFF,
    0xFFFF,
    0x7FFD,
};

namespace {

constexpr std::uint8_t kSubClock = 0;
constexpr std::uint8_t kSubEnterDrShift = 1;
constexpr std::uint8_t kSubShift = 2;
constexpr std::uint8_t kSubEnterIrShift = 3;
constexpr std::uint8_t kSubRunTest = 4;

constexpr std::size_t kPacketSize = 64;
constexpr std::size_t kReceiveArea = 256; // the reply area at least; a longer scan gets its own size
constexpr int kMaxShiftReads = 4;
constexpr std::size_t kWarnShiftBytes = 256;

// Workspace slices: byte offset and capacity in bits.
struct Slice {
    std::uint32_t offset;
    std::uint32_t bits;
};
constexpr Slice kDrPreambleSlice { 0, 1024 };
constexpr Slice kDrPostambleSlice { 128, 1024 };
constexpr Slice kIrPreambleSlice { 256, 256 };
constexpr Slice kIrPostambleSlice { 288, 256 };
constexpr Slice kDrScanSlice { 320, 2048 };
constexpr Slice kIrScanSlice { 576, 512 };

using bytecode::GetBit;
using bytecode::SetBit;

// `count` bits from bit `from` of `source` (null: ones) to bit `to` of `target`.
void CopyBits(
    std::uint8_t* target, std::uint64_t to, const std::uint8_t* source, std::uint64_t from, std::uint64_t count)
{
    for (std::uint64_t i = 0; i < count; ++i)
        SetBit(target, to + i, source ? GetBit(source, from + i) : true);
}

bool InDrColumn(std::int32_t state)
{
    return state >= DRSELECT && state <= DRUPDATE;
}

bool InIrColumn(std::int32_t state)
{
    return state >= IRSELECT && state <= IRUPDATE;
}

} // namespace

JtagLayer::JtagLayer(IJtagPort& port, std::function<int()> speedLevel, std::stop_token stop)
    : m_port(port)
    , m_speedLevel(std::move(speedLevel))
    , m_stop(std::move(stop))
{
}

JtagLayer::~JtagLayer() = default;

int JtagLayer::SpeedLevel() const
{
    return m_speedLevel ? m_speedLevel() : 5;
}

void JtagLayer::Fail(int code, const char* what)
{
    m_failure = code;
    if (code == kJtagCancelled)
        Trace("JTAG: cancelled before the %s\n", what);
    else
        Trace("JTAG: %s failed (%s)\n", what, m_port.StatusText().c_str());
}

bool JtagLayer::SendPacket(const std::uint8_t* bytes, std::size_t length, const char* what)
{
    if (m_failure)
        return false;
    if (m_stop.stop_requested() && !m_ending) {
        Fail(kJtagCancelled, what);
        return false;
    }
    if (!m_port.Send({ bytes, length })) {
        Fail(kJtagInternalError, what);
        return false;
    }
    return true;
}

int JtagLayer::Pause(std::chrono::nanoseconds duration)
{
    if (!platform::GetClock().SleepFor(duration, m_stop)) {
        Fail(kJtagCancelled, "pause's end");
        return m_failure;
    }
    return kJtagSuccess;
}

int JtagLayer::JtagClock(int tms, int tdi, int read)
{
    std::uint8_t packet[kPacketSize] {};
    packet[0] = kJtagCommand;
    packet[1] = kSubClock;
    packet[2] = tms ? 1 : 0;
    packet[3] = tdi ? 1 : 0;
    packet[4] = read ? 1 : 0;
    if (!SendPacket(packet, 5, "clock"))
        return 0;
    if (!read)
        return 0;
    std::uint8_t reply[kPacketSize] {};
    if (m_port.Read(reply, sizeof reply) < 1) {
        Fail(kJtagInternalError, "clock read");
        return 0;
    }
    return reply[0];
}

void JtagLayer::ReleaseBuffers()
{
    for (JtagBitBuffer* b : { &m_state.drPreamble, &m_state.drPostamble, &m_state.irPreamble, &m_state.irPostamble,
             &m_state.drBuffer, &m_state.irBuffer })
        *b = JtagBitBuffer {};
}

int JtagLayer::StaplJtagInit(std::uint8_t* workspace, std::uint32_t workspaceSize)
{
    ReleaseBuffers();
    m_state = JtagStateBlock {};
    m_failure = 0;
    if (!workspace)
        return kJtagSuccess;
    if (workspaceSize < kWorkspaceBytes)
        return kJtagOutOfMemory;
    m_state.workspace = workspace;
    m_state.workspaceSize = workspaceSize;
    auto place = [&](JtagBitBuffer& b, Slice s) {
        b.bits = workspace + s.offset;
        b.capacity = s.bits;
    };
    place(m_state.drPreamble, kDrPreambleSlice);
    place(m_state.drPostamble, kDrPostambleSlice);
    place(m_state.irPreamble, kIrPreambleSlice);
    place(m_state.irPostamble, kIrPostambleSlice);
    place(m_state.drBuffer, kDrScanSlice);
    place(m_state.irBuffer, kIrScanSlice);
    return kJtagSuccess;
}

int JtagLayer::StaplSetDrStop(std::int32_t state)
{
    m_state.drStopState = state;
    return kJtagSuccess;
}

int JtagLayer::StaplSetIrStop(std::int32_t state)
{
    m_state.irStopState = state;
    return kJtagSuccess;
}

bool JtagLayer::Reserve(JtagBitBuffer& buffer, std::uint32_t bits)
{
    bits = std::max<std::uint32_t>(bits, 1);
    if (buffer.bits && buffer.capacity >= bits)
        return true;
    const std::size_t bytes = (static_cast<std::size_t>(bits) + 7) / 8;
    if (bytes > m_allocationLimit)
        return false;
    // The new block first: when it cannot be had, the old one and its contents stay.
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes]());
    if (!block)
        return false;
    buffer.owned = std::move(block);
    buffer.bits = buffer.owned.get();
    buffer.capacity = static_cast<std::uint32_t>(bytes * 8);
    return true;
}

int JtagLayer::SetAmble(JtagBitBuffer& buffer, std::uint32_t& length, std::uint32_t workspaceLimit, std::uint32_t count,
    std::uint32_t start, const std::uint8_t* data)
{
    if (m_state.workspace) {
        if (count > workspaceLimit)
            return kJtagOutOfMemory;
    } else if (count > kMaxScanBits || !Reserve(buffer, count)) {
        // Longer than any scan can carry: refused before it costs memory.
        return kJtagOutOfMemory;
    }
    length = count;
    CopyBits(buffer.bits, 0, data, start, count);
    return kJtagSuccess;
}

int JtagLayer::StaplSetDrPreamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data)
{
    return SetAmble(m_state.drPreamble, m_state.drPreambleLength, kDrPreambleSlice.bits, count, start, data);
}

int JtagLayer::StaplSetDrPostamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data)
{
    return SetAmble(m_state.drPostamble, m_state.drPostambleLength, kDrPostambleSlice.bits, count, start, data);
}

int JtagLayer::StaplSetIrPreamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data)
{
    return SetAmble(m_state.irPreamble, m_state.irPreambleLength, kIrPreambleSlice.bits, count, start, data);
}

int JtagLayer::StaplSetIrPostamble(std::uint32_t count, std::uint32_t start, const std::uint8_t* data)
{
    return SetAmble(m_state.irPostamble, m_state.irPostambleLength, kIrPostambleSlice.bits, count, start, data);
}

int JtagLayer::StaplJtagReset()
{
    if (m_failure)
        return m_failure;
    for (int i = 0; i < 5; ++i)
        JtagClock(1, 0, 0);
    JtagClock(0, 0, 0);
    if (m_failure) {
        m_state.currentState = JTAG_UNKNOWN;
        return m_failure;
    }
    m_state.currentState = IDLE;
    return kJtagSuccess;
}

int JtagLayer::StaplGotoJtagState(std::int32_t target)
{
    if (m_failure)
        return m_failure;
    if (target < RESET || target > IRUPDATE)
        return kJtagInternalError;
    if (m_state.currentState == JTAG_UNKNOWN) {
        if (const int r = StaplJtagReset())
            return r;
    }
    std::int32_t current = m_state.currentState;
    if (current < RESET || current > IRUPDATE)
        return kJtagInternalError;
    if (current == target) {
        if (target == RESET)
            JtagClock(1, 0, 0);
        else if (target == IDLE || target == DRSHIFT || target == DRPAUSE || target == IRSHIFT || target == IRPAUSE)
            JtagClock(0, 0, 0);
        return m_failure;
    }
    for (int step = 0; step < 9 && current != target; ++step) {
        const int tms = (TapTmsTable[static_cast<std::size_t>(current)] >> target) & 1;
        JtagClock(tms, 0, 0);
        if (m_failure)
            return m_failure;
        current = TapNextStateTable[static_cast<std::size_t>(current)][static_cast<std::size_t>(tms)];
        m_state.currentState = current;
    }
    return current == target ? kJtagSuccess : kJtagInternalError;
}

int JtagLayer::StaplWaitCycles(std::uint32_t count, std::int32_t waitState)
{
    if (m_failure)
        return m_failure;
    if (m_state.currentState != waitState) {
        if (const int r = StaplGotoJtagState(waitState))
            return r;
    }
    const int level = SpeedLevel();
    if (level == 1 && count <= 200)
        return kJtagSuccess;
    if (level != 5 && count < 200000) {
        const int divisor = std::max(1, 5 - level);
        if (count > 100)
            count /= static_cast<std::uint32_t>(4 * divisor);
    }
    // The count field is 24 bits wide: longer waits go as several packets, each answered.
    do {
        const std::uint32_t chunk = std::min(count, kMaxRunTestClocks);
        std::uint8_t packet[kPacketSize] {};
        packet[0] = kJtagCommand;
        packet[1] = kSubRunTest;
        packet[2] = static_cast<std::uint8_t>(chunk >> 16);
        packet[3] = static_cast<std::uint8_t>(chunk >> 8);
        packet[4] = static_cast<std::uint8_t>(chunk);
        packet[5] = waitState == RESET ? 1 : 0;
        if (!SendPacket(packet, 6, "run-test"))
            return m_failure;
        std::uint8_t reply[kPacketSize] {};
        if (m_port.Read(reply, sizeof reply) < 1) {
            Fail(kJtagInternalError, "run-test reply");
            return m_failure;
        }
        count -= chunk;
    } while (count > 0);
    return kJtagSuccess;
}

int JtagLayer::StaplMoveToState(std::uint32_t microseconds, std::int32_t state)
{
    if (m_failure)
        return m_failure;
    if (m_state.currentState != JTAG_UNKNOWN && m_state.currentState != state) {
        if (const int r = StaplGotoJtagState(state))
            return r;
    }
    return Pause(
        std::max<std::chrono::nanoseconds>(std::chrono::microseconds(microseconds), std::chrono::milliseconds(8)));
}

std::uint32_t JtagLayer::StaplJoinScanBits(std::uint8_t* buffer, const std::uint8_t* preamble, std::uint32_t preLength,
    const std::uint8_t* data, std::uint32_t start, std::uint32_t count, const std::uint8_t* postamble,
    std::uint32_t postLength)
{
    CopyBits(buffer, 0, preamble, 0, preLength);
    CopyBits(buffer, preLength, data, start, count);
    CopyBits(buffer, static_cast<std::uint64_t>(preLength) + count, postamble, 0, postLength);
    return preLength + count + postLength;
}

void JtagLayer::StaplGetScanBits(const std::uint8_t* buffer, std::uint8_t* capture, std::uint32_t captureStart,
    std::uint32_t from, std::uint32_t count)
{
    for (std::uint64_t i = 0; i < count; ++i)
        SetBit(capture, captureStart + i, GetBit(buffer, from + i));
}

int JtagLayer::JtagShiftBits(int send, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo)
{
    if (!send)
        return kJtagSuccess;
    if (m_failure)
        return m_failure;
    if (bitCount > kMaxScanBits)
        return kJtagInternalError;
    const std::size_t n = (bitCount + 7) / 8;
    // Longer shifts than the programmer's buffer were once refused by it; heap-mode scans may be
    // that long, so the warning stays and the shift goes out.
    if (n > kWarnShiftBytes)
        MessageBox(kJtagDataBufferOverflowText, platform::kAppTitle, MB_OK);

    std::uint8_t header[kPacketSize] {};
    header[0] = kJtagCommand;
    header[1] = kSubShift;
    header[2] = static_cast<std::uint8_t>(bitCount >> 8);
    header[3] = static_cast<std::uint8_t>(bitCount);
    header[4] = tdi ? 1 : 0;
    header[5] = tdo ? 1 : 0;
    if (!SendPacket(header, 6, "shift"))
        return m_failure;
    if (tdi) {
        // The data belongs to the shift just sent: no cancel between its packets.
        for (std::size_t at = 0; at < n; at += kPacketSize) {
            if (!m_port.Send({ tdi + at, std::min(kPacketSize, n - at) })) {
                Fail(kJtagInternalError, "shift data");
                return m_failure;
            }
        }
    }
    if (!tdo || n == 0)
        return kJtagSuccess;

    // The reply is one unit of exactly n bytes; reads sized to what remains never overflow a
    // packet and never wait for one that is not coming.
    std::vector<std::uint8_t> area(std::max(kReceiveArea, n), 0);
    std::size_t got = 0;
    for (int reads = 0; reads < kMaxShiftReads && got < n; ++reads) {
        const int count = m_port.Read(area.data() + got, static_cast<int>(n - got));
        if (count <= 0)
            break;
        got += std::min(static_cast<std::size_t>(count), n - got);
    }
    if (got < n) {
        Fail(kJtagInternalError, "shift reply");
        return m_failure;
    }
    std::memcpy(tdo, area.data(), n);
    return kJtagSuccess;
}

int JtagLayer::ScanPacket(
    std::uint8_t subCommand, int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo)
{
    if (startCode < 0 || startCode > 2)
        return kJtagSuccess;
    if (m_failure)
        return m_failure;
    if (bitCount > kMaxScanBits)
        return kJtagInternalError;
    std::uint8_t packet[kPacketSize] {};
    packet[0] = kJtagCommand;
    packet[1] = subCommand;
    packet[2] = static_cast<std::uint8_t>(startCode);
    if (!SendPacket(packet, 3, subCommand == kSubEnterDrShift ? "DR shift entry" : "IR shift entry"))
        return m_failure;
    return JtagShiftBits(1, bitCount, tdi, tdo);
}

int JtagLayer::StaplDrScanPacket(int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo)
{
    return ScanPacket(kSubEnterDrShift, startCode, bitCount, tdi, tdo);
}

int JtagLayer::StaplIrScanPacket(int startCode, std::uint32_t bitCount, const std::uint8_t* tdi, std::uint8_t* tdo)
{
    return ScanPacket(kSubEnterIrShift, startCode, bitCount, tdi, tdo);
}

int JtagLayer::Scan(bool ir, std::uint32_t count, const std::uint8_t* data, std::uint32_t start, std::uint8_t* capture,
    std::uint32_t captureStart)
{
    if (m_failure)
        return m_failure;
    const std::int32_t current = m_state.currentState;
    if (current < JTAG_UNKNOWN || current > IRUPDATE)
        return kJtagInternalError;

    const JtagBitBuffer& pre = ir ? m_state.irPreamble : m_state.drPreamble;
    const JtagBitBuffer& post = ir ? m_state.irPostamble : m_state.drPostamble;
    const std::uint32_t preLength = ir ? m_state.irPreambleLength : m_state.drPreambleLength;
    const std::uint32_t postLength = ir ? m_state.irPostambleLength : m_state.drPostambleLength;
    JtagBitBuffer& buffer = ir ? m_state.irBuffer : m_state.drBuffer;
    const std::int32_t pauseState = ir ? IRPAUSE : DRPAUSE;
    const std::int32_t stopState = ir ? m_state.irStopState : m_state.drStopState;

    // Everything is checked before the first clock, so a refused scan sends nothing.
    const std::uint64_t total = std::uint64_t { preLength } + count + postLength;
    if (m_state.workspace) {
        if (total > buffer.capacity)
            return kJtagOutOfMemory;
    } else {
        if (total > kMaxScanBits)
            return kJtagInternalError;
        if (!Reserve(buffer, static_cast<std::uint32_t>(total)))
            return kJtagOutOfMemory;
    }

    std::int32_t startState = IDLE;
    int startCode = 0;
    if (InIrColumn(current)) {
        startState = IRPAUSE;
        startCode = 2;
    } else if (InDrColumn(current)) {
        startState = DRPAUSE;
        startCode = 1;
    }
    if (current != startState) {
        if (const int r = StaplGotoJtagState(startState))
            return r;
    }

    const auto bits = static_cast<std::uint32_t>(total);
    StaplJoinScanBits(buffer.bits, pre.bits, preLength, data, start, count, post.bits, postLength);
    const int r = ir ? StaplIrScanPacket(startCode, bits, buffer.bits, capture ? buffer.bits : nullptr)
                     : StaplDrScanPacket(startCode, bits, buffer.bits, capture ? buffer.bits : nullptr);
    if (r)
        return r;
    m_state.currentState = pauseState;
    if (stopState != pauseState) {
        if (const int moved = StaplGotoJtagState(stopState))
            return moved;
    }
    if (capture)
        StaplGetScanBits(buffer.bits, capture, captureStart, preLength, count);
    return kJtagSuccess;
}

int JtagLayer::StaplIrScan(std::uint32_t count, const std::uint8_t* data, std::uint32_t start)
{
    return Scan(true, count, data, start, nullptr, 0);
}

int JtagLayer::StaplIrScanCapture(std::uint32_t count, const std::uint8_t* data, std::uint32_t start,
    std::uint8_t* capture, std::uint32_t captureStart)
{
    return Scan(true, count, data, start, capture, captureStart);
}

int JtagLayer::StaplDrScan(std::uint32_t count, const std::uint8_t* data, std::uint32_t start)
{
    return Scan(false, count, data, start, nullptr, 0);
}

int JtagLayer::StaplDrScanCapture(std::uint32_t count, const std::uint8_t* data, std::uint32_t start,
    std::uint8_t* capture, std::uint32_t captureStart)
{
    return Scan(false, count, data, start, capture, captureStart);
}

int JtagLayer::StaplJtagFree(int reset)
{
    int r = kJtagSuccess;
    // A cancelled run still leaves its devices reset; a failed transfer leaves the link alone.
    if (m_failure == kJtagCancelled)
        m_failure = kJtagSuccess;
    if (reset && m_state.currentState != JTAG_UNKNOWN) {
        m_ending = true;
        r = StaplJtagReset();
        m_ending = false;
    }
    // Workspace slices are the caller's: only forgotten, never freed.
    ReleaseBuffers();
    m_state.workspace = nullptr;
    m_state.workspaceSize = 0;
    return r;
}
