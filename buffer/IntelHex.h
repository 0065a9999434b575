#pragma once
// Intel HEX: the record writers and the line parsers of the main (code) buffer, the main buffer of
// a combined PIC image, and the data (EEPROM) buffer. Text is built in memory and parsed from
// memory; the callers do the file I/O.

#include "buffer/BufferTypes.h"
#include "buffer/RecordImage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace buffer {

// Two's complement of the low 8 bits of the sum of the bytes.
std::uint8_t IntelHexChecksum(const std::uint8_t* bytes, std::size_t count);

// Appends "%02X" of the byte.
void FormatHexByte(std::string& text, std::uint8_t value);

// Appends one record ":" count address type data checksum "\r\n". False (and nothing appended)
// when count is not 0..255 or data is missing for a non-empty record.
bool WriteIntelHexRecord(
    std::string& out, int count, std::uint16_t address, std::uint8_t type, const std::uint8_t* data);

// Segment form: 16-byte records, an extended segment record (type 02) at every 64 KB from 0x10000
// on, the end record. Addresses wrap past 1 MB, so callers use the linear form for larger images.
void WriteIntelHex(std::string& out, const std::uint8_t* data, std::size_t length);

// Extended linear form: a type-04 record whenever the upper 16 bits of the address change,
// records of `recordLength` bytes that never cross a 64 KB boundary, the end record. Returns 0
// (nothing written) when data is missing or recordLength is not 1..255, else 1.
int WriteIntelHexLinear(
    std::string& out, const std::uint8_t* data, std::size_t length, std::uint32_t start, int recordLength);

// The records of one section of an image in the linear form, without the end record.
// `lastUpper` carries the upper address of the last type-04 record from section to section
// (start with kNoUpper). Same result as WriteIntelHexLinear.
constexpr std::uint64_t kNoUpper = ~0ull;
int WriteIntelHexSection(std::string& out, const std::uint8_t* data, std::size_t length, std::uint32_t start,
    int recordLength, std::uint64_t& lastUpper);

// The end record.
void WriteIntelHexEnd(std::string& out);

// The same records of 16 bytes as WriteIntelHexSection, written into memory the caller holds:
// at most IntelHexLinearBound(length) characters from `out`; returns their end.
std::size_t IntelHexLinearBound(std::size_t length);
char* PutIntelHexLinear(
    char* out, const std::uint8_t* data, std::size_t length, std::uint32_t start, std::uint64_t& lastUpper);

// Which line parser a read uses.
enum class HexParser {
    Main, // main buffer: bad records are refused and counted, the read goes on
    Mcu, // main buffer of a combined PIC image: the first bad record stops the read; gaps are 0xFF
    Data, // data buffer: likewise
};

// The reader state of one read (address base, the image with its written bytes, the refused
// records) and the target buffer.
class CIntelHexReader {
public:
    // Records land at their address plus `offset` (bytes moved below 0 are dropped); nothing is
    // stored at or beyond `limit`.
    CIntelHexReader(std::vector<std::uint8_t>& buffer, HexParser parser, std::uint8_t fill, std::size_t limit,
        std::int64_t offset = 0);

    // One line, without or with its line end; trailing blanks are ignored. 1 to go on, 0 when
    // the read stops (StopBox names why).
    int ParseLine(std::string_view line);
    // The complete lines of a block (see TextBlock); returns the bytes used.
    std::size_t Parse(const TextBlock& block);
    // The whole text; 0 when the read stopped at a bad record, else 1.
    int ParseText(std::string_view text, const ProgressFn& progress = {});
    // `progress` is called every 5,002 lines with the file position and `total`.
    void SetProgress(ProgressFn progress, std::uint64_t total);

    bool Done() const { return m_stopped; }
    CRecordImage& Image() { return m_image; }
    const CRecordImage& Image() const { return m_image; }
    std::uint64_t HighestDataEnd() const { return m_image.HighestDataEnd(); }
    bool HasData() const { return m_image.HasData(); }
    int ProblemCount() const { return m_image.ProblemCount(); }
    const std::vector<ReadProblem>& Problems() const { return m_image.Problems(); }
    int LineNumber() const { return m_lineNo; }
    // The box of the record that stopped the read (empty text when none did), and that line.
    const BoxMessage& StopBox() const { return m_stopBox; }
    const std::string& StopLine() const { return m_stopLine; }

private:
    int Record(const std::uint8_t* bytes, std::string_view line);
    int Problem(ProblemKind kind, std::string_view line);
    void Progress(std::uint64_t position);

    CRecordImage m_image;
    HexParser m_parser;
    std::uint32_t m_addressBase = 0;
    int m_lineNo = 0;
    bool m_stopped = false;
    BoxMessage m_stopBox;
    std::string m_stopLine;
    ProgressFn m_progress;
    std::uint64_t m_total = 0;
    int m_untilProgress = 5002;
};

// Splits text into lines ('\n', '\r\n' or '\r' alone ending a line) and calls `line` for each
// until it returns false. Returns the number of lines visited.
template <typename F> std::size_t ForEachLine(std::string_view text, F&& line)
{
    std::size_t n = 0, pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        ++n;
        if (!line(text.substr(pos, end - pos)))
            return n;
        if (end < text.size() && text[end] == '\r')
            ++end;
        if (end < text.size() && text[end] == '\n')
            ++end;
        pos = end;
    }
    return n;
}

// The two upper-case digits of every byte value, for writing a byte with one copy.
struct HexDigitPairs {
    char pairs[256][2] {};
    constexpr HexDigitPairs()
    {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int v = 0; v < 256; ++v) {
            pairs[v][0] = digits[v >> 4];
            pairs[v][1] = digits[v & 15];
        }
    }
};
inline constexpr HexDigitPairs kHexDigitPairs;

// Writes the two digits of `v` at `p` and moves `p` past them.
inline void PutHexByte(char*& p, std::uint8_t v)
{
    std::memcpy(p, kHexDigitPairs.pairs[v], 2);
    p += 2;
}

// The byte of every pair of characters (the first in the low 8 bits of the index), -1 for a
// pair that is not two hex digits: one lookup per byte.
extern const std::int16_t* const kHexPairValues;

// The byte of two hex digits, or -1.
inline int HexPairValue(const char* text)
{
    return kHexPairValues[static_cast<unsigned char>(text[0]) | static_cast<unsigned char>(text[1]) << 8];
}

// Decodes 2*n hex digits into bytes and adds them to `sum`; false on a non-digit.
inline bool DecodeHexSum(const char* text, std::size_t n, std::uint8_t* out, unsigned& sum)
{
    int bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int v = HexPairValue(text + 2 * i);
        bad |= v;
        sum += static_cast<unsigned>(v);
        out[i] = static_cast<std::uint8_t>(v);
    }
    return bad >= 0;
}

// Decodes 2*n hex digits into bytes; false on a non-digit.
bool DecodeHexBytes(const char* text, std::size_t n, std::uint8_t* out);

// The line without trailing CR, LF, blanks, tabs and DOS end-of-file marks (0x1A).
std::string_view TrimLineEnd(std::string_view line);

// Where the line starting at `p` ends: the first CR or LF, or `end`. `next` receives the start
// of the following line. False when the block may not hold the whole line yet (no line end
// before `end`, or a CR as its last byte) and the block is neither the last nor forced.
bool FindLineEnd(const char* p, const char* end, const TextBlock& block, const char*& lineEnd, const char*& next);
// Whether a record that should end at `q` does: a line end, the end of the last block, or
// blanks up to one. `next` receives the start of the following line. Returns 1 when it does,
// 0 when more characters follow on the line, -1 when the block may not hold the line end yet.
int RecordEndsAt(const char* q, const char* end, const TextBlock& block, const char*& next);

} // namespace buffer
