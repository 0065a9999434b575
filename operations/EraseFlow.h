#pragma once
// The erase command's decisions as pure functions: what it asks the user, whether it reads a
// PIC's OSCCAL word first, the option byte, how long the progress window expects it to take, and
// what its completion does with each way the pump ended. The view carries them out
// (operations/ui/ViewErase.cpp); the packets are in operations/OsccalWord.h.

#include "catalogue/DeviceClass.h"
#include "operations/CompletionReport.h"
#include "operations/OperationFlow.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The saved OSCCAL word: high byte first.
using OsccalWord = std::array<std::uint8_t, 2>;

enum class EraseQuestion {
    None, // a batch or a script asks nothing
    OptionsDialog, // CEraseOptionsDlg
    YesNoCancel, // "Are you sure?"
};

struct EraseStart {
    bool interactive = true;
    EraseQuestion question = EraseQuestion::YesNoCancel;
    // The OSCCAL word is read (and saved) before anything else; a failed read starts no erase.
    bool readsOsccal = false;
    std::uint32_t osccalAddress = 0; // word address
    // A batch or script erases a PIC three times before the step.
    bool tripleErase = false;
    // Batches, scripts and the Yes/No question always restore the OSCCAL word.
    bool clearsKeepOsccal = false;
};

// Interactive means neither a batch (autoRun) nor a script runs.
EraseStart PlanEraseStart(int classIndex, const CPicConfigInfo* pic, bool autoRun, bool scriptRunning);

// A PIC class whose descriptor has an OSCCAL word.
bool HasOsccalWord(int classIndex, const CPicConfigInfo* pic);

// The seconds the progress window expects an erase of the class to take.
int EraseExpectedSeconds(int classIndex, std::string_view deviceName);
// The slow rows (180 and 500 seconds) leave Cancel enabled while the erase runs.
bool EraseCancelStaysEnabled(int classIndex);
// Classes whose protected blocks an erase with option 1 lifts (the header's Temp.Unprotect).
bool HasEraseTempUnprotect(int classIndex);
// The option byte of the erase step: 1 on those classes with Temp.Unprotect on, else `option`.
std::uint8_t EraseStepOption(int classIndex, bool tempUnprotect, std::uint8_t option);

// The erase options dialog's four boxes; unchecked, each spares something.
struct EraseOptionsChoice {
    bool eraseEeprom = true; // unchecked: option bit 0x01
    bool eraseConfig = true; // unchecked: 0x02
    bool eraseId = true; // unchecked: 0x04
    bool restoreOsccal = true; // unchecked: the keep-OSCCAL flag, the word is not written back
};
inline constexpr std::uint8_t kEraseSpareEeprom = 0x01;
inline constexpr std::uint8_t kEraseSpareConfig = 0x02;
inline constexpr std::uint8_t kEraseSpareId = 0x04;

std::uint8_t EraseOptionByte(const EraseOptionsChoice& choice);
// The OSCCAL edit: 1 to 4 hex digits (surrounding blanks ignored) give the word; else nothing.
std::optional<OsccalWord> ParseOsccalText(std::string_view text);
// "%02x%02x" of the word.
std::string OsccalEditText(const OsccalWord& word);
// "0x%02x%02x at address 0x%04x".
std::string OsccalNoteText(const OsccalWord& word, std::uint32_t address);

// What the erase completion does after the common part (elapsed line, power-down, controls).
struct EraseDonePlan {
    StepKind kind = StepKind::Done;
    // Done on an OSCCAL part without the keep-OSCCAL flag: write the saved word back and read it
    // again before the result counts.
    bool restoreOsccal = false;
    std::optional<ReportLine> line; // "Erase completed." / "Cancelled"
    std::string boxText; // the failure box
    std::string boxCaption;
    bool setupAgain = false; // a cancel sets the device up again
    bool continuesRun = false; // only done goes on (a batch starts the blank check)
};
// `kind` is the pump's ending as the completions see it (Refused counts as Failed).
EraseDonePlan PlanEraseDone(StepKind kind, int classIndex, const CPicConfigInfo* pic, bool keepOsccal);

// The end of the OSCCAL restore: the write's own failure ("Write failed" alone), or a word that
// did not stick ("Write OSCCAL Failed."); either fails the erase.
enum class OsccalRestoreEnd { Restored, WriteFailed, Mismatch, LinkLost };
struct OsccalRestorePlan {
    StepKind kind = StepKind::Done;
    std::string boxText;
    std::string boxCaption;
};
OsccalRestorePlan PlanOsccalRestore(OsccalRestoreEnd end);

// Texts.
std::string EraseQuestionText(); // 72
std::string EraseQuestionCaption(); // 21
std::string EraseStatusText(); // 73 + 74
std::string EraseFailedText(); // 67 to 70 joined by "\r\n"
inline constexpr const char* kOsccalReadFailedLine = "OSCCAL read failed, erase not started.";
