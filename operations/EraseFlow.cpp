#include "operations/EraseFlow.h"

#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <cctype>

namespace {

bool In(int value, int first, int last)
{
    return value >= first && value <= last;
}

// The rows of 500 seconds.
bool IsFiveHundredSecondClass(int c)
{
    return c == 204 || In(c, 264, 276) || In(c, 278, 289) || c == 300;
}

// The rows of 180 seconds.
bool IsOneEightyClass(int c)
{
    return c == 169 || c == 219 || In(c, 229, 235);
}

std::string Text(int number)
{
    return g_Language.GetText(number);
}

} // namespace

bool HasOsccalWord(int classIndex, const CPicConfigInfo* pic)
{
    return classIndex >= kFirstPicClass && classIndex <= kLastPicClass && pic && pic->m_bHasOscCal;
}

EraseStart PlanEraseStart(int classIndex, const CPicConfigInfo* pic, bool autoRun, bool scriptRunning)
{
    EraseStart start;
    start.interactive = !autoRun && !scriptRunning;
    if (start.interactive)
        start.question = In(classIndex, 312, 320) ? EraseQuestion::OptionsDialog : EraseQuestion::YesNoCancel;
    else
        start.question = EraseQuestion::None;
    // The word is read before the dialog too: the completion writes back what it saved, and a word
    // never read would overwrite the calibration.
    start.readsOsccal = HasOsccalWord(classIndex, pic);
    if (start.readsOsccal)
        start.osccalAddress = static_cast<std::uint32_t>(pic->m_nOscCalAddress);
    start.tripleErase = !start.interactive && classIndex > 311 && classIndex <= kLastPicClass;
    // The flag belongs to the dialog that set it: every erase without one restores the word.
    start.clearsKeepOsccal = start.question != EraseQuestion::OptionsDialog;
    return start;
}

int EraseExpectedSeconds(int c, std::string_view deviceName)
{
    if (In(c, 80, 84) || In(c, 87, 90) || In(c, 206, 218))
        return 60;
    if (c == 85 || c == 86 || In(c, 238, 241))
        return 10;
    if (c == 91 || c == 92)
        return 100;
    if (c == 155 || In(c, 181, 184) || In(c, 261, 263))
        return 5;
    if (IsOneEightyClass(c))
        return 180;
    if (c == 171)
        return 40;
    if (In(c, 197, 202) || c == 205 || In(c, 253, 255) || In(c, 290, 299))
        return deviceName.find("29F032") != std::string_view::npos ? 100 : 5;
    if (c == 203)
        return 20;
    if (IsFiveHundredSecondClass(c))
        return 500;
    if (In(c, 220, 226))
        return 90;
    if (c == 227 || c == 228 || c == 236 || c == 237)
        return 80;
    if (In(c, 242, 252) || In(c, 256, 260))
        return 8;
    return 10;
}

bool EraseCancelStaysEnabled(int classIndex)
{
    return IsOneEightyClass(classIndex) || IsFiveHundredSecondClass(classIndex);
}

bool HasEraseTempUnprotect(int c)
{
    return c == 204 || c == 242 || In(c, 256, 260) || In(c, 264, 276) || In(c, 278, 289) || c == 300;
}

std::uint8_t EraseStepOption(int classIndex, bool tempUnprotect, std::uint8_t option)
{
    return tempUnprotect && HasEraseTempUnprotect(classIndex) ? 1 : option;
}

std::uint8_t EraseOptionByte(const EraseOptionsChoice& choice)
{
    std::uint8_t option = 0;
    if (!choice.eraseEeprom)
        option |= kEraseSpareEeprom;
    if (!choice.eraseConfig)
        option |= kEraseSpareConfig;
    if (!choice.eraseId)
        option |= kEraseSpareId;
    return option;
}

std::optional<OsccalWord> ParseOsccalText(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!std::isxdigit(c))
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    return OsccalWord { static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF) };
}

std::string OsccalEditText(const OsccalWord& word)
{
    return platform::Format("%02x%02x", word[0], word[1]);
}

std::string OsccalNoteText(const OsccalWord& word, std::uint32_t address)
{
    return platform::Format("0x%02x%02x at address 0x%04x", word[0], word[1], address);
}

EraseDonePlan PlanEraseDone(StepKind kind, int classIndex, const CPicConfigInfo* pic, bool keepOsccal)
{
    EraseDonePlan plan;
    switch (kind) {
    case StepKind::Done:
        plan.kind = StepKind::Done;
        plan.restoreOsccal = HasOsccalWord(classIndex, pic) && !keepOsccal;
        plan.line = ReportLine { Text(59) + "\r\n", LineTone::Success };
        plan.continuesRun = true;
        break;
    case StepKind::Cancelled:
        plan.kind = StepKind::Cancelled;
        plan.line = ReportLine { Text(55) + "\r\n", LineTone::Info };
        plan.setupAgain = true;
        break;
    case StepKind::Failed:
    case StepKind::Refused:
        plan.kind = StepKind::Failed;
        plan.boxText = EraseFailedText();
        plan.boxCaption = Text(50);
        break;
    case StepKind::LinkLost:
        plan.kind = StepKind::LinkLost;
        break;
    }
    return plan;
}

OsccalRestorePlan PlanOsccalRestore(OsccalRestoreEnd end)
{
    OsccalRestorePlan plan;
    switch (end) {
    case OsccalRestoreEnd::Restored:
        break;
    case OsccalRestoreEnd::WriteFailed:
        plan.kind = StepKind::Failed;
        plan.boxText = Text(71);
        break;
    case OsccalRestoreEnd::Mismatch:
        plan.kind = StepKind::Failed;
        plan.boxText = Text(66);
        break;
    case OsccalRestoreEnd::LinkLost:
        plan.kind = StepKind::LinkLost;
        break;
    }
    return plan;
}

std::string EraseQuestionText()
{
    return Text(72);
}

std::string EraseQuestionCaption()
{
    return Text(21);
}

std::string EraseStatusText()
{
    return Text(73) + Text(74);
}

std::string EraseFailedText()
{
    return Text(67) + "\r\n" + Text(68) + "\r\n" + Text(69) + "\r\n" + Text(70);
}
