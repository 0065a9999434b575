#pragma once
// The two short exchanges of an automatic run that are decided here: the ID check compares the
// chip's signature reply with the device's ID text, and the lock step takes its level from the
// device's lock text.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class IdCheckVerdict {
    Skipped, // the device has no signature to compare (or its mask is 0): text 86, go on
    Match, // text 87, go on
    Mismatch, // text 88 and the Yes/No question
    NoChip, // the reply is all 0x00 or all 0xFF: as a mismatch
};

// The first `length` bytes of `reply` against the hex digit pairs of `id` (`length`: the
// device's SignatureLength; 0 skips the check). With `wordId` (PIC classes 312 and up) the word of
// reply bytes 0 (high) and 1 against the last four hex digits of `id`, both under `mask`; a mask
// of 0 skips the check. A reply shorter than what is compared is
// a mismatch.
IdCheckVerdict CompareChipId(
    std::span<const std::uint8_t> reply, int length, std::string_view id, bool wordId, std::uint16_t mask);

// PIC classes compare a masked ID word.
inline bool UsesIdWord(int classIndex)
{
    return classIndex >= 312;
}

// The lock level of a device's lock text: 2 or 3; none when the device cannot be locked.
std::optional<std::uint8_t> LockLevel(std::string_view lockText);

// The log line of an ID-check verdict: text 86, 87 or 88, "\r\n" ended.
std::string IdCheckLine(IdCheckVerdict verdict);
// Whether the ID check lets the run go on: a skip and a match do; a mismatch only when the user
// answered Yes to the question (IdCheckQuestion) it asks.
bool IdCheckGoesOn(IdCheckVerdict verdict, bool answeredYes);

// The end of a lock step.
struct LockOutcome {
    bool done = true; // false: a failure that ends the run
    std::string line; // the log line ("\r\n" ended)
    std::string boxText; // a box when not empty, captioned text 50
};
// `level`: LockLevel of the device; `replyByte0`: byte 0 of the reply to the lock command (only
// read when there is a level; -1 when no reply came).
LockOutcome MakeLockOutcome(std::optional<std::uint8_t> level, int replyByte0);
