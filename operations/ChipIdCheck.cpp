#include "operations/ChipIdCheck.h"

#include "operations/OperationText.h"
#include "shell/HexParse.h"
#include "shell/Language.h"

#include <algorithm>

namespace {

// Hex digits [from, from + count) of `text` as a number; nullopt when one is not a hex digit.
std::optional<std::uint32_t> HexValue(std::string_view text, std::size_t from, std::size_t count)
{
    if (from + count > text.size())
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

bool AllEqual(std::span<const std::uint8_t> bytes, std::uint8_t value)
{
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

} // namespace

IdCheckVerdict CompareChipId(
    std::span<const std::uint8_t> reply, int length, std::string_view id, bool wordId, std::uint16_t mask)
{
    if (length <= 0 || (wordId && mask == 0))
        return IdCheckVerdict::Skipped;
    if (wordId)
        length = 2;
    if (reply.size() < static_cast<std::size_t>(length))
        return IdCheckVerdict::Mismatch;
    const auto compared = reply.first(static_cast<std::size_t>(length));
    if (AllEqual(compared, 0x00) || AllEqual(compared, 0xFF))
        return IdCheckVerdict::NoChip;

    if (wordId) {
        if (id.size() < 4)
            return IdCheckVerdict::Mismatch;
        const auto expected = HexValue(id, id.size() - 4, 4);
        const std::uint32_t word = static_cast<std::uint32_t>(compared[0]) << 8 | compared[1];
        if (!expected || (word & mask) != (*expected & mask))
            return IdCheckVerdict::Mismatch;
        return IdCheckVerdict::Match;
    }

    for (int i = 0; i < length; ++i) {
        const auto expected = HexValue(id, static_cast<std::size_t>(2 * i), 2);
        if (!expected || *expected != compared[static_cast<std::size_t>(i)])
            return IdCheckVerdict::Mismatch;
    }
    return IdCheckVerdict::Match;
}

std::optional<std::uint8_t> LockLevel(std::string_view lockText)
{
    if (lockText == "2")
        return 2;
    if (lockText == "3")
        return 3;
    return std::nullopt;
}

std::string IdCheckLine(IdCheckVerdict verdict)
{
    switch (verdict) {
    case IdCheckVerdict::Skipped:
        return g_Language.GetText(86) + "\r\n";
    case IdCheckVerdict::Match:
        return g_Language.GetText(87) + "\r\n";
    default:
        return g_Language.GetText(88) + "\r\n";
    }
}

bool IdCheckGoesOn(IdCheckVerdict verdict, bool answeredYes)
{
    return verdict == IdCheckVerdict::Skipped || verdict == IdCheckVerdict::Match || answeredYes;
}

LockOutcome MakeLockOutcome(std::optional<std::uint8_t> level, int replyByte0)
{
    LockOutcome outcome;
    if (!level) {
        outcome.line = std::string(kLockNotSupportedText) + "\r\n";
        return outcome;
    }
    if (replyByte0 == 0) {
        outcome.line = std::string(kDeviceLockedText) + "\r\n";
        return outcome;
    }
    outcome.done = false;
    outcome.line = std::string(kLockFailedText) + "\r\n";
    outcome.boxText = kLockFailedText;
    return outcome;
}
