#include "operations/CommandChannel.h"

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Trace.h"

#include <algorithm>
#include <cstring>

std::array<std::uint8_t, 64> g_LastCommand {};
int g_nLastByteCommand = 0;

namespace {

constexpr int kKeep = -1;

struct SizeRange {
    std::int16_t first;
    std::int16_t last;
    int block;
    int writeBlock; // kKeep: the start value stays
    int step;
};

// A size group lists its classes as ranges; one entry per range.
constexpr SizeRange kSizeRanges[] = {
    { 5, 7, 1024, 64, kKeep },
    { 8, 8, 256, 64, kKeep },
    { 14, 23, 256, 64, kKeep },
    { 129, 129, 256, 64, kKeep },
    { 244, 244, 256, 64, kKeep },
    { 262, 262, 256, 64, kKeep },
    { 25, 32, 64, 32, 32 },
    { 35, 35, 64, 32, 32 },
    { 37, 37, 64, 32, 32 },
    { 58, 58, 16, kKeep, 16 },
    { 70, 70, 64, 64, kKeep },
    { 118, 127, 64, 64, kKeep },
    { 136, 144, 64, 64, kKeep },
    { 153, 154, 64, 64, kKeep },
    { 243, 243, 64, 64, kKeep },
    { 304, 304, 64, 64, kKeep },
    { 86, 86, 64, kKeep, 58 },
    { 173, 174, 64, kKeep, 58 },
    { 90, 90, 16384, 16384, kKeep },
    { 91, 92, 6400, 64, kKeep },
    { 130, 131, 2048, kKeep, kKeep },
    { 145, 148, 2048, kKeep, kKeep },
    { 161, 161, 2048, kKeep, kKeep },
    { 169, 170, 2048, kKeep, kKeep },
    { 172, 172, 2048, kKeep, kKeep },
    { 175, 176, 2048, kKeep, kKeep },
    { 186, 187, 2048, kKeep, kKeep },
    { 198, 198, 2048, kKeep, kKeep },
    { 238, 238, 2048, kKeep, kKeep },
    { 245, 246, 2048, kKeep, kKeep },
    { 290, 293, 2048, kKeep, kKeep },
    { 132, 132, 4096, kKeep, kKeep },
    { 149, 149, 4096, kKeep, kKeep },
    { 152, 152, 4096, kKeep, kKeep },
    { 156, 156, 4096, kKeep, kKeep },
    { 177, 177, 4096, kKeep, kKeep },
    { 182, 182, 4096, kKeep, kKeep },
    { 188, 188, 4096, kKeep, kKeep },
    { 192, 193, 4096, kKeep, kKeep },
    { 195, 195, 4096, kKeep, kKeep },
    { 199, 199, 4096, kKeep, kKeep },
    { 223, 224, 4096, kKeep, kKeep },
    { 239, 239, 4096, kKeep, kKeep },
    { 247, 247, 4096, kKeep, kKeep },
    { 250, 250, 4096, kKeep, kKeep },
    { 256, 257, 4096, kKeep, kKeep },
    { 264, 267, 4096, kKeep, kKeep },
    { 278, 279, 4096, kKeep, kKeep },
    { 133, 135, 8192, kKeep, kKeep },
    { 150, 151, 8192, kKeep, kKeep },
    { 163, 168, 8192, kKeep, kKeep },
    { 171, 171, 8192, kKeep, kKeep },
    { 178, 179, 8192, kKeep, kKeep },
    { 183, 184, 8192, kKeep, kKeep },
    { 189, 191, 8192, kKeep, kKeep },
    { 194, 194, 8192, kKeep, kKeep },
    { 196, 197, 8192, kKeep, kKeep },
    { 200, 222, 8192, kKeep, kKeep },
    { 225, 235, 8192, kKeep, kKeep },
    { 240, 242, 8192, kKeep, kKeep },
    { 248, 249, 8192, kKeep, kKeep },
    { 251, 255, 8192, kKeep, kKeep },
    { 258, 260, 8192, kKeep, kKeep },
    { 268, 271, 8192, kKeep, kKeep },
    { 280, 285, 8192, kKeep, kKeep },
    { 294, 298, 8192, kKeep, kKeep },
    { 155, 155, 1024, 64, kKeep },
    { 181, 181, 1024, 64, kKeep },
    { 261, 261, 1024, 64, kKeep },
    { 263, 263, 1024, 64, kKeep },
    { 301, 301, 1024, 64, kKeep },
    { 303, 303, 1024, 64, kKeep },
    { 305, 305, 1024, 64, kKeep },
    { 272, 276, 32768, 16, kKeep },
    { 286, 289, 32768, kKeep, kKeep },
    { 300, 300, 16384, kKeep, kKeep },
    { 308, 308, 8, kKeep, 8 },
    { 309, 309, 32, kKeep, 32 },
    { 312, 316, 64, 64, kKeep },
    { 318, 320, 64, 64, kKeep },
    { 317, 317, 64, 64, 32 },
    { 321, 325, 128, 64, 8 },
};
constexpr SizeRange kOtherClasses { 0, 0, 64, 64, kKeep };

constexpr bool SizeRangesDisjoint()
{
    for (const SizeRange& a : kSizeRanges) {
        if (a.first > a.last)
            return false;
        for (const SizeRange& b : kSizeRanges) {
            if (&a != &b && a.first <= b.last && b.first <= a.last)
                return false;
        }
    }
    return true;
}
static_assert(SizeRangesDisjoint(), "a class belongs to one size group");

bool IsAddressed(std::uint8_t code)
{
    return code >= P_READ && code <= P_WRITE_OK;
}

} // namespace

TransferSizes ComputeTransferSizes(int classIndex, const CDeviceClass& classEntry, int model, int deviceSize)
{
    TransferSizes sizes;
    sizes.writeStep = 59;
    sizes.writeBlockSize = (model == kModelZvCQ || model == kModelZvD) ? 64 : 256;
    if (classEntry.m_nType == kCategoryEprom)
        sizes.writeBlockSize = 64;

    const SizeRange* range = &kOtherClasses;
    for (const SizeRange& r : kSizeRanges) {
        if (classIndex >= r.first && classIndex <= r.last) {
            range = &r;
            break;
        }
    }
    sizes.blockSize = range->block;
    if (range->writeBlock != kKeep)
        sizes.writeBlockSize = range->writeBlock;
    if (range->step != kKeep)
        sizes.writeStep = range->step;

    // A word-addressed device takes whole words: an odd step would split one across two packets.
    if (classEntry.m_nBusWidth == 2 && sizes.writeStep % 2)
        --sizes.writeStep;
    if (deviceSize > 0 && deviceSize < 64)
        sizes.blockSize = deviceSize;
    return sizes;
}

std::uint8_t ReadCommandFor(int bufferIndex, int coreBits)
{
    switch (bufferIndex) {
    case 1:
        return P_READ_DATA;
    case 2:
        return P_READ_CFG;
    case 3:
        return coreBits > 15 ? P_READ_CFG_WORD : P_PIC_MEM_READ;
    default:
        return P_READ;
    }
}

std::uint8_t ReadOkCommandFor(int bufferIndex)
{
    switch (bufferIndex) {
    case 1:
        return P_READ_DATA_OK;
    case 2:
    case 3:
        return P_READ_CFG_OK;
    default:
        return P_READ_OK;
    }
}

std::uint8_t WriteCommandFor(int bufferIndex)
{
    switch (bufferIndex) {
    case 1:
        return P_WRITE_DATA;
    case 2:
        return P_WRITE_CFG;
    case 3:
        return P_WRITE_CFG_WORD;
    default:
        return P_WRITE;
    }
}

std::uint8_t WriteOkCommandFor(int bufferIndex)
{
    switch (bufferIndex) {
    case 1:
        return P_WRITE_DATA_OK;
    case 2:
        return P_WRITE_CFG_OK;
    case 3:
        return P_WRITE_CFG_WORD_OK;
    default:
        return P_WRITE_OK;
    }
}

CommandChannel::CommandChannel(IChannelLink& link, Hooks hooks)
    : m_link(link)
    , m_hooks(std::move(hooks))
{
}

void CommandChannel::BeginOperation()
{
    m_nBatchFill = 0;
    m_bRangeBoxShown = false;
}

const CDeviceClass& CommandChannel::ClassEntry() const
{
    static const CDeviceClass kNone;
    const int index = g_nCurrentClass;
    return index >= 0 && index < kDeviceClassCount ? g_DeviceClassTable[static_cast<std::size_t>(index)] : kNone;
}

bool CommandChannel::Transfer(const std::uint8_t* data, int length)
{
    const bool ok = m_link.Send(data, length);
    if (!ok)
        Trace("Command channel: a transfer of %d bytes failed (%s)\n", length, ProgrammerCommandName(data[0]).c_str());
    return ok;
}

bool CommandChannel::SendCommand(const std::uint8_t* packet, int size, bool batch)
{
    if (!packet || size <= 0 || size > kPacketSize) {
        Trace("Command channel: a packet of %d bytes refused\n", size);
        return false;
    }
    std::array<std::uint8_t, kPacketSize> p {};
    std::memcpy(p.data(), packet, static_cast<std::size_t>(size));

    const CDeviceClass& cls = ClassEntry();
    if (IsAddressed(p[0]) && size >= 5) {
        if (cls.m_nBusWidth == 2) {
            const std::uint32_t byteAddress = GetBe32(&p[1]);
            std::uint64_t length = 0;
            if (p[0] == P_READ || p[0] == P_READ_OK)
                length = size >= 9 ? GetBe32(&p[5]) : 0;
            else
                length = static_cast<std::uint64_t>(size - 5);
            const std::uint64_t deviceBytes = static_cast<std::uint64_t>(std::max(0, g_CurrentDevice.m_nCodeSize));
            if (byteAddress + length > deviceBytes) {
                Trace("Command channel: %s at byte 0x%X, %llu bytes, outside the device's %llu\n",
                    ProgrammerCommandName(p[0]).c_str(), byteAddress, static_cast<unsigned long long>(length),
                    static_cast<unsigned long long>(deviceBytes));
                if (!m_bRangeBoxShown) {
                    m_bRangeBoxShown = true;
                    MessageBox(kAddressRangeText);
                }
                return false;
            }
            PutBe32(&p[1], byteAddress / 2);
        }
        // The socket routes these address lines to the pins a DIP24 or DIP28 chip has there.
        if (g_nProgrammerModel.load() > 3) {
            if (cls.m_strPackage == "DIP24" && cls.m_nPackageCode == 2)
                p[3] |= 0x20;
            else if (cls.m_strPackage == "DIP28" && cls.m_nPackageCode == 4)
                p[2] |= 0x02;
        }
    }
    g_LastCommand = p;

    if (batch) {
        // Each batched packet takes a whole 64-byte slot: the box cuts a transfer every 64 bytes.
        std::memcpy(&m_batchBuffer[static_cast<std::size_t>(m_nBatchFill)], p.data(), p.size());
        m_nBatchFill += kPacketSize;
        if (m_nBatchFill + kPacketSize >= kTransferLimit)
            return FlushBatch();
        return true;
    }
    if (m_nBatchFill > 0) {
        std::memcpy(&m_batchBuffer[static_cast<std::size_t>(m_nBatchFill)], p.data(), static_cast<std::size_t>(size));
        m_nBatchFill += size;
        return FlushBatch();
    }
    return Transfer(p.data(), size);
}

bool CommandChannel::FlushBatch()
{
    if (m_nBatchFill == 0)
        return true;
    const int fill = m_nBatchFill;
    m_nBatchFill = 0;
    const bool ok = Transfer(m_batchBuffer.data(), fill);
    std::fill_n(m_batchBuffer.begin(), fill, std::uint8_t { 0 });
    return ok;
}

bool CommandChannel::SendByte(std::uint8_t code)
{
    g_nLastByteCommand = code;
    return Transfer(&code, 1);
}

int CommandChannel::ReadResponse(std::uint8_t* buffer, int size)
{
    return m_link.Read(buffer, size);
}

int CommandChannel::SetTransferSizes()
{
    const TransferSizes sizes
        = ComputeTransferSizes(g_nCurrentClass, ClassEntry(), g_nProgrammerModel.load(), g_CurrentDevice.m_nCodeSize);
    m_nBlockSize = sizes.blockSize;
    m_nWriteBlockSize = sizes.writeBlockSize;
    m_nWriteStep = sizes.writeStep;
    return m_nBlockSize;
}

std::uint8_t CommandChannel::GetReadCommand(int bufferIndex)
{
    const int coreBits = g_CurrentDevice.m_pPicConfig ? g_CurrentDevice.m_pPicConfig->m_nCoreBits : 0;
    if (bufferIndex == 3 && g_CurrentDevice.m_pPicConfig)
        m_nStartAddress = g_CurrentDevice.m_pPicConfig->m_nConfigAddress;
    return ReadCommandFor(bufferIndex, coreBits);
}

void CommandChannel::SetPinDrivers()
{
    const std::uint8_t vpp = g_CurrentDevice.m_nVpp;
    if (vpp != 0xFF && vpp != 0 && m_hooks.applyVpp)
        m_hooks.applyVpp(vpp);
}

bool CommandChannel::Sleep(int milliseconds, const std::stop_token& stop)
{
    // In slices, so a cancel ends the wait as promptly as a stop request.
    constexpr int kSlice = 10;
    auto& clock = platform::GetClock();
    for (int left = milliseconds; left > 0; left -= kSlice) {
        if (m_hooks.cancelled && m_hooks.cancelled())
            return false;
        if (!clock.SleepFor(std::chrono::milliseconds(std::min(left, kSlice)), stop))
            return false;
    }
    return !(m_hooks.cancelled && m_hooks.cancelled());
}

bool CommandChannel::SetProgramDelay(int milliseconds, std::stop_token stop)
{
    const std::uint8_t code = g_CurrentDevice.m_nReadVpp;
    if (code == 0xFF || code == 0)
        return true;
    if (m_hooks.applyVpp)
        m_hooks.applyVpp(code);
    int wait = milliseconds;
    if (g_nCurrentClass >= 164 && g_nCurrentClass <= 167) {
        wait = 2200;
    } else {
        const int factor = m_hooks.delayFactor ? m_hooks.delayFactor() : 1;
        wait = milliseconds * std::max(1, factor);
    }
    if (!Sleep(wait, stop))
        return false;
    const std::uint8_t vpp[9] = { P_VPP, 1 };
    if (!SendCommand(vpp, 9))
        return false;
    return Sleep(200, stop);
}

bool CommandChannel::CheckProgrammerLink()
{
    if (m_link.TransportMode() == 1) {
        const std::uint8_t preamble[2] = { static_cast<std::uint8_t>(m_link.UsbChipType() == 2 ? 134 : 130), 0 };
        Transfer(preamble, 2);
    }
    return m_link.Open();
}

bool CommandChannel::DisconnectProgrammer()
{
    g_nOperationState = kStateDisconnected;
    return CheckProgrammerLink();
}
