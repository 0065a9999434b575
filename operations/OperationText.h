#pragma once
// The texts of the device operations as pure functions: addresses and bytes as the log shows
// them, the time line, the progress captions, the adapter reminder, the ID-check question and the
// detection box. Language texts are read by number from g_Language.

#include <cstddef>
#include <cstdint>
#include <string>

// "%06X" of the value: "001234".
std::string FormatAddress(std::uint32_t value);
// "%02X" of the low byte: "0A".
std::string FormatByte(std::uint32_t value);

// "Time:hh:mm:ss \r\n" (text 96) of a duration in whole seconds; a negative one counts as 0.
std::string TimeLine(std::int64_t seconds);

// The progress caption of an operation state: texts 75, 76, 74, 77, 78, 79 for states 3 to 8;
// empty for any other state.
std::string ProgressCaption(int state);

// The state pane (103) of the status bar: the caption of the step running (`progressState`, the
// state its progress window was opened for), else by the operation state: "No programmer" (0),
// "Idle" (1), text 79 while the programmer is identified (2), the state's caption (3 to 8).
inline constexpr const char* kNoProgrammerText = "No programmer";
inline constexpr const char* kIdleText = "Idle";
std::string StatePaneText(int state, int progressState);

// The line status pane 0 holds after a failure: the first line of `log` ("\n" ended lines)
// written from `mark` on (the log's length when the completion began), the elapsed-time line
// passed over; without one, the log's last such line.
std::string FailureLine(const std::string& log, std::size_t mark);

// The reminder before an operation on a class that needs an adapter or jumpers: the device's
// adapter and message texts (the non-empty ones, a line break between), or a general reminder
// when both are empty.
std::string AdapterDialogText(const std::string& adapter, const std::string& message);
// Its caption: text 37.
std::string AdapterDialogCaption();

// The Yes/No question after a failed ID check (texts 88, 89, 91, 90) and its caption (text 42).
std::string IdCheckQuestion();
std::string IdCheckCaption();

// The box of a detected device: "Device:<name> detected!", caption "Detected".
std::string DeviceDetectedText(const std::string& name);
inline constexpr const char* kDeviceDetectedCaption = "Detected";

inline constexpr const char* kLinkLostLine = "USB connection lost!";
// The failure of a read, write, verify or blank check that a serial EEPROM did not acknowledge:
// "No answer from the chip at device address 0xA2." (the device address in use).
std::string NoAnswerText(std::uint8_t deviceAddress);
// Byte Swap's log line, with the number of 16-bit words swapped.
inline constexpr const char* kByteSwapLine = "Buffer bytes swapped (%u words).\r\n";
inline constexpr const char* kDeviceLockedText = "Device locked.";
inline constexpr const char* kLockFailedText = "Lock failed.";
inline constexpr const char* kLockNotSupportedText = "The function is not supported by this device.";
inline constexpr const char* kCheckAdapterText = "Check the adapter/jumper setting.";

// A detection message names a class the table holds (0 to 325); others are ignored.
inline bool IsDetectableClass(int classIndex)
{
    return classIndex >= 0 && classIndex <= 325;
}

// The boxes of the ID check and the adapter reminder: true for Yes / OK.
bool AskIdCheckContinue();
bool ConfirmAdapter(const std::string& adapter, const std::string& message);
