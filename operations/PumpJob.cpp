#include "operations/PumpJob.h"

#include "link/ProgrammerCommand.h"
#include "operations/ChipBits.h"
#include "platform/TextFormat.h"

#include <algorithm>

namespace {

constexpr int kLargestBlock = 32768;
constexpr int kPacketData = 64 - 5;

struct BufferCodes {
    std::uint8_t read;
    std::uint8_t write;
    std::uint8_t writeOk;
};

BufferCodes CodesFor(int bufferIndex)
{
    switch (bufferIndex) {
    case 1:
        return { P_READ_DATA, P_WRITE_DATA, P_WRITE_DATA_OK };
    case 2:
        return { P_READ_CFG, P_WRITE_CFG, P_WRITE_CFG_OK };
    default:
        return { P_READ, P_WRITE, P_WRITE_OK };
    }
}

// Classes whose blocks the programmer protects unless a write starts with the unprotect flag.
bool HasTempUnprotect(int classIndex)
{
    const auto in = [classIndex](int first, int last) { return classIndex >= first && classIndex <= last; };
    return classIndex == 242 || in(256, 260) || in(264, 276) || in(278, 289) || classIndex == 300;
}

PumpRefusal Refuse(std::string text, std::string caption)
{
    return PumpRefusal { std::move(text), 0, std::move(caption), 0, true };
}

PumpRefusal RefuseOffset()
{
    return PumpRefusal { "", kTextOffsetBeyond, "", kTextPumpCaption, true };
}

} // namespace

const char* PumpOperationName(PumpOperation operation)
{
    switch (operation) {
    case PumpOperation::Read:
        return "read";
    case PumpOperation::Write:
        return "write";
    case PumpOperation::Erase:
        return "erase";
    case PumpOperation::Verify:
        return "verify";
    case PumpOperation::BlankCheck:
        return "blank check";
    }
    return "operation";
}

const char* PumpKindName(PumpKind kind)
{
    switch (kind) {
    case PumpKind::Done:
        return "done";
    case PumpKind::Failed:
        return "failed";
    case PumpKind::Cancelled:
        return "cancelled";
    case PumpKind::LinkLost:
        return "link lost";
    }
    return "?";
}

PumpPlan MakePumpJob(const PumpSnapshot& s)
{
    PumpJob job;
    job.operation = s.operation;
    job.classIndex = s.classIndex;
    job.bufferIndex = (s.bufferIndex >= 0 && s.bufferIndex <= 3) ? s.bufferIndex : 0;
    job.class90 = s.classIndex == 90;
    job.m_nBlockSize = std::clamp(s.blockSize, 1, kLargestBlock);
    job.m_nWriteStep = std::clamp(s.writeStep, 1, kPacketData);
    job.m_nWriteBlockSize = std::max(64, s.writeBlockSize);
    job.wordMode = s.classEntry.m_nBusWidth == 2;
    // A word-addressed device, and a PIC (programmed a word at a time), take whole words: a
    // packet must not split one.
    const bool picWords = s.classIndex >= kFirstPicClass && s.classIndex <= kLastPicClass;
    if ((job.wordMode || picWords) && job.m_nWriteStep % 2 && job.m_nWriteStep > 1)
        --job.m_nWriteStep;
    if (s.model > 3) {
        if (s.classEntry.m_strPackage == "DIP24" && s.classEntry.m_nPackageCode == 2)
            job.forcedAddressBits = 0x2000;
        else if (s.classEntry.m_strPackage == "DIP28" && s.classEntry.m_nPackageCode == 4)
            job.forcedAddressBits = 0x20000;
    }

    const CDeviceClass& d = s.device;
    if (IsTwoWireEepromClass(s.classIndex))
        job.eepromAddress = TwoWireDeviceAddress(d.m_nDeviceAddress);
    const std::uint8_t readVpp = d.m_nReadVpp == 0xFF ? 0 : d.m_nReadVpp;
    job.voltages.vccSwitch = d.m_nVccSwitch;
    job.voltages.vppSwitch = d.m_nVppSwitch;
    job.voltages.switchA = d.m_nSwitchA;

    switch (s.operation) {
    case PumpOperation::Read:
    case PumpOperation::Verify:
        job.pauseMs = 250;
        job.programDelay = true;
        job.voltages.vcc = d.m_nVcc;
        job.voltages.vpp = readVpp;
        break;
    case PumpOperation::BlankCheck:
        job.programDelay = true;
        job.voltages.vcc = d.m_nBlankVcc != 0xFF ? d.m_nBlankVcc : d.m_nVcc;
        job.voltages.vpp = readVpp;
        break;
    case PumpOperation::Write:
        job.pauseMs = 250;
        job.setupHasFlag = true;
        job.setupFlag = (s.tempUnprotect && HasTempUnprotect(s.classIndex)) ? 1 : 0;
        job.voltages.vcc = d.m_nWriteVcc;
        job.voltages.vpp = d.m_nVpp;
        break;
    case PumpOperation::Erase:
        job.voltages.vcc = d.m_nEraseVcc != 0xFF ? d.m_nEraseVcc : d.m_nWriteVcc;
        job.voltages.vpp = d.m_nEraseVpp != 0xFF ? d.m_nEraseVpp : d.m_nVpp;
        job.eraseOption = s.eraseOption;
        return job;
    }

    if (job.bufferIndex == 3)
        return Refuse("The configuration words are read and written with their own commands.", "error");

    const BufferCodes codes = CodesFor(job.bufferIndex);
    job.readCommand = codes.read;
    job.writeCommand = codes.write;
    job.writeOkCommand = codes.writeOk;

    // The device region the buffer maps to, and where the buffer's offset 0 lies in it.
    const CPicConfigInfo* pic = d.m_pPicConfig.get();
    std::int64_t region = 0;
    std::int64_t offset = 0;
    if (job.bufferIndex == 2) {
        if (pic) {
            region = pic->ConfigMemoryBytes();
            job.m_nStartAddress = static_cast<std::uint32_t>(pic->m_nIdAddress);
            const std::int64_t id = 2 * (static_cast<std::int64_t>(pic->m_nDeviceIdAddress) - pic->m_nIdAddress);
            const bool compares = s.operation == PumpOperation::BlankCheck || s.operation == PumpOperation::Verify;
            if (compares && id >= 0 && id + 2 <= region) {
                job.skipFrom = static_cast<int>(id);
                job.skipCount = 2;
            }
            // The configuration words where configuration memory holds them; the descriptor's
            // mask keeps low byte first, the buffer holds each word high byte first.
            const std::int64_t words = 2 * (static_cast<std::int64_t>(pic->m_nConfigAddress) - pic->m_nIdAddress);
            const int wordBytes = std::clamp(pic->m_nConfigBytes, 0, static_cast<int>(pic->m_ConfigMask.size())) & ~1;
            if (s.operation == PumpOperation::Verify && wordBytes > 0 && words >= 0 && words < region) {
                job.maskFrom = static_cast<int>(words);
                job.maskCount = static_cast<int>(std::min<std::int64_t>(wordBytes, region - words)) & ~1;
                for (int k = 0; k < job.maskCount; k += 2) {
                    job.maskBytes[static_cast<std::size_t>(k)] = pic->m_ConfigMask[static_cast<std::size_t>(k + 1)];
                    job.maskBytes[static_cast<std::size_t>(k + 1)] = pic->m_ConfigMask[static_cast<std::size_t>(k)];
                }
            }
        } else {
            region = static_cast<std::int64_t>(s.bufferBytes);
        }
    } else {
        region = job.bufferIndex == 1 ? d.m_nDataSize : d.m_nCodeSize;
        if (s.operation != PumpOperation::BlankCheck)
            offset = s.deviceOffset;
        job.m_nStartAddress = static_cast<std::uint32_t>(offset);
    }
    region = std::clamp<std::int64_t>(region, 0, 0x7FFFFFFF);
    job.regionBytes = static_cast<int>(region);

    // The OSCCAL word holds the chip's calibration, not the buffer's data: after an erase it is
    // written back, so neither a blank check nor a verify of program memory looks at it.
    if (job.bufferIndex == 0 && s.classIndex >= kFirstPicClass && s.classIndex <= kLastPicClass && pic
        && pic->m_bHasOscCal && (s.operation == PumpOperation::BlankCheck || s.operation == PumpOperation::Verify)) {
        const std::int64_t osccal = 2 * static_cast<std::int64_t>(pic->m_nOscCalAddress) - offset;
        if (osccal >= 0 && osccal + 2 <= region - offset) {
            job.skipFrom = static_cast<int>(osccal);
            job.skipCount = 2;
        }
    }

    if (s.classIndex >= kFirstPicClass && pic && job.bufferIndex != 1
        && (pic->m_nCoreBits == 12 || pic->m_nCoreBits == 14))
        job.blankEvenAlternative = pic->m_nCoreBits == 12 ? 0x0F : 0x3F;

    const auto bufferBytes = static_cast<std::int64_t>(s.bufferBytes);
    if (s.operation == PumpOperation::Verify && bufferBytes == 0)
        return Refuse(kNoVerifyDataText, "error");
    if (s.operation == PumpOperation::Write && bufferBytes == 0)
        return PumpRefusal { kNoWriteDataText, 0, "", kTextPumpCaption, true };
    if (offset > 0 && (offset >= region || (s.operation == PumpOperation::Write && offset >= bufferBytes)))
        return RefuseOffset();

    std::int64_t end = region - offset;
    if (s.operation == PumpOperation::Verify || s.operation == PumpOperation::Write)
        end = std::min(end, bufferBytes);
    job.m_nEndPosition = static_cast<int>(std::max<std::int64_t>(end, 0));
    if (job.m_nEndPosition == 0)
        return PumpRefusal { platform::Format(
                                 "Nothing to %s: the selected memory is empty.", PumpOperationName(s.operation)),
            0, "", 0, false };
    return job;
}

StepResult ToStepResult(const PumpResult& r)
{
    StepResult s;
    s.operation = static_cast<StepOperation>(static_cast<int>(r.operation));
    switch (r.kind) {
    case PumpKind::Done:
        s.kind = StepKind::Done;
        break;
    case PumpKind::Failed:
        s.kind = StepKind::Failed;
        break;
    case PumpKind::Cancelled:
        s.kind = StepKind::Cancelled;
        break;
    case PumpKind::LinkLost:
        s.kind = StepKind::LinkLost;
        break;
    }
    s.address = r.address;
    s.deviceByte = r.deviceByte;
    s.bufferByte = r.bufferByte;
    s.addressInBuffer = r.addressInBuffer;
    s.unansweredAddress = r.unansweredAddress;
    return s;
}
