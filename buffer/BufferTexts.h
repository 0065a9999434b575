#pragma once
// The English texts of loading and saving that are not in the numbered language table, in one
// place. The texts with a "%" are formats for platform::Format.

namespace buffer {

inline constexpr const char* kTextOpenError = "Error opening file";
inline constexpr const char* kTextWriteError = "Error writing file";
inline constexpr const char* kTextTooLarge = "The file is too large to load.";
inline constexpr const char* kTextTruncatedFallback = "Data size exceed size of device, data file has been truncated.";
inline constexpr const char* kTextNoDevice
    = "Device not been selected. \r\nYou need re-load the data after selected the device.";
inline constexpr const char* kTextNoMask = "Internal Error! No way to mask the buffer.";
inline constexpr const char* kTextBinaryTooLarge = "The file is larger than the buffer limit; nothing was loaded.";
inline constexpr const char* kTextOffsetTooLarge
    = "The file offset makes the buffer larger than the buffer limit; nothing was loaded.";
inline constexpr const char* kTextNoFileForBuffer = "This buffer takes no file on this device; nothing was loaded.";

// The boxes that stop a read of a PIC image or of the data buffer at a bad line.
inline constexpr const char* kTextHexError = "Error reading Hexfile";
inline constexpr const char* kTextHexChecksum = "Checksum Error reading Hexfile";
inline constexpr const char* kTextHexInvalid = "Invailid line in hex file.";
inline constexpr const char* kTextHexLimit = "Hex address beyond buffer limit";
// The log line of such a stop: box text, file name, line, kind of fault.
inline constexpr const char* kFormatStopLog = "%s (%s, line %d: %s).";

// Bad records in a file read record by record: count, file name, line and kind of the first.
inline constexpr const char* kFormatBadRecords = "%d bad records in %s, the first at line %d (%s).";
inline constexpr const char* kFormatBadRecord = "1 bad record in %s, at line %d (%s).";
inline constexpr const char* kTextKeepQuestion = " Keep the data that could be read?";
inline constexpr const char* kTextNotLoaded = " Nothing was loaded.";
// A file without a data record: its name; and with the bad records of one.
inline constexpr const char* kFormatNoData = "%s holds no data.";
inline constexpr const char* kFormatNoDataBad = "%s holds no data: %d bad record%s, the first at line %d (%s).";
// Every data record lies past the buffer limit: name, lowest address, limit, the offset to type.
inline constexpr const char* kFormatPastLimit
    = "The data in %s start at address 0x%08llX, past the buffer limit of 0x%08llX. A File Offset (Hex) of "
      "-%llX moves them down to address 0.";
// Lines after an S7, S8 or S9 end record: name, first such line.
inline constexpr const char* kFormatAfterEnd
    = "%s: the records from line %d on follow the end record and were ignored.";

// The question asked before a buffer that holds an incomplete read is saved (Yes/No, caption
// language text 61).
inline constexpr const char* kIncompleteQuestion = "The buffer holds an incomplete read. Save it anyway?";

} // namespace buffer
