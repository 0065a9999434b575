#pragma once
// What one run of the data pump does, fixed on the GUI thread before the pump starts: a
// PumpSnapshot of the selection, turned by MakePumpJob into a PumpJob (or a refusal), and the
// PumpResult the pump ends with.

#include "catalogue/DeviceClass.h"
#include "operations/OperationFlow.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

// The operations the pump runs, numbered as the view's operation states.
enum class PumpOperation : int { Read = 3, Write = 4, Erase = 5, Verify = 6, BlankCheck = 7 };

const char* PumpOperationName(PumpOperation operation);

// The selection as it stands when a step starts (after the transfer sizes were set).
struct PumpSnapshot {
    PumpOperation operation = PumpOperation::Read;
    CDeviceClass device; // g_CurrentDevice
    CDeviceClass classEntry; // its entry in g_DeviceClassTable
    int classIndex = kNoDeviceClass;
    int model = 5;
    std::uint32_t deviceOffset = 0; // the header pane's device offset
    bool tempUnprotect = false; // the header pane's temporary-unprotect option
    int bufferIndex = 0;
    std::size_t bufferBytes = 0; // the selected buffer's byte count
    int blockSize = 64;
    int writeBlockSize = 64;
    int writeStep = 59;
    std::uint8_t eraseOption = 0;
};

// Supply and programming voltages with the device's switch bytes, as set before the first packet.
struct PumpVoltages {
    std::uint8_t vcc = 0;
    std::uint8_t vpp = 0;
    std::uint8_t vccSwitch = 0x08;
    std::uint8_t vppSwitch = 0x80;
    std::uint8_t switchA = 0x80;
};

struct PumpJob {
    PumpOperation operation = PumpOperation::Read;
    int classIndex = kNoDeviceClass;
    int bufferIndex = 0;

    std::uint32_t m_nStartAddress = 0; // device address of buffer offset 0
    int m_nEndPosition = 0; // bytes to move
    int m_nBlockSize = 64; // bytes per block request
    int m_nWriteBlockSize = 64; // write bytes per acknowledgement
    int m_nWriteStep = 59; // data bytes per write packet
    int regionBytes = 0; // a read first makes the buffer a 0xFF block of this size

    std::uint8_t readCommand = 0;
    std::uint8_t writeCommand = 0;
    std::uint8_t writeOkCommand = 0;

    // P_SETUP carries a second byte (the unprotect flag) in a write only.
    bool setupHasFlag = false;
    std::uint8_t setupFlag = 0;
    int pauseMs = 0; // after P_SETUP
    bool programDelay = false; // SetProgramDelay(1000) before the first request
    PumpVoltages voltages;
    std::uint8_t eraseOption = 0;

    bool class90 = false; // no status byte after a read block
    // A blank byte at an even offset may also read this (12- and 14-bit PIC cores); 0: none.
    std::uint8_t blankEvenAlternative = 0;
    // Buffer offsets a blank check or verify does not compare: [skipFrom, skipFrom + skipCount).
    // Blank check and verify of configuration memory: the read-only device-ID word, which no
    // file holds; blank check and verify of a PIC's program memory: its OSCCAL word.
    int skipFrom = 0;
    int skipCount = 0;
    // A verify compares the bytes [maskFrom, maskFrom + maskCount) only under maskBytes: the
    // configuration word(s) inside a 14-bit core's configuration memory, whose unimplemented
    // bits a file may hold either way.
    int maskFrom = 0;
    int maskCount = 0;
    std::array<std::uint8_t, 32> maskBytes {};

    // A serial EEPROM's device address, which a missing acknowledge names; 0 on other classes,
    // whose replies carry no such status.
    std::uint8_t eepromAddress = 0;

    // Turning a failure address from the programmer into a device byte address.
    std::uint32_t forcedAddressBits = 0; // the DIP24/DIP28 line the channel sets
    bool wordMode = false;

    bool ReadsData() const
    {
        return operation == PumpOperation::Read || operation == PumpOperation::Verify
            || operation == PumpOperation::BlankCheck;
    }
};

// Why a step does not start. A text number > 0 names a language text instead of the literal
// text; without a box the refusal is a log line.
struct PumpRefusal {
    std::string text;
    int textNumber = 0;
    std::string caption;
    int captionNumber = 0;
    bool box = true;
};

using PumpPlan = std::variant<PumpJob, PumpRefusal>;

// Pure: the job for the snapshot, or why there is none.
PumpPlan MakePumpJob(const PumpSnapshot& snapshot);

enum class PumpKind { Done, Failed, Cancelled, LinkLost };

const char* PumpKindName(PumpKind kind);

struct PumpResult {
    PumpOperation operation = PumpOperation::Read;
    PumpKind kind = PumpKind::Failed;
    // Verify and blank check: the buffer offset of the first mismatch. Write: the device byte
    // address the programmer reported, or the position reached on a cancel.
    std::uint32_t address = 0;
    std::uint8_t deviceByte = 0; // read from the device (a write failure: the byte read back)
    std::uint8_t bufferByte = 0; // expected
    std::uint16_t data = 0; // a write failure's reported data, read back then intended
    // A write failure's address lies in the written range, so bufferByte is the buffer's byte.
    bool addressInBuffer = true;
    // Failed: the serial EEPROM did not acknowledge this device address (0: it did, or no such chip).
    std::uint8_t unansweredAddress = 0;
    int position = 0; // bytes moved
    int endPosition = 0;
};

// The result as the operation control's completions take it.
StepResult ToStepResult(const PumpResult& result);

// The language texts of the refusals and progress captions.
constexpr int kTextPumpCaption = 50;
constexpr int kTextOffsetBeyond = 80;
constexpr const char* kNoVerifyDataText = "No data in buffer for verifying.";
constexpr const char* kNoWriteDataText = "No data in buffer for writing.";
