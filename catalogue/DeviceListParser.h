#pragma once
// Reading device list files: decoding a file's bytes into lines, the device-line rules, the
// values of keys, and turning one device line into a CDeviceRecord.

#include "catalogue/DeviceRecord.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace devicelist {

// Lines longer than this are refused whole.
inline constexpr std::size_t kMaxLineBytes = std::size_t { 1 } << 20;
// Code and data sizes above this are line errors.
inline constexpr std::int64_t kMaxMemoryBytes = std::int64_t { 256 } << 20;

// The file's lines as UTF-8, decoded by platform::DecodeTextFile (UTF-16 with or without a
// byte-order mark, UTF-8 with or without one, a line that is not valid UTF-8 read as Latin-1).
// Lines end at CR, LF or CR LF; a final line end adds no empty line.
std::vector<std::string> ReadLines(const QByteArray& bytes);
// The same for text already decoded.
std::vector<std::string> SplitLines(std::string_view text);

// True when decoded text ends with CR or LF, or is empty.
bool EndsWithLineEnd(std::string_view text);

// A NUL byte in a line: a device line with one is a bad line to the catalogue, and the chip-ID
// import skips it, so that neither keeps a name or ID the other reads otherwise.
bool HoldsNul(std::string_view line);

// An odd number of quotes: the last value has no closing quote.
bool HasUnterminatedValue(std::string_view line);
// Anything but blanks after the last closing quote (a key without its value).
bool HasTextAfterLastValue(std::string_view line);

// The line at position of decoded text, up to CR, LF or CR LF (not included); position moves past
// the line end. False at the end of the text.
bool ReadLine(std::string_view text, std::size_t& position, std::string_view& line);

// A-Z for a-z only; other bytes (UTF-8 sequences included) stay as they are.
std::string AsciiUpper(std::string_view text);

// Leading blanks and tabs removed.
std::string_view TrimLeft(std::string_view line);

// The number of double quotes divided by 2.
int CountQuotedValues(std::string_view line);

// At least three quoted values, at least 8 characters, and not a comment (";" or "/").
bool IsDeviceLine(std::string_view trimmedLine);

// The value of a key (such as "VCC=") in a line. Keys other than Message=, Adapter= and
// Buffer1Title= to Buffer5Title= are matched without regard to case and their values come out in
// upper case. Only occurrences outside quoted values count, and an occurrence right after a
// letter, digit or "_" is part of a longer key. The value starts after the character that follows
// "=" (the opening quote) and ends at the next quote or the end of the line.
bool GetKeyValue(std::string_view line, std::string_view key, std::string& value);

// Upper-cased; "" counts as "FE", one digit gets a leading 0; the low byte of the hex number.
std::uint8_t ParseHexByte(std::string_view text);

// The decimal number at the start of the text: leading blanks, one sign, digits up to the first
// other character, 0 without digits. Saturates far beyond any field's range instead of
// overflowing.
std::int64_t ParseDecimal(std::string_view text);

// Upper-cased class names of entries 0..325 to their first index.
class ClassNameIndex {
public:
    ClassNameIndex(); // from g_DeviceClassTable as it is now
    // The class index, or -1. An empty name matches nothing.
    int Find(const std::string& upperName) const;

private:
    std::unordered_map<std::string, int> m_index;
};

struct LineOutcome {
    std::unique_ptr<CDeviceRecord> record; // null when the line has an error
    std::string box; // the message box text of the error, when it has one
};

// One device line (already trimmed) into a record; model is the programmer model.
LineOutcome ParseDeviceLine(std::string_view line, int model, const ClassNameIndex& classes);

} // namespace devicelist
