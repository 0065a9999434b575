#pragma once
// Intel HEX: the record writers and the line parsers of the main (code) buffer, the main buffer of
// a combined PIC image, and the data (EEPROM) buffer. Text is built in memory and parsed from
// memory; the callers do the file I/O.

#include "buffer/BufferTypes.h"

#include <cstddef>
#include <cstdint>
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

// Which line parser a read uses.
enum class HexParser {
    Main, // main buffer: bad records are skipped and counted
    Mcu, // main buffer of a combined PIC image: a bad record stops the read; gaps are 0xFF
    Data, // data buffer: a bad record or a non-record line stops the read; gaps are 0xFF
};

// The reader state of one read (address bases, highest data end) and the target buffer. Parse
// every line with ParseLine while it returns 1.
class CIntelHexReader {
public:
    CIntelHexReader(std::vector<std::uint8_t>& buffer, HexParser parser, std::uint8_t fill, std::size_t limit);

    // 1 to go on reading, 0 to stop (the box names why). The line may end in CR and blanks.
    int ParseLine(std::string_view line);

    // Reads the whole text; the result is the last parse result. `lastLine` receives the line
    // that stopped the read, `progress` is called every 5,002 lines.
    int ParseText(std::string_view text, std::string_view* lastLine = nullptr, const ProgressFn& progress = {});

    std::uint64_t HighestDataEnd() const { return m_highestEnd; }
    bool HasData() const { return m_hasData; }
    int SkippedLines() const { return m_skipped; }
    int FirstSkippedLine() const { return m_firstSkipped; }
    int LineNumber() const { return m_lineNo; }
    // The box of the line that stopped the read (empty text when none did).
    const BoxMessage& StopBox() const { return m_stopBox; }
    // The log line that reports skipped records ("" when none were skipped).
    std::string SkippedReport() const;

private:
    int Skip();
    int Stop(const char* text);
    bool Store(std::uint64_t address, const std::uint8_t* data, int count);

    std::vector<std::uint8_t>& m_buffer;
    HexParser m_parser;
    std::uint8_t m_fill;
    std::size_t m_limit;
    std::uint32_t m_addressBase = 0;
    std::uint32_t m_linearBase = 0;
    std::uint64_t m_highestEnd = 0;
    bool m_hasData = false;
    int m_lineNo = 0;
    int m_skipped = 0;
    int m_firstSkipped = 0;
    BoxMessage m_stopBox;
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

// Decodes 2*n hex digits into bytes; false on a non-digit.
bool DecodeHexBytes(const char* text, std::size_t n, std::uint8_t* out);

// The line without trailing CR, LF, blanks and tabs.
std::string_view TrimLineEnd(std::string_view line);

} // namespace buffer
