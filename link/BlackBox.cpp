#include "link/BlackBox.h"

#include "platform/TextFormat.h"

#include <algorithm>
#include <limits>

namespace {

// The field that starts at `pos` and ends before the next comma; false when no comma follows
// within the memory. `pos` moves past the comma.
bool ReadField(const std::array<std::uint8_t, CBlackBox::kSize>& bytes, size_t& pos, std::string& field)
{
    field.clear();
    while (pos < bytes.size()) {
        const std::uint8_t c = bytes[pos++];
        if (c == ',')
            return true;
        field += static_cast<char>(c);
    }
    return false;
}

} // namespace

void CBlackBox::Clear()
{
    m_Entries.clear();
    m_strName.clear();
    m_nTotalCount = 0;
}

bool CBlackBox::Parse(const std::array<std::uint8_t, kSize>& bytes, std::string* why)
{
    Clear();
    m_Raw = bytes;
    if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }))
        return true;

    auto reject = [&](size_t at, const char* reason) {
        Clear();
        if (why)
            *why = platform::Format("Usage history rejected at byte %zu: %s.", at, reason);
        return false;
    };
    if (bytes[0] != 0)
        return reject(0, "the first byte is not zero");

    const unsigned count = bytes[1];
    std::vector<CHistoryEntry> entries;
    std::uint64_t total = 0;
    size_t pos = 2;
    for (unsigned i = 0; i < count; ++i) {
        CHistoryEntry entry;
        const size_t nameAt = pos;
        if (!ReadField(bytes, pos, entry.m_strName))
            return reject(nameAt, "an entry runs past the end");
        if (entry.m_strName.empty())
            return reject(nameAt, "a device name is empty");
        if (std::any_of(entry.m_strName.begin(), entry.m_strName.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u < 0x20 || u >= 0x7F;
            }))
            return reject(nameAt, "a device name holds a character that is not printable ASCII");
        const size_t countAt = pos;
        if (!ReadField(bytes, pos, entry.m_strCount))
            return reject(countAt, "an entry runs past the end");
        const std::string& digits = entry.m_strCount;
        if (digits.empty() || digits.size() > 10 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return reject(countAt, "a count is not 1 to 10 decimal digits");
        const std::uint64_t value = std::stoull(digits);
        if (value > std::numeric_limits<std::uint32_t>::max())
            return reject(countAt, "a count is above 4294967295");
        total += value;
        entries.push_back(std::move(entry));
    }
    m_Entries = std::move(entries);
    m_nTotalCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
    return true;
}
