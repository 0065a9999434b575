#pragma once
// Device description files (".dev"): the configuration words of a microcontroller, their bit
// fields and the named settings of each field, read from "<appdata>/devices/<name>". The reader
// also takes the file's memory sizes, latches and device ID into the device it is given.
// DEVICE_FILES.md describes the format.

#include "catalogue/DeviceClass.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One named value of a bit field.
struct CFG_SETTING_DESC {
    std::int32_t m_nReq = 0; // the field bits the setting fixes
    std::int32_t m_nValue = 0;
    std::string m_strDesc; // empty: ends the field's list

    void Reset() { *this = CFG_SETTING_DESC(); }
};

// One bit field of a configuration word.
struct CFG_FIELD_DESC {
    static constexpr std::int32_t kNoInit = 0xFFFFFF;

    std::string m_strKey;
    std::int32_t m_nMask = 0;
    std::int32_t m_nInit = kNoInit;
    std::string m_strDesc; // empty: an empty record
    CFG_SETTING_DESC m_Settings[128];

    void Reset();
};

// One configuration word.
struct CFG_WORD_DESC {
    std::string m_strName; // empty: an empty record
    std::int32_t m_nAddress = 0;
    std::int32_t m_nValue = 0;
    std::int32_t m_nMask = 0; // the union of its fields' masks
    std::int32_t m_nUnused = 0; // unused-bit mask
    CFG_FIELD_DESC m_Fields[16];

    void Reset();
};

class CConfigDescription {
public:
    static constexpr int kMaxWords = 32;
    static constexpr int kMaxFields = 16;
    static constexpr int kMaxSettings = 128;
    // Longest line taken; a longer one is skipped whole.
    static constexpr std::size_t kLineLength = 1023;

    CConfigDescription();

    // Resets all 32 word records.
    void ResetRecords();

    // Reads the file that `device.m_strDeviceFile` names below "<appdata>/devices/" (found in any
    // letter case) into the records and the device's sizes, latches and ID. False, after the box
    // "File open error: %s device file", when there is no such file or the name is not a plain file
    // name; the records are then reset. A file there that cannot be opened reads as an empty one.
    bool LoadDeviceFile(CDeviceClass& device);
    // The same from the program's own description of that name (in any letter case), without a
    // box; false, the records reset, when the program has none.
    bool LoadBuiltInDeviceFile(CDeviceClass& device);
    // The same for a file's bytes already read (decoded by platform::DecodeTextFile); `fileName`
    // names it in warnings.
    void LoadDeviceText(CDeviceClass& device, std::string_view bytes, const std::string& fileName);

    // The full path of a description file, or empty when `name` is not a plain file name.
    static std::string DeviceFilePath(const std::string& name);
    // What a load sets, from the device it was read into to another: the code and data sizes,
    // the ID text and the PIC descriptor (copied in place).
    static void TakeFileValues(const CDeviceClass& from, CDeviceClass& to);

    // One line of `text` from `position`: it ends at CR, LF or the end, neither of which is part of
    // it (CR LF thus gives the line and then an empty one). False at the end of the text. A line
    // longer than `length` characters comes back empty with `tooLong` set.
    static bool ReadTextLine(
        std::string_view text, std::size_t& position, std::string& line, std::size_t length, bool& tooLong);

    // The text after the first `key` of the line, outside quoted text, up to the next
    // `delimiter` or the end; empty when the key is not there. Also left in the scratch string.
    const std::string& ExtractValue(const std::string& key, const std::string& line, char delimiter);

    // The number of defined fields over all defined words: the grid's body rows.
    int CountFieldRows() const;

    // Brings the words' values to the device's configuration bytes. Only the records change.
    void LoadFromDevice(const CDeviceClass& device);

    // Stores the words' values in the descriptor's configuration bytes: on 16-bit cores a word
    // goes to the byte its address's low 8 bits name, on narrower cores word k (in record order)
    // to bytes 2k and 2k+1. Clears the bytes and present flags below the configuration length
    // first. True when a word set any byte.
    bool StoreWords(CPicConfigInfo& info) const;

    // The setting a field shows: the first whose value equals the word's field bits, or equals
    // them with its free bits (the field bits it leaves open) removed; -1 when none does. A
    // setting whose free bits are all set in the word gains them in its stored value, so that
    // choosing it again keeps them.
    int SelectedSetting(int word, int field);
    // The field on grid row `row` (1 the first field of the first word); false when none is.
    bool FieldAtRow(int row, int& word, int& field) const;
    // Applies setting `setting` of the field: the word's field bits become its value, and the
    // word's bytes in `info` (when given) follow: on 16-bit cores byte i for a word at the
    // configuration base + i, below them bytes 2i and 2i + 1. Bytes at or past the configuration
    // length or 32 stay; present flags too. False, changing nothing, for a setting past the
    // field's list.
    bool ApplySetting(int word, int field, int setting, CPicConfigInfo* info);

    // The defined words are those before the first without a name (at most 32).
    int WordCount() const;
    const CFG_WORD_DESC& Word(int i) const { return m_Words[static_cast<std::size_t>(i)]; }
    CFG_WORD_DESC& Word(int i)
    {
        m_bAllTouched = true; // the caller may write anything
        return m_Words[static_cast<std::size_t>(i)];
    }
    static int FieldCount(const CFG_WORD_DESC& word);
    static int SettingCount(const CFG_FIELD_DESC& field);

    const std::string& Scratch() const { return m_strValue; }

private:
    void ProcessLine(CDeviceClass& device, const std::string& line, const std::string& fileName, int lineNumber);
    void Warn(const std::string& fileName, int lineNumber, const std::string& what);

    std::string m_strValue; // the last extracted value
    std::vector<CFG_WORD_DESC> m_Words; // always 32
    // What a load wrote, so that a reset touches only that: the records hold 65,536 settings.
    void ResetWord(int w);
    void ResetField(int w, int f);
    bool m_bAllTouched = false;
    int m_nWordsTouched = 0;
    std::uint8_t m_nFieldsTouched[kMaxWords] {};
    std::uint8_t m_nSettingsTouched[kMaxWords][kMaxFields] {};
    // State of one load.
    std::string m_strMasked; // the line with quoted text blanked, for key searches
    int m_nWordsRead = 0;
    int m_nCurrentField = -1;
    bool m_bDataSizeSeen = false;
    bool m_bWordLimitWarned = false;
    bool m_bFieldLimitWarned = false;
    bool m_bSettingLimitWarned = false;
    int m_nNulLines = 0;
    int m_nFirstNulLine = 0;
};
