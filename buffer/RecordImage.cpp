#include "buffer/RecordImage.h"

#include <algorithm>
#include <cstring>

namespace buffer {

const char* ProblemKindText(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::NotARecord:
        return "not a record";
    case ProblemKind::Length:
        return "length";
    case ProblemKind::Digit:
        return "digit";
    case ProblemKind::Checksum:
        return "checksum";
    case ProblemKind::UnknownType:
        return "unknown record type";
    case ProblemKind::Overlap:
        return "overlap";
    case ProblemKind::PastLimit:
        return "address past the limit";
    case ProblemKind::CountMismatch:
        return "count mismatch";
    }
    return "";
}

CRecordImage::CRecordImage(std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit, std::int64_t offset)
    : m_buffer(buffer)
    , m_fill(fill)
    , m_limit(limit)
    , m_offset(offset)
{
    // Whatever the buffer holds at the start is fill, not data.
    m_written.assign((m_buffer.size() + 63) / 64, 0);
}

void CRecordImage::ReserveForText(std::uint64_t textBytes)
{
    // A record line carries at most one data byte per two characters.
    const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(textBytes / 2 + 64, m_limit));
    if (m_buffer.capacity() < bytes)
        m_buffer.reserve(bytes);
    if (m_written.capacity() < bytes / 64 + 1)
        m_written.reserve(bytes / 64 + 1);
}

void CRecordImage::AddProblem(int line, ProblemKind kind)
{
    ++m_problemCount;
    if (m_problems.size() < kKeptProblems)
        m_problems.push_back({ line, kind });
}

bool CRecordImage::AllPastLimit() const
{
    return HasData() && static_cast<std::int64_t>(m_lowest) + m_offset >= static_cast<std::int64_t>(m_limit);
}

bool CRecordImage::AnyWritten(std::size_t from, std::size_t to) const
{
    for (std::size_t word = from / 64; word <= (to - 1) / 64; ++word) {
        std::uint64_t bits = m_written[word];
        if (word == from / 64)
            bits &= ~0ull << (from % 64);
        if (word == (to - 1) / 64 && to % 64 != 0)
            bits &= ~0ull >> (64 - to % 64);
        if (bits)
            return true;
    }
    return false;
}

void CRecordImage::MarkWritten(std::size_t from, std::size_t to)
{
    for (std::size_t word = from / 64; word <= (to - 1) / 64; ++word) {
        std::uint64_t bits = ~0ull;
        if (word == from / 64)
            bits &= ~0ull << (from % 64);
        if (word == (to - 1) / 64 && to % 64 != 0)
            bits &= ~0ull >> (64 - to % 64);
        m_written[word] |= bits;
    }
}

CRecordImage::Stored CRecordImage::Store(std::uint64_t address, const std::uint8_t* data, std::size_t count)
{
    if (count == 0)
        return Stored::Ok;
    ++m_dataRecords;
    m_lowest = std::min(m_lowest, address);
    // Addresses are below 2^32 + 2^16 and counts below 256: no overflow in 64 bits.
    std::int64_t at = static_cast<std::int64_t>(address) + m_offset;
    const std::int64_t end = at + static_cast<std::int64_t>(count);
    if (end <= 0)
        return Stored::Ok; // the offset drops these bytes
    if (at < 0) {
        data += -at;
        count -= static_cast<std::size_t>(-at);
        at = 0;
    }
    if (static_cast<std::uint64_t>(end) > m_limit)
        return Stored::PastLimit;
    const std::size_t from = static_cast<std::size_t>(at);
    const std::size_t to = static_cast<std::size_t>(end);
    const std::size_t old = m_buffer.size();
    if (from < old && AnyWritten(from, std::min(to, old))) {
        for (std::size_t i = from; i < std::min(to, old); ++i)
            if ((m_written[i / 64] >> (i % 64) & 1) && m_buffer[i] != data[i - from])
                return Stored::Overlap;
    }
    if (old < to) {
        m_buffer.resize(to, m_fill);
        if (m_written.size() < (to + 63) / 64)
            m_written.resize((to + 63) / 64, 0);
    }
    std::memcpy(m_buffer.data() + from, data, count);
    MarkWritten(from, to);
    m_highestEnd = std::max<std::uint64_t>(m_highestEnd, to);
    return Stored::Ok;
}

} // namespace buffer
