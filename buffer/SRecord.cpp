#include "buffer/SRecord.h"

#include "buffer/IntelHex.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <cstring>

namespace buffer {

namespace {

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

char* PutSRecord(
    char* p, int type, std::uint32_t address, int addressBytes, const std::uint8_t* data, std::size_t count)
{
    const int length = static_cast<int>(count) + addressBytes + 1;
    *p++ = 'S';
    *p++ = static_cast<char>('0' + type);
    PutHexByte(p, static_cast<std::uint8_t>(length));
    unsigned sum = static_cast<unsigned>(length);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const std::uint8_t b = static_cast<std::uint8_t>(address >> (8 * i));
        sum += b;
        PutHexByte(p, b);
    }
    for (std::size_t i = 0; i < count; ++i) {
        sum += data[i];
        PutHexByte(p, data[i]);
    }
    PutHexByte(p, static_cast<std::uint8_t>(~sum));
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}

void AppendSRecord(
    std::string& out, int type, std::uint32_t address, int addressBytes, const std::uint8_t* data, std::size_t count)
{
    const std::size_t start = out.size();
    out.resize(start + 4 + 2 * (count + static_cast<std::size_t>(addressBytes) + 1) + 2);
    PutSRecord(out.data() + start, type, address, addressBytes, data, count);
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

std::size_t SRecordsBound(std::size_t length)
{
    return (length + 15) / 16 * 48;
}

char* PutSRecords(char* out, const std::uint8_t* data, std::size_t length, std::uint32_t start, bool shortForm)
{
    const int type = shortForm ? 1 : 3;
    const int addressBytes = shortForm ? 2 : 4;
    for (std::size_t p = 0; p < length; p += 16)
        out = PutSRecord(out, type, static_cast<std::uint32_t>(start + p), addressBytes, data + p,
            std::min<std::size_t>(16, length - p));
    return out;
}

void WriteSRecords(std::string& out, const std::uint8_t* data, std::size_t length)
{
    const std::size_t at = out.size();
    out.resize(at + SRecordsBound(length));
    char* end = PutSRecords(out.data() + at, data, length, 0, length <= 0xFFFF);
    out.resize(static_cast<std::size_t>(end - out.data()));
    WriteSRecordsEnd(out);
}

void WriteSRecordsEnd(std::string& out)
{
    out += "S9030000FC\r\n";
}

CSRecordReader::CSRecordReader(
    std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit, std::int64_t offset)
    : m_image(buffer, fill, limit, offset)
{
}

void CSRecordReader::SetProgress(ProgressFn progress, std::uint64_t total)
{
    m_progress = std::move(progress);
    m_total = total;
}

void CSRecordReader::Progress(std::uint64_t position)
{
    if (--m_untilProgress > 0)
        return;
    m_untilProgress = 5002;
    if (m_progress)
        m_progress(position, m_total);
}

// The bytes of a record whose digits, length and checksum are right: length, address, data,
// checksum.
int CSRecordReader::Record(int type, const std::uint8_t* bytes)
{
    const int addressBytes = AddressBytes(type);
    std::uint64_t address = 0;
    for (int i = 0; i < addressBytes; ++i)
        address = address << 8 | bytes[1 + i];
    const int count = bytes[0] - addressBytes - 1;
    switch (type) {
    case 1:
    case 2:
    case 3:
        switch (m_image.Store(address, bytes + 1 + addressBytes, static_cast<std::size_t>(count))) {
        case CRecordImage::Stored::Ok:
            break;
        case CRecordImage::Stored::Overlap:
            m_image.AddProblem(m_lineNo, ProblemKind::Overlap);
            break;
        case CRecordImage::Stored::PastLimit:
            m_image.AddProblem(m_lineNo, ProblemKind::PastLimit);
            break;
        }
        return 1;
    case 5:
    case 6:
        // The count of S1, S2 and S3 records so far, in as many bits as the record holds.
        if (address != (m_dataLines & (type == 5 ? 0xFFFFu : 0xFFFFFFu)))
            m_image.AddProblem(m_lineNo, ProblemKind::CountMismatch);
        return 1;
    case 7:
    case 8:
    case 9:
        m_endLine = m_lineNo;
        return 0;
    default: // S0 header
        return 1;
    }
}

int CSRecordReader::ParseLine(std::string_view rawLine)
{
    ++m_lineNo;
    const std::string_view line = TrimLineEnd(rawLine);
    if (line.empty())
        return 1;
    if (m_endLine > 0) {
        if (m_afterEndLine == 0)
            m_afterEndLine = m_lineNo;
        return 0;
    }
    // A damaged data record still counts for S5/S6, so that one fault is reported once.
    const std::size_t lead = line.find_first_not_of(" \t");
    if (lead + 1 < line.size() && (line[lead] == 'S' || line[lead] == 's') && line[lead + 1] >= '1'
        && line[lead + 1] <= '3')
        ++m_dataLines;
    if ((line[0] != 'S' && line[0] != 's') || line.size() < 2 || line[1] < '0' || line[1] > '9') {
        m_image.AddProblem(m_lineNo, ProblemKind::NotARecord);
        return 1;
    }
    const int type = line[1] - '0';
    if (line.size() < 4) {
        m_image.AddProblem(m_lineNo, ProblemKind::Length);
        return 1;
    }
    const int length = HexPairValue(line.data() + 2); // address, data and checksum
    if (length < 0) {
        m_image.AddProblem(m_lineNo, ProblemKind::Digit);
        return 1;
    }
    const int addressBytes = AddressBytes(type);
    if (line.size() != 4 + 2 * static_cast<std::size_t>(length) || (addressBytes >= 0 && length < addressBytes + 1)) {
        m_image.AddProblem(m_lineNo, ProblemKind::Length);
        return 1;
    }
    std::uint8_t bytes[256];
    if (!DecodeHexBytes(line.data() + 2, 1 + static_cast<std::size_t>(length), bytes)) {
        m_image.AddProblem(m_lineNo, ProblemKind::Digit);
        return 1;
    }
    if (addressBytes < 0) {
        m_image.AddProblem(m_lineNo, ProblemKind::UnknownType);
        return 1;
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    if (static_cast<std::uint8_t>(~sum) != bytes[length]) {
        m_image.AddProblem(m_lineNo, ProblemKind::Checksum);
        return 1;
    }
    return Record(type, bytes);
}

std::size_t CSRecordReader::Parse(const TextBlock& block)
{
    const char* const begin = block.text.data();
    const char* const end = begin + block.text.size();
    const char* p = begin;
    std::uint8_t bytes[256];
    while (p < end && !Done()) {
        // The usual line: a whole data record, then its line end. Anything else takes the long
        // road.
        if (m_endLine == 0 && end - p >= 4 && (*p == 'S' || *p == 's') && p[1] >= '1' && p[1] <= '3') {
            const int type = p[1] - '0';
            const int length = HexPairValue(p + 2);
            const std::size_t chars = 4 + 2 * static_cast<std::size_t>(length);
            unsigned sum = 0;
            if (length > AddressBytes(type) && static_cast<std::size_t>(end - p) >= chars
                && DecodeHexSum(p + 2, static_cast<std::size_t>(length), bytes, sum)
                && DecodeHexBytes(p + 2 + 2 * static_cast<std::size_t>(length), 1, bytes + length)) {
                const char* next = nullptr;
                const int ends = RecordEndsAt(p + chars, end, block, next);
                if (ends < 0 && !block.force)
                    break;
                if (ends > 0) {
                    ++m_lineNo;
                    ++m_dataLines;
                    if (static_cast<std::uint8_t>(~sum) != bytes[length])
                        m_image.AddProblem(m_lineNo, ProblemKind::Checksum);
                    else
                        Record(type, bytes);
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

int CSRecordReader::ParseText(std::string_view text, const ProgressFn& progress)
{
    SetProgress(progress, text.size());
    Parse(TextBlock { text, 0, true, true });
    return Ended() ? 0 : 1;
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
