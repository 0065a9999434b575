#include "catalogue/DeviceListParser.h"

#include "link/ProgrammerModel.h"
#include "platform/TextFormat.h"
#include "shell/HexParse.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace devicelist {

namespace {

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsCaseKeptKey(std::string_view key)
{
    static constexpr std::array<std::string_view, 7> kKept {
        "Message=", "Adapter=", "Buffer1Title=", "Buffer2Title=", "Buffer3Title=", "Buffer4Title=", "Buffer5Title="
    };
    for (std::string_view k : kKept) {
        if (k == key)
            return true;
    }
    return false;
}

// Keys longer than this never occur; a candidate that runs on without "=" is not a key.
constexpr std::size_t kLongestKey = 40;

// Every "key=" token of a line that stands outside quoted values and not right after a word
// character, in line order; a key's first token is its occurrence.
class KeyIndex {
public:
    explicit KeyIndex(std::string_view line)
        : m_line(line)
        , m_upper(AsciiUpper(line))
    {
        bool inQuotes = false;
        for (std::size_t i = 0; i < m_line.size(); ++i) {
            const char c = m_line[i];
            if (c == '"') {
                inQuotes = !inQuotes;
                continue;
            }
            if (inQuotes || (i > 0 && IsWordChar(m_line[i - 1])))
                continue;
            const std::size_t limit = std::min(m_line.size(), i + kLongestKey);
            for (std::size_t j = i; j < limit; ++j) {
                if (m_line[j] == '"')
                    break;
                if (m_line[j] == '=') {
                    m_tokens.push_back({ i, j + 1 - i });
                    break;
                }
            }
        }
    }

    bool Find(std::string_view key, std::string& value) const
    {
        const bool kept = IsCaseKeptKey(key);
        const std::string_view text = kept ? m_line : std::string_view(m_upper);
        for (const Token& t : m_tokens) {
            if (t.length != key.size())
                continue;
            bool same = true;
            for (std::size_t k = 0; k < key.size() && same; ++k) {
                char want = key[k];
                if (!kept && want >= 'a' && want <= 'z')
                    want = static_cast<char>(want - 'a' + 'A');
                same = text[t.position + k] == want;
            }
            if (!same)
                continue;
            std::size_t start = t.position + key.size() + 1; // skip the opening quote
            if (start > text.size())
                start = text.size();
            const std::size_t end = text.find('"', start);
            value.assign(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
            return true;
        }
        return false;
    }

private:
    struct Token {
        std::size_t position;
        std::size_t length;
    };
    std::string_view m_line;
    std::string m_upper;
    std::vector<Token> m_tokens;
};

struct Code {
    const char* text;
    std::uint8_t code;
};

std::optional<std::uint8_t> Lookup(std::string_view value, std::initializer_list<Code> codes)
{
    for (const Code& c : codes) {
        if (value == c.text)
            return c.code;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> VccCode(std::string_view v, int model)
{
    const bool zvd = model == kModelZvD;
    return Lookup(v,
        { { "3.3V", static_cast<std::uint8_t>(zvd ? 3 : 4) }, { "3.6V", 4 },
            { "4.5V", static_cast<std::uint8_t>(zvd ? 9 : 12) }, { "5V", 12 }, { "5.5V", 15 }, { "6.2V", 19 },
            { "6.5V", 19 } });
}

std::optional<std::uint8_t> WriteVccCode(std::string_view v)
{
    return Lookup(v,
        { { "3.3V", 4 }, { "3.6V", 4 }, { "4.5V", 12 }, { "5V", 12 }, { "5.5V", 15 }, { "6.2V", 19 }, { "6.5V", 19 } });
}

std::optional<std::uint8_t> VppCode(std::string_view v)
{
    return Lookup(v,
        { { "3.6V", 4 }, { "5V", 4 }, { "9V", 5 }, { "12V", 6 }, { "12.7V", 7 }, { "15V", 8 }, { "21V", 10 },
            { "25V", 11 } });
}

std::optional<std::uint8_t> EraseVppCode(std::string_view v)
{
    return Lookup(
        v, { { "3.6V", 4 }, { "5V", 4 }, { "9V", 5 }, { "12V", 6 }, { "12.7V", 7 }, { "21V", 10 }, { "25V", 11 } });
}

std::optional<std::uint8_t> ReadVppCode(std::string_view v)
{
    return Lookup(v,
        { { "0V", 0 }, { "3.6V", 4 }, { "5V", 4 }, { "9V", 5 }, { "12V", 6 }, { "12.7V", 7 }, { "21V", 10 },
            { "25V", 11 } });
}

std::optional<std::uint8_t> VccPinsCode(std::string_view v)
{
    return Lookup(v,
        { { "0", 0x00 }, { "ZIF32_PIN21", 0x01 }, { "ZIF32_PIN28", 0x02 }, { "ZIF32_PIN30", 0x04 },
            { "ZIF32_PIN32", 0x08 }, { "ZIF32_PIN8", 0x10 }, { "ZIF32_PIN20", 0x20 }, { "ZIF32_PIN3", 0x40 },
            { "ZIF32_PIN1", 0x80 } });
}

std::optional<std::uint8_t> VppPinsCode(std::string_view v)
{
    return Lookup(v,
        { { "0", 0x00 }, { "ZIF32_PIN26", 0x01 }, { "ZIF32_PIN25", 0x02 }, { "ZIF32_PIN24", 0x04 },
            { "ZIF32_PIN22", 0x08 }, { "ZIF32_PIN11", 0x10 }, { "ZIF32_PIN5", 0x20 }, { "ZIF32_PIN3", 0x40 },
            { "ZIF32_PIN1", 0x80 } });
}

std::optional<int> CategoryCode(std::string_view v)
{
    static constexpr std::array<std::string_view, 10> kNames { "ALL", "EPROM", "EEPROM", "FLASH", "MCU", "SERIAL_EPROM",
        "SRAM", "GAL/CPLD", "CMOS", "TTL" };
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (v == kNames[i])
            return static_cast<int>(i);
    }
    return std::nullopt;
}

const std::string kEnding = "\r\nParse \"Devices.txt\" error on device ";

} // namespace

std::vector<std::string> ReadLines(const QByteArray& bytes)
{
    return SplitLines(
        platform::DecodeTextFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t position = 0;
    std::string_view line;
    while (ReadLine(text, position, line))
        lines.emplace_back(line);
    return lines;
}

bool EndsWithLineEnd(std::string_view text)
{
    return text.empty() || text.back() == '\r' || text.back() == '\n';
}

bool HoldsNul(std::string_view line)
{
    return line.find('\0') != std::string_view::npos;
}

bool HasUnterminatedValue(std::string_view line)
{
    return std::count(line.begin(), line.end(), '"') % 2 != 0;
}

bool HasTextAfterLastValue(std::string_view line)
{
    const std::size_t last = line.rfind('"');
    if (last == std::string_view::npos)
        return false;
    for (char c : line.substr(last + 1))
        if (c != ' ' && c != '\t' && c != '\v' && c != '\f')
            return true;
    return false;
}

bool ReadLine(std::string_view text, std::size_t& position, std::string_view& line)
{
    if (position >= text.size())
        return false;
    std::size_t end = position;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n')
        ++end;
    line = text.substr(position, end - position);
    position = end;
    if (position < text.size()) {
        if (text[position] == '\r' && position + 1 < text.size() && text[position + 1] == '\n')
            ++position;
        ++position;
    }
    return true;
}

std::string AsciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string_view TrimLeft(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\v' || line[i] == '\f'))
        ++i;
    return line.substr(i);
}

int CountQuotedValues(std::string_view line)
{
    std::size_t quotes = 0;
    for (char c : line)
        quotes += c == '"';
    return static_cast<int>(quotes / 2);
}

bool IsDeviceLine(std::string_view line)
{
    return CountQuotedValues(line) >= 3 && line.size() >= 8 && line[0] != ';' && line[0] != '/';
}

bool GetKeyValue(std::string_view line, std::string_view key, std::string& value)
{
    if (key.empty())
        return false;
    return KeyIndex(line).Find(key, value);
}

std::uint8_t ParseHexByte(std::string_view text)
{
    std::string upper = AsciiUpper(text);
    if (upper.empty())
        upper = "FE";
    else if (upper.size() == 1)
        upper.insert(upper.begin(), '0');
    return static_cast<std::uint8_t>(ParseHex(upper) & 0xFF);
}

std::int64_t ParseDecimal(std::string_view text)
{
    constexpr std::int64_t kCeiling = std::int64_t { 1 } << 40;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kCeiling)
            value = kCeiling;
    }
    return negative ? -value : value;
}

ClassNameIndex::ClassNameIndex()
{
    for (int i = 0; i < kNoDeviceClass; ++i) {
        const std::string& name = g_DeviceClassTable[static_cast<std::size_t>(i)].m_strName;
        if (!name.empty())
            m_index.try_emplace(AsciiUpper(name), i);
    }
}

int ClassNameIndex::Find(const std::string& upperName) const
{
    auto it = m_index.find(upperName);
    return it == m_index.end() ? -1 : it->second;
}

LineOutcome ParseDeviceLine(std::string_view line, int model, const ClassNameIndex& classes)
{
    LineOutcome out;
    auto record = std::make_unique<CDeviceRecord>(model);
    CDeviceRecord& r = *record;
    const KeyIndex keys(line);
    std::string v;
    auto get = [&](std::string_view key) { return keys.Find(key, v); };
    auto fail = [&](std::string box = {}) {
        out.box = std::move(box);
        return std::move(out);
    };

    if (!get("Name="))
        return fail();
    r.m_strName = v;

    if (!get("Class="))
        return fail();
    r.m_strClass = v;
    const int index = v.empty() ? -1 : classes.Find(v);
    if (index < 0)
        return fail("The Class " + v + " is not found. " + kEnding + r.m_strName + ".");
    r.m_nClassIndex = index;
    const CDeviceClass& cls = g_DeviceClassTable[static_cast<std::size_t>(index)];
    if (!cls.m_strFirmwareId.empty()) {
        r.m_strFirmwareId = cls.m_strFirmwareId;
        r.m_nFirmwareNumber = cls.m_nFirmwareNumber;
    }
    if (!cls.m_strFirmwareIdQ8U.empty()) {
        r.m_strFirmwareIdQ8U = cls.m_strFirmwareIdQ8U;
        r.m_nFirmwareNumberQ8U = cls.m_nFirmwareNumberQ8U;
    }

    if (!get("ID="))
        return fail();
    r.m_strId = v;

    if (get("Category=")) {
        const std::optional<int> category = CategoryCode(v);
        if (!category)
            return fail("The Category " + v + " is not found. " + kEnding + r.m_strName + ".");
        r.m_nCategory = *category;
    }

    // Decimal fields: false when the value lies outside [low, high].
    auto decimal = [&](std::int64_t low, std::int64_t high, auto& field) {
        const std::int64_t n = ParseDecimal(v);
        if (n < low || n > high)
            return false;
        field = static_cast<std::remove_reference_t<decltype(field)>>(n);
        return true;
    };

    if (get("MFG="))
        r.m_strManufacturer = v;
    if (get("Speed=") && !decimal(0, 255, r.m_nSpeed))
        return fail();
    if (get("Package="))
        r.m_strPackage = v;
    if (get("FuseLabel="))
        r.m_strFuseLabels = v;
    static constexpr std::array<std::string_view, 5> kTitles {
        "Buffer1Title=", "Buffer2Title=", "Buffer3Title=", "Buffer4Title=", "Buffer5Title="
    };
    for (std::size_t i = 0; i < kTitles.size(); ++i) {
        if (get(kTitles[i]))
            r.m_strBufferTitle[i] = v;
    }
    if (get("Adapter="))
        r.m_strAdapter = v;
    if (get("Message="))
        r.m_strMessage = v;
    if (get("Platform="))
        r.m_strPlatform = v;
    if (get("ClassFile="))
        r.m_strClassFile = v;
    if (get("DeviceAddress(Hex)=") && !decimal(0, 255, r.m_nDeviceAddress))
        return fail();
    if (get("ChipMode="))
        r.m_strChipMode = v;
    if (get("DeviceFile="))
        r.m_strDeviceFile = v;
    if (get("BufferMode="))
        r.m_strBufferMode = v;
    if (get("TempUnprotect="))
        r.m_strTempUnprotect = v;
    if (get("DEVICE_INDEX=") && !decimal(0, 255, r.m_nDeviceIndex))
        return fail();
    if (get("CodeSize=") && !decimal(0, kMaxMemoryBytes, r.m_nCodeSize))
        return fail();
    if (get("EepromSize=") && !decimal(0, kMaxMemoryBytes, r.m_nDataSize))
        return fail();
    if (get("DIP="))
        r.m_strDip = v;
    if (get("CTL_BYTES="))
        r.m_strCtlBytes = v;
    if (get("GND_BYTES="))
        r.m_strGndBytes = v;

    static constexpr std::pair<std::string_view, int> kCommandKeys[] = {
        { "PAGE_WRITE_SIZE=", kPageWriteSize },
        { "DATA_PAGE_WRITE_SIZE=", kDataPageWriteSize },
        { "CFG_PAGE_WRITE_SIZE=", kCfgPageWriteSize },
        { "BEGPRG_COMMAND=", kBegPrgCommand },
        { "ENDPRG_COMMAND=", kEndPrgCommand },
        { "BEGERASECHIP_COMMAND=", kBegEraseChipCommand },
        { "BEGERASECODE_COMMAND=", kBegEraseCodeCommand },
        { "BEGERASEDATA_COMMAND=", kBegEraseDataCommand },
        { "ERASECHIP_COMMAND=", kEraseChipCommand },
        { "CMD_LDCONF=", kCmdLdConf },
        { "CMD_LDCODE=", kCmdLdCode },
        { "CMD_LDDATA=", kCmdLdData },
        { "CMD_RDCODE=", kCmdRdCode },
        { "CMD_RDDATA=", kCmdRdData },
        { "CMD_INCADD=", kCmdIncAdd },
        { "SKIP_WRITE_BLANK=", kSkipWriteBlank },
    };
    for (const auto& [key, position] : kCommandKeys) {
        if (get(key))
            r.m_Command[static_cast<std::size_t>(position)] = ParseHexByte(v);
    }
    if (get("PRG_MODE="))
        r.m_strProgramMode = v;
    if (get("OSCCALAddress(Decimal)="))
        r.m_strOscCalAddress = v;
    if (get("CFGAddress(Hex)="))
        r.m_strCfgAddress = v;
    if (get("CFGHexFileAddress(Hex)="))
        r.m_strCfgHexFileAddress = v;
    if (get("UserIDHexFileAddress(Hex)="))
        r.m_strUserIdHexFileAddress = v;
    if (get("EEPROMHexFileAddress(Hex)="))
        r.m_strEepromHexFileAddress = v;
    if (get("CFGByteLabel="))
        r.m_strCfgByteLabel = v;

    const std::string ending = " is not availble. " + kEnding;
    if (get("VCC=")) {
        const auto code = VccCode(v, model);
        if (!code)
            return fail("The VCC " + v + " not availble. " + kEnding + r.m_strName + ".");
        r.m_nVcc = *code;
    }
    for (std::string_view key : { "VPP=", "WVPP=" }) {
        if (get(key)) {
            const auto code = VppCode(v);
            if (!code)
                return fail("The VPP " + v + ending + r.m_strName + ".");
            r.m_nVpp = *code;
        }
    }
    static constexpr std::pair<std::string_view, std::uint8_t CDeviceRecord::*> kVccKeys[] = {
        { "WVCC=", &CDeviceRecord::m_nWriteVcc },
        { "EVCC=", &CDeviceRecord::m_nEraseVcc },
        { "BVCC=", &CDeviceRecord::m_nBlankVcc },
    };
    for (const auto& [key, field] : kVccKeys) {
        if (get(key)) {
            const auto code = WriteVccCode(v);
            if (!code)
                return fail("The " + std::string(key) + v + ending + r.m_strName + ".");
            r.*field = *code;
        }
    }
    if (get("RVPP=")) {
        const auto code = ReadVppCode(v);
        if (!code)
            return fail("The RVPP= " + v + ending + r.m_strName + ".");
        r.m_nReadVpp = *code;
    }
    if (get("EVPP=")) {
        const auto code = EraseVppCode(v);
        if (!code)
            return fail("The EVPP= " + v + ending + r.m_strName + ".");
        r.m_nEraseVpp = *code;
    }
    if (get("PINGROUP="))
        r.m_nPinGroup = v == "AT29C256" ? 0xC0 : 0xA0;
    if (get("PIN_GND="))
        r.m_strPinGnd = v;
    if (get("FirmwareID="))
        r.m_strFirmwareId = v;
    if (get("Q8UFirmwareID="))
        r.m_strFirmwareIdQ8U = v;
    if (get("ZIF48CFG1=") && !decimal(0, 255, r.m_nZif48Cfg1))
        return fail();
    if (get("VccAdjQ8U=")) {
        std::uint8_t adjust = 0;
        if (!decimal(0, 255, adjust))
            return fail();
        r.m_nVccAdjust = v.empty() ? 0 : static_cast<std::uint8_t>(255 - adjust);
    }
    if (get("ZIF48CFG2=") && !decimal(0, 255, r.m_nZif48Cfg2))
        return fail();
    if (get("PINVCC=")) {
        const auto code = VccPinsCode(v);
        if (!code)
            return fail("The PINVCC= " + v + ending + r.m_strName + ".");
        r.m_nVccPins = *code;
    }
    if (get("PINVPP=")) {
        const auto code = VppPinsCode(v);
        if (!code)
            return fail("The PINVPP= " + v + ending + r.m_strName + ".");
        r.m_nVppPins = *code;
    }
    out.record = std::move(record);
    return out;
}

} // namespace devicelist
