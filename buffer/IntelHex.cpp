#include "buffer/IntelHex.h"

#include "buffer/BufferTexts.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace buffer {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Writes one record without checks; the caller keeps count within 0..255 and the room.
inline char* PutRecord(char* p, int count, std::uint16_t address, std::uint8_t type, const std::uint8_t* data)
{
    *p++ = ':';
    unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + type);
    PutHexByte(p, static_cast<std::uint8_t>(count));
    PutHexByte(p, static_cast<std::uint8_t>(address >> 8));
    PutHexByte(p, static_cast<std::uint8_t>(address));
    PutHexByte(p, type);
    for (int i = 0; i < count; ++i) {
        sum += data[i];
        PutHexByte(p, data[i]);
    }
    PutHexByte(p, static_cast<std::uint8_t>(0u - sum));
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}

// Appends one record without checks; the caller keeps count within 0..255.
inline void AppendRecord(
    std::string& out, int count, std::uint16_t address, std::uint8_t type, const std::uint8_t* data)
{
    const std::size_t start = out.size();
    out.resize(start + 13 + 2 * static_cast<std::size_t>(count));
    PutRecord(out.data() + start, count, address, type, data);
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
    if (recordLength == 16) {
        const std::size_t at = out.size();
        out.resize(at + IntelHexLinearBound(length));
        char* end = PutIntelHexLinear(out.data() + at, data, length, start, lastUpper);
        out.resize(static_cast<std::size_t>(end - out.data()));
        return 1;
    }
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

std::size_t IntelHexLinearBound(std::size_t length)
{
    const std::size_t uppers = (length >> 16) + 2;
    return (length / 16 + uppers) * 45 + uppers * 17;
}

char* PutIntelHexLinear(
    char* out, const std::uint8_t* data, std::size_t length, std::uint32_t start, std::uint64_t& lastUpper)
{
    std::size_t p = 0;
    while (p < length) {
        const std::uint64_t address = static_cast<std::uint64_t>(start) + p;
        const std::uint64_t upper = address >> 16;
        if (upper != lastUpper) {
            const std::uint8_t bytes[2] = { static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper) };
            out = PutRecord(out, 2, 0, 4, bytes);
            lastUpper = upper;
        }
        // Whole records up to the next 64 KB boundary, then what is left before it.
        const std::size_t low = address & 0xFFFF;
        const std::size_t run = std::min<std::size_t>(0x10000 - low, length - p);
        std::size_t q = 0;
        for (; q + 16 <= run; q += 16)
            out = PutRecord(out, 16, static_cast<std::uint16_t>(low + q), 0, data + p + q);
        if (q < run)
            out = PutRecord(out, static_cast<int>(run - q), static_cast<std::uint16_t>(low + q), 0, data + p + q);
        p += run;
    }
    return out;
}

namespace {
struct PairValueTable {
    std::int16_t value[1 << 16] {};
    constexpr PairValueTable()
    {
        for (int i = 0; i < (1 << 16); ++i) {
            const int hi = kTable.value[static_cast<std::size_t>(i & 0xFF)];
            const int lo = kTable.value[static_cast<std::size_t>(i >> 8)];
            value[i] = static_cast<std::int16_t>((hi | lo) < 0 ? -1 : (hi << 4 | lo));
        }
    }
};
constexpr PairValueTable kPairValues;
} // namespace

const std::int16_t* const kHexPairValues = kPairValues.value;

bool DecodeHexBytes(const char* text, std::size_t n, std::uint8_t* out)
{
    unsigned sum = 0;
    return DecodeHexSum(text, n, out, sum);
}

std::string_view TrimLineEnd(std::string_view line)
{
    std::size_t n = line.size();
    while (n > 0
        && (line[n - 1] == '\r' || line[n - 1] == '\n' || line[n - 1] == ' ' || line[n - 1] == '\t'
            || line[n - 1] == '\x1A'))
        --n;
    return line.substr(0, n);
}

bool FindLineEnd(const char* p, const char* end, const TextBlock& block, const char*& lineEnd, const char*& next)
{
    const char* e = p;
    while (e < end && *e != '\n' && *e != '\r')
        ++e;
    const bool complete = block.last || block.force;
    if (e == end && !complete)
        return false;
    lineEnd = e;
    if (e < end && *e == '\r') {
        if (e + 1 == end && !complete)
            return false; // its LF may open the next block
        ++e;
    }
    if (e < end && *e == '\n')
        ++e;
    next = e;
    return true;
}

int RecordEndsAt(const char* q, const char* end, const TextBlock& block, const char*& next)
{
    while (q < end && (*q == ' ' || *q == '\t'))
        ++q;
    if (q == end) {
        if (!block.last)
            return -1;
        next = q;
        return 1;
    }
    if (*q == '\n') {
        next = q + 1;
        return 1;
    }
    if (*q != '\r')
        return 0;
    if (q + 1 == end) {
        if (!block.last)
            return -1;
        next = q + 1;
        return 1;
    }
    next = q[1] == '\n' ? q + 2 : q + 1;
    return 1;
}

CIntelHexReader::CIntelHexReader(
    std::vector<std::uint8_t>& buffer, HexParser parser, std::uint8_t fill, std::size_t limit, std::int64_t offset)
    : m_image(buffer, parser == HexParser::Main ? fill : 0xFF, limit, offset)
    , m_parser(parser)
{
}

void CIntelHexReader::SetProgress(ProgressFn progress, std::uint64_t total)
{
    m_progress = std::move(progress);
    m_total = total;
}

void CIntelHexReader::Progress(std::uint64_t position)
{
    if (--m_untilProgress > 0)
        return;
    m_untilProgress = 5002;
    if (m_progress)
        m_progress(position, m_total);
}

int CIntelHexReader::Problem(ProblemKind kind, std::string_view line)
{
    m_image.AddProblem(m_lineNo, kind);
    if (m_parser == HexParser::Main)
        return 1;
    const char* text = kind == ProblemKind::Checksum ? kTextHexChecksum
        : kind == ProblemKind::UnknownType           ? kTextHexInvalid
        : kind == ProblemKind::PastLimit             ? kTextHexLimit
                                                     : kTextHexError;
    m_stopBox = BoxMessage { text, MB_OK };
    m_stopLine = std::string(line);
    m_stopped = true;
    return 0;
}

// The bytes of a record whose digits, length and checksum are right: count, address (2), type,
// data.
int CIntelHexReader::Record(const std::uint8_t* bytes, std::string_view line)
{
    const int count = bytes[0];
    const std::uint32_t address16 = static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[2];
    const std::uint8_t* data = bytes + 4;
    switch (bytes[3]) {
    case 0:
        switch (m_image.Store(
            static_cast<std::uint64_t>(m_addressBase) + address16, data, static_cast<std::size_t>(count))) {
        case CRecordImage::Stored::Ok:
            return 1;
        case CRecordImage::Stored::Overlap:
            return Problem(ProblemKind::Overlap, line);
        case CRecordImage::Stored::PastLimit:
            return Problem(ProblemKind::PastLimit, line);
        }
        return 1;
    case 1: // end of file; a file made of several keeps going
    case 3: // start segment address
    case 5: // start linear address
        return 1;
    case 2:
    case 4: {
        if (count != 2)
            return Problem(ProblemKind::Length, line);
        // The latest base record alone sets the base.
        const std::uint32_t value = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
        m_addressBase = bytes[3] == 2 ? value << 4 : value << 16;
        return 1;
    }
    default:
        return Problem(ProblemKind::UnknownType, line);
    }
}

int CIntelHexReader::ParseLine(std::string_view rawLine)
{
    ++m_lineNo;
    const std::string_view line = TrimLineEnd(rawLine);
    if (line.empty())
        return 1; // blank lines never end a read
    if (line[0] != ':')
        return Problem(ProblemKind::NotARecord, line);
    if (line.size() < 11)
        return Problem(ProblemKind::Length, line);
    const int count = HexPairValue(line.data() + 1);
    if (count < 0)
        return Problem(ProblemKind::Digit, line);
    if (line.size() != 11 + 2 * static_cast<std::size_t>(count))
        return Problem(ProblemKind::Length, line);
    std::uint8_t bytes[5 + 255];
    if (!DecodeHexBytes(line.data() + 1, 5 + static_cast<std::size_t>(count), bytes))
        return Problem(ProblemKind::Digit, line);
    std::uint8_t sum = 0;
    for (int i = 0; i < 5 + count; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    if (sum != 0)
        return Problem(ProblemKind::Checksum, line);
    return Record(bytes, line);
}

std::size_t CIntelHexReader::Parse(const TextBlock& block)
{
    const char* const begin = block.text.data();
    const char* const end = begin + block.text.size();
    const char* p = begin;
    std::uint8_t bytes[5 + 255];
    while (p < end && !m_stopped) {
        // The usual line: a whole record, then its line end. Anything else takes the long road.
        if (*p == ':' && end - p >= 3) {
            const int count = HexPairValue(p + 1);
            const std::size_t length = 11 + 2 * static_cast<std::size_t>(count);
            unsigned sum = 0;
            if (count >= 0 && static_cast<std::size_t>(end - p) >= length
                && DecodeHexSum(p + 1, 5 + static_cast<std::size_t>(count), bytes, sum)) {
                const char* next = nullptr;
                const int ends = RecordEndsAt(p + length, end, block, next);
                if (ends < 0 && !block.force)
                    break;
                if (ends > 0) {
                    ++m_lineNo;
                    const std::string_view line(p, length);
                    if ((sum & 0xFF) != 0)
                        Problem(ProblemKind::Checksum, line);
                    else
                        Record(bytes, line);
                    p = next;
                    Progress(block.position + static_cast<std::uint64_t>(p - begin));
                    continue;
                }
            }
        }
        const char* lineEnd = nullptr;
        const char* next = nullptr;
        if (!FindLineEnd(p, end, block, lineEnd, next))
            break;
        ParseLine(std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
        p = next;
        Progress(block.position + static_cast<std::uint64_t>(p - begin));
    }
    return static_cast<std::size_t>(p - begin);
}

int CIntelHexReader::ParseText(std::string_view text, const ProgressFn& progress)
{
    SetProgress(progress, text.size());
    Parse(TextBlock { text, 0, true, true });
    return m_stopped ? 0 : 1;
}

} // namespace buffer
