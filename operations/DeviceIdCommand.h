#pragma once
// Get ID without widgets: which signature the selected device has and what the user is asked
// first (PlanDeviceId), the exchange with the programmer (RunDeviceId, on the worker), and what
// its reply means for the chip-ID dialog (ReadDeviceIdReply).
//
// The PIC classes (312 and up) read their 2-byte device-ID word whatever their ID text says; the
// word's bits under the class's ID mask are the ID, the other bits of the core's word the
// revision. Every other class reads as many bytes as its ID text has hex digit pairs.

#include "catalogue/DeviceClass.h"
#include "operations/OperationFlow.h"
#include "operations/OperationText.h"
#include "operations/StepExchange.h"

#include <cstdint>
#include <string>

enum class DeviceIdVerdict {
    Read,
    NotSupported, // no signature (or a PIC class without an ID mask)
    BadLength, // a signature outside 2 to 6 bytes
};

struct DeviceIdPlan {
    DeviceIdVerdict verdict = DeviceIdVerdict::NotSupported;
    int length = 0; // signature bytes to take from the reply
    bool word = false; // a PIC's device-ID word, high byte first
    std::uint16_t mask = 0; // the word's ID bits
    int wordBits = 14; // the bits of the word that count: 14, or 16 for 16-bit cores
    bool askEprom = false; // the high-voltage warning comes first
};

DeviceIdPlan PlanDeviceId(const CDeviceClass& device, int classIndex);

// The box of a refusal, captioned with the application's name; empty for Read.
std::string DeviceIdRefusalText(DeviceIdVerdict verdict);

inline constexpr const char* kNotSupportedText = kLockNotSupportedText;
inline constexpr const char* kSignatureLengthErrorText = "Signature length error.Please report this bug.";
inline constexpr const char* kEpromIdWarningText = "Reading the ID puts 12 V on pin A9 of an EPROM.\r\nContinue?";
inline constexpr const char* kEpromIdWarningCaption = "Warring";
inline constexpr const char* kNoReplyText = "No reply from the programmer.";

// What the chip-ID dialog is given, or why there is nothing to give.
struct DeviceIdReading {
    StepKind kind = StepKind::Done; // Failed: no or a short reply; LinkLost: the programmer left
    std::string line; // a log line ("\r\n" ended) when not empty
    std::string id; // lower-case hex: two digits a byte, or the masked word in four
    int length = 0; // the ID's length in bytes
    std::string code; // the manufacturer code: "29" for a PIC, else empty
    std::string revision; // a PIC's revision bits, "%x"
};

DeviceIdReading ReadDeviceIdReply(const DeviceIdPlan& plan, const ExchangeResult& exchange);

// The worker's part: the signature exchange and its reading.
DeviceIdReading RunDeviceId(ExchangeLink& link, const DeviceIdPlan& plan);
