#pragma once
// What the Intel HEX and S-record readers share: the image they fill, the bytes already written
// (so that a repeated record passes and a conflicting one is refused), the file offset, the limit,
// and the records they refused, each with its line and kind.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace buffer {

enum class ProblemKind {
    NotARecord, // a line that does not start with the record mark
    Length, // the line's length disagrees with its count (a cut line, a wrong count byte)
    Digit, // a character that is not a hex digit
    Checksum,
    UnknownType,
    Overlap, // bytes that an earlier record gave other values
    PastLimit, // beyond what the buffer may grow to
    CountMismatch, // an S5/S6 record whose count disagrees with the data records before it
};

// "checksum", "length", ... as the messages name them.
const char* ProblemKindText(ProblemKind kind);

struct ReadProblem {
    int line = 0;
    ProblemKind kind = ProblemKind::NotARecord;
    bool operator==(const ReadProblem&) const = default;
};

// The first problems of a read are kept, the rest only counted.
constexpr std::size_t kKeptProblems = 100;

class CRecordImage {
public:
    // Records land at their address plus `offset`; bytes that the offset moves below 0 are
    // dropped. Gaps take `fill`; nothing is stored at or beyond `limit`.
    CRecordImage(std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit, std::int64_t offset);

    enum class Stored { Ok, Overlap, PastLimit };
    // Stores one data record of the file's address; an overlap or a record past the limit
    // stores nothing.
    Stored Store(std::uint64_t address, const std::uint8_t* data, std::size_t count);

    // Room for an image read from a text of this many bytes, taken once (untouched memory
    // costs nothing until written).
    void ReserveForText(std::uint64_t textBytes);

    void AddProblem(int line, ProblemKind kind);
    int ProblemCount() const { return m_problemCount; }
    const std::vector<ReadProblem>& Problems() const { return m_problems; }

    // A data record of at least one byte was seen (stored or not).
    bool HasData() const { return m_dataRecords > 0; }
    std::uint64_t HighestDataEnd() const { return m_highestEnd; }
    // The lowest file address of any data record; true when every data record lies past the
    // limit once the offset is applied.
    std::uint64_t LowestAddress() const { return m_lowest; }
    bool AllPastLimit() const;
    std::size_t Limit() const { return m_limit; }

private:
    bool AnyWritten(std::size_t from, std::size_t to) const;
    void MarkWritten(std::size_t from, std::size_t to);

    std::vector<std::uint8_t>& m_buffer;
    std::vector<std::uint64_t> m_written; // one bit per byte of m_buffer
    std::uint8_t m_fill;
    std::size_t m_limit;
    std::int64_t m_offset;
    std::uint64_t m_highestEnd = 0;
    std::uint64_t m_lowest = ~0ull;
    std::uint64_t m_dataRecords = 0;
    int m_problemCount = 0;
    std::vector<ReadProblem> m_problems;
};

// How a reader consumes a text given in blocks: Parse takes the block (the unparsed tail of the
// previous one in front) and returns how many bytes it used; only complete lines are used unless
// `last`. A line longer than the block is taken as it stands when `force`.
struct TextBlock {
    std::string_view text;
    std::uint64_t position = 0; // of text[0] in the file
    bool last = false;
    bool force = false;
};

} // namespace buffer
