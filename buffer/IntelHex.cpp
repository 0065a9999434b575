#include "buffer/IntelHex.h"

#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <array>

namespace buffer {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The two digits of every byte value, for writing a byte with one copy.
struct PairTable {
    char pairs[256][2] {};
    constexpr PairTable()
    {
        for (int v = 0; v < 256; ++v) {
            pairs[v][0] = kDigits[v >> 4];
            pairs[v][1] = kDigits[v & 15];
        }
    }
};
constexpr PairTable kPairs;

inline void PutByte(char*& p, std::uint8_t v)
{
    p[0] = kPairs.pairs[v][0];
    p[1] = kPairs.pairs[v][1];
    p += 2;
}

// Appends one record without checks; the caller keeps count within 0..255.
inline void AppendRecord(
    std::string& out, int count, std::uint16_t address, std::uint8_t type, const std::uint8_t* data)
{
    const std::size_t start = out.size();
    out.resize(start + 13 + 2 * static_cast<std::size_t>(count));
    char* p = out.data() + start;
    *p++ = ':';
    std::uint8_t sum = static_cast<std::uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
    PutByte(p, static_cast<std::uint8_t>(count));
    PutByte(p, static_cast<std::uint8_t>(address >> 8));
    PutByte(p, static_cast<std::uint8_t>(address));
    PutByte(p, type);
    for (int i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
        PutByte(p, data[i]);
    }
    PutByte(p, static_cast<std::uint8_t>(-sum));
    *p++ = '\r';
    *p++ = '\n';
}

struct DigitTable {
    std::array<std::int8_t, 256> value {};
    constexpr DigitTable()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = -1;
        for (int c = 0; c < 10; ++c)
            value['0' + c] = static_cast<std::int8_t>(c);
        for (int c = 0; c < 6; ++c) {
            value['A' + c] = static_cast<std::int8_t>(10 + c);
            value['a' + c] = static_cast<std::int8_t>(10 + c);
        }
    }
};
constexpr DigitTable kTable;

} // namespace

std::uint8_t IntelHexChecksum(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return static_cast<std::uint8_t>(-sum);
}

void FormatHexByte(std::string& text, std::uint8_t value)
{
    text += kDigits[value >> 4];
    text += kDigits[value & 15];
}

bool WriteIntelHexRecord(
    std::string& out, int count, std::uint16_t address, std::uint8_t type, const std::uint8_t* data)
{
    if (count < 0 || count > 255 || (count > 0 && !data))
        return false;
    AppendRecord(out, count, address, type, data);
    return true;
}

void WriteIntelHexEnd(std::string& out)
{
    out += ":00000001FF\r\n";
}

void WriteIntelHex(std::string& out, const std::uint8_t* data, std::size_t length)
{
    out.reserve(out.size() + (length + 15) / 16 * 45 + (length >> 16) * 17 + 64);
    std::size_t p = 0;
    std::uint16_t r = 0;
    while (p < length) {
        if ((p & 0xFFFF) == 0 && p >= 0x10000) {
            const std::uint16_t segment = static_cast<std::uint16_t>(p >> 4);
            const std::uint8_t bytes[2]
                = { static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment) };
            AppendRecord(out, 2, 0, 2, bytes);
        }
        const int count = static_cast<int>(std::min<std::size_t>(16, length - p));
        AppendRecord(out, count, r, 0, data + p);
        r = static_cast<std::uint16_t>(r + count);
        p += static_cast<std::size_t>(count);
    }
    WriteIntelHexEnd(out);
}

int WriteIntelHexLinear(
    std::string& out, const std::uint8_t* data, std::size_t length, std::uint32_t start, int recordLength)
{
    std::uint64_t lastUpper = kNoUpper;
    if (!WriteIntelHexSection(out, data, length, start, recordLength, lastUpper))
        return 0;
    WriteIntelHexEnd(out);
    return 1;
}

int WriteIntelHexSection(std::string& out, const std::uint8_t* data, std::size_t length, std::uint32_t start,
    int recordLength, std::uint64_t& lastUpper)
{
    if (!data || recordLength < 1 || recordLength > 255)
        return 0;
    const std::size_t records
        = (length + static_cast<std::size_t>(recordLength) - 1) / static_cast<std::size_t>(recordLength);
    out.reserve(out.size() + records * (13 + 2 * static_cast<std::size_t>(recordLength)) + 2 * length
        + ((length >> 16) + 2) * 17 + 64);
    std::size_t p = 0;
    while (p < length) {
        const std::uint64_t address = static_cast<std::uint64_t>(start) + p;
        const std::uint64_t upper = address >> 16;
        if (upper != lastUpper) {
            const std::uint8_t bytes[2] = { static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper) };
            AppendRecord(out, 2, 0, 4, bytes);
            lastUpper = upper;
        }
        std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(recordLength), length - p);
        const std::size_t low = address & 0xFFFF;
        if (low + count > 0x10000)
            count = 0x10000 - low;
        AppendRecord(out, static_cast<int>(count), static_cast<std::uint16_t>(low), 0, data + p);
        p += count;
    }
    return 1;
}

bool DecodeHexBytes(const char* text, std::size_t n, std::uint8_t* out)
{
    int bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int hi = kTable.value[static_cast<unsigned char>(text[2 * i])];
        const int lo = kTable.value[static_cast<unsigned char>(text[2 * i + 1])];
        bad |= hi | lo;
        out[i] = static_cast<std::uint8_t>((hi << 4) | (lo & 15));
    }
    return bad >= 0;
}

std::string_view TrimLineEnd(std::string_view line)
{
    std::size_t n = line.size();
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n' || line[n - 1] == ' ' || line[n - 1] == '\t'))
        --n;
    return line.substr(0, n);
}

CIntelHexReader::CIntelHexReader(
    std::vector<std::uint8_t>& buffer, HexParser parser, std::uint8_t fill, std::size_t limit)
    : m_buffer(buffer)
    , m_parser(parser)
    , m_fill(parser == HexParser::Main ? fill : 0xFF)
    , m_limit(limit)
{
}

int CIntelHexReader::Skip()
{
    if (m_skipped++ == 0)
        m_firstSkipped = m_lineNo;
    return 1;
}

int CIntelHexReader::Stop(const char* text)
{
    m_stopBox = BoxMessage { text, MB_OK };
    return 0;
}

std::string CIntelHexReader::SkippedReport() const
{
    if (m_skipped == 0)
        return {};
    return platform::Format(
        "%d bad line%s skipped, the first at line %d.", m_skipped, m_skipped == 1 ? "" : "s", m_firstSkipped);
}

bool CIntelHexReader::Store(std::uint64_t address, const std::uint8_t* data, int count)
{
    const std::uint64_t end = address + static_cast<std::uint64_t>(count);
    if (end > m_limit)
        return false;
    if (m_buffer.size() < end)
        m_buffer.resize(static_cast<std::size_t>(end), m_fill);
    std::copy(data, data + count, m_buffer.begin() + static_cast<std::ptrdiff_t>(address));
    if (count > 0)
        m_hasData = true;
    m_highestEnd = std::max(m_highestEnd, end);
    return true;
}

int CIntelHexReader::ParseLine(std::string_view rawLine)
{
    ++m_lineNo;
    const std::string_view line = TrimLineEnd(rawLine);
    if (line.empty())
        return 1; // blank lines never end a read
    if (line[0] != ':') {
        if (m_parser == HexParser::Data)
            return Stop("Error reading Hexfile");
        return Skip();
    }
    // The line is read only when its length and digits agree with its byte count.
    std::uint8_t bytes[5 + 255];
    if (line.size() < 11 || (line.size() - 11) % 2 != 0 || !DecodeHexBytes(line.data() + 1, 1, bytes)) {
        if (m_parser == HexParser::Main)
            return Skip();
        return Stop("Error reading Hexfile");
    }
    const int count = bytes[0];
    if (line.size() != 11 + 2 * static_cast<std::size_t>(count)
        || !DecodeHexBytes(line.data() + 1, 5 + static_cast<std::size_t>(count), bytes)) {
        if (m_parser == HexParser::Main)
            return Skip();
        return Stop("Error reading Hexfile");
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < 5 + count; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    if (sum != 0) {
        if (m_parser == HexParser::Main)
            return Skip();
        return Stop("Checksum Error reading Hexfile");
    }
    const std::uint32_t address16 = static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[2];
    const int type = bytes[3];
    const std::uint8_t* data = bytes + 4;
    const std::uint32_t value16 = count >= 2 ? (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) : 0;
    switch (type) {
    case 0:
        if (!Store(static_cast<std::uint64_t>(m_addressBase) + address16, data, count))
            return Stop("Hex address beyond buffer limit");
        return 1;
    case 1:
    case 3:
        return 1;
    case 2:
        if (m_parser == HexParser::Main)
            m_addressBase = (value16 << 4) | m_linearBase;
        else
            m_addressBase = value16 << 4;
        return 1;
    case 4:
        m_addressBase = value16 << 16;
        if (m_parser != HexParser::Data)
            m_linearBase = m_addressBase;
        return 1;
    default:
        if (m_parser == HexParser::Data)
            return 1;
        return Stop("Invailid line in hex file.");
    }
}

int CIntelHexReader::ParseText(std::string_view text, std::string_view* lastLine, const ProgressFn& progress)
{
    int result = 1;
    const char* base = text.data();
    ForEachLine(text, [&](std::string_view line) {
        result = ParseLine(line);
        if (lastLine)
            *lastLine = line;
        if (progress && m_lineNo % 5002 == 0)
            progress(static_cast<std::uint64_t>(line.data() - base), text.size());
        return result != 0;
    });
    return result;
}

} // namespace buffer
