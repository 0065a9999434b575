#pragma once
// Motorola S-records: the reader that fills a buffer and the writer of a whole image.

#include "buffer/BufferTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace buffer {

// Writes the image from address 0: S1 records (16-bit addresses) for images up to 65,535 bytes,
// S3 records (32-bit addresses) above, 16 data bytes each, upper-case digits, CR LF, and the end
// record "S9030000FC".
void WriteSRecords(std::string& out, const std::uint8_t* data, std::size_t length);

// One record of the given type (1, 2, 3 data; 5, 7, 8, 9 others); false when the data would not
// fit a record.
bool WriteSRecord(std::string& out, int type, std::uint32_t address, const std::uint8_t* data, std::size_t count);

class CSRecordReader {
public:
    // Gaps are filled with `fill`; nothing is stored at or beyond `limit`.
    CSRecordReader(std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit);

    // 1 to go on, 0 to stop: at an end record (S7/S8/S9) or a record beyond the limit (StopBox).
    int ParseLine(std::string_view line);
    // Reads the whole text; returns the last parse result.
    int ParseText(std::string_view text, const ProgressFn& progress = {});

    std::uint64_t HighestDataEnd() const { return m_highestEnd; }
    bool HasData() const { return m_hasData; }
    int SkippedLines() const { return m_skipped; }
    int FirstSkippedLine() const { return m_firstSkipped; }
    const BoxMessage& StopBox() const { return m_stopBox; }
    std::string SkippedReport() const;

private:
    int Skip();

    std::vector<std::uint8_t>& m_buffer;
    std::uint8_t m_fill;
    std::size_t m_limit;
    std::uint64_t m_highestEnd = 0;
    bool m_hasData = false;
    int m_lineNo = 0;
    int m_skipped = 0;
    int m_firstSkipped = 0;
    BoxMessage m_stopBox;
};

// True when the first line that is not blank looks like an S-record ("S" and a digit).
bool LooksLikeSRecords(std::string_view text);

} // namespace buffer
