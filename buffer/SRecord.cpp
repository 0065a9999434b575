#include "buffer/SRecord.h"

#include "buffer/IntelHex.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <algorithm>

namespace buffer {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

inline void PutByte(char*& p, std::uint8_t v)
{
    *p++ = kDigits[v >> 4];
    *p++ = kDigits[v & 15];
}

int AddressBytes(int type)
{
    switch (type) {
    case 0:
    case 1:
    case 5:
    case 9:
        return 2;
    case 2:
    case 6:
    case 8:
        return 3;
    case 3:
    case 7:
        return 4;
    default:
        return -1;
    }
}

void AppendSRecord(
    std::string& out, int type, std::uint32_t address, int addressBytes, const std::uint8_t* data, std::size_t count)
{
    const int length = static_cast<int>(count) + addressBytes + 1;
    const std::size_t start = out.size();
    out.resize(start + 4 + 2 * static_cast<std::size_t>(length) + 2);
    char* p = out.data() + start;
    *p++ = 'S';
    *p++ = static_cast<char>('0' + type);
    PutByte(p, static_cast<std::uint8_t>(length));
    std::uint8_t sum = static_cast<std::uint8_t>(length);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const std::uint8_t b = static_cast<std::uint8_t>(address >> (8 * i));
        sum = static_cast<std::uint8_t>(sum + b);
        PutByte(p, b);
    }
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
        PutByte(p, data[i]);
    }
    PutByte(p, static_cast<std::uint8_t>(~sum));
    *p++ = '\r';
    *p++ = '\n';
}

} // namespace

bool WriteSRecord(std::string& out, int type, std::uint32_t address, const std::uint8_t* data, std::size_t count)
{
    const int addressBytes = AddressBytes(type);
    if (addressBytes < 0 || count + static_cast<std::size_t>(addressBytes) + 1 > 255 || (count > 0 && !data))
        return false;
    AppendSRecord(out, type, address, addressBytes, data, count);
    return true;
}

void WriteSRecords(std::string& out, const std::uint8_t* data, std::size_t length)
{
    const bool shortForm = length <= 0xFFFF;
    const int type = shortForm ? 1 : 3;
    const int addressBytes = shortForm ? 2 : 4;
    out.reserve(out.size() + (length + 15) / 16 * (shortForm ? 44 : 48) + 64);
    for (std::size_t p = 0; p < length; p += 16)
        AppendSRecord(
            out, type, static_cast<std::uint32_t>(p), addressBytes, data + p, std::min<std::size_t>(16, length - p));
    out += "S9030000FC\r\n";
}

CSRecordReader::CSRecordReader(std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit)
    : m_buffer(buffer)
    , m_fill(fill)
    , m_limit(limit)
{
}

int CSRecordReader::Skip()
{
    if (m_skipped++ == 0)
        m_firstSkipped = m_lineNo;
    return 1;
}

std::string CSRecordReader::SkippedReport() const
{
    if (m_skipped == 0)
        return {};
    return platform::Format(
        "%d bad line%s skipped, the first at line %d.", m_skipped, m_skipped == 1 ? "" : "s", m_firstSkipped);
}

int CSRecordReader::ParseLine(std::string_view rawLine)
{
    ++m_lineNo;
    const std::string_view line = TrimLineEnd(rawLine);
    if (line.empty())
        return 1;
    if (line.size() < 4 || (line[0] != 'S' && line[0] != 's') || line[1] < '0' || line[1] > '9')
        return Skip();
    const int type = line[1] - '0';
    std::uint8_t bytes[256];
    if ((line.size() - 2) % 2 != 0 || !DecodeHexBytes(line.data() + 2, 1, bytes))
        return Skip();
    const int length = bytes[0]; // address, data and checksum
    const int addressBytes = AddressBytes(type);
    if (line.size() != 4 + 2 * static_cast<std::size_t>(length) || addressBytes < 0 || length < addressBytes + 1
        || !DecodeHexBytes(line.data() + 2, 1 + static_cast<std::size_t>(length), bytes))
        return Skip();
    std::uint8_t sum = 0;
    for (int i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    if (static_cast<std::uint8_t>(~sum) != bytes[length])
        return Skip();
    std::uint64_t address = 0;
    for (int i = 0; i < addressBytes; ++i)
        address = address << 8 | bytes[1 + i];
    const int count = length - addressBytes - 1;
    switch (type) {
    case 1:
    case 2:
    case 3: {
        const std::uint64_t end = address + static_cast<std::uint64_t>(count);
        if (end > m_limit) {
            m_stopBox = BoxMessage { "Hex address beyond buffer limit", MB_OK };
            return 0;
        }
        if (m_buffer.size() < end)
            m_buffer.resize(static_cast<std::size_t>(end), m_fill);
        std::copy(bytes + 1 + addressBytes, bytes + 1 + addressBytes + count,
            m_buffer.begin() + static_cast<std::ptrdiff_t>(address));
        if (count > 0)
            m_hasData = true;
        m_highestEnd = std::max(m_highestEnd, end);
        return 1;
    }
    case 7:
    case 8:
    case 9:
        return 0;
    default: // S0 header, S5/S6 counts
        return 1;
    }
}

int CSRecordReader::ParseText(std::string_view text, const ProgressFn& progress)
{
    int result = 1;
    const char* base = text.data();
    ForEachLine(text, [&](std::string_view line) {
        result = ParseLine(line);
        if (progress && m_lineNo % 5002 == 0)
            progress(static_cast<std::uint64_t>(line.data() - base), text.size());
        return result != 0;
    });
    return result;
}

bool LooksLikeSRecords(std::string_view text)
{
    bool answer = false;
    ForEachLine(text, [&](std::string_view line) {
        line = TrimLineEnd(line);
        if (line.empty())
            return true;
        answer = line.size() >= 2 && (line[0] == 'S' || line[0] == 's') && line[1] >= '0' && line[1] <= '9';
        return false;
    });
    return answer;
}

} // namespace buffer
