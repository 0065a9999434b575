#include "catalogue/ConfigDescription.h"

#include "catalogue/DeviceLibrary.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/HexParse.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr COLORREF kWarningColour = RGB(192, 96, 0);
// Stands for a character of quoted text in the copy of a line that keys are searched in.
constexpr char kQuoted = '\x01';

// Keywords, in the order they are processed when a line holds several.
constexpr const char* kPgmMem = "pgmmem (region=0x0-0x";
constexpr const char* kLatches = "latches(pgm=";
constexpr const char* kCfgMem = "cfgmem (region=0x";
constexpr const char* kEeData = "eedata (region=0x0-0x";
constexpr const char* kDevId = "devid ";
constexpr const char* kCfgBits = "cfgbits ";
constexpr const char* kField = "field ";
constexpr const char* kSetting = "setting ";
constexpr const char* kDesc = "desc=\"";

// The line with the characters between double quotes replaced, so that a key inside a
// description is never taken for one. The quotes themselves stay.
void MaskQuoted(const std::string& line, std::string& masked)
{
    masked = line;
    bool quoted = false;
    for (char& c : masked) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            c = kQuoted;
    }
}

// The leading decimal digits of the text (after an optional sign), as atoi reads them; wraps
// rather than overflows.
std::uint32_t Decimal(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    return negative ? 0u - value : value;
}

bool Has(const std::string& masked, const char* key)
{
    return masked.find(key) != std::string::npos;
}

} // namespace

void CFG_FIELD_DESC::Reset()
{
    m_strKey.clear();
    m_nMask = 0;
    m_nInit = kNoInit;
    m_strDesc.clear();
    for (CFG_SETTING_DESC& s : m_Settings)
        s.Reset();
}

void CFG_WORD_DESC::Reset()
{
    m_strName.clear();
    m_nAddress = 0;
    m_nValue = 0;
    m_nMask = 0;
    m_nUnused = 0;
    for (CFG_FIELD_DESC& f : m_Fields)
        f.Reset();
}

CConfigDescription::CConfigDescription()
    : m_Words(kMaxWords)
{
}

void CConfigDescription::ResetRecords()
{
    if (m_bAllTouched) {
        for (CFG_WORD_DESC& w : m_Words)
            w.Reset();
        m_bAllTouched = false;
        m_nWordsTouched = 0;
        for (auto& f : m_nFieldsTouched)
            f = 0;
        for (auto& word : m_nSettingsTouched)
            for (auto& n : word)
                n = 0;
        return;
    }
    for (int w = 0; w < m_nWordsTouched; ++w)
        ResetWord(w);
    m_nWordsTouched = 0;
}

void CConfigDescription::ResetField(int w, int f)
{
    CFG_FIELD_DESC& field = m_Words[static_cast<std::size_t>(w)].m_Fields[f];
    field.m_strKey.clear();
    field.m_nMask = 0;
    field.m_nInit = CFG_FIELD_DESC::kNoInit;
    field.m_strDesc.clear();
    for (int s = 0; s < m_nSettingsTouched[w][f]; ++s)
        field.m_Settings[s].Reset();
    m_nSettingsTouched[w][f] = 0;
}

void CConfigDescription::ResetWord(int w)
{
    CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(w)];
    word.m_strName.clear();
    word.m_nAddress = 0;
    word.m_nValue = 0;
    word.m_nMask = 0;
    word.m_nUnused = 0;
    for (int f = 0; f < m_nFieldsTouched[w]; ++f)
        ResetField(w, f);
    m_nFieldsTouched[w] = 0;
}

int CConfigDescription::WordCount() const
{
    int n = 0;
    while (n < kMaxWords && !m_Words[static_cast<std::size_t>(n)].m_strName.empty())
        ++n;
    return n;
}

int CConfigDescription::FieldCount(const CFG_WORD_DESC& word)
{
    int n = 0;
    while (n < kMaxFields && !word.m_Fields[n].m_strDesc.empty())
        ++n;
    return n;
}

int CConfigDescription::SettingCount(const CFG_FIELD_DESC& field)
{
    int n = 0;
    while (n < kMaxSettings && !field.m_Settings[n].m_strDesc.empty())
        ++n;
    return n;
}

int CConfigDescription::CountFieldRows() const
{
    int rows = 0;
    for (int w = 0, words = WordCount(); w < words; ++w)
        rows += FieldCount(Word(w));
    return rows;
}

std::string CConfigDescription::DeviceFilePath(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos
        || name.find("..") != std::string::npos)
        return {};
    const std::string folder = GetAppDataFolder() + "/devices";
    const std::string found = ResolveFileCaseInsensitive(folder, name);
    return found.empty() ? folder + "/" + name : found;
}

bool CConfigDescription::ReadTextLine(
    std::string_view text, std::size_t& position, std::string& line, std::size_t length, bool& tooLong)
{
    line.clear();
    tooLong = false;
    if (position >= text.size())
        return false;
    std::size_t end = position;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n')
        ++end;
    if (end - position > length)
        tooLong = true;
    else
        line.assign(text.substr(position, end - position));
    // The terminator is not part of the line; a CR LF pair gives the line, then an empty one.
    position = end < text.size() ? end + 1 : end;
    return true;
}

const std::string& CConfigDescription::ExtractValue(const std::string& key, const std::string& line, char delimiter)
{
    MaskQuoted(line, m_strMasked);
    m_strValue.clear();
    const std::size_t at = m_strMasked.find(key);
    if (at == std::string::npos)
        return m_strValue;
    const std::size_t start = at + key.size();
    std::size_t end = line.find(delimiter, start);
    if (end == std::string::npos)
        end = line.size();
    m_strValue = line.substr(start, end - start);
    return m_strValue;
}

void CConfigDescription::Warn(const std::string& fileName, int lineNumber, const std::string& what)
{
    DeviceListLog(
        platform::Format("#WARNING# %s, line %d: %s", fileName.c_str(), lineNumber, what.c_str()), kWarningColour);
}

bool CConfigDescription::LoadDeviceFile(CDeviceClass& device)
{
    ResetRecords();
    const std::string path = DeviceFilePath(device.m_strDeviceFile);
    QFile file(QString::fromStdString(path));
    if (path.empty() || !file.exists()) {
        const std::string shown = path.empty() ? GetAppDataFolder() + "/devices/" + device.m_strDeviceFile : path;
        MessageBox(platform::Format("File open error: %s device file", shown.c_str()), platform::kAppTitle, MB_OK);
        return false;
    }
    // One that is there but cannot be opened (no permission, a folder in its place) reads as empty.
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    LoadDeviceText(
        device, std::string_view(text.constData(), static_cast<std::size_t>(text.size())), device.m_strDeviceFile);
    return true;
}

bool CConfigDescription::LoadBuiltInDeviceFile(CDeviceClass& device)
{
    ResetRecords();
    const std::string& name = device.m_strDeviceFile;
    const std::string path = ResolveFileCaseInsensitive(":/devices/descriptions", name);
    QFile file(QString::fromStdString(path));
    if (path.empty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    LoadDeviceText(device, std::string_view(text.constData(), static_cast<std::size_t>(text.size())), name);
    return true;
}

void CConfigDescription::TakeFileValues(const CDeviceClass& from, CDeviceClass& to)
{
    to.m_nCodeSize = from.m_nCodeSize;
    to.m_nDataSize = from.m_nDataSize;
    to.m_strId = from.m_strId;
    if (from.m_pPicConfig && to.m_pPicConfig)
        *to.m_pPicConfig = *from.m_pPicConfig;
}

void CConfigDescription::LoadDeviceText(CDeviceClass& device, std::string_view bytes, const std::string& fileName)
{
    m_nWordsRead = 0;
    m_nCurrentField = -1;
    m_bDataSizeSeen = false;
    m_bWordLimitWarned = m_bFieldLimitWarned = m_bSettingLimitWarned = false;
    m_nNulLines = 0;
    m_nFirstNulLine = 0;
    const std::string text = platform::DecodeTextFile(bytes);

    std::size_t position = 0;
    std::string line;
    bool tooLong = false;
    int lineNumber = 1;
    while (ReadTextLine(text, position, line, kLineLength, tooLong)) {
        // The physical line: a CR LF pair ends one line, though it reads as two.
        const int number = lineNumber;
        const char ended = position > 0 && position <= text.size() ? text[position - 1] : '\0';
        const bool crBeforeLf = ended == '\r' && position < text.size() && text[position] == '\n';
        if ((ended == '\n' || ended == '\r') && !crBeforeLf)
            ++lineNumber;
        if (tooLong) {
            Warn(fileName, number, "line longer than 1023 characters skipped");
            continue;
        }
        const std::size_t first = line.find_first_not_of(" \t\f\v");
        if (first == std::string::npos)
            continue;
        line.erase(0, first);
        if (line.size() < 8 || line[0] == ';' || line[0] == '/' || line[0] == '#')
            continue;
        // The text is not what was written there: neither its keys nor its values are trusted.
        if (line.find('\0') != std::string::npos) {
            if (m_nNulLines++ == 0)
                m_nFirstNulLine = number;
            continue;
        }
        ProcessLine(device, line, fileName, number);
    }
    if (m_nNulLines == 1)
        Warn(fileName, m_nFirstNulLine, "line holding a NUL byte skipped");
    else if (m_nNulLines > 1)
        Warn(fileName, m_nFirstNulLine,
            platform::Format("%d lines holding NUL bytes skipped, this the first", m_nNulLines));
    // The last word read carries its unused bits as set.
    if (m_nWordsRead > 0 && m_nWordsRead <= kMaxWords) {
        CFG_WORD_DESC& last = m_Words[static_cast<std::size_t>(m_nWordsRead - 1)];
        last.m_nValue |= last.m_nUnused;
    }
}

void CConfigDescription::ProcessLine(
    CDeviceClass& device, const std::string& line, const std::string& fileName, int lineNumber)
{
    CPicConfigInfo* info = device.m_pPicConfig.get();
    const int core = info ? info->m_nCoreBits : 0;
    std::string masked;
    MaskQuoted(line, masked);

    // Until the file has given its data EEPROM, the device has none.
    if (!m_bDataSizeSeen)
        device.m_nDataSize = 0;

    if (Has(masked, kPgmMem)) {
        const std::int32_t end = ParseDeviceId(ExtractValue(kPgmMem, line, ')'));
        device.m_nCodeSize = core >= 16 ? end + 1 : 2 * end + 2;
    }
    if (Has(masked, kLatches) && info) {
        info->m_nProgramLatch = static_cast<std::uint8_t>(Decimal(ExtractValue(kLatches, line, ' ')));
        info->m_nDataLatch = static_cast<std::uint8_t>(Decimal(ExtractValue("eedata=", line, ' ')));
        info->m_nConfigLatch = static_cast<std::uint8_t>(Decimal(ExtractValue("cfg=", line, ' ')));
    }
    if (Has(masked, kCfgMem) && info) {
        const std::int64_t start = ParseHexString(ExtractValue(kCfgMem, line, '-'));
        // The end is the text between the first "-" and the next ")".
        std::int64_t end = 0;
        const std::size_t dash = masked.find('-');
        if (dash != std::string::npos) {
            std::size_t close = masked.find(')', dash + 1);
            if (close == std::string::npos)
                close = line.size();
            end = ParseHexString(std::string_view(line).substr(dash + 1, close - dash - 1));
        }
        std::int64_t length = core >= 16 ? end - start + 1 : 2 * (end - start) + 2;
        if (end < start || length > 32) {
            Warn(fileName, lineNumber,
                end < start ? "configuration memory ends below its start; length set to 0"
                            : "configuration memory longer than 32 bytes; length set to 32");
            length = end < start ? 0 : 32;
        }
        info->m_nConfigBytes = static_cast<std::int32_t>(std::clamp<std::int64_t>(length, 0, 32));
    }
    if (Has(masked, kEeData)) {
        device.m_nDataSize = ParseDeviceId(ExtractValue(kEeData, line, ')')) + 1;
        m_bDataSizeSeen = true;
    }
    if (Has(masked, kDevId) && info) {
        info->m_nIdMask = static_cast<std::uint16_t>(ParseDeviceId(ExtractValue("idmask=0x", line, ' ')));
        const std::int32_t id = ParseDeviceId(ExtractValue("id=0x", line, ')'));
        info->m_nDeviceId = static_cast<std::uint16_t>(id);
        device.m_strId = platform::Format("%04X", static_cast<unsigned>(id));
    }
    if (Has(masked, kCfgBits)) {
        if (m_nWordsRead >= kMaxWords) {
            if (!m_bWordLimitWarned)
                Warn(fileName, lineNumber, "more than 32 configuration words; the rest are ignored");
            m_bWordLimitWarned = true;
            m_nWordsRead = kMaxWords + 1; // the fields and settings that follow have no word
        } else {
            const int w = m_nWordsRead++;
            CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(w)];
            if (m_bAllTouched)
                word.Reset();
            else
                ResetWord(w);
            m_nWordsTouched = std::max(m_nWordsTouched, m_nWordsRead);
            word.m_nUnused = ParseDeviceId(ExtractValue("unused=0x", line, ')'));
            word.m_strName = ExtractValue("key=", line, ' ');
            word.m_nAddress = ParseDeviceId(ExtractValue("addr=0x", line, ' '));
        }
        m_nCurrentField = -1;
    }
    if (Has(masked, kField)) {
        if (m_nWordsRead == 0) {
            Warn(fileName, lineNumber, "field before any cfgbits ignored");
        } else if (m_nWordsRead <= kMaxWords) {
            CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(m_nWordsRead - 1)];
            const int next = m_nCurrentField + 1;
            if (next >= kMaxFields) {
                if (!m_bFieldLimitWarned)
                    Warn(fileName, lineNumber, "more than 16 fields in a word; the rest are ignored");
                m_bFieldLimitWarned = true;
                m_nCurrentField = kMaxFields; // the settings that follow have no field
            } else {
                m_nCurrentField = next;
                const int w = m_nWordsRead - 1;
                CFG_FIELD_DESC& field = word.m_Fields[next];
                if (m_bAllTouched)
                    field.Reset();
                else
                    ResetField(w, next);
                m_nFieldsTouched[w] = static_cast<std::uint8_t>(std::max<int>(m_nFieldsTouched[w], next + 1));
                field.m_strKey = ExtractValue("key=", line, ' ');
                field.m_nMask = ParseDeviceId(ExtractValue("mask=0x", line, ' '));
                field.m_strDesc = ExtractValue(kDesc, line, '"');
                const std::string init = ExtractValue("init=0x", line, ')');
                const std::size_t zero = masked.find("init=0)");
                if (!init.empty())
                    field.m_nInit = ParseDeviceId(init);
                else if (zero != std::string::npos && zero > 0)
                    field.m_nInit = 0;
                word.m_nMask |= field.m_nMask;
                word.m_nValue |= field.m_nInit & field.m_nMask;
            }
        }
    }
    if (Has(masked, kSetting)) {
        if (m_nWordsRead == 0 || m_nCurrentField < 0) {
            Warn(fileName, lineNumber, "setting before any field ignored");
        } else if (m_nWordsRead <= kMaxWords && m_nCurrentField < kMaxFields) {
            CFG_FIELD_DESC& field = m_Words[static_cast<std::size_t>(m_nWordsRead - 1)].m_Fields[m_nCurrentField];
            const int next = SettingCount(field);
            if (next >= kMaxSettings) {
                if (!m_bSettingLimitWarned)
                    Warn(fileName, lineNumber, "more than 128 settings in a field; the rest are ignored");
                m_bSettingLimitWarned = true;
            } else {
                const int w = m_nWordsRead - 1;
                m_nSettingsTouched[w][m_nCurrentField]
                    = static_cast<std::uint8_t>(std::max<int>(m_nSettingsTouched[w][m_nCurrentField], next + 1));
                CFG_SETTING_DESC& setting = field.m_Settings[next];
                setting.m_strDesc = ExtractValue(kDesc, line, '"');
                setting.m_nReq = ParseDeviceId(ExtractValue("req=0x", line, ' '));
                setting.m_nValue = ParseDeviceId(ExtractValue("value=0x", line, ' '));
            }
        }
    }
}

void CConfigDescription::LoadFromDevice(const CDeviceClass& device)
{
    const CPicConfigInfo* info = device.m_pPicConfig.get();
    if (device.m_strDeviceFile.empty() || !info)
        return;
    const int length = info->m_nConfigBytes;
    if (length > 32) {
        MessageBox("CFG too long!", "Error!", MB_OK);
        return;
    }
    const int words = WordCount();
    if (info->m_nCoreBits < 16) {
        for (int k = 0; k < words && 2 * k + 1 < length; ++k)
            m_Words[static_cast<std::size_t>(k)].m_nValue
                = info->m_ConfigValue[2 * k + 1] * 256 + info->m_ConfigValue[2 * k];
        return;
    }
    for (int i = 0; i < length; ++i) {
        for (int w = 0; w < words; ++w) {
            CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(w)];
            if (word.m_nAddress == info->m_nConfigAddress + i)
                word.m_nValue = info->m_ConfigValue[i];
        }
    }
}

bool CConfigDescription::StoreWords(CPicConfigInfo& info) const
{
    const int length = std::clamp(info.m_nConfigBytes, 0, 32);
    for (int i = 0; i < length; ++i) {
        info.m_ConfigValue[i] = 0;
        info.m_ConfigPresent[i] = 0;
    }
    bool stored = false;
    const int words = WordCount();
    for (int w = 0; w < words; ++w) {
        const CFG_WORD_DESC& word = Word(w);
        if (info.m_nCoreBits >= 16) {
            const int i = word.m_nAddress & 0xFF;
            if (i < length) {
                info.m_ConfigValue[i] = static_cast<std::uint8_t>(word.m_nValue);
                info.m_ConfigPresent[i] = 1;
                stored = true;
            }
        } else if (2 * w + 1 < length) {
            info.m_ConfigValue[2 * w] = static_cast<std::uint8_t>(word.m_nValue);
            info.m_ConfigValue[2 * w + 1] = static_cast<std::uint8_t>(word.m_nValue >> 8);
            info.m_ConfigPresent[2 * w] = 1;
            info.m_ConfigPresent[2 * w + 1] = 1;
            stored = true;
        }
    }
    return stored;
}

int CConfigDescription::SelectedSetting(int w, int f)
{
    if (w < 0 || w >= WordCount())
        return -1;
    CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(w)];
    if (f < 0 || f >= FieldCount(word))
        return -1;
    CFG_FIELD_DESC& field = word.m_Fields[f];
    const std::int32_t current = word.m_nValue & field.m_nMask;
    int chosen = -1;
    for (int s = 0, settings = SettingCount(field); s < settings; ++s) {
        CFG_SETTING_DESC& setting = field.m_Settings[s];
        const std::int32_t free = field.m_nMask & ~setting.m_nReq;
        if (free != 0 && (current & free) == free)
            setting.m_nValue |= free;
        if (chosen < 0 && (current == setting.m_nValue || current == (setting.m_nValue & ~free)))
            chosen = s;
    }
    return chosen;
}

bool CConfigDescription::FieldAtRow(int row, int& word, int& field) const
{
    int r = 1;
    for (int w = 0, words = WordCount(); w < words; ++w) {
        const int fields = FieldCount(Word(w));
        if (row >= r && row < r + fields) {
            word = w;
            field = row - r;
            return true;
        }
        r += fields;
    }
    return false;
}

bool CConfigDescription::ApplySetting(int w, int f, int s, CPicConfigInfo* info)
{
    if (w < 0 || w >= WordCount())
        return false;
    CFG_WORD_DESC& word = m_Words[static_cast<std::size_t>(w)];
    if (f < 0 || f >= FieldCount(word))
        return false;
    const CFG_FIELD_DESC& field = word.m_Fields[f];
    if (s < 0 || s >= SettingCount(field))
        return false;
    word.m_nValue = (word.m_nValue & ~field.m_nMask) | field.m_Settings[s].m_nValue;
    if (!info)
        return true;
    const int length = std::clamp(info->m_nConfigBytes, 0, 32);
    auto put = [&](int index, std::int32_t value) {
        if (index < length)
            info->m_ConfigValue[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
    };
    for (int i = 0; i < length; ++i) {
        if (word.m_nAddress != info->m_nConfigAddress + i)
            continue;
        if (info->m_nCoreBits < 16) {
            put(2 * i, word.m_nValue);
            put(2 * i + 1, word.m_nValue >> 8);
        } else {
            put(i, word.m_nValue);
        }
    }
    return true;
}
