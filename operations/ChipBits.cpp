#include "operations/ChipBits.h"

#include "catalogue/DeviceClassTable.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <algorithm>
#include <sstream>

namespace {

// Texts of the Set CFG bits checks.
constexpr const char* kSpienLine = "SPIEN unprogrammed: serial programming is switched off.";
constexpr const char* kRstdisblLine = "RSTDISBL programmed: the reset pin becomes an I/O pin.";
constexpr const char* kDwenLine = "DWEN programmed: debugWIRE takes the reset pin.";
constexpr const char* kCkselTail = ": CKSEL=0000 needs an external clock.";
constexpr const char* kProtectTail = " programmed: the memory reads back protected until an erase.";
constexpr const char* kFuseQuestion = "The chip may no longer answer serial programming. Write the fuses anyway?";
constexpr const char* kConfigQuestion = "Write the configuration word anyway?";
constexpr int kTextClockSource = 158;

constexpr const char* kFuseNames[3] = { "Fuse Low", "Fuse High", "Fuse Extended" };

bool IsProtectionBit(const std::string& name)
{
    return name == "CP" || name == "CP0" || name == "CP1" || name == "CPD";
}

void AddOnce(std::vector<std::string>& list, const std::string& line)
{
    if (std::find(list.begin(), list.end(), line) == list.end())
        list.push_back(line);
}

} // namespace

ChipBits ChipBits::Configuration(const CPicConfigInfo& pic)
{
    ChipBits bits;
    bits.m_kind = Kind::Configuration;
    const int width = std::clamp<int>(pic.m_nCoreBits, 1, 16);
    const int words = std::clamp(pic.m_nConfigBytes, 0, 32) / 2;
    for (int w = 0; w < words; ++w) {
        ChipBitValue value;
        value.name = words == 1 ? std::string("CONFIG") : "CONFIG" + std::to_string(w + 1);
        value.width = width;
        const auto lo = static_cast<std::size_t>(2 * w);
        value.read
            = static_cast<std::uint32_t>(pic.m_ConfigValue[lo] | pic.m_ConfigValue[lo + 1] << 8) & ((1u << width) - 1);
        value.shown = value.read;
        for (int k = width - 1; k >= 0; --k) {
            const std::string& name
                = pic.m_strBitName[lo + static_cast<std::size_t>(k / 8)][static_cast<std::size_t>(k % 8)];
            value.bitNames.push_back(name.empty() ? "-" : name);
            value.editable.push_back(!name.empty() && name != "-");
        }
        bits.m_values.push_back(std::move(value));
    }
    return bits;
}

ChipBits ChipBits::AvrFuses(const CDeviceClass& device, const std::array<std::uint8_t, 3>& fuses)
{
    ChipBits bits;
    bits.m_kind = Kind::AvrFuse;
    bits.m_fusesRead = fuses;
    std::vector<std::string> tokens;
    std::istringstream in(device.m_strFuseLabels);
    for (std::string token; tokens.size() < 24 && in >> token;)
        tokens.push_back(token);
    tokens.resize(24, "-");
    const bool isp = device.m_strChipMode == "ISP";
    // Tokens 1-8 the high byte, 9-16 the low, 17-24 the extended; shown low, high, extended.
    constexpr int kFirstToken[3] = { 8, 0, 16 };
    for (int f = 0; f < 3; ++f) {
        ChipBitValue value;
        value.name = kFuseNames[f];
        value.width = 8;
        value.read = value.shown = fuses[static_cast<std::size_t>(f)];
        bool named = false;
        for (int c = 0; c < 8; ++c) {
            const std::string& name = tokens[static_cast<std::size_t>(kFirstToken[f] + c)];
            const bool isBit = name != "-";
            named = named || isBit;
            value.bitNames.push_back(name);
            value.editable.push_back(isBit && !(isp && name == "SPIEN"));
        }
        if (!named)
            continue;
        bits.m_values.push_back(std::move(value));
        bits.m_fuseIndex.push_back(f);
    }
    return bits;
}

ChipBits ChipBits::EepromAddress(int classIndex, std::uint8_t deviceAddress)
{
    ChipBits bits;
    bits.m_kind = Kind::EepromAddress;
    const std::uint8_t control = TwoWireDeviceAddress(deviceAddress);
    const std::uint8_t pins = EepromAddressPins(classIndex);
    ChipBitValue value;
    value.name = "Address";
    value.width = 3;
    value.read = value.shown = static_cast<std::uint32_t>(control >> 1) & 7;
    constexpr const char* kPins[3] = { "A2", "A1", "A0" };
    for (int c = 0; c < 3; ++c) {
        const bool decoded = (pins & (1u << (2 - c))) != 0;
        value.bitNames.push_back(decoded ? kPins[c] : "-");
        value.editable.push_back(decoded);
    }
    bits.m_values.push_back(std::move(value));
    return bits;
}

bool ChipBits::Supported() const
{
    for (const ChipBitValue& value : m_values)
        if (std::find(value.editable.begin(), value.editable.end(), true) != value.editable.end())
            return true;
    return false;
}

bool ChipBits::Changed() const
{
    return std::any_of(m_values.begin(), m_values.end(), [](const ChipBitValue& v) { return v.shown != v.read; });
}

bool ChipBits::SetBit(int value, int column, bool on)
{
    if (value < 0 || value >= static_cast<int>(m_values.size()))
        return false;
    ChipBitValue& v = m_values[static_cast<std::size_t>(value)];
    if (column < 0 || column >= v.width || !v.editable[static_cast<std::size_t>(column)])
        return false;
    if (on)
        v.shown |= v.BitOf(column);
    else
        v.shown &= ~v.BitOf(column);
    return true;
}

bool ChipBits::SetBitText(int value, int column, const std::string& text)
{
    if (text != "1" && text != "0")
        return false;
    return SetBit(value, column, text == "1");
}

std::vector<std::uint8_t> ChipBits::ConfigBytes() const
{
    std::vector<std::uint8_t> bytes;
    for (const ChipBitValue& v : m_values) {
        bytes.push_back(static_cast<std::uint8_t>(v.shown));
        bytes.push_back(static_cast<std::uint8_t>(v.shown >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> ChipBits::ConfigEditableMask() const
{
    std::vector<std::uint8_t> bytes;
    for (const ChipBitValue& v : m_values) {
        std::uint32_t mask = 0;
        for (int c = 0; c < v.width && c < static_cast<int>(v.editable.size()); ++c)
            if (v.editable[static_cast<std::size_t>(c)])
                mask |= v.BitOf(c);
        bytes.push_back(static_cast<std::uint8_t>(mask));
        bytes.push_back(static_cast<std::uint8_t>(mask >> 8));
    }
    return bytes;
}

std::array<std::uint8_t, 3> ChipBits::FuseBytes() const
{
    std::array<std::uint8_t, 3> fuses = m_fusesRead;
    for (std::size_t i = 0; i < m_values.size() && i < m_fuseIndex.size(); ++i)
        fuses[static_cast<std::size_t>(m_fuseIndex[i])] = static_cast<std::uint8_t>(m_values[i].shown);
    return fuses;
}

std::uint8_t ChipBits::ControlByte() const
{
    const std::uint32_t pins = m_values.empty() ? 0 : m_values.front().shown & 7;
    return static_cast<std::uint8_t>(0xA0 | pins << 1);
}

std::string ChipBits::ValueText(int value) const
{
    if (value < 0 || value >= static_cast<int>(m_values.size()))
        return {};
    if (m_kind == Kind::EepromAddress)
        return platform::Format("0x%02x", ControlByte());
    const ChipBitValue& v = m_values[static_cast<std::size_t>(value)];
    return v.width <= 8 ? platform::Format("0x%02x", v.shown) : platform::Format("0x%04x", v.shown);
}

std::string ChipBits::ValuesLine() const
{
    std::string line;
    for (int i = 0; i < static_cast<int>(m_values.size()); ++i) {
        if (!line.empty())
            line += ", ";
        line += m_values[static_cast<std::size_t>(i)].name + "=" + ValueText(i);
    }
    return line;
}

std::vector<std::string> ChipBits::Risks() const
{
    std::vector<std::string> risks;
    for (const ChipBitValue& v : m_values) {
        int ckselRead = 0;
        int ckselShown = 0;
        int ckselBits = 0;
        for (int c = 0; c < v.width; ++c) {
            const std::string& name = v.bitNames[static_cast<std::size_t>(c)];
            const bool was = (v.read & v.BitOf(c)) != 0;
            const bool now = v.BitSet(c);
            if (m_kind == Kind::AvrFuse) {
                if (name == "SPIEN" && !was && now)
                    AddOnce(risks, kSpienLine);
                else if (name == "RSTDISBL" && was && !now)
                    AddOnce(risks, kRstdisblLine);
                else if (name == "DWEN" && was && !now)
                    AddOnce(risks, kDwenLine);
                if (name.size() == 6 && name.starts_with("CKSEL") && name[5] >= '0' && name[5] <= '3') {
                    ++ckselBits;
                    ckselRead |= was;
                    ckselShown |= now;
                }
            } else if (m_kind == Kind::Configuration && IsProtectionBit(name) && was && !now) {
                AddOnce(risks, name + kProtectTail);
            }
        }
        if (ckselBits == 4 && ckselRead && !ckselShown)
            AddOnce(risks, g_Language.GetText(kTextClockSource) + kCkselTail);
    }
    return risks;
}

std::vector<std::string> ChipBits::UnprogrammableBits() const
{
    std::vector<std::string> names;
    if (m_kind != Kind::Configuration)
        return names;
    for (const ChipBitValue& v : m_values)
        for (int c = 0; c < v.width; ++c)
            if ((v.read & v.BitOf(c)) == 0 && v.BitSet(c))
                AddOnce(names, v.bitNames[static_cast<std::size_t>(c)]);
    return names;
}

std::string RiskQuestion(ChipBits::Kind kind)
{
    return kind == ChipBits::Kind::AvrFuse ? kFuseQuestion : kConfigQuestion;
}
