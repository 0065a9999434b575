#pragma once
// Motorola S-records: the reader that fills a buffer and the writer of a whole image.

#include "buffer/BufferTypes.h"
#include "buffer/RecordImage.h"

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
void WriteSRecordsEnd(std::string& out);

// The data records of WriteSRecords for data[0, length) at `start` (S1 when `shortForm`, else
// S3), written into memory the caller holds: at most SRecordsBound(length) characters from
// `out`; returns their end.
std::size_t SRecordsBound(std::size_t length);
char* PutSRecords(char* out, const std::uint8_t* data, std::size_t length, std::uint32_t start, bool shortForm);

// One record of the given type (1, 2, 3 data; 5, 7, 8, 9 others); false when the data would not
// fit a record.
bool WriteSRecord(std::string& out, int type, std::uint32_t address, const std::uint8_t* data, std::size_t count);

class CSRecordReader {
public:
    // Records land at their address plus `offset` (bytes moved below 0 are dropped); gaps are
    // filled with `fill`; nothing is stored at or beyond `limit`.
    CSRecordReader(std::vector<std::uint8_t>& buffer, std::uint8_t fill, std::size_t limit, std::int64_t offset = 0);

    // One line, without or with its line end. 1 to go on, 0 at an end record (S7/S8/S9).
    int ParseLine(std::string_view line);
    // The complete lines of a block (see TextBlock); returns the bytes used. After an end
    // record it looks only for a further line that is not blank.
    std::size_t Parse(const TextBlock& block);
    // The whole text; 0 when an end record ended it, else 1.
    int ParseText(std::string_view text, const ProgressFn& progress = {});
    void SetProgress(ProgressFn progress, std::uint64_t total);

    // True once nothing more is read: the end record and a line after it were seen.
    bool Done() const { return m_afterEndLine > 0; }
    bool Ended() const { return m_endLine > 0; }
    // The first line that is not blank after the end record (0: none).
    int LineAfterEnd() const { return m_afterEndLine; }
    CRecordImage& Image() { return m_image; }
    const CRecordImage& Image() const { return m_image; }
    std::uint64_t HighestDataEnd() const { return m_image.HighestDataEnd(); }
    bool HasData() const { return m_image.HasData(); }
    int ProblemCount() const { return m_image.ProblemCount(); }
    const std::vector<ReadProblem>& Problems() const { return m_image.Problems(); }
    int LineNumber() const { return m_lineNo; }

private:
    int Record(int type, const std::uint8_t* bytes);
    void Progress(std::uint64_t position);

    CRecordImage m_image;
    int m_lineNo = 0;
    int m_endLine = 0;
    int m_afterEndLine = 0;
    std::uint32_t m_dataLines = 0; // S1, S2 and S3 lines, for the S5/S6 counts
    ProgressFn m_progress;
    std::uint64_t m_total = 0;
    int m_untilProgress = 5002;
};

// True when the first line that is not blank looks like an S-record ("S" and a digit).
bool LooksLikeSRecords(std::string_view text);

} // namespace buffer
