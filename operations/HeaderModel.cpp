#include "operations/HeaderModel.h"

#include "platform/TextFormat.h"
#include "shell/HexParse.h"
#include "shell/RegistryKey.h"

#include <cctype>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kOptionNames[]
    = { "IDCheck", "Read", "Erase", "BlankCheck", "Write", "Verify", "Lock", "DoubleWrite", "TempUnprotect" };
constexpr int kOptionTexts[] = { 42, 18, 21, 20, 19, 23, 24, 41, 160 };
static_assert(std::size(kOptionNames) == static_cast<std::size_t>(HeaderOption::Count));
static_assert(std::size(kOptionTexts) == static_cast<std::size_t>(HeaderOption::Count));

bool DefaultOption(HeaderOption option)
{
    return option == HeaderOption::Write || option == HeaderOption::Verify;
}

} // namespace

std::optional<std::uint32_t> ParseHeaderOffset(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    std::string_view digits = text;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    // Leading zeros do not count towards the eight digits.
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    return static_cast<std::uint32_t>(ParseHex(digits));
}

bool HeaderSnapshot::IsAutoStepEnabled(int type) const
{
    HeaderOption option;
    return HeaderModel::StepOption(type, option) && Option(option);
}

HeaderModel::HeaderModel()
{
    Load();
}

bool HeaderModel::StepOption(int type, HeaderOption& option)
{
    switch (type) {
    case kStepIdCheck:
        option = HeaderOption::IdCheck;
        return true;
    case kStepRead:
        option = HeaderOption::Read;
        return true;
    case kStepErase:
        option = HeaderOption::Erase;
        return true;
    case kStepBlankCheck:
        option = HeaderOption::BlankCheck;
        return true;
    case kStepWrite:
        option = HeaderOption::Write;
        return true;
    case kStepVerify:
        option = HeaderOption::Verify;
        return true;
    case kStepLock:
        option = HeaderOption::Lock;
        return true;
    default:
        return false;
    }
}

const char* HeaderModel::OptionName(HeaderOption option)
{
    const int i = static_cast<int>(option);
    return i >= 0 && i < static_cast<int>(HeaderOption::Count) ? kOptionNames[i] : "";
}

int HeaderModel::OptionTextNumber(HeaderOption option)
{
    const int i = static_cast<int>(option);
    return i >= 0 && i < static_cast<int>(HeaderOption::Count) ? kOptionTexts[i] : 0;
}

bool HeaderModel::IsAutoStepEnabled(int type) const
{
    HeaderOption option;
    return StepOption(type, option) && Option(option);
}

void HeaderModel::SetOption(HeaderOption option, bool on)
{
    const int i = static_cast<int>(option);
    if (i < 0 || i >= static_cast<int>(HeaderOption::Count))
        return;
    m_options[i] = on;
    Store(kOptionNames[i], on ? 1 : 0);
}

bool HeaderModel::SetFileOffsetText(const std::string& text)
{
    const auto value = ParseHeaderOffset(text);
    if (!value)
        return false;
    m_fileOffset = static_cast<std::int32_t>(*value);
    return true;
}

bool HeaderModel::SetDeviceOffsetText(const std::string& text)
{
    const auto value = ParseHeaderOffset(text);
    if (!value || *value > kMaxDeviceOffset)
        return false;
    m_deviceOffset = *value;
    return true;
}

std::string HeaderModel::FileOffsetText() const
{
    return platform::Format("%X", static_cast<unsigned>(m_fileOffset));
}

std::string HeaderModel::DeviceOffsetText() const
{
    return platform::Format("%X", static_cast<unsigned>(m_deviceOffset));
}

bool HeaderModel::SetSpeedLevel(int level)
{
    if (level < kMinSpeedLevel || level > kMaxSpeedLevel)
        return false;
    if (m_speedLevel.exchange(level) != level)
        Store("SpeedLevel", static_cast<std::uint32_t>(level));
    return true;
}

const char* HeaderModel::SpeedLevelText(int level)
{
    static constexpr const char* kTexts[] = { "-2", "-1", "0", "+1", "+2" };
    return level >= kMinSpeedLevel && level <= kMaxSpeedLevel ? kTexts[level - kMinSpeedLevel] : "";
}

bool HeaderModel::SetDelayFactor(int factor)
{
    if (factor < kMinDelayFactor || factor > kMaxDelayFactor)
        return false;
    if (m_delayFactor.exchange(factor) != factor)
        Store("DelayFactor", static_cast<std::uint32_t>(factor));
    return true;
}

HeaderSnapshot HeaderModel::Snapshot() const
{
    HeaderSnapshot s;
    for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i)
        s.options[i] = m_options[i];
    s.fileOffset = m_fileOffset;
    s.deviceOffset = m_deviceOffset;
    s.speedLevel = m_speedLevel.load();
    s.delayFactor = m_delayFactor.load();
    return s;
}

void HeaderModel::Load()
{
    for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i)
        m_options[i] = DefaultOption(static_cast<HeaderOption>(i));
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kKey))
        return;
    DWORD value = 0;
    for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i)
        if (key.ReadDword(kOptionNames[i], value))
            m_options[i] = value != 0;
    if (key.ReadDword("SpeedLevel", value) && value >= kMinSpeedLevel && value <= kMaxSpeedLevel)
        m_speedLevel = static_cast<int>(value);
    if (key.ReadDword("DelayFactor", value) && value >= kMinDelayFactor && value <= kMaxDelayFactor)
        m_delayFactor = static_cast<int>(value);
}

void HeaderModel::Store(const char* name, std::uint32_t value)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kKey) && !key.Create(HKEY_CURRENT_USER, kKey))
        return;
    key.WriteDword(name, value);
}
