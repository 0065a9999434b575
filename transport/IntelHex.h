#pragma once
// The strict Intel HEX parser: the one reader of firmware text. Each line is ':' and hex digits
// only, its byte count matching its length, its checksum right, ended by CR LF or LF (the last may
// lack one). Type 0 carries data, 1 ends the text (a text without it is cut short and fails), 2 and
// 4 carry a base (segment or linear), 3 and 5 are start addresses and are ignored; any other type
// is an error naming its line. Safe on any input: it never reads outside the text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace intelhex {

enum RecordType : std::uint8_t {
    Data = 0,
    End = 1,
    SegmentBase = 2,
    SegmentStart = 3,
    LinearBase = 4,
    LinearStart = 5
};

struct Record {
    std::uint8_t type = Data;
    std::uint16_t address = 0;
    std::vector<std::uint8_t> data;
    int line = 0; // from 1

    // For base records: the base they set (segment << 4, or linear << 16).
    std::uint32_t Base() const;
};

struct ParseResult {
    bool ok = false;
    std::vector<Record> records; // up to the end record, which is included
    int errorLine = 0;
    std::string error;
};

ParseResult Parse(std::string_view text);

} // namespace intelhex
