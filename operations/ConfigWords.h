#pragma once
// A PIC's configuration words: the descriptor's bytes m_ConfigValue[0 .. m_nConfigBytes - 1],
// each word low byte first. Reading, verifying and writing them are short exchanges with the
// programmer over an ExchangeLink, run in the pump's slot; what comes before and after them on
// the GUI thread (the first log line, storing a read, the box) are the functions below.
//
// 16-bit cores go word by word: a 2-byte block read at the configuration address plus i, and
// P_WRITE_CFG_WORD_OK [93, i, i + 1, byte i, byte i + 1]. Narrower cores power down, wait 500 ms
// and move all of them at once with P_PIC_MEM_READ / P_PIC_MEM_WRITE, type 7, the words high
// byte first on the wire. Every exchange ends with P_POWER_DOWN.

#include "operations/OperationFlow.h"
#include "operations/StepExchange.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

struct CPicConfigInfo;

enum class ConfigWordsAction { Read, Verify, Write };

// What an exchange needs of the descriptor, copied on the GUI thread so the worker never reads
// g_CurrentDevice.
struct ConfigWordsJob {
    int coreBits = 14;
    std::uint32_t address = 0x2007; // words; a byte address on 16-bit cores
    int length = 2; // bytes
    std::array<std::uint8_t, 32> mask {};
    std::array<std::uint8_t, 32> present {};
    std::array<std::uint8_t, 32> values {};

    bool WordByWord() const { return coreBits > 15; }
};

ConfigWordsJob MakeConfigWordsJob(const CPicConfigInfo& pic);

inline constexpr int kConfigWordsMinLength = 2;
inline constexpr int kConfigWordsMaxLength = 32;
// Bytes of the configuration words that buffer 3 shows.
inline constexpr std::size_t kConfigWordsShown = 16;
inline constexpr int kPicMemConfigType = 7;

inline constexpr const char* kConfigWriteFailedText = "CFG WORD writen failed.";
inline constexpr const char* kConfigNotSuppliedLine = "Configuration words not written: none loaded or read.\r\n";
inline constexpr const char* kConfigReadFailedLine = "Reading the configuration words failed.\r\n";

// Empty when `length` is one the exchanges can carry (even, 2 to 32); else the log line that
// refuses it.
std::string ConfigLengthRefusal(int length);

// The first log line: "Reading...", "Verifying..." or "Writing..." (texts 75, 77, 76).
std::string ConfigWordsStartLine(ConfigWordsAction action);

// The packets themselves. The read gives `length` bytes low byte first (kind Done) or a failure;
// the write gives Done only when every packet was acknowledged.
struct ConfigWordsRead {
    StepKind kind = StepKind::Done; // Done, Failed or LinkLost
    std::vector<std::uint8_t> bytes;
};
// A stop request cuts the narrow cores' pause short and fails the exchange.
ConfigWordsRead ReadConfigWordsExchange(ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop = {});
StepKind WriteConfigWordsExchange(ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop = {});

// The comparison of a verify: 16-bit cores byte by byte under m_ConfigMask[i], skipping bytes not
// marked present once any is; narrower cores word by word under the mask word. The first
// difference, if any.
struct ConfigMismatch {
    bool differs = false;
    bool words = false; // values are words ("%04X"), else bytes ("%02X")
    std::uint32_t address = 0; // the configuration address plus the word or byte index
    std::uint32_t expected = 0;
    std::uint32_t device = 0;
};
ConfigMismatch CompareConfigWords(const ConfigWordsJob& job, std::span<const std::uint8_t> device);
// "Configuration Verify Failed, Address=0x300001, Buffer=0x3F, Device=0x1F\r\n" (texts 174, 103,
// 99, 100, 3).
std::string ConfigMismatchLine(const ConfigMismatch& mismatch);

// One whole action after its first line, on the worker: the exchange and, for a verify, the
// comparison.
struct ConfigWordsOutcome {
    ConfigWordsAction action = ConfigWordsAction::Read;
    StepKind kind = StepKind::Done; // Done, Failed or LinkLost
    std::vector<std::uint8_t> bytes; // read and verify: the chip's bytes
    ConfigMismatch mismatch; // a verify that found a difference (kind Failed)
};
ConfigWordsOutcome RunConfigWords(
    ConfigWordsAction action, ExchangeLink& link, const ConfigWordsJob& job, std::stop_token stop = {});

// What the GUI thread shows of an outcome: a log line ("\r\n" ended, none for a lost link, which
// the link watch reports) and for a failed write the box kConfigWriteFailedText.
struct ConfigWordsReport {
    std::string line;
    bool lineIsError = false;
    std::string boxText;
};
ConfigWordsReport ReportConfigWords(const ConfigWordsOutcome& outcome);

// After a read: the descriptor takes the bytes and counts as supplied; buffer 3 becomes a copy
// of the first 16 of them.
void StoreReadConfigWords(CPicConfigInfo& pic, std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& shown);
// Buffer 3 shows the descriptor's words again (the first 16 of them).
void ShowConfigWords(const CPicConfigInfo& pic, std::vector<std::uint8_t>& shown);

// Where the configuration words lie inside configuration memory (a 14-bit core's word at 0x2007
// is its last word), buffer 2 holds them too, high byte first: the supplied words go there, so
// that writing and verifying buffer 2 agree with them. Nothing happens for words not supplied or
// outside buffer 2. True when a byte changed.
bool PutConfigWordsInConfigMemory(const CPicConfigInfo& pic, std::vector<std::uint8_t>& configMemory);

// --- Set CFG bits ------------------------------------------------------------------------------

// What Set CFG bits does for a class: buffer 3 (classes 321 to 325), one of the three dialogs, or
// the box "Not Supported." (text 65).
enum class CfgBitsAction { ShowConfigWords, ConfigurationDialog, AvrFuseDialog, EepromAddressDialog, NotSupported };
CfgBitsAction PlanSetCfgBits(int classIndex, bool hasDescriptor);

// The dialogs Set CFG bits opens. Each answers whether it changed the chip, so that the view may
// offer to read it again.
class ChipDialogs {
public:
    enum class Dialog { Configuration, AvrFuse, EepromAddress };
    virtual ~ChipDialogs() = default;
    // True when the chip changed.
    virtual bool Run(Dialog dialog) = 0;
};
